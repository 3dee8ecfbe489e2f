#include "Clock.h"
#include "RequestSpacing.h"
#include "VirtualClock.h"

#include <QPointer>
#include <QTest>

#include <qcoro/qcorotask.h>

namespace {
QCoro::Task<> sleeper(double seconds, QStringList* log, QString name) {
    co_await Clock::current().sleep(seconds);
    log->append(name);
}

QCoro::Task<> ownedSleeper(double seconds, QObject* owner, QStringList* log) {
    QPointer<QObject> alive(owner);
    co_await Clock::current().sleep(seconds, owner);
    log->append(alive ? "woke" : "owner gone");
}

QCoro::Task<> chain(QStringList* log) {
    co_await Clock::current().sleep(2);
    log->append("after 2");
    co_await Clock::current().sleep(4);
    log->append("after 6");
}
} // namespace

class ClockTests : public QObject {
    Q_OBJECT
private slots:
    void virtualSleepersWakeInDeadlineOrder() {
        VirtualClock clock;
        clock.install();
        QStringList log;
        const QDateTime start = clock.now();
        sleeper(5, &log, "five");
        sleeper(1, &log, "one");
        sleeper(1, &log, "one again");
        chain(&log);
        QCOMPARE(clock.pendingSleepers(), 4);
        clock.advance(0.999);
        QVERIFY(log.isEmpty());
        clock.advance(10);
        QCOMPARE(log, (QStringList{"one", "one again", "after 2", "five", "after 6"}));
        QCOMPARE(clock.secondsSince(start), 10.999);
        QCOMPARE(clock.pendingSleepers(), 0);
    }

    void timedCallsWaitAmongSleepersAndLeaveWithTheirContext() {
        VirtualClock clock;
        clock.install();
        QStringList log;
        QObject kept;
        auto* dropped = new QObject;
        clock.callAfter(2, &kept, [&] { log << "kept"; });
        clock.callAfter(1, dropped, [&] { log << "dropped"; });
        sleeper(1.5, &log, "sleeper");
        QCOMPARE(clock.pendingSleepers(), 3);
        delete dropped;
        QCOMPARE(clock.pendingSleepers(), 2);
        clock.advance(3);
        QCOMPARE(log, (QStringList{"sleeper", "kept"}));
        QCOMPARE(clock.sleepLog(), QList<double>{1.5});
        QCOMPARE(clock.pendingSleepers(), 0);
    }

    void anOwnedSleepEndsAtOnceWithItsOwner_data() {
        QTest::addColumn<bool>("virtualTime");
        QTest::newRow("virtual clock") << true;
        QTest::newRow("system clock") << false;
    }

    void anOwnedSleepEndsAtOnceWithItsOwner() {
        QFETCH(bool, virtualTime);
        VirtualClock clock;
        if (virtualTime)
            clock.install();
        QStringList log;
        auto* owner = new QObject;
        ownedSleeper(3600, owner, &log);
        QObject keeper;
        ownedSleeper(0.02, &keeper, &log);
        QVERIFY(log.isEmpty());
        delete owner;
        QCOMPARE(log, QStringList{"owner gone"});
        if (virtualTime) {
            QCOMPARE(clock.pendingSleepers(), 1);
            clock.advance(0.02);
        }
        QTRY_COMPARE(log, (QStringList{"owner gone", "woke"}));
        if (virtualTime)
            QCOMPARE(clock.sleepLog(), (QList<double>{3600, 0.02}));
    }

    void systemTimedCallsLeaveWithTheirContext() {
        QStringList log;
        QObject kept;
        auto* dropped = new QObject;
        Clock::current().callAfter(0.01, &kept, [&] { log << "kept"; });
        Clock::current().callAfter(0.01, dropped, [&] { log << "dropped"; });
        delete dropped;
        QTRY_COMPARE(log, QStringList{"kept"});
        QTest::qWait(30);
        QCOMPARE(log, QStringList{"kept"});
    }

    void invalidDurationsCountAsZero() {
        VirtualClock clock;
        clock.install();
        QStringList log;
        sleeper(-3, &log, "negative");
        sleeper(std::numeric_limits<double>::quiet_NaN(), &log, "nan");
        clock.advance(0);
        QCOMPARE(log.size(), 2);
    }

    void runUntilJumpsOnlyWhenIdle() {
        VirtualClock clock;
        clock.install();
        QStringList log;
        chain(&log);
        QVERIFY(clock.runUntil([&] { return log.size() == 2; }));
        QCOMPARE(clock.sleepLog(), (QList<double>{2, 4}));
        QVERIFY(!clock.runUntil([] { return false; }, 1, 200));
    }

    void wallClockStepsLeaveMonotonicTimeAndSleepersAlone() {
        VirtualClock clock;
        clock.install();
        QStringList log;
        const QDateTime start = clock.now();
        const qint64 monotonicStart = clock.monotonicMs();
        sleeper(10, &log, "ten");
        clock.stepWallClock(-3600);
        QCOMPARE(clock.now(), start.addSecs(-3600));
        QCOMPARE(clock.monotonicMs(), monotonicStart);
        clock.advance(9.9);
        QVERIFY(log.isEmpty());
        clock.advance(0.1);
        QCOMPARE(log, QStringList({"ten"}));
        QCOMPARE(clock.monotonicMs() - monotonicStart, qint64(10000));
        QCOMPARE(clock.now(), start.addSecs(-3590));
    }

    void requestSpacingIsMeasuredOnMonotonicTime() {
        VirtualClock clock;
        clock.install();
        RequestSpacing spacing(12.1);
        QCOMPARE(spacing.remainingMs(), qint64(0));
        spacing.markSent();
        QCOMPARE(spacing.remainingMs(), qint64(12100));
        clock.stepWallClock(-86400);
        QCOMPARE(spacing.remainingMs(), qint64(12100));
        clock.stepWallClock(+172800);
        QCOMPARE(spacing.remainingMs(), qint64(12100));
        clock.advance(12);
        QCOMPARE(spacing.remainingMs(), qint64(100));
        QCOMPARE(spacing.remaining(), 0.1);
        clock.advance(1);
        QCOMPARE(spacing.remainingMs(), qint64(0));
    }

    void backoffAndRetryDelays() {
        QCOMPARE(RequestSpacing::backoff(1), 2.0);
        QCOMPARE(RequestSpacing::backoff(3), 8.0);
        QCOMPARE(RequestSpacing::backoff(10), 60.0);
        QCOMPARE(RequestSpacing::retryDelay("7", 1), 7.0);
        QCOMPARE(RequestSpacing::retryDelay("soon", 2), 4.0);
        // A server's wait is taken as given up to ten minutes, never longer.
        QCOMPARE(RequestSpacing::retryDelay("59.5", 1), 59.5);
        QCOMPARE(RequestSpacing::retryDelay("120", 1), 120.0);
        QCOMPARE(RequestSpacing::retryDelay("2000000", 1), 600.0);
        QVERIFY(RequestSpacing::isTransient(std::nullopt));
        for (int status : {408, 429, 500, 502, 503, 504})
            QVERIFY2(RequestSpacing::isTransient(status), qPrintable(QString::number(status)));
        for (int status : {200, 400, 401, 403, 404, 407})
            QVERIFY2(!RequestSpacing::isTransient(status), qPrintable(QString::number(status)));
    }

    void systemClockMonotonicTimeMovesForward() {
        SystemClock clock;
        const qint64 before = clock.monotonicMs();
        QTest::qWait(20);
        QVERIFY(clock.monotonicMs() - before >= 15);
    }

    void systemClockSleepsForReal() {
        Clock::setCurrent(nullptr);
        QStringList log;
        sleeper(0.05, &log, "done");
        QVERIFY(log.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(log.size(), 1, 2000);
    }
};

QTEST_GUILESS_MAIN(ClockTests)
#include "tst_clock.moc"
