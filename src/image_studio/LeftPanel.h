#pragma once

#include "ImageSettingsPopover.h"
#include "StudioRules.h"

#include <QHash>
#include <QImage>
#include <QPointer>
#include <QWidget>

class GradientButton;
class ImageStudioModel;
class Popover;
class QAbstractButton;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPlainTextEdit;
class QScrollArea;
class QVBoxLayout;

// The composer: reference pictures (picked or dropped), the prompt with its counter, the model settings and
// presets buttons, and "Generate Now". All state lives in the studio model. The parts scroll when the panel is
// shorter than they are; the panel is never narrower than they need.
class LeftPanel : public QWidget {
    Q_OBJECT
public:
    // Built at `scale` (see setScale).
    LeftPanel(ImageStudioModel& model, QWidget* parent = nullptr, double scale = 1.0);
    ~LeftPanel() override;

    void setScale(double scale);
    // How many reference tiles are on screen.
    int shownReferenceCount() const { return shownReferences_; }
    int gridColumnCount() const;
    QPlainTextEdit* promptEditor() const { return editor_; }
    ImageSettingsPopover* settingsPopover() const { return popover_; }
    QScrollArea* scrollArea() const { return scroll_; }

    // The open panel for reference pictures.
    void pickReferenceImages();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void addReferenceSection(QVBoxLayout* column);
    void addPromptHeader(QVBoxLayout* column);
    QWidget* makePromptBox();
    // The editor in a holder whose margins are the text's insets.
    QWidget* makePromptEditor(QWidget* box);
    void addGenerateButton(QVBoxLayout* column);
    void applyScale();
    void showPrompt();
    void showReferences();
    void showGenerateState();
    // The narrowest the panel can be: its fixed narrowest width, or what its parts need beside a scroll bar.
    void updateMinimumWidth();
    // Leaves the create-preset button room at the end of the prompt's first lines.
    void placeEditorInsets();
    void editorChanged();
    void openSettings();
    void openCreatePreset();
    QWidget* makeCreatePresetSheet();
    QWidget* makeTile(int index, const QImage& image, StudioRules::StripLayout layout);
    QImage thumbnailFor(const QImage& image);

    ImageStudioModel& model_;
    double scale_ = 1.0;
    int shownReferences_ = 0;
    bool updatingEditor_ = false;

    QScrollArea* scroll_ = nullptr;
    QWidget* content_ = nullptr;
    QLabel* referenceHeader_ = nullptr;
    QAbstractButton* addMore_ = nullptr;
    QWidget* referenceArea_ = nullptr;
    QVBoxLayout* referenceLayout_ = nullptr;
    QWidget* referenceContent_ = nullptr;
    // What referenceContent_ was made for.
    QList<qint64> shownKeys_;
    double shownScale_ = 0;
    QGridLayout* grid_ = nullptr;
    QLabel* counter_ = nullptr;
    QAbstractButton* clear_ = nullptr;
    QHBoxLayout* counterGroup_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QAbstractButton* createPreset_ = nullptr;
    QAbstractButton* settings_ = nullptr;
    QAbstractButton* presets_ = nullptr;
    GradientButton* generate_ = nullptr;
    QVBoxLayout* editorInsets_ = nullptr;
    QPointer<Popover> popoverFrame_;
    QPointer<ImageSettingsPopover> popover_;
    QPointer<QWidget> createPresetSheet_;
    QHash<qint64, QImage> thumbnails_;
};
