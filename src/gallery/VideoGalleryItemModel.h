#pragma once

#include "VideoGalleryItem.h"

#include <QAbstractListModel>
#include <QList>
#include <QPointer>

class QueueManager;
class VideoGalleryViewModel;

// The gallery grid's cells as a list: the queue's running video jobs, then its waiting ones (a failed job
// in its placeholder's row until it is removed), then the clips of the folder in the gallery model's order.
// Follows both sources row by row.
class VideoGalleryItemModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        IsPlaceholderRole,
        StatusTextRole,
        FileNameRole,
        VideoItemRole, // the clip's GalleryVideoItem as a QObject*, null for a job
    };

    VideoGalleryItemModel(VideoGalleryViewModel* gallery, QueueManager* queue, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    VideoGalleryItem item(int row) const;
    int placeholderCount() const { return int(placeholders_.size()); }
    int rowOfId(const QUuid& id) const;
    // A card near the view asks for its clip's thumbnail, duration and size.
    void ensureMetadata(int row);

private:
    void rebuildPlaceholders();
    void resetVideos();
    void watchItem(GalleryVideoItem* item);
    void itemChanged(GalleryVideoItem* item);

    QPointer<VideoGalleryViewModel> gallery_;
    QPointer<QueueManager> queue_;
    QList<GenerationTask> placeholders_;
    QList<QPointer<GalleryVideoItem>> videos_;
};
