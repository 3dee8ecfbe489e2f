#include "Clock.h"
#include "TaskOwner.h"
#include "VirtualClock.h"

#include <QFuture>
#include <QPointer>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <memory>
#include <optional>
#include <stdexcept>

namespace {

enum class Wait { timer, pool, none, failure };

// Work that keeps the owner's rules: each wait ends with the worker or on its own, and after it the task looks
// whether the worker is still there before touching it.
class Worker : public QObject {
public:
    int touched = 0;

    QCoro::Task<int> work(Wait wait, QSemaphore* gate) {
        QPointer<Worker> self(this);
        switch (wait) {
        case Wait::timer:
            co_await Clock::current().sleep(5, this);
            break;
        case Wait::pool: {
            const auto blocked = [gate] {
                gate->acquire();
                return 1;
            };
            QFuture<int> future = QtConcurrent::run(blocked);
            co_await future;
            break;
        }
        case Wait::none:
            break;
        case Wait::failure:
            co_await Clock::current().sleep(1, this);
            throw std::runtime_error("refused");
        }
        if (!self)
            co_return -1;
        ++touched;
        co_return 42;
    }
};

// The same work, for a task that yields nothing.
QCoro::Task<> workWithoutValue(Worker* worker) {
    co_await worker->work(Wait::timer, nullptr);
}

} // namespace

Q_DECLARE_METATYPE(Wait)

class TaskOwnerTests : public QObject {
    Q_OBJECT

    std::unique_ptr<VirtualClock> clock;
    QSemaphore gate;

    // Lets a wait of the given kind end.
    void endWait(Wait wait) {
        if (wait == Wait::pool)
            gate.release();
        clock->advance(10);
        QVERIFY(QTest::qWaitFor([] { return TaskOwner::running() == 0; }, 5000));
    }

private slots:
    void init() {
        clock = std::make_unique<VirtualClock>();
        clock->install();
        QCOMPARE(TaskOwner::running(), 0);
    }

    void cleanup() {
        // A test that failed half-way still lets its pool work end.
        gate.release(8);
        QThreadPool::globalInstance()->waitForDone();
        gate.acquire(gate.available());
        clock.reset();
    }

    void waits_data() {
        QTest::addColumn<Wait>("wait");
        QTest::newRow("a timer") << Wait::timer;
        QTest::newRow("the thread pool") << Wait::pool;
    }

    void theResultReachesALiveOwner_data() { waits_data(); }
    void theResultReachesALiveOwner() {
        QFETCH(Wait, wait);
        Worker worker;
        std::optional<int> got;
        TaskOwner::own(&worker, worker.work(wait, &gate), [&got](int value) { got = value; });
        QCOMPARE(TaskOwner::running(), 1);
        QVERIFY(!got);
        endWait(wait);
        QCOMPARE(got, std::optional<int>(42));
        QCOMPARE(worker.touched, 1);
    }

    void aTaskThatNeverWaitsAnswersAtOnce() {
        Worker worker;
        std::optional<int> got;
        TaskOwner::own(&worker, worker.work(Wait::none, &gate), [&got](int value) { got = value; });
        QCOMPARE(got, std::optional<int>(42));
        QCOMPARE(TaskOwner::running(), 0);
    }

    void aTaskWithoutAnAnswerEndsToo() {
        Worker worker;
        bool done = false;
        TaskOwner::own(&worker, workWithoutValue(&worker), [&done] { done = true; });
        QCOMPARE(TaskOwner::running(), 1);
        clock->advance(5);
        QVERIFY(done);
        QCOMPARE(TaskOwner::running(), 0);
    }

    void aFailingTaskEndsWithoutAnswer() {
        Worker worker;
        bool answered = false;
        TaskOwner::own(&worker, worker.work(Wait::failure, &gate), [&answered](int) { answered = true; });
        clock->advance(1);
        QCOMPARE(TaskOwner::running(), 0);
        QVERIFY(!answered);
    }

    // The owner goes while its task waits: the task ends without touching it, and its answer goes nowhere.
    void anOwnerGoneMidWaitGetsNothing_data() { waits_data(); }
    void anOwnerGoneMidWaitGetsNothing() {
        QFETCH(Wait, wait);
        auto* worker = new Worker;
        bool answered = false;
        TaskOwner::own(worker, worker->work(wait, &gate), [&answered](int) { answered = true; });
        delete worker;
        if (wait == Wait::timer) {
            // The timer's wait ends with its owner: nothing is left on the clock.
            QCOMPARE(clock->pendingSleepers(), 0);
            QCOMPARE(TaskOwner::running(), 0);
        } else {
            // Work on the pool cannot be called back; the task ends when it comes back.
            QCOMPARE(TaskOwner::running(), 1);
        }
        endWait(wait);
        QVERIFY(!answered);
    }
};

QTEST_GUILESS_MAIN(TaskOwnerTests)
#include "tst_task_owner.moc"
