#pragma once

#include "FfmpegTool.h"

#include <QByteArray>
#include <QFile>
#include <QSize>
#include <QString>
#include <QtEndian>

// A phone photo: a JPEG of 48 megapixels (8064 x 6048), made by the ffmpeg tool without ever holding its pixels
// in this process. Its top half is red and its bottom half blue, so that a reader can tell which way it was
// turned. With an EXIF orientation (6: turn 90 degrees clockwise to show it, as a phone held upright writes it),
// the shown picture is 6048 x 8064 with red on the right.
namespace PhonePhoto {

inline constexpr QSize size{8064, 6048};

// The APP1 segment of an EXIF block that holds only the orientation.
inline QByteArray exifOrientation(quint16 orientation) {
    QByteArray tiff("MM\0\x2a", 4);
    const auto put16 = [&tiff](quint16 v) {
        const quint16 be = qToBigEndian(v);
        tiff.append(reinterpret_cast<const char*>(&be), 2);
    };
    const auto put32 = [&tiff](quint32 v) {
        const quint32 be = qToBigEndian(v);
        tiff.append(reinterpret_cast<const char*>(&be), 4);
    };
    put32(8); // the first directory follows the header
    put16(1); // one entry
    put16(0x0112);
    put16(3); // SHORT
    put32(1);
    put16(orientation);
    put16(0);
    put32(0); // no next directory
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xff\xe1", 2);
    const quint16 length = qToBigEndian(quint16(payload.size() + 2));
    segment.append(reinterpret_cast<const char*>(&length), 2);
    return segment + payload;
}

// Writes the photo to `path`; `orientation` 0 writes no EXIF block. False when the tool failed.
inline bool write(const QString& path, quint16 orientation = 0) {
    const QString filter = QStringLiteral("color=c=red:s=%1x%2,drawbox=x=0:y=%3:w=%1:h=%3:color=blue:t=fill")
                               .arg(size.width())
                               .arg(size.height())
                               .arg(size.height() / 2);
    if (!FfmpegTool::run({"-f", "lavfi", "-i", filter, "-frames:v", "1", "-q:v", "20"}, path))
        return false;
    if (orientation == 0)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.readAll();
    file.close();
    if (!bytes.startsWith("\xff\xd8"))
        return false;
    bytes.insert(2, exifOrientation(orientation));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

} // namespace PhonePhoto
