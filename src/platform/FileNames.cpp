#include "FileNames.h"

#include <QFile>

namespace FileNames {
namespace {

constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

// Length of the well-formed UTF-8 sequence at `p` (1 to 4), 0 when none starts there: overlong forms,
// surrogates and values past U+10FFFF are not well-formed.
int sequenceLength(const uchar* p, qsizetype left) {
    const uchar lead = p[0];
    if (lead < 0x80)
        return 1;
    int length = 0;
    char32_t value = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[k] & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

// An escaped byte: a low surrogate in the escape range that does not end a surrogate pair.
bool isEscape(const QString& text, qsizetype at) {
    const char16_t c = text.at(at).unicode();
    return c >= kFirstEscape && c <= kLastEscape && (at == 0 || !text.at(at - 1).isHighSurrogate());
}

} // namespace

QString decode(const QByteArray& bytes) {
    if (bytes.isValidUtf8())
        return QFile::decodeName(bytes);
    QString text;
    text.reserve(bytes.size());
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    qsizetype runStart = 0;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const int length = sequenceLength(data + at, bytes.size() - at);
        if (length > 0) {
            at += length;
            continue;
        }
        text += QString::fromUtf8(bytes.constData() + runStart, at - runStart);
        text += QChar(char16_t(0xDC00 + data[at]));
        runStart = ++at;
    }
    text += QString::fromUtf8(bytes.constData() + runStart, at - runStart);
    return text;
}

bool hasRawBytes(const QString& path) {
    for (qsizetype at = 0; at < path.size(); ++at) {
        if (isEscape(path, at))
            return true;
    }
    return false;
}

QByteArray encode(const QString& path) {
    if (!hasRawBytes(path))
        return QFile::encodeName(path);
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    for (qsizetype at = 0; at < path.size(); ++at) {
        if (!isEscape(path, at))
            continue;
        bytes += QStringView(path).mid(runStart, at - runStart).toUtf8();
        bytes += char(path.at(at).unicode() - 0xDC00);
        runStart = at + 1;
    }
    bytes += QStringView(path).mid(runStart).toUtf8();
    return bytes;
}

QString displayName(const QString& path) {
    if (!hasRawBytes(path))
        return path;
    QString shown = path;
    for (qsizetype at = 0; at < shown.size(); ++at) {
        if (isEscape(path, at))
            shown[at] = QChar::ReplacementCharacter;
    }
    return shown;
}

QByteArray percentEncoded(const QByteArray& bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray encoded;
    encoded.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto b = uchar(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
            b == '_' || b == '~' || b == '/') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += hex[b >> 4];
            encoded += hex[b & 0xF];
        }
    }
    return encoded;
}

QUrl url(const QString& path) {
    if (!hasRawBytes(path))
        return QUrl::fromLocalFile(path);
    // QUrl keeps percent-encoded bytes that are not UTF-8 as they are, so the receiver gets the exact name.
    return QUrl::fromEncoded("file://" + percentEncoded(encode(path)), QUrl::StrictMode);
}

} // namespace FileNames
