#pragma once

#include "VideoGalleryItem.h"

#include <QAbstractListModel>
#include <QList>

class GalleryClip;

// The clips of the watched folder in the gallery's order, one row each. The list owns its clips: one that
// leaves it is deleted later, so a caller still holding it on the stack is safe. A clip's own changes come
// out as dataChanged() of its row with the roles they touch.
class GalleryClipModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using enum VideoGalleryItem::Role;

    explicit GalleryClipModel(QObject* parent = nullptr);
    ~GalleryClipModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<GalleryClip*>& clips() const { return clips_; }
    int rowOfPath(const QString& path) const;
    int rowOfId(const QUuid& id) const;
    // A view near this row asks for the clip's thumbnail, duration and size.
    void ensureMetadata(int row);

    // A whole new list (a full load, a stop).
    void resetClips(QList<GalleryClip*> clips);
    void insertClip(int row, GalleryClip* clip);
    void removeClip(int row);
    // Another clip in the same row (a rename keeps the place).
    void replaceClip(int row, GalleryClip* clip);

private:
    void adopt(GalleryClip* clip);
    void release(GalleryClip* clip);
    void clipChanged(const GalleryClip* clip, const QList<int>& roles);

    QList<GalleryClip*> clips_;
};
