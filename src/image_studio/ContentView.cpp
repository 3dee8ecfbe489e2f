#include "ContentView.h"

#include "AppViewModel.h"
#include "ContextRing.h"
#include "Controls.h"
#include "GlassButtons.h"
#include "ImageStudioModel.h"
#include "LeftPanel.h"
#include "QueueStatusIndicator.h"
#include "RightPanel.h"
#include "Theme.h"
#include "UiScale.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QSplitter>
#include <QVBoxLayout>

#include <cmath>

using namespace Controls;

ContentView::ContentView(const AppEnvironment& environment, QWidget* parent, int expectedWidth)
    : QWidget(parent), environment_(environment) {
    setObjectName("ContentView");
    model_ = new ImageStudioModel(environment_, this);
    if (expectedWidth > 0) {
        scale_ = ImageStudioModel::scaleForWidth(expectedWidth);
        UiScale::setScaleOf(this, scale_);
    }
    setAutoFillBackground(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    // One line in the separator colour of the appearance.
    divider_ = new QWidget(this);
    divider_->setObjectName("headerDivider");
    divider_->setFixedHeight(1);
    divider_->setAutoFillBackground(true);
    column->addWidget(divider_);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName("studioSplit");
    split->setChildrenCollapsible(false);
    left_ = new LeftPanel(*model_, split, scale_);
    left_->setMaximumWidth(500);
    right_ = new RightPanel(*model_, split, scale_);
    right_->setMinimumWidth(400);
    split->addWidget(left_);
    split->addWidget(right_);
    split->setStretchFactor(1, 1);
    split->setSizes({370, 630});
    column->addWidget(split, 1);

    connect(model_, &ImageStudioModel::folderChanged, this, &ContentView::showFolder);
    connect(model_, &ImageStudioModel::serviceStateChanged, this, &ContentView::showSession);
    showFolder();
    showSession();
    showDivider();
    connect(&Theme::instance(), &Theme::changed, this, &ContentView::showFolder);
    connect(&Theme::instance(), &Theme::changed, this, &ContentView::showDivider);
}

ContentView::~ContentView() {
    if (appeared_)
        model_->disappear();
}

namespace {
// A text button of the header at the studio's scale: symbol and medium-weight title, the gap between them and the
// padding around them.
void scaleTextButton(QAbstractButton* button, double symbol, double title, double spacing, const QMarginsF& padding,
                     double scale) {
    auto* glass = static_cast<GlassButton*>(button);
    glass->setSymbolSize(symbol * scale);
    glass->setTitleFont(title * scale, QFont::Medium);
    glass->setSpacing(spacing * scale);
    glass->setPadding(padding * scale);
}

// The header's buttons: their sizes follow the studio's scale.
void scaleHeaderButtons(QAbstractButton* toVideo, QAbstractButton* folder, QAbstractButton* newChat, double scale) {
    auto* switchButton = static_cast<GlassButton*>(toVideo);
    switchButton->setCircleDiameter(32 * scale);
    switchButton->setSymbolSize(14 * scale, QFont::DemiBold);
    scaleTextButton(folder, 14, 12, 6, QMarginsF(10, 6, 10, 6), scale);
    scaleTextButton(newChat, 13, 13, 7, QMarginsF(14, 7, 14, 7), scale);
}
} // namespace

QWidget* ContentView::buildHeader() {
    auto* header = new QWidget(this);
    header->setObjectName("studioHeader");
    // Its width follows the window's, whose width sets the scale: the width the header needs at the last scale
    // must not hold the window back when it jumps narrower (a restore from full screen).
    header->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    headerRow_ = new QHBoxLayout(header);
    // Every gap is a scaled spacer: a row's own spacing would add to them.
    headerRow_->setSpacing(0);
    const auto gap = [this](QList<QSpacerItem*>& gaps) {
        auto* spacer = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
        gaps.append(spacer);
        headerRow_->addSpacerItem(spacer);
    };

    title_ = label("studioTitle", "Qel Image", header);
    // At its scaled size from the start: the indicator measures it at once.
    title_->setFont(Theme::font(28 * scale_, QFont::Bold));
    auto* toVideo = iconButton("switchToVideoStudio", "chevron.right", "Switch to Scenes", 32, header);
    toVideo_ = toVideo;
    connect(toVideo, &QAbstractButton::clicked, this, [this] {
        if (environment_.appViewModel)
            environment_.appViewModel->setCurrentView(ViewMode::videoGeneration);
    });
    indicator_ = new QueueStatusIndicator(environment_.queueManager, StudioRules::IndicatorTab::photo, header, scale_);
    indicator_->alignWithTitle(title_);
    // An invisible placeholder as wide as a back button, then the title.
    titlePlaceholder_ = new QSpacerItem(24, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    headerRow_->addSpacerItem(titlePlaceholder_);
    gap(titleGaps_);
    headerRow_->addWidget(title_, 0, Qt::AlignTop);
    gap(titleGaps_);
    headerRow_->addWidget(toVideo);
    gap(titleGaps_);
    headerRow_->addWidget(indicator_, 0, Qt::AlignTop);
    headerRow_->addStretch();

    folder_ = textButton("photoFolder", "folder", QString(), QString(), header);
    auto* folderButton = static_cast<GlassButton*>(folder_);
    folderButton->setFill(GlassButton::Fill::borderColor);
    folderButton->setCornerRadius(6);
    connect(folder_, &QAbstractButton::clicked, model_, &ImageStudioModel::chooseFolder);
    auto* ring = new ContextRing(header);
    ring_ = ring;
    newChat_ = textButton("newChat", "message.badge.waveform", "New Chat", QString(), header);
    auto* newChatButton = static_cast<GlassButton*>(newChat_);
    newChatButton->setFill(GlassButton::Fill::borderColor);
    newChatButton->setCornerRadius(7);
    // Nothing to clear: the whole button at half opacity, and only that, and the pointer changes nothing.
    newChatButton->setDisabledOpacity(0.5);
    newChatButton->setHoverWhileDisabled(false);
    connect(newChat_, &QAbstractButton::clicked, model_, &ImageStudioModel::startNewChat);
    headerRow_->addWidget(folder_);
    gap(toolbarGaps_);
    headerRow_->addWidget(ring_);
    gap(toolbarGaps_);
    headerRow_->addWidget(newChat_);
    scaleHeader();
    if (scale_ != 1.0)
        ring->setScale(scale_);
    return header;
}

void ContentView::scaleHeader() {
    const auto scaled = [this](double size) { return int(std::lround(size * scale_)); };
    // The 40 at the sides stays; the height follows the scale.
    headerRow_->setContentsMargins(40, scaled(6), 40, scaled(6));
    title_->setFont(Theme::font(28 * scale_, QFont::Bold));
    titlePlaceholder_->changeSize(scaled(24), 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    for (QSpacerItem* spacer : std::as_const(titleGaps_))
        spacer->changeSize(scaled(20), 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    for (QSpacerItem* spacer : std::as_const(toolbarGaps_))
        spacer->changeSize(scaled(16), 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    headerRow_->invalidate();
    scaleHeaderButtons(toVideo_, folder_, newChat_, scale_);
}

void ContentView::showFolder() {
    folder_->setText(model_->folderLabel());
    folder_->setAccessibleName(model_->folderLabel());
    folder_->setToolTip(model_->folderHelp());
    auto* folderButton = static_cast<GlassButton*>(folder_);
    folderButton->setTitleColor(
        Theme::instance().color(model_->hasFolderName() ? ColorRole::primary : ColorRole::secondary));
    folderButton->setSymbolColor(Theme::instance().color(ColorRole::orange));
}

void ContentView::showSession() {
    auto* ring = static_cast<ContextRing*>(ring_);
    ring->setPercent(model_->usagePercent());
    ring->setToolTip(model_->contextHelp());
    ring->setAccessibleName(model_->contextHelp());
    const bool empty = model_->isSessionEmpty();
    newChat_->setEnabled(!empty);
    // Nothing to clear: the quiet control background instead of the border colour.
    static_cast<GlassButton*>(newChat_)->setFill(empty ? GlassButton::Fill::controlBackground
                                                       : GlassButton::Fill::borderColor);
}

void ContentView::showDivider() {
    QPalette palette = divider_->palette();
    palette.setColor(QPalette::Window, Theme::instance().color(ColorRole::separator));
    divider_->setPalette(palette);
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!appeared_) {
        appeared_ = true;
        model_->appear();
    }
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const double scale = ImageStudioModel::scaleForWidth(width());
    if (scale == scale_)
        return;
    scale_ = scale;
    UiScale::setScaleOf(this, scale);
    scaleHeader();
    indicator_->setScale(scale);
    static_cast<ContextRing*>(ring_)->setScale(scale);
    left_->setScale(scale);
    right_->setScale(scale);
    // The header takes its new height with the next layout pass of the studio, not one later.
    headerRow_->activate();
}
