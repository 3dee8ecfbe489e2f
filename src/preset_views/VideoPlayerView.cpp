#include "VideoPlayerView.h"

#include "ImageTiles.h"

#include <QPainter>
#include <QPainterPath>
#include <QVideoFrame>
#include <QVideoSink>

namespace {
// The sink a shared player draws into now; another view may have taken it over since.
constexpr const char* kOutputProperty = "orvaneVideoOutput";
} // namespace

VideoPlayerView::VideoPlayerView(QWidget* parent) : QWidget(parent), sink_(new QVideoSink(this)) {
    setObjectName(QStringLiteral("videoPlayerView"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setEnabled(false);
    setFocusPolicy(Qt::NoFocus);
    connect(sink_, &QVideoSink::videoFrameChanged, this, &VideoPlayerView::frameChanged);
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

void VideoPlayerView::frameChanged(const QVideoFrame& frame) {
    if (!isVisible() || !player_)
        return;
    frame_ = frame.toImage();
    frameItem_ = frame_.isNull() ? 0 : player_->currentItem();
    update();
}

void VideoPlayerView::paintEvent(QPaintEvent*) {
    // Until the current item's first frame arrives the layer stays clear and the card's still shows through.
    const QImage frame = currentFrame();
    if (frame.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), 12, 12);
    painter.setClipPath(clip);
    painter.fillRect(rect(), Qt::black);
    paintFilled(painter, rect(), frame);
}
