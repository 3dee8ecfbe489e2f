#pragma once

#include "CardListView.h"

#include <QPointer>

#include <functional>

class CinematicPresetCard;
class HoverPreviewController;
class PreviewBackend;
class PreviewClipPresetListModel;
class VideoPlayerView;

// A scrolling column or grid of preview-clip cards (camera movements, cinematic presets). Resting on a card
// plays its clip through the shared player in that card; a click, Return, Space or the accessible action
// chooses it.
class ClipPresetListView final : public CardListView {
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
    // The hooks over a preview player of the fixed list `presets`; `current` names the preset it holds, or null.
    // The hooks do nothing once the player is gone.
    template <class PreviewPlayerT, class Preset>
    static Player hooks(PreviewPlayerT& player, const QList<Preset*>& presets, std::function<Preset*()> current) {
        Player hooks;
        const QPointer<PreviewPlayerT> guard(&player);
        hooks.play = [guard, &presets](int row) {
            if (guard && row >= 0 && row < presets.size())
                guard->play(presets[row]);
        };
        hooks.stop = [guard] {
            if (guard)
                guard->stop();
        };
        hooks.currentRow = [guard, &presets, current = std::move(current)] {
            Preset* preset = guard ? current() : nullptr;
            return preset ? int(presets.indexOf(preset)) : -1;
        };
        hooks.isPlaying = [guard] { return guard && guard->isPlaying(); };
        hooks.backend = &player.player();
        return hooks;
    }
    ClipPresetListView(PreviewClipPresetListModel* model, int columns, int spacing, Player player,
                       QWidget* parent = nullptr);

    CinematicPresetCard* cardDelegate() const { return delegate_; }
    HoverPreviewController* hover() const { return hover_; }
    // The preview layer over the current card, when one was made.
    VideoPlayerView* previewLayer() const { return preview_; }
    // Shows, moves or hides the preview layer after the player changed.
    void updatePreview();
    // Drops pending hover reactions and stops the player when it shows one of this list's clips. Runs when the
    // list hides; a panel that goes away calls it first.
    void stopPreview();
    QRect cardRect(int row) const;
    QRect pictureRect(int row) const;

signals:
    void presetChosen(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    void layoutCards();
    // The card under `position`, or -1.
    int cardAt(const QPoint& position) const;
    void hoverAt(const QPoint& position);

    PreviewClipPresetListModel* model_;
    CinematicPresetCard* delegate_;
    HoverPreviewController* hover_;
    VideoPlayerView* preview_ = nullptr;
    Player player_;
    int columns_;
    int spacing_;
};
