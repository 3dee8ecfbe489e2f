#include "ImagePresetsBrowser.h"

#include "BuiltInImagePreset.h"
#include "ImagePreset.h"
#include "PresetFormModel.h"
#include "SwiftDataImagePresetsManager.h"

QString ImagePresetsBrowser::title(PresetsTab tab) {
    return tab == PresetsTab::builtIn ? QStringLiteral("Angles") : QStringLiteral("My Presets");
}

QString ImagePresetsBrowser::symbol(PresetsTab tab) {
    return tab == PresetsTab::builtIn ? QStringLiteral("camera.viewfinder") : QStringLiteral("person.crop.circle");
}

ImagePresetsBrowser::ImagePresetsBrowser(SwiftDataImagePresetsManager& manager, const QString& currentPrompt,
                                         QObject* parent)
    : StoredPresetBrowser(manager, currentPrompt, parent), userPresets_(new ImagePresetListModel(manager, this)),
      builtInPresets_(new BuiltInImagePresetListModel(BuiltInImagePreset::builtInPresets(), this)) {
    connect(&manager, &SwiftDataImagePresetsManager::presetsChanged, this, &ImagePresetsBrowser::presetsCountChanged);
    connect(form(), &PresetFormModel::cancelRequested, this, &ImagePresetsBrowser::cancelForm);
}

int ImagePresetsBrowser::presetsCount() const {
    return int(manager().presets().size());
}

void ImagePresetsBrowser::selectTab(PresetsTab tab) {
    if (selectedTab_ == tab)
        return;
    selectedTab_ = tab;
    emit selectedTabChanged();
}

void ImagePresetsBrowser::chooseBuiltIn(BuiltInImagePreset* preset) {
    if (preset)
        emit presetSelected(preset->prompt(), QImage(), true);
}

void ImagePresetsBrowser::chooseOwn(const std::shared_ptr<ImagePreset>& preset) {
    if (preset)
        emit presetSelected(preset->prompt(), preset->image(), false);
}

void ImagePresetsBrowser::cancelForm() {
    setShowingCreatePreset(false);
}
