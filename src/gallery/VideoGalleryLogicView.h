#pragma once

#include "AppEnvironment.h"

#include <QPointer>
#include <QWidget>

class GalleryClip;
class GlassPanel;
class QLabel;
class QStackedWidget;
class QToolButton;
class VideoGalleryGrid;
class VideoGalleryItemModel;
class VideoGalleryViewModel;

// The results pane of the video studio: a header with the grid-mode menu, then the grid of job placeholders
// and finished clips (or the empty state), with the prompt presets panel over it while it is open. What it
// shows and what its actions do are the gallery model's; the pane lays them out and forwards input.
class VideoGalleryLogicView final : public QWidget {
    Q_OBJECT
public:
    explicit VideoGalleryLogicView(const AppEnvironment& environment, QWidget* parent = nullptr);
    ~VideoGalleryLogicView() override;

    // The studio's layout scale (sizes marked as scaled follow it).
    void setScale(double scale);
    double scale() const { return scale_; }

    // The prompt presets panel over the pane; it closes by itself through its scrim, its own dismiss or a pick.
    void showPromptPresets(const QString& currentPrompt, bool openCreatePreset);
    // The studio's prompt changed while the prompt presets panel is open: a new preset starts from it.
    void setPromptPresetsPrompt(const QString& prompt);
    void hidePromptPresets();
    bool isPromptPresetsShown() const { return overlay_ != nullptr; }

    VideoGalleryItemModel* itemModel() const { return model_; }
    VideoGalleryGrid* grid() const { return grid_; }
    bool isShowingEmptyState() const;

    // The card actions, as the gallery model carries them out.
    void recreate(GalleryClip* clip);
    void showInFileManager(GalleryClip* clip);
    void confirmMoveToTrash(GalleryClip* clip);

    // Watches the saved video folder, or stops watching when there is none.
    void setupGallery();
    void handleFolderChange();

signals:
    // A preset was picked in the panel: its text goes into the studio's prompt.
    void presetTextChosen(const QString& text);
    void promptPresetsShownChanged(bool shown);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    VideoGalleryViewModel* galleryViewModel() const { return environment_.galleryViewModel; }
    QWidget* makeHeader();
    QWidget* makeEmptyState();
    void updateEmptyState();
    void updateContent();
    void updateGridModeMenu();
    // The panel inside the overlay: the prompt presets browser.
    QWidget* makePromptPresetsPanel(const QString& currentPrompt, bool openCreatePreset, QWidget* parent);
    QRect panelGeometry(GlassPanel* frame) const;

    AppEnvironment environment_;
    double scale_ = 1;
    VideoGalleryItemModel* model_ = nullptr;
    VideoGalleryGrid* grid_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QWidget* emptyPage_ = nullptr;
    QWidget* emptyState_ = nullptr;
    QLabel* emptyIcon_ = nullptr;
    QLabel* emptyTitle_ = nullptr;
    QLabel* emptySubtitle_ = nullptr;
    QLabel* headerIcon_ = nullptr;
    QLabel* headerTitle_ = nullptr;
    QToolButton* gridModeButton_ = nullptr;
    QPointer<QWidget> overlay_;
};
