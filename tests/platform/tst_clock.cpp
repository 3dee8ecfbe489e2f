#include "Clock.h"
#include "VirtualClock.h"

#include <QTest>

#include <qcoro/qcorotask.h>

namespace {
QCoro::Task<> sleeper(double seconds, QStringList* log, QString name) {
    co_await Clock::current().sleep(seconds);
    log->append(name);
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
