#include "ClipMetadataLoader.h"

#include "MediaProbe.h"
#include "ThumbnailCache.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace ClipMetadataLoader {

namespace {
constexpr auto kFlavor = ThumbnailCache::Flavor::large;

QThreadPool& writerPool() {
    static QThreadPool* const pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(1);
        p->setThreadPriority(QThread::LowPriority);
        // Writes still queued when the application object goes away finish first.
        qAddPostRoutine([] { writerPool().waitForDone(); });
        return p;
    }();
    return *pool;
}
} // namespace

void waitForCacheWrites() {
    writerPool().waitForDone();
}

Result load(const QString& path) {
    Result result;
    if (const auto cached = ThumbnailCache::read(path, kFlavor)) {
        result.ok = true;
        result.fromCache = true;
        result.thumbnail = cached->image;
        result.duration = cached->duration;
        if (cached->displaySize.isValid())
            result.resolution = cached->displaySize;
        return result;
    }
    MediaProbe::Request request;
    request.stillAt = 0.0;
    const int side = ThumbnailCache::maxSide(kFlavor);
    request.bound = QSize(side, side);
    const MediaProbe::Result probed = MediaProbe::probe(path, request);
    result.duration = probed.duration;
    if (probed.displaySize.isValid()) {
        // Display sizes of rotated clips are kept as plain magnitudes.
        result.resolution = QSize(std::abs(probed.displaySize.width()), std::abs(probed.displaySize.height()));
    }
    if (!probed.ok() || probed.still.isNull()) {
        result.error = probed.ok() ? QStringLiteral("no picture") : probed.error;
        return result;
    }
    result.ok = true;
    result.thumbnail = probed.still;
    ThumbnailCache::Entry entry;
    entry.image = probed.still;
    entry.duration = probed.duration;
    entry.displaySize = result.resolution.value_or(QSize());
    // The picture is handed back at once; the cache is filled behind, on one low-priority thread.
    writerPool().start([path, entry] { ThumbnailCache::write(path, kFlavor, entry); });
    return result;
}

QFuture<Result> loadAsync(const QString& path) {
    return QtConcurrent::run(&MediaProbe::pool(), [path] { return load(path); });
}

} // namespace ClipMetadataLoader
