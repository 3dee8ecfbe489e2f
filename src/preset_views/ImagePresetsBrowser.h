#pragma once

#include "PresetBrowser.h"
#include "PresetListModels.h"

#include <QImage>

class BuiltInImagePreset;
class ImagePreset;
class SwiftDataImagePresetsManager;

// What the image presets panel does, without widgets: its tab, the form it opens, and what choosing, saving
// and deleting a preset sends to the studio and to the store.
class ImagePresetsBrowser final : public StoredPresetBrowser<ImagePreset, SwiftDataImagePresetsManager> {
    Q_OBJECT
    Q_PROPERTY(PresetsTab selectedTab READ selectedTab WRITE selectTab NOTIFY selectedTabChanged)
public:
    enum class PresetsTab { builtIn, myPresets };
    Q_ENUM(PresetsTab)
    static QList<PresetsTab> allTabs() { return {PresetsTab::builtIn, PresetsTab::myPresets}; }
    static QString title(PresetsTab tab);
    static QString symbol(PresetsTab tab);

    ImagePresetsBrowser(SwiftDataImagePresetsManager& manager, const QString& currentPrompt, QObject* parent = nullptr);

    PresetsTab selectedTab() const { return selectedTab_; }
    int presetsCount() const override;
    ImagePresetListModel* userPresets() const { return userPresets_; }
    BuiltInImagePresetListModel* builtInPresets() const { return builtInPresets_; }

public slots:
    void selectTab(PresetsTab tab);
    void chooseBuiltIn(BuiltInImagePreset* preset);
    void chooseOwn(const std::shared_ptr<ImagePreset>& preset);
    // Closes the form; its fields stay until the next one is opened.
    void cancelForm();

signals:
    void selectedTabChanged();
    void presetSelected(const QString& text, const QImage& image, bool append);

private:
    PresetsTab selectedTab_ = PresetsTab::builtIn;
    ImagePresetListModel* userPresets_;
    BuiltInImagePresetListModel* builtInPresets_;
};
