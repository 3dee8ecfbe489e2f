#pragma once

#include "Clock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <coroutine>
#include <functional>
#include <map>

// A clock whose time moves only when a test says so. Sleepers wake in deadline order as time passes;
// the event loop runs between wake-ups so that the code they resume can go on (and sleep again).
// Wall time and monotonic time move together, except that `stepWallClock` moves wall time alone, the
// way a user or NTP sets the system clock; sleeps are timed on monotonic time.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC));
    ~VirtualClock() override;

    QDateTime now() const override { return now_; }
    qint64 monotonicMs() const override { return monotonicMs_; }
    QCoro::Task<> sleep(double seconds) override;
    QCoro::Task<> sleep(double seconds, QObject* owner) override;
    // Timed calls wait among the sleepers; one whose context is destroyed leaves at once.
    void callAfter(double seconds, QObject* context, std::function<void()> action) override;

    // Moves time forward by `seconds`, waking every sleeper whose deadline passes. A negative value only
    // sets the wall clock back (as `stepWallClock`).
    void advance(double seconds);
    // Sets the wall clock forwards or backwards by `seconds`; monotonic time and sleepers are untouched.
    void stepWallClock(double seconds);
    // Runs until `done` is true: processes events, and when nothing is left to do but sleeping, jumps to
    // the next deadline (a timed call's only after it has stood a few real milliseconds). Gives up after
    // `maxVirtualSeconds` of virtual time or `maxRealMs` of real time.
    bool runUntil(const std::function<bool()>& done, double maxVirtualSeconds = 3600, int maxRealMs = 10000);

    int pendingSleepers() const { return int(sleepers_.size()); }
    // Seconds from now to the earliest deadline, or -1 when nobody sleeps.
    double nextDeadline() const;
    // Virtual durations of every sleep started so far (timed calls aside), in order.
    const QList<double>& sleepLog() const { return sleepLog_; }

    // Installs itself as the current clock for its lifetime.
    void install() { Clock::setCurrent(this); }

private:
    struct Awaiter;
    struct OwnedAwaiter;
    // A sleeping coroutine to resume, or a timed call and its context.
    struct Sleeper {
        std::coroutine_handle<> handle;
        QPointer<QObject> context;
        std::function<void()> action;
        QMetaObject::Connection contextWatch;
        qint64 setAtRealMs = 0;
    };
    static constexpr qint64 kTimedCallSettleMs = 10;
    void wakeDue();

    // Moves both times to the monotonic instant `ms`.
    void moveTo(qint64 ms);

    QDateTime now_;
    qint64 monotonicMs_ = 1000000;
    quint64 sequence_ = 0;
    std::multimap<std::pair<qint64, quint64>, Sleeper> sleepers_;
    QList<double> sleepLog_;
    // Receives the contexts' destruction; the connections end with the clock.
    QObject watcher_;
    QElapsedTimer real_;
};
