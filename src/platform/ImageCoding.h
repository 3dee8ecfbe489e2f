#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

// Picture <-> stored bytes. A null or zero-area picture cannot be encoded.
namespace ImageCoding {

// A picture with pixels: neither null nor of zero width or height.
bool hasArea(const QImage& image);
// The picture with 32-bit opaque pixels, as JPEGs are made from: transparent pixels flattened onto white rather
// than turning black. A picture that is so already comes back as it is.
QImage opaqueRgb32(const QImage& image);
// Told now and then how far a JPEG has come (the share of its rows, and its length so far); false stops it.
using JpegProgress = std::function<bool(double rowsDone, qint64 bytes)>;
// `quality` is the 0...1 compression factor (0.7 for pictures kept in the object store). With `maxBytes` of 0 or
// more, none when the JPEG would be longer: compressing stops as soon as it is.
std::optional<QByteArray> jpegData(const QImage& image, double quality, qint64 maxBytes = -1,
                                   const JpegProgress& progress = {});
std::optional<QByteArray> pngData(const QImage& image);
// Raster pictures only (PNG, JPEG, WebP, GIF), recognised by their bytes whatever type was declared: a
// vector format can name other files (an SVG draws a local picture given by its path), and these bytes
// come from the network or from stored records. A null image for anything else, for a picture that declares
// more than `maxPixels`, or beyond Qt's allocation limit.
constexpr qint64 defaultMaxPixels = qint64(1) << 25; // a 32-bit picture under Qt's default limit of 128 MB
QImage decode(const QByteArray& data, qint64 maxPixels = defaultMaxPixels);
// The reader format of raster bytes ("png", "jpeg", "webp", "gif"); empty for anything else.
QByteArray rasterFormat(const QByteArray& data);

// Reading a user's picture (a file chosen or dropped, or dropped bytes). Only the formats the open panels offer
// are read (PNG, JPEG, GIF, WebP, TIFF, BMP), recognised by their bytes; the picture is turned upright as its
// EXIF orientation says and reduced while it decodes, so that a phone photo of 48 megapixels never has to fit
// into memory at full size (JPEG and PNG decoders reduce as they go; the others decode whole first).
struct PictureRequest {
    // The box the upright picture is reduced to, its aspect kept: to fit inside it, or with `cover` to just cover
    // it. An invalid box asks for the full size. A picture is never enlarged.
    QSize box;
    bool cover = false;
    // A picture over Qt's allocation limit at the size asked for comes back reduced to the largest size under
    // the limit instead of being refused, where its decoder can reduce.
    bool withinAllocationLimit = false;
};
struct ReadPicture {
    QImage image;  // null when the picture could not be read
    QString error; // why, when the image is null
    QSize size;    // the picture's own size, upright; invalid when not known
};
// Pictures that declare more pixels are refused unread: even reduced, decoding takes time in proportion to the
// full size. Far more than any camera takes.
constexpr qint64 maxPicturePixels = qint64(1) << 28;
ReadPicture readPicture(QIODevice& device, const PictureRequest& request = {});
ReadPicture readPictureFile(const QString& path, const PictureRequest& request = {});
ReadPicture readPictureData(const QByteArray& data, const PictureRequest& request = {});

} // namespace ImageCoding
