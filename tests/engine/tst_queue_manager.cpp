#include "EngineTestSupport.h"

#include "APIManager.h"
#include "MiniMaxAPIService.h"
#include "OrvaneAPIService.h"
#include "QueueManager.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using Reply = FakeMiniMaxService::Reply;
using Script = FakeMiniMaxService::TaskScript;

namespace {

const QString kGenerationPath = "/v1/video_generation";

QList<QUuid> idsOf(const QList<GenerationTask>& tasks) {
    QList<QUuid> ids;
    for (const GenerationTask& task : tasks)
        ids.append(task.id);
    return ids;
}

} // namespace

class QueueManagerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EngineWorld> world;
    std::unique_ptr<QueueManager> queue;

    // The queue copies the four keys when it is made.
    void makeQueue(const QStringList& keys) {
        APIManager& manager = APIManager::shared();
        manager.setMiniMaxAPIKey(keys.value(0));
        manager.setMiniMaxAPIKey2(keys.value(1));
        manager.setMiniMaxAPIKey3(keys.value(2));
        manager.setMiniMaxAPIKey4(keys.value(3));
        queue = std::make_unique<QueueManager>();
    }

    void add(const QString& prompt, std::optional<QImage> last = std::nullopt) {
        queue->addVideoTask(prompt, solidFrame(Qt::red), last, VideoQuality::p768, VideoDuration::seconds6);
    }

    MiniMaxAPIService* client(int slot) const { return queue->videoServices()[slot - 1]; }

    // While a transfer is in flight the watch loops keep ticking, so virtual time may run far ahead.
    bool runUntilEnded(int count) {
        return world->clock.runUntil([&] { return queue->completedTasks().size() >= count; }, 1e6, 20000);
    }

    // Steps time by hand through a job on slot 1 whose first status answer is "Fail": it ends 6 s after it
    // was sent, however long the loopback answers take in real time.
    bool failFirstJobAfterSixSeconds() {
        if (!QTest::qWaitFor([&] { return client(1)->currentTaskId().has_value(); }))
            return false;
        world->clock.advance(5);
        if (!QTest::qWaitFor([&] { return !client(1)->isLoading(); }))
            return false;
        world->clock.advance(1);
        return queue->completedTasks().size() == 1;
    }

    QJsonObject generationBodyWithPrompt(const QString& prompt) const {
        for (const auto& request : world->fake.requestsTo(kGenerationPath)) {
            if (request.json()["prompt"].toString() == prompt)
                return request.json();
        }
        return {};
    }

private slots:
    void initTestCase() { QVERIFY(!fixtureClip().isEmpty()); }

    void init() {
        world = std::make_unique<EngineWorld>();
        world->fake.acceptedKeys = {"key-1", "key-2", "key-3", "key-4"};
        MiniMaxAPIService& shared = MiniMaxAPIService::shared();
        shared.setSelectedModel(VideoModel::hailuo02);
        shared.setFastPretreatment(false);
        shared.setEnablePromptOptimization(true);
    }

    void cleanup() {
        queue.reset();
        world.reset();
    }

    // --- slots, limits and status texts

    void fourJobsGoToFourClientsInSlotOrder() {
        makeQueue({"key-1", "key-2", "key-3", "key-4"});
        world->fake.scripts = {Script::processingForever(), Script::processingForever(), Script::processingForever(),
                               Script::processingForever(), Script::processingForever()};
        QCOMPARE(queue->videoStatusText(), "Ready");
        QVERIFY(!queue->hasVideoWork());
        for (int i = 1; i <= 4; ++i)
            add(QStringLiteral("job %1").arg(i));
        QCOMPARE(queue->videoStatusText(), "4/4 generating");
        QVERIFY(queue->hasVideoWork());
        for (const GenerationTask& task : queue->activeVideoTasks())
            QCOMPARE(task.status, GenerationTaskStatus::active);
        QVERIFY(world->clock.runUntil([&] { return world->fake.requestsTo(kGenerationPath).size() == 4; }));
        for (const auto& request : world->fake.requestsTo(kGenerationPath)) {
            const QByteArray key = request.header("Authorization").mid(7);
            QCOMPARE(request.json()["prompt"].toString(), "job " + QString::fromLatin1(key.mid(4)));
        }
        for (int slot = 1; slot <= 4; ++slot)
            QVERIFY(client(slot)->isLoading());

        add("job 5");
        QCOMPARE(queue->videoQueue().size(), 1);
        QCOMPARE(queue->videoQueue().first().status, GenerationTaskStatus::pending);
        QCOMPARE(queue->videoStatusText(), "4 active, 1 queued");
    }

    void sixteenJobsAtMost() {
        makeQueue({"key-1", "key-2", "key-3", "key-4"});
        world->fake.scripts = {Script::processingForever(), Script::processingForever(), Script::processingForever(),
                               Script::processingForever()};
        for (int i = 0; i < 12; ++i)
            add(QStringLiteral("job %1").arg(i));
        QCOMPARE(queue->videoStatusText(), "4 active, 8 queued");
        for (int i = 12; i < 16; ++i)
            add(QStringLiteral("job %1").arg(i));
        QCOMPARE(queue->videoStatusText(), "4 active, 12 queued");
        const auto active = idsOf(queue->activeVideoTasks());
        const auto waiting = idsOf(queue->videoQueue());
        add("one too many");
        QCOMPARE(idsOf(queue->activeVideoTasks()), active);
        QCOMPARE(idsOf(queue->videoQueue()), waiting);
    }

    void withoutKeysEveryJobWaits() {
        makeQueue({});
        for (int i = 1; i <= 12; ++i) {
            add(QStringLiteral("job %1").arg(i));
            QCOMPARE(queue->videoStatusText(), QStringLiteral("%1 in queue").arg(i));
        }
        add("job 13");
        QCOMPARE(queue->videoStatusText(), "0 active, queue full");
        for (int i = 14; i <= 17; ++i)
            add(QStringLiteral("job %1").arg(i));
        QCOMPARE(queue->videoQueue().size(), 16);
        QCOMPARE(queue->videoQueue().last().prompt, "job 16");
        world->clock.runUntil([] { return false; }, 60, 300);
        QVERIFY(world->fake.requests.isEmpty());
    }

    void aKeyOfSpacesIsNeverChosen() {
        makeQueue({"   ", "key-2"});
        world->fake.scripts = {Script::processingForever()};
        add("job");
        QVERIFY(!client(1)->isLoading());
        QVERIFY(client(2)->isLoading());
    }

    void requestSpacingDecidesTheSlot() {
        makeQueue({"key-1"});
        Script failing;
        failing.statuses = {"Fail"};
        world->fake.scripts = {failing};
        add("first");
        QVERIFY(failFirstJobAfterSixSeconds());
        const QDateTime sent = *client(1)->lastRequestTime();
        world->clock.advance(6.0);
        add("second");
        QCOMPARE(queue->videoStatusText(), "1 in queue");
        world->clock.advance(0.1);
        QCOMPARE(queue->videoStatusText(), "1/4 generating");
        QTRY_COMPARE(world->fake.requestsTo(kGenerationPath).size(), 2);
        QCOMPARE(sent.msecsTo(world->fake.requestsTo(kGenerationPath).last().at), 12100);
    }

    void aWallClockSetBackDoesNotHoldTheQueue() {
        makeQueue({"key-1"});
        Script failing;
        failing.statuses = {"Fail"};
        world->fake.scripts = {failing};
        add("first");
        QVERIFY(failFirstJobAfterSixSeconds());
        world->clock.stepWallClock(-3600);
        add("second");
        QCOMPARE(queue->videoStatusText(), "1 in queue");
        world->clock.advance(6.0);
        QCOMPARE(queue->videoStatusText(), "1 in queue");
        world->clock.advance(0.1);
        QCOMPARE(queue->videoStatusText(), "1/4 generating");
        QTRY_COMPARE(world->fake.requestsTo(kGenerationPath).size(), 2);
    }

    void waitingJobsDoNotStallOnTheSpacing() {
        makeQueue({"key-1"});
        Script failing;
        failing.statuses = {"Fail"};
        world->fake.scripts = {failing};
        add("first");
        add("second");
        QVERIFY(failFirstJobAfterSixSeconds());
        QCOMPARE(queue->completedTasks()[0].error.value_or(""), "Video generation failed");
        QCOMPARE(queue->videoStatusText(), "1 in queue");
        world->clock.advance(6.1);
        QCOMPARE(queue->videoStatusText(), "1/4 generating");
        QTRY_COMPARE(world->fake.requestsTo(kGenerationPath).size(), 2);
        const auto sends = world->fake.requestsTo(kGenerationPath);
        QCOMPARE(sends[0].at.msecsTo(sends[1].at), 12100);
        QVERIFY(runUntilEnded(2));
        QCOMPARE(queue->completedTasks()[1].status, GenerationTaskStatus::completed);
    }

    // While the quit waits for clips being filed, the event loop runs on; a job started then would be paid for
    // and lost.
    void noJobStartsOnceTheQuitHasBegun() {
        makeQueue({"key-1"});
        Script failing;
        failing.statuses = {"Fail"};
        world->fake.scripts = {failing};
        add("first");
        add("second");
        QVERIFY(queue->finishFilingBeforeQuit(100));
        QVERIFY(failFirstJobAfterSixSeconds());
        world->clock.advance(6.1);
        world->clock.runUntil([] { return false; }, 5, 300);
        QCOMPARE(world->fake.requestsTo(kGenerationPath).size(), 1);
        QCOMPARE(queue->videoStatusText(), "1 in queue");
    }

    // --- outcomes

    void aFinishedJobCarriesItsClip() {
        makeQueue({"key-1"});
        add("a cat");
        // Looked at as the job is announced finished: the filing that follows on a worker moves the download on.
        std::optional<bool> clipThereWhenFinished;
        connect(queue.get(), &QueueManager::tasksChanged, this, [&] {
            const QList<GenerationTask> completed = queue->completedTasks();
            if (!clipThereWhenFinished && !completed.isEmpty() && completed.first().result)
                clipThereWhenFinished = QFileInfo::exists(completed.first().result->videoValue()->fileURL);
        });
        QVERIFY(runUntilEnded(1));
        const GenerationTask& done = queue->completedTasks().first();
        QCOMPARE(done.status, GenerationTaskStatus::completed);
        QCOMPARE(done.progress, 1.0);
        QVERIFY(!done.error);
        QCOMPARE(done.result->videoValue()->fileURL, *client(1)->generatedVideoURL());
        QCOMPARE(clipThereWhenFinished, std::optional<bool>(true));
        QVERIFY(queue->activeVideoTasks().isEmpty());
        QCOMPARE(queue->videoStatusText(), "Ready");
    }

    void aNetworkFailureDoesNotRetireTheSlot() {
        makeQueue({"key-1"});
        world->fake.generationReplies = {Reply::http(500), Reply::http(500), Reply::http(500), Reply::http(500)};
        add("first");
        add("second");
        QVERIFY(runUntilEnded(2));
        const GenerationTask& failed = queue->completedTasks()[0];
        QCOMPARE(failed.prompt, "first");
        QCOMPARE(failed.status, GenerationTaskStatus::failed);
        QCOMPARE(*failed.error, "HTTP Error: 500");
        QCOMPARE(failed.progress, 0.0);
        QVERIFY(!failed.result);
        QCOMPARE(queue->completedTasks()[1].prompt, "second");
        QCOMPARE(queue->completedTasks()[1].status, GenerationTaskStatus::completed);
    }

    void malformedAnswersFailTheTaskWithTheirText_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("error");
        QTest::newRow("not json") << QByteArray("Bad Gateway")
                                  << "Status check error: The data couldn’t be read because it isn’t in the correct "
                                     "format.";
        QTest::newRow("file id missing") << QByteArray(R"({"status":"Success"})") << "File ID not found in response";
        QTest::newRow("refused with 1008") << QByteArray(R"({"base_resp":{"status_code":1008,"status_msg":"no"}})")
                                           << "Status check error: HTTP Error: 1008";
    }

    void malformedAnswersFailTheTaskWithTheirText() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, error);
        makeQueue({"key-1"});
        Script script;
        script.queryReplies = {Reply::json(answer)};
        world->fake.scripts = {script};
        add("job");
        QVERIFY(runUntilEnded(1));
        const GenerationTask& task = queue->completedTasks().first();
        QCOMPARE(task.status, GenerationTaskStatus::failed);
        QCOMPARE(task.error.value_or(QString()), error);
    }

    void aRejectedKeyRetiresItsSlot_data() {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("refusalCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong key") << QStringList{"wrong-key", "key-2"} << 0
                                   << "Invalid MiniMax API key or incorrect Group ID.";
        QTest::newRow("missing key answer")
            << QStringList{"key-1", "key-2"} << 1004 << "MiniMax requires API Key in Authorization: Bearer <API_KEY>.";
    }

    void aRejectedKeyRetiresItsSlot() {
        QFETCH(QStringList, keys);
        QFETCH(int, refusalCode);
        QFETCH(QString, message);
        makeQueue(keys);
        if (refusalCode)
            world->fake.generationReplies = {Reply::refusal(refusalCode)};
        world->fake.scripts = {Script::processingForever(), Script::processingForever()};
        add("first");
        QVERIFY(runUntilEnded(1));
        QCOMPARE(*queue->completedTasks().first().error, message);
        add("second");
        add("third");
        QVERIFY(world->clock.runUntil([&] { return world->fake.requestsTo(kGenerationPath).size() == 2; }));
        world->clock.runUntil([] { return false; }, 120, 500);
        // Slot 1 stays out: the second job runs on slot 2, the third waits for it.
        QVERIFY(!client(1)->isLoading());
        QVERIFY(client(2)->isLoading());
        QCOMPARE(queue->videoStatusText(), "1 active, 1 queued");
        QCOMPARE(world->fake.requestsTo(kGenerationPath).size(), 2);
    }

    void aClientBelongsToItsJobUntilTheJobEnds() {
        makeQueue({"key-1"});
        QueueManager::applySelectedModel(VideoModel::hailuo23);
        // The start-to-end job is refused on the spot; its client must not take the next job meanwhile.
        add("refused", solidFrame(Qt::blue));
        add("accepted");
        QCOMPARE(queue->videoQueue().size(), 1);
        QCOMPARE(queue->videoQueue().first().prompt, "accepted");
        QVERIFY(runUntilEnded(2));
        const GenerationTask& refused = queue->completedTasks()[0];
        QCOMPARE(refused.prompt, "refused");
        QCOMPARE(*refused.error, "Start→End режим поддерживается только моделью 2.0");
        const GenerationTask& accepted = queue->completedTasks()[1];
        QCOMPARE(accepted.status, GenerationTaskStatus::completed);
        QCOMPARE(world->fake.requestsTo(kGenerationPath).size(), 1);
        QCOMPARE(world->fake.requestsTo(kGenerationPath).first().json()["prompt"].toString(), "accepted");
    }

    // --- options

    void optionPushesReachEveryClient() {
        makeQueue({"key-1", "key-2"});
        QueueManager::applySelectedModel(VideoModel::hailuo23Fast);
        QueueManager::applyFastPretreatment(true);
        QCOMPARE(MiniMaxAPIService::shared().selectedModel(), VideoModel::hailuo23Fast);
        QVERIFY(MiniMaxAPIService::shared().fastPretreatment());
        for (MiniMaxAPIService* service : queue->videoServices()) {
            QCOMPARE(service->selectedModel(), VideoModel::hailuo23Fast);
            QVERIFY(service->fastPretreatment());
        }
    }

    void waitingJobsAreSentWithTheCurrentOptions() {
        makeQueue({"key-1"});
        add("first");
        MiniMaxAPIService::shared().setEnablePromptOptimization(false);
        add("second");
        QueueManager::applySelectedModel(VideoModel::hailuo23);
        QueueManager::applyFastPretreatment(true);
        QVERIFY(runUntilEnded(2));

        const QJsonObject first = generationBodyWithPrompt("first");
        QCOMPARE(first["model"].toString(), "MiniMax-Hailuo-02");
        QVERIFY(!first.contains("fast_pretreatment"));
        QCOMPARE(first["prompt_optimizer"], QJsonValue(true));
        const QJsonObject second = generationBodyWithPrompt("second");
        QCOMPARE(second["model"].toString(), "MiniMax-Hailuo-2.3");
        QCOMPARE(second["fast_pretreatment"], QJsonValue(true));
        QCOMPARE(second["prompt_optimizer"], QJsonValue(false));

        const GenerationTask& task = queue->completedTasks()[1];
        QCOMPARE(*task.model, VideoModel::hailuo02);
        QCOMPARE(*task.fastPretreatment, false);
        QCOMPARE(*task.promptOptimization, false);
    }

    // --- photo side and the process-wide queue

    void newChatLeavesTheVideoTasksAlone() {
        makeQueue({"key-1"});
        world->fake.scripts = {Script::processingForever()};
        add("running");
        add("waiting");
        QSignalSpy reset(&OrvaneAPIService::shared(), &ImageGenerationService::stateChanged);
        queue->clearPhotoSession();
        // The image service announces each property it clears; one announcement at least means it was reset.
        QVERIFY(!reset.isEmpty());
        QCOMPARE(queue->activeVideoTasks().size(), 1);
        QCOMPARE(queue->videoQueue().size(), 1);
        QCOMPARE(queue->photoStatusText(), "Ready");
        QVERIFY(!queue->hasPhotoWork());
        QVERIFY(!queue->activePhotoTask());
    }

    void theLatestQueueIsCurrent() {
        makeQueue({});
        QCOMPARE(QueueManager::current(), queue.get());
        auto later = std::make_unique<QueueManager>();
        QCOMPARE(QueueManager::current(), later.get());
        later.reset();
        QCOMPARE(QueueManager::current(), nullptr);
    }

    void aTaskCopiesWhatItIsGiven() {
        makeQueue({});
        queue->addVideoTask(std::nullopt, solidFrame(Qt::red), solidFrame(Qt::blue), VideoQuality::p1080,
                            VideoDuration::seconds10);
        const GenerationTask& task = queue->videoQueue().first();
        QCOMPARE(task.prompt, "");
        QCOMPARE(task.referenceImages.size(), 2);
        QCOMPARE(task.referenceImages[0].pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(*task.quality, VideoQuality::p1080);
        QCOMPARE(*task.duration, VideoDuration::seconds10);
        QCOMPARE(task.createdAt, world->clock.now());
        QCOMPARE(task.type, GenerationTask::TaskType::video);
    }
};

QTEST_GUILESS_MAIN(QueueManagerTest)
#include "tst_queue_manager.moc"
