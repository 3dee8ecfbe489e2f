#pragma once

#include "PresetFormModel.h"

#include <QObject>
#include <QString>

#include <memory>

// What both preset panels do alike, whatever kind of preset they list: the create/edit form, whether it is
// shown, the count the add tile shows, and dismissing the panel.
class PresetBrowser : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool showingCreatePreset READ showingCreatePreset NOTIFY showingCreatePresetChanged)
    Q_PROPERTY(int presetsCount READ presetsCount NOTIFY presetsCountChanged)
public:
    bool showingCreatePreset() const { return showingCreatePreset_; }
    // The number of the user's presets (what the add tile shows).
    virtual int presetsCount() const = 0;
    // The number of them the list shows (fewer while a search narrows it).
    virtual int listedCount() const { return presetsCount(); }
    // What the user presets tab shows: their list, the empty state when there are none, or a line saying that
    // none matches the search.
    enum class UserPresetsContent { list, empty, noMatch };
    UserPresetsContent userPresetsContent() const;
    PresetFormModel* form() const { return form_; }
    // The owner's prompt as it is now: a new preset starts from it.
    QString currentPrompt() const { return currentPrompt_; }

public slots:
    void dismiss() { emit dismissRequested(); }
    // The owner's prompt changed while the panel is open.
    void setCurrentPrompt(const QString& prompt) { currentPrompt_ = prompt; }

signals:
    void showingCreatePresetChanged();
    void presetsCountChanged();
    void dismissRequested();

protected:
    PresetBrowser(const QString& currentPrompt, QObject* parent);
    void setShowingCreatePreset(bool showing);

private:
    QString currentPrompt_;
    PresetFormModel* form_;
    bool showingCreatePreset_ = false;
};

// The form flow over the user's own presets of one kind (`Record`) kept by `Manager`: a new preset starts
// from the owner's prompt, an edit from the preset's fields; saving writes the store and reloads the
// manager's lists, and only a save that reached the store closes and clears the form.
template <class Record, class Manager> class StoredPresetBrowser : public PresetBrowser {
public:
    // The preset the form edits; none while creating.
    std::shared_ptr<Record> editingPreset() const { return editingPreset_; }

    void startNewPreset();
    void editPreset(const std::shared_ptr<Record>& preset);
    // True when the change reached the store; on failure the form stays open with its fields.
    bool savePreset();
    void deletePreset(const std::shared_ptr<Record>& preset);

protected:
    StoredPresetBrowser(Manager& manager, const QString& currentPrompt, QObject* parent);
    Manager& manager() const { return manager_; }
    // Forgets the edited preset and empties the form.
    void clearForm();

private:
    Manager& manager_;
    std::shared_ptr<Record> editingPreset_;
};
