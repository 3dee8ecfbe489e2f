#include "Clock.h"

#include <qcoro/qcorotimer.h>

#include <chrono>
#include <cmath>
#include <limits>

namespace {
Clock*& override() {
    static Clock* clock = nullptr;
    return clock;
}
} // namespace

Clock& Clock::current() {
    static SystemClock system;
    return override() ? *override() : system;
}

void Clock::setCurrent(Clock* clock) {
    override() = clock;
}

double Clock::secondsSince(const QDateTime& earlier) const {
    return double(earlier.msecsTo(now())) / 1000.0;
}

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTimeUtc();
}

qint64 SystemClock::monotonicMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QCoro::Task<> SystemClock::sleep(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0)
        seconds = 0;
    // QTimer takes an int of milliseconds; longer waits are split.
    double remainingMs = seconds * 1000.0;
    do {
        const double chunk = std::min(remainingMs, double(std::numeric_limits<int>::max() / 2));
        co_await QCoro::sleepFor(std::chrono::milliseconds(qint64(chunk)));
        remainingMs -= chunk;
    } while (remainingMs >= 1.0);
}
