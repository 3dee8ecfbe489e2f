#pragma once

#include <QByteArray>
#include <QImage>

#include <functional>
#include <optional>

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

} // namespace ImageCoding
