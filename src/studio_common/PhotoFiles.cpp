#include "PhotoFiles.h"

#include "CheckedWrite.h"
#include "ImageCoding.h"
#include "ImageProcessor.h"

#include <QFileInfo>
#include <QHashFunctions>
#include <QMimeData>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QUrl>
#include <QUuid>

#include <algorithm>

namespace PhotoFiles {
namespace {
quint64 runSeed() {
    static const quint64 seed = QRandomGenerator::system()->generate64();
    return seed;
}
} // namespace

QString identifier(const QByteArray& pngBytes) {
    static_assert(sizeof(size_t) == 8, "the identifier is a 64-bit hash");
    const quint64 hash = qHashBits(pngBytes.constData(), size_t(pngBytes.size()), size_t(runSeed()));
    return QString::number(hash);
}

QString fileName(const QString& identifier) {
    return QStringLiteral("Orvane_") + identifier + QStringLiteral(".png");
}

Encoded encode(const QImage& image) {
    Encoded encoded;
    encoded.png = ImageProcessor::pngData(image);
    encoded.identifier =
        encoded.png ? identifier(*encoded.png) : QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return encoded;
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    return CheckedWrite::writeFile(path, bytes, error);
}

bool isJpegName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg");
}

std::optional<QByteArray> bytesForName(const QString& path, const QImage& image) {
    return isJpegName(path) ? ImageCoding::jpegData(image, 0.9) : ImageCoding::pngData(image);
}

std::optional<QByteArray> bytesForChosenPath(const QString& path, const QImage& image,
                                             const std::optional<QByteArray>& png) {
    return isJpegName(path) ? ImageCoding::jpegData(image, 0.9) : png;
}

} // namespace PhotoFiles

bool PhotoFiles::carriesPicture(const QMimeData& mime) {
    if (mime.hasImage())
        return true;
    // formats() builds a new list on every call: walk one of them.
    const QStringList formats = mime.formats();
    if (std::any_of(formats.cbegin(), formats.cend(),
                    [](const QString& format) { return format.startsWith(QLatin1String("image/")); }))
        return true;
    const QMimeDatabase types;
    for (const QUrl& url : mime.urls()) {
        // The name decides; only a file without a telling name is looked into.
        if (url.isLocalFile() && types.mimeTypeForFile(url.toLocalFile()).name().startsWith(QLatin1String("image/")))
            return true;
    }
    return false;
}
