#include "ImageProcessor.h"

#include "DecimalText.h"
#include "ImageCoding.h"
#include "Log.h"

#include <QPainter>

#include <cmath>
#include <limits>

namespace {

bool hasArea(const QImage& image) {
    return !image.isNull() && image.width() > 0 && image.height() > 0;
}

bool isUsableBound(const QSizeF& size) {
    return std::isfinite(size.width()) && std::isfinite(size.height()) && size.width() > 0 && size.height() > 0;
}

// The whole image drawn into `factor` times its size (at least one pixel each way).
QImage scaledBy(const QImage& image, double factor) {
    const int width = std::max(1, int(std::lround(image.width() * factor)));
    const int height = std::max(1, int(std::lround(image.height() * factor)));
    return image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString megabytes(qint64 bytes) {
    return QString::asprintf("%.2f", double(bytes) / 1048576.0);
}

// JPEG has no alpha: flatten once onto white instead of again for every rung of the ladder.
QImage opaque(const QImage& image) {
    if (!hasArea(image) || !image.hasAlphaChannel())
        return image;
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    return flat;
}

std::optional<QByteArray> firstFittingJpeg(const QImage& image, qint64 maxBytes, const QString& linePrefix,
                                           const ImageProcessor::LogSink& log) {
    for (const double quality : ImageProcessor::qualityLadder) {
        const auto jpeg = ImageCoding::jpegData(image, quality);
        if (!jpeg || jpeg->size() > maxBytes)
            continue;
        log(linePrefix + decimalText(quality) + ": " + megabytes(jpeg->size()) + " MB");
        return jpeg->toBase64();
    }
    return std::nullopt;
}

} // namespace

QString ImageProcessorError::localizedDescription() const {
    switch (kind) {
    case Kind::compressionFailed:
        return message;
    case Kind::invalidImage:
        return QStringLiteral("Invalid image format");
    }
    return {};
}

std::optional<QByteArray> ImageProcessor::pngData(const QImage& image) {
    return ImageCoding::pngData(image);
}

QImage ImageProcessor::resizeForUI(const QImage& image, const QSizeF& maxSize) {
    if (!isUsableBound(maxSize) || (image.width() <= maxSize.width() && image.height() <= maxSize.height()))
        return image;
    Log::line(QStringLiteral("📱 Resizing for UI: %1x%2 → %3x%4")
                  .arg(image.width())
                  .arg(image.height())
                  .arg(qint64(maxSize.width()))
                  .arg(qint64(maxSize.height())));
    const double factor = std::min(maxSize.width() / image.width(), maxSize.height() / image.height());
    return scaledBy(image, factor);
}

std::variant<QByteArray, ImageProcessorError> ImageProcessor::processImageForAPI(const QImage& image,
                                                                                 std::optional<QSizeF> maxSize,
                                                                                 float maxSizeMB, const LogSink& sink) {
    const LogSink log = sink ? sink : LogSink(&Log::line);
    log(QStringLiteral("🖼️ Processing image for API: %1x%2").arg(image.width()).arg(image.height()));

    const float limit = maxSizeMB * 1024.0f * 1024.0f;
    qint64 maxBytes = 0;
    if (std::isfinite(limit) && limit > 0)
        maxBytes =
            limit >= float(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max() : qint64(limit);

    const QImage source = opaque(image);
    if (auto base64 = firstFittingJpeg(source, maxBytes, QStringLiteral("📦 Using JPEG quality "), log))
        return *base64;

    // A picture without pixels cannot be scaled to any bound.
    if (maxSize && isUsableBound(*maxSize) && hasArea(source)) {
        log(QStringLiteral("🔄 Resizing to %1x%2...").arg(qint64(maxSize->width())).arg(qint64(maxSize->height())));
        const double factor = std::min(maxSize->width() / source.width(), maxSize->height() / source.height());
        if (auto base64 =
                firstFittingJpeg(scaledBy(source, factor), maxBytes, QStringLiteral("📦 Resized JPEG quality "), log))
            return *base64;
    }
    return ImageProcessorError::compressionFailed("Unable to compress image below " + decimalText(maxSizeMB) +
                                                  " MB limit");
}
