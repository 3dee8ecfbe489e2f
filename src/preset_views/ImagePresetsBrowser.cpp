#include "ImagePresetsBrowser.h"

#include "BuiltInImagePreset.h"
#include "ImagePreset.h"
#include "ModelContext.h"
#include "PresetSaving.h"
#include "SwiftDataImagePresetsManager.h"

QString ImagePresetsBrowser::title(PresetsTab tab) {
    return tab == PresetsTab::builtIn ? QStringLiteral("Angles") : QStringLiteral("My Presets");
}

QString ImagePresetsBrowser::symbol(PresetsTab tab) {
    return tab == PresetsTab::builtIn ? QStringLiteral("camera.viewfinder") : QStringLiteral("person.crop.circle");
}

ImagePresetsBrowser::ImagePresetsBrowser(SwiftDataImagePresetsManager& manager, const QString& currentPrompt,
                                         QObject* parent)
    : QObject(parent), manager_(manager), currentPrompt_(currentPrompt), form_(new PresetFormModel(this)),
      userPresets_(new ImagePresetListModel(manager, this)),
      builtInPresets_(new BuiltInImagePresetListModel(BuiltInImagePreset::builtInPresets(), this)) {
    connect(&manager_, &SwiftDataImagePresetsManager::presetsChanged, this, &ImagePresetsBrowser::presetsCountChanged);
    connect(form_, &PresetFormModel::saveRequested, this, &ImagePresetsBrowser::savePreset);
    connect(form_, &PresetFormModel::cancelRequested, this, &ImagePresetsBrowser::cancelForm);
}

int ImagePresetsBrowser::presetsCount() const {
    return int(manager_.presets().size());
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

void ImagePresetsBrowser::setShowingCreatePreset(bool showing) {
    if (showingCreatePreset_ == showing)
        return;
    showingCreatePreset_ = showing;
    emit showingCreatePresetChanged();
}

void ImagePresetsBrowser::startNewPreset() {
    editingPreset_.reset();
    form_->reset(QString(), currentPrompt_, QImage(), false);
    setShowingCreatePreset(true);
}

void ImagePresetsBrowser::editPreset(const std::shared_ptr<ImagePreset>& preset) {
    if (!preset)
        return;
    editingPreset_ = preset;
    form_->reset(preset->title(), preset->prompt(), preset->image(), true);
    setShowingCreatePreset(true);
}

void ImagePresetsBrowser::deletePreset(const std::shared_ptr<ImagePreset>& preset) {
    ModelContext* context = manager_.modelContext();
    if (!preset || !context)
        return;
    PresetSaving::deleteRecord(*context, preset);
    manager_.loadPresets();
}

bool ImagePresetsBrowser::savePreset() {
    ModelContext* context = manager_.modelContext();
    if (!context)
        return false;
    const QString title = form_->title();
    const QString prompt = form_->prompt();
    const QImage picture = form_->image();
    bool saved = false;
    if (const auto preset = editingPreset_) {
        const QString oldTitle = preset->title();
        const QString oldPrompt = preset->prompt();
        const auto oldData = preset->imageData();
        preset->setTitle(title);
        preset->setPrompt(prompt);
        // Without a picture in the form the stored one stays.
        if (!picture.isNull())
            preset->storeImageAsJPEG(picture);
        saved = PresetSaving::saveOrUndo(*context, [&] {
            preset->setTitle(oldTitle);
            preset->setPrompt(oldPrompt);
            preset->setImageData(oldData);
        });
    } else {
        const auto created = ImagePreset::make(title, prompt, picture);
        context->insert(created);
        saved = PresetSaving::saveOrUndo(*context, [&] { context->remove(created); });
    }
    manager_.loadPresets();
    if (!saved)
        return false;
    setShowingCreatePreset(false);
    editingPreset_.reset();
    form_->reset(QString(), QString(), QImage(), false);
    return true;
}

void ImagePresetsBrowser::cancelForm() {
    setShowingCreatePreset(false);
}
