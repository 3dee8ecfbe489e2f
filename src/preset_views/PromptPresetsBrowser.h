#pragma once

#include "PresetFormModel.h"
#include "PresetListModels.h"

#include <QObject>

#include <memory>

class PreviewClipPreset;
class PromptPreset;
class SwiftDataPromptPresetsManager;

// What the prompt presets panel does, without widgets: camera movements and the user's own prompt presets,
// the create/edit form, the delete confirmation, and what reaches the store and the owner.
class PromptPresetsBrowser final : public QObject {
    Q_OBJECT
    Q_PROPERTY(PresetsTab selectedTab READ selectedTab WRITE selectTab NOTIFY selectedTabChanged)
    Q_PROPERTY(bool showingCreatePreset READ showingCreatePreset NOTIFY showingCreatePresetChanged)
    Q_PROPERTY(bool showingDeleteAlert READ showingDeleteAlert NOTIFY showingDeleteAlertChanged)
    Q_PROPERTY(int presetsCount READ presetsCount NOTIFY presetsCountChanged)
public:
    enum class PresetsTab { publicPrompts, myPresets };
    Q_ENUM(PresetsTab)
    static QList<PresetsTab> allTabs() { return {PresetsTab::publicPrompts, PresetsTab::myPresets}; }
    static QString title(PresetsTab tab);
    static QString symbol(PresetsTab tab);
    static constexpr const char* kUserCategory = "User";

    PromptPresetsBrowser(SwiftDataPromptPresetsManager& manager, const QString& currentPrompt,
                         bool shouldOpenCreatePreset, QObject* parent = nullptr);

    PresetsTab selectedTab() const { return selectedTab_; }
    bool showingCreatePreset() const { return showingCreatePreset_; }
    bool showingDeleteAlert() const { return showingDeleteAlert_; }
    std::shared_ptr<PromptPreset> presetToDelete() const { return presetToDelete_; }
    std::shared_ptr<PromptPreset> editingPreset() const { return editingPreset_; }
    // The number of listed user presets (what the add tile shows).
    int presetsCount() const;
    bool shouldOpenCreatePreset() const { return shouldOpenCreatePreset_; }
    QString deleteAlertMessage() const;

    PresetFormModel* form() const { return form_; }
    PromptPresetListModel* userPresets() const { return userPresets_; }
    PreviewClipPresetListModel* cameraMovements() const { return cameraMovements_; }

public slots:
    void selectTab(PresetsTab tab);
    void selectCameraMovement(PreviewClipPreset* movement);
    void selectUserPreset(const std::shared_ptr<PromptPreset>& preset);
    void startNewPreset();
    void editPreset(const std::shared_ptr<PromptPreset>& preset);
    void confirmDelete(const std::shared_ptr<PromptPreset>& preset);
    void cancelDelete();
    void deletePreset(const std::shared_ptr<PromptPreset>& preset);
    // True when the change reached the store; on failure the form stays open with its fields.
    bool savePreset();
    void cancelEditing();
    // When the panel comes on screen: opens the create form with the owner's prompt once, if asked.
    void openCreateFormIfRequested();
    void dismiss() { emit dismissRequested(); }

signals:
    void selectedTabChanged();
    void showingCreatePresetChanged();
    void showingDeleteAlertChanged();
    void presetsCountChanged();
    void dismissRequested();
    void presetSelected(const QString& text);

private:
    void setShowingCreatePreset(bool showing);
    void setShowingDeleteAlert(bool showing);
    void clearForm();

    SwiftDataPromptPresetsManager& manager_;
    const QString currentPrompt_;
    bool shouldOpenCreatePreset_;
    PresetsTab selectedTab_ = PresetsTab::publicPrompts;
    bool showingCreatePreset_ = false;
    bool showingDeleteAlert_ = false;
    std::shared_ptr<PromptPreset> editingPreset_;
    std::shared_ptr<PromptPreset> presetToDelete_;
    PresetFormModel* form_;
    PromptPresetListModel* userPresets_;
    PreviewClipPresetListModel* cameraMovements_;
};
