#pragma once

#include "PresetCardDelegate.h"

// The card of a built-in image preset: its picture (or a "photo" placeholder with the title) above a
// caption row. The whole card takes clicks.
class BuiltInImagePresetCard final : public PresetCardDelegate {
    Q_OBJECT
public:
    using PresetCardDelegate::PresetCardDelegate;
    static QRect cardRect(const QRect& itemRect, const QModelIndex& index);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void clicked(const QRect& itemRect, const QModelIndex& index, const QPoint& at) override;
};
