#include "BuiltInImagePreset.h"

#include "Log.h"
#include "PresetPictures.h"

BuiltInImagePreset::BuiltInImagePreset(const QString& title, const QString& prompt, const QString& imageName)
    : title_(title), prompt_(prompt), imageName_(imageName) {
    loadThumbnail();
}

const QList<BuiltInImagePreset*>& BuiltInImagePreset::builtInPresets() {
    // Never destroyed: the presets live as long as the process.
    static const auto* const presets = new QList<BuiltInImagePreset*>{
        new BuiltInImagePreset("Dutch Angle", "Dutch Angle", "preset_dutch"),
        new BuiltInImagePreset("Canted Angle", "Canted Angle", "preset_canted"),
        new BuiltInImagePreset("Point of View", "POV (point of view)", "preset_pov"),
        new BuiltInImagePreset("View from the eyes", "POV (View from the eyes)", "preset_view_from_eyes"),
        new BuiltInImagePreset("Low Angle Shot", "Low Angle Shot", "preset_low_angle"),
        new BuiltInImagePreset("Worm's Eye View", "Worm's Eye View", "preset_worms_eye"),
        new BuiltInImagePreset("Bird's Eye View", "Bird's Eye View", "preset_birds_eye"),
        new BuiltInImagePreset("Straight-On Perspective", "Straight perspective", "preset_straight"),
        new BuiltInImagePreset("Rear Perspective", "Rear shot", "preset_rear"),
        new BuiltInImagePreset("Head-On Shot", "Head-on shot", "preset_head_on"),
        new BuiltInImagePreset("Through-Object Perspective", "Through object perspective", "preset_through_object"),
    };
    return *presets;
}

void BuiltInImagePreset::setThumbnail(const QImage& thumbnail) {
    thumbnail_ = thumbnail;
    emit thumbnailChanged();
}

void BuiltInImagePreset::loadThumbnail() {
    const QImage picture = PresetPictures::load(imageName_, {{QString(), "jpg"}, {QString(), "png"}});
    if (picture.isNull()) {
        Log::line("⚠️ Image '" + imageName_ + "' not found in Bundle");
        return;
    }
    setThumbnail(picture);
}
