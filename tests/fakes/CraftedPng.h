#pragma once

#include <QByteArray>
#include <QtEndian>

#include <array>

// A PNG built by hand: any declared size, with or without its pixel rows. With the rows (all zero, greyscale),
// a few kilobytes can declare hundreds of millions of pixels: a decompression bomb.
namespace CraftedPng {

inline quint32 crc32(const QByteArray& bytes) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xffffffffu;
    for (const char byte : bytes)
        c = table[(c ^ quint8(byte)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

inline QByteArray chunk(const QByteArray& type, const QByteArray& data) {
    QByteArray out;
    QByteArray length(4, '\0');
    qToBigEndian(quint32(data.size()), length.data());
    out += length;
    const QByteArray typed = type + data;
    out += typed;
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(typed), crc.data());
    out += crc;
    return out;
}

// A PNG of the given bit depth and colour type from its raw rows (each without its filter byte).
inline QByteArray encode(quint32 width, quint32 height, char bitDepth, char colourType, const QByteArray& rows,
                         bool withRows = true) {
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = bitDepth;
    header[9] = colourType;
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png += chunk("IHDR", header);
    if (withRows) {
        const qsizetype stride = height ? rows.size() / qsizetype(height) : 0;
        QByteArray filtered;
        for (quint32 y = 0; y < height; ++y)
            filtered += '\0' + rows.mid(qsizetype(y) * stride, stride);
        png += chunk("IDAT", qCompress(filtered, 9).mid(4)); // qCompress prefixes the zlib stream with its length
    }
    png += chunk("IEND", {});
    return png;
}

// One-bit greyscale; `withRows` adds the compressed (all zero) rows, otherwise the file ends after its header.
inline QByteArray make(quint32 width, quint32 height, bool withRows) {
    return encode(width, height, 1, 0,
                  withRows ? QByteArray(qsizetype(height) * ((width + 7) / 8), '\0') : QByteArray(), withRows);
}

} // namespace CraftedPng
