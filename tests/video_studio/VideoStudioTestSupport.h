#pragma once

#include "APIManager.h"
#include "AppEnvironment.h"
#include "AppViewModel.h"
#include "DownloadSettings.h"
#include "FakeMiniMaxService.h"
#include "MiniMaxAPIService.h"
#include "QueueManager.h"
#include "TestSupport.h"
#include "VideoGalleryViewModel.h"
#include "VideoSettings.h"
#include "VirtualClock.h"

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>

#include <memory>

inline QImage solidFrame(const QColor& color, QSize size = QSize(64, 36)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

inline QByteArray pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The colour at the centre of a picture, for telling frames apart.
inline QColor centreColor(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// A change of size or scale re-lays a screen out over a few rounds of posted events.
inline void settleLayouts() {
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// A test's own defaults, log, virtual clock, scripted panels, fake video service and the app-wide
// objects the studio reads, with a queue whose four clients hold keys the fake accepts.
struct StudioWorld {
    TestEnvironment environment;
    VirtualClock clock;
    RecordingSoundPlayer sounds;
    ScriptedDialogs dialogs;
    FakeMiniMaxService fake;
    std::unique_ptr<AppViewModel> app;
    std::unique_ptr<VideoSettings> videoSettings;
    std::unique_ptr<DownloadSettings> downloadSettings;
    std::unique_ptr<QueueManager> queue;
    std::unique_ptr<VideoGalleryViewModel> gallery;

    explicit StudioWorld(int keys = 4) {
        clock.install();
        fake.acceptedKeys = {"key-1", "key-2", "key-3", "key-4"};
        fake.install();
        Dialogs::setCurrent(&dialogs);
        APIManager& manager = APIManager::shared();
        manager.setMiniMaxAPIKey(keys >= 1 ? "key-1" : "");
        manager.setMiniMaxAPIKey2(keys >= 2 ? "key-2" : "");
        manager.setMiniMaxAPIKey3(keys >= 3 ? "key-3" : "");
        manager.setMiniMaxAPIKey4(keys >= 4 ? "key-4" : "");
        MiniMaxAPIService& shared = MiniMaxAPIService::shared();
        shared.setSelectedModel(VideoModel::hailuo02);
        shared.setFastPretreatment(false);
        shared.setEnablePromptOptimization(true);
        app = std::make_unique<AppViewModel>();
        app->setCurrentView(ViewMode::videoGeneration);
        videoSettings = std::make_unique<VideoSettings>();
        downloadSettings = std::make_unique<DownloadSettings>();
        queue = std::make_unique<QueueManager>();
        gallery = std::make_unique<VideoGalleryViewModel>();
    }

    ~StudioWorld() {
        gallery.reset();
        queue.reset();
        Dialogs::setCurrent(nullptr);
        clock.runUntil([this] { return clock.pendingSleepers() == 0; }, 1e7, 5000);
    }

    AppEnvironment env() const {
        AppEnvironment e;
        e.appViewModel = app.get();
        e.videoSettings = videoSettings.get();
        e.downloadSettings = downloadSettings.get();
        e.queueManager = queue.get();
        e.galleryViewModel = gallery.get();
        return e;
    }
};
