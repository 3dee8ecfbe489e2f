#include "PresetCardDelegates.h"

#include "ImageTiles.h"
#include "PresetListModels.h"
#include "PresetPictureCache.h"
#include "Spinner.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(alpha);
    return color;
}

QPainterPath rounded(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

const QWidget* widgetOf(const QStyleOptionViewItem& option) {
    return option.widget;
}

bool isLeftRelease(QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
}

QPoint positionOf(QEvent* event) {
    return static_cast<QMouseEvent*>(event)->position().toPoint();
}

void drawElided(QPainter& painter, const QRect& rect, const QString& text, const QFont& font, const QColor& color,
                Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, int(alignment), QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width()));
}

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

void drawOutline(QPainter& painter, const QRectF& card, double radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(withAlpha(Qt::white, 0.1), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(rounded(card.adjusted(0.5, 0.5, -0.5, -0.5), radius));
    painter.restore();
}

} // namespace

// ---- UserPresetCardDelegate

UserPresetCardDelegate::UserPresetCardDelegate(PresetPictureCache* pictures, int spacing, bool wholeCardSelects,
                                               QObject* parent)
    : QStyledItemDelegate(parent), pictures_(pictures), spacing_(spacing), wholeCardSelects_(wholeCardSelects) {}

UserPresetCardDelegate::Geometry UserPresetCardDelegate::geometry(const QRect& itemRect, const QModelIndex& index) {
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

QSize UserPresetCardDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const bool hasPicture = index.data(PresetRoles::HasPicture).toBool();
    const int rows = index.model() ? index.model()->rowCount() : 1;
    int height = hasPicture ? kPictureHeight + kCaptionHeight : kTextRowHeight;
    if (index.row() == 0)
        height += kInset;
    height += index.row() == rows - 1 ? kInset : spacing_;
    const int width = option.widget ? static_cast<const QAbstractItemView*>(option.widget)->viewport()->width() : 300;
    return {width, height};
}

void UserPresetCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const QWidget* widget = widgetOf(option);
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
        if (state == PresetPictureCache::State::ready) {
            painter->setClipRect(g.picture, Qt::IntersectClip);
            paintFilled(*painter, g.picture, picture);
        } else {
            // Still decoding, or data that does not decode: the spinner stays, standing still (a delegate
            // repaints only when its row changes).
            const QRectF spinner(QRectF(g.picture).center() - QPointF(17.7, 17.7), QSizeF(35.4, 35.4));
            paintSpinner(*painter, spinner, {SpinnerLook::Style::arc, Qt::white, 3, 0.25});
        }
        painter->restore();
        drawElided(*painter, g.title, title, Theme::font(16, QFont::DemiBold),
                   Theme::color(ColorRole::contrast, widget));
        drawEllipsis(*painter, g.menuButton, Theme::color(ColorRole::contrast, widget));
        drawOutline(*painter, g.card, 16);
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
    }
    painter->restore();
}

bool UserPresetCardDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) {
    if (!isLeftRelease(event))
        return event->type() == QEvent::MouseButtonDblClick;
    const Geometry g = geometry(option.rect, index);
    const QPoint at = positionOf(event);
    if (g.menuButton.contains(at)) {
        emit menuRequested(index, g.card);
        return true;
    }
    const bool selects = wholeCardSelects_ ? g.card.contains(at) : (g.picture.contains(at) || g.title.contains(at));
    if (selects)
        emit selectRequested(index);
    return true;
}

// ---- BuiltInPresetCardDelegate

QRect BuiltInPresetCardDelegate::cardRect(const QRect& itemRect, const QModelIndex& index) {
    const int top = itemRect.top() + (index.row() == 0 ? 16 : 0);
    return QRect(itemRect.left() + 16, top, std::max(0, itemRect.width() - 32), 180 + 44);
}

QSize BuiltInPresetCardDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int height = 224 + (index.row() == 0 ? 16 : 0) + 16;
    const int width = option.widget ? static_cast<const QAbstractItemView*>(option.widget)->viewport()->width() : 300;
    return {width, height};
}

void BuiltInPresetCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
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
    painter->restore();
}

bool BuiltInPresetCardDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) {
    if (!isLeftRelease(event))
        return event->type() == QEvent::MouseButtonDblClick;
    if (cardRect(option.rect, index).contains(positionOf(event)))
        emit selectRequested(index);
    return true;
}

// ---- ClipPresetCardDelegate

ClipPresetCardDelegate::ClipPresetCardDelegate(QObject* parent, int spacing, int sideInset)
    : QStyledItemDelegate(parent), spacing_(spacing), sideInset_(sideInset) {}

QRect ClipPresetCardDelegate::cardRect(const QRect& itemRect) const {
    const int pictureHeight = cardWidth_ * 9 / 16;
    const int captionHeight = QFontMetrics(Theme::font(10, QFont::Medium)).height();
    return QRect(itemRect.left() + sideInset_, itemRect.top() + spacing_ / 2, cardWidth_,
                 pictureHeight + 8 + captionHeight);
}

QRect ClipPresetCardDelegate::pictureRect(const QRect& itemRect) const {
    const QRect card = cardRect(itemRect);
    return QRect(card.left(), card.top(), card.width(), cardWidth_ * 9 / 16);
}

QSize ClipPresetCardDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    const QRect card = cardRect(QRect());
    return {card.width() + 2 * sideInset_, card.height() + spacing_};
}

void ClipPresetCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const QRect card = cardRect(option.rect);
    const QRect picture = pictureRect(option.rect);
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
    painter->restore();
}

bool ClipPresetCardDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) {
    if (!isLeftRelease(event))
        return event->type() == QEvent::MouseButtonDblClick;
    if (cardRect(option.rect).contains(positionOf(event)))
        emit selectRequested(index);
    return true;
}
