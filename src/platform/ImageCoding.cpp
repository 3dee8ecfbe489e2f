#include "ImageCoding.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace ImageCoding {
namespace {

// The compressor's output, gathered into one array that may not grow past a limit.
struct Destination {
    jpeg_destination_mgr manager{};
    QByteArray* bytes = nullptr;
    qint64 maxBytes = 0;
    static constexpr qsizetype chunk = 64 * 1024;
};

struct ErrorExit {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
};

void growDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    const qsizetype used = dest->bytes->size();
    if (used > dest->maxBytes) {
        // Past the limit: the rest of the picture is not compressed at all.
        std::longjmp(reinterpret_cast<ErrorExit*>(cinfo->err)->jump, 2);
    }
    dest->bytes->resize(used + Destination::chunk);
    dest->manager.next_output_byte = reinterpret_cast<JOCTET*>(dest->bytes->data() + used);
    dest->manager.free_in_buffer = size_t(Destination::chunk);
}

// Compresses `source` (32-bit, opaque) into `bytes`; false when libjpeg fails or the output passes `maxBytes`.
// Nothing with a destructor lives between the jump's set and its landing.
bool compress(const QImage& source, int quality, QByteArray& bytes, qint64 maxBytes, const JpegProgress& progress) {
    jpeg_compress_struct cinfo{};
    ErrorExit errors;
    Destination destination;
    destination.bytes = &bytes;
    destination.maxBytes = maxBytes;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<ErrorExit*>(common->err)->jump, 1);
    };
    errors.manager.output_message = [](j_common_ptr) {}; // warnings of a compressor are not for the user
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    destination.manager.init_destination = [](j_compress_ptr cinfo) {
        auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
        dest->bytes->clear();
        growDestination(cinfo);
    };
    destination.manager.empty_output_buffer = [](j_compress_ptr cinfo) -> boolean {
        // The whole buffer is full: libjpeg wants it all taken.
        auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
        dest->manager.free_in_buffer = 0;
        growDestination(cinfo);
        return TRUE;
    };
    destination.manager.term_destination = [](j_compress_ptr cinfo) {
        auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
        dest->bytes->resize(dest->bytes->size() - qsizetype(dest->manager.free_in_buffer));
        if (dest->bytes->size() > dest->maxBytes)
            std::longjmp(reinterpret_cast<ErrorExit*>(cinfo->err)->jump, 2);
    };
    cinfo.dest = &destination.manager;
    cinfo.image_width = JDIMENSION(source.width());
    cinfo.image_height = JDIMENSION(source.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    constexpr JDIMENSION band = 16; // one row of 4:2:0 blocks
    JSAMPROW rows[band];
    while (cinfo.next_scanline < cinfo.image_height) {
        const JDIMENSION count = std::min(band, cinfo.image_height - cinfo.next_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPLE*>(source.constScanLine(int(cinfo.next_scanline + i)));
        jpeg_write_scanlines(&cinfo, rows, count);
        if (progress && !progress(double(cinfo.next_scanline) / cinfo.image_height,
                                  bytes.size() - qsizetype(destination.manager.free_in_buffer)))
            std::longjmp(errors.jump, 3);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

const QString tooLargeText = QStringLiteral("The image is too large to read.");

// The formats a user's picture may be, recognised by their bytes: an SVG can draw local files named in it.
QByteArray pictureFormat(const QByteArray& head) {
    if (const QByteArray raster = rasterFormat(head); !raster.isEmpty())
        return raster;
    if (head.startsWith(QByteArrayLiteral("II*\0")) || head.startsWith(QByteArrayLiteral("MM\0*")))
        return "tiff";
    if (head.startsWith("BM"))
        return "bmp";
    return {};
}

// The pixel count a PNG's header declares, read before the decoder sees the file: the decoder cannot report a
// size for a file that ends after its header.
qint64 declaredPngPixels(const QByteArray& head) {
    if (rasterFormat(head) != "png" || head.size() < 24 || head.mid(12, 4) != "IHDR")
        return 0;
    const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
    return qint64(qFromBigEndian<quint32>(bytes + 16)) * qint64(qFromBigEndian<quint32>(bytes + 20));
}

// What Qt's allocation limit counts for a picture of that size (at least 32 bits a pixel, as decoders that
// report less may still allocate that much).
bool overAllocationLimit(QSize size, QImage::Format format) {
    const int limitMB = QImageReader::allocationLimit();
    if (limitMB <= 0)
        return false;
    const int depth =
        std::max(32, format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel());
    const qint64 bytesPerLine = (qint64(size.width()) * depth + 31) / 32 * 4;
    return bytesPerLine * size.height() > qint64(limitMB) * 1024 * 1024;
}

QSize largestWithinAllocationLimit(QSize size, QImage::Format format) {
    const int limitMB = QImageReader::allocationLimit();
    double factor = std::sqrt(double(limitMB) * 1024 * 1024 / 4 / (double(size.width()) * size.height()));
    QSize reduced;
    do {
        reduced = QSize(std::max(1, int(size.width() * factor)), std::max(1, int(size.height() * factor)));
        factor *= 0.99;
    } while (overAllocationLimit(reduced, format) && reduced != QSize(1, 1));
    return reduced;
}

// The size the upright picture is decoded at.
QSize requestedSize(QSize upright, const PictureRequest& request) {
    if (!request.box.isValid() || request.box.isEmpty())
        return upright;
    if (request.cover) {
        const QSize cover = upright.scaled(request.box, Qt::KeepAspectRatioByExpanding);
        if (cover.width() < upright.width() && cover.height() < upright.height())
            return cover.expandedTo(QSize(1, 1));
        return upright;
    }
    if (upright.width() <= request.box.width() && upright.height() <= request.box.height())
        return upright;
    const double factor =
        std::min(double(request.box.width()) / upright.width(), double(request.box.height()) / upright.height());
    return {std::max(1, int(std::lround(upright.width() * factor))),
            std::max(1, int(std::lround(upright.height() * factor)))};
}

// Qt scales a picture in a palette or of 1 bit in its own format and dithers the result back into the palette:
// fine detail (text, line art, a halftone) turns into noise.
bool isPaletted(QImage::Format format) {
    return format == QImage::Format_Mono || format == QImage::Format_MonoLSB || format == QImage::Format_Indexed8;
}

// The picture in 32 bits at `size` (no larger than it is). A large one is first averaged in blocks of whole pixels,
// a band of rows at a time, so that no 32-bit copy of it at full size is ever made.
QImage reducedIn32Bits(const QImage& image, QSize size) {
    const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    const int factor = std::max(1, std::min(image.width() / size.width(), image.height() / size.height()));
    QImage averaged;
    if (factor == 1) {
        averaged = image.convertToFormat(format);
    } else {
        // The last block of a row or a column may hold fewer pixels.
        const int width = (image.width() + factor - 1) / factor;
        const int height = (image.height() + factor - 1) / factor;
        averaged = QImage(width, height, format);
        if (averaged.isNull())
            return {};
        std::vector<quint64> sums(size_t(width) * 4);
        for (int row = 0; row < height; ++row) {
            const int top = row * factor;
            const int rows = std::min(factor, image.height() - top);
            const QImage band = image.copy(0, top, image.width(), rows).convertToFormat(format);
            std::fill(sums.begin(), sums.end(), 0);
            for (int y = 0; y < rows; ++y) {
                const auto* line = reinterpret_cast<const QRgb*>(band.constScanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    quint64* sum = &sums[size_t(x / factor) * 4];
                    sum[0] += qAlpha(line[x]);
                    sum[1] += qRed(line[x]);
                    sum[2] += qGreen(line[x]);
                    sum[3] += qBlue(line[x]);
                }
            }
            auto* out = reinterpret_cast<QRgb*>(averaged.scanLine(row));
            for (int column = 0; column < width; ++column) {
                const quint64 count = quint64(std::min(factor, image.width() - column * factor)) * quint64(rows);
                const quint64* sum = &sums[size_t(column) * 4];
                const auto mean = [count](quint64 total) { return int((total + count / 2) / count); };
                out[column] = qRgba(mean(sum[1]), mean(sum[2]), mean(sum[3]), mean(sum[0]));
            }
        }
    }
    if (averaged.isNull() || averaged.size() == size)
        return averaged;
    return averaged.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

bool hasArea(const QImage& image) {
    return !image.isNull() && image.width() > 0 && image.height() > 0;
}

QImage opaqueRgb32(const QImage& image) {
    if (!hasArea(image))
        return image;
    if (!image.hasAlphaChannel())
        return image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    QImage source(image.size(), QImage::Format_RGB32);
    source.fill(Qt::white);
    const QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < source.height(); ++y) {
        auto* dst = reinterpret_cast<QRgb*>(source.scanLine(y));
        const auto* src = reinterpret_cast<const QRgb*>(premultiplied.constScanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const int a = qAlpha(src[x]);
            dst[x] = qRgb(qRed(src[x]) + (255 - a), qGreen(src[x]) + (255 - a), qBlue(src[x]) + (255 - a));
        }
    }
    return source;
}

std::optional<QByteArray> jpegData(const QImage& image, double quality, qint64 maxBytes, const JpegProgress& progress) {
    if (!std::isfinite(quality) || !hasArea(image))
        return std::nullopt;
    const int q = int(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
    const QImage source = opaqueRgb32(image);
    QByteArray bytes;
    if (!compress(source, q, bytes, maxBytes < 0 ? std::numeric_limits<qint64>::max() : maxBytes, progress) ||
        bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> pngData(const QImage& image) {
    if (!hasArea(image))
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

QByteArray rasterFormat(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1a\n"))
        return "png";
    if (data.startsWith("\xff\xd8\xff"))
        return "jpeg";
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return "gif";
    if (data.size() >= 12 && data.startsWith("RIFF") && data.mid(8, 4) == "WEBP")
        return "webp";
    return {};
}

QImage decode(const QByteArray& data, qint64 maxPixels) {
    const QByteArray format = rasterFormat(data);
    if (format.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    // Only the plugin of the recognised format may read these bytes.
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    // A few kilobytes of PNG can declare a picture of gigabytes: judge the declared size before any pixel
    // is allocated.
    const QSize declared = reader.size();
    if (!declared.isValid() || qint64(declared.width()) * declared.height() > maxPixels)
        return {};
    return reader.read();
}

ReadPicture readPicture(QIODevice& device, const PictureRequest& request) {
    ReadPicture result;
    const qint64 start = device.pos();
    const QByteArray head = device.peek(24);
    const QByteArray format = pictureFormat(head);
    if (format.isEmpty()) {
        result.error = QStringLiteral("Unsupported image format");
        return result;
    }
    if (declaredPngPixels(head) > maxPicturePixels) {
        result.error = tooLargeText;
        return result;
    }
    // Only the plugin of the recognised format may read these bytes.
    const auto makeReader = [&device, &format] {
        auto reader = std::make_unique<QImageReader>(&device, format);
        reader->setAutoDetectImageFormat(false);
        reader->setDecideFormatFromContent(false);
        reader->setAutoTransform(true);
        return reader;
    };
    std::unique_ptr<QImageReader> reader = makeReader();
    const QSize stored = reader->size();
    if (!stored.isValid() || stored.isEmpty()) {
        result.error = reader->errorString();
        return result;
    }
    if (qint64(stored.width()) * stored.height() > maxPicturePixels) {
        result.error = tooLargeText;
        return result;
    }
    // The reader reduces the picture as stored, and turns it afterwards.
    const bool turned = reader->transformation() & QImageIOHandler::TransformationRotate90;
    const QSize upright = turned ? stored.transposed() : stored;
    result.size = upright;
    QSize target = requestedSize(upright, request);
    const QImage::Format pixels = reader->imageFormat();
    // A picture in a palette is read whole, in its own few bits a pixel, and reduced here in 32 bits: never by its
    // decoder or the reader.
    const bool paletted = isPaletted(pixels);
    const bool reducesWhileDecoding = !paletted && reader->supportsOption(QImageIOHandler::ScaledSize);
    if (overAllocationLimit(reducesWhileDecoding ? target : upright, pixels)) {
        if (!request.withinAllocationLimit || !reducesWhileDecoding) {
            result.error = tooLargeText;
            return result;
        }
        target = largestWithinAllocationLimit(target, pixels);
    }
    if (target != upright && !paletted)
        reader->setScaledSize(turned ? target.transposed() : target);
    QImage image = reader->read();
    if (paletted && !image.isNull())
        image = reducedIn32Bits(image, target);
    // A decoder may hold more than the picture it gives back (JPEG decodes at a scale in eighths and reduces the
    // rest of the way): while that is what passes the limit, ask for an eighth less.
    const bool fullSizeOverLimit = overAllocationLimit(upright, pixels);
    for (int attempt = 0;
         image.isNull() && request.withinAllocationLimit && fullSizeOverLimit && attempt < 6 && device.seek(start);
         ++attempt) {
        target = QSize(std::max(1, target.width() * 7 / 8), std::max(1, target.height() * 7 / 8));
        reader = makeReader();
        reader->setScaledSize(turned ? target.transposed() : target);
        image = reader->read();
    }
    if (image.isNull()) {
        result.error = reader->errorString();
        return result;
    }
    result.image = std::move(image);
    return result;
}

ReadPicture readPictureFile(const QString& path, const PictureRequest& request) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ReadPicture result;
        result.error = file.errorString();
        return result;
    }
    return readPicture(file, request);
}

ReadPicture readPictureData(const QByteArray& data, const PictureRequest& request) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return readPicture(buffer, request);
}

} // namespace ImageCoding
