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
        clock->sleepers_.emplace(std::make_pair(deadline, ++clock->sequence_), Sleeper{handle, {}, {}});
    }
    void await_resume() const noexcept {}
};

// A sleeper that also wakes, at once, when its owner is destroyed.
struct VirtualClock::OwnedAwaiter {
    VirtualClock* clock;
    qint64 deadline;
    QPointer<QObject> owner;
    bool await_ready() const noexcept { return !owner || deadline <= clock->monotonicMs_; }
    void await_suspend(std::coroutine_handle<> handle) {
        const auto key = std::make_pair(deadline, ++clock->sequence_);
        VirtualClock* self = clock;
        const auto watch = QObject::connect(owner.data(), &QObject::destroyed, &clock->watcher_, [self, key, handle] {
            self->sleepers_.erase(key);
            handle.resume();
        });
        clock->sleepers_.emplace(key, Sleeper{handle, {}, {}, watch});
    }
    void await_resume() const noexcept {}
};

VirtualClock::VirtualClock(QDateTime start) : now_(std::move(start)) {
    real_.start();
}

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

QCoro::Task<> VirtualClock::sleep(double seconds, QObject* owner) {
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    sleepLog_.append(seconds);
    // g++ 12 destroys a temporary awaiter of a co_await expression twice: name it first.
    OwnedAwaiter wait{this, monotonicMs_ + qint64(std::llround(seconds * 1000.0)), owner};
    co_await wait;
}

void VirtualClock::callAfter(double seconds, QObject* context, std::function<void()> action) {
    if (!context)
        return;
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const auto key = std::make_pair(monotonicMs_ + qint64(std::llround(seconds * 1000.0)), ++sequence_);
    const auto watch = QObject::connect(context, &QObject::destroyed, &watcher_, [this, key] { sleepers_.erase(key); });
    sleepers_.emplace(key, Sleeper{{}, context, std::move(action), watch, real_.elapsed()});
}

double VirtualClock::nextDeadline() const {
    if (sleepers_.empty())
        return -1;
    return double(sleepers_.begin()->first.first - monotonicMs_) / 1000.0;
}

void VirtualClock::wakeDue() {
    while (!sleepers_.empty() && sleepers_.begin()->first.first <= monotonicMs_) {
        Sleeper sleeper = std::move(sleepers_.begin()->second);
        sleepers_.erase(sleepers_.begin());
        QObject::disconnect(sleeper.contextWatch);
        if (sleeper.handle)
            sleeper.handle.resume();
        else if (sleeper.context)
            sleeper.action();
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
        // A timed call may be a deadline on work still arriving from another thread (a transfer): it is
        // jumped to only once it has stood for a few real milliseconds.
        if (const Sleeper& first = sleepers_.begin()->second;
            !first.handle && real_.elapsed() - first.setAtRealMs < kTimedCallSettleMs) {
            QThread::msleep(1);
            continue;
        }
        moveTo(next);
        wakeDue();
    }
    return done();
}
