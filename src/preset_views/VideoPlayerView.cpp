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
    if (player_) {
        player_->setVideoOutput(sink_);
        player_->setProperty(kOutputProperty, QVariant::fromValue<QObject*>(sink_));
    }
}

void VideoPlayerView::frameChanged(const QVideoFrame& frame) {
    if (!isVisible())
        return;
    frame_ = frame.toImage();
    update();
}

void VideoPlayerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), 12, 12);
    painter.setClipPath(clip);
    painter.fillRect(rect(), Qt::black);
    paintFilled(painter, rect(), frame_);
}
