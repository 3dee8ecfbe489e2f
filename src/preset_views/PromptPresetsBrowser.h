#pragma once

#include "PresetBrowser.h"
#include "PresetListModels.h"

class PreviewClipPreset;
class PromptPreset;
class SwiftDataPromptPresetsManager;

// What the prompt presets panel does, without widgets: camera movements and the user's own prompt presets,
// the create/edit form, the delete confirmation, and what reaches the store and the owner.
class PromptPresetsBrowser final : public StoredPresetBrowser<PromptPreset, SwiftDataPromptPresetsManager> {
    Q_OBJECT
    Q_PROPERTY(PresetsTab selectedTab READ selectedTab WRITE selectTab NOTIFY selectedTabChanged)
    Q_PROPERTY(bool showingDeleteAlert READ showingDeleteAlert NOTIFY showingDeleteAlertChanged)
public:
    enum class PresetsTab { publicPrompts, myPresets };
    Q_ENUM(PresetsTab)
    static QList<PresetsTab> allTabs() { return {PresetsTab::publicPrompts, PresetsTab::myPresets}; }
    static QString title(PresetsTab tab);
    static QString symbol(PresetsTab tab);

    PromptPresetsBrowser(SwiftDataPromptPresetsManager& manager, const QString& currentPrompt,
                         bool shouldOpenCreatePreset, QObject* parent = nullptr);

    PresetsTab selectedTab() const { return selectedTab_; }
    bool showingDeleteAlert() const { return showingDeleteAlert_; }
    std::shared_ptr<PromptPreset> presetToDelete() const { return presetToDelete_; }
    int presetsCount() const override;
    int listedCount() const override;
    bool shouldOpenCreatePreset() const { return shouldOpenCreatePreset_; }
    QString deleteAlertMessage() const;

    PromptPresetListModel* userPresets() const { return userPresets_; }
    PreviewClipPresetListModel* cameraMovements() const { return cameraMovements_; }

public slots:
    void selectTab(PresetsTab tab);
    void selectCameraMovement(PreviewClipPreset* movement);
    void selectUserPreset(const std::shared_ptr<PromptPreset>& preset);
    void confirmDelete(const std::shared_ptr<PromptPreset>& preset);
    void cancelDelete();
    // Closes the confirmation, then deletes.
    void deletePreset(const std::shared_ptr<PromptPreset>& preset);
    // Closes the form and empties it.
    void cancelEditing();
    // When the panel comes on screen: opens the create form with the owner's prompt once, if asked.
    void openCreateFormIfRequested();

signals:
    void selectedTabChanged();
    void showingDeleteAlertChanged();
    void presetSelected(const QString& text);

private:
    void setShowingDeleteAlert(bool showing);

    bool shouldOpenCreatePreset_;
    PresetsTab selectedTab_ = PresetsTab::publicPrompts;
    bool showingDeleteAlert_ = false;
    std::shared_ptr<PromptPreset> presetToDelete_;
    PromptPresetListModel* userPresets_;
    PreviewClipPresetListModel* cameraMovements_;
};
