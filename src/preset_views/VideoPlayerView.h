#pragma once

#include <QPointer>
#include <QVideoWidget>

#include "PreviewBackend.h"

// Shows a shared preview player inside a card: no controls, the video fills the view and is cropped. It takes
// no input, so the card under it keeps its clicks and hover.
class VideoPlayerView final : public QVideoWidget {
    Q_OBJECT
public:
    explicit VideoPlayerView(QWidget* parent = nullptr);
    ~VideoPlayerView() override;

    // Attaches to the player only when it does not already show that very player.
    void setPlayer(PreviewBackend* player);
    PreviewBackend* player() const { return player_; }

private:
    QPointer<PreviewBackend> player_;
};
