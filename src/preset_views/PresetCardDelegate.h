#pragma once

#include <QStyledItemDelegate>

class QPainterPath;

// Painted preset cards: only the rows a list shows are painted, and a picture is decoded when its card is
// painted, never before. A left click comes to `clicked` with where it landed; double clicks are swallowed so
// that they never start an editor. Clicks come out as signals with the row's index.
class PresetCardDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) final;

signals:
    void selectRequested(const QModelIndex& index);

protected:
    using QStyledItemDelegate::QStyledItemDelegate;
    // A left click released at `at` over the row of `index`, drawn in `itemRect`.
    virtual void clicked(const QRect& itemRect, const QModelIndex& index, const QPoint& at) = 0;

    // What the cards draw alike.
    static QColor withAlpha(QColor color, double alpha);
    static QPainterPath rounded(const QRectF& rect, double radius);
    // The width of the list's viewport, which every card row spans.
    static int rowWidth(const QStyleOptionViewItem& option);
    static void drawElided(QPainter& painter, const QRect& rect, const QString& text, const QFont& font,
                           const QColor& color, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
    // The faint 1-pixel white outline around a card.
    static void drawOutline(QPainter& painter, const QRectF& card, double radius);
};
