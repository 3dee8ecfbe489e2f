#include "PresetPicture.h"

#include <QBuffer>
#include <QImageReader>
#include <QMimeData>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

QImage resizeImageForPreset(const QImage& image) {
    const double w = image.width();
    const double h = image.height();
    if (image.isNull() || !(w > 0) || !(h > 0) || !std::isfinite(w) || !std::isfinite(h))
        return image;
    if (w <= kPresetPictureMaxSide && h <= kPresetPictureMaxSide)
        return image;
    const double aspect = w / h;
    QSize size;
    if (h < w)
        size = QSize(kPresetPictureMaxSide, std::max(1, int(std::lround(kPresetPictureMaxSide / aspect))));
    else
        size = QSize(std::max(1, int(std::lround(kPresetPictureMaxSide * aspect))), kPresetPictureMaxSide);
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

namespace PresetPicture {
namespace {

// QImageReader's default allocation limit stays in force: we never raise it.
QImage readFrom(QImageReader& reader, const QSize& coverBox) {
    reader.setAutoTransform(true);
    if (coverBox.isValid() && !coverBox.isEmpty()) {
        const QSize full = reader.size();
        const QSize cover = full.isValid() ? full.scaled(coverBox, Qt::KeepAspectRatioByExpanding) : QSize();
        if (cover.isValid() && cover.width() < full.width() && cover.height() < full.height())
            reader.setScaledSize(cover.expandedTo(QSize(1, 1)));
    }
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

QImage firstPicture(const QList<DropSource>& sources) {
    for (const DropSource& source : sources) {
        QImage image;
        if (!source.image.isNull())
            image = source.image;
        else if (!source.filePath.isEmpty())
            image = readFile(source.filePath);
        else
            image = readData(source.data);
        if (!image.isNull())
            return image;
    }
    return {};
}

} // namespace

QImage readFile(const QString& path) {
    QImageReader reader(path);
    return readFrom(reader, {});
}

QImage readData(const QByteArray& data, const QSize& coverBox) {
    if (data.isEmpty())
        return {};
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readFrom(reader, coverBox);
}

QList<DropSource> dropSources(const QMimeData* mime) {
    QList<DropSource> sources;
    if (!mime)
        return sources;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            sources.append({url.toLocalFile(), {}, {}});
    }
    if (mime->hasImage()) {
        const QImage image = qvariant_cast<QImage>(mime->imageData());
        if (!image.isNull())
            sources.append({{}, {}, image});
    }
    for (const QString& format : mime->formats()) {
        if (format.startsWith(QLatin1String("image/")))
            sources.append({{}, mime->data(format), {}});
    }
    return sources;
}

bool mayHoldPicture(const QMimeData* mime) {
    if (!mime)
        return false;
    if (mime->hasImage())
        return true;
    for (const QString& format : mime->formats()) {
        if (format.startsWith(QLatin1String("image/")))
            return true;
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile() && !QImageReader::imageFormat(url.toLocalFile()).isEmpty())
            return true;
    }
    return false;
}

QFuture<QImage> loadFileForPreset(const QString& path) {
    return QtConcurrent::run([path] { return resizeImageForPreset(readFile(path)); });
}

QFuture<QImage> loadDropForPreset(const QList<DropSource>& sources) {
    return QtConcurrent::run([sources] { return resizeImageForPreset(firstPicture(sources)); });
}

} // namespace PresetPicture
