#pragma once

#include "AppEnvironment.h"

#include <QPointer>
#include <QWidget>

class FrameSlotView;
class GenerateButton;
class GlassButton;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;
class Spinner;
class QSplitter;
class QToolButton;
class QueueStatusIndicator;
class SegmentedPicker;
class SlotDots;
class SyntaxHighlightedTextEditor;
class VideoGalleryLogicView;
class VideoWorkspaceModel;

// The video studio: header (back, title, queue state, video folder, slot dots), the control pane
// (mode, frame slots, prompt, generate) and the gallery pane. The rules live in VideoWorkspaceModel.
class ScenesView : public QWidget {
    Q_OBJECT
public:
    explicit ScenesView(const AppEnvironment& environment, QWidget* parent = nullptr);
    ~ScenesView() override;

    VideoWorkspaceModel* model() const { return model_; }
    SyntaxHighlightedTextEditor* editor() const { return editor_; }
    double scale() const { return scale_; }
    static double scaleForWidth(double width);
    // The open settings popover or cinematic sheet, if any.
    QWidget* videoSettingsPopover() const { return popover_; }
    QWidget* cameraControls() const { return cameraControls_; }
    VideoGalleryLogicView* gallery() const { return gallery_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildControlPane();
    QWidget* buildPromptSection();
    // The hosted views; each is created in one place so the real ones drop in.
    QWidget* createGalleryPane();
    QWidget* createCameraControls();
    void openVideoSettingsPopover();
    void showCameraControls(bool show);
    void placeCameraControls();
    void showPromptPresets(bool show);
    void applyScale();
    void refreshMode();
    void refreshPrompt();
    void refreshFolder();
    void refreshQueueBlock();

    AppEnvironment environment_;
    VideoWorkspaceModel* model_ = nullptr;
    double scale_ = 1.0;

    // Layouts whose spacings and paddings follow the scale.
    QHBoxLayout* headerRow_ = nullptr;
    QHBoxLayout* leftGroup_ = nullptr;
    QHBoxLayout* titleRow_ = nullptr;
    QHBoxLayout* rightGroup_ = nullptr;
    QVBoxLayout* queueBlockColumn_ = nullptr;
    QHBoxLayout* queueCountRow_ = nullptr;
    QHBoxLayout* queueActiveRow_ = nullptr;
    QHBoxLayout* counterRow_ = nullptr;
    QWidget* promptHeader_ = nullptr;
    QLabel* promptSymbol_ = nullptr;
    QVBoxLayout* editorPadding_ = nullptr;
    QHBoxLayout* createPresetPadding_ = nullptr;
    QHBoxLayout* bottomBarPadding_ = nullptr;
    QWidget* promptBox_ = nullptr;

    GlassButton* backButton_ = nullptr;
    QLabel* title_ = nullptr;
    QueueStatusIndicator* queueIndicator_ = nullptr;
    GlassButton* folderButton_ = nullptr;
    SlotDots* dots_ = nullptr;
    QWidget* queueBlock_ = nullptr;
    QLabel* queueBlockLabel_ = nullptr;
    QLabel* queueBlockCount_ = nullptr;
    QLabel* queueBlockGenerating_ = nullptr;
    Spinner* queueBlockSpinner_ = nullptr;
    QWidget* queueBlockActive_ = nullptr;
    SegmentedPicker* modePicker_ = nullptr;
    QLabel* referenceIcon_ = nullptr;
    QLabel* referenceTitle_ = nullptr;
    FrameSlotView* referenceSlot_ = nullptr;
    QWidget* startEndSlots_ = nullptr;
    QLabel* promptTitle_ = nullptr;
    QLabel* counter_ = nullptr;
    QToolButton* clearButton_ = nullptr;
    SyntaxHighlightedTextEditor* editor_ = nullptr;
    QLabel* placeholder_ = nullptr;
    QToolButton* createPresetButton_ = nullptr;
    GlassButton* settingsButton_ = nullptr;
    GlassButton* presetsButton_ = nullptr;
    GlassButton* cameraButton_ = nullptr;
    GenerateButton* generateButton_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QWidget* galleryPane_ = nullptr;
    QPointer<QWidget> popover_;
    QPointer<QWidget> cameraControls_;
    VideoGalleryLogicView* gallery_ = nullptr;
};
