#include "FrameImageSaver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace FrameImageSaver {

QString timestampedFileName(const QString& base, const QString& ext, const QDateTime& now) {
    // Fixed digits and calendar, always UTC, whatever the user's locale.
    return base + QLatin1Char('_') + now.toUTC().toString(QStringLiteral("yyyyMMdd_HHmmss")) + QLatin1Char('.') + ext;
}

namespace {

std::optional<QByteArray> encode(const QImage& image, const QString& name, QString* error) {
    if (image.isNull()) {
        *error = QStringLiteral("The image is empty");
        return std::nullopt;
    }
    auto bytes = PhotoFiles::bytesForName(name, image);
    if (!bytes)
        *error = QStringLiteral("The image could not be encoded");
    return bytes;
}

Outcome writeBytes(const QByteArray& bytes, const QString& path) {
    QString error;
    if (!PhotoFiles::writeAtomically(path, bytes, &error))
        return {QString(), error};
    return {path, QString()};
}

QString candidateName(const QString& fileName, int n) {
    if (n <= 1)
        return fileName;
    const QFileInfo info(fileName);
    const QString suffix = info.completeSuffix();
    const QString stem = suffix.isEmpty() ? fileName : fileName.left(fileName.size() - suffix.size() - 1);
    return suffix.isEmpty() ? QStringLiteral("%1_%2").arg(stem).arg(n)
                            : QStringLiteral("%1_%2.%3").arg(stem).arg(n).arg(suffix);
}

} // namespace

Outcome saveIntoFolder(const QImage& image, const QString& folder, const QString& fileName) {
    QString error;
    const auto bytes = encode(image, fileName, &error);
    if (!bytes)
        return {QString(), error};
    const QDir dir(folder);
    if (!dir.exists())
        return {QString(), QStringLiteral("The folder \"%1\" does not exist").arg(folder)};
    for (int n = 1; n < 10000; ++n) {
        const QString path = dir.filePath(candidateName(fileName, n));
        // Claiming the name with an exclusive create is atomic: a taken name fails here and the next is tried.
        QFile claim(path);
        if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(path))
                continue;
            return {QString(), claim.errorString()};
        }
        claim.close();
        Outcome outcome = writeBytes(*bytes, path);
        if (!outcome.ok())
            QFile::remove(path); // our own empty claim, never someone else's file
        return outcome;
    }
    return {QString(), QStringLiteral("No free file name for %1").arg(fileName)};
}

QString withImageExtension(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png") || isJpegName(path))
        return path;
    return path + QStringLiteral(".png");
}

Outcome saveToPath(const QImage& image, const QString& path) {
    const QString named = withImageExtension(path);
    if (named != path) {
        const QFileInfo info(named);
        return saveIntoFolder(image, info.absolutePath(), info.fileName());
    }
    QString error;
    const auto bytes = encode(image, path, &error);
    if (!bytes)
        return {QString(), error};
    return writeBytes(*bytes, path);
}

} // namespace FrameImageSaver
