// The image studio in its states, with sample data from the fake Gemini service, at both window sizes.
#include "APIManager.h"
#include "AppViewModel.h"
#include "ContentView.h"
#include "DownloadSettings.h"
#include "FakeGeminiService.h"
#include "FakeMiniMaxService.h"
#include "ImageServiceFactory.h"
#include "ImageStudioModel.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "QueueManager.h"
#include "RightPanel.h"
#include "Screenshots.h"
#include "SwiftDataImagePresetsManager.h"

#include <QLinearGradient>
#include <QPainter>
#include <QUuid>

namespace {

// A small landscape: sky, sun, hills.
QImage scene(int width, int height, int variant) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor::fromHsv((200 + variant * 23) % 360, 120, 230));
    sky.setColorAt(1, QColor::fromHsv((20 + variant * 31) % 360, 110, 250));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 230, 150));
    painter.drawEllipse(QPointF(width * (0.25 + 0.05 * (variant % 5)), height * 0.3), height * 0.1, height * 0.1);
    painter.setBrush(QColor::fromHsv((100 + variant * 17) % 360, 120, 120));
    QPolygonF hills;
    hills << QPointF(0, height);
    for (int i = 0; i <= 8; ++i)
        hills << QPointF(width * i / 8.0, height * (0.62 + 0.08 * std::sin(i + variant)));
    hills << QPointF(width, height);
    painter.drawPolygon(hills);
    return image;
}

struct Studio {
    ContentView* view;
    FakeGeminiService* fake;
    AppViewModel* app;
    QueueManager* queue;
};

Studio makeStudio(ScreenshotContext& context, SwiftDataImagePresetsManager* presets = nullptr) {
    auto* app = new AppViewModel;
    auto* downloads = new DownloadSettings;
    auto* queue = new QueueManager;
    auto* fake = new FakeGeminiService;
    fake->install();
    APIManager::shared().setGoogleAPIKey(fake->apiKey);
    context.keep(app);
    context.keep(downloads);
    context.keep(queue);
    context.keep(fake);
    AppEnvironment environment;
    environment.appViewModel = app;
    environment.downloadSettings = downloads;
    environment.queueManager = queue;
    environment.imagePresetsManager = presets;
    return {new ContentView(environment), fake, app, queue};
}

// The composer comes from the application view model when the studio appears.
void compose(Studio studio, const QString& prompt, const QList<QImage>& references = {}) {
    AppViewModel* app = studio.app;
    app->setSavedPhotoReferenceImages(references);
    app->setSavedPhotoPrompt(prompt);
}

void generate(Studio studio, const QString& prompt) {
    compose(studio, prompt);
    studio.view->model()->generate();
}

ORVANE_WINDOW_SCREENSHOT("image-studio-empty", [](ScreenshotContext& context) { return makeStudio(context).view; });

// Clips run in the video studio meanwhile: the header's capsule reports them.
QWidget* videoJobsStudio(ScreenshotContext& context) {
    auto* video = new FakeMiniMaxService;
    video->acceptedKeys = {"key-1", "key-2"};
    video->scripts = {FakeMiniMaxService::TaskScript::processingForever(),
                      FakeMiniMaxService::TaskScript::processingForever()};
    video->install();
    context.keep(video);
    APIManager::shared().setMiniMaxAPIKey("key-1");
    APIManager::shared().setMiniMaxAPIKey2("key-2");
    Studio studio = makeStudio(context);
    QueueManager* queue = studio.queue;
    for (int i = 0; i < 5; ++i)
        queue->addVideoTask(QStringLiteral("clip %1").arg(i), scene(320, 180, i), std::nullopt, VideoQuality::p768,
                            VideoDuration::seconds6);
    APIManager::shared().setMiniMaxAPIKey2("");
    compose(studio, QStringLiteral("A quiet valley at dawn, mist over the river"));
    context.ready = [queue] { return queue->activeVideoTasks().size() == 2; };
    return studio.view;
}

ORVANE_WINDOW_SCREENSHOT("image-studio-video-jobs", videoJobsStudio);

ORVANE_WINDOW_SCREENSHOT("image-studio-nine-references", [](ScreenshotContext& context) {
    Studio studio = makeStudio(context);
    QList<QImage> references;
    for (int i = 0; i < 9; ++i)
        references << scene(480, 320, i);
    compose(studio, QStringLiteral("A quiet valley at dawn, mist over the river"), references);
    return studio.view;
});

ORVANE_WINDOW_SCREENSHOT("image-studio-loading", [](ScreenshotContext& context) {
    Studio studio = makeStudio(context);
    studio.fake->script.append(FakeGeminiService::Reply::hanging());
    generate(studio, "A lighthouse on a cliff in a storm");
    ImageStudioModel* model = studio.view->model();
    context.ready = [model] { return model->service()->isLoading(); };
    return studio.view;
});

ORVANE_WINDOW_SCREENSHOT("image-studio-result-with-text", [](ScreenshotContext& context) {
    Studio studio = makeStudio(context);
    using Json = FakeGeminiService::Json;
    const Json parts = Json::array(
        {FakeGeminiService::textPart("Here is your **valley at dawn**: soft light, a *winding* river and low mist."),
         FakeGeminiService::pngPart(scene(1280, 720, 3))});
    studio.fake->script.append(FakeGeminiService::Reply::json(
        FakeGeminiService::response(Json::array({FakeGeminiService::candidate(parts)}), 18500)));
    generate(studio, "A quiet valley at dawn, mist over the river");
    ContentView* view = studio.view;
    context.ready = [view] { return view->rightPanel()->isResultPictureShown(); };
    context.afterShow.push_back([view] { view->model()->setShowTextPopup(true); });
    return studio.view;
});

ORVANE_WINDOW_SCREENSHOT("image-studio-blocked", [](ScreenshotContext& context) {
    Studio studio = makeStudio(context);
    using Json = FakeGeminiService::Json;
    studio.fake->script.append(FakeGeminiService::Reply::json(
        FakeGeminiService::response(Json::array({FakeGeminiService::candidate(Json::array(), "SAFETY")}), 120)));
    generate(studio, "Something the model refuses");
    ContentView* view = studio.view;
    context.ready = [view] { return view->rightPanel()->shownState() == StudioRules::ResultState::completed; };
    context.afterShow.push_back([view] { view->model()->setShowTextPopup(true); });
    return studio.view;
});

ORVANE_WINDOW_SCREENSHOT("image-studio-error", [](ScreenshotContext& context) {
    Studio studio = makeStudio(context);
    APIManager::shared().setGoogleAPIKey(QString());
    generate(studio, "A lighthouse on a cliff in a storm");
    ContentView* view = studio.view;
    context.ready = [view] { return view->rightPanel()->shownState() == StudioRules::ResultState::failed; };
    return studio.view;
});

// The image presets slid in over the result panel.
ORVANE_WINDOW_SCREENSHOT("image-studio-presets", [](ScreenshotContext& context) {
    auto store = ModelSchema::openStore(context.workDir + "/image-studio-presets-" +
                                        QUuid::createUuid().toString(QUuid::Id128) + ".sqlite");
    ModelContext* records = store.release();
    context.keep(records);
    auto* presets = new SwiftDataImagePresetsManager(records);
    context.keep(presets);
    presets->loadPresets();
    Studio studio = makeStudio(context, presets);
    compose(studio, QStringLiteral("A quiet valley at dawn, mist over the river"));
    ContentView* view = studio.view;
    context.afterShow.push_back([view] { view->model()->setShowUserImagePresets(true); });
    return studio.view;
});

} // namespace
