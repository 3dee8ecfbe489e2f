#pragma once

#include "LatestResult.h"
#include "PreviewBackend.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QVideoFrame>
#include <QWidget>

#include <optional>

class QVideoFrame;
class PreviewFrameSink;

// Shows a shared preview player inside a card: no controls, the video fills the view and is cropped. It takes
// no input, so the card under it keeps its clicks and hover. Frames arrive through a video sink and are
// painted here, so the view is an ordinary (not native) widget. Each frame is converted on the processor and cut
// to the view's size off the GUI thread, the newest only: the GUI thread only draws the result.
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
    void hideEvent(QHideEvent* event) override;

private:
    // While frames play the view paints every pixel itself, so that the card under it is not painted again
    // for each frame: the window's picture under the view is kept for the rounded corners.
    void coverUnderlay();
    void uncover();
    void frameChanged(const QVideoFrame& frame);
    void convert(const QVideoFrame& frame, PreviewBackend::ItemId item);

    QPointer<PreviewBackend> player_;
    PreviewFrameSink* sink_;
    QImage frame_;
    QPixmap underlay_;
    bool isOpaque_ = false;
    bool grabbingUnderlay_ = false;
    PreviewBackend::ItemId frameItem_ = 0;
    LatestResult conversion_;
    bool converting_ = false;
    // The newest frame that came while one was being converted.
    std::optional<std::pair<QVideoFrame, PreviewBackend::ItemId>> waiting_;
};
