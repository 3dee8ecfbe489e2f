// The video studio in its states: both modes empty and with frames, the settings popover, the cinematic
// sheet, four jobs running and a full queue, at both window sizes.
#include "APIManager.h"
#include "AppViewModel.h"
#include "DownloadSettings.h"
#include "FakeMiniMaxService.h"
#include "MiniMaxAPIService.h"
#include "QueueManager.h"
#include "ScenesView.h"
#include "Screenshots.h"
#include "SyntaxHighlightedTextEditor.h"
#include "VideoGalleryViewModel.h"
#include "VideoSettings.h"
#include "VideoWorkspaceModel.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPainterPath>

namespace {

// A small landscape of our own, so that the frame tiles show something.
QImage sampleFrame(const QColor& sky, const QColor& ground, double sun) {
    QImage image(960, 540, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, 540);
    gradient.setColorAt(0, sky.lighter(130));
    gradient.setColorAt(1, sky.darker(120));
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(QColor(255, 220, 140));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(960 * sun, 180), 60, 60);
    QPainterPath hills;
    hills.moveTo(0, 380);
    hills.cubicTo(240, 300, 520, 460, 960, 340);
    hills.lineTo(960, 540);
    hills.lineTo(0, 540);
    painter.fillPath(hills, ground);
    return image;
}

struct VideoStudio {
    ScenesView* view = nullptr;
    QueueManager* queue = nullptr;
};

// The app-wide objects of a studio, with a local stand-in for the video service so that jobs can run.
VideoStudio makeVideoStudio(ScreenshotContext& context, VideoGenerationMode mode) {
    auto* fake = new FakeMiniMaxService;
    fake->acceptedKeys = {"shot-1", "shot-2", "shot-3", "shot-4"};
    for (int i = 0; i < 16; ++i)
        fake->scripts.append(FakeMiniMaxService::TaskScript::processingForever());
    fake->install();
    APIManager& keys = APIManager::shared();
    keys.setMiniMaxAPIKey("shot-1");
    keys.setMiniMaxAPIKey2("shot-2");
    keys.setMiniMaxAPIKey3("shot-3");
    keys.setMiniMaxAPIKey4("shot-4");
    auto* app = new AppViewModel;
    app->setCurrentView(ViewMode::videoGeneration);
    app->setVideoMode(mode);
    auto* videoSettings = new VideoSettings;
    auto* downloadSettings = new DownloadSettings;
    auto* queue = new QueueManager;
    auto* gallery = new VideoGalleryViewModel;
    // Deleted in this order after the picture: the studio's objects before the service they talk to.
    context.keep(queue);
    context.keep(gallery);
    context.keep(app);
    context.keep(videoSettings);
    context.keep(downloadSettings);
    context.keep(fake);
    AppEnvironment environment;
    environment.appViewModel = app;
    environment.videoSettings = videoSettings;
    environment.downloadSettings = downloadSettings;
    environment.queueManager = queue;
    environment.galleryViewModel = gallery;
    return {new ScenesView(environment), queue};
}

void fillFrames(VideoStudio& studio, bool both) {
    studio.view->model()->storeImage(ImageType::first, sampleFrame(QColor(90, 140, 210), QColor(60, 110, 70), 0.7));
    if (both)
        studio.view->model()->storeImage(ImageType::last, sampleFrame(QColor(230, 130, 90), QColor(80, 70, 60), 0.25));
    studio.view->model()->insertPresetText("A slow drift over the hills [Pan left] then [Zoom in] on the sun");
}

bool tilesShown(ScenesView* view) {
    const auto* model = view->model();
    return (!model->hasFirstFrame() || view->findChild<QWidget*>("referenceFrameTile") ||
            view->findChild<QWidget*>("startFrameTile")) &&
           (!model->hasLastFrame() || !model->startEndMode() || view->findChild<QWidget*>("endFrameTile"));
}

void addJobs(VideoStudio& studio, int count) {
    for (int i = 0; i < count; ++i)
        studio.queue->addVideoTask(QStringLiteral("clip %1").arg(i + 1),
                                   sampleFrame(QColor(90, 140, 210), QColor(60, 110, 70), 0.5), std::nullopt,
                                   VideoQuality::p768, VideoDuration::seconds6);
}

} // namespace

ORVANE_WINDOW_SCREENSHOT("video-studio-image-to-video-empty", [](ScreenshotContext& context) -> QWidget* {
    return makeVideoStudio(context, VideoGenerationMode::imageToVideo).view;
});

ORVANE_WINDOW_SCREENSHOT("video-studio-start-end-empty", [](ScreenshotContext& context) -> QWidget* {
    return makeVideoStudio(context, VideoGenerationMode::startEndVideo).view;
});

ORVANE_WINDOW_SCREENSHOT("video-studio-image-to-video-frame", [](ScreenshotContext& context) -> QWidget* {
    VideoStudio studio = makeVideoStudio(context, VideoGenerationMode::imageToVideo);
    fillFrames(studio, false);
    context.ready = [view = studio.view] { return tilesShown(view); };
    return studio.view;
});

ORVANE_WINDOW_SCREENSHOT("video-studio-start-end-frames", [](ScreenshotContext& context) -> QWidget* {
    VideoStudio studio = makeVideoStudio(context, VideoGenerationMode::startEndVideo);
    fillFrames(studio, true);
    context.ready = [view = studio.view] { return tilesShown(view); };
    return studio.view;
});

ORVANE_WINDOW_SCREENSHOT("video-studio-settings-popover", [](ScreenshotContext& context) -> QWidget* {
    VideoStudio studio = makeVideoStudio(context, VideoGenerationMode::imageToVideo);
    ScenesView* view = studio.view;
    context.afterShow.push_back([view, &context] {
        if (auto* button = view->findChild<QAbstractButton*>("videoSettingsButton"))
            button->click();
        context.grabTarget = view->videoSettingsPopover();
    });
    return view;
});

ORVANE_WINDOW_SCREENSHOT("video-studio-cinematic-sheet", [](ScreenshotContext& context) -> QWidget* {
    VideoStudio studio = makeVideoStudio(context, VideoGenerationMode::imageToVideo);
    fillFrames(studio, false);
    studio.view->model()->setShowCameraControls(true);
    return studio.view;
});

ORVANE_WINDOW_SCREENSHOT("video-studio-four-jobs", [](ScreenshotContext& context) -> QWidget* {
    VideoStudio studio = makeVideoStudio(context, VideoGenerationMode::imageToVideo);
    fillFrames(studio, false);
    addJobs(studio, 4);
    context.ready = [view = studio.view] { return tilesShown(view); };
    return studio.view;
});

ORVANE_WINDOW_SCREENSHOT("video-studio-queue-full", [](ScreenshotContext& context) -> QWidget* {
    VideoStudio studio = makeVideoStudio(context, VideoGenerationMode::imageToVideo);
    fillFrames(studio, false);
    addJobs(studio, 16);
    context.ready = [view = studio.view] { return tilesShown(view); };
    return studio.view;
});
