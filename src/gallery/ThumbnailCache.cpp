#include "ThumbnailCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace ThumbnailCache {
namespace {

const QString kUriKey = QStringLiteral("Thumb::URI");
const QString kMTimeKey = QStringLiteral("Thumb::MTime");
const QString kSizeKey = QStringLiteral("Thumb::Size");
const QString kLengthKey = QStringLiteral("Thumb::Movie::Length");
const QString kWidthKey = QStringLiteral("Thumb::Image::Width");
const QString kHeightKey = QStringLiteral("Thumb::Image::Height");
const QString kMimeKey = QStringLiteral("Thumb::Mimetype");

QString rootFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/thumbnails");
}

QString mtimeText(const QFileInfo& info) {
    return QString::number(info.lastModified().toSecsSinceEpoch());
}

} // namespace

int maxSide(Flavor flavor) {
    return flavor == Flavor::normal ? 128 : 256;
}

QString folder(Flavor flavor) {
    return rootFolder() + (flavor == Flavor::normal ? QStringLiteral("/normal") : QStringLiteral("/large"));
}

QByteArray uriOf(const QString& path) {
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
}

QString thumbnailPath(const QString& path, Flavor flavor) {
    const QByteArray hash = QCryptographicHash::hash(uriOf(path), QCryptographicHash::Md5).toHex();
    return folder(flavor) + '/' + QString::fromLatin1(hash) + QStringLiteral(".png");
}

std::optional<Entry> read(const QString& path, Flavor flavor) {
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    QImageReader reader(thumbnailPath(path, flavor), "png");
    if (!reader.canRead())
        return std::nullopt;
    // The text chunks come before the pixels: a stale thumbnail is refused without decoding it.
    if (reader.text(kUriKey).toUtf8() != uriOf(path) || reader.text(kMTimeKey) != mtimeText(info))
        return std::nullopt;
    const QString size = reader.text(kSizeKey);
    if (!size.isEmpty() && size != QString::number(info.size()))
        return std::nullopt;
    const QSize imageSize = reader.size();
    if (imageSize.width() > maxSide(flavor) || imageSize.height() > maxSide(flavor))
        return std::nullopt;
    Entry entry;
    if (!reader.read(&entry.image))
        return std::nullopt;
    bool ok = false;
    const double length = reader.text(kLengthKey).toDouble(&ok);
    if (ok && length >= 0)
        entry.duration = length;
    const int width = reader.text(kWidthKey).toInt();
    const int height = reader.text(kHeightKey).toInt();
    if (width > 0 && height > 0)
        entry.displaySize = QSize(width, height);
    return entry;
}

bool write(const QString& path, Flavor flavor, const Entry& entry) {
    const QFileInfo info(path);
    if (entry.image.isNull() || !info.isFile())
        return false;
    const QString target = thumbnailPath(path, flavor);
    QDir().mkpath(QFileInfo(target).path());
    // The folders are private to the user.
    QFile::setPermissions(rootFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(folder(flavor), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QImage image = entry.image;
    const int side = maxSide(flavor);
    if (image.width() > side || image.height() > side)
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    image.setText(kUriKey, QString::fromUtf8(uriOf(path)));
    image.setText(kMTimeKey, mtimeText(info));
    image.setText(kSizeKey, QString::number(info.size()));
    image.setText(kMimeKey, QStringLiteral("video/mp4"));
    if (entry.duration)
        image.setText(kLengthKey, QString::number(*entry.duration, 'f', 3));
    if (entry.displaySize.isValid()) {
        image.setText(kWidthKey, QString::number(entry.displaySize.width()));
        image.setText(kHeightKey, QString::number(entry.displaySize.height()));
    }
    image.setText(QStringLiteral("Software"), QStringLiteral("Orvane"));

    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, "png");
    writer.setCompression(1); // small pictures; speed matters more than a few bytes
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.commit();
}

} // namespace ThumbnailCache
