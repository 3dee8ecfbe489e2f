#pragma once

#include "CameraMovementPreset.h"
#include "PreviewPlayer.h"
#include "VideoItem.h"

#include <QPointer>

// The one shared, muted, looping preview player of the camera movement cards and the gallery cards. It
// plays either a movement's bundle clip or a gallery video, and marks the source it shows through that
// source's `isHovered`.
class MovementPlayer final : public PreviewPlayer {
    Q_OBJECT
public:
    enum class PlaybackMode { movement, video };
    Q_ENUM(PlaybackMode)

    // Made on first use, with the FFmpeg preview backend, and kept for the life of the process.
    static MovementPlayer& shared();
    // No backend: the FFmpeg preview one.
    explicit MovementPlayer(std::unique_ptr<PreviewBackend> backend = nullptr, QObject* parent = nullptr);
    ~MovementPlayer() override;

    CameraMovementPreset* currentMovement() const { return currentMovement_; }
    VideoItem* currentVideo() const { return currentVideo_; }
    PlaybackMode currentMode() const { return currentMode_; }

    // Shows a movement's clip (nothing happens when it is already shown).
    void play(CameraMovementPreset* movement);
    // Shows a gallery video (nothing happens when it is already shown).
    void playVideo(VideoItem* video);
    // Stops and forgets whatever is shown.
    void stop();

signals:
    void currentMovementChanged();
    void currentVideoChanged();
    void currentModeChanged();

private:
    void startMovement(CameraMovementPreset* movement);
    void loadPreviewClip(CameraMovementPreset* movement);
    void loadVideoItem(VideoItem* video);
    void setCurrentMovement(CameraMovementPreset* movement);
    void setCurrentVideo(VideoItem* video);
    void setCurrentMode(PlaybackMode mode);

    QPointer<CameraMovementPreset> currentMovement_;
    QPointer<VideoItem> currentVideo_;
    PlaybackMode currentMode_ = PlaybackMode::movement;
};
