#pragma once

#include <QDateTime>

#include <qcoro/qcorotask.h>

#include <functional>

class QObject;

// Time seam: every wait and every "now" of the services goes through the current clock,
// so tests can run long schedules on a virtual clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that only moves forward: a wall-clock step changes `now()`, never this.
    // Intervals between events (request spacing) are measured on it.
    virtual qint64 monotonicMs() const = 0;
    // Negative or non-finite durations count as zero.
    virtual QCoro::Task<> sleep(double seconds) = 0;
    // As sleep(), but also ends, at once, when `owner` is destroyed: a task that checks its owner after the
    // wait then ends with it instead of waiting out the rest. Built on callAfter().
    virtual QCoro::Task<> sleep(double seconds, QObject* owner);
    // Calls `action` once `seconds` have passed, unless `context` is gone by then. A sleeping coroutine
    // can only end when its sleep does; this leaves nothing waiting behind once `context` goes.
    virtual void callAfter(double seconds, QObject* context, std::function<void()> action) = 0;

    static Clock& current();
    // nullptr restores the system clock. The caller keeps ownership.
    static void setCurrent(Clock* clock);

    // Seconds elapsed from `earlier` to `now()`.
    double secondsSince(const QDateTime& earlier) const;
};

class SystemClock final : public Clock {
public:
    using Clock::sleep;
    QDateTime now() const override;
    qint64 monotonicMs() const override;
    QCoro::Task<> sleep(double seconds) override;
    void callAfter(double seconds, QObject* context, std::function<void()> action) override;
};
