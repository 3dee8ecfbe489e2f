#include "CameraControlView.h"

#include "CinematicPlayer.h"
#include "ClipPresetListView.h"
#include "PresetKit.h"
#include "PresetListModels.h"
#include "PresetLook.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
QList<PreviewClipPreset*> cinematicPresets() {
    QList<PreviewClipPreset*> list;
    for (CinematicPreset* preset : CinematicPreset::allPresets())
        list.append(preset);
    return list;
}
} // namespace

CameraControlView::CameraControlView(int columns, QWidget* parent)
    : CameraControlView(columns, CinematicPlayer::shared(), parent) {}

CameraControlView::CameraControlView(int columns, CinematicPlayer& player, QWidget* parent)
    : QWidget(parent), player_(player), model_(new PreviewClipPresetListModel(cinematicPresets(), this)) {
    setObjectName(QStringLiteral("CameraControlView"));
    setAccessibleName(QStringLiteral("Cinematic Presets"));
    setFixedSize(750, 600);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 12, 20, 12);
    auto* title = new QLabel(QStringLiteral("Cinematic Presets"), this);
    title->setObjectName(QStringLiteral("cinematicPresetsTitle"));
    title->setFont(PresetLook::font(17, QFont::DemiBold));
    QAbstractButton* close = PresetKit::closeButton(24, 14, this);
    close->setObjectName(QStringLiteral("cinematicPresetsClose"));
    header->addStretch();
    header->addWidget(title);
    header->addStretch();
    header->addWidget(close);
    root->addLayout(header);

    ClipPresetListView::Player hooks;
    hooks.play = [this](int row) {
        const auto& all = CinematicPreset::allPresets();
        if (row >= 0 && row < all.size())
            player_.play(all[row]);
    };
    hooks.stop = [this] { player_.stop(); };
    hooks.currentRow = [this] {
        CinematicPreset* current = player_.currentPreset();
        return current ? int(CinematicPreset::allPresets().indexOf(current)) : -1;
    };
    hooks.isPlaying = [this] { return player_.isPlaying(); };
    hooks.backend = &player_.player();
    grid_ = new ClipPresetListView(model_, columns, 12, hooks, this);
    grid_->setObjectName(QStringLiteral("cinematicPresetsGrid"));
    grid_->setAccessibleName(QStringLiteral("Cinematic Presets"));
    PresetLook::nameScrollBars(grid_, grid_->accessibleName());
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
