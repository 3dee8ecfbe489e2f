#pragma once

#include "VideoGalleryItem.h"

#include <QConcatenateTablesProxyModel>
#include <QPointer>

class GalleryClipModel;
class GalleryJobModel;
class QueueManager;
class VideoGalleryViewModel;

// The gallery grid's cells as one list: the queue's video jobs (GalleryJobModel), then the clips of the
// folder in the gallery model's order (its GalleryClipModel). Every cell answers the roles of
// VideoGalleryItem.
class VideoGalleryItemModel final : public QConcatenateTablesProxyModel {
    Q_OBJECT
public:
    using enum VideoGalleryItem::Role;

    // Either source may be missing: no jobs without a queue, no clips without a gallery model.
    VideoGalleryItemModel(VideoGalleryViewModel* gallery, QueueManager* queue, QObject* parent = nullptr);
    ~VideoGalleryItemModel() override;

    QHash<int, QByteArray> roleNames() const override;

    int placeholderCount() const;
    int rowOfId(const QUuid& id) const;
    // A card near the view asks for its clip's thumbnail, duration and size.
    void ensureMetadata(int row);
    // Clips outside rows [first, last] may let their pictures go.
    void keepPicturesNear(int first, int last);

private:
    GalleryJobModel* jobs_ = nullptr;
    QPointer<GalleryClipModel> clips_;
};
