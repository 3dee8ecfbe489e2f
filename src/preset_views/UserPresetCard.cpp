#include "UserPresetCard.h"

#include "FocusRing.h"
#include "ImageTiles.h"
#include "PresetListModels.h"
#include "PresetPictureCache.h"
#include "Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace {

void drawEllipsis(QPainter& painter, const QRect& button, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    const QPointF centre = QRectF(button).center();
    for (int i = -1; i <= 1; ++i)
        painter.drawEllipse(QPointF(centre.x() + i * 5.0, centre.y()), 1.6, 1.6);
    painter.restore();
}

} // namespace

UserPresetCard::UserPresetCard(PresetPictureCache* pictures, int spacing, bool wholeCardSelects, QObject* parent)
    : PresetCardDelegate(parent), pictures_(pictures), spacing_(spacing), wholeCardSelects_(wholeCardSelects) {}

UserPresetCard::Geometry UserPresetCard::geometry(const QRect& itemRect, const QModelIndex& index) {
    const bool first = index.row() == 0;
    const bool hasPicture = index.data(PresetRoles::HasPicture).toBool();
    const int top = itemRect.top() + (first ? kInset : 0);
    const int height = hasPicture ? kPictureHeight + kCaptionHeight : kTextRowHeight;
    Geometry g;
    g.card = QRect(itemRect.left() + kInset, top, std::max(0, itemRect.width() - 2 * kInset), height);
    if (hasPicture) {
        g.picture = QRect(g.card.left(), g.card.top(), g.card.width(), kPictureHeight);
        const QRect caption(g.card.left(), g.card.top() + kPictureHeight, g.card.width(), kCaptionHeight);
        g.menuButton = QRect(caption.right() - 16 - 28 + 1, caption.center().y() - 14 + 1, 28, 28);
        g.title = QRect(caption.left() + 16, caption.top(), std::max(0, g.menuButton.left() - 12 - caption.left() - 16),
                        kCaptionHeight);
    } else {
        g.menuButton = QRect(g.card.right() - 16 - 28 + 1, g.card.center().y() - 14 + 1, 28, 28);
        g.title = QRect(g.card.left() + 16, g.card.top() + 16,
                        std::max(0, g.menuButton.left() - 16 - g.card.left() - 16), kTextRowHeight - 32);
    }
    return g;
}

QSize UserPresetCard::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const bool hasPicture = index.data(PresetRoles::HasPicture).toBool();
    const int rows = index.model() ? index.model()->rowCount() : 1;
    int height = hasPicture ? kPictureHeight + kCaptionHeight : kTextRowHeight;
    if (index.row() == 0)
        height += kInset;
    height += index.row() == rows - 1 ? kInset : spacing_;
    return {rowWidth(option), height};
}

void UserPresetCard::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QWidget* widget = option.widget;
    const Geometry g = geometry(option.rect, index);
    const QString title = index.data(PresetRoles::Title).toString();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (!g.picture.isEmpty()) {
        painter->save();
        painter->setClipPath(rounded(g.card, 16));
        painter->fillRect(g.picture, Qt::black);
        QImage picture;
        const auto state = pictures_ ? pictures_->request(index.data(PresetRoles::Id).toUuid(),
                                                          index.data(PresetRoles::PictureData).toByteArray(), &picture)
                                     : PresetPictureCache::State::failed;
        // Still decoding, or data that does not decode: the list turns a loading ring over the black.
        if (state == PresetPictureCache::State::ready) {
            painter->setClipRect(g.picture, Qt::IntersectClip);
            paintFilled(*painter, g.picture, picture);
        }
        painter->restore();
        drawElided(*painter, g.title, title, Theme::font(16, QFont::DemiBold),
                   Theme::color(ColorRole::contrast, widget));
        drawEllipsis(*painter, g.menuButton, Theme::color(ColorRole::contrast, widget));
        drawOutline(*painter, g.card, 16);
        FocusRing::paintItem(*painter, option, g.card, 16);
    } else {
        painter->setPen(Qt::NoPen);
        painter->setBrush(withAlpha(Theme::color(ColorRole::controlBackground, widget), 0.5));
        painter->drawPath(rounded(g.card, 12));
        const QFont titleFont = Theme::font(16, QFont::DemiBold);
        const int titleHeight = QFontMetrics(titleFont).height();
        const QFont noteFont = Theme::font(12);
        const int noteHeight = QFontMetrics(noteFont).height();
        const int top = g.title.center().y() - (titleHeight + 4 + noteHeight) / 2;
        drawElided(*painter, QRect(g.title.left(), top, g.title.width(), titleHeight), title, titleFont,
                   Theme::color(ColorRole::primary, widget));
        drawElided(*painter, QRect(g.title.left(), top + titleHeight + 4, g.title.width(), noteHeight),
                   QStringLiteral("Text only preset"), noteFont, Theme::color(ColorRole::secondary, widget));
        drawEllipsis(*painter, g.menuButton, Theme::color(ColorRole::primary, widget));
        drawOutline(*painter, g.card, 12);
        FocusRing::paintItem(*painter, option, g.card, 12);
    }
    painter->restore();
}

void UserPresetCard::clicked(const QRect& itemRect, const QModelIndex& index, const QPoint& at) {
    const Geometry g = geometry(itemRect, index);
    if (g.menuButton.contains(at)) {
        emit menuRequested(index, g.card);
        return;
    }
    const bool selects = wholeCardSelects_ ? g.card.contains(at) : (g.picture.contains(at) || g.title.contains(at));
    if (selects)
        emit selectRequested(index);
}
