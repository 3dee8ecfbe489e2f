#include "PresetCardDelegate.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

bool PresetCardDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) {
    // Key presses reach here too: only a mouse event is read as one.
    if (event->type() != QEvent::MouseButtonRelease)
        return event->type() == QEvent::MouseButtonDblClick;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    clicked(option.rect, index, mouse->position().toPoint());
    return true;
}

QColor PresetCardDelegate::withAlpha(QColor color, double alpha) {
    color.setAlphaF(alpha);
    return color;
}

QPainterPath PresetCardDelegate::rounded(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

int PresetCardDelegate::rowWidth(const QStyleOptionViewItem& option) {
    return option.widget ? static_cast<const QAbstractItemView*>(option.widget)->viewport()->width() : 300;
}

void PresetCardDelegate::drawElided(QPainter& painter, const QRect& rect, const QString& text, const QFont& font,
                                    const QColor& color, Qt::Alignment alignment) {
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, int(alignment), QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width()));
}

void PresetCardDelegate::drawOutline(QPainter& painter, const QRectF& card, double radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(withAlpha(Qt::white, 0.1), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(rounded(card.adjusted(0.5, 0.5, -0.5, -0.5), radius));
    painter.restore();
}
