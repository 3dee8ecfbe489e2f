#include "GalleryClipModel.h"

#include "GalleryClip.h"

#include <algorithm>
#include <utility>

GalleryClipModel::GalleryClipModel(QObject* parent) : GalleryCellModel(parent) {}

GalleryClipModel::~GalleryClipModel() = default;

int GalleryClipModel::rowOfPath(const QString& path) const {
    for (int row = 0; row < clips_.size(); ++row) {
        if (clips_[row]->path() == path)
            return row;
    }
    return -1;
}

void GalleryClipModel::ensureMetadata(int row) {
    if (!readsMetadata_ || row < 0 || row >= clips_.size())
        return;
    if (metadataHeld_) {
        if (!heldClips_.contains(clips_[row])) {
            heldClips_.append(clips_[row]);
            clips_[row]->readCachedMetadata();
            emit metadataHeldChanged();
        }
        return;
    }
    clips_[row]->ensureMetadata();
}

QList<GalleryClip*> GalleryClipModel::liveHeldClips() const {
    QList<GalleryClip*> live;
    for (const QPointer<GalleryClip>& clip : heldClips_) {
        if (clip && clips_.contains(clip.data()))
            live << clip.data();
    }
    return live;
}

QStringList GalleryClipModel::heldPaths() const {
    QStringList paths;
    for (const GalleryClip* clip : liveHeldClips())
        paths << clip->path();
    return paths;
}

void GalleryClipModel::readHeldFromCache() {
    for (GalleryClip* clip : liveHeldClips())
        clip->readCachedMetadata();
}

void GalleryClipModel::releaseMetadata() {
    if (!metadataHeld_)
        return;
    metadataHeld_ = false;
    const QList<GalleryClip*> held = liveHeldClips();
    heldClips_.clear();
    for (GalleryClip* clip : held)
        clip->ensureMetadata();
    emit metadataReleased();
}

void GalleryClipModel::keepPicturesNear(int first, int last) {
    // Some to spare, so scrolling back and forth does not read the same pictures again and again.
    constexpr int kSpare = 24;
    if (pictured_.size() <= std::max(0, last - first + 1) + kSpare)
        return;
    QList<GalleryClip*> far;
    for (GalleryClip* clip : std::as_const(pictured_)) {
        const qsizetype row = clips_.indexOf(clip);
        if (row < first || row > last)
            far << clip;
    }
    for (GalleryClip* clip : std::as_const(far))
        clip->releasePicture();
}

void GalleryClipModel::adopt(GalleryClip* clip) {
    clip->setParent(this);
    if (clip->holdsPicture())
        pictured_.insert(clip);
    connect(clip, &GalleryClip::metadataChanged, this, [this, clip] {
        if (clip->holdsPicture())
            pictured_.insert(clip);
        else
            pictured_.remove(clip);
        clipChanged(clip, {Qt::DecorationRole, MetadataLoadedRole});
    });
    connect(clip, &GalleryClip::soloThumbnailLoaded, this, [this, clip] { clipChanged(clip, {SoloThumbnailRole}); });
    connect(clip, &GalleryClip::recordChanged, this, [this, clip] {
        clipChanged(clip, {Qt::DisplayRole, OverlayRole});
    });
}

void GalleryClipModel::release(GalleryClip* clip) {
    pictured_.remove(clip);
    disconnect(clip, nullptr, this, nullptr);
    // Out of the list, out of the preview.
    clip->setIsHovered(false);
    clip->deleteLater();
}

void GalleryClipModel::clipChanged(const GalleryClip* clip, const QList<int>& roles) {
    const int row = int(clips_.indexOf(clip));
    if (row < 0)
        return;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, roles);
}

void GalleryClipModel::resetClips(QList<GalleryClip*> clips) {
    beginResetModel();
    const QList<GalleryClip*> old = std::exchange(clips_, std::move(clips));
    for (GalleryClip* clip : std::as_const(clips_))
        adopt(clip);
    endResetModel();
    for (GalleryClip* clip : old)
        release(clip);
}

void GalleryClipModel::insertClip(int row, GalleryClip* clip) {
    beginInsertRows({}, row, row);
    clips_.insert(row, clip);
    adopt(clip);
    endInsertRows();
}

void GalleryClipModel::removeClip(int row) {
    beginRemoveRows({}, row, row);
    GalleryClip* clip = clips_.takeAt(row);
    endRemoveRows();
    release(clip);
}

void GalleryClipModel::replaceClip(int row, GalleryClip* clip) {
    GalleryClip* old = std::exchange(clips_[row], clip);
    adopt(clip);
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed);
    release(old);
}
