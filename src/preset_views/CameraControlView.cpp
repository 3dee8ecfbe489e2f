#include "CameraControlView.h"

#include "CinematicPlayer.h"
#include "ClipPresetListView.h"
#include "Controls.h"
#include "PresetListModels.h"
#include "ScrollBars.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CameraControlView::CameraControlView(int columns, QWidget* parent)
    : CameraControlView(columns, CinematicPlayer::shared(), parent) {}

CameraControlView::CameraControlView(int columns, CinematicPlayer& player, QWidget* parent)
    : QWidget(parent), player_(player), model_(new PreviewClipPresetListModel(CinematicPreset::allPresets(), this)) {
    setObjectName(QStringLiteral("CameraControlView"));
    setAccessibleName(QStringLiteral("Cinematic Presets"));
    setFixedSize(750, 600);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    QAbstractButton* close =
        Controls::addHeader(root, QStringLiteral("Cinematic Presets"), Theme::font(17, QFont::DemiBold),
                            QMargins(20, 12, 20, 12), 24, 14, QStringLiteral("cinematicPresets"), this);

    const auto hooks = ClipPresetListView::hooks<CinematicPlayer, CinematicPreset>(
        player_, CinematicPreset::allPresets(), [this] { return player_.currentPreset(); });
    grid_ = new ClipPresetListView(model_, columns, 12, hooks, this);
    grid_->setObjectName(QStringLiteral("cinematicPresetsGrid"));
    grid_->setAccessibleName(QStringLiteral("Cinematic Presets"));
    nameScrollBars(grid_, grid_->accessibleName());
    root->addWidget(grid_, 1);

    connect(&player_, &CinematicPlayer::currentPresetChanged, grid_, &ClipPresetListView::updatePreview);
    connect(&player_, &PreviewPlayer::isPlayingChanged, grid_, &ClipPresetListView::updatePreview);
    connect(grid_, &ClipPresetListView::presetChosen, this, [this](int row) {
        PreviewClipPreset* preset = model_->preset(row);
        if (!preset)
            return;
        emit presetSelected(preset->insertText());
        emit dismissRequested();
    });
    connect(close, &QAbstractButton::clicked, this, &CameraControlView::dismissRequested);
}
