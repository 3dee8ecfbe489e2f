#include "MovementPlayer.h"

#include "CameraMovementPreset.h"
#include "VideoItem.h"

MovementPlayer& MovementPlayer::shared() {
    // Never destroyed: the media framework must not be torn down after the application object.
    static MovementPlayer* const instance = new MovementPlayer;
    return *instance;
}

MovementPlayer::MovementPlayer(std::unique_ptr<PreviewBackend> backend, QObject* parent)
    : PreviewPlayer(std::move(backend), parent) {}

MovementPlayer::~MovementPlayer() = default;

void MovementPlayer::play(CameraMovementPreset* movement) {
    if (!movement)
        return;
    if (currentMovement_ && currentMovement_->id() == movement->id() && movement->isHovered())
        return;
    startMovement(movement);
}

void MovementPlayer::startMovement(CameraMovementPreset* movement) {
    // A gallery video still marked as shown is let go first, so the two uses never overlap.
    if (currentVideo_)
        currentVideo_->setIsHovered(false);
    setCurrentVideo(nullptr);
    setCurrentMode(PlaybackMode::movement);

    if (currentMovement_)
        currentMovement_->setIsHovered(false);
    setCurrentMovement(movement);
    movement->setIsHovered(true);
    loadPreviewClip(movement);
}

void MovementPlayer::loadPreviewClip(CameraMovementPreset* movement) {
    const auto clip = movement->previewClipPath();
    if (!clip) {
        // Nothing to show: the previous preset's clip must not go on playing under this one.
        emptyPlayer();
        setIsPlaying(false);
        return;
    }
    removeObservers();
    prepareItem(QUrl::fromLocalFile(*clip));
}

void MovementPlayer::playVideo(VideoItem* video) {
    if (!video)
        return;
    if (currentMode_ == PlaybackMode::video && currentVideo_ && currentVideo_->id() == video->id() &&
        video->isHovered())
        return;
    stop();
    setCurrentMode(PlaybackMode::video);
    setCurrentVideo(video);
    video->setIsHovered(true);
    loadVideoItem(video);
}

void MovementPlayer::loadVideoItem(VideoItem* video) {
    removeObservers();
    prepareItem(video->url());
}

void MovementPlayer::stop() {
    emptyPlayer();
    if (currentMovement_)
        currentMovement_->setIsHovered(false);
    if (currentVideo_)
        currentVideo_->setIsHovered(false);
    setCurrentMovement(nullptr);
    setCurrentVideo(nullptr);
    setCurrentMode(PlaybackMode::movement);
    setIsPlaying(false);
}

void MovementPlayer::setCurrentMovement(CameraMovementPreset* movement) {
    if (currentMovement_ == movement)
        return;
    currentMovement_ = movement;
    emit currentMovementChanged();
}

void MovementPlayer::setCurrentVideo(VideoItem* video) {
    if (currentVideo_ == video)
        return;
    currentVideo_ = video;
    emit currentVideoChanged();
}

void MovementPlayer::setCurrentMode(PlaybackMode mode) {
    if (currentMode_ == mode)
        return;
    currentMode_ = mode;
    emit currentModeChanged();
}
