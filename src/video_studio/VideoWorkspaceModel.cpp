#include "VideoWorkspaceModel.h"

#include "Defaults.h"
#include "DownloadSettings.h"
#include "FolderBookmark.h"
#include "FrameImageIntake.h"
#include "Log.h"
#include "MiniMaxAPIService.h"
#include "PromptLimit.h"
#include "QueueManager.h"
#include "VideoGalleryViewModel.h"
#include "VideoMetadata.h"
#include "VideoSettings.h"
#include "VideoSettingsChoices.h"

#include <QDir>
#include <QFileInfo>

VideoWorkspaceModel::VideoWorkspaceModel(const AppEnvironment& environment, QObject* parent)
    : QObject(parent), environment_(environment), intake_(new FrameImageIntake(this)) {
    connect(intake_, &FrameImageIntake::imageLoaded, this, &VideoWorkspaceModel::storeImage);
    AppViewModel* app = environment_.appViewModel;
    VideoSettings* settings = environment_.videoSettings;
    if (app) {
        lastSeenMode_ = app->videoMode();
        connect(app, &AppViewModel::videoModeChanged, this, &VideoWorkspaceModel::onVideoModeChanged);
        connect(app, &AppViewModel::sharedImageChanged, this, &VideoWorkspaceModel::onSharedImageChanged);
        connect(app, &AppViewModel::currentViewChanged, this, &VideoWorkspaceModel::onCurrentViewChanged);
        connect(app, &AppViewModel::currentViewChanged, this, &VideoWorkspaceModel::queueBlockChanged);
    }
    if (settings) {
        connect(settings, &VideoSettings::defaultPromptOptimizationChanged, this,
                [this, settings] { pushPromptOptimization(settings->defaultPromptOptimization()); });
        connect(settings, &VideoSettings::selectedModelChanged, this,
                [this, settings] { handleModelChange(settings->selectedModel()); });
        // A quality or duration set elsewhere (a settings reload) that start-to-end jobs are refused for is moved.
        for (auto signal : {&VideoSettings::qualityChanged, &VideoSettings::durationChanged})
            connect(settings, signal, this,
                    [this, settings] { VideoSettingsChoices::fitToMode(*settings, videoMode()); });
        connect(settings, &VideoSettings::fastPretreatmentChanged, this,
                [settings] { QueueManager::applyFastPretreatment(settings->fastPretreatment()); });
        connect(settings, &VideoSettings::videoDirectoryBookmarkChanged, this, &VideoWorkspaceModel::folderChanged);
    }
    if (environment_.queueManager) {
        connect(environment_.queueManager, &QueueManager::tasksChanged, this, [this] {
            emit queueChanged();
            emit generateStateChanged();
            emit queueBlockChanged();
        });
    }
    // The gallery's recreate hands the clip's stored record over; its watch of the folder tells when the folder
    // itself goes or comes back.
    if (environment_.galleryViewModel) {
        connect(environment_.galleryViewModel, &VideoGalleryViewModel::watchedFolderChanged, this,
                &VideoWorkspaceModel::folderChanged);
        connect(environment_.galleryViewModel, &VideoGalleryViewModel::recreateRequested, this,
                [this](VideoMetadata* record) {
                    if (record)
                        recreateFromRecord(*record);
                });
    }
}

void VideoWorkspaceModel::setPrompt(const QString& text) {
    if (text == prompt_)
        return;
    prompt_ = text;
    promptCharacterCount_ = PromptLimit::characterCount(prompt_);
    emit promptChanged();
}

QString VideoWorkspaceModel::counterText() const {
    return QStringLiteral("%1/%2").arg(promptCharacterCount_).arg(PromptLimit::maxCharacters);
}

bool VideoWorkspaceModel::counterIsWarning() const {
    return promptCharacterCount_ >= PromptLimit::warningCount;
}

VideoGenerationMode VideoWorkspaceModel::videoMode() const {
    return environment_.appViewModel ? environment_.appViewModel->videoMode() : VideoGenerationMode::imageToVideo;
}

int VideoWorkspaceModel::activeVideoTaskCount() const {
    return environment_.queueManager ? int(environment_.queueManager->activeVideoTasks().size()) : 0;
}

int VideoWorkspaceModel::waitingVideoTaskCount() const {
    return environment_.queueManager ? int(environment_.queueManager->videoQueue().size()) : 0;
}

bool VideoWorkspaceModel::queueFull() const {
    return QueueManager::isVideoQueueFull(activeVideoTaskCount(), waitingVideoTaskCount());
}

bool VideoWorkspaceModel::hasRequiredFrames() const {
    if (startEndMode())
        return hasFirstFrame() && hasLastFrame();
    return hasFirstFrame();
}

QString VideoWorkspaceModel::generateButtonTitle() const {
    return generateButtonTitle(activeVideoTaskCount(), waitingVideoTaskCount());
}

QString VideoWorkspaceModel::generateButtonTitle(int active, int waiting) {
    if (active == 0 && waiting == 0)
        return QStringLiteral("Generate Video");
    if (waiting == 0)
        return QStringLiteral("Generate (%1/%2)").arg(active).arg(QueueManager::maxConcurrentVideoTasks);
    if (QueueManager::hasWaitingRoom(waiting))
        return QStringLiteral("Queue (%1+%2)").arg(active).arg(waiting);
    return QStringLiteral("Queue Full");
}

void VideoWorkspaceModel::setFlag(bool& flag, bool on, void (VideoWorkspaceModel::*changed)()) {
    if (on == flag)
        return;
    flag = on;
    emit(this->*changed)();
}

void VideoWorkspaceModel::setShowCameraControls(bool on) {
    setFlag(showCameraControls_, on, &VideoWorkspaceModel::showCameraControlsChanged);
}

void VideoWorkspaceModel::setShowVideoSettings(bool on) {
    setFlag(showVideoSettings_, on, &VideoWorkspaceModel::showVideoSettingsChanged);
}

void VideoWorkspaceModel::setShowPromptPresets(bool on) {
    setFlag(showPromptPresets_, on, &VideoWorkspaceModel::showPromptPresetsChanged);
}

void VideoWorkspaceModel::setShouldOpenCreatePreset(bool on) {
    setFlag(shouldOpenCreatePreset_, on, &VideoWorkspaceModel::shouldOpenCreatePresetChanged);
}

bool VideoWorkspaceModel::takeShouldOpenCreatePreset() {
    const bool openCreate = shouldOpenCreatePreset_;
    setShouldOpenCreatePreset(false);
    return openCreate;
}

bool VideoWorkspaceModel::showsQueueBlock() const {
    return environment_.appViewModel && environment_.appViewModel->currentView() == ViewMode::imageGeneration &&
           totalVideoTaskCount() > 0;
}

QString VideoWorkspaceModel::folderText() const {
    if (environment_.videoSettings) {
        if (const auto data = environment_.videoSettings->videoDirectoryBookmark()) {
            if (const auto path = FolderBookmark::resolve(*data)) {
                const QString name = QFileInfo(QDir::cleanPath(*path)).fileName();
                return name.isEmpty() ? *path : name;
            }
        }
    }
    return QStringLiteral("Choose Folder");
}

bool VideoWorkspaceModel::folderResolved() const {
    if (!environment_.videoSettings)
        return false;
    const auto data = environment_.videoSettings->videoDirectoryBookmark();
    return data && FolderBookmark::resolve(*data).has_value();
}

QString VideoWorkspaceModel::folderHelpText() const {
    // Only whether bookmark data is stored counts here, not whether it still resolves.
    const bool has = environment_.videoSettings && environment_.videoSettings->hasVideoDirectory();
    return has ? QStringLiteral("Change video save folder") : QStringLiteral("Choose folder to save videos");
}

void VideoWorkspaceModel::chooseVideoFolder() {
    // The chosen folder comes back through the bookmark's change signal.
    if (environment_.videoSettings)
        environment_.videoSettings->selectVideoDirectory();
}

void VideoWorkspaceModel::onAppearSetup() {
    AppViewModel* app = environment_.appViewModel;
    if (app) {
        if (!firstFrameImage_ && app->savedVideoReferenceImage())
            setFirstFrame(app->savedVideoReferenceImage());
        if (!lastFrameImage_ && app->savedVideoLastFrameImage())
            setLastFrame(app->savedVideoLastFrameImage());
        receiveSharedImage();
    }
    if (VideoSettings* settings = environment_.videoSettings) {
        // Start-to-end choices stored before 512P was refused there move to the nearest the mode takes.
        VideoSettingsChoices::fitToMode(*settings, videoMode());
        pushPromptOptimization(settings->defaultPromptOptimization());
        QueueManager::applySelectedModel(settings->selectedModel());
        QueueManager::applyFastPretreatment(settings->fastPretreatment());
    }
}

void VideoWorkspaceModel::restoreSavedPrompt() {
    if (!environment_.appViewModel)
        return;
    const QString saved = environment_.appViewModel->savedVideoPrompt();
    if (prompt_.isEmpty() && !saved.isEmpty()) {
        setPrompt(saved);
        bumpResetTrigger();
    }
}

void VideoWorkspaceModel::saveStudioState() {
    emit flushPromptRequested();
    if (AppViewModel* app = environment_.appViewModel) {
        app->setSavedVideoReferenceImage(firstFrameImage_);
        app->setSavedVideoLastFrameImage(lastFrameImage_);
        app->setSavedVideoPrompt(prompt_);
    }
}

void VideoWorkspaceModel::backToImages() {
    if (environment_.appViewModel)
        environment_.appViewModel->setCurrentView(ViewMode::imageGeneration);
}

void VideoWorkspaceModel::generateVideo() {
    emit flushPromptRequested();
    if (!environment_.queueManager || !environment_.videoSettings)
        return;
    std::optional<QString> jobPrompt;
    if (!prompt_.trimmed().isEmpty())
        jobPrompt = prompt_;
    if (!hasRequiredFrames())
        return;
    // The end frame rides along in either mode.
    environment_.queueManager->addVideoTask(jobPrompt, firstFrameImage_, lastFrameImage_,
                                            environment_.videoSettings->quality(),
                                            environment_.videoSettings->duration());
}

void VideoWorkspaceModel::handlePromptEnter() {
    emit flushPromptRequested();
    if (generateEnabled())
        generateVideo();
}

void VideoWorkspaceModel::pushPromptOptimization(bool on) {
    MiniMaxAPIService::shared().setEnablePromptOptimization(on);
    if (environment_.queueManager) {
        for (MiniMaxAPIService* service : environment_.queueManager->videoServices())
            service->setEnablePromptOptimization(on);
    }
}

void VideoWorkspaceModel::handleModelChange(VideoModel model) {
    // Start-to-end jobs only run on the 02 model; the setter's change comes back here and is pushed then.
    if (startEndMode() && model != VideoModel::hailuo02 && environment_.videoSettings) {
        environment_.videoSettings->setSelectedModel(VideoModel::hailuo02);
        return;
    }
    QueueManager::applySelectedModel(model);
}

void VideoWorkspaceModel::setGenerationMode(VideoGenerationMode mode) {
    VideoSettings* settings = environment_.videoSettings;
    if (mode == VideoGenerationMode::imageToVideo) {
        setLastFrame(std::nullopt);
    } else if (settings) {
        settings->setSelectedModel(VideoModel::hailuo02);
        // And 768P for 512P, 6 s for 10 s at 1080P.
        VideoSettingsChoices::fitToMode(*settings, mode);
    }
    Defaults::standard().set(QStringLiteral("videoGenerationMode"), rawValue(mode));
}

void VideoWorkspaceModel::selectVideoMode(VideoGenerationMode mode) {
    if (environment_.appViewModel && environment_.appViewModel->videoMode() != mode)
        environment_.appViewModel->setVideoMode(mode);
}

void VideoWorkspaceModel::receiveSharedImage() {
    AppViewModel* app = environment_.appViewModel;
    if (!app)
        return;
    const std::optional<QImage> image = app->sharedImage();
    if (!image)
        return;
    const std::optional<ImageType> type = app->sharedImageType();
    if (type == ImageType::first) {
        setFirstFrame(image);
        app->setSharedImageType(std::nullopt);
    } else if (type == ImageType::last) {
        setLastFrame(image);
        app->setSharedImageType(std::nullopt);
    } else if (!startEndMode()) {
        setFirstFrame(image);
        setLastFrame(std::nullopt);
    } else if (firstFrameImage_) {
        setLastFrame(image);
    } else {
        setFirstFrame(image);
    }

    if (!startEndMode()) {
        app->setSavedVideoReferenceImage(firstFrameImage_);
        if (type == ImageType::last)
            app->setSavedVideoLastFrameImage(lastFrameImage_);
    } else if (type == ImageType::first) {
        app->setSavedVideoReferenceImage(firstFrameImage_);
    } else if (type == ImageType::last) {
        app->setSavedVideoLastFrameImage(lastFrameImage_);
    }
    app->setSharedImage(std::nullopt);
}

void VideoWorkspaceModel::insertPresetText(const QString& text) {
    emit flushPromptRequested();
    QString next = prompt_.isEmpty() ? text : prompt_.trimmed() + QLatin1Char(' ') + text;
    setPrompt(PromptLimit::truncated(next));
    bumpResetTrigger();
}

void VideoWorkspaceModel::clearPrompt() {
    setPrompt(QString());
    bumpResetTrigger();
}

void VideoWorkspaceModel::openCreatePresetFromPrompt() {
    emit flushPromptRequested();
    setShouldOpenCreatePreset(true);
    setShowPromptPresets(true);
}

void VideoWorkspaceModel::recreateVideo(const QString& fileName, const QList<VideoMetadata*>& records) {
    for (VideoMetadata* record : records) {
        if (record && record->fileName() == fileName) {
            recreateFromRecord(*record);
            return;
        }
    }
    Log::line(QStringLiteral("❌ No metadata found for ") + fileName);
}

void VideoWorkspaceModel::recreateFromRecord(const VideoMetadata& record) {
    const QString modeText = record.videoMode() == QLatin1String("start_end_video") ? QStringLiteral("start_end_video")
                                                                                    : QStringLiteral("image_to_video");
    setPrompt(record.prompt());
    // The editor is reset so that a focused editor cannot write its old text over the recreated prompt.
    bumpResetTrigger();
    // The mode rule runs after the frames are in place, as the picker's own change would.
    deferModeChange_ = true;
    if (environment_.appViewModel) {
        environment_.appViewModel->setVideoMode(modeText == QLatin1String("start_end_video")
                                                    ? VideoGenerationMode::startEndVideo
                                                    : VideoGenerationMode::imageToVideo);
    }
    const QImage first = record.firstFrameImage();
    const QImage last = record.lastFrameImage();
    setFirstFrame(first.isNull() ? std::nullopt : std::optional<QImage>(first));
    setLastFrame(last.isNull() ? std::nullopt : std::optional<QImage>(last));
    const auto mark = [](bool set) { return set ? QStringLiteral("✅") : QStringLiteral("❌"); };
    Log::line(QStringLiteral("✅ Recreated video: ") + record.fileName());
    Log::line(QStringLiteral("   - Prompt: ") + record.prompt());
    Log::line(QStringLiteral("   - Mode: ") + modeText);
    Log::line(QStringLiteral("   - First frame: ") + mark(hasFirstFrame()));
    Log::line(QStringLiteral("   - Last frame: ") + mark(hasLastFrame()));
    deferModeChange_ = false;
    onVideoModeChanged();
}

void VideoWorkspaceModel::storeImage(ImageType slot, const QImage& image) {
    if (image.isNull())
        return;
    AppViewModel* app = environment_.appViewModel;
    if (slot == ImageType::first) {
        setFirstFrame(image);
        if (app)
            app->setSavedVideoReferenceImage(image);
    } else {
        setLastFrame(image);
        if (app)
            app->setSavedVideoLastFrameImage(image);
    }
}

void VideoWorkspaceModel::removeFirstFrameImage() {
    // The saved mirror keeps the image on purpose.
    setFirstFrame(std::nullopt);
}

void VideoWorkspaceModel::removeLastFrameImage() {
    setLastFrame(std::nullopt);
    if (environment_.appViewModel)
        environment_.appViewModel->setSavedVideoLastFrameImage(std::nullopt);
}

void VideoWorkspaceModel::saveFrameImage(ImageType slot) {
    const std::optional<QImage>& image = slot == ImageType::first ? firstFrameImage_ : lastFrameImage_;
    if (image)
        intake_->saveFrameImage(*image, environment_.downloadSettings);
}

bool VideoWorkspaceModel::acceptsDrops() const {
    return environment_.appViewModel && environment_.appViewModel->currentView() == ViewMode::videoGeneration;
}

void VideoWorkspaceModel::onVideoModeChanged() {
    if (deferModeChange_)
        return;
    const VideoGenerationMode mode = videoMode();
    if (mode != lastSeenMode_) {
        lastSeenMode_ = mode;
        setGenerationMode(mode);
        emit videoModeChanged();
    }
    emit generateStateChanged();
}

void VideoWorkspaceModel::onSharedImageChanged() {
    AppViewModel* app = environment_.appViewModel;
    if (app->sharedImage() && app->currentView() == ViewMode::videoGeneration)
        receiveSharedImage();
}

void VideoWorkspaceModel::onCurrentViewChanged() {
    AppViewModel* app = environment_.appViewModel;
    if (app->currentView() != ViewMode::videoGeneration)
        return;
    receiveSharedImage();
    app->setTextToInsertIntoPhotoPrompt(std::nullopt);
}

void VideoWorkspaceModel::setFirstFrame(const std::optional<QImage>& image) {
    firstFrameImage_ = image;
    emit framesChanged();
    emit generateStateChanged();
}

void VideoWorkspaceModel::setLastFrame(const std::optional<QImage>& image) {
    lastFrameImage_ = image;
    emit framesChanged();
    emit generateStateChanged();
}

void VideoWorkspaceModel::bumpResetTrigger() {
    ++textEditorResetTrigger_;
    emit textEditorResetTriggerChanged();
}
