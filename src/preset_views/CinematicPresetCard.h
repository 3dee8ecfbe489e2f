#pragma once

#include "PresetCardDelegate.h"

#include <algorithm>

// The card of a preset with a preview clip, a cinematic preset or a camera movement: a 16:9 still (or a
// "video" placeholder with the title) above a one-line caption. The whole card takes clicks; its list plays
// the clip over the still while the pointer rests on it.
class CinematicPresetCard final : public PresetCardDelegate {
    Q_OBJECT
public:
    // A column (`sideInset` > 0): the cards `spacing` apart, `sideInset` around the first and after the last.
    // A grid (`sideInset` 0): each cell is a card and the gap below it; the view's margins do the rest.
    CinematicPresetCard(QObject* parent, int spacing, int sideInset);
    // `cardWidth` follows the view's width (one column, or a grid).
    void setCardWidth(int width) { cardWidth_ = std::max(1, width); }
    int cardWidth() const { return cardWidth_; }
    QRect cardRect(const QRect& itemRect, int row) const;
    QRect pictureRect(const QRect& itemRect, int row) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void clicked(const QRect& itemRect, const QModelIndex& index, const QPoint& at) override;

private:
    int cardHeight() const;

    int cardWidth_ = 300;
    int spacing_;
    int sideInset_;
};

// The card of a camera movement in the prompt presets panel.
using CameraMovementCard = CinematicPresetCard;
