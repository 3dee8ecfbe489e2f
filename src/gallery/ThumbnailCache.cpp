#include "ThumbnailCache.h"

#include "ClipFileInfo.h"
#include "FileNames.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>

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

QString ownRootFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Orvane/thumbnails");
}

QString mtimeText(const ClipFileInfo& info) {
    return QString::number(info.modifiedSecs);
}

} // namespace

int maxSide(Flavor flavor) {
    switch (flavor) {
    case Flavor::normal:
        return 128;
    case Flavor::large:
        return 256;
    case Flavor::card:
        return 400;
    case Flavor::xlarge:
        return 512;
    }
    return 256;
}

QString folder(Flavor flavor) {
    switch (flavor) {
    case Flavor::normal:
        return rootFolder() + QStringLiteral("/normal");
    case Flavor::large:
        break;
    case Flavor::card:
        return ownRootFolder() + QStringLiteral("/400");
    case Flavor::xlarge:
        return rootFolder() + QStringLiteral("/x-large");
    }
    return rootFolder() + QStringLiteral("/large");
}

QByteArray uriOf(const QString& path) {
    return FileNames::url(QFileInfo(path).absoluteFilePath()).toEncoded();
}

QString thumbnailPath(const QString& path, Flavor flavor) {
    const QByteArray hash = QCryptographicHash::hash(uriOf(path), QCryptographicHash::Md5).toHex();
    return folder(flavor) + '/' + QString::fromLatin1(hash) + QStringLiteral(".png");
}

std::optional<Entry> read(const QString& path, Flavor flavor) {
    return read(path, ClipFileInfo::of(path), flavor);
}

std::optional<Entry> read(const QString& path, const ClipFileInfo& info, Flavor flavor) {
    if (!info.isFile)
        return std::nullopt;
    QFile file(thumbnailPath(path, flavor));
    constexpr qint64 kMaxThumbnailBytes = 4 * 1024 * 1024;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxThumbnailBytes)
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    // The text chunks come before the pixels: a stale thumbnail is refused without decoding it.
    const QHash<QString, QString> text = pngTexts(bytes);
    if (text.value(kUriKey).toUtf8() != uriOf(path) || text.value(kMTimeKey) != mtimeText(info))
        return std::nullopt;
    const QString size = text.value(kSizeKey);
    if (!size.isEmpty() && size != QString::number(info.size))
        return std::nullopt;
    Entry entry;
    entry.image = QImage::fromData(bytes, "png");
    const int side = maxSide(flavor);
    if (entry.image.isNull() || entry.image.width() > side || entry.image.height() > side)
        return std::nullopt;
    bool ok = false;
    const double length = text.value(kLengthKey).toDouble(&ok);
    if (ok && length >= 0)
        entry.duration = length;
    const int width = text.value(kWidthKey).toInt();
    const int height = text.value(kHeightKey).toInt();
    if (width > 0 && height > 0)
        entry.displaySize = QSize(width, height);
    return entry;
}

QHash<QString, QString> pngTexts(const QByteArray& png) {
    // Qt's reader splits keys at ':', which every "Thumb::" key has: the chunks are read here instead.
    QHash<QString, QString> texts;
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (!png.startsWith(signature))
        return texts;
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const auto* p = reinterpret_cast<const uchar*>(png.constData() + at);
        const quint32 length = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
        const QByteArray type = png.mid(at + 4, 4);
        if (length > quint32(png.size() - at - 12) || type == "IDAT" || type == "IEND")
            break;
        if (type == "tEXt") {
            const QByteArray data = png.mid(at + 8, length);
            const qsizetype nul = data.indexOf('\0');
            if (nul > 0)
                texts.insert(QString::fromLatin1(data.left(nul)), QString::fromLatin1(data.mid(nul + 1)));
        } else if (type == "zTXt") {
            // Qt compresses values longer than 40 characters: key, NUL, method 0, zlib stream.
            const QByteArray data = png.mid(at + 8, length);
            const qsizetype nul = data.indexOf('\0');
            if (nul > 0 && nul + 1 < data.size() && data.at(nul + 1) == 0) {
                constexpr quint32 kMaxText = 64 * 1024;
                QByteArray stream("\0\0\0\0", 4);
                stream[0] = char(kMaxText >> 24);
                stream[1] = char((kMaxText >> 16) & 0xff);
                stream[2] = char((kMaxText >> 8) & 0xff);
                stream[3] = char(kMaxText & 0xff);
                stream += data.mid(nul + 2);
                const QByteArray value = qUncompress(stream);
                if (!value.isEmpty())
                    texts.insert(QString::fromLatin1(data.left(nul)), QString::fromLatin1(value));
            }
        }
        at += 12 + qsizetype(length);
    }
    return texts;
}

bool write(const QString& path, Flavor flavor, const Entry& entry) {
    const ClipFileInfo info = ClipFileInfo::of(path);
    if (entry.image.isNull() || !info.isFile)
        return false;
    const QString target = thumbnailPath(path, flavor);
    QDir().mkpath(QFileInfo(target).path());
    // The folders are private to the user.
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    QFile::setPermissions(flavor == Flavor::card ? ownRootFolder() : rootFolder(), owner);
    QFile::setPermissions(folder(flavor), owner);

    QImage image = entry.image;
    const int side = maxSide(flavor);
    if (image.width() > side || image.height() > side)
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    image.setText(kUriKey, QString::fromUtf8(uriOf(path)));
    image.setText(kMTimeKey, mtimeText(info));
    image.setText(kSizeKey, QString::number(info.size));
    image.setText(kMimeKey, QStringLiteral("video/mp4"));
    if (entry.duration)
        image.setText(kLengthKey, QString::number(*entry.duration, 'f', 3));
    if (entry.displaySize.isValid()) {
        image.setText(kWidthKey, QString::number(entry.displaySize.width()));
        image.setText(kHeightKey, QString::number(entry.displaySize.height()));
    }
    image.setText(QStringLiteral("Software"), QStringLiteral("Orvane"));

    // A temporary name in the same folder, then a rename over the old thumbnail: readers never see half a
    // file. No sync to disk: a lost thumbnail is simply made again.
    const QString temporary =
        target + QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0'));
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QImageWriter writer(&file, "png");
    writer.setCompression(1); // small pictures; speed matters more than a few bytes
    const bool written = writer.write(image);
    file.close();
    if (!written || ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}

} // namespace ThumbnailCache
