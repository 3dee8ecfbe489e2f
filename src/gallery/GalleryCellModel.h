#pragma once

#include "VideoGalleryItem.h"

#include <QAbstractListModel>

// A flat list of gallery cells: each row is one VideoGalleryItem and answers its roles.
class GalleryCellModel : public QAbstractListModel {
    Q_OBJECT
public:
    using enum VideoGalleryItem::Role;
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const final;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const final;
    QHash<int, QByteArray> roleNames() const final;
    // The row of the clip or job with this id; -1 when there is none.
    int rowOfId(const QUuid& id) const;

protected:
    virtual int cellCount() const = 0;
    virtual VideoGalleryItem cellAt(int row) const = 0;
};
