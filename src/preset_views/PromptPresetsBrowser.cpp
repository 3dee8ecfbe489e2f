#include "PromptPresetsBrowser.h"

#include "CameraMovementPreset.h"
#include "PresetFormModel.h"
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
    : StoredPresetBrowser(manager, currentPrompt, parent), shouldOpenCreatePreset_(shouldOpenCreatePreset),
      userPresets_(new PromptPresetListModel(manager, this)),
      cameraMovements_(new PreviewClipPresetListModel(CameraMovementPreset::allPresets(), this)) {
    // The count and what the tab shows follow the list, whether the store or the search changed it.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(userPresets_, signal, this, &PromptPresetsBrowser::presetsCountChanged);
    connect(userPresets_, &QAbstractItemModel::modelReset, this, &PromptPresetsBrowser::presetsCountChanged);
    connect(userPresets_, &QAbstractItemModel::layoutChanged, this, &PromptPresetsBrowser::presetsCountChanged);
    connect(form(), &PresetFormModel::cancelRequested, this, &PromptPresetsBrowser::cancelEditing);
}

int PromptPresetsBrowser::presetsCount() const {
    return userPresets_->userPresetCount();
}

int PromptPresetsBrowser::listedCount() const {
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

void PromptPresetsBrowser::setShowingDeleteAlert(bool showing) {
    if (showingDeleteAlert_ == showing)
        return;
    showingDeleteAlert_ = showing;
    emit showingDeleteAlertChanged();
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
    StoredPresetBrowser::deletePreset(preset);
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
