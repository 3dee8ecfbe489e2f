#include "CinematicPresetCard.h"

#include "FocusRing.h"
#include "ImageTiles.h"
#include "PresetListModels.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QPainter>
#include <QPainterPath>

CinematicPresetCard::CinematicPresetCard(QObject* parent, int spacing, int sideInset)
    : PresetCardDelegate(parent), spacing_(spacing), sideInset_(sideInset) {}

int CinematicPresetCard::cardHeight() const {
    return cardWidth_ * 9 / 16 + 8 + QFontMetrics(Theme::font(10, QFont::Medium)).height();
}

QRect CinematicPresetCard::cardRect(const QRect& itemRect, int row) const {
    const int top = itemRect.top() + (sideInset_ > 0 && row == 0 ? sideInset_ : 0);
    return QRect(itemRect.left() + sideInset_, top, cardWidth_, cardHeight());
}

QRect CinematicPresetCard::pictureRect(const QRect& itemRect, int row) const {
    const QRect card = cardRect(itemRect, row);
    return QRect(card.left(), card.top(), card.width(), cardWidth_ * 9 / 16);
}

QSize CinematicPresetCard::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    // In a column the gap after the last card is the bottom inset (both 16).
    const int before = sideInset_ > 0 && index.row() == 0 ? sideInset_ : 0;
    return {cardWidth_ + 2 * sideInset_, before + cardHeight() + spacing_};
}

void CinematicPresetCard::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QRect card = cardRect(option.rect, index.row());
    const QRect picture = pictureRect(option.rect, index.row());
    const QString title = index.data(PresetRoles::Title).toString();
    const QImage thumbnail = index.data(PresetRoles::Thumbnail).value<QImage>();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = rounded(picture, 12);
    painter->fillPath(shape, Qt::black);
    painter->save();
    painter->setClipPath(shape);
    if (!thumbnail.isNull()) {
        paintFilled(*painter, picture, thumbnail);
    } else {
        const QColor faint = withAlpha(Qt::white, 0.7);
        const QFont small = Theme::font(10);
        const QRect inner = picture.adjusted(8, 8, -8, -8);
        const int textHeight = QFontMetrics(small).height() * 2;
        const int top = inner.center().y() - (20 + 8 + textHeight) / 2;
        painter->drawPixmap(inner.center().x() - 10, top, symbolPixmap(QStringLiteral("video"), 20, faint));
        painter->setFont(small);
        painter->setPen(faint);
        const QRect text(inner.left(), top + 28, inner.width(), textHeight);
        painter->drawText(text, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, title);
    }
    painter->restore();
    const QFont captionFont = Theme::font(10, QFont::Medium);
    const QRect caption(card.left(), picture.bottom() + 1 + 8, card.width(), QFontMetrics(captionFont).height());
    drawElided(*painter, caption, title, captionFont, Theme::color(ColorRole::primary, option.widget), Qt::AlignCenter);
    FocusRing::paintItem(*painter, option, picture, 12);
    painter->restore();
}

void CinematicPresetCard::clicked(const QRect& itemRect, const QModelIndex& index, const QPoint& at) {
    if (cardRect(itemRect, index.row()).contains(at))
        emit selectRequested(index);
}
