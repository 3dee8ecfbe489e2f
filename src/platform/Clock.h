#pragma once

#include <QDateTime>

#include <qcoro/qcorotask.h>

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

    static Clock& current();
    // nullptr restores the system clock. The caller keeps ownership.
    static void setCurrent(Clock* clock);

    // Seconds elapsed from `earlier` to `now()`.
    double secondsSince(const QDateTime& earlier) const;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
    QCoro::Task<> sleep(double seconds) override;
};
