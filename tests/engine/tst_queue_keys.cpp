#include "EngineTestSupport.h"

#include "APIManager.h"
#include "MiniMaxAPIService.h"
#include "QueueManager.h"

#include <QtTest>

using Script = FakeMiniMaxService::TaskScript;

namespace {
const QString kGenerationPath = "/v1/video_generation";
}

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
};

QTEST_MAIN(QueueKeysTest)
#include "tst_queue_keys.moc"
