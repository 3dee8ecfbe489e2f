#include "VideoStudioTestSupport.h"

#include "Defaults.h"
#include "FolderBookmark.h"
#include "FrameImageIntake.h"
#include "VideoMetadata.h"
#include "VideoSettingsChoices.h"
#include "VideoWorkspaceModel.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using Script = FakeMiniMaxService::TaskScript;

class VideoWorkspaceModelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<StudioWorld> world;
    std::unique_ptr<VideoWorkspaceModel> model;

    void makeModel() {
        model = std::make_unique<VideoWorkspaceModel>(world->env());
        model->onAppearSetup();
        model->restoreSavedPrompt();
    }

    QList<MiniMaxAPIService*> allServices() const {
        QList<MiniMaxAPIService*> list{&MiniMaxAPIService::shared()};
        list += world->queue->videoServices();
        return list;
    }

private slots:
    void init() {
        world = std::make_unique<StudioWorld>();
        for (int i = 0; i < 17; ++i)
            world->fake.scripts.append(Script::processingForever());
    }
    void cleanup() {
        model.reset();
        world.reset();
    }

    void titles_data() {
        QTest::addColumn<int>("active");
        QTest::addColumn<int>("waiting");
        QTest::addColumn<QString>("title");
        QTest::newRow("idle") << 0 << 0 << "Generate Video";
        QTest::newRow("three running") << 3 << 0 << "Generate (3/4)";
        QTest::newRow("four running") << 4 << 0 << "Generate (4/4)";
        QTest::newRow("two waiting") << 4 << 2 << "Queue (4+2)";
        QTest::newRow("twelve waiting") << 4 << 12 << "Queue (4+12)";
        QTest::newRow("thirteen waiting") << 3 << 13 << "Queue Full";
        QTest::newRow("waiting without slots") << 0 << 1 << "Queue (0+1)";
    }
    void titles() {
        QFETCH(int, active);
        QFETCH(int, waiting);
        QFETCH(QString, title);
        QCOMPARE(VideoWorkspaceModel::generateButtonTitle(active, waiting), title);
    }

    // Jobs submitted through the model, counted by the real queue.
    void titleAndEnableRuleFollowTheQueue() {
        makeModel();
        QVERIFY(!model->generateEnabled());
        QCOMPARE(model->generateOpacity(), 0.6);
        model->storeImage(ImageType::first, solidFrame(Qt::red));
        QVERIFY(model->generateEnabled());
        QCOMPARE(model->generateOpacity(), 1.0);
        QCOMPARE(model->generateButtonTitle(), "Generate Video");
        QVERIFY(model->showsPlaySymbol());

        QSignalSpy titleSpy(model.get(), &VideoWorkspaceModel::queueChanged);
        struct Step {
            int jobs;
            QString title;
            bool enabled;
        };
        const QList<Step> steps{{1, "Generate (1/4)", true},
                                {4, "Generate (4/4)", true},
                                {5, "Queue (4+1)", true},
                                {15, "Queue (4+11)", true},
                                {16, "Queue (4+12)", false}};
        int submitted = 0;
        for (const auto& [count, title, enabled] : steps) {
            while (submitted < count) {
                model->generateVideo();
                ++submitted;
            }
            QCOMPARE(model->totalVideoTaskCount(), count);
            QCOMPARE(model->generateButtonTitle(), title);
            QCOMPARE(model->generateEnabled(), enabled);
            QCOMPARE(model->queueFull(), !enabled);
            QCOMPARE(model->generateOpacity(), enabled ? 1.0 : 0.6);
            QVERIFY(!model->showsPlaySymbol());
            QVERIFY(model->showsProgress());
        }
        QVERIFY(titleSpy.count() >= 16);
        QVERIFY(model->queueFull());
        QVERIFY(!model->generateEnabled());
        QCOMPARE(model->generateOpacity(), 0.6);
        // Neither the button's action nor Return adds a seventeenth job.
        model->handlePromptEnter();
        model->generateVideo();
        QCOMPARE(model->totalVideoTaskCount(), 16);
    }

    void generateNeedsTheFramesOfTheMode() {
        makeModel();
        world->app->setVideoMode(VideoGenerationMode::startEndVideo);
        model->storeImage(ImageType::first, solidFrame(Qt::red));
        QVERIFY(!model->hasRequiredFrames());
        QVERIFY(!model->generateEnabled());
        model->handlePromptEnter();
        model->generateVideo();
        QCOMPARE(model->totalVideoTaskCount(), 0);
        model->storeImage(ImageType::last, solidFrame(Qt::blue));
        QVERIFY(model->generateEnabled());
        model->handlePromptEnter();
        QCOMPARE(model->totalVideoTaskCount(), 1);
        QCOMPARE(world->queue->activeVideoTasks().first().referenceImages.size(), 2);
    }

    // From the action to the request the service receives: prompt as typed, frames, options.
    void aJobReachesTheServiceWithItsOptions() {
        world->videoSettings->setQuality(VideoQuality::p1080);
        world->videoSettings->setDefaultPromptOptimization(false);
        makeModel();
        model->storeImage(ImageType::first, solidFrame(Qt::red));
        model->setPrompt("  a fox runs [Pan left]  ");
        model->generateVideo();
        QCOMPARE(world->queue->activeVideoTasks().size(), 1);
        const GenerationTask task = world->queue->activeVideoTasks().first();
        QCOMPARE(task.prompt, "  a fox runs [Pan left]  ");
        QCOMPARE(task.promptOptimization, false);
        QCOMPARE(task.quality, VideoQuality::p1080);
        QVERIFY(world->clock.runUntil([&] { return world->fake.requestsTo("/v1/video_generation").size() == 1; }));
        const QJsonObject body = world->fake.requestsTo("/v1/video_generation").first().json();
        QCOMPARE(body["prompt"].toString(), "a fox runs [Pan left]");
        QCOMPARE(body["model"].toString(), "MiniMax-Hailuo-02");
        QCOMPARE(body["prompt_optimizer"].toBool(true), false);
        QCOMPARE(body["resolution"].toString(), "1080P");
        QCOMPARE(body["duration"].toInt(), 6);
        QVERIFY(body["first_frame_image"].toString().startsWith("data:image/"));
        QVERIFY(!body.contains("last_frame_image"));
        // The workspace keeps its job after submitting it.
        QCOMPARE(model->prompt(), "  a fox runs [Pan left]  ");
        QVERIFY(model->hasFirstFrame());
    }

    void aPromptOfSpacesSendsNoPromptAndTheEndFrameRidesAlong() {
        makeModel();
        model->storeImage(ImageType::first, solidFrame(Qt::red));
        // An end frame handed over while image-to-video is selected is kept and sent.
        world->app->setSharedImageType(ImageType::last);
        world->app->setSharedImage(solidFrame(Qt::blue));
        QVERIFY(model->hasLastFrame());
        model->setPrompt("   \n ");
        model->generateVideo();
        const GenerationTask task = world->queue->activeVideoTasks().first();
        QCOMPARE(task.prompt, QString());
        QCOMPARE(task.referenceImages.size(), 2);
        QCOMPARE(centreColor(task.referenceImages[1]), QColor(Qt::blue));
    }

    void modeRule() {
        world->videoSettings->setQuality(VideoQuality::p512);
        world->videoSettings->setSelectedModel(VideoModel::hailuo23);
        makeModel();
        QCOMPARE(MiniMaxAPIService::shared().selectedModel(), VideoModel::hailuo23);
        model->storeImage(ImageType::first, solidFrame(Qt::red));
        model->storeImage(ImageType::last, solidFrame(Qt::blue));

        world->app->setVideoMode(VideoGenerationMode::startEndVideo);
        QCOMPARE(world->videoSettings->selectedModel(), VideoModel::hailuo02);
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p768);
        QCOMPARE(Defaults::standard().string("videoGenerationMode"), "start_end_video");
        QCOMPARE(Defaults::standard().string("videoModel"), "MiniMax-Hailuo-02");
        for (MiniMaxAPIService* service : allServices())
            QCOMPARE(service->selectedModel(), VideoModel::hailuo02);

        // Another model while start-to-end is selected falls back at once.
        world->videoSettings->setSelectedModel(VideoModel::hailuo23);
        QCOMPARE(world->videoSettings->selectedModel(), VideoModel::hailuo02);
        for (MiniMaxAPIService* service : allServices())
            QCOMPARE(service->selectedModel(), VideoModel::hailuo02);

        world->videoSettings->setQuality(VideoQuality::p1080);
        world->app->setVideoMode(VideoGenerationMode::imageToVideo);
        QVERIFY(!model->hasLastFrame());
        QVERIFY(model->hasFirstFrame());
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p1080);
        QCOMPARE(Defaults::standard().string("videoGenerationMode"), "image_to_video");

        world->videoSettings->setSelectedModel(VideoModel::hailuo23Fast);
        for (MiniMaxAPIService* service : allServices())
            QCOMPARE(service->selectedModel(), VideoModel::hailuo23Fast);
        // 1080P stays when switching to start-to-end.
        world->app->setVideoMode(VideoGenerationMode::startEndVideo);
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p1080);
    }

    // What each mode offers, and where a stored choice goes when the mode's jobs cannot be sent with it.
    void choicesOfEachMode_data() {
        QTest::addColumn<VideoGenerationMode>("mode");
        QTest::addColumn<VideoModel>("model");
        QTest::addColumn<VideoQuality>("quality");
        QTest::addColumn<VideoDuration>("duration");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("keptModel");
        QTest::addColumn<QString>("keptQuality");
        QTest::addColumn<int>("keptDuration");
        using M = VideoGenerationMode;
        const QStringList all{"512P", "768P", "1080P"};
        const QStringList noLow{"768P", "1080P"};
        const QString v02 = "MiniMax-Hailuo-02";
        QTest::newRow("image, 2.0, 512P") << M::imageToVideo << VideoModel::hailuo02 << VideoQuality::p512
                                          << VideoDuration::seconds10 << all << v02 << "512P" << 10;
        // Image-to-video jobs go with any pair: one set elsewhere stays until the user picks.
        QTest::newRow("image, 2.3, 512P") << M::imageToVideo << VideoModel::hailuo23 << VideoQuality::p512
                                          << VideoDuration::seconds6 << noLow << "MiniMax-Hailuo-2.3"
                                          << "512P" << 6;
        QTest::newRow("image, 1080P, 10 s") << M::imageToVideo << VideoModel::hailuo02 << VideoQuality::p1080
                                            << VideoDuration::seconds10 << all << v02 << "1080P" << 10;
        QTest::newRow("start-end, 512P") << M::startEndVideo << VideoModel::hailuo02 << VideoQuality::p512
                                         << VideoDuration::seconds10 << noLow << v02 << "768P" << 10;
        QTest::newRow("start-end, 2.3 Fast, 512P") << M::startEndVideo << VideoModel::hailuo23Fast << VideoQuality::p512
                                                   << VideoDuration::seconds6 << noLow << v02 << "768P" << 6;
        QTest::newRow("start-end, 1080P, 10 s") << M::startEndVideo << VideoModel::hailuo02 << VideoQuality::p1080
                                                << VideoDuration::seconds10 << noLow << v02 << "1080P" << 6;
        QTest::newRow("start-end, 768P, 10 s") << M::startEndVideo << VideoModel::hailuo02 << VideoQuality::p768
                                               << VideoDuration::seconds10 << noLow << v02 << "768P" << 10;
    }
    void choicesOfEachMode() {
        QFETCH(VideoGenerationMode, mode);
        QFETCH(VideoModel, model);
        QFETCH(VideoQuality, quality);
        QFETCH(VideoDuration, duration);
        QFETCH(QStringList, offered);
        VideoSettings& settings = *world->videoSettings;
        settings.setSelectedModel(model);
        settings.setQuality(quality);
        settings.setDuration(duration);
        QStringList keys;
        for (VideoQuality q : VideoSettingsChoices::qualities(model, mode))
            keys << rawValue(q);
        QCOMPARE(keys, offered);

        VideoSettingsChoices::fitToMode(settings, mode);
        QTEST(rawValue(settings.selectedModel()), "keptModel");
        QTEST(rawValue(settings.quality()), "keptQuality");
        QTEST(rawValue(settings.duration()), "keptDuration");
        // What moved is stored.
        QTEST(Defaults::standard().string("videoQuality").value_or(QString()), "keptQuality");
        QTEST(int(Defaults::standard().integer("videoDuration")), "keptDuration");
    }

    // Start-to-end with 512P stored (picked when the popover still offered it): the job goes at 768P instead of
    // failing on its card.
    void aStartEndJobStoredAt512PGoesAt768P() {
        world->videoSettings->setQuality(VideoQuality::p512);
        world->app->setVideoMode(VideoGenerationMode::startEndVideo);
        makeModel();
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p768);
        QCOMPARE(Defaults::standard().string("videoQuality"), "768P");
        model->storeImage(ImageType::first, solidFrame(Qt::red));
        model->storeImage(ImageType::last, solidFrame(Qt::blue));
        model->generateVideo();
        QCOMPARE(world->queue->activeVideoTasks().size(), 1);
        QVERIFY(world->clock.runUntil([&] { return world->fake.requestsTo("/v1/video_generation").size() == 1; }));
        const QJsonObject body = world->fake.requestsTo("/v1/video_generation").first().json();
        QCOMPARE(body["resolution"].toString(), "768P");
        QVERIFY(body.contains("last_frame_image"));

        // Set elsewhere (a settings reload) while start-to-end is chosen: moved at once.
        world->videoSettings->setQuality(VideoQuality::p512);
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p768);
    }

    void optionsArePushedOnAppearAndOnChange() {
        world->videoSettings->setDefaultPromptOptimization(false);
        world->videoSettings->setFastPretreatment(true);
        world->videoSettings->setSelectedModel(VideoModel::hailuo23);
        makeModel();
        for (MiniMaxAPIService* service : allServices()) {
            QCOMPARE(service->enablePromptOptimization(), false);
            QCOMPARE(service->fastPretreatment(), true);
            QCOMPARE(service->selectedModel(), VideoModel::hailuo23);
        }
        world->videoSettings->setDefaultPromptOptimization(true);
        world->videoSettings->setFastPretreatment(false);
        for (MiniMaxAPIService* service : allServices()) {
            QCOMPARE(service->enablePromptOptimization(), true);
            QCOMPARE(service->fastPretreatment(), false);
        }
    }

    void handOvers_data() {
        QTest::addColumn<int>("mode");      // 0 image-to-video, 1 start-to-end
        QTest::addColumn<int>("type");      // 0 first, 1 last, 2 none
        QTest::addColumn<bool>("hadFirst"); // a first frame was already there
        QTest::addColumn<QString>("first"); // colour names expected in the slots ("" none)
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("savedFirst");
        QTest::addColumn<QString>("savedLast");
        // Before each hand-over the slots hold red/green (when hadFirst) and the mirrors hold nothing.
        QTest::newRow("i2v first") << 0 << 0 << true << "#0000ff"
                                   << "#00ff00"
                                   << "#0000ff"
                                   << "";
        QTest::newRow("i2v last") << 0 << 1 << true << "#ff0000"
                                  << "#0000ff"
                                  << "#ff0000"
                                  << "#0000ff";
        QTest::newRow("i2v none") << 0 << 2 << true << "#0000ff"
                                  << ""
                                  << "#0000ff"
                                  << "";
        QTest::newRow("s2e first") << 1 << 0 << true << "#0000ff"
                                   << "#00ff00"
                                   << "#0000ff"
                                   << "";
        QTest::newRow("s2e last") << 1 << 1 << true << "#ff0000"
                                  << "#0000ff"
                                  << ""
                                  << "#0000ff";
        QTest::newRow("s2e none, start set") << 1 << 2 << true << "#ff0000"
                                             << "#0000ff"
                                             << ""
                                             << "";
        QTest::newRow("s2e none, start empty") << 1 << 2 << false << "#0000ff"
                                               << "#00ff00"
                                               << ""
                                               << "";
    }
    void handOvers() {
        QFETCH(int, mode);
        QFETCH(int, type);
        QFETCH(bool, hadFirst);
        makeModel();
        if (mode == 1)
            world->app->setVideoMode(VideoGenerationMode::startEndVideo);
        if (hadFirst)
            model->storeImage(ImageType::first, solidFrame(Qt::red));
        model->storeImage(ImageType::last, solidFrame(Qt::green));
        world->app->setSavedVideoReferenceImage(std::nullopt);
        world->app->setSavedVideoLastFrameImage(std::nullopt);

        const std::optional<ImageType> handed = type == 0   ? std::optional(ImageType::first)
                                                : type == 1 ? std::optional(ImageType::last)
                                                            : std::nullopt;
        world->app->setSharedImageType(handed);
        world->app->setSharedImage(solidFrame(Qt::blue));

        const auto name = [](const std::optional<QImage>& image) {
            return image ? centreColor(*image).name() : QString();
        };
        QTEST(name(model->firstFrameImage()), "first");
        QTEST(name(model->lastFrameImage()), "last");
        QTEST(name(world->app->savedVideoReferenceImage()), "savedFirst");
        QTEST(name(world->app->savedVideoLastFrameImage()), "savedLast");
        QVERIFY(!world->app->sharedImage());
        QVERIFY(!world->app->sharedImageType());
    }

    void handOversWaitForTheVideoStudio() {
        makeModel();
        world->app->setCurrentView(ViewMode::imageGeneration);
        world->app->setVideoMode(VideoGenerationMode::startEndVideo);
        world->app->setTextToInsertIntoPhotoPrompt(QString("pending"));
        world->app->setSharedImage(solidFrame(Qt::red));
        QVERIFY(!model->hasFirstFrame());
        QVERIFY(world->app->sharedImage());
        world->app->setCurrentView(ViewMode::videoGeneration);
        QCOMPARE(centreColor(*model->firstFrameImage()), QColor(Qt::red));
        QVERIFY(!world->app->textToInsertIntoPhotoPrompt());
        // Untyped hand-overs fill the start slot, then the end slot.
        world->app->setSharedImage(solidFrame(Qt::blue));
        QCOMPARE(centreColor(*model->lastFrameImage()), QColor(Qt::blue));
        QCOMPARE(centreColor(*model->firstFrameImage()), QColor(Qt::red));
        // An image waiting when the studio is built is taken on appear.
        model.reset();
        world->app->setSharedImageType(ImageType::last);
        world->app->setSharedImage(solidFrame(Qt::green));
        makeModel();
        QCOMPARE(centreColor(*model->lastFrameImage()), QColor(Qt::green));
    }

    void presetInsertion_data() {
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << ""
                               << "[Pan left]";
        QTest::newRow("trailing spaces") << "a fox  \n"
                                         << "a fox [Pan left]";
        QTest::newRow("spaces only") << "   "
                                     << " [Pan left]";
        QTest::newRow("words") << "  a fox"
                               << "a fox [Pan left]";
    }
    void presetInsertion() {
        QFETCH(QString, prompt);
        makeModel();
        model->setPrompt(prompt);
        const int trigger = model->textEditorResetTrigger();
        model->insertPresetText("[Pan left]");
        QTEST(model->prompt(), "expected");
        QCOMPARE(model->textEditorResetTrigger(), trigger + 1);
    }

    void presetInsertionIsCutAndReadsTheFlushedPrompt() {
        makeModel();
        // The editor's pending keystrokes arrive when the model asks for them.
        connect(model.get(), &VideoWorkspaceModel::flushPromptRequested, model.get(),
                [this] { model->setPrompt(QString(1995, QChar('a')) + "👍🏽"); });
        model->insertPresetText("[Zoom in]");
        QCOMPARE(model->promptCharacterCount(), 2000);
        QCOMPARE(model->prompt(), QString(1995, QChar('a')) + "👍🏽 [Zo");
        QVERIFY(model->counterIsWarning());
        QCOMPARE(model->counterText(), "2000/2000");
    }

    void generateReadsTheFlushedPrompt() {
        makeModel();
        model->storeImage(ImageType::first, solidFrame(Qt::red));
        connect(model.get(), &VideoWorkspaceModel::flushPromptRequested, model.get(),
                [this] { model->setPrompt("last keystrokes"); });
        model->generateVideo();
        QCOMPARE(world->queue->activeVideoTasks().first().prompt, "last keystrokes");
    }

    void counterTurnsRedAt1801() {
        makeModel();
        model->setPrompt(QString(1800, QChar('x')));
        QCOMPARE(model->counterText(), "1800/2000");
        QVERIFY(!model->counterIsWarning());
        model->setPrompt(QString(1801, QChar('x')));
        QVERIFY(model->counterIsWarning());
        // Characters as a person counts them: a flag emoji is one.
        model->setPrompt("🇫🇷e\u0301");
        QCOMPARE(model->promptCharacterCount(), 2);
    }

    void recreateFromARecord() {
        world->videoSettings->setQuality(VideoQuality::p512);
        makeModel();
        auto record = VideoMetadata::make("Orvane_20260101_120000_fox.mp4", "a fox [Pan left]", "768P", 6,
                                          "start_end_video", true, QString("2.0"));
        record->setFirstFrameImageData(pngBytes(solidFrame(Qt::red)));
        record->setLastFrameImageData(pngBytes(solidFrame(Qt::blue)));
        auto other = VideoMetadata::make("Orvane_other.mp4", "other", "768P", 6, "image_to_video", true);
        model->setPrompt("old");
        const int trigger = model->textEditorResetTrigger();
        world->environment.clearLog();

        model->recreateVideo("Orvane_20260101_120000_fox.mp4", {other.get(), record.get()});
        QCOMPARE(model->prompt(), "a fox [Pan left]");
        QCOMPARE(model->textEditorResetTrigger(), trigger + 1);
        QCOMPARE(world->app->videoMode(), VideoGenerationMode::startEndVideo);
        QCOMPARE(centreColor(*model->firstFrameImage()), QColor(Qt::red));
        QCOMPARE(centreColor(*model->lastFrameImage()), QColor(Qt::blue));
        // The mode change then runs its rule.
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p768);
        QCOMPARE(world->environment.logLines(),
                 QStringList({"✅ Recreated video: Orvane_20260101_120000_fox.mp4", "   - Prompt: a fox [Pan left]",
                              "   - Mode: start_end_video", "   - First frame: ✅", "   - Last frame: ✅"}));

        // Back to image-to-video from a record without frames; unknown modes count as image-to-video.
        auto plain = VideoMetadata::make("Orvane_plain.mp4", "plain", "768P", 6, "something else", false);
        world->environment.clearLog();
        model->recreateFromRecord(*plain);
        QCOMPARE(world->app->videoMode(), VideoGenerationMode::imageToVideo);
        QVERIFY(!model->hasFirstFrame());
        QCOMPARE(world->environment.logLines().at(2), "   - Mode: image_to_video");
        QCOMPARE(world->environment.logLines().at(3), "   - First frame: ❌");

        world->environment.clearLog();
        model->recreateVideo("Orvane_missing.mp4", {record.get()});
        QCOMPARE(world->environment.logLines(), QStringList({"❌ No metadata found for Orvane_missing.mp4"}));
        QCOMPARE(model->prompt(), "plain");
    }

    void theGallerysRecreateIsHandedOver() {
        makeModel();
        auto record = VideoMetadata::make("Orvane_3.mp4", "from the gallery", "768P", 6, "start_end_video", true);
        record->setFirstFrameImageData(pngBytes(solidFrame(Qt::red)));
        record->setLastFrameImageData(pngBytes(solidFrame(Qt::blue)));
        emit world->gallery->recreateRequested(nullptr);
        QCOMPARE(model->prompt(), QString());
        emit world->gallery->recreateRequested(record.get());
        QCOMPARE(model->prompt(), "from the gallery");
        QCOMPARE(world->app->videoMode(), VideoGenerationMode::startEndVideo);
        QCOMPARE(centreColor(*model->lastFrameImage()), QColor(Qt::blue));
    }

    // A record of image-to-video holding an end frame: the mode rule runs after the frames are set.
    void recreateIntoImageToVideoClearsTheEndFrameAfterwards() {
        makeModel();
        world->app->setVideoMode(VideoGenerationMode::startEndVideo);
        auto record = VideoMetadata::make("Orvane_x.mp4", "x", "768P", 6, "image_to_video", true);
        record->setFirstFrameImageData(pngBytes(solidFrame(Qt::red)));
        record->setLastFrameImageData(pngBytes(solidFrame(Qt::blue)));
        model->recreateFromRecord(*record);
        QVERIFY(world->environment.logLines().contains("   - Last frame: ✅"));
        QVERIFY(model->hasFirstFrame());
        QVERIFY(!model->hasLastFrame());
    }

    void slotsAndTheirMirrors() {
        makeModel();
        model->storeImage(ImageType::first, solidFrame(Qt::red));
        model->storeImage(ImageType::last, solidFrame(Qt::blue));
        QCOMPARE(centreColor(*world->app->savedVideoReferenceImage()), QColor(Qt::red));
        QCOMPARE(centreColor(*world->app->savedVideoLastFrameImage()), QColor(Qt::blue));
        model->removeFirstFrameImage();
        QVERIFY(!model->hasFirstFrame());
        QVERIFY(world->app->savedVideoReferenceImage()); // kept on purpose
        model->removeLastFrameImage();
        QVERIFY(!world->app->savedVideoLastFrameImage());
        QVERIFY(model->acceptsDrops());
        world->app->setCurrentView(ViewMode::imageGeneration);
        QVERIFY(!model->acceptsDrops());
    }

    void theModePickersChoice() {
        world->videoSettings->setQuality(VideoQuality::p512);
        makeModel();
        QSignalSpy spy(model.get(), &VideoWorkspaceModel::videoModeChanged);
        model->selectVideoMode(VideoGenerationMode::startEndVideo);
        QCOMPARE(world->app->videoMode(), VideoGenerationMode::startEndVideo);
        QVERIFY(model->startEndMode());
        QCOMPARE(spy.count(), 1);
        // The mode rule ran with the change.
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p768);
        // The selected mode again changes nothing.
        world->videoSettings->setQuality(VideoQuality::p1080);
        model->selectVideoMode(VideoGenerationMode::startEndVideo);
        QCOMPARE(spy.count(), 1);
        model->selectVideoMode(VideoGenerationMode::imageToVideo);
        QCOMPARE(world->app->videoMode(), VideoGenerationMode::imageToVideo);
        QCOMPARE(spy.count(), 2);
    }

    void theQueueBlockShowsOnlyBehindTheImageStudio() {
        makeModel();
        QSignalSpy spy(model.get(), &VideoWorkspaceModel::queueBlockChanged);
        world->app->setCurrentView(ViewMode::imageGeneration);
        QCOMPARE(spy.count(), 1);
        QVERIFY(!model->showsQueueBlock()); // nothing queued
        world->queue->addVideoTask(QString("a fox"), solidFrame(Qt::red), std::nullopt, VideoQuality::p768,
                                   VideoDuration::seconds6);
        QVERIFY(spy.count() >= 2);
        QVERIFY(model->showsQueueBlock());
        const int before = int(spy.count());
        world->app->setCurrentView(ViewMode::videoGeneration);
        QCOMPARE(spy.count(), before + 1);
        QVERIFY(!model->showsQueueBlock());
    }

    // Pictures the intake loads land in their slot; a save writes the slot's picture into the photo folder.
    void framesComeInThroughTheIntakeAndGoOutToThePhotoFolder() {
        makeModel();
        model->intake()->deliverImage(ImageType::last, solidFrame(Qt::blue, QSize(80, 60)));
        QTRY_VERIFY(model->hasLastFrame());
        QVERIFY(!model->hasFirstFrame());
        QDir(world->environment.root()).mkpath("Photos");
        world->downloadSettings->setBookmarkData(FolderBookmark::create(world->environment.path("Photos")));
        model->saveFrameImage(ImageType::first); // empty slot: nothing to save
        model->saveFrameImage(ImageType::last);
        QTRY_COMPARE(model->intake()->pendingSaves(), 0);
        const QStringList files = QDir(world->environment.path("Photos")).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        const QImage saved(world->environment.path("Photos/" + files.first()));
        QCOMPARE(saved.size(), QSize(80, 60));
        QCOMPARE(centreColor(saved), QColor(Qt::blue));
        QVERIFY(world->dialogs.saveRequests.isEmpty());
    }

    void stateSurvivesARebuildOnlyIntoEmptySlots() {
        makeModel();
        model->storeImage(ImageType::first, solidFrame(Qt::red));
        model->setPrompt("kept");
        connect(model.get(), &VideoWorkspaceModel::flushPromptRequested, model.get(),
                [this] { model->setPrompt("kept and typed"); });
        model->saveStudioState();
        QCOMPARE(world->app->savedVideoPrompt(), "kept and typed");
        model.reset();

        makeModel();
        QCOMPARE(centreColor(*model->firstFrameImage()), QColor(Qt::red));
        QCOMPARE(model->prompt(), "kept and typed");
        // A restore never overwrites what the screen holds.
        model->storeImage(ImageType::first, solidFrame(Qt::blue));
        model->setPrompt("new");
        world->app->setSavedVideoReferenceImage(solidFrame(Qt::green));
        model->onAppearSetup();
        model->restoreSavedPrompt();
        QCOMPARE(centreColor(*model->firstFrameImage()), QColor(Qt::blue));
        QCOMPARE(model->prompt(), "new");
    }

    void folderChooserTexts() {
        makeModel();
        QCOMPARE(model->folderText(), "Choose Folder");
        QCOMPARE(model->folderHelpText(), "Choose folder to save videos");
        QSignalSpy spy(model.get(), &VideoWorkspaceModel::folderChanged);
        QDir(world->environment.root()).mkpath("My Clips");
        world->videoSettings->setVideoDirectoryBookmark(FolderBookmark::create(world->environment.path("My Clips")));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(model->folderText(), "My Clips");
        QVERIFY(model->folderResolved());
        QCOMPARE(model->folderHelpText(), "Change video save folder");
        // A folder that is gone reads "Choose Folder" while the help still says "Change".
        QDir(world->environment.path("My Clips")).removeRecursively();
        QCOMPARE(model->folderText(), "Choose Folder");
        QCOMPARE(model->folderHelpText(), "Change video save folder");
    }

    void theFolderTitleIsToldWhenTheWatchedFolderGoesOrComesBack() {
        makeModel();
        const QString clips = world->environment.path("My Clips");
        QVERIFY(QDir().mkpath(clips));
        world->videoSettings->setVideoDirectoryBookmark(FolderBookmark::create(clips));
        world->gallery->startMonitoring(clips); // as the gallery pane does
        QTRY_VERIFY(!world->gallery->isLoading());
        QSignalSpy spy(model.get(), &VideoWorkspaceModel::folderChanged);
        QVERIFY(QDir(clips).removeRecursively());
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(model->folderText(), "Choose Folder");
        QVERIFY(QDir().mkpath(clips));
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(model->folderText(), "My Clips");
    }

    void theFolderButtonAsksForTheFolder() {
        makeModel();
        QSignalSpy spy(model.get(), &VideoWorkspaceModel::folderChanged);
        // Cancelled: nothing changes.
        model->chooseVideoFolder();
        QCOMPARE(world->dialogs.folderRequests.size(), 1);
        QCOMPARE(world->dialogs.folderRequests.first().message, "Choose folder for saving videos");
        QCOMPARE(spy.count(), 0);
        QVERIFY(!world->videoSettings->hasVideoDirectory());
        // Chosen: stored, and the button's texts follow.
        QDir(world->environment.root()).mkpath("Takes");
        world->dialogs.folderAnswer = world->environment.path("Takes");
        model->chooseVideoFolder();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(model->folderText(), "Takes");
        QCOMPARE(world->videoSettings->resolveVideoDirectoryURL().value_or(QString()),
                 world->environment.path("Takes"));
    }

    void presetPanelFlags() {
        makeModel();
        int flushes = 0;
        connect(model.get(), &VideoWorkspaceModel::flushPromptRequested, model.get(), [&] { ++flushes; });
        model->openCreatePresetFromPrompt();
        QCOMPARE(flushes, 1);
        QVERIFY(model->shouldOpenCreatePreset());
        QVERIFY(model->showPromptPresets());
        // The panel takes the create flag once as it opens.
        QVERIFY(model->takeShouldOpenCreatePreset());
        QVERIFY(!model->shouldOpenCreatePreset());
        QVERIFY(!model->takeShouldOpenCreatePreset());
        model->backToImages();
        QCOMPARE(world->app->currentView(), ViewMode::imageGeneration);
    }
};

QTEST_GUILESS_MAIN(VideoWorkspaceModelTest)
#include "tst_video_workspace_model.moc"
