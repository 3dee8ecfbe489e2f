#pragma once

#include <QObject>

#include <functional>

// One clock for every animation on screen: its frames come 32 times a second, and each animation steps on every
// n-th frame, the same frames for all. What moves at once is then painted in one pass and reaches the display as
// one frame, instead of each animation waking the program and repainting on a timer of its own.
namespace FrameTicker {

constexpr double frameMs = 1000.0 / 32;
// Turning arcs.
constexpr int smoothMs = 31;
// Slow pulses of small marks: every fourth frame, in step with the stepping spokes.
constexpr int pulseMs = 125;

// How long one step of `intervalMs` really is: whole frames.
double stepMs(int intervalMs);
// `step` runs every `intervalMs` (rounded to whole frames) until `client` leaves or is destroyed; clients with one
// interval step on the same frames. Joining again replaces the step.
void join(QObject* client, int intervalMs, std::function<void()> step);
void leave(QObject* client);
bool joined(const QObject* client);

} // namespace FrameTicker
