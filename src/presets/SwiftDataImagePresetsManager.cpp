#include "SwiftDataImagePresetsManager.h"

#include "Defaults.h"
#include "Log.h"
#include "ModelContext.h"
#include "PresetOrder.h"
#include "PresetPictures.h"

namespace {
const QString kClayStyle =
    "Style: clay render 3D visualization, monochromatic white/grey background scene, untextured matte surfaces, "
    "ambient occlusion soft shadows, realistic shapes and forms without textures, soft diffused lighting. Red flat "
    "silhouette figure(s) in foreground as main subject.";
} // namespace

const QList<SwiftDataImagePresetsManager::DefaultRow>& SwiftDataImagePresetsManager::defaultImagePresetTable() {
    static const QList<DefaultRow> table = {
        {"Moment of action", "preset_action_street",
         kClayStyle + "\n\nBackground: [describe the background]\n"
                      "Red subject color as in reference: [describe the red object or character]\n"
                      "Angle: Low Angle Shot"},
        {"True crime", "preset_crime_rooftop",
         kClayStyle + "\n\nBackground: [You describe what's in the background]\n"
                      "Red subject Color as in the reference photo: [You describe a red object/character]\n"
                      "Angle: Rear shot"},
    };
    return table;
}

SwiftDataImagePresetsManager::SwiftDataImagePresetsManager(ModelContext* context, QObject* parent)
    : QObject(parent), modelContext_(context) {}

void SwiftDataImagePresetsManager::loadPresets() {
    if (!modelContext_)
        return;
    QString error;
    auto all = PresetOrder::newestFirst<ImagePreset>(*modelContext_, {}, &error);
    if (!all)
        Log::line("❌ Error loading image presets: " + error);
    presets_ = all.value_or(QList<std::shared_ptr<ImagePreset>>{});
    emit presetsChanged();
}

void SwiftDataImagePresetsManager::createDefaultPresets() {
    if (!modelContext_)
        return;
    Defaults& defaults = Defaults::standard();
    if (defaults.boolValue(kDefaultsFlag))
        return;
    QString error;
    const auto existing = modelContext_->fetch<ImagePreset>({}, &error);
    if (!existing) {
        Log::line("❌ Error checking existing image presets: " + error);
    } else if (!existing->isEmpty()) {
        defaults.set(kDefaultsFlag, true);
        return;
    }
    for (const DefaultRow& row : defaultImagePresetTable())
        insertDefault(row, loadPresetImageFromBundle(row.imageName));
    if (!modelContext_->save(&error)) {
        Log::line("❌ Failed to save default image presets: " + error);
        return;
    }
    defaults.set(kDefaultsFlag, true);
    loadPresets();
    Log::line("✅ Default image presets created successfully");
}

void SwiftDataImagePresetsManager::refreshDefaultPresets() {
    if (!modelContext_)
        return;
    for (const DefaultRow& row : defaultImagePresetTable()) {
        if (const auto record = firstTitled(row.title)) {
            const QImage picture = loadPresetImageFromBundle(row.imageName);
            if (record->prompt() != row.prompt || !picture.isNull())
                rewrite(record, row, picture);
            continue;
        }
        if (row.title == "True crime") {
            if (const auto renamed = firstTitled(kOldCrimeTitle)) {
                rewrite(renamed, row, loadPresetImageFromBundle(row.imageName));
                continue;
            }
        }
        insertDefault(row, loadPresetImageFromBundle(row.imageName));
        modelContext_->save(); // a failure here is not reported
        loadPresets();
    }
}

void SwiftDataImagePresetsManager::insertDefault(const DefaultRow& row, const QImage& picture) {
    auto preset = ImagePreset::make(row.title, row.prompt, picture);
    preset->setCreatedAt(PresetOrder::nextCreationTime());
    modelContext_->insert(preset);
}

std::shared_ptr<ImagePreset> SwiftDataImagePresetsManager::firstTitled(const QString& title) const {
    for (const auto& preset : presets_) {
        if (preset->title() == title)
            return preset;
    }
    return nullptr;
}

void SwiftDataImagePresetsManager::rewrite(const std::shared_ptr<ImagePreset>& record, const DefaultRow& row,
                                           const QImage& picture) {
    record->setTitle(row.title);
    record->setPrompt(row.prompt);
    if (!picture.isNull())
        record->storeImageAsJPEG(picture);
    modelContext_->save(); // a failure here is not reported
    loadPresets();
}

QImage SwiftDataImagePresetsManager::loadPresetImageFromBundle(const QString& name) {
    const QImage picture = PresetPictures::load(name, {{"DefaultImagePresets", "png"},
                                                       {"DefaultImagePresets", "jpg"},
                                                       {"UserPressetFoto", "png"},
                                                       {"UserPressetFoto", "jpg"},
                                                       {QString(), "png"},
                                                       {QString(), "jpg"}});
    if (picture.isNull())
        Log::line("⚠️ Default preset image '" + name + "' not found in Bundle");
    return picture;
}
