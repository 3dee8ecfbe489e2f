#include "PresetPicture.h"

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

constexpr QSize presetBox(kPresetPictureMaxSide, kPresetPictureMaxSide);

ImageCoding::ReadPicture forPreset(ImageCoding::ReadPicture read) {
    read.image = resizeImageForPreset(read.image);
    return read;
}

ImageCoding::ReadPicture firstPicture(const QList<DropSource>& sources) {
    ImageCoding::PictureRequest request;
    request.box = presetBox;
    ImageCoding::ReadPicture first;
    for (const DropSource& source : sources) {
        ImageCoding::ReadPicture read;
        if (!source.image.isNull())
            read.image = source.image;
        else if (!source.filePath.isEmpty())
            read = ImageCoding::readPictureFile(source.filePath, request);
        else
            read = ImageCoding::readPictureData(source.data, request);
        if (!read.image.isNull())
            return forPreset(std::move(read));
        if (first.error.isEmpty())
            first = std::move(read);
    }
    return first;
}

} // namespace

QImage readFile(const QString& path) {
    return ImageCoding::readPictureFile(path).image;
}

QImage readData(const QByteArray& data, const QSize& coverBox) {
    if (data.isEmpty())
        return {};
    ImageCoding::PictureRequest request;
    request.box = coverBox;
    request.cover = true;
    return ImageCoding::readPictureData(data, request).image;
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

QFuture<ImageCoding::ReadPicture> loadFileForPreset(const QString& path) {
    return QtConcurrent::run([path] {
        ImageCoding::PictureRequest request;
        request.box = presetBox;
        return forPreset(ImageCoding::readPictureFile(path, request));
    });
}

QFuture<ImageCoding::ReadPicture> loadDropForPreset(const QList<DropSource>& sources) {
    return QtConcurrent::run([sources] { return firstPicture(sources); });
}

} // namespace PresetPicture
