#pragma once

#include "PresetFormModel.h"
#include "PresetListModels.h"

#include <QImage>
#include <QObject>

#include <memory>

class BuiltInImagePreset;
class ImagePreset;
class SwiftDataImagePresetsManager;

// What the image presets panel does, without widgets: its tab, the form it opens, and what choosing, saving
// and deleting a preset sends to the studio and to the store.
class ImagePresetsBrowser final : public QObject {
    Q_OBJECT
    Q_PROPERTY(PresetsTab selectedTab READ selectedTab WRITE selectTab NOTIFY selectedTabChanged)
    Q_PROPERTY(bool showingCreatePreset READ showingCreatePreset NOTIFY showingCreatePresetChanged)
    Q_PROPERTY(int presetsCount READ presetsCount NOTIFY presetsCountChanged)
public:
    enum class PresetsTab { builtIn, myPresets };
    Q_ENUM(PresetsTab)
    static QList<PresetsTab> allTabs() { return {PresetsTab::builtIn, PresetsTab::myPresets}; }
    static QString title(PresetsTab tab);
    static QString symbol(PresetsTab tab);

    ImagePresetsBrowser(SwiftDataImagePresetsManager& manager, const QString& currentPrompt, QObject* parent = nullptr);

    PresetsTab selectedTab() const { return selectedTab_; }
    bool showingCreatePreset() const { return showingCreatePreset_; }
    int presetsCount() const;
    std::shared_ptr<ImagePreset> editingPreset() const { return editingPreset_; }
    PresetFormModel* form() const { return form_; }
    ImagePresetListModel* userPresets() const { return userPresets_; }
    BuiltInImagePresetListModel* builtInPresets() const { return builtInPresets_; }

public slots:
    void selectTab(PresetsTab tab);
    void chooseBuiltIn(BuiltInImagePreset* preset);
    void chooseOwn(const std::shared_ptr<ImagePreset>& preset);
    void startNewPreset();
    void editPreset(const std::shared_ptr<ImagePreset>& preset);
    void deletePreset(const std::shared_ptr<ImagePreset>& preset);
    // True when the change reached the store; on failure the form stays open with its fields.
    bool savePreset();
    void cancelForm();
    void dismiss() { emit dismissRequested(); }

signals:
    void selectedTabChanged();
    void showingCreatePresetChanged();
    void presetsCountChanged();
    void dismissRequested();
    void presetSelected(const QString& text, const QImage& image, bool append);

private:
    void setShowingCreatePreset(bool showing);

    SwiftDataImagePresetsManager& manager_;
    const QString currentPrompt_;
    PresetsTab selectedTab_ = PresetsTab::builtIn;
    bool showingCreatePreset_ = false;
    std::shared_ptr<ImagePreset> editingPreset_;
    PresetFormModel* form_;
    ImagePresetListModel* userPresets_;
    BuiltInImagePresetListModel* builtInPresets_;
};
