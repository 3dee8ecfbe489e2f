#pragma once

#include "PresetCardDelegate.h"

#include <QPointer>

class PresetPictureCache;

// The card of a user's own preset, an image preset or a prompt preset: a picture card (180 picture + 44
// caption) when the record carries picture data, a 70-high text row ("Text only preset") otherwise; an
// "ellipsis" menu button.
class UserPresetCard final : public PresetCardDelegate {
    Q_OBJECT
public:
    // `spacing`: the gap between two cards. `wholeCardSelects`: a click anywhere but the menu button
    // chooses the preset; otherwise only the picture and the title do.
    UserPresetCard(PresetPictureCache* pictures, int spacing, bool wholeCardSelects, QObject* parent);

    struct Geometry {
        QRect card;
        QRect picture; // empty for a text row
        QRect title;
        QRect menuButton;
    };
    static Geometry geometry(const QRect& itemRect, const QModelIndex& index);

    static constexpr int kPictureHeight = 180;
    static constexpr int kCaptionHeight = 44;
    static constexpr int kTextRowHeight = 70;
    static constexpr int kInset = 16;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

signals:
    // `anchor`: the card's rectangle in the view's viewport.
    void menuRequested(const QModelIndex& index, const QRect& anchor);

protected:
    void clicked(const QRect& itemRect, const QModelIndex& index, const QPoint& at) override;

private:
    QPointer<PresetPictureCache> pictures_;
    int spacing_;
    bool wholeCardSelects_;
};

// The card of one of the user's own image presets in the image presets panel.
using ImagePresetCard = UserPresetCard;
