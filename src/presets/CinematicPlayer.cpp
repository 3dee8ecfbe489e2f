#include "CinematicPlayer.h"

#include "CinematicPreset.h"

CinematicPlayer& CinematicPlayer::shared() {
    // Never destroyed: the media framework must not be torn down after the application object.
    static CinematicPlayer* const instance = new CinematicPlayer;
    return *instance;
}

CinematicPlayer::CinematicPlayer(std::unique_ptr<PreviewBackend> backend, QObject* parent)
    : PreviewPlayer(std::move(backend), parent) {}

CinematicPlayer::~CinematicPlayer() = default;

void CinematicPlayer::play(CinematicPreset* preset) {
    if (!preset)
        return;
    if (currentPreset_ && currentPreset_->id() == preset->id() && preset->isHovered())
        return;
    stop();
    setCurrentPreset(preset);
    preset->setIsHovered(true);
    loadPreview(preset);
}

void CinematicPlayer::loadPreview(CinematicPreset* preset) {
    const auto clip = preset->previewClipPath();
    if (!clip)
        return; // stays stopped and empty, with the preset marked
    prepareItem(QUrl::fromLocalFile(*clip));
}

void CinematicPlayer::stop() {
    emptyPlayer();
    if (currentPreset_)
        currentPreset_->setIsHovered(false);
    setCurrentPreset(nullptr);
    setIsPlaying(false);
}

void CinematicPlayer::setCurrentPreset(CinematicPreset* preset) {
    if (currentPreset_ == preset)
        return;
    currentPreset_ = preset;
    emit currentPresetChanged();
}
