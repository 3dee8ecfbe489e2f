#include "VirtualClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

#include <cmath>

struct VirtualClock::Awaiter {
    VirtualClock* clock;
    qint64 deadline;
    bool await_ready() const noexcept { return deadline <= clock->monotonicMs_; }
    void await_suspend(std::coroutine_handle<> handle) {
        clock->sleepers_.emplace(std::make_pair(deadline, ++clock->sequence_), handle);
    }
    void await_resume() const noexcept {}
};

VirtualClock::VirtualClock(QDateTime start) : now_(std::move(start)) {}

VirtualClock::~VirtualClock() {
    if (&Clock::current() == this)
        Clock::setCurrent(nullptr);
}

QCoro::Task<> VirtualClock::sleep(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    sleepLog_.append(seconds);
    const qint64 deadline = monotonicMs_ + qint64(std::llround(seconds * 1000.0));
    co_await Awaiter{this, deadline};
}

double VirtualClock::nextDeadline() const {
    if (sleepers_.empty())
        return -1;
    return double(sleepers_.begin()->first.first - monotonicMs_) / 1000.0;
}

void VirtualClock::wakeDue() {
    while (!sleepers_.empty() && sleepers_.begin()->first.first <= monotonicMs_) {
        auto handle = sleepers_.begin()->second;
        sleepers_.erase(sleepers_.begin());
        handle.resume();
        QCoreApplication::processEvents();
    }
}

void VirtualClock::moveTo(qint64 ms) {
    if (ms <= monotonicMs_)
        return;
    now_ = now_.addMSecs(ms - monotonicMs_);
    monotonicMs_ = ms;
}

void VirtualClock::advance(double seconds) {
    if (seconds < 0) {
        stepWallClock(seconds); // monotonic time never goes back
        return;
    }
    const qint64 target = monotonicMs_ + qint64(std::llround(seconds * 1000.0));
    QCoreApplication::processEvents();
    while (!sleepers_.empty() && sleepers_.begin()->first.first <= target) {
        moveTo(sleepers_.begin()->first.first);
        wakeDue();
    }
    moveTo(target);
    QCoreApplication::processEvents();
}

void VirtualClock::stepWallClock(double seconds) {
    now_ = now_.addMSecs(qint64(std::llround(seconds * 1000.0)));
}

bool VirtualClock::runUntil(const std::function<bool()>& done, double maxVirtualSeconds, int maxRealMs) {
    QElapsedTimer real;
    real.start();
    const qint64 limit = monotonicMs_ + qint64(maxVirtualSeconds * 1000.0);
    int idleRounds = 0;
    while (real.elapsed() < maxRealMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (done())
            return true;
        if (sleepers_.empty() || idleRounds < 3) {
            // Let network replies and timers arrive before time jumps.
            ++idleRounds;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            continue;
        }
        idleRounds = 0;
        const qint64 next = sleepers_.begin()->first.first;
        if (next > limit)
            return done();
        moveTo(next);
        wakeDue();
    }
    return done();
}
