#include "ReferenceLoader.h"

#include "ImageCoding.h"
#include "WhenReady.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <QtEndian>

#include <optional>
#include <utility>

namespace {
QString resizeLine(QSize from, QSize bounds) {
    return QStringLiteral("📱 Resizing for UI: %1x%2 → %3x%4")
        .arg(from.width())
        .arg(from.height())
        .arg(bounds.width())
        .arg(bounds.height());
}

bool fits(QSize size, QSize bounds) {
    return size.width() <= bounds.width() && size.height() <= bounds.height();
}

QSize fitted(QSize size, QSize bounds) {
    const double factor = std::min(double(bounds.width()) / size.width(), double(bounds.height()) / size.height());
    return {std::max(1, int(std::lround(size.width() * factor))),
            std::max(1, int(std::lround(size.height() * factor)))};
}

bool overAllocationLimit(qint64 width, qint64 height) {
    const int limitMB = QImageReader::allocationLimit();
    if (limitMB <= 0)
        return false;
    return width * height * 4 > qint64(limitMB) * 1024 * 1024;
}

bool overAllocationLimit(QSize size) {
    return overAllocationLimit(size.width(), size.height());
}

const QString tooLargeText = QStringLiteral("The image is too large to read.");

// The raster formats a reference may be, recognised by their bytes: an SVG can draw local files named in it.
QByteArray referenceFormat(const QByteArray& head) {
    if (const QByteArray raster = ImageCoding::rasterFormat(head); !raster.isEmpty())
        return raster;
    if (head.startsWith(QByteArrayLiteral("II*\0")) || head.startsWith(QByteArrayLiteral("MM\0*")))
        return "tiff";
    if (head.startsWith("BM"))
        return "bmp";
    return {};
}

// The size a PNG's header declares, read before the decoder sees the file: it cannot report one for a file
// that ends after its header.
std::optional<std::pair<qint64, qint64>> declaredPngSize(const QByteArray& head) {
    if (ImageCoding::rasterFormat(head) != "png" || head.size() < 24 || head.mid(12, 4) != "IHDR")
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
    return std::make_pair(qint64(qFromBigEndian<quint32>(bytes + 16)), qint64(qFromBigEndian<quint32>(bytes + 20)));
}
} // namespace

namespace {
// Decoding takes every core it is given: leave one to the GUI thread so that it keeps painting.
QThreadPool& decodingPool() {
    static QThreadPool* pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
        return threads;
    }();
    return *pool;
}
} // namespace

ReferenceLoader::ReferenceLoader(QObject* parent, QSize bounds) : QObject(parent), bounds_(bounds) {}

ReferenceLoader::~ReferenceLoader() = default;

QImage ReferenceLoader::thumbnail(const QImage& image) {
    if (image.width() <= thumbnailBound && image.height() <= thumbnailBound)
        return image;
    return image.scaled(thumbnailBound, thumbnailBound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

ReferenceLoader::Loaded ReferenceLoader::decode(const Source& source, QSize bounds) {
    Loaded loaded = decodeFull(source, bounds);
    if (!loaded.image.isNull())
        loaded.thumbnail = thumbnail(loaded.image);
    return loaded;
}

ReferenceLoader::Loaded ReferenceLoader::decodeFull(const Source& source, QSize bounds) {
    Loaded loaded;
    if (!source.image.isNull()) {
        loaded.image = source.image;
        if (!fits(source.image.size(), bounds)) {
            loaded.logLines << resizeLine(source.image.size(), bounds);
            loaded.image = source.image.scaled(fitted(source.image.size(), bounds), Qt::IgnoreAspectRatio,
                                               Qt::SmoothTransformation);
        }
        return loaded;
    }

    QFile file;
    QBuffer buffer;
    QIODevice* device = &buffer;
    if (!source.path.isEmpty()) {
        file.setFileName(source.path);
        if (!file.open(QIODevice::ReadOnly)) {
            loaded.error = file.errorString();
            return loaded;
        }
        device = &file;
    } else {
        buffer.setData(source.bytes);
        buffer.open(QIODevice::ReadOnly);
    }
    const QByteArray head = device->peek(24);
    const QByteArray format = referenceFormat(head);
    if (format.isEmpty()) {
        loaded.error = QStringLiteral("Unsupported image format");
        return loaded;
    }
    if (const auto declared = declaredPngSize(head);
        declared && overAllocationLimit(declared->first, declared->second)) {
        loaded.error = tooLargeText;
        return loaded;
    }
    QImageReader reader(device, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty()) {
        loaded.error = reader.errorString();
        return loaded;
    }
    // The limit is checked on the full size: decoding at a smaller size must not let a huge picture through.
    if (overAllocationLimit(stored)) {
        loaded.error = tooLargeText;
        return loaded;
    }
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize shown = turned ? stored.transposed() : stored;
    if (!fits(shown, bounds)) {
        loaded.logLines << resizeLine(shown, bounds);
        const QSize target = fitted(shown, bounds);
        // Decoders that can scale while decoding (JPEG) do much less work this way.
        reader.setScaledSize(turned ? target.transposed() : target);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        loaded.error = reader.errorString();
        return loaded;
    }
    loaded.image = std::move(image);
    return loaded;
}

void ReferenceLoader::load(Source source, Done done) {
    const quint64 ticket = nextTicket_++;
    waiting_[ticket] = Slot{std::move(done), false, {}};
    QFuture<Loaded> future = QtConcurrent::run(&decodingPool(), [source = std::move(source), bounds = bounds_] {
        return bounds == fullSize ? decodeFull(source, bounds) : decode(source, bounds);
    });
    whenReady(this, future, [this, ticket](const Loaded& loaded) {
        auto it = waiting_.find(ticket);
        if (it == waiting_.end())
            return;
        it->second.ready = true;
        it->second.loaded = loaded;
        // A decode that finished before `then` was attached runs this at once: never hand back inside load().
        QMetaObject::invokeMethod(this, &ReferenceLoader::deliver, Qt::QueuedConnection);
    });
}

void ReferenceLoader::deliver() {
    QPointer<ReferenceLoader> self(this);
    bool delivered = false;
    while (!waiting_.empty() && waiting_.begin()->second.ready) {
        delivered = true;
        Slot slot = std::move(waiting_.begin()->second);
        waiting_.erase(waiting_.begin());
        if (slot.done)
            slot.done(slot.loaded);
        if (!self)
            return;
    }
    if (delivered && waiting_.empty())
        emit idle();
}
