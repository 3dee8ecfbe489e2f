#include "ClipMetadataLoader.h"

#include "ClipFileInfo.h"
#include "MediaProbe.h"
#include "ThumbnailCache.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

namespace ClipMetadataLoader {

namespace {
QThreadPool& writerPool() {
    static QThreadPool* const pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(1);
        p->setThreadPriority(QThread::LowPriority);
        // Writes still queued when the application object goes away finish first.
        qAddPostRoutine(waitForCacheWrites);
        return p;
    }();
    return *pool;
}

// Thumbnails are written once no read is running, so filling the cache never slows down what is shown.
struct PendingWrite {
    QString path;
    ThumbnailCache::Flavor flavor;
    ThumbnailCache::Entry entry;
};

struct PendingWrites {
    QMutex mutex;
    QList<PendingWrite> entries;
    std::atomic<int> readsInFlight{0};
};

PendingWrites& pending() {
    static PendingWrites* const instance = new PendingWrites;
    return *instance;
}

void flushWrites() {
    QList<PendingWrite> entries;
    {
        QMutexLocker lock(&pending().mutex);
        entries.swap(pending().entries);
    }
    if (entries.isEmpty())
        return;
    writerPool().start([entries] {
        for (const PendingWrite& write : entries)
            ThumbnailCache::write(write.path, write.flavor, write.entry);
    });
}

// Three bytes a pixel: a folder of a thousand thumbnails stays small.
QImage compact(const QImage& image) {
    return image.isNull() || image.format() == QImage::Format_RGB888 ? image
                                                                     : image.convertToFormat(QImage::Format_RGB888);
}

Result readCache(const QString& path, ThumbnailCache::Flavor flavor) {
    Result result;
    const ClipFileInfo info = ClipFileInfo::of(path);
    if (info.isFile)
        result.fileSize = info.size;
    if (const auto cached = ThumbnailCache::read(path, info, flavor)) {
        result.ok = true;
        result.fromCache = true;
        result.thumbnail = compact(cached->image);
        result.duration = cached->duration;
        if (cached->displaySize.isValid())
            result.resolution = cached->displaySize;
    }
    return result;
}

Result loadNow(const QString& path, ThumbnailCache::Flavor flavor) {
    Result result = readCache(path, flavor);
    if (result.ok)
        return result;
    MediaProbe::Request request;
    request.stillAt = 0.0;
    const int side = ThumbnailCache::maxSide(flavor);
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
    result.thumbnail = compact(probed.still);
    ThumbnailCache::Entry entry;
    entry.image = result.thumbnail; // shared with the result, not a copy
    entry.duration = probed.duration;
    entry.displaySize = result.resolution.value_or(QSize());
    QMutexLocker lock(&pending().mutex);
    pending().entries.append({path, flavor, entry});
    return result;
}

} // namespace

void waitForCacheWrites() {
    flushWrites();
    writerPool().waitForDone();
}

namespace {
Result loadCounted(const QString& path, ThumbnailCache::Flavor flavor,
                   const std::shared_ptr<std::atomic<bool>>& cancelled = nullptr) {
    Result result;
    if (cancelled && *cancelled)
        result.error = QStringLiteral("cancelled");
    else
        result = loadNow(path, flavor);
    if (--pending().readsInFlight == 0)
        flushWrites();
    return result;
}
} // namespace

Result load(const QString& path, ThumbnailCache::Flavor flavor) {
    ++pending().readsInFlight;
    return loadCounted(path, flavor);
}

Result loadCached(const QString& path, ThumbnailCache::Flavor flavor) {
    return readCache(path, flavor);
}

QFuture<Result> loadAsync(const QString& path, std::shared_ptr<std::atomic<bool>> cancelled,
                          ThumbnailCache::Flavor flavor) {
    // Counted from the moment it is queued, so the writes wait for every read asked for.
    ++pending().readsInFlight;
    return QtConcurrent::run(&MediaProbe::pool(),
                             [path, cancelled, flavor] { return loadCounted(path, flavor, cancelled); });
}

} // namespace ClipMetadataLoader
