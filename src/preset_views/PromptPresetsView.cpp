#include "PromptPresetsView.h"

#include "CameraMovementPreset.h"
#include "ClipPresetListView.h"
#include "Controls.h"
#include "Dialogs.h"
#include "Glass.h"
#include "GlassButtons.h"
#include "Motion.h"
#include "MovementPlayer.h"
#include "PresetFormView.h"
#include "PresetKit.h"
#include "PromptPreset.h"
#include "PromptPresetsBrowser.h"
#include "ScrollBars.h"
#include "SymbolIcon.h"
#include "UserPresetListView.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QWidget* emptyState(QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("promptPresetsEmptyState"));
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(16);
    layout->addStretch();
    auto* icon = new QLabel(page);
    icon->setPixmap(symbolPixmap(QStringLiteral("square.and.pencil"), 48, Theme::color(ColorRole::secondary, parent)));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* title = new QLabel(QStringLiteral("No custom presets yet"), page);
    title->setFont(Theme::font(15, QFont::DemiBold));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    PresetKit::addWrappedText(layout,
                              QStringLiteral("Create your first prompt preset to save frequently used descriptions"),
                              Theme::font(12), ColorRole::secondary, 300, page)
        ->setObjectName(QStringLiteral("promptPresetsEmptyText"));
    layout->addStretch();
    return page;
}

// What the "My Presets" tab shows while the search matches none of the user's presets.
QWidget* noMatch(QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("promptPresetsNoMatch"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 24, 16, 16);
    PresetKit::addWrappedText(layout, QStringLiteral("No presets match your search"), Theme::font(12),
                              ColorRole::secondary, 300, page)
        ->setObjectName(QStringLiteral("promptPresetsNoMatchText"));
    layout->addStretch();
    return page;
}

} // namespace

PromptPresetsView::PromptPresetsView(SwiftDataPromptPresetsManager& manager, const QString& currentPrompt,
                                     bool openCreatePreset, QWidget* parent)
    : PromptPresetsView(manager, currentPrompt, openCreatePreset, MovementPlayer::shared(), parent) {}

PromptPresetsView::PromptPresetsView(SwiftDataPromptPresetsManager& manager, const QString& currentPrompt,
                                     bool openCreatePreset, MovementPlayer& player, QWidget* parent)
    : QWidget(parent), player_(player),
      browser_(new PromptPresetsBrowser(manager, currentPrompt, openCreatePreset, this)) {
    setObjectName(QStringLiteral("PromptPresetsView"));
    setAccessibleName(QStringLiteral("Movements"));
    // The glass panel stands on an opaque tint of the material its host frames it with: the gallery under the
    // panel must not show through.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* backing = new GlassPanel(this);
    backing->setObjectName(QStringLiteral("promptPresetsBacking"));
    backing->setFill(GlassPanel::Fill::opaqueMaterial);
    backing->setCornerRadius(Theme::mediumRadius);
    outer->addWidget(backing);
    QVBoxLayout* root = Controls::panelColumn(backing, int(Theme::panelRadius));
    auto* panel = static_cast<GlassPanel*>(root->parentWidget());
    panel->setObjectName(QStringLiteral("promptPresetsGlass"));
    QAbstractButton* close =
        Controls::addHeader(root, QStringLiteral("Movements"), Theme::font(28, QFont::Bold), QMargins(32, 24, 32, 20),
                            44, 18, QStringLiteral("promptPresets"), this);
    // A plain "xmark" glyph, 18 semibold, in a 44 × 44 frame that takes clicks over its whole rectangle.
    if (auto* glyph = qobject_cast<GlassButton*>(close)) {
        glyph->setPlain(true);
        glyph->setFill(GlassButton::Fill::none);
        glyph->setSymbolSize(18, QFont::DemiBold);
    }
    tabs_ = PresetKit::addTabBar(root, browser_, {QStringLiteral("cameraTab"), QStringLiteral("myPresetsTab")}, this);

    pages_ = new QStackedWidget(this);
    pages_->setObjectName(QStringLiteral("presetPages"));
    const auto hooks = ClipPresetListView::hooks<MovementPlayer, CameraMovementPreset>(
        player_, CameraMovementPreset::allPresets(), [player = &player_]() -> CameraMovementPreset* {
            return player->currentMode() == MovementPlayer::PlaybackMode::movement ? player->currentMovement()
                                                                                   : nullptr;
        });
    movements_ = new ClipPresetListView(browser_->cameraMovements(), 1, 16, hooks, pages_);
    movements_->setObjectName(QStringLiteral("cameraMovementsList"));
    PresetKit::clipToPanel(movements_, panel);
    movements_->setAccessibleName(QStringLiteral("Camera"));
    nameScrollBars(movements_, movements_->accessibleName());
    connect(movements_, &ClipPresetListView::presetChosen, this,
            [this](int row) { browser_->selectCameraMovement(browser_->cameraMovements()->preset(row)); });
    for (auto signal : {&MovementPlayer::currentMovementChanged, &MovementPlayer::currentModeChanged})
        connect(&player_, signal, movements_, &ClipPresetListView::updatePreview);
    connect(&player_, &PreviewPlayer::isPlayingChanged, movements_, &ClipPresetListView::updatePreview);
    pages_->addWidget(movements_);

    auto* myPage = new QWidget(pages_);
    auto* myLayout = new QVBoxLayout(myPage);
    myLayout->setContentsMargins(0, 0, 0, 0);
    myLayout->setSpacing(0);
    auto* tileRow = new QVBoxLayout;
    tileRow->setContentsMargins(16, 12, 16, 0);
    tileRow->setSpacing(8);
    addTile_ = Controls::addPresetTile(myPage);
    addTile_->setObjectName(QStringLiteral("addNewPresetButton"));
    tileRow->addWidget(addTile_);
    search_ = new QLineEdit(myPage);
    search_->setObjectName(QStringLiteral("presetSearchField"));
    search_->setAccessibleName(QStringLiteral("Search presets"));
    search_->setPlaceholderText(QStringLiteral("Search presets"));
    tileRow->addWidget(search_);
    myLayout->addLayout(tileRow);
    connect(addTile_, &QAbstractButton::clicked, browser_, &PromptPresetsBrowser::startNewPreset);
    connect(search_, &QLineEdit::textChanged, browser_->userPresets(), &PromptPresetListModel::setSearchText);
    myPresetsContent_ = new QStackedWidget(myPage);
    userList_ = PresetKit::addUserPresetList(myPresetsContent_, browser_, &PromptPresetsBrowser::selectUserPreset,
                                             &PromptPresetsBrowser::confirmDelete, 3, true);
    myPresetsContent_->addWidget(emptyState(myPresetsContent_));
    myPresetsContent_->addWidget(noMatch(myPresetsContent_));
    PresetKit::clipToPanel(userList_, panel);
    myLayout->addWidget(myPresetsContent_, 1);
    pages_->addWidget(myPage);
    root->addWidget(pages_, 1);

    PresetKit::follow(browser_, this, close, form_, [this] { refresh(); });
    connect(browser_, &PromptPresetsBrowser::dismissRequested, this, &PromptPresetsView::dismissRequested);
    connect(browser_, &PromptPresetsBrowser::presetSelected, this, &PromptPresetsView::presetSelected);
    connect(browser_, &PromptPresetsBrowser::showingDeleteAlertChanged, this, [this] {
        if (browser_->showingDeleteAlert())
            QMetaObject::invokeMethod(this, &PromptPresetsView::askToDelete, Qt::QueuedConnection);
    });
    refresh();
}

PromptPresetsView::~PromptPresetsView() {
    // A movement chosen while it previewed leaves no hover end behind: its clip stops with the panel.
    movements_->stopPreview();
}

void PromptPresetsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The panel fades and slides in from the leading edge of its pane when it first comes on screen.
    if (!event->spontaneous() && !presented_) {
        presented_ = true;
        const double leading = layoutDirection() == Qt::RightToLeft ? width() : -width();
        Motion::enter(this, Motion::panelFadeMs, Motion::easeOut(), QPointF(leading, 0));
    }
    browser_->openCreateFormIfRequested();
}

void PromptPresetsView::setCurrentPrompt(const QString& prompt) {
    browser_->setCurrentPrompt(prompt);
}

QWidget* PromptPresetsView::firstFocus() const {
    return tabs_.value(int(browser_->allTabs().indexOf(browser_->selectedTab())));
}

void PromptPresetsView::refresh() {
    PresetKit::showTab(*browser_, tabs_, pages_, addTile_, myPresetsContent_);
}

void PromptPresetsView::askToDelete() {
    if (!browser_->showingDeleteAlert())
        return;
    const auto preset = browser_->presetToDelete();
    QPointer<PromptPresetsView> self(this);
    // "Cancel" first, the default: Return and Escape both keep the preset; "Delete" looks destructive.
    const int answer = Dialogs::current().alert(Dialogs::AlertStyle::warning, QStringLiteral("Delete Preset"),
                                                browser_->deleteAlertMessage(),
                                                {QStringLiteral("Cancel"), QStringLiteral("Delete")}, 0, 1);
    // The alert may run its own event loop; the panel may be gone when it returns.
    if (!self)
        return;
    if (answer == 1)
        browser_->deletePreset(preset);
    else
        browser_->cancelDelete();
}
