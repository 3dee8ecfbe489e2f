#include "EngineTestSupport.h"

#include "APIManager.h"
#include "MiniMaxAPIService.h"
#include "QueueManager.h"
#include "TaskOwner.h"

#include <QTest>

using Script = FakeMiniMaxService::TaskScript;

namespace {
const QString kGenerationPath = "/v1/video_generation";
const QString kQueryPath = "/v1/query/video_generation";
} // namespace

// Keys typed in the settings while the application runs: the queue's clients take them at once.
class QueueKeysTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EngineWorld> world;
    std::unique_ptr<QueueManager> queue;

    void add(const QString& prompt) {
        queue->addVideoTask(prompt, solidFrame(Qt::red), std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
    }

    QStringList bearersSent() const {
        QStringList bearers;
        for (const auto& request : world->fake.requestsTo(kGenerationPath))
            bearers << QString::fromUtf8(request.header("Authorization"));
        return bearers;
    }

private slots:
    void initTestCase() { QVERIFY(!fixtureClip().isEmpty()); }

    void init() {
        world = std::make_unique<EngineWorld>();
        world->fake.acceptedKeys = {"key-1", "key-2"};
    }

    void cleanup() {
        queue.reset();
        world.reset();
    }

    void jobsWaitingForKeysStartWhenTheKeysAreTyped() {
        queue = std::make_unique<QueueManager>();
        world->fake.scripts = {Script::processingForever(), Script::processingForever()};
        add("first");
        add("second");
        world->clock.runUntil([] { return false; }, 30, 200);
        QVERIFY(world->fake.requests.isEmpty());
        QCOMPARE(queue->videoQueue().size(), 2);

        APIManager::shared().setMiniMaxAPIKey("key-1");
        APIManager::shared().setMiniMaxAPIKey2("key-2");
        QVERIFY(world->clock.runUntil([&] { return world->fake.requestsTo(kGenerationPath).size() == 2; }));
        QCOMPARE(queue->activeVideoTasks().size(), 2);
        QCOMPARE(queue->videoServices()[0]->apiKey(), "key-1");
        QCOMPARE(queue->videoServices()[1]->apiKey(), "key-2");
        // Both go out at once; the order they reach the service in is the network's.
        QStringList bearers = bearersSent();
        bearers.sort();
        QCOMPARE(bearers, (QStringList{"Bearer key-1", "Bearer key-2"}));
    }

    void aCorrectedKeyBringsARefusedSlotBack() {
        APIManager::shared().setMiniMaxAPIKey("mistyped");
        queue = std::make_unique<QueueManager>();
        world->fake.scripts = {Script::processingForever()};
        add("refused");
        QVERIFY(world->clock.runUntil([&] { return queue->completedTasks().size() == 1; }, 1e6, 20000));
        QVERIFY(queue->videoServices()[0]->keyRejected());
        add("after the fix");
        world->clock.runUntil([] { return false; }, 30, 200);
        QCOMPARE(queue->videoQueue().size(), 1);

        APIManager::shared().setMiniMaxAPIKey("key-1");
        QVERIFY(!queue->videoServices()[0]->keyRejected());
        QVERIFY(world->clock.runUntil([&] { return queue->activeVideoTasks().size() == 1; }));
        QVERIFY(world->clock.runUntil([&] { return bearersSent().contains("Bearer key-1"); }));
        QCOMPARE(queue->activeVideoTasks().first().prompt, "after the fix");
    }

    // A job in flight when its queue and clients go (keys replaced, the application quitting) leaves nothing
    // behind: no wait on the clock and no open request.
    void aRunningJobsTasksEndWithTheQueue_data() {
        QTest::addColumn<bool>("answerHeld"); // the paid request unanswered; otherwise the job is polling
        QTest::newRow("waiting for the answer to the paid request") << true;
        QTest::newRow("polling") << false;
    }

    void aRunningJobsTasksEndWithTheQueue() {
        QFETCH(bool, answerHeld);
        APIManager::shared().setMiniMaxAPIKey("key-1");
        queue = std::make_unique<QueueManager>();
        world->fake.scripts = {Script::processingForever()};
        if (answerHeld)
            world->fake.generationReplies = {FakeMiniMaxService::Reply::hanging()};
        add("in flight");
        QVERIFY(world->clock.runUntil([&] {
            return answerHeld ? world->fake.heldConnections() == 1 : !world->fake.requestsTo(kQueryPath).isEmpty();
        }));
        QCOMPARE(queue->activeVideoTasks().size(), 1);
        // The queue's run of the job, and once the job is accepted the client's polling.
        QCOMPARE(TaskOwner::running(), answerHeld ? 1 : 2);
        queue.reset();
        QVERIFY(QTest::qWaitFor([&] { return world->clock.pendingSleepers() == 0; }, 1000));
        QVERIFY(QTest::qWaitFor([&] { return world->fake.heldConnections() == 0; }, 1000));
        QVERIFY(QTest::qWaitFor([] { return TaskOwner::running() == 0; }, 1000));
    }
};

QTEST_MAIN(QueueKeysTest)
#include "tst_queue_keys.moc"
