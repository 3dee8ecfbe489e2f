#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// File names are bytes to the kernel; Qt turns bytes that are not UTF-8 into U+FFFD, after which the file
// cannot be reached again under the name Qt gives it. Paths made here keep every byte: a byte that is not
// part of valid UTF-8 becomes the lone surrogate U+DC00 + byte (as Python's "surrogateescape" does) and turns
// back into that byte on the way to the system. Ordinary names come out as QFile::decodeName gives them.
// Such a path must reach the system through encode(); QFile and QFileInfo would encode it wrongly.
namespace FileNames {

QString decode(const QByteArray& bytes);
QByteArray encode(const QString& path);
// Whether the path holds bytes that are not UTF-8 (and so cannot be handed to QFile).
bool hasRawBytes(const QString& path);
// For people: every such byte shown as U+FFFD.
QString displayName(const QString& path);
// Bytes outside the unreserved set and '/' as %XX, for file URLs and trash records.
QByteArray percentEncoded(const QByteArray& bytes);
// The file URL of an absolute path, with its bytes percent-encoded.
QUrl url(const QString& path);

} // namespace FileNames
