#pragma once

#include <QWidget>

class CinematicPlayer;
class ClipPresetListView;
class PreviewClipPresetListModel;

// The cinematic presets sheet: a grid of the eleven cinematic presets, each playing its looping preview on
// hover through the shared cinematic player; a click hands the preset's insert text over and closes the sheet.
// The sheet is fixed at 750 × 600 (its content centred in a larger frame a host may give it), on an opaque tint of the
// material so that the studio under the sheet does not show through. When the sheet goes, a preview it started
// stops with it.
class CameraControlView final : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize contentSize{750, 600};

    CameraControlView(int columns, QWidget* parent = nullptr);
    // With a given preview player instead of the shared one.
    CameraControlView(int columns, CinematicPlayer& player, QWidget* parent = nullptr);
    ~CameraControlView() override;

    ClipPresetListView* grid() const { return grid_; }
    // The 750 × 600 content: header and grid.
    QWidget* content() const { return content_; }

    QSize sizeHint() const override { return contentSize; }
    // Where the sheet stands over a host of `hostSize`: its own size, centred, kept 20 inside the host's edges
    // when the host is smaller.
    static QRect sheetGeometry(const QSize& hostSize);
    // Where the focus goes when the sheet opens: the grid, on its first card.
    QWidget* firstFocus() const;

signals:
    void dismissRequested();
    void presetSelected(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    CinematicPlayer& player_;
    PreviewClipPresetListModel* model_;
    QWidget* content_;
    ClipPresetListView* grid_;
    bool presented_ = false;
};
