#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

struct ClipFileInfo;

// The shared freedesktop thumbnail cache ($XDG_CACHE_HOME/thumbnails): one PNG per file, named by the MD5
// of the file's URI, holding the URI and the file's modification time so a changed file is made again.
// File managers read and write the same thumbnails. The gallery cards' own size, which the shared cache has
// no folder for, is kept the same way in a folder of the application's ($XDG_CACHE_HOME/Orvane/thumbnails).
// Safe to call from any thread.
namespace ThumbnailCache {

// At most 128, 256 or 512 pixels on the longer side, in the shared folders "normal", "large" and "x-large";
// at most 400 in the application's folder "400".
enum class Flavor { normal, large, card, xlarge };

int maxSide(Flavor flavor);
QString folder(Flavor flavor);
// The file's URI as the cache names it (file:// with percent-encoding).
QByteArray uriOf(const QString& path);
QString thumbnailPath(const QString& path, Flavor flavor);

// What a thumbnail also remembers of a clip, so a warm cache needs no decoding at all.
struct Entry {
    QImage image;
    std::optional<double> duration; // Thumb::Movie::Length
    QSize displaySize;              // Thumb::Image::Width / Height
};

// The cached thumbnail when it belongs to this file as it is now (same URI, modification time and size).
std::optional<Entry> read(const QString& path, Flavor flavor);
// The same for a file whose facts were just read.
std::optional<Entry> read(const QString& path, const ClipFileInfo& info, Flavor flavor);
// Whether read() would find a thumbnail, told from the file's header and texts without reading its picture.
bool has(const QString& path, const ClipFileInfo& info, Flavor flavor);
// The tEXt chunks before the picture data of a PNG file.
QHash<QString, QString> pngTexts(const QByteArray& png);
// Writes atomically, readable by the user only. False when the cache cannot be written.
bool write(const QString& path, Flavor flavor, const Entry& entry);

} // namespace ThumbnailCache
