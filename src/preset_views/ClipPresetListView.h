#pragma once

#include <QListView>

#include <functional>

class ClipPresetCardDelegate;
class HoverPreviewController;
class PreviewBackend;
class PreviewClipPresetListModel;
class VideoPlayerView;

// A scrolling column or grid of preview-clip cards (camera movements, cinematic presets). Resting on a card
// plays its clip through the shared player in that card; a click chooses it.
class ClipPresetListView final : public QListView {
    Q_OBJECT
public:
    struct Player {
        std::function<void(int row)> play;
        std::function<void()> stop;
        // The row whose clip the player holds, or -1.
        std::function<int()> currentRow;
        std::function<bool()> isPlaying;
        PreviewBackend* backend = nullptr;
    };
    ClipPresetListView(PreviewClipPresetListModel* model, int columns, int spacing, Player player,
                       QWidget* parent = nullptr);

    ClipPresetCardDelegate* cardDelegate() const { return delegate_; }
    HoverPreviewController* hover() const { return hover_; }
    // The preview layer over the current card, when one was made.
    VideoPlayerView* previewLayer() const { return preview_; }
    // Shows, moves or hides the preview layer after the player changed.
    void updatePreview();
    QRect cardRect(int row) const;

signals:
    void presetChosen(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    void layoutCards();
    void hoverAt(const QPoint& position);

    PreviewClipPresetListModel* model_;
    ClipPresetCardDelegate* delegate_;
    HoverPreviewController* hover_;
    VideoPlayerView* preview_ = nullptr;
    Player player_;
    int columns_;
    int spacing_;
};
