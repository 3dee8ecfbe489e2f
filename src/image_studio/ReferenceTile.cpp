#include "ReferenceTile.h"

#include "StudioWidgets.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPainterPath>

namespace {
int maxHeight(ReferenceTile::Kind kind) {
    return kind == ReferenceTile::Kind::single ? 200 : 150;
}
} // namespace

QImage ReferenceTile::thumbnailFor(const QImage& image) {
    // Tiles are at most 200 high: twice that keeps them sharp on high-density screens.
    constexpr int bound = 400;
    if (image.width() <= bound && image.height() <= bound)
        return image;
    return image.scaled(bound, bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

ReferenceTile::ReferenceTile(Kind kind, const QImage& image, const QImage& thumbnail, double scale, QWidget* parent)
    : QWidget(parent), kind_(kind), image_(image), shown_(thumbnail.isNull() ? image : thumbnail), scale_(scale) {
    setAttribute(Qt::WA_Hover);
    if (kind == Kind::adaptive) {
        const int side = int(std::max(std::min(70 * scale, 100.0), 50.0));
        setFixedSize(side, side);
    } else if (kind == Kind::flexible) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    remove_ = StudioWidgets::iconButton("removeReference", "xmark", "Remove", kind == Kind::single ? 24 : 22, this);
    download_ = StudioWidgets::iconButton("downloadReference", "square.and.arrow.down", "Save image",
                                          kind == Kind::single ? 36 : 32, this);
    remove_->hide();
    download_->hide();
    connect(remove_, &QAbstractButton::clicked, this, &ReferenceTile::removeRequested);
    connect(download_, &QAbstractButton::clicked, this, [this] { emit downloadRequested(image_); });
}

QSize ReferenceTile::sizeHint() const {
    if (kind_ == Kind::adaptive)
        return size();
    if (image_.isNull())
        return {maxHeight(kind_), maxHeight(kind_)};
    const int height = std::min(maxHeight(kind_), image_.height());
    return {std::max(1, image_.width() * height / std::max(1, image_.height())), height};
}

QRect ReferenceTile::pictureRect() const {
    if (kind_ == Kind::adaptive || image_.isNull())
        return rect();
    const QSize fitted = image_.size().scaled(QSize(width(), std::min(height(), maxHeight(kind_))), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

void ReferenceTile::resizeEvent(QResizeEvent*) {
    const QRect picture = pictureRect();
    const int padding = kind_ == Kind::single ? 8 : kind_ == Kind::flexible ? 6 : 4;
    remove_->move(picture.right() - remove_->width() - padding + 1, picture.top() + padding);
    download_->move(picture.center() - QPoint(download_->width() / 2, download_->height() / 2));
}

void ReferenceTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect picture = pictureRect();
    QPainterPath clip;
    clip.addRoundedRect(picture, kind_ == Kind::single ? 12 : 8, kind_ == Kind::single ? 12 : 8);
    painter.setClipPath(clip);
    if (kind_ == Kind::adaptive) {
        // Filled into the square, cropped, never letterboxed.
        const QSize filled = shown_.size().scaled(picture.size(), Qt::KeepAspectRatioByExpanding);
        painter.drawImage(QRect(picture.center() - QPoint(filled.width() / 2, filled.height() / 2), filled), shown_);
    } else {
        painter.drawImage(picture, shown_);
    }
}

void ReferenceTile::enterEvent(QEnterEvent*) {
    setHovered(true);
}

void ReferenceTile::leaveEvent(QEvent*) {
    setHovered(false);
}

void ReferenceTile::setHovered(bool hovered) {
    hovered_ = hovered;
    remove_->setVisible(hovered);
    download_->setVisible(hovered);
}
