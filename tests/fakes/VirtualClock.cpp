#include "VirtualClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

#include <cmath>

struct VirtualClock::Awaiter {
    VirtualClock* clock;
    qint64 deadline;
    bool await_ready() const noexcept { return deadline <= clock->now_.toMSecsSinceEpoch(); }
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
    const qint64 deadline = now_.toMSecsSinceEpoch() + qint64(std::llround(seconds * 1000.0));
    co_await Awaiter{this, deadline};
}

double VirtualClock::nextDeadline() const {
    if (sleepers_.empty())
        return -1;
    return double(sleepers_.begin()->first.first - now_.toMSecsSinceEpoch()) / 1000.0;
}

void VirtualClock::wakeDue() {
    while (!sleepers_.empty() && sleepers_.begin()->first.first <= now_.toMSecsSinceEpoch()) {
        auto handle = sleepers_.begin()->second;
        sleepers_.erase(sleepers_.begin());
        handle.resume();
        QCoreApplication::processEvents();
    }
}

void VirtualClock::advance(double seconds) {
    const qint64 target = now_.toMSecsSinceEpoch() + qint64(std::llround(seconds * 1000.0));
    QCoreApplication::processEvents();
    while (!sleepers_.empty() && sleepers_.begin()->first.first <= target) {
        now_ = QDateTime::fromMSecsSinceEpoch(sleepers_.begin()->first.first, Qt::UTC);
        wakeDue();
    }
    now_ = QDateTime::fromMSecsSinceEpoch(target, Qt::UTC);
    QCoreApplication::processEvents();
}

bool VirtualClock::runUntil(const std::function<bool()>& done, double maxVirtualSeconds, int maxRealMs) {
    QElapsedTimer real;
    real.start();
    const qint64 limit = now_.toMSecsSinceEpoch() + qint64(maxVirtualSeconds * 1000.0);
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
        now_ = QDateTime::fromMSecsSinceEpoch(std::max(next, now_.toMSecsSinceEpoch()), Qt::UTC);
        wakeDue();
    }
    return done();
}
