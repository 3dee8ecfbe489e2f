// The gallery pane: empty (with and without a video key), clips with their badges in the three grid modes,
// jobs that wait or run, a clip previewing under the pointer, and the prompt presets panel over the pane. Each is
// the pane as the video studio lays it out and scales it at both window sizes.
#include "APIManager.h"
#include "AppViewModel.h"
#include "DownloadSettings.h"
#include "FakeMiniMaxService.h"
#include "FfmpegTool.h"
#include "FolderBookmark.h"
#include "MediaProbe.h"
#include "ModelSchema.h"
#include "MovementPlayer.h"
#include "PreviewFrameSink.h"
#include "QueueManager.h"
#include "ScenesView.h"
#include "Screenshots.h"
#include "SwiftDataPromptPresetsManager.h"
#include "VideoGalleryGrid.h"
#include "VideoGalleryLogicView.h"
#include "VideoGalleryViewModel.h"
#include "VideoItemLogicView.h"
#include "VideoMetadata.h"
#include "VideoPlayerView.h"
#include "VideoSettings.h"

#include <QDir>
#include <QFile>

namespace {

// A media backend that is ready at once; the picture is handed to the preview by the screen itself.
class StillBackend final : public PreviewBackend {
public:
    ItemId replaceCurrentItem(const QUrl&) override { return current_ = ++last_; }
    void clearCurrentItem() override { current_ = 0; }
    ItemId currentItem() const override { return current_; }
    ItemStatus status(ItemId item) const override {
        return item == ready_ ? ItemStatus::readyToPlay : ItemStatus::unknown;
    }
    std::optional<double> duration(ItemId item) const override {
        return item == ready_ ? std::optional(4.0) : std::nullopt;
    }
    void play() override {
        ready_ = current_;
        emit itemStatusChanged(current_);
    }
    void pause() override {}
    void seekToStart() override {}
    void setVolume(double) override {}
    double volume() const override { return 0; }
    void setVideoOutput(PreviewFrameSink*) override {}

private:
    ItemId current_ = 0, last_ = 0, ready_ = 0;
};

struct Clip {
    QString source; // an ffmpeg picture source
    QString name;
    QString prompt;
    QString quality;
    std::optional<QString> model;
    bool optimization;
    std::optional<bool> fast;
};

const QList<Clip>& clips() {
    static const QList<Clip> list{
        {"mandelbrot=s=640x360:rate=10", "Orvane_20250301_101500_deep_zoom.mp4", "A slow dive into a glowing fractal",
         "1080P", "2.3", true, true},
        {"gradients=s=640x360:rate=10:speed=0.05", "Orvane_20250301_101200_sunset.mp4",
         "Warm light drifting over a calm bay at dusk", "768P", "2.3 Fast", true, false},
        {"life=s=640x360:rate=10:mold=10:ratio=0.2:death_color=#204060:life_color=#80e0a0",
         "Orvane_20250301_100900_cells.mp4", "Colonies of light spreading across a dark field", "768P", "2.0", false,
         std::nullopt},
        {"testsrc2=s=640x360:rate=10", "Orvane_20250301_100600_test_card.mp4", "", "512P", "2.0", false, false},
        {"smptehdbars=s=640x360:rate=10", "Orvane_20250301_100300_bars.mp4", "", "", std::nullopt, false, std::nullopt},
        {"cellauto=s=640x360:rate=10:rule=110", "Orvane_20250301_100000_rule.mp4",
         "Woven patterns unfolding row by row", "1080P", "2.3 Fast", true, true},
    };
    return list;
}

// The clips, made once per run.
QString clipFolder() {
    static const QString folder = [] {
        const QString path = QDir::temp().filePath("orvane-screenshots-gallery-v2");
        QDir().mkpath(path);
        // Oldest first, so the listing (newest first) follows the table.
        for (auto it = clips().crbegin(); it != clips().crend(); ++it) {
            const Clip& clip = *it;
            const QString target = path + '/' + clip.name;
            if (!QFile::exists(target))
                FfmpegTool::run({"-f", "lavfi", "-i", clip.source, "-t", "1", "-c:v", "libx264", "-preset", "ultrafast",
                                 "-pix_fmt", "yuv420p"},
                                target);
        }
        return path;
    }();
    return folder;
}

quint32 qrand32() {
    static quint32 n = 0;
    return ++n;
}

struct Pane {
    ScenesView* studio = nullptr;
    VideoGalleryLogicView* view = nullptr;
    VideoGalleryViewModel* gallery = nullptr;
    MovementPlayer* player = nullptr;
    QueueManager* queue = nullptr;
};

// A pane over its own store, settings and folder (none when `withClips` is false), in its video studio; the
// picture is of the pane.
Pane makePane(ScreenshotContext& context, bool withClips, int columns, bool withPresets = false) {
    qputenv("XDG_CACHE_HOME", QFile::encodeName(context.workDir + "/xdg-cache"));
    QDir().mkpath(context.workDir + "/store");
    auto store = ModelSchema::openStore(context.workDir + "/store/gallery-" + QString::number(qrand32()) + ".store");
    auto* settings = new VideoSettings;
    settings->setVideoDirectoryBookmark(std::nullopt);
    if (withClips) {
        QDateTime when = QDateTime::currentDateTimeUtc();
        for (const Clip& clip : clips()) {
            if (clip.quality.isEmpty())
                continue;
            auto record = VideoMetadata::make(clip.name, clip.prompt, clip.quality, 6, "image_to_video",
                                              clip.optimization, clip.model, clip.fast);
            record->setCreatedAt(when = when.addSecs(-60));
            store->insert(record);
        }
        store->save();
        settings->setVideoDirectoryBookmark(FolderBookmark::create(clipFolder()));
    }
    auto* gallery = new VideoGalleryViewModel;
    gallery->setModelContext(store.get());
    const auto choice = VideoGalleryViewModel::gridModeChoices().at(columns == 1 ? 0 : columns == 2 ? 1 : 2);
    gallery->selectGridMode(choice);
    auto* player = new MovementPlayer(std::make_unique<StillBackend>());
    auto* queue = new QueueManager;
    auto* app = new AppViewModel;
    app->setCurrentView(ViewMode::videoGeneration);
    auto* downloads = new DownloadSettings;
    AppEnvironment env;
    env.appViewModel = app;
    env.downloadSettings = downloads;
    env.videoSettings = settings;
    env.queueManager = queue;
    env.movementPlayer = player;
    env.galleryViewModel = gallery;
    env.modelContext = store.get();
    if (withPresets) {
        auto* presets = new SwiftDataPromptPresetsManager(store.get());
        presets->loadPresets();
        env.promptPresetsManager = presets;
        context.keep(presets);
    }
    auto* studio = new ScenesView(env);
    auto* view = studio->findChild<VideoGalleryLogicView*>();
    context.grabTarget = view;
    // The studio goes first (it is the returned widget); these follow it.
    context.keep(settings);
    context.keep(gallery);
    context.keep(player);
    context.keep(queue);
    context.keep(app);
    context.keep(downloads);
    context.keep(store.release());
    // Ready once every card in view has its picture.
    context.ready = [view, gallery] {
        const auto cards = view->grid()->cards();
        if (cards.isEmpty())
            return gallery->count() == 0;
        for (const VideoItemLogicView* card : cards) {
            const GalleryClip* item = card->clip();
            if (item && item->metadataState() != GalleryClip::MetadataState::loaded)
                return false;
            // One column waits for the sharper picture as well.
            if (item && card->columns() == 1 && item->isAvailable() && item->soloThumbnail().isNull())
                return false;
        }
        return true;
    };
    return {studio, view, gallery, player, queue};
}

QWidget* emptyPane(ScreenshotContext& context, const QString& key) {
    APIManager::shared().setMiniMaxAPIKey(key);
    return makePane(context, false, 2).studio;
}

QWidget* clipsPane(ScreenshotContext& context, int columns) {
    APIManager::shared().setMiniMaxAPIKey("key");
    return makePane(context, true, columns).studio;
}

} // namespace

ORVANE_WINDOW_SCREENSHOT("gallery-empty", [](ScreenshotContext& context) { return emptyPane(context, "key"); });
ORVANE_WINDOW_SCREENSHOT("gallery-empty-no-key", [](ScreenshotContext& context) { return emptyPane(context, ""); });
ORVANE_WINDOW_SCREENSHOT("gallery-solo", [](ScreenshotContext& context) { return clipsPane(context, 1); });
ORVANE_WINDOW_SCREENSHOT("gallery-comfort", [](ScreenshotContext& context) { return clipsPane(context, 2); });
ORVANE_WINDOW_SCREENSHOT("gallery-compact", [](ScreenshotContext& context) { return clipsPane(context, 3); });

namespace {
QWidget* jobsPane(ScreenshotContext& context) {
    // Two jobs run against a local stand-in of the video service; two more wait.
    auto* fake = new FakeMiniMaxService;
    fake->acceptedKeys = {"key-1", "key-2"};
    fake->scripts = {FakeMiniMaxService::TaskScript::processingForever(),
                     FakeMiniMaxService::TaskScript::processingForever()};
    fake->install();
    APIManager::shared().setMiniMaxAPIKey("key-1");
    APIManager::shared().setMiniMaxAPIKey2("key-2");
    Pane pane = makePane(context, true, 2);
    context.keep(fake);
    const QStringList prompts{"A paper boat drifting down a rain gutter", "Neon signs flickering in the fog",
                              "A kite rising over green dunes", "Snow settling on a quiet street"};
    for (int i = 0; i < prompts.size(); ++i) {
        QImage frame(320, 180, QImage::Format_RGB32);
        frame.fill(QColor::fromHsv(40 + i * 70, 120, 200));
        pane.queue->addVideoTask(prompts[i], frame, std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
    }
    APIManager::shared().setMiniMaxAPIKey2("");
    return pane.studio;
}

QWidget* previewPane(ScreenshotContext& context) {
    APIManager::shared().setMiniMaxAPIKey("key");
    Pane pane = makePane(context, true, 2);
    VideoGalleryLogicView* view = pane.view;
    context.afterShow.push_back([view] {
        VideoItemLogicView* card = view->grid()->cardForRow(0);
        if (card)
            screenshotHover(card);
    });
    MovementPlayer* player = pane.player;
    auto baseReady = context.ready;
    context.ready = [view, player, baseReady] {
        if (!baseReady() || !player->isPlaying() || !view->grid()->previewWidget())
            return false;
        VideoPlayerView* preview = view->grid()->previewWidget();
        if (preview->currentFrame().isNull()) {
            // The picture a player would show a moment into the clip.
            const auto still = MediaProbe::probe(player->currentVideo()->url().toLocalFile(), {0.6, QSize(640, 360)});
            preview->videoSink()->setFrame(still.still.convertToFormat(QImage::Format_RGB32));
            return false;
        }
        return true;
    };
    return pane.studio;
}

QWidget* presetsPane(ScreenshotContext& context) {
    APIManager::shared().setMiniMaxAPIKey("key");
    Pane pane = makePane(context, true, 2, true);
    VideoGalleryLogicView* view = pane.view;
    context.afterShow.push_back([view] { view->showPromptPresets("A slow dive into a glowing fractal", false); });
    return pane.studio;
}
} // namespace

ORVANE_WINDOW_SCREENSHOT("gallery-jobs", jobsPane);
ORVANE_WINDOW_SCREENSHOT("gallery-preview", previewPane);
ORVANE_WINDOW_SCREENSHOT("gallery-prompt-presets", presetsPane);
