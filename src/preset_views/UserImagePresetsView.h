#pragma once

#include "PresetFormView.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

class ImagePresetsBrowser;
class QAbstractButton;
class CardListView;
class QStackedWidget;
class SwiftDataImagePresetsManager;
class UserPresetListView;

// The image presets panel of the image studio: camera-angle presets ("Angles") and the user's own presets
// ("My Presets", created, edited and deleted here). Choosing hands the prompt (and an own preset's picture) to
// the studio; the panel neither edits the studio's prompt nor closes on a choice.
class UserImagePresetsView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int cornerRadius = 16;
    // Room around the panel for its shadow (black at 0.3, radius 30, 10 down): the view is that much larger than
    // the panel on every side, so a host places it that much further out.
    static constexpr int shadowMargin = 40;

    UserImagePresetsView(SwiftDataImagePresetsManager& manager, const QString& currentPrompt,
                         QWidget* parent = nullptr);
    ~UserImagePresetsView() override;

    // Where the focus goes when the panel opens: the open tab.
    QWidget* firstFocus() const;
    // The owner's prompt changed while the panel is open: a new preset starts from it.
    void setCurrentPrompt(const QString& prompt);

    ImagePresetsBrowser* browser() const { return browser_; }
    // The open form, if any.
    CreateImagePresetView* form() const { return form_; }

signals:
    void dismissRequested();
    // `append`: a built-in preset's text goes after the studio's prompt; an own preset's replaces it.
    void presetSelected(const QString& text, const QImage& image, bool append);

private:
    void refresh();

    ImagePresetsBrowser* browser_;
    QList<QAbstractButton*> tabs_;
    QStackedWidget* pages_;
    CardListView* builtInList_;
    QAbstractButton* addTile_;
    QStackedWidget* myPresetsContent_;
    UserPresetListView* userList_;
    QPointer<CreateImagePresetView> form_;
};
