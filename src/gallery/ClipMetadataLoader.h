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

// A clip's thumbnail is at most this many pixels on either side.
constexpr int kThumbnailSide = 400;

struct Result {
    bool ok = false; // a thumbnail was made or found
    bool fromCache = false;
    QImage thumbnail; // at most the side asked for on the longer side
    std::optional<double> duration;
    std::optional<QSize> resolution; // as shown, rotation applied, never negative
    QString error;
    qint64 fileSize = -1; // read just before the clip was: -1 when it was no file then
};

// The size of the thumbnail cache that keeps pictures of at most `side`: the smallest that holds it. A picture
// is kept there at that size's own side, and scaled to `side` when read.
ThumbnailCache::Flavor flavorFor(int side);

Result load(const QString& path, int side = kThumbnailSide);
// From the thumbnail cache only: not ok when the cache has no current thumbnail; the clip itself is not read.
Result loadCached(const QString& path, int side = kThumbnailSide);
// A read still queued when `cancelled` turns true is skipped (its result says so).
QFuture<Result> loadAsync(const QString& path, std::shared_ptr<std::atomic<bool>> cancelled = nullptr,
                          int side = kThumbnailSide);
// Thumbnails are written to the cache once no read is running; this writes what waits and waits for it.
void waitForCacheWrites();

} // namespace ClipMetadataLoader
