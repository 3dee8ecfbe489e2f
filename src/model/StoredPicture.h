#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

// Pictures kept inside records: JPEG at compression 0.7. A picture that cannot be encoded gives none,
// and the caller leaves its stored value as it was.
namespace StoredPicture {

constexpr double kCompression = 0.7;
std::optional<QByteArray> encode(const QImage& picture);
// A null image for absent or undecodable data; decoded again on every call.
QImage decode(const std::optional<QByteArray>& data);

} // namespace StoredPicture
