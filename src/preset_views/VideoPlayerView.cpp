#include "VideoPlayerView.h"

#include "PreviewBackend.h"

namespace {
// The view a shared player draws into now; another view may have taken it over since.
constexpr const char* kOutputProperty = "orvaneVideoOutput";
} // namespace

VideoPlayerView::VideoPlayerView(QWidget* parent) : QVideoWidget(parent) {
    setObjectName(QStringLiteral("videoPlayerView"));
    setAspectRatioMode(Qt::KeepAspectRatioByExpanding);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setEnabled(false);
    setFocusPolicy(Qt::NoFocus);
}

VideoPlayerView::~VideoPlayerView() {
    // Detach before the output goes away, unless another view already took the player over.
    if (player_ && player_->property(kOutputProperty).value<QObject*>() == this) {
        player_->setVideoOutput(nullptr);
        player_->setProperty(kOutputProperty, QVariant());
    }
}

void VideoPlayerView::setPlayer(PreviewBackend* player) {
    if (player_ == player && player && player->property(kOutputProperty).value<QObject*>() == this)
        return;
    player_ = player;
    if (player_) {
        player_->setVideoOutput(this);
        player_->setProperty(kOutputProperty, QVariant::fromValue<QObject*>(this));
    }
}
