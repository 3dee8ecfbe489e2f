#include "GalleryClip.h"

#include "ClipFileInfo.h"
#include "ClipMetadataLoader.h"
#include "Clock.h"
#include "FileNames.h"
#include "MediaProbe.h"
#include "TaskOwner.h"
#include "VideoMetadata.h"

#include <QPointer>
#include <QUrl>

#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace {
qint64 currentSize(const QString& path) {
    const ClipFileInfo info = ClipFileInfo::of(path);
    return info.isFile ? info.size : -1;
}

QString nameShown(const QString& path) {
    return FileNames::displayName(path.mid(path.lastIndexOf('/') + 1));
}
} // namespace

GalleryClip::GalleryClip(const QString& path, QObject* parent)
    : VideoItem(FileNames::url(path), parent), path_(path), fileName_(nameShown(path)) {
    const ClipFileInfo info = ClipFileInfo::of(path);
    if (info.exists) {
        createdAt_ = info.created;
        fileSize_ = info.size;
    }
    if (!createdAt_.isValid())
        createdAt_ = Clock::current().now();
    isAvailable_ = info.isFile;
}

GalleryClip::GalleryClip(const QString& path, const QDateTime& createdAt, qint64 fileSize, QObject* parent)
    : VideoItem(FileNames::url(path), parent), path_(path), fileName_(nameShown(path)), createdAt_(createdAt),
      fileSize_(fileSize), isAvailable_(true) {
    if (!createdAt_.isValid())
        createdAt_ = Clock::current().now();
}

GalleryClip::~GalleryClip() {
    *gone_ = true;
}

void GalleryClip::setRecord(const std::shared_ptr<VideoMetadata>& record) {
    if (record_ == record)
        return;
    record_ = record;
    emit recordChanged();
}

std::optional<QString> GalleryClip::prompt() const {
    return record_ ? std::optional(record_->prompt()) : std::nullopt;
}
std::optional<QString> GalleryClip::videoMode() const {
    return record_ ? std::optional(record_->videoMode()) : std::nullopt;
}
std::optional<QString> GalleryClip::quality() const {
    return record_ ? std::optional(record_->quality()) : std::nullopt;
}
std::optional<bool> GalleryClip::promptOptimization() const {
    return record_ ? std::optional(record_->promptOptimization()) : std::nullopt;
}
std::optional<QString> GalleryClip::model() const {
    return record_ ? record_->model() : std::nullopt;
}
std::optional<bool> GalleryClip::fastPretreatment() const {
    return record_ ? record_->fastPretreatment() : std::nullopt;
}

QString GalleryClip::title() const {
    const auto text = prompt();
    if (text && !text->isEmpty())
        return *text;
    return QString(fileName_).remove(QStringLiteral(".mp4"));
}

void GalleryClip::ensureMetadata() {
    // Nobody waits for it: what it reads arrives through metadataChanged().
    if (metadataState_ == MetadataState::notLoaded)
        TaskOwner::own(this, loadMetadata());
}

void GalleryClip::readCachedMetadata() {
    if (!isAvailable_ || metadataState_ != MetadataState::notLoaded)
        return;
    cachedRead_.watch(this,
                      QtConcurrent::run(&MediaProbe::pool(),
                                        [path = path_, gone = gone_] {
                                            // A clip let go of before its turn on the pool is not read.
                                            if (*gone) {
                                                ClipMetadataLoader::Result cancelled;
                                                cancelled.error = QStringLiteral("cancelled");
                                                return cancelled;
                                            }
                                            return ClipMetadataLoader::loadCached(path);
                                        }),
                      [this](const ClipMetadataLoader::Result& result) {
                          if (result.ok)
                              takeMetadata(result);
                      });
}

QCoro::Task<> GalleryClip::loadMetadata() {
    if (!isAvailable_ || metadataState_ != MetadataState::notLoaded)
        co_return;
    metadataState_ = MetadataState::loading;
    QPointer<GalleryClip> self(this);
    const QString path = path_;

    QFuture<ClipMetadataLoader::Result> first = ClipMetadataLoader::loadAsync(path, gone_);
    const ClipMetadataLoader::Result firstResult = co_await first;
    if (!self)
        co_return;
    ClipMetadataLoader::Result result = firstResult;
    while (!result.ok) {
        // Still being written? Wait until the size holds still, then read again. Sizes are read on a worker.
        bool grew = false;
        qint64 last = result.fileSize;
        qint64 now = last;
        for (int check = 0; check < kMaxSettleChecks; ++check) {
            co_await Clock::current().sleep(kSettleSeconds, this);
            if (!self)
                co_return;
            QFuture<qint64> sizing = QtConcurrent::run(currentSize, path);
            const qint64 size = co_await sizing;
            if (!self)
                co_return;
            now = size;
            if (now < 0 || now == last)
                break;
            last = now;
            grew = true;
        }
        if (!grew || now < 0)
            break;
        QFuture<ClipMetadataLoader::Result> again = ClipMetadataLoader::loadAsync(path, gone_);
        const ClipMetadataLoader::Result retried = co_await again;
        if (!self)
            co_return;
        result = retried;
    }
    showMetadata(result);
}

void GalleryClip::takeMetadata(const ClipMetadataLoader::Result& read, const QImage& cardPicture) {
    if (metadataState_ != MetadataState::notLoaded)
        return;
    cardPicture_ = cardPicture;
    showMetadata(read);
}

QImage GalleryClip::coverPicture(const QImage& picture, QSize pixels) {
    if (picture.isNull() || pixels.isEmpty())
        return {};
    // Smooth scaling is fast from 32-bit pixels; thumbnails are kept at 24 bits to save memory.
    const QImage cover = picture.convertToFormat(QImage::Format_RGB32)
                             .scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    if (cover.size() == pixels)
        return cover;
    return cover.copy(
        QRect(QPoint((cover.width() - pixels.width()) / 2, (cover.height() - pixels.height()) / 2), pixels));
}

void GalleryClip::showMetadata(const ClipMetadataLoader::Result& read) {
    if (read.ok && read.fileSize >= 0)
        fileSize_ = read.fileSize;
    thumbnail_ = read.thumbnail;
    duration_ = read.duration;
    resolution_ = read.resolution;
    metadataState_ = MetadataState::loaded;
    emit metadataChanged();
}

void GalleryClip::releasePicture() {
    if (metadataState_ != MetadataState::loaded || thumbnail_.isNull())
        return;
    thumbnail_ = QImage();
    cardPicture_ = QImage();
    metadataState_ = MetadataState::notLoaded;
    emit metadataChanged();
}

void GalleryClip::ensureSoloThumbnail() {
    if (!isAvailable_ || soloWanted_)
        return;
    soloWanted_ = true;
    if (!soloThumbnail_.isNull())
        return;
    soloRead_.watch(this, ClipMetadataLoader::loadAsync(path_, gone_, kSoloSide),
                    [this](const ClipMetadataLoader::Result& result) {
                        if (!result.ok)
                            return;
                        soloThumbnail_ = result.thumbnail;
                        emit soloThumbnailLoaded();
                    });
}

void GalleryClip::releaseSoloThumbnail() {
    soloWanted_ = false;
    soloRead_.forget();
    soloThumbnail_ = QImage();
}
