#pragma once

#include <optional>

// What the desktop's window system can draw.
namespace WindowSystem {

// Whether the see-through pixels of a window are drawn as see-through: a compositor runs (always under Wayland).
// On X without one they show black, so a window with a shape of its own must cut itself to that shape.
bool drawsSeeThroughWindows();

// Tests answer in place of the window system; no value asks it again.
void answerSeeThroughForTesting(std::optional<bool> answer);

} // namespace WindowSystem
