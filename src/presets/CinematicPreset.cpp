#include "CinematicPreset.h"

CinematicPreset::CinematicPreset(const QString& title, const QString& insertText, const QString& previewVideoName)
    : PreviewClipPreset(title, insertText, previewVideoName) {}

const QList<CinematicPreset*>& CinematicPreset::allPresets() {
    // Never destroyed: the presets live as long as the process.
    static const auto* const presets = new QList<CinematicPreset*>{
        new CinematicPreset("Debut", "[Truck left, Push in, Pan right]", "debut_preview"),
        new CinematicPreset("Freedom", "[Push out, Pedestal up, Tilt down]", "freedom_preview"),
        new CinematicPreset("Left Circling", "[Truck left, Pan right, Tracking shot]", "left_circling_preview"),
        new CinematicPreset("Right Circling", "[Truck right, Pan left, Tracking shot]", "right_circling_preview"),
        new CinematicPreset("Upward Tilt", "[Push in, Pedestal up]", "upward_tilt_preview"),
        new CinematicPreset("Left Walking", "[Truck left, Tracking shot]", "left_walking_preview"),
        new CinematicPreset("Right Walking", "[Truck right, Tracking shot]", "right_walking_preview"),
        new CinematicPreset("Downward Tilt", "[Pedestal down, Tilt up]", "downward_tilt_preview"),
        new CinematicPreset("Stage Left", "[Pan left, Zoom in]", "stage_left_preview"),
        new CinematicPreset("Stage Right", "[Pan right, Zoom in]", "stage_right_preview"),
        new CinematicPreset("Scenic Shot", "[Truck left, Pedestal up]", "scenic_shot_preview"),
    };
    return *presets;
}
