#pragma once

#include "ThumbnailCache.h"

#include <QFuture>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

// Thumbnail, duration and display size of one clip: from the thumbnail cache when it is current, else read
// with MediaProbe and put into the cache. Runs on the media worker pool, never on the GUI thread.
namespace ClipMetadataLoader {

struct Result {
    bool ok = false; // a thumbnail was made or found
    bool fromCache = false;
    QImage thumbnail; // at most the flavour's side on the longer side
    std::optional<double> duration;
    std::optional<QSize> resolution; // as shown, rotation applied, never negative
    QString error;
    qint64 fileSize = -1; // read just before the clip was: -1 when it was no file then
};

Result load(const QString& path, ThumbnailCache::Flavor flavor = ThumbnailCache::Flavor::large);
// From the thumbnail cache only: not ok when the cache has no current thumbnail; the clip itself is not read.
Result loadCached(const QString& path, ThumbnailCache::Flavor flavor = ThumbnailCache::Flavor::large);
// A read still queued when `cancelled` turns true is skipped (its result says so).
QFuture<Result> loadAsync(const QString& path, std::shared_ptr<std::atomic<bool>> cancelled = nullptr,
                          ThumbnailCache::Flavor flavor = ThumbnailCache::Flavor::large);
// Thumbnails are written to the cache once no read is running; this writes what waits and waits for it.
void waitForCacheWrites();

} // namespace ClipMetadataLoader
