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

// Scaled down to `side` on its longer side when larger.
QImage fitted(const QImage& image, int side) {
    if (image.isNull() || (image.width() <= side && image.height() <= side))
        return compact(image);
    // Smooth scaling is fast from 32-bit pixels.
    return compact(
        image.convertToFormat(QImage::Format_RGB32).scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

Result readCache(const QString& path, int side) {
    Result result;
    const ClipFileInfo info = ClipFileInfo::of(path);
    if (info.isFile)
        result.fileSize = info.size;
    if (const auto cached = ThumbnailCache::read(path, info, flavorFor(side))) {
        result.ok = true;
        result.fromCache = true;
        result.thumbnail = fitted(cached->image, side);
        result.duration = cached->duration;
        if (cached->displaySize.isValid())
            result.resolution = cached->displaySize;
    }
    return result;
}

Result loadNow(const QString& path, int side) {
    Result result = readCache(path, side);
    if (result.ok)
        return result;
    const ThumbnailCache::Flavor flavor = flavorFor(side);
    MediaProbe::Request request;
    request.stillAt = 0.0;
    const int stored = ThumbnailCache::maxSide(flavor);
    request.bound = QSize(stored, stored);
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
    ThumbnailCache::Entry entry;
    entry.image = compact(probed.still);
    result.thumbnail = fitted(entry.image, side); // the entry's own image when no larger: shared, not a copy
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
Result loadCounted(const QString& path, int side, const std::shared_ptr<std::atomic<bool>>& cancelled = nullptr) {
    Result result;
    if (cancelled && *cancelled)
        result.error = QStringLiteral("cancelled");
    else
        result = loadNow(path, side);
    if (--pending().readsInFlight == 0)
        flushWrites();
    return result;
}
} // namespace

ThumbnailCache::Flavor flavorFor(int side) {
    for (const auto flavor :
         {ThumbnailCache::Flavor::normal, ThumbnailCache::Flavor::large, ThumbnailCache::Flavor::card})
        if (side <= ThumbnailCache::maxSide(flavor))
            return flavor;
    return ThumbnailCache::Flavor::xlarge;
}

Result load(const QString& path, int side) {
    ++pending().readsInFlight;
    return loadCounted(path, side);
}

Result loadCached(const QString& path, int side) {
    return readCache(path, side);
}

QFuture<Result> loadAsync(const QString& path, std::shared_ptr<std::atomic<bool>> cancelled, int side) {
    // Counted from the moment it is queued, so the writes wait for every read asked for.
    ++pending().readsInFlight;
    return QtConcurrent::run(&MediaProbe::pool(),
                             [path, cancelled, side] { return loadCounted(path, side, cancelled); });
}

} // namespace ClipMetadataLoader
