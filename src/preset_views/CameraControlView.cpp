#include "CameraControlView.h"

#include "CinematicPlayer.h"
#include "ClipPresetListView.h"
#include "Controls.h"
#include "Glass.h"
#include "Motion.h"
#include "PresetKit.h"
#include "PresetListModels.h"
#include "ScrollBars.h"

#include <QAbstractButton>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

CameraControlView::CameraControlView(int columns, QWidget* parent)
    : CameraControlView(columns, CinematicPlayer::shared(), parent) {}

CameraControlView::CameraControlView(int columns, CinematicPlayer& player, QWidget* parent)
    : QWidget(parent), player_(player), model_(new PreviewClipPresetListModel(CinematicPreset::allPresets(), this)) {
    setObjectName(QStringLiteral("CameraControlView"));
    setAccessibleName(QStringLiteral("Cinematic Presets"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* backing = new GlassPanel(this);
    backing->setObjectName(QStringLiteral("cinematicPresetsBacking"));
    backing->setFill(GlassPanel::Fill::opaqueMaterial);
    backing->setCornerRadius(Theme::mediumRadius);
    outer->addWidget(backing);
    auto* centring = new QVBoxLayout(backing);
    centring->setContentsMargins(0, 0, 0, 0);

    // The sheet's content has its fixed size; a larger frame centres it.
    content_ = new QWidget(backing);
    content_->setObjectName(QStringLiteral("cinematicPresetsContent"));
    content_->setFixedSize(contentSize);
    centring->addWidget(content_, 0, Qt::AlignCenter);
    auto* root = new QVBoxLayout(content_);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    QAbstractButton* close =
        Controls::addHeader(root, QStringLiteral("Cinematic Presets"), Theme::font(17, QFont::DemiBold),
                            QMargins(20, 12, 20, 12), 24, 14, QStringLiteral("cinematicPresets"), content_);

    const auto hooks = ClipPresetListView::hooks<CinematicPlayer, CinematicPreset>(
        player_, CinematicPreset::allPresets(), [player = &player_] { return player->currentPreset(); });
    grid_ = new ClipPresetListView(model_, columns, 12, hooks, content_);
    grid_->setObjectName(QStringLiteral("cinematicPresetsGrid"));
    grid_->setAccessibleName(QStringLiteral("Cinematic Presets"));
    nameScrollBars(grid_, grid_->accessibleName());
    root->addWidget(grid_, 1);
    // The grid scrolls under the sheet's rounded corners, its scroll bar's arrows above them.
    PresetKit::clipToPanel(grid_, backing);

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

CameraControlView::~CameraControlView() {
    // A preset chosen while it previewed leaves no hover end behind: its clip stops with the sheet.
    grid_->stopPreview();
}

QRect CameraControlView::sheetGeometry(const QSize& hostSize) {
    const int width = std::max(0, std::min(hostSize.width() - 40, contentSize.width()));
    const int height = std::max(0, std::min(hostSize.height() - 40, contentSize.height()));
    return QRect((hostSize.width() - width) / 2, (hostSize.height() - height) / 2, width, height);
}

QWidget* CameraControlView::firstFocus() const {
    return grid_;
}

void CameraControlView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The sheet fades in when it first comes on screen.
    if (!event->spontaneous() && !presented_) {
        presented_ = true;
        Motion::enter(this, Motion::panelFadeMs, Motion::easeOut());
    }
}
