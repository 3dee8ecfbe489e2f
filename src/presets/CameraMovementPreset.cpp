#include "CameraMovementPreset.h"

CameraMovementPreset::CameraMovementPreset(const QString& title, const QString& insertText,
                                           const QString& previewVideoName)
    : PreviewClipPreset(title, insertText, previewVideoName) {}

const QList<CameraMovementPreset*>& CameraMovementPreset::allPresets() {
    // Never destroyed: the presets live as long as the process.
    static const auto* const presets = new QList<CameraMovementPreset*>{
        new CameraMovementPreset("Camera Move Left", "[Truck left]", "left_movement"),
        new CameraMovementPreset("Camera Move Right", "[Truck right]", "right_movement"),
        new CameraMovementPreset("Push In", "[Push in]", "push_in"),
        new CameraMovementPreset("Push Out", "[Push out]", "push_out"),
        new CameraMovementPreset("Pan Left", "[Pan left]", "pan_left"),
        new CameraMovementPreset("Pan Right", "[Pan right]", "pan_right"),
        new CameraMovementPreset("Tilt Up", "[Tilt up]", "tilt_up"),
        new CameraMovementPreset("Tilt Down", "[Tilt down]", "tilt_down"),
        new CameraMovementPreset("Pedestal Up", "[Pedestal up]", "pedestal_up"),
        new CameraMovementPreset("Pedestal Down", "[Pedestal down]", "pedestal_down"),
        new CameraMovementPreset("Zoom In", "[Zoom in]", "zoom_in"),
        new CameraMovementPreset("Tracking Shot", "[Tracking shot]", "tracking_shot"),
    };
    return *presets;
}
