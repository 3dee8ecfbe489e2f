#include "ImageTiles.h"

#include "FocusRing.h"
#include "Glass.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QApplication>
#include <QEasingCurve>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace {
// The ease-out timing curve of the fades.
QEasingCurve easeOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

struct ShadowSpec {
    QColor color;
    double radius;
    QPointF offset;
};

ShadowSpec shadowFor(TileRoundButton::Look look) {
    return look == TileRoundButton::Look::dark ? ShadowSpec{withOpacity(Qt::black, 0.3), 3, QPointF(0, 2)}
                                               : ShadowSpec{withOpacity(Qt::black, 0.1), 2, QPointF(0, 1)};
}

// Tiles that share a row: smaller corners and buttons, taking the width they are offered.
ImageTile::Metrics compactMetrics(double maxHeight) {
    ImageTile::Metrics m;
    m.maxHeight = maxHeight;
    m.cornerRadius = 8;
    m.removePadding = 6;
    m.removeDiameter = 22;
    m.removeSymbolSize = 11;
    m.downloadDiameter = 32;
    m.downloadSymbolSize = 18;
    m.expanding = true;
    return m;
}

double finiteOr(double value, double fallback) {
    return std::isfinite(value) ? value : fallback;
}
} // namespace

void paintFilled(QPainter& painter, const QRectF& target, const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0 || !(target.width() > 0) || !(target.height() > 0))
        return;
    const QSizeF fill = QSizeF(image.size()).scaled(target.size(), Qt::KeepAspectRatioByExpanding);
    if (!(fill.width() > 0) || !(fill.height() > 0))
        return;
    const double sx = image.width() / fill.width();
    const double sy = image.height() / fill.height();
    const QRectF source((fill.width() - target.width()) / 2 * sx, (fill.height() - target.height()) / 2 * sy,
                        target.width() * sx, target.height() * sy);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image, source);
    painter.restore();
}

TileRoundButton::TileRoundButton(const QString& symbol, Look look, double diameter, double symbolSize, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), look_(look), diameter_(diameter), symbolSize_(symbolSize) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    resize(sizeHint());
    FocusRing::track();
}

int TileRoundButton::shadowMargin() const {
    const ShadowSpec shadow = shadowFor(look_);
    return int(std::ceil(shadow.radius + std::max(std::abs(shadow.offset.x()), std::abs(shadow.offset.y()))));
}

QSize TileRoundButton::sizeHint() const {
    const int side = int(std::ceil(diameter_)) + 2 * shadowMargin();
    return {side, side};
}

void TileRoundButton::setReveal(double reveal, bool scales) {
    reveal_ = std::clamp(reveal, 0.0, 1.0);
    scales_ = scales;
    update();
}

void TileRoundButton::keyPressEvent(QKeyEvent* event) {
    // Return acts as Space does (the button's own key): a round button has no default-button role to lose.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

bool TileRoundButton::hitButton(const QPoint& pos) const {
    const QPointF centre = QRectF(rect()).center();
    const QPointF d = QPointF(pos) + QPointF(0.5, 0.5) - centre;
    return std::hypot(d.x(), d.y()) <= diameter_ * drawnScale() / 2;
}

void TileRoundButton::paintEvent(QPaintEvent*) {
    if (reveal_ <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(reveal_);
    const QPointF centre = QRectF(rect()).center();
    const double scale = drawnScale();
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
    const QRectF circle(centre.x() - diameter_ / 2, centre.y() - diameter_ / 2, diameter_, diameter_);
    QPainterPath path;
    path.addEllipse(circle);
    const ShadowSpec shadow = shadowFor(look_);
    paintShadow(painter, path, shadow.color, shadow.radius, shadow.offset);
    const ColorScheme scheme = colorSchemeOf(this);
    QColor symbolColor;
    if (look_ == Look::dark) {
        painter.fillPath(path, withOpacity(Qt::black, 0.6));
        symbolColor = Qt::white;
    } else {
        paintMaterial(painter, path, Material::regular, scheme);
        symbolColor = Theme::color(ColorRole::primary, scheme);
    }
    const QPixmap pixmap = symbolPixmap(symbol_, symbolSize_, symbolColor, devicePixelRatioF());
    const QRectF target(centre.x() - symbolSize_ / 2, centre.y() - symbolSize_ / 2, symbolSize_, symbolSize_);
    painter.drawPixmap(target, pixmap, QRectF(pixmap.rect()));
    if (FocusRing::shows(this))
        FocusRing::paint(painter, circle, -1, this);
}

ImageTile::ImageTile(const QImage& image, const Metrics& metrics, QWidget* parent)
    : QWidget(parent), image_(image), fade_(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_Hover);
    fade_->setDuration(fadeMilliseconds);
    fade_->setEasingCurve(easeOut());
    connect(fade_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setReveal(value.toDouble()); });
    connect(fade_, &QVariantAnimation::finished, this, [this] {
        if (!shown_)
            dropButtons();
    });
    setMetrics(metrics);
}

void ImageTile::setMetrics(const Metrics& metrics) {
    metrics_ = metrics;
    if (metrics_.side > 0)
        setFixedSize(int(std::lround(metrics_.side)), int(std::lround(metrics_.side)));
    else
        setSizePolicy(metrics_.expanding ? QSizePolicy::Expanding : QSizePolicy::Maximum, QSizePolicy::Preferred);
    if (remove_) {
        // Sizes changed: build the buttons anew.
        dropButtons();
        if (shown_) {
            createButtons();
            setReveal(reveal_);
        }
    }
    cache_ = {};
    updateGeometry();
    placeButtons();
    update();
}

double ImageTile::aspectRatio() const {
    if (image_.isNull() || image_.width() <= 0 || image_.height() <= 0)
        return 1.0;
    const double ratio = double(image_.width()) / double(image_.height());
    return std::isfinite(ratio) && ratio > 0 ? ratio : 1.0;
}

QSize ImageTile::sizeHint() const {
    if (metrics_.side > 0)
        return {int(std::lround(metrics_.side)), int(std::lround(metrics_.side))};
    const double height = finiteOr(metrics_.maxHeight, 200);
    return {int(std::ceil(height * aspectRatio())), int(std::ceil(height))};
}

QSize ImageTile::minimumSizeHint() const {
    if (metrics_.side > 0)
        return sizeHint();
    return {16, 16};
}

bool ImageTile::hasHeightForWidth() const {
    return metrics_.side <= 0;
}

int ImageTile::heightForWidth(int width) const {
    if (metrics_.side > 0)
        return int(std::lround(metrics_.side));
    return int(std::ceil(std::min(metrics_.maxHeight, double(std::max(0, width)) / aspectRatio())));
}

QRectF ImageTile::pictureRect() const {
    if (metrics_.side > 0)
        return QRectF(0, 0, metrics_.side, metrics_.side);
    const double aspect = aspectRatio();
    const double h = std::max(0.0, std::min({metrics_.maxHeight, double(height()), double(width()) / aspect}));
    const double w = h * aspect;
    return QRectF((width() - w) / 2, (height() - h) / 2, w, h);
}

void ImageTile::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeButtons();
}

void ImageTile::paintEvent(QPaintEvent*) {
    const QRectF picture = pictureRect();
    if (picture.isEmpty() || image_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double dpr = devicePixelRatioF();
    const QSize pixels(std::max(1, int(std::lround(picture.width() * dpr))),
                       std::max(1, int(std::lround(picture.height() * dpr))));
    if (cache_.isNull() || cacheSize_ != pixels) {
        QImage source = image_;
        if (metrics_.side > 0 && image_.width() != image_.height()) {
            // Fill the square: crop the centre of the longer side.
            const int side = std::min(image_.width(), image_.height());
            source = image_.copy((image_.width() - side) / 2, (image_.height() - side) / 2, side, side);
        }
        // A one-bit, grey or palette picture scaled as it is comes out as dots: scale it in 32 bits.
        if (source.depth() < 32)
            source = source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                     : QImage::Format_RGB32);
        cache_ = QPixmap::fromImage(source.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        cacheSize_ = pixels;
    }
    painter.setClipPath(continuousRoundedRect(picture, metrics_.side > 0 ? 8 : metrics_.cornerRadius));
    painter.drawPixmap(picture, cache_, QRectF(cache_.rect()));
}

void ImageTile::enterEvent(QEnterEvent* event) {
    setHovered(true);
    QWidget::enterEvent(event);
}

void ImageTile::leaveEvent(QEvent* event) {
    setHovered(false);
    QWidget::leaveEvent(event);
}

void ImageTile::setHovered(bool hovered) {
    if (hovered_ == hovered)
        return;
    hovered_ = hovered;
    updateShown();
}

void ImageTile::setKeyboardReachable(bool reachable) {
    keyboardReachable_ = reachable;
    if (remove_)
        makeButtonsReachable();
    updateFocusPolicy();
}

void ImageTile::makeButtonsReachable() {
    for (TileRoundButton* button : {remove_.data(), download_.data()}) {
        button->setFocusPolicy(keyboardReachable_ ? Qt::TabFocus : Qt::NoFocus);
        button->installEventFilter(this);
    }
    if (keyboardReachable_) {
        // Right after the tile in the Tab order, while the tile is still a stop to order them from.
        setFocusPolicy(Qt::TabFocus);
        setTabOrder(this, remove_);
        setTabOrder(remove_, download_);
    }
}

void ImageTile::updateFocusPolicy() {
    // A Tab stop only while the buttons are away: once they are there, they are the stops.
    setFocusPolicy(keyboardReachable_ && !remove_ ? Qt::TabFocus : Qt::NoFocus);
}

void ImageTile::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    focusInside_ = true;
    updateShown();
    // Coming back with Shift+Tab lands on the last button, as it would on the last control of a group.
    TileRoundButton* target = event->reason() == Qt::BacktabFocusReason ? download_.data() : remove_.data();
    if (target)
        target->setFocus(event->reason());
}

bool ImageTile::eventFilter(QObject* watched, QEvent* event) {
    if (watched == remove_.data() || watched == download_.data()) {
        if (event->type() == QEvent::FocusIn) {
            focusInside_ = true;
            updateShown();
        } else if (event->type() == QEvent::FocusOut) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            // The window losing the focus, or a menu taking it for a while, gives it back to the same button.
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                QWidget* now = QApplication::focusWidget();
                focusInside_ = now && (now == remove_.data() || now == download_.data());
                updateShown();
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ImageTile::updateShown() {
    const bool shown = hovered_ || focusInside_;
    if (shown_ == shown)
        return;
    shown_ = shown;
    if (shown)
        createButtons();
    for (TileRoundButton* button : {remove_.data(), download_.data()}) {
        if (button) {
            // A fading-out button is still drawn but takes no click.
            button->setAttribute(Qt::WA_TransparentForMouseEvents, !shown);
            button->setEnabled(shown);
        }
    }
    fade_->stop();
    fade_->setStartValue(reveal_);
    fade_->setEndValue(shown ? 1.0 : 0.0);
    fade_->start();
}

void ImageTile::setReveal(double reveal) {
    reveal_ = reveal;
    for (TileRoundButton* button : {remove_.data(), download_.data()}) {
        if (button)
            button->setReveal(reveal, button == remove_ && metrics_.removeScales);
    }
}

void ImageTile::createButtons() {
    if (!remove_) {
        remove_ = new TileRoundButton(QStringLiteral("xmark"), metrics_.removeLook, metrics_.removeDiameter,
                                      metrics_.removeSymbolSize, this);
        remove_->setObjectName(QStringLiteral("removeImageButton"));
        remove_->setAccessibleName(QStringLiteral("Remove"));
        remove_->setToolTip(QStringLiteral("Remove"));
        connect(remove_, &QAbstractButton::clicked, this, &ImageTile::removeRequested);
    }
    if (!download_) {
        download_ = new TileRoundButton(QStringLiteral("square.and.arrow.down"), TileRoundButton::Look::material,
                                        metrics_.downloadDiameter, metrics_.downloadSymbolSize, this);
        download_->setObjectName(QStringLiteral("downloadImageButton"));
        download_->setAccessibleName(QStringLiteral("Download"));
        download_->setToolTip(QStringLiteral("Download"));
        connect(download_, &QAbstractButton::clicked, this, [this] { emit downloadRequested(image_); });
    }
    setReveal(reveal_);
    // Above the rest, Remove before Download: the order a screen reader lists them in and Tab walks them.
    remove_->raise();
    download_->raise();
    placeButtons();
    remove_->show();
    download_->show();
    makeButtonsReachable();
    updateFocusPolicy();
}

void ImageTile::dropButtons() {
    for (TileRoundButton* button : {remove_.data(), download_.data()}) {
        if (button) {
            button->hide();
            button->deleteLater();
        }
    }
    remove_.clear();
    download_.clear();
    updateFocusPolicy();
}

void ImageTile::placeButtons() {
    const QRectF picture = pictureRect();
    if (remove_) {
        const double d = metrics_.removeDiameter;
        const QPointF centre(picture.right() - metrics_.removePadding - d / 2,
                             picture.top() + metrics_.removePadding + d / 2);
        const QSize size = remove_->sizeHint();
        remove_->setGeometry(QRect(QPoint(int(std::lround(centre.x() - size.width() / 2.0)),
                                          int(std::lround(centre.y() - size.height() / 2.0))),
                                   size));
    }
    if (download_) {
        const QSize size = download_->sizeHint();
        download_->setGeometry(QRect(QPoint(int(std::lround(picture.center().x() - size.width() / 2.0)),
                                            int(std::lround(picture.center().y() - size.height() / 2.0))),
                                     size));
    }
    if (remove_ && download_) {
        // Remove lies over Download where they meet: Download gives that part up (to the eye and to the pointer)
        // rather than being stacked under it.
        const QRegion overlap = QRegion(remove_->geometry(), QRegion::Ellipse).translated(-download_->pos());
        if (overlap.intersects(download_->rect()))
            download_->setMask(QRegion(download_->rect()) - overlap);
        else
            download_->clearMask();
    }
}

ImageTile::Metrics SingleImageView::metricsFor() {
    return {};
}

SingleImageView::SingleImageView(const QImage& image, QWidget* parent) : ImageTile(image, metricsFor(), parent) {
    setObjectName(QStringLiteral("referenceImageTile"));
}

ImageTile::Metrics FlexibleImageView::metricsFor() {
    return compactMetrics(150);
}

FlexibleImageView::FlexibleImageView(const QImage& image, QWidget* parent) : ImageTile(image, metricsFor(), parent) {
    setObjectName(QStringLiteral("referenceImageTile"));
}

ImageTile::Metrics AdaptiveImageThumbnailView::metricsFor(double scale) {
    const double k = std::isfinite(scale) && scale > 0 ? scale : 1.0;
    Metrics m;
    m.side = std::max(std::min(70 * k, 100.0), 50.0);
    m.maxHeight = m.side;
    m.cornerRadius = 8;
    m.removePadding = 4;
    m.removeDiameter = std::max(std::min(18 * k, 22.0), 16.0);
    m.removeSymbolSize = 10 * k;
    m.downloadDiameter = std::max(std::min(25 * k, 28.0), 22.0);
    m.downloadSymbolSize = 16 * k;
    return m;
}

AdaptiveImageThumbnailView::AdaptiveImageThumbnailView(const QImage& image, double scale, QWidget* parent)
    : ImageTile(image, metricsFor(scale), parent), scale_(scale) {
    setObjectName(QStringLiteral("referenceImageTile"));
}

void AdaptiveImageThumbnailView::setScale(double scale) {
    if (scale == scale_)
        return;
    scale_ = scale;
    setMetrics(metricsFor(scale));
}

ImageTile::Metrics ReferenceImageView::metricsFor(std::optional<double> height) {
    Metrics m;
    m.maxHeight = height && std::isfinite(*height) && *height > 0 ? *height : 200;
    m.removePadding = 6;
    m.removeLook = TileRoundButton::Look::dark;
    m.removeScales = true;
    return m;
}

ReferenceImageView::ReferenceImageView(const QImage& image, std::optional<double> height, QWidget* parent)
    : ImageTile(image, metricsFor(height), parent) {
    setObjectName(QStringLiteral("referenceImageView"));
}

ImageTile::Metrics VideoFrameImageView::metricsFor() {
    Metrics m = compactMetrics(120);
    m.removeLook = TileRoundButton::Look::dark;
    m.removeScales = true;
    return m;
}

VideoFrameImageView::VideoFrameImageView(const QImage& image, QWidget* parent)
    : ImageTile(image, metricsFor(), parent) {
    setObjectName(QStringLiteral("videoFrameImageView"));
}
