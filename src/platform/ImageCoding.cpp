#include "ImageCoding.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include <cmath>

namespace ImageCoding {
namespace {
std::optional<QByteArray> encode(const QImage& image, const char* format, int quality) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    // JPEG has no alpha: flatten onto white rather than letting transparent pixels turn black.
    QImage source = image;
    if (qstrcmp(format, "jpeg") == 0 && image.hasAlphaChannel()) {
        source = QImage(image.size(), QImage::Format_RGB32);
        source.fill(Qt::white);
        QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < source.height(); ++y) {
            auto* dst = reinterpret_cast<QRgb*>(source.scanLine(y));
            const auto* src = reinterpret_cast<const QRgb*>(premultiplied.constScanLine(y));
            for (int x = 0; x < source.width(); ++x) {
                const int a = qAlpha(src[x]);
                dst[x] = qRgb(qRed(src[x]) + (255 - a), qGreen(src[x]) + (255 - a), qBlue(src[x]) + (255 - a));
            }
        }
    }
    if (!writer.write(source) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}
} // namespace

std::optional<QByteArray> jpegData(const QImage& image, double quality) {
    if (!std::isfinite(quality))
        return std::nullopt;
    const int q = int(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
    return encode(image, "jpeg", q);
}

std::optional<QByteArray> pngData(const QImage& image) {
    return encode(image, "png", -1);
}

QByteArray rasterFormat(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1a\n"))
        return "png";
    if (data.startsWith("\xff\xd8\xff"))
        return "jpeg";
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return "gif";
    if (data.size() >= 12 && data.startsWith("RIFF") && data.mid(8, 4) == "WEBP")
        return "webp";
    return {};
}

QImage decode(const QByteArray& data, qint64 maxPixels) {
    const QByteArray format = rasterFormat(data);
    if (format.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    // Only the plugin of the recognised format may read these bytes.
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    // A few kilobytes of PNG can declare a picture of gigabytes: judge the declared size before any pixel
    // is allocated.
    const QSize declared = reader.size();
    if (!declared.isValid() || qint64(declared.width()) * declared.height() > maxPixels)
        return {};
    return reader.read();
}

} // namespace ImageCoding
