#pragma once

#include "GalleryCellModel.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QStringList>

class GalleryClip;

// The clips of the watched folder in the gallery's order, one row each. The list owns its clips: one that
// leaves it is deleted later, so a caller still holding it on the stack is safe. A clip's own changes come
// out as dataChanged() of its row with the roles they touch.
class GalleryClipModel final : public GalleryCellModel {
    Q_OBJECT
public:
    explicit GalleryClipModel(QObject* parent = nullptr);
    ~GalleryClipModel() override;

    const QList<GalleryClip*>& clips() const { return clips_; }
    int rowOfPath(const QString& path) const;
    // A view near this row asks for the clip's thumbnail, duration and size.
    void ensureMetadata(int row);
    // Off, the rows never ask their clips for pictures or timings: what the list costs without them.
    void setReadsMetadata(bool reads) { readsMetadata_ = reads; }
    bool readsMetadata() const { return readsMetadata_; }
    // While held, the rows' requests wait: a gallery nobody has seen yet decodes no pictures (and loads no
    // decoder); only what the thumbnail cache has is read. Released, the clips asked for meanwhile and still listed
    // are read.
    void holdMetadata() { metadataHeld_ = true; }
    void releaseMetadata();
    bool isMetadataHeld() const { return metadataHeld_; }
    // The files of the held clips still listed, in the order they were asked for.
    QStringList heldPaths() const;
    // The held clips take what the thumbnail cache has of them (it may have been filled meanwhile).
    void readHeldFromCache();

    // Clips outside rows [first, last] let their pictures go (GalleryClip::releasePicture), once more clips hold
    // one than fit there with some to spare.
    void keepPicturesNear(int first, int last);

    // A whole new list (a full load, a stop).
    void resetClips(QList<GalleryClip*> clips);
    void insertClip(int row, GalleryClip* clip);
    void removeClip(int row);
    // Another clip in the same row (a rename keeps the place).
    void replaceClip(int row, GalleryClip* clip);

signals:
    // The hold ended: views ask again for what they show.
    void metadataReleased();
    // Another clip waits for the hold to end.
    void metadataHeldChanged();

private:
    int cellCount() const override { return int(clips_.size()); }
    VideoGalleryItem cellAt(int row) const override { return VideoGalleryItem::video(clips_.at(row)); }
    void adopt(GalleryClip* clip);
    void release(GalleryClip* clip);
    void clipChanged(const GalleryClip* clip, const QList<int>& roles);
    // The held clips that are still alive and listed, in the order they were asked for.
    QList<GalleryClip*> liveHeldClips() const;

    QList<GalleryClip*> clips_;
    bool readsMetadata_ = true;
    bool metadataHeld_ = false;
    QList<QPointer<GalleryClip>> heldClips_;
    // The listed clips holding a picture.
    QSet<GalleryClip*> pictured_;
};
