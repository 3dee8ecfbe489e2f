#pragma once

#include <QWidget>

class CinematicPlayer;
class ClipPresetListView;
class PreviewClipPresetListModel;

// The cinematic presets sheet: a grid of the eleven cinematic presets, each playing its looping preview on
// hover through the shared cinematic player; a click hands the preset's insert text over and closes the sheet.
// Closing the sheet does not stop the player.
class CameraControlView final : public QWidget {
    Q_OBJECT
public:
    CameraControlView(int columns, QWidget* parent = nullptr);
    // With a given preview player instead of the shared one.
    CameraControlView(int columns, CinematicPlayer& player, QWidget* parent = nullptr);

    ClipPresetListView* grid() const { return grid_; }

signals:
    void dismissRequested();
    void presetSelected(const QString& text);

private:
    CinematicPlayer& player_;
    PreviewClipPresetListModel* model_;
    ClipPresetListView* grid_;
};
