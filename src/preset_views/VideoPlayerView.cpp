#include "VideoPlayerView.h"

#include "ImageTiles.h"
#include "PreviewFrameSink.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
// The sink a shared player draws into now; another view may have taken it over since.
constexpr const char* kOutputProperty = "orvaneVideoOutput";
constexpr double kCornerRadius = 12;
} // namespace

VideoPlayerView::VideoPlayerView(QWidget* parent) : QWidget(parent), sink_(new PreviewFrameSink(this)) {
    setObjectName(QStringLiteral("videoPlayerView"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setEnabled(false);
    setFocusPolicy(Qt::NoFocus);
    connect(sink_, &PreviewFrameSink::frameChanged, this, &VideoPlayerView::frameChanged);
}

VideoPlayerView::~VideoPlayerView() {
    // Detach the sink before it goes away, unless another view already took the player over.
    if (player_ && player_->property(kOutputProperty).value<QObject*>() == sink_) {
        player_->setVideoOutput(nullptr);
        player_->setProperty(kOutputProperty, QVariant());
    }
}

void VideoPlayerView::setPlayer(PreviewBackend* player) {
    if (player_ == player && player && player->property(kOutputProperty).value<QObject*>() == sink_)
        return;
    player_ = player;
    uncover();
    frame_ = QImage();
    frameItem_ = 0;
    if (player_) {
        player_->setVideoOutput(sink_);
        player_->setProperty(kOutputProperty, QVariant::fromValue<QObject*>(sink_));
    }
}

QImage VideoPlayerView::currentFrame() const {
    if (!player_ || frameItem_ == 0 || frameItem_ != player_->currentItem())
        return {};
    return frame_;
}

void VideoPlayerView::frameChanged(const QImage& frame) {
    if (!isVisible() || !player_)
        return;
    // The item is the one current when the frame arrives: the player drops frames of items it moved away from.
    if (!frame.isNull() && !isOpaque_)
        coverUnderlay();
    frame_ = frame;
    frameItem_ = frame.isNull() ? 0 : player_->currentItem();
    update();
}

void VideoPlayerView::updateTargetSize() {
    sink_->setTargetSize(onScreen_ ? (QSizeF(size()) * devicePixelRatioF()).toSize() : QSize());
}

void VideoPlayerView::coverUnderlay() {
    // What shows at the rounded corners, as the window draws it now with this view still clear.
    grabbingUnderlay_ = true;
    underlay_ = window()->grab(QRect(mapTo(window(), QPoint(0, 0)), size()));
    grabbingUnderlay_ = false;
    if (underlay_.isNull())
        return;
    // The same, but clear where the rounded picture goes: painted over each frame's corners, it rounds them as a
    // clip would, with no path to fill for every frame.
    corners_ = QImage(underlay_.size(), QImage::Format_ARGB32_Premultiplied);
    corners_.setDevicePixelRatio(underlay_.devicePixelRatio());
    corners_.fill(Qt::transparent);
    QPainter painter(&corners_);
    painter.drawPixmap(0, 0, underlay_);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.end();
    isOpaque_ = true;
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void VideoPlayerView::uncover() {
    underlay_ = QPixmap();
    corners_ = QImage();
    isOpaque_ = false;
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void VideoPlayerView::moveEvent(QMoveEvent* event) {
    uncover();
    QWidget::moveEvent(event);
}

void VideoPlayerView::resizeEvent(QResizeEvent* event) {
    uncover();
    updateTargetSize();
    QWidget::resizeEvent(event);
}

void VideoPlayerView::showEvent(QShowEvent* event) {
    onScreen_ = true;
    updateTargetSize();
    QWidget::showEvent(event);
}

void VideoPlayerView::hideEvent(QHideEvent* event) {
    // Also when only the window is hidden or minimised: pictures nobody sees are not made.
    onScreen_ = false;
    updateTargetSize();
    uncover();
    QWidget::hideEvent(event);
}

void VideoPlayerView::paintEvent(QPaintEvent*) {
    if (grabbingUnderlay_)
        return;
    updateTargetSize(); // the screen, and with it the device pixel ratio, may have changed
    // Until the current item's first frame arrives the layer stays clear and the card's still shows through.
    const QImage frame = currentFrame();
    if (frame.isNull()) {
        if (isOpaque_) {
            // Was covering the card: give it back as it was, and let it show through from now on.
            QPainter(this).drawPixmap(0, 0, underlay_);
            uncover();
        }
        return;
    }
    QPainter painter(this);
    const QRect all = rect();
    if (!isOpaque_) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(all), kCornerRadius, kCornerRadius);
        painter.setClipPath(clip);
    }
    if (frame.size() == sink_->targetSize()) {
        painter.drawImage(all, frame); // made at this size: copied as it is
    } else {
        // Made for another size (the view was resized while it was on its way).
        painter.fillRect(all, Qt::black);
        paintFilled(painter, all, frame);
    }
    if (isOpaque_) {
        // The four corners, each pixel once also where they meet in a small view.
        const int side = int(std::ceil(kCornerRadius)) + 1;
        QRegion corners;
        for (const QPoint& at : {QPoint(0, 0), QPoint(all.width() - side, 0), QPoint(0, all.height() - side),
                                 QPoint(all.width() - side, all.height() - side)})
            corners += QRect(at, QSize(side, side)) & all;
        const double ratio = corners_.devicePixelRatio();
        for (const QRect& corner : corners) {
            const QRectF source(QPointF(corner.topLeft()) * ratio, QSizeF(corner.size()) * ratio);
            painter.drawImage(QRectF(corner), corners_, source);
        }
    }
}
