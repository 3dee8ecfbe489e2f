#include "ReferenceLoader.h"

#include "BackgroundPool.h"
#include "ImageCoding.h"
#include "WhenReady.h"

#include <QPointer>

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

    ImageCoding::PictureRequest request;
    request.box = bounds;
    // Kept at full size: a picture past the allocation limit comes back as large as the limit allows.
    request.withinAllocationLimit = bounds == fullSize;
    ImageCoding::ReadPicture read = source.path.isEmpty() ? ImageCoding::readPictureData(source.bytes, request)
                                                          : ImageCoding::readPictureFile(source.path, request);
    if (read.image.isNull()) {
        loaded.error = read.error;
        return loaded;
    }
    if (!fits(read.size, bounds))
        loaded.logLines << resizeLine(read.size, bounds);
    loaded.image = std::move(read.image);
    return loaded;
}

void ReferenceLoader::load(Source source, Done done) {
    const quint64 ticket = nextTicket_++;
    waiting_[ticket] = Slot{std::move(done), false, {}};
    QFuture<Loaded> future = BackgroundPool::run([source = std::move(source), bounds = bounds_] {
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
