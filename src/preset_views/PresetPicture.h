#pragma once

#include "ImageCoding.h"

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QUrl>

class QMimeData;

// The longest side a preset picture keeps.
constexpr int kPresetPictureMaxSide = 800;

// A picture whose sides are both at most 800 comes back as the same image; a larger one is redrawn with its
// longer side 800 and its aspect ratio kept. A null or degenerate picture comes back unchanged.
QImage resizeImageForPreset(const QImage& image);

// Reading pictures for presets, through the one reader of users' pictures (ImageCoding::readPicture): a file or
// blob that is not a picture, or whose picture would exceed Qt's allocation limit at the size asked for, gives a
// null image.
namespace PresetPicture {

QImage readFile(const QString& path);
// `coverBox`, when valid, asks the decoder for a picture just large enough to cover that box (aspect kept),
// so a card never holds many more pixels than it shows.
QImage readData(const QByteArray& data, const QSize& coverBox = {});

// What a drop can offer, in the order it was given: local files and inline picture data.
struct DropSource {
    QString filePath;
    QByteArray data;
    QImage image;
};
QList<DropSource> dropSources(const QMimeData* mime);
// Whether a drag carries something that may be a picture (a local file or picture data).
bool mayHoldPicture(const QMimeData* mime);

// Off the GUI thread: read and reduce to 800 (while decoding, so a phone photo fits in memory). A null image
// and the reason when nothing loads.
QFuture<ImageCoding::ReadPicture> loadFileForPreset(const QString& path);
// Off the GUI thread: the first source that gives a picture, reduced to 800; when none does, a null image and
// why the first could not be read.
QFuture<ImageCoding::ReadPicture> loadDropForPreset(const QList<DropSource>& sources);

} // namespace PresetPicture
