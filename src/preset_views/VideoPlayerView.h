#pragma once

#include "PreviewBackend.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

class PreviewFrameSink;

// Shows a shared preview player inside a card: no controls, the video fills the view and is cropped. It takes
// no input, so the card under it keeps its clicks and hover. Pictures arrive through a sink of its own and are
// painted here, so the view is an ordinary (not native) widget. The view tells its sink the size it paints at,
// and the player makes each picture ready at that size off the GUI thread: the GUI thread only draws it. While
// the view is hidden it asks for nothing, and nothing is converted for it.
class VideoPlayerView final : public QWidget {
    Q_OBJECT
public:
    explicit VideoPlayerView(QWidget* parent = nullptr);
    ~VideoPlayerView() override;

    // Attaches to the player only when it does not already show that very player.
    void setPlayer(PreviewBackend* player);
    PreviewFrameSink* videoSink() const { return sink_; }
    // The last frame of the player's current item; none when the player moved on to another item (the
    // previous card's clip is never shown over the next one).
    QImage currentFrame() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // While frames play the view paints every pixel itself, so that the card under it is not painted again
    // for each frame: the window's picture under the view is kept for the rounded corners.
    void coverUnderlay();
    void uncover();
    void frameChanged(const QImage& frame);
    // The size pictures are wanted at, in device pixels; none while hidden.
    void updateTargetSize();

    QPointer<PreviewBackend> player_;
    PreviewFrameSink* sink_;
    QImage frame_;
    PreviewBackend::ItemId frameItem_ = 0;
    bool onScreen_ = false;
    // The window's picture under the view, and the same with the rounded picture's place cut out of it.
    QPixmap underlay_;
    QImage corners_;
    bool isOpaque_ = false;
    bool grabbingUnderlay_ = false;
};
