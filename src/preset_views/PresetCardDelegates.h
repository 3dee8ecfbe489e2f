#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class PresetPictureCache;

// Painted preset cards: only the rows a list shows are painted, and a picture is decoded when its card is
// painted, never before. Clicks come out as signals with the row's index.

// A user's own preset (image preset or prompt preset): a picture card (180 picture + 44 caption) when the
// record carries picture data, a 70-high text row ("Text only preset") otherwise; an "ellipsis" menu button.
class UserPresetCardDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    // `spacing`: the gap between two cards. `wholeCardSelects`: a click anywhere but the menu button
    // chooses the preset; otherwise only the picture and the title do.
    UserPresetCardDelegate(PresetPictureCache* pictures, int spacing, bool wholeCardSelects, QObject* parent);

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
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void selectRequested(const QModelIndex& index);
    // `anchor`: the card's rectangle in the view's viewport.
    void menuRequested(const QModelIndex& index, const QRect& anchor);

private:
    QPointer<PresetPictureCache> pictures_;
    int spacing_;
    bool wholeCardSelects_;
};

// A built-in image preset: its picture (or a "photo" placeholder with the title) above a caption row.
class BuiltInPresetCardDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static QRect cardRect(const QRect& itemRect, const QModelIndex& index);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void selectRequested(const QModelIndex& index);
};

// A preset with a preview clip (camera movement, cinematic preset): a 16:9 still (or a "video" placeholder
// with the title) above a one-line caption. The whole card takes clicks.
class ClipPresetCardDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    // `cardWidth` follows the view's width (one column, or a grid).
    ClipPresetCardDelegate(QObject* parent, int spacing, int sideInset);
    void setCardWidth(int width) { cardWidth_ = std::max(1, width); }
    int cardWidth() const { return cardWidth_; }
    QRect cardRect(const QRect& itemRect) const;
    QRect pictureRect(const QRect& itemRect) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void selectRequested(const QModelIndex& index);

private:
    int cardWidth_ = 300;
    int spacing_;
    int sideInset_;
};
