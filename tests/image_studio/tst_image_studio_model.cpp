#include "APIManager.h"
#include "AppViewModel.h"
#include "DownloadSettings.h"
#include "FakeGeminiService.h"
#include "FolderBookmark.h"
#include "ImageServiceFactory.h"
#include "ImageStudioModel.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "OrvaneAPIService.h"
#include "QueueManager.h"
#include "SmallDisk.h"
#include "StudioTestBase.h"
#include "StudioTestSupport.h"
#include "SwiftDataImagePresetsManager.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QBuffer>
#include <QImageReader>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <cstring>
#include <memory>

// The studio's rules and actions, driven without a window against the fake Gemini service.
class ImageStudioModelTest : public StudioTestBase {
    Q_OBJECT

    std::unique_ptr<ImageStudioModel> model_;

    ImageServiceFactory* factory() const { return model_->factory(); }

    void makeModel(const AppEnvironment& environment) {
        model_ = std::make_unique<ImageStudioModel>(environment);
        connect(model_.get(), &ImageStudioModel::revealRequested, this,
                [this](const QString& path) { revealed_.append(path); });
    }

    QString photoFolder() {
        const QString folder = files_->filePath("photos");
        QDir().mkpath(folder);
        downloads_->setBookmarkData(FolderBookmark::create(folder));
        return folder;
    }

    // Runs a generation through the fake and waits for its outcome.
    bool generateAndWait() {
        model_->generate();
        return clock_->runUntil([this] {
            return fake_->generateRequests().size() > 0 && !factory()->currentService()->isLoading() &&
                   !model_->isSessionEmpty();
        });
    }

    bool waitForFileWork() {
        return QTest::qWaitFor([this] { return model_->pendingFileWork() == 0; }, 5000);
    }

    QList<QImage> images(int count, QSize size = QSize(40, 30)) {
        QList<QImage> list;
        for (int i = 0; i < count; ++i)
            list.append(testPicture(size.width(), size.height(), QColor(10 * i, 100, 200)));
        return list;
    }

    void fill(int count) {
        for (const QImage& image : images(count))
            model_->addToComposer(model_->prompt(), image, false);
        QCOMPARE(model_->referenceImages().size(), count);
    }

private slots:
    void init() {
        setUpServices();
        makeModel(environment());
    }

    void cleanup() {
        model_.reset();
        tearDownServices();
        QImageReader::setAllocationLimit(256);
    }

    // --- prompt ---

    void promptIsCutAtTheLimitWithoutSplittingACluster() {
        const QString flag = QString::fromUtf8("🇫🇷");
        model_->setPrompt(QString(2499, 'x') + flag + flag);
        QCOMPARE(model_->promptLength(), 2500);
        QCOMPARE(model_->prompt(), QString(2499, 'x') + flag);
        QCOMPARE(model_->counterText(), QString("2500/2500"));

        model_->addToComposer(QString(2600, 'y'), {}, false);
        QCOMPARE(model_->prompt(), QString(2500, 'y'));
        model_->addToComposer(QString(2500, 'z'), {}, false);
        QCOMPARE(model_->prompt(), QString(2500, 'z'));
    }

    void counterTurnsRedAbove2300() {
        model_->setPrompt(QString(2300, 'a'));
        QVERIFY(!model_->isPromptOverWarning());
        QCOMPARE(model_->counterText(), QString("2300/2500"));
        model_->setPrompt(QString(2301, 'a'));
        QVERIFY(model_->isPromptOverWarning());
    }

    void addToComposerAppendsOrReplaces_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("append");
        QTest::addColumn<QString>("after");
        QTest::newRow("append trims spaces") << "  a  "
                                             << "b" << true << "a b";
        QTest::newRow("append keeps line breaks") << "\ta\n"
                                                  << "b" << true << "a\n b";
        QTest::newRow("append to empty") << ""
                                         << "b" << true << "b";
        QTest::newRow("replace") << "old words"
                                 << " new " << false << " new ";
    }

    void addToComposerAppendsOrReplaces() {
        QFETCH(QString, before);
        QFETCH(QString, text);
        QFETCH(bool, append);
        QFETCH(QString, after);
        model_->setPrompt(before);
        model_->addToComposer(text, {}, append);
        QCOMPARE(model_->prompt(), after);
    }

    void generateIsEnabledOnlyForTextWhileIdle_data() {
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<bool>("disabled");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("spaces and newlines") << " \n\t \n" << true;
        QTest::newRow("text") << " a " << false;
    }

    void generateIsEnabledOnlyForTextWhileIdle() {
        QFETCH(QString, prompt);
        QFETCH(bool, disabled);
        QSignalSpy changes(model_.get(), &ImageStudioModel::generateStateChanged);
        model_->setPrompt(prompt);
        QCOMPARE(model_->isGenerateDisabled(), disabled);
        QCOMPARE(changes.count(), disabled ? 0 : 1);
        model_->handleReturnKey();
        QVERIFY(clock_->runUntil([] { return false; }, 5, 200) == false);
        QCOMPARE(fake_->generateRequests().size(), disabled ? 0 : 1);
    }

    // --- generation ---

    void returnSendsThePromptAndReferencesAndTheResultIsPublished() {
        model_->addToComposer("  a red boat  ", testPicture(64, 48), false);
        model_->handleReturnKey();
        // The request reads the composer a turn later, as a task would.
        model_->setPrompt("  a red boat at dawn  ");
        QVERIFY(clock_->runUntil([this] { return factory()->currentService()->isLoading(); }));
        QVERIFY(model_->isGenerateDisabled());
        QVERIFY(!model_->isSessionEmpty());
        // The panels read the service's state through the model.
        QVERIFY(model_->isGenerating());
        QCOMPARE(model_->result()->state, StudioRules::ResultState::loading);
        QVERIFY(model_->result()->image.isNull());
        QVERIFY(clock_->runUntil([this] { return !factory()->currentService()->generatedImage().isNull(); }));
        QVERIFY(!model_->isGenerating());
        QCOMPARE(model_->result()->state, StudioRules::ResultState::completed);
        QCOMPARE(model_->result()->image, factory()->currentService()->generatedImage());

        QCOMPARE(fake_->generateRequests().size(), 1);
        const auto parts = fake_->generateRequests()[0].json["contents"][0]["parts"];
        QCOMPARE(parts.size(), size_t(2));
        QCOMPARE(QString::fromStdString(parts[0]["text"].get<std::string>()),
                 "  a red boat at dawn  " + OrvaneAPIService::landscapeInstruction);
        QVERIFY(parts[1].contains("inlineData"));
        // The composer stays for the next request.
        QCOMPARE(model_->referenceImages().size(), 1);
        QVERIFY(!model_->prompt().isEmpty());
        QVERIFY(!model_->isGenerateDisabled());
    }

    // The gear's options go through the model to the studio's image options; choosing the one in use again
    // changes nothing.
    void imageSettingsGoThroughTheModel() {
        QSignalSpy changed(model_.get(), &ImageStudioModel::serviceStateChanged);
        model_->setTemperature(model_->temperature());
        model_->setSelectedImageModel(model_->selectedImageModel());
        QVERIFY(clock_->runUntil([] { return false; }, 5, 200) == false);
        QCOMPARE(changed.count(), 0);

        model_->setTemperature(2.0);
        model_->setSelectedImageModel(ImageModel::pro);
        QCOMPARE(factory()->temperature(), 2.0);
        QCOMPARE(model_->temperature(), 2.0);
        QCOMPARE(factory()->selectedImageModel(), ImageModel::pro);
        QCOMPARE(model_->selectedImageModel(), ImageModel::pro);
        QVERIFY(clock_->runUntil([&changed] { return changed.count() > 0; }));
    }

    void contextMeterFollowsTheSession() {
        model_->setPrompt("boat");
        QVERIFY(generateAndWait());
        QCOMPARE(factory()->sessionTokensUsed(), 1290);
        const double expected = 1290.0 / 65536.0 * 100.0;
        QCOMPARE(model_->usagePercent(), expected);
        const QLocale locale = QLocale::system();
        QCOMPARE(
            model_->contextHelp(),
            QString("Context used this chat: %1 / %2 tokens (1%)").arg(locale.toString(1290), locale.toString(65536)));
    }

    void resultPanelFollowsTheResultTheVideoModeAndTheQueue() {
        QSignalSpy actionsChanged(model_.get(), &ImageStudioModel::resultActionsChanged);
        QCOMPARE(offered(model_->resultActions()), QStringList());
        app_->setVideoMode(VideoGenerationMode::startEndVideo);
        QCOMPARE(actionsChanged.count(), 1);
        QCOMPARE(offered(model_->resultActions()), QStringList());

        model_->setPrompt("boat");
        QVERIFY(generateAndWait());
        QVERIFY(actionsChanged.count() > 1);
        QCOMPARE(offered(model_->resultActions()),
                 (QStringList{"imageToImage", "startFrame", "endFrame", "showInFinder"}));
        actionsChanged.clear();
        app_->setVideoMode(VideoGenerationMode::imageToVideo);
        QCOMPARE(actionsChanged.count(), 1);
        QCOMPARE(offered(model_->resultActions()), (QStringList{"imageToImage", "imageToVideo", "showInFinder"}));

        // The studio's own request went straight to the service: the queue runs no photo job, so it "waits".
        QVERIFY(!queue_->activePhotoTask());
        QVERIFY(!model_->isPhotoTaskActive());
        QCOMPARE(model_->loadingText(), QString("Waiting in queue..."));
        QCOMPARE(model_->property("loadingText").toString(), QString("Waiting in queue..."));
        // A change of the queue that leaves the photo side as it was is no change of the panel.
        QSignalSpy taskChanged(model_.get(), &ImageStudioModel::photoTaskChanged);
        emit queue_->tasksChanged();
        QCOMPARE(taskChanged.count(), 0);

        // Without the app-wide objects (a bare studio) the buttons still follow the picture.
        AppEnvironment bare;
        ImageStudioModel alone(bare);
        QCOMPARE(offered(alone.resultActions()), QStringList());
        alone.setPrompt("boat");
        alone.generate();
        QVERIFY(clock_->runUntil([&alone] { return !alone.factory()->currentService()->generatedImage().isNull(); }));
        QCOMPARE(offered(alone.resultActions()), (QStringList{"imageToImage", "imageToVideo", "showInFinder"}));
        QCOMPARE(alone.loadingText(), QString("Waiting in queue..."));
    }

    void newChatClearsTheComposerAndBothServices() {
        // The shared service of the queue holds a result of its own.
        auto shared = OrvaneAPIService::shared().generateImage("shared", {});
        QVERIFY(clock_->runUntil([&shared] { return shared.isReady(); }));
        QVERIFY(!OrvaneAPIService::shared().generatedImage().isNull());

        model_->setPrompt("boat");
        fill(2);
        model_->setShowTextPopup(true);
        model_->setPopupText("kept nowhere");
        QVERIFY(generateAndWait());
        QVERIFY(!model_->isSessionEmpty());

        model_->startNewChat();
        QCOMPARE(model_->prompt(), QString());
        QVERIFY(model_->referenceImages().isEmpty());
        QVERIFY(app_->savedPhotoReferenceImages().isEmpty());
        QVERIFY(!model_->showTextPopup());
        QCOMPARE(model_->popupText(), QString());
        QVERIFY(model_->isSessionEmpty());
        QCOMPARE(factory()->sessionTokensUsed(), 0);
        QVERIFY(OrvaneAPIService::shared().generatedImage().isNull());
        QCOMPARE(OrvaneAPIService::shared().totalTokensInSession(), 0);
    }

    void newChatDoesNotStopARequestInFlight() {
        fake_->script.append(FakeGeminiService::Reply::json(FakeGeminiService::pictureResponse(), 200));
        fake_->script.back().delayMs = 100;
        model_->setPrompt("boat");
        model_->generate();
        QVERIFY(clock_->runUntil([this] { return factory()->currentService()->isLoading(); }));
        model_->startNewChat();
        QCOMPARE(model_->prompt(), QString());
        QVERIFY(clock_->runUntil([this] { return !factory()->currentService()->generatedImage().isNull(); }));
    }

    // --- references ---

    void composerHoldsNineAndScalesInsertedPictures() {
        model_->addToComposer("a", testPicture(3840, 2160), false);
        QCOMPARE(model_->referenceImages()[0].size(), QSize(1920, 1080));
        for (const QImage& image : images(7))
            model_->addToComposer("a", image, false);
        QCOMPARE(model_->referenceImages().size(), 8);
        model_->addToComposer("b", testPicture(10, 10), false);
        QCOMPARE(model_->referenceImages().size(), 9);
        const QList<QImage> nine = model_->referenceImages();
        model_->addToComposer("c", testPicture(11, 11), false);
        QCOMPARE(model_->referenceImages(), nine);
        QCOMPARE(model_->prompt(), QString("c"));
        QCOMPARE(app_->savedPhotoReferenceImages(), nine);
    }

    void imageToImageAddsTheResultUnscaledWhileThereIsRoom() {
        fake_->script.append(FakeGeminiService::Reply::json(
            FakeGeminiService::pictureResponse(FakeGeminiService::samplePicture(2400, 1400))));
        model_->setPrompt("boat");
        QVERIFY(generateAndWait());
        model_->imageToImage();
        QCOMPARE(model_->referenceImages().size(), 1);
        QCOMPARE(model_->referenceImages()[0].size(), QSize(2400, 1400));
        QCOMPARE(app_->savedPhotoReferenceImages().size(), 1);
        for (int i = 0; i < 8; ++i)
            model_->imageToImage();
        QCOMPARE(model_->referenceImages().size(), 9);
        model_->imageToImage();
        QCOMPARE(model_->referenceImages().size(), 9);
    }

    void removingIgnoresPositionsThatAreGone() {
        const QList<QImage> three = images(3);
        for (const QImage& image : three)
            model_->addToComposer("", image, false);
        model_->removeReferenceImage(1);
        QCOMPARE(model_->referenceImages(), (QList<QImage>{three[0], three[2]}));
        QCOMPARE(app_->savedPhotoReferenceImages(), model_->referenceImages());
        QSignalSpy changes(model_.get(), &ImageStudioModel::referenceImagesChanged);
        model_->removeReferenceImage(2);
        model_->removeReferenceImage(-1);
        QCOMPARE(model_->referenceImages().size(), 2);
        QCOMPARE(changes.count(), 0);
    }

    void pickedFilesArriveInOrderUpToNineSkippingUnreadableOnes() {
        fill(7);
        const QDir dir(files_->path());
        QFile junk(dir.filePath("notes.png"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a picture");
        junk.close();
        const QStringList paths{junk.fileName(), writePicture(dir, "big.jpg", testPicture(3000, 2000, Qt::red)),
                                writePicture(dir, "b.png", testPicture(20, 20, Qt::green)),
                                writePicture(dir, "c.png", testPicture(21, 21, Qt::blue)), dir.filePath("missing.png")};
        model_->addReferenceFiles(paths);
        QTRY_COMPARE(model_->pendingReferenceLoads(), 0);
        QCOMPARE(model_->referenceImages().size(), 9);
        QCOMPARE(model_->referenceImages()[7].size(), QSize(1620, 1080));
        QCOMPARE(model_->referenceImages()[8].size(), QSize(20, 20));
        QCOMPARE(app_->savedPhotoReferenceImages().size(), 9);
        QVERIFY(env_->logLines().contains("📱 Resizing for UI: 3000x2000 → 1920x1080"));
    }

    void picturesOverTheAllocationLimitAreSkipped() {
        const QDir dir(files_->path());
        const QString large = writePicture(dir, "large.png", testPicture(1200, 1000));
        const QString small = writePicture(dir, "small.png", testPicture(100, 100));
        QImageReader::setAllocationLimit(2); // megabytes: 1200 x 1000 x 4 bytes is over it
        model_->addReferenceFiles({large, small});
        QTRY_COMPARE(model_->pendingReferenceLoads(), 0);
        QCOMPARE(model_->referenceImages().size(), 1);
        QCOMPARE(model_->referenceImages()[0].size(), QSize(100, 100));
    }

    void dropsAreLoggedAndRefusedOnceFull() {
        fill(8);
        app_->setSavedPhotoReferenceImages(images(8));
        const QDir dir(files_->path());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(writePicture(dir, "1.png", testPicture(30, 30))),
                      QUrl("https://example.com/picture.png"),
                      QUrl::fromLocalFile(writePicture(dir, "2.png", testPicture(31, 31))),
                      QUrl::fromLocalFile(writePicture(dir, "3.png", testPicture(32, 32)))});
        env_->clearLog();
        QVERIFY(model_->handleDrop(data));
        QTRY_COMPARE(model_->pendingReferenceLoads(), 0);
        QCOMPARE(model_->referenceImages().size(), 9);
        QCOMPARE(model_->referenceImages()[8].size(), QSize(30, 30));
        const QStringList expected{
            "🔵 LeftPanel onDrop - processing 4 providers",
            "🔵 handleDrop called with 4 providers",
            "🔵 Current app view: imageGeneration",
            "🔵 Reference images before drop: 8",
            "🔵 Saved reference images: 8",
            "🔵 Loading image from provider...",
            "🔵 Provider cannot load NSImage",
            "🔵 Loading image from provider...",
            "🔵 Loading image from provider...",
            "🔵 Adding image to referenceImages. Count before: 8",
            "🔵 Added image to referenceImages. Count after: 9",
            "🔵 Saved to appViewModel: 9",
            "🔵 Failed to add image: nsImage=true, count=9, maxImages=9",
            "🔵 Failed to add image: nsImage=true, count=9, maxImages=9",
        };
        QCOMPARE(env_->logLines(), expected);
    }

    void droppedPictureDataAndBrokenFiles() {
        QMimeData data;
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        testPicture(50, 40).save(&buffer, "PNG");
        data.setData("image/png", png);
        QVERIFY(model_->handleDrop(data));
        QTRY_COMPARE(model_->referenceImages().size(), 1);
        QCOMPARE(model_->referenceImages()[0].size(), QSize(50, 40));

        QMimeData broken;
        broken.setUrls({QUrl::fromLocalFile(files_->filePath("gone.png"))});
        env_->clearLog();
        QVERIFY(model_->handleDrop(broken));
        QTRY_COMPARE(model_->pendingReferenceLoads(), 0);
        QVERIFY(env_->hasLineStartingWith("❌ Error loading image: "));
        QCOMPARE(model_->referenceImages().size(), 1);
    }

    void dropsAreRefusedWhileTheVideoStudioShows() {
        app_->setCurrentView(ViewMode::videoGeneration);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(writePicture(QDir(files_->path()), "1.png", testPicture(30, 30)))});
        env_->clearLog();
        QVERIFY(!model_->handleDrop(data));
        QVERIFY(env_->logLines().isEmpty());
        QCOMPARE(model_->pendingReferenceLoads(), 0);
    }

    // --- hand-overs and files ---

    void handOversWriteTheAppViewModelInOrderAndSaveOnce() {
        const QString folder = photoFolder();
        app_->setVideoMode(VideoGenerationMode::startEndVideo);
        model_->setPrompt("boat");
        QVERIFY(generateAndWait());
        const QImage result = factory()->currentService()->generatedImage();

        QStringList order;
        connect(app_.get(), &AppViewModel::currentViewChanged, this, [&order] { order << "view"; });
        connect(app_.get(), &AppViewModel::sharedImageTypeChanged, this, [&order] { order << "type"; });
        connect(app_.get(), &AppViewModel::sharedImageChanged, this, [&order] { order << "image"; });

        model_->imageToFrame(ImageType::last);
        QCOMPARE(order, (QStringList{"view", "type", "image"}));
        QCOMPARE(app_->currentView(), ViewMode::videoGeneration);
        QCOMPARE(app_->sharedImageType(), std::optional(ImageType::last));
        QCOMPARE(app_->sharedImage(), std::optional(result));

        order.clear();
        app_->setCurrentView(ViewMode::imageGeneration);
        order.clear();
        model_->imageToVideo();
        QCOMPARE(order, (QStringList{"view", "image"}));
        QCOMPARE(app_->sharedImageType(), std::optional(ImageType::last));
        QVERIFY(waitForFileWork());

        const QStringList written = QDir(folder).entryList(QDir::Files);
        QCOMPARE(written.size(), 1);
        QVERIFY(QRegularExpression("^Orvane_\\d+\\.png$").match(written[0]).hasMatch());
        QCOMPARE(QImage(QDir(folder).filePath(written[0])).convertToFormat(QImage::Format_RGB32),
                 result.convertToFormat(QImage::Format_RGB32));
        QVERIFY(revealed_.isEmpty());
    }

    void handOversWithoutAResultDoNothing() {
        QSignalSpy view(app_.get(), &AppViewModel::currentViewChanged);
        model_->imageToVideo();
        model_->imageToFrame(ImageType::first);
        model_->imageToImage();
        model_->showImageInFinder();
        QCOMPARE(view.count(), 0);
        QCOMPARE(model_->pendingFileWork(), 0);
        QVERIFY(dialogs_->saveRequests.isEmpty());
    }

    void showInFinderWritesOnceIntoThePhotoFolderThenOnlyReveals() {
        const QString folder = photoFolder();
        model_->setPrompt("boat");
        QVERIFY(generateAndWait());
        model_->showImageInFinder();
        QVERIFY(waitForFileWork());
        QCOMPARE(revealed_.size(), 1);
        QCOMPARE(workspace_->revealed, QList<QStringList>{revealed_});
        QCOMPARE(QFileInfo(revealed_[0]).absolutePath(), QFileInfo(folder).absoluteFilePath());
        const QDateTime written = QFileInfo(revealed_[0]).lastModified();
        QFile::setPermissions(revealed_[0], QFile::ReadOwner);
        model_->showImageInFinder();
        QVERIFY(waitForFileWork());
        QCOMPARE(revealed_, (QStringList{revealed_[0], revealed_[0]}));
        QCOMPARE(QFileInfo(revealed_[0]).lastModified(), written);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
        QVERIFY(dialogs_->saveRequests.isEmpty());
    }

    void referenceDownloadUsesTheSameNameAsTheResult() {
        const QString folder = photoFolder();
        const QImage picture = testPicture(80, 60);
        model_->saveImageAsPNG(picture);
        model_->saveImageAsPNG(picture);
        QVERIFY(waitForFileWork());
        QCOMPARE(revealed_.size(), 2);
        QCOMPARE(revealed_[0], revealed_[1]);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
    }

    // A photo folder on a full disk: nothing is written or revealed, and the user is told why.
    void aPictureTheDiskRefusesIsToldNotRevealed() {
        SmallDisk disk(64 * 1024);
        QVERIFY2(disk.isMounted(), qPrintable(disk.error()));
        const QString folder = disk.filePath("photos");
        QVERIFY(QDir().mkpath(folder));
        downloads_->setBookmarkData(FolderBookmark::create(folder));
        disk.fill();
        model_->saveImageAsPNG(testPicture(80, 60));
        QVERIFY(waitForFileWork());
        QVERIFY(revealed_.isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(dialogs_->notices.size(), 1);
        QCOMPARE(dialogs_->notices.first().message, "The picture could not be saved");
        QVERIFY2(dialogs_->notices.first().informativeText.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
                 qPrintable(dialogs_->notices.first().informativeText));
    }

    void withoutAFolderTheSavePanelIsOfferedEachTime() {
        const QImage picture = testPicture(80, 60);
        const QString target = files_->filePath("chosen.png");
        dialogs_->saveAnswer = target;
        model_->saveImageAsPNG(picture);
        QVERIFY(waitForFileWork());
        QCOMPARE(dialogs_->saveRequests.size(), 1);
        QVERIFY(QRegularExpression("^Orvane_\\d+\\.png$").match(dialogs_->saveRequests[0].suggestedName).hasMatch());
        QCOMPARE(revealed_, QStringList{target});
        QCOMPARE(QImageReader(target).format(), QByteArray("png"));

        // Confirming an existing file replaces it (the panel asked), then reveals it.
        const QImage other = testPicture(90, 70, Qt::darkGreen);
        model_->saveImageAsPNG(other);
        QVERIFY(waitForFileWork());
        QCOMPARE(dialogs_->saveRequests.size(), 2);
        QCOMPARE(revealed_, (QStringList{target, target}));
        QCOMPARE(QImage(target).size(), QSize(90, 70));

        dialogs_->saveAnswer.reset();
        model_->saveImageAsPNG(picture);
        QVERIFY(waitForFileWork());
        QCOMPARE(dialogs_->saveRequests.size(), 3);
        QCOMPARE(revealed_.size(), 2);
    }

    void aJpegNameGetsJpegBytes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("jpg") << "photo.jpg"
                             << "photo.jpg" << QByteArray("jpeg");
        QTest::newRow("JPEG") << "photo.JPEG"
                              << "photo.JPEG" << QByteArray("jpeg");
        QTest::newRow("png") << "photo.png"
                             << "photo.png" << QByteArray("png");
        QTest::newRow("no suffix") << "photo"
                                   << "photo.png" << QByteArray("png");
    }

    void aJpegNameGetsJpegBytes() {
        QFETCH(QString, name);
        QFETCH(QString, saved);
        QFETCH(QByteArray, format);
        dialogs_->saveAnswer = files_->filePath(name);
        model_->saveImageAsPNG(testPicture(64, 64));
        QVERIFY(waitForFileWork());
        QCOMPARE(QDir(files_->path()).entryList(QDir::Files), QStringList{saved});
        QCOMPARE(revealed_, QStringList{files_->filePath(saved)});
        QImageReader reader(files_->filePath(saved));
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), format);
    }

    // The panel asked about "photo", not about "photo.png": a picture already there is shown, not replaced.
    void aNameGivenItsExtensionKeepsTheFileThere() {
        const QString existing = writePicture(QDir(files_->path()), "photo.png", testPicture(90, 70, Qt::darkGreen));
        dialogs_->saveAnswer = files_->filePath("photo");
        model_->saveImageAsPNG(testPicture(64, 64));
        QVERIFY(waitForFileWork());
        QCOMPARE(revealed_, QStringList{existing});
        QCOMPARE(QImage(existing).size(), QSize(90, 70));
        QVERIFY(!QFileInfo::exists(files_->filePath("photo")));
    }

    void aFailedWriteLeavesNoFileAndRevealsNothing() {
        // Nobody, not even root, can create files here.
        downloads_->setBookmarkData(FolderBookmark::create("/proc/self"));
        model_->saveImageAsPNG(testPicture(64, 64));
        QVERIFY(waitForFileWork());
        QVERIFY(revealed_.isEmpty());

        downloads_->setBookmarkData(std::nullopt);
        dialogs_->saveAnswer = "/proc/self/Orvane_1.png";
        model_->saveImageAsPNG(testPicture(64, 64));
        QVERIFY(waitForFileWork());
        QVERIFY(revealed_.isEmpty());
        QVERIFY(workspace_->revealed.isEmpty());
        QVERIFY(!QFileInfo::exists(*dialogs_->saveAnswer));
    }

    // --- header, lifecycle, presets ---

    void scaleFollowsTheWidth_data() {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("scale");
        QTest::newRow("narrow") << 600.0 << 0.9;
        QTest::newRow("900") << 900.0 << 0.9;
        QTest::newRow("1000") << 1000.0 << 1.0;
        QTest::newRow("1300") << 1300.0 << 1.3;
        QTest::newRow("2000") << 2000.0 << 1.6;
    }

    void scaleFollowsTheWidth() {
        QFETCH(double, width);
        QFETCH(double, scale);
        QCOMPARE(ImageStudioModel::scaleForWidth(width), scale);
    }

    void folderButtonNamesTheFolder() {
        QCOMPARE(model_->folderLabel(), QString("Choose Folder"));
        QCOMPARE(model_->folderHelp(), QString("Choose folder to save photos"));
        QSignalSpy changes(model_.get(), &ImageStudioModel::folderChanged);
        photoFolder();
        QCOMPARE(changes.count(), 1);
        QCOMPARE(model_->folderLabel(), QString("photos"));
        QCOMPARE(model_->folderHelp(), QString("Change photo save folder"));
        downloads_->setBookmarkData(QByteArray("/no/such/folder"));
        QCOMPARE(model_->folderLabel(), QString("Choose Folder"));
        QCOMPARE(model_->folderHelp(), QString("Change photo save folder"));
    }

    void appViewModelReactions() {
        model_->setPrompt("mine");
        app_->setSavedPhotoPrompt("restored");
        QCOMPARE(model_->prompt(), QString("restored"));

        app_->setTextToInsertIntoPhotoPrompt(QString("pushed"));
        QCOMPARE(model_->prompt(), QString("pushed"));
        QCOMPARE(app_->textToInsertIntoPhotoPrompt(), std::optional<QString>());

        app_->setCurrentView(ViewMode::videoGeneration);
        app_->setTextToInsertIntoPhotoPrompt(QString("dropped"));
        QCOMPARE(model_->prompt(), QString("pushed"));
        QCOMPARE(app_->textToInsertIntoPhotoPrompt(), std::optional<QString>());
    }

    void appearAndDisappearCarryTheComposer() {
        app_->setSavedPhotoReferenceImages(images(2));
        app_->setSavedPhotoPrompt("saved");
        makeModel(environment());
        model_->appear();
        QCOMPARE(model_->referenceImages().size(), 2);
        QCOMPARE(model_->prompt(), QString("saved"));
        model_->setPrompt("edited");
        model_->removeReferenceImage(0);
        model_->disappear();
        QCOMPARE(app_->savedPhotoPrompt(), QString("edited"));
        QCOMPARE(app_->savedPhotoReferenceImages().size(), 1);
    }

    void presetsInsertAndCloseThePanel() {
        model_->setPrompt("a city");
        model_->setShowUserImagePresets(true);
        model_->applyPreset("at night", testPicture(30, 30), true);
        QCOMPARE(model_->prompt(), QString("a city at night"));
        QCOMPARE(model_->referenceImages().size(), 1);
        QVERIFY(!model_->showUserImagePresets());
        model_->applyPreset("built in", QImage(), false);
        QCOMPARE(model_->prompt(), QString("built in"));
        QCOMPARE(model_->referenceImages().size(), 1);
    }

    void savingThePromptAsAPreset() {
        const auto context = ModelSchema::openStore(env_->path("store.sqlite"));
        SwiftDataImagePresetsManager presets(context.get());
        AppEnvironment withPresets = environment();
        withPresets.imagePresetsManager = &presets;
        makeModel(withPresets);
        model_->setPrompt("  keep my spaces ");
        QVERIFY(!model_->saveNewPreset(" \n ", QImage()));
        QVERIFY(presets.presets().isEmpty());
        QVERIFY(model_->saveNewPreset("  Dusk ", testPicture(40, 40)));
        QCOMPARE(presets.presets().size(), 1);
        QCOMPARE(presets.presets()[0]->title(), QString("Dusk"));
        QCOMPARE(presets.presets()[0]->prompt(), QString("  keep my spaces "));
        QVERIFY(!presets.presets()[0]->image().isNull());
    }
};

QTEST_MAIN(ImageStudioModelTest)
#include "tst_image_studio_model.moc"
