#pragma once

#include "ModelContext.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QByteArray>
#include <QSemaphore>
#include <QString>

#include <atomic>
#include <memory>

class QThreadPool;

class VideoGalleryViewModel;
class VideoMetadata;

// Helpers of the gallery tests: real clips made once per process by the ffmpeg tool, a private thumbnail
// cache, a store and a virtual clock.
namespace GalleryTestSupport {

// A 1 s 160x90 H.264 clip (made once); a quarter-turned one of the same pictures; empty when ffmpeg failed.
const QByteArray& clipBytes();
const QByteArray& rotatedClipBytes();
// A 1 s 1024x576 clip, large enough for the biggest thumbnails; empty when ffmpeg failed.
const QByteArray& largeClipBytes();
// Writes bytes to a path; false when that failed.
bool writeFile(const QString& path, const QByteArray& bytes);
// The same for a path given as bytes, which need not be UTF-8.
bool writeRawName(const QByteArray& path, const QByteArray& bytes);
// Stores a record for a clip file name.
std::shared_ptr<VideoMetadata> addRecord(ModelContext& store, const QString& fileName, const QString& prompt,
                                         const QDateTime& createdAt, const QString& quality = QStringLiteral("768P"),
                                         const std::optional<QString>& model = QStringLiteral("2.3 Fast"),
                                         bool promptOptimization = true,
                                         const std::optional<bool>& fastPretreatment = false);

// The folder is read off the GUI thread: waits until the gallery shows what it read.
bool waitUntilListed(const VideoGalleryViewModel& gallery);

// Keeps every thread of a pool waiting until released (or destroyed), so work handed to it cannot start before.
class BusyWorkers {
public:
    explicit BusyWorkers(QThreadPool& pool);
    ~BusyWorkers();
    // Every thread is held.
    bool holdsAll();
    void release();

private:
    QThreadPool& pool_;
    int workers_;
    std::atomic<int> waiting_{0};
    QSemaphore gate_;
};

// Own defaults, folders and log, XDG cache (for thumbnails) below the same root, a virtual clock, a store.
struct World {
    TestEnvironment environment;
    VirtualClock clock;
    std::unique_ptr<ModelContext> store;
    QByteArray previousCacheHome;

    World();
    ~World();
    QString folder(const QString& name) const;
    // Lets probes in flight finish and their continuations run.
    void drain();
};

} // namespace GalleryTestSupport
