#include "ThumbnailCache.h"

#include "ClipFileInfo.h"
#include "FileNames.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>
#include <QtEndian>

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

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

void appendBigEndian32(QByteArray& bytes, quint32 value) {
    char word[4];
    qToBigEndian(value, word);
    bytes.append(word, 4);
}

// The CRC-32 every PNG chunk ends with.
quint32 chunkCrc(const char* data, qsizetype size) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < size; ++i)
        crc = table[(crc ^ uchar(data[i])) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void appendChunk(QByteArray& png, const char* type, const QByteArray& data) {
    appendBigEndian32(png, quint32(data.size()));
    const qsizetype start = png.size();
    png.append(type, 4);
    png.append(data);
    appendBigEndian32(png, chunkCrc(png.constData() + start, png.size() - start));
}

const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);
// The rest of the header storedPng() writes: 8 bits, RGB, deflate, filters of method 0, not interlaced.
const QByteArray storedPngLayout("\x08\x02\x00\x00\x00", 5);

// The picture's size a PNG's header chunk gives; empty when the bytes do not start with one.
QSize pngHeaderSize(const QByteArray& png) {
    if (!png.startsWith(pngSignature) || png.size() < 33 || png.mid(12, 4) != "IHDR")
        return {};
    return {int(qFromBigEndian<quint32>(png.constData() + 16)), int(qFromBigEndian<quint32>(png.constData() + 20))};
}

// A thumbnail as a PNG that reads back with the least work: 8-bit RGB rows without a filter, stored in the
// zlib stream without compression (the size the cache's thumbnails had before), the texts in tEXt chunks.
QByteArray storedPng(const QImage& picture, const QList<std::pair<QString, QString>>& texts) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB888);
    const auto rowBytes = qsizetype(image.width()) * 3;
    QByteArray rows(image.height() * (1 + rowBytes), Qt::Uninitialized);
    for (int y = 0; y < image.height(); ++y) {
        char* row = rows.data() + y * (1 + rowBytes);
        row[0] = 0; // no filter
        std::memcpy(row + 1, image.constScanLine(y), size_t(rowBytes));
    }
    QByteArray png = pngSignature;
    QByteArray header;
    appendBigEndian32(header, quint32(image.width()));
    appendBigEndian32(header, quint32(image.height()));
    header.append(storedPngLayout);
    appendChunk(png, "IHDR", header);
    for (const auto& [key, value] : texts)
        appendChunk(png, "tEXt", key.toLatin1() + '\0' + value.toLatin1());
    appendChunk(png, "IDAT", qCompress(rows, 0).mid(4)); // past Qt's length prefix: a zlib stream
    appendChunk(png, "IEND", {});
    return png;
}

// The picture of a PNG laid out as storedPng() writes it, read without a decoder: its rows are in the file as
// they are shown. Null for any other PNG (compressed, filtered, another pixel layout), which the PNG decoder
// reads instead.
QImage readStoredPng(const QByteArray& png) {
    const QSize size = pngHeaderSize(png);
    if (size.isEmpty() || size.width() > 4096 || size.height() > 4096 || png.mid(24, 5) != storedPngLayout)
        return {};
    const int width = size.width();
    const int height = size.height();
    QByteArray stream;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (length > quint32(png.size() - at - 12))
            return {};
        const QByteArrayView type(png.constData() + at + 4, 4);
        if (type == "IDAT")
            stream.append(png.constData() + at + 8, length);
        else if (type == "IEND")
            break;
        at += 12 + qsizetype(length);
    }
    // A zlib stream of stored blocks only: each a byte of header, its length and the length's complement.
    const auto rowBytes = qsizetype(width) * 3;
    const qsizetype expected = qsizetype(height) * (1 + rowBytes);
    if (stream.size() < 2 || (uchar(stream[0]) & 0x0F) != 8 || (uchar(stream[0]) * 256 + uchar(stream[1])) % 31 != 0 ||
        (uchar(stream[1]) & 0x20))
        return {};
    QByteArray rows;
    rows.reserve(expected);
    qsizetype at = 2;
    for (bool last = false; !last;) {
        if (at + 5 > stream.size())
            return {};
        const uchar block = uchar(stream[at]);
        if ((block & 0x06) != 0)
            return {}; // compressed
        last = block & 1;
        const int length = uchar(stream[at + 1]) | (uchar(stream[at + 2]) << 8);
        const int complement = uchar(stream[at + 3]) | (uchar(stream[at + 4]) << 8);
        if ((length ^ 0xFFFF) != complement || at + 5 + length > stream.size() || rows.size() + length > expected)
            return {};
        rows.append(stream.constData() + at + 5, length);
        at += 5 + length;
    }
    if (rows.size() != expected)
        return {};
    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const char* row = rows.constData() + y * (1 + rowBytes);
        if (row[0] != 0)
            return {}; // filtered
        std::memcpy(image.scanLine(y), row + 1, size_t(rowBytes));
    }
    return image;
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

namespace {

constexpr qint64 kMaxThumbnailBytes = 4 * 1024 * 1024;

// Whether a thumbnail's texts say it was made of this file as it is now.
bool madeOf(const QHash<QString, QString>& text, const QString& path, const ClipFileInfo& info) {
    if (text.value(kUriKey).toUtf8() != uriOf(path) || text.value(kMTimeKey) != mtimeText(info))
        return false;
    const QString size = text.value(kSizeKey);
    return size.isEmpty() || size == QString::number(info.size);
}

} // namespace

std::optional<Entry> read(const QString& path, Flavor flavor) {
    return read(path, ClipFileInfo::of(path), flavor);
}

bool has(const QString& path, const ClipFileInfo& info, Flavor flavor) {
    if (!info.isFile)
        return false;
    QFile file(thumbnailPath(path, flavor));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxThumbnailBytes)
        return false;
    // The chunks before the picture data, read one by one: the texts and the picture's size are there.
    QByteArray head = file.read(pngSignature.size());
    if (head != pngSignature)
        return false;
    while (true) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8)
            return false;
        const quint32 length = qFromBigEndian<quint32>(chunk.constData());
        if (length > quint32(kMaxThumbnailBytes))
            return false;
        const QByteArrayView type(chunk.constData() + 4, 4);
        if (type == "IDAT" || type == "IEND")
            break;
        head += chunk;
        head += file.read(qint64(length) + 4);
    }
    const QSize size = pngHeaderSize(head);
    const int side = maxSide(flavor);
    return !size.isEmpty() && size.width() <= side && size.height() <= side && madeOf(pngTexts(head), path, info);
}

std::optional<Entry> read(const QString& path, const ClipFileInfo& info, Flavor flavor) {
    if (!info.isFile)
        return std::nullopt;
    QFile file(thumbnailPath(path, flavor));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxThumbnailBytes)
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    // The text chunks come before the pixels: a stale thumbnail is refused without decoding it.
    const QHash<QString, QString> text = pngTexts(bytes);
    if (!madeOf(text, path, info))
        return std::nullopt;
    Entry entry;
    entry.image = readStoredPng(bytes);
    if (entry.image.isNull())
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
    if (!png.startsWith(pngSignature))
        return texts;
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
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
                QByteArray stream;
                appendBigEndian32(stream, kMaxText);
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
    QList<std::pair<QString, QString>> texts{{kUriKey, QString::fromLatin1(uriOf(path))},
                                             {kMTimeKey, mtimeText(info)},
                                             {kSizeKey, QString::number(info.size)},
                                             {kMimeKey, QStringLiteral("video/mp4")}};
    if (entry.duration)
        texts.append({kLengthKey, QString::number(*entry.duration, 'f', 3)});
    if (entry.displaySize.isValid()) {
        texts.append({kWidthKey, QString::number(entry.displaySize.width())});
        texts.append({kHeightKey, QString::number(entry.displaySize.height())});
    }
    texts.append({QStringLiteral("Software"), QStringLiteral("Orvane")});

    // A temporary name in the same folder, then a rename over the old thumbnail: readers never see half a
    // file. No sync to disk: a lost thumbnail is simply made again.
    const QString temporary =
        target + QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0'));
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray png = storedPng(image, texts);
    const bool written = file.write(png) == png.size();
    file.close();
    if (!written || ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}

} // namespace ThumbnailCache
