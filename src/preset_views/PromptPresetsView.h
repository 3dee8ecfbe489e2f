#pragma once

#include "PresetFormView.h"

#include <QPointer>
#include <QWidget>

class ClipPresetListView;
class MovementPlayer;
class PromptPresetsBrowser;
class QAbstractButton;
class QLineEdit;
class QStackedWidget;
class SwiftDataPromptPresetsManager;
class UserPresetListView;

// The prompt presets panel of the video studio: the camera movements ("Camera", with looping previews on
// hover) and the user's own prompt presets ("My Presets", searchable, created, edited and deleted here).
class PromptPresetsView final : public QWidget {
    Q_OBJECT
public:
    PromptPresetsView(SwiftDataPromptPresetsManager& manager, const QString& currentPrompt, bool openCreatePreset,
                      QWidget* parent = nullptr);
    // With a given preview player instead of the shared one.
    PromptPresetsView(SwiftDataPromptPresetsManager& manager, const QString& currentPrompt, bool openCreatePreset,
                      MovementPlayer& player, QWidget* parent = nullptr);
    ~PromptPresetsView() override;

    // Where the focus goes when the panel opens: the open tab.
    QWidget* firstFocus() const;
    // The owner's prompt changed while the panel is open: a new preset starts from it.
    void setCurrentPrompt(const QString& prompt);

    PromptPresetsBrowser* browser() const { return browser_; }
    CreatePresetView* form() const { return form_; }
    ClipPresetListView* movementsList() const { return movements_; }
    UserPresetListView* userList() const { return userList_; }

signals:
    void dismissRequested();
    void presetSelected(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void askToDelete();

    MovementPlayer& player_;
    PromptPresetsBrowser* browser_;
    QList<QAbstractButton*> tabs_;
    QStackedWidget* pages_;
    ClipPresetListView* movements_;
    QAbstractButton* addTile_;
    QLineEdit* search_;
    QStackedWidget* myPresetsContent_;
    UserPresetListView* userList_;
    QPointer<CreatePresetView> form_;
    bool presented_ = false;
};
