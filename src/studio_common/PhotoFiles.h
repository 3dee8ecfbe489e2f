#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

class QMimeData;

// Names and writes the picture files of the image studio. Everything here is thread-safe; the encoders are
// slow for big pictures, so callers run them on a worker.
namespace PhotoFiles {

// A decimal name for PNG bytes: a 64-bit keyed hash over all the bytes, seeded at random once per run.
QString identifier(const QByteArray& pngBytes);
// "Orvane_" + identifier + ".png".
QString fileName(const QString& identifier);

// The PNG bytes of a picture and its identifier; without bytes the identifier is a new upper-case UUID.
struct Encoded {
    std::optional<QByteArray> png;
    QString identifier;
};
Encoded encode(const QImage& image);

// Writes through a temporary file renamed at the end, only once every byte is on the disk: a failure leaves
// what was under `path` as it was and, when asked, says why in `error` (in the system's words).
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);
// A ".jpg" or ".jpeg" name, in any case.
bool isJpegName(const QString& path);
// The bytes a file of that name gets: JPEG (quality 0.9) for a JPEG name, PNG otherwise.
std::optional<QByteArray> bytesForName(const QString& path, const QImage& image);
// The same for a save panel's choice, reusing PNG bytes already made.
std::optional<QByteArray> bytesForChosenPath(const QString& path, const QImage& image,
                                             const std::optional<QByteArray>& png);

// Whether a drag brings a picture: picture data (decoded, or bytes of an image type), or a local file whose type
// is an image. Drop targets highlight only for these.
bool carriesPicture(const QMimeData& mime);

} // namespace PhotoFiles
