#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

// Picture <-> stored bytes. A null or zero-area picture cannot be encoded.
namespace ImageCoding {

// `quality` is the 0...1 compression factor (0.7 for pictures kept in the object store).
std::optional<QByteArray> jpegData(const QImage& image, double quality);
std::optional<QByteArray> pngData(const QImage& image);
// A null image when the bytes are not a decodable picture.
QImage decode(const QByteArray& data);

} // namespace ImageCoding
