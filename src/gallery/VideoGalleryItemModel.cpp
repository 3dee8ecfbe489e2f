#include "VideoGalleryItemModel.h"

#include "GalleryClipModel.h"
#include "GalleryJobModel.h"
#include "VideoGalleryViewModel.h"

VideoGalleryItemModel::VideoGalleryItemModel(VideoGalleryViewModel* gallery, QueueManager* queue, QObject* parent)
    : QConcatenateTablesProxyModel(parent), jobs_(new GalleryJobModel(queue, gallery, this)) {
    addSourceModel(jobs_);
    if (!gallery)
        return;
    clips_ = gallery->clipModel();
    addSourceModel(clips_);
    // The clips belong to the gallery model; when it goes first, they leave this list while they still exist.
    connect(gallery, &QObject::destroyed, this, [this] {
        if (clips_)
            removeSourceModel(clips_);
    });
}

VideoGalleryItemModel::~VideoGalleryItemModel() = default;

QHash<int, QByteArray> VideoGalleryItemModel::roleNames() const {
    return VideoGalleryItem::roleNames();
}

int VideoGalleryItemModel::placeholderCount() const {
    return jobs_->rowCount();
}

int VideoGalleryItemModel::rowOfId(const QUuid& id) const {
    if (const int job = jobs_->rowOfId(id); job >= 0)
        return job;
    const int clip = clips_ ? clips_->rowOfId(id) : -1;
    return clip >= 0 ? placeholderCount() + clip : -1;
}

void VideoGalleryItemModel::ensureMetadata(int row) {
    if (clips_)
        clips_->ensureMetadata(row - placeholderCount());
}

void VideoGalleryItemModel::keepPicturesNear(int first, int last) {
    if (clips_)
        clips_->keepPicturesNear(first - placeholderCount(), last - placeholderCount());
}
