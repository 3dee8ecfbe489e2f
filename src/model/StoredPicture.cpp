#include "StoredPicture.h"

#include "ImageCoding.h"

namespace StoredPicture {

std::optional<QByteArray> encode(const QImage& picture) {
    return ImageCoding::jpegData(picture, kCompression);
}

QImage decode(const std::optional<QByteArray>& data) {
    return data ? ImageCoding::decode(*data) : QImage();
}

} // namespace StoredPicture
