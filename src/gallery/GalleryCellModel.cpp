#include "GalleryCellModel.h"

int GalleryCellModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : cellCount();
}

QVariant GalleryCellModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    return cellAt(index.row()).data(role);
}

QHash<int, QByteArray> GalleryCellModel::roleNames() const {
    return VideoGalleryItem::roleNames();
}

int GalleryCellModel::rowOfId(const QUuid& id) const {
    for (int row = 0; row < cellCount(); ++row) {
        if (cellAt(row).id() == id)
            return row;
    }
    return -1;
}
