#pragma once

#include "PhotoFiles.h"

#include <QDateTime>
#include <QImage>
#include <QString>

#include <optional>

// Writing a frame image for the user. Encoding and writing are plain functions so they can run on a
// worker; names are chosen so that an existing file is never replaced.
namespace FrameImageSaver {

// base + "_" + the UTC instant as yyyyMMdd_HHmmss + "." + ext.
QString timestampedFileName(const QString& base, const QString& ext, const QDateTime& now);

// JPEG bytes for a ".jpg"/".jpeg" name, PNG bytes for anything else.
using PhotoFiles::isJpegName;

struct Outcome {
    QString path;  // the file written, when it succeeded
    QString error; // empty on success
    bool ok() const { return error.isEmpty(); }
};

// Writes `image` into `folder` under `fileName`, or, when that name is taken, under the first free
// name with "_2", "_3", ... before the extension. The name is claimed atomically before the bytes
// go in (checked on the disk before they take it), so a file that appears meanwhile is never replaced.
Outcome saveIntoFolder(const QImage& image, const QString& folder, const QString& fileName);

// The name a save panel's choice is written under: as chosen when it ends in ".png", ".jpg" or ".jpeg" (in any
// case), else with ".png", the first format the panel offers, added.
QString withImageExtension(const QString& path);

// Writes `image` to the path the user confirmed in a save panel. When ".png" had to be added, a file already under
// that name is kept (the panel asked about the name typed, not this one) and the next free name is taken.
Outcome saveToPath(const QImage& image, const QString& path);

} // namespace FrameImageSaver
