#pragma once

#include "CinematicPreset.h"
#include "PreviewPlayer.h"

#include <QPointer>

// The one shared, muted, looping preview player of the cinematic preset cards. It always stops before it
// shows another preset, and marks the preset it shows through its `isHovered`.
class CinematicPlayer final : public PreviewPlayer {
    Q_OBJECT
public:
    // Made on first use, with the FFmpeg preview backend, and kept for the life of the process.
    static CinematicPlayer& shared();
    // No backend: the FFmpeg preview one.
    explicit CinematicPlayer(std::unique_ptr<PreviewBackend> backend = nullptr, QObject* parent = nullptr);
    ~CinematicPlayer() override;

    CinematicPreset* currentPreset() const { return currentPreset_; }

    // Shows a preset's clip (nothing happens when it is already shown).
    void play(CinematicPreset* preset);
    // Stops and forgets the current preset; safe when nothing plays.
    void stop();

signals:
    void currentPresetChanged();

private:
    void loadPreview(CinematicPreset* preset);
    void setCurrentPreset(CinematicPreset* preset);

    QPointer<CinematicPreset> currentPreset_;
};
