#include "PromptPresetsBrowser.h"

#include "CameraMovementPreset.h"
#include "ModelContext.h"
#include "PresetSaving.h"
#include "PromptPreset.h"
#include "SwiftDataPromptPresetsManager.h"

QString PromptPresetsBrowser::title(PresetsTab tab) {
    return tab == PresetsTab::publicPrompts ? QStringLiteral("Camera") : QStringLiteral("My Presets");
}

QString PromptPresetsBrowser::symbol(PresetsTab tab) {
    return tab == PresetsTab::publicPrompts ? QStringLiteral("folder.badge.plus")
                                            : QStringLiteral("person.crop.circle");
}

PromptPresetsBrowser::PromptPresetsBrowser(SwiftDataPromptPresetsManager& manager, const QString& currentPrompt,
                                           bool shouldOpenCreatePreset, QObject* parent)
    : QObject(parent), manager_(manager), currentPrompt_(currentPrompt),
      shouldOpenCreatePreset_(shouldOpenCreatePreset), form_(new PresetFormModel(this)),
      userPresets_(new PromptPresetListModel(manager, this)),
      cameraMovements_(new PreviewClipPresetListModel(CameraMovementPreset::allPresets(), this)) {
    connect(userPresets_, &QAbstractItemModel::modelReset, this, &PromptPresetsBrowser::presetsCountChanged);
    connect(form_, &PresetFormModel::saveRequested, this, &PromptPresetsBrowser::savePreset);
    connect(form_, &PresetFormModel::cancelRequested, this, &PromptPresetsBrowser::cancelEditing);
}

int PromptPresetsBrowser::presetsCount() const {
    return userPresets_->rowCount();
}

QString PromptPresetsBrowser::deleteAlertMessage() const {
    const QString name = presetToDelete_ ? presetToDelete_->name() : QString();
    return QStringLiteral("Are you sure you want to delete '") + name +
           QStringLiteral("'? This action cannot be undone.");
}

void PromptPresetsBrowser::selectTab(PresetsTab tab) {
    if (selectedTab_ == tab)
        return;
    selectedTab_ = tab;
    emit selectedTabChanged();
}

void PromptPresetsBrowser::selectCameraMovement(PreviewClipPreset* movement) {
    if (!movement)
        return;
    emit presetSelected(movement->insertText());
    emit dismissRequested();
}

void PromptPresetsBrowser::selectUserPreset(const std::shared_ptr<PromptPreset>& preset) {
    if (preset)
        emit presetSelected(preset->prompt());
}

void PromptPresetsBrowser::setShowingCreatePreset(bool showing) {
    if (showingCreatePreset_ == showing)
        return;
    showingCreatePreset_ = showing;
    emit showingCreatePresetChanged();
}

void PromptPresetsBrowser::setShowingDeleteAlert(bool showing) {
    if (showingDeleteAlert_ == showing)
        return;
    showingDeleteAlert_ = showing;
    emit showingDeleteAlertChanged();
}

void PromptPresetsBrowser::startNewPreset() {
    editingPreset_.reset();
    form_->reset(QString(), currentPrompt_, QImage(), false);
    setShowingCreatePreset(true);
}

void PromptPresetsBrowser::editPreset(const std::shared_ptr<PromptPreset>& preset) {
    if (!preset)
        return;
    editingPreset_ = preset;
    form_->reset(preset->name(), preset->prompt(), preset->userImage(), true);
    setShowingCreatePreset(true);
}

void PromptPresetsBrowser::confirmDelete(const std::shared_ptr<PromptPreset>& preset) {
    if (!preset)
        return;
    presetToDelete_ = preset;
    setShowingDeleteAlert(true);
}

void PromptPresetsBrowser::cancelDelete() {
    setShowingDeleteAlert(false);
}

void PromptPresetsBrowser::deletePreset(const std::shared_ptr<PromptPreset>& preset) {
    setShowingDeleteAlert(false);
    ModelContext* context = manager_.modelContext();
    if (!preset || !context)
        return;
    PresetSaving::deleteRecord(*context, preset);
    manager_.loadPresets();
}

bool PromptPresetsBrowser::savePreset() {
    ModelContext* context = manager_.modelContext();
    if (!context)
        return false;
    const QString title = form_->title();
    const QString prompt = form_->prompt();
    const QImage picture = form_->image();
    bool saved = false;
    if (const auto preset = editingPreset_) {
        const QString oldName = preset->name();
        const QString oldPrompt = preset->prompt();
        const auto oldData = preset->userImageData();
        preset->setName(title);
        preset->setPrompt(prompt);
        // Without a picture in the form the stored one stays.
        if (!picture.isNull())
            preset->setUserImage(picture);
        saved = PresetSaving::saveOrUndo(*context, [&] {
            preset->setName(oldName);
            preset->setPrompt(oldPrompt);
            preset->setUserImageData(oldData);
        });
    } else {
        const auto created = PromptPreset::make(title, prompt, QString::fromUtf8(kUserCategory), false);
        if (!picture.isNull())
            created->setUserImage(picture);
        context->insert(created);
        saved = PresetSaving::saveOrUndo(*context, [&] { context->remove(created); });
    }
    manager_.loadPresets();
    if (!saved)
        return false;
    setShowingCreatePreset(false);
    clearForm();
    return true;
}

void PromptPresetsBrowser::clearForm() {
    editingPreset_.reset();
    form_->reset(QString(), QString(), QImage(), false);
}

void PromptPresetsBrowser::cancelEditing() {
    setShowingCreatePreset(false);
    clearForm();
}

void PromptPresetsBrowser::openCreateFormIfRequested() {
    if (!shouldOpenCreatePreset_)
        return;
    selectTab(PresetsTab::myPresets);
    startNewPreset();
    shouldOpenCreatePreset_ = false;
}
