#include "VideoPlayerView.h"

#include "ImageTiles.h"
#include "PreviewFrameSink.h"
#include "VideoFrameScaler.h"

#include <QPainter>
#include <QPainterPath>
#include <QThreadPool>
#include <QVideoFrame>

namespace {
// The sink a shared player draws into now; another view may have taken it over since.
constexpr const char* kOutputProperty = "orvaneVideoOutput";

// One thread converts the frames of every preview. Never destroyed, like the players that feed it.
QThreadPool* conversionPool() {
    static QThreadPool* const pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(1);
        return threads;
    }();
    return pool;
}
} // namespace

VideoPlayerView::VideoPlayerView(QWidget* parent) : QWidget(parent), sink_(new PreviewFrameSink(this)) {
    setObjectName(QStringLiteral("videoPlayerView"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setEnabled(false);
    setFocusPolicy(Qt::NoFocus);
    connect(sink_, &PreviewFrameSink::videoFrameChanged, this, &VideoPlayerView::frameChanged);
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
    conversion_.forget();
    converting_ = false;
    waiting_.reset();
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

void VideoPlayerView::frameChanged(const QVideoFrame& frame) {
    if (!isVisible() || !player_)
        return;
    // The item is the one current when the frame arrives: the player drops frames of items it moved away from.
    const PreviewBackend::ItemId item = player_->currentItem();
    if (converting_)
        waiting_.emplace(frame, item);
    else
        convert(frame, item);
}

void VideoPlayerView::convert(const QVideoFrame& frame, PreviewBackend::ItemId item) {
    converting_ = true;
    const QSize target = (QSizeF(size()) * devicePixelRatioF()).toSize();
    conversion_.watch(this, QtConcurrent::run(conversionPool(), VideoFrameScaler::filled, frame, target),
                      [this, item](const QImage& image) {
                          converting_ = false;
                          if (!image.isNull() && !isOpaque_)
                              coverUnderlay();
                          frame_ = image;
                          frameItem_ = image.isNull() ? 0 : item;
                          update();
                          if (waiting_) {
                              auto [next, nextItem] = std::move(*waiting_);
                              waiting_.reset();
                              convert(next, nextItem);
                          }
                      });
}

void VideoPlayerView::coverUnderlay() {
    // What shows at the rounded corners, as the window draws it now with this view still clear.
    grabbingUnderlay_ = true;
    underlay_ = window()->grab(QRect(mapTo(window(), QPoint(0, 0)), size()));
    grabbingUnderlay_ = false;
    if (underlay_.isNull())
        return;
    isOpaque_ = true;
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void VideoPlayerView::uncover() {
    underlay_ = QPixmap();
    isOpaque_ = false;
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void VideoPlayerView::moveEvent(QMoveEvent* event) {
    uncover();
    QWidget::moveEvent(event);
}

void VideoPlayerView::resizeEvent(QResizeEvent* event) {
    uncover();
    QWidget::resizeEvent(event);
}

void VideoPlayerView::hideEvent(QHideEvent* event) {
    uncover();
    QWidget::hideEvent(event);
}

void VideoPlayerView::paintEvent(QPaintEvent*) {
    if (grabbingUnderlay_)
        return;
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
    if (isOpaque_)
        painter.drawPixmap(0, 0, underlay_);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), 12, 12);
    painter.setClipPath(clip);
    painter.fillRect(rect(), Qt::black);
    paintFilled(painter, rect(), frame);
}
