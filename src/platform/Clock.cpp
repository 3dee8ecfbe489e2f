#include "Clock.h"

#include <QPointer>
#include <QTimer>

#include <qcoro/qcorotimer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace {
Clock*& installedClock() {
    static Clock* clock = nullptr;
    return clock;
}
} // namespace

Clock& Clock::current() {
    static SystemClock system;
    return installedClock() ? *installedClock() : system;
}

void Clock::setCurrent(Clock* clock) {
    installedClock() = clock;
}

namespace {
// Resumes its coroutine when its guard goes: at the deadline (the timed call deletes it) or with its owner.
struct GuardedWait {
    Clock& clock;
    double seconds;
    QPointer<QObject> owner;
    bool await_ready() const noexcept { return !owner || seconds <= 0; }
    void await_suspend(std::coroutine_handle<> handle) {
        auto* guard = new QObject(owner.data());
        clock.callAfter(seconds, guard, [guard] { delete guard; });
        QObject::connect(guard, &QObject::destroyed, [handle] { handle.resume(); });
    }
    void await_resume() const noexcept {}
};
} // namespace

QCoro::Task<> Clock::sleep(double seconds, QObject* owner) {
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    // g++ 12 destroys a temporary awaiter of a co_await expression twice: name it first.
    GuardedWait wait{*this, seconds, owner};
    co_await wait;
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

void SystemClock::callAfter(double seconds, QObject* context, std::function<void()> action) {
    if (!std::isfinite(seconds) || seconds <= 0)
        seconds = 0;
    // A timer holds an int of milliseconds: about 24 days, far beyond any wait that takes a context.
    const double ms = std::min(seconds * 1000.0, double(std::numeric_limits<int>::max()));
    QTimer::singleShot(std::chrono::milliseconds(qint64(ms)), context, std::move(action));
}
