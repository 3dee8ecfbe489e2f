#include "BuiltInImagePresetCard.h"

#include "FocusRing.h"
#include "ImageTiles.h"
#include "PresetListModels.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QPainter>
#include <QPainterPath>

QRect BuiltInImagePresetCard::cardRect(const QRect& itemRect, const QModelIndex& index) {
    const int top = itemRect.top() + (index.row() == 0 ? 16 : 0);
    return QRect(itemRect.left() + 16, top, std::max(0, itemRect.width() - 32), 180 + 44);
}

QSize BuiltInImagePresetCard::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int height = 224 + (index.row() == 0 ? 16 : 0) + 16;
    return {rowWidth(option), height};
}

void BuiltInImagePresetCard::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const QRect card = cardRect(option.rect, index);
    const QRect picture(card.left(), card.top(), card.width(), 180);
    const QRect caption(card.left() + 16, card.top() + 180, std::max(0, card.width() - 32), 44);
    const QString title = index.data(PresetRoles::Title).toString();
    const QImage thumbnail = index.data(PresetRoles::Thumbnail).value<QImage>();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setClipPath(rounded(card, 16));
    painter->fillRect(picture, Qt::black);
    if (!thumbnail.isNull()) {
        painter->save();
        painter->setClipRect(picture, Qt::IntersectClip);
        paintFilled(*painter, picture, thumbnail);
        painter->restore();
    } else {
        const QColor faint = withAlpha(Qt::white, 0.5);
        const QPixmap symbol = symbolPixmap(QStringLiteral("photo"), 32, faint);
        const QFont small = Theme::font(12);
        const int textHeight = QFontMetrics(small).height();
        const int top = picture.center().y() - (32 + 8 + textHeight) / 2;
        painter->drawPixmap(picture.center().x() - 16, top, symbol);
        painter->setFont(small);
        painter->setPen(faint);
        painter->drawText(QRect(picture.left() + 8, top + 40, picture.width() - 16, picture.bottom() - top - 40),
                          Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, title);
    }
    painter->setClipping(false);
    drawElided(*painter, caption, title, Theme::font(16, QFont::DemiBold),
               Theme::color(ColorRole::contrast, option.widget));
    drawOutline(*painter, card, 16);
    FocusRing::paintItem(*painter, option, card, 16);
    painter->restore();
}

void BuiltInImagePresetCard::clicked(const QRect& itemRect, const QModelIndex& index, const QPoint& at) {
    if (cardRect(itemRect, index).contains(at))
        emit selectRequested(index);
}
