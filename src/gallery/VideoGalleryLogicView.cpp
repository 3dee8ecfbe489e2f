#include "VideoGalleryLogicView.h"

#include "Controls.h"
#include "DragOutCopies.h"
#include "Glass.h"
#include "Log.h"
#include "Motion.h"
#include "MovementPlayer.h"
#include "PromptPresetsView.h"
#include "Scrim.h"
#include "SheetKeyboard.h"
#include "SymbolIcon.h"
#include "Theme.h"
#include "VideoGalleryGrid.h"
#include "VideoGalleryItemModel.h"
#include "VideoGalleryViewModel.h"
#include "VideoSettings.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyleOptionMenuItem>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The icon of the empty state: a symbol over a rounded tile of its own colour.
class EmptyIcon final : public QLabel {
public:
    using QLabel::QLabel;
    void set(const QString& symbol, const QColor& color, double scale) {
        symbol_ = symbol;
        color_ = color;
        scale_ = scale;
        setFixedSize(int(100 * scale), int(100 * scale));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(continuousRoundedRect(QRectF(rect()), 12), withOpacity(color_, 0.1));
        const double side = 60 * scale_;
        painter.drawPixmap(QPointF((width() - side) / 2, (height() - side) / 2),
                           symbolPixmap(symbol_, side, color_, devicePixelRatioF()));
    }

private:
    QString symbol_;
    QColor color_;
    double scale_ = 1;
};

// The grid-mode menu's rows: the text, and after the chosen row's text a checkmark; no check box before any row.
// The actions stay checkable, so a screen reader still hears which row is chosen.
class GridModeMenuStyle final : public QProxyStyle {
public:
    static constexpr int margin = 12;
    static constexpr int gap = 6;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element != CE_MenuItem || !item || item->menuItemType != QStyleOptionMenuItem::Normal) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // The row's background and highlight as the platform draws them, then its text and mark.
        const QStyleOptionMenuItem bare = plainRow(*item, true);
        QProxyStyle::drawControl(element, &bare, painter, widget);
        const bool enabled = item->state & State_Enabled;
        const bool selected = enabled && (item->state & State_Selected);
        const QColor color = item->palette.color(enabled ? QPalette::Normal : QPalette::Disabled,
                                                 selected ? QPalette::HighlightedText : QPalette::Text);
        const QFontMetrics metrics(item->font);
        const QRect text = item->rect.adjusted(margin, 0, -margin, 0);
        painter->save();
        painter->setFont(item->font);
        painter->setPen(color);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter, item->text);
        if (item->checked) {
            const int side = checkSide(metrics);
            const double ratio = widget ? widget->devicePixelRatioF() : 1.0;
            painter->drawPixmap(
                QPointF(text.left() + metrics.horizontalAdvance(item->text) + gap, text.center().y() + 1 - side / 2.0),
                symbolPixmap(QStringLiteral("checkmark"), side, color, ratio));
        }
        painter->restore();
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type != CT_MenuItem || !item || item->menuItemType != QStyleOptionMenuItem::Normal)
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        const QStyleOptionMenuItem bare = plainRow(*item, false);
        const QSize base = QProxyStyle::sizeFromContents(type, &bare, size, widget);
        const QFontMetrics metrics(item->font);
        // Room for the mark on every row, so the menu keeps its width whichever row is chosen.
        return QSize(2 * margin + metrics.horizontalAdvance(item->text) + gap + checkSide(metrics), base.height());
    }

private:
    static int checkSide(const QFontMetrics& metrics) { return metrics.ascent(); }
    static QStyleOptionMenuItem plainRow(const QStyleOptionMenuItem& item, bool withoutText) {
        QStyleOptionMenuItem row(item);
        row.checkType = QStyleOptionMenuItem::NotCheckable;
        row.checked = false;
        row.menuHasCheckableItems = false;
        if (withoutText)
            row.text.clear();
        return row;
    }
};

} // namespace

VideoGalleryLogicView::VideoGalleryLogicView(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent), environment_(environment) {
    setObjectName(QStringLiteral("videoGalleryView"));
    VideoGalleryViewModel* gallery = environment_.galleryViewModel;
    Q_ASSERT(gallery);
    if (environment_.modelContext) {
        gallery->setModelContext(environment_.modelContext);
        gallery->loadViewModeSettings();
    }
    // Drag copies earlier runs left for their receivers.
    DragOutCopies::removeStaleCopies();

    // The header first: the focus chain follows the order widgets are made in, and Tab the screen.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    model_ = new VideoGalleryItemModel(gallery, environment_.queueManager, this);
    grid_ = new VideoGalleryGrid(model_, gallery, environment_.movementPlayer, this);
    connect(grid_, &VideoGalleryGrid::recreateRequested, this, &VideoGalleryLogicView::recreate);
    connect(grid_, &VideoGalleryGrid::revealRequested, this, &VideoGalleryLogicView::showInFileManager);
    connect(grid_, &VideoGalleryGrid::deleteRequested, this, &VideoGalleryLogicView::confirmMoveToTrash);
    connect(grid_, &VideoGalleryGrid::failedJobRemoveRequested, gallery, &VideoGalleryViewModel::dismissFailedJob);
    stack_ = new QStackedWidget(this);
    stack_->addWidget(grid_);
    stack_->addWidget(makeEmptyState());
    layout->addWidget(stack_, 1);

    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model_, signal, this, &VideoGalleryLogicView::updateContent);
    connect(model_, &QAbstractItemModel::modelReset, this, &VideoGalleryLogicView::updateContent);
    connect(gallery, &VideoGalleryViewModel::columnsChanged, this, &VideoGalleryLogicView::updateGridModeMenu);
    connect(gallery, &VideoGalleryViewModel::hasVideoKeyChanged, this, &VideoGalleryLogicView::updateEmptyState);
    // Labels take their colours when styled: a new scheme styles them again.
    connect(&Theme::instance(), &Theme::changed, this, [this] { setScale(scale_); });
    if (environment_.videoSettings) {
        connect(environment_.videoSettings, &VideoSettings::videoDirectoryBookmarkChanged, this,
                &VideoGalleryLogicView::handleFolderChange);
    }
    setScale(1);
    updateContent();
    setupGallery();
}

VideoGalleryLogicView::~VideoGalleryLogicView() = default;

QWidget* VideoGalleryLogicView::makeHeader() {
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("galleryHeader"));
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(24, 24, 24, 24);
    row->setSpacing(8);
    headerIcon_ = new QLabel(header);
    headerIcon_->setObjectName(QStringLiteral("galleryHeaderIcon"));
    headerTitle_ = new QLabel(QStringLiteral("Qel Ruriro Result"), header);
    headerTitle_->setObjectName(QStringLiteral("galleryTitle"));
    gridModeButton_ = new QToolButton(header);
    gridModeButton_->setObjectName(QStringLiteral("gridModeMenu"));
    gridModeButton_->setAutoRaise(true);
    gridModeButton_->setPopupMode(QToolButton::InstantPopup);
    gridModeButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    gridModeButton_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    auto* menu = new QMenu(gridModeButton_);
    menu->setObjectName(QStringLiteral("gridModeChoices"));
    auto* menuStyle = new GridModeMenuStyle;
    menuStyle->setParent(menu);
    menu->setStyle(menuStyle);
    for (const auto& choice : VideoGalleryViewModel::gridModeChoices()) {
        QAction* action = menu->addAction(choice.name);
        action->setObjectName(QStringLiteral("gridMode") + choice.name);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, choice] {
            galleryViewModel()->selectGridMode(choice);
            updateGridModeMenu();
        });
    }
    gridModeButton_->setMenu(menu);
    row->addWidget(headerIcon_);
    row->addWidget(headerTitle_);
    row->addStretch(1);
    row->addWidget(gridModeButton_);
    updateGridModeMenu();
    return header;
}

void VideoGalleryLogicView::updateGridModeMenu() {
    const QString name = galleryViewModel()->currentGridModeName();
    gridModeButton_->setText(name);
    gridModeButton_->setAccessibleName(QStringLiteral("Grid Mode: ") + name);
    gridModeButton_->setToolTip(QStringLiteral("Grid Mode"));
    const int columns = galleryViewModel()->columns();
    const auto choices = VideoGalleryViewModel::gridModeChoices();
    const auto actions = gridModeButton_->menu()->actions();
    for (int i = 0; i < actions.size() && i < choices.size(); ++i)
        actions[i]->setChecked(choices[i].columns == columns);
}

QWidget* VideoGalleryLogicView::makeEmptyState() {
    // In the pane's scroll view: a frame the full width and at least 500 high at the top, its content between
    // a space of at least 120 above and at least 200 below.
    auto* scroller = new QScrollArea(this);
    scroller->setObjectName(QStringLiteral("galleryEmptyScroll"));
    // Nothing in it acts: no Tab stop a screen reader could only call an unnamed pane.
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller->viewport()->setAutoFillBackground(false);
    scroller->verticalScrollBar()->setObjectName(QStringLiteral("galleryEmptyScrollBar"));
    scroller->verticalScrollBar()->setAccessibleName(QStringLiteral("Scroll Gallery"));
    scroller->horizontalScrollBar()->setObjectName(QStringLiteral("galleryEmptyHorizontalScrollBar"));
    scroller->horizontalScrollBar()->setAccessibleName(QStringLiteral("Scroll Gallery Sideways"));
    auto* page = new QWidget;
    page->setAutoFillBackground(false);
    auto* pageColumn = new QVBoxLayout(page);
    pageColumn->setContentsMargins(0, 0, 0, 0);
    pageColumn->setSpacing(0);
    emptyState_ = new QWidget(page);
    emptyState_->setObjectName(QStringLiteral("galleryEmptyState"));
    emptyState_->setMinimumHeight(500);
    emptyState_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* column = new QVBoxLayout(emptyState_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // Equal shares of what the frame has beyond the least it needs, as two flexible spaces get.
    column->addItem(new QSpacerItem(0, 120, QSizePolicy::Minimum, QSizePolicy::Expanding));
    auto* icon = new EmptyIcon(emptyState_);
    emptyIcon_ = icon;
    emptyIcon_->setObjectName(QStringLiteral("emptyStateIcon"));
    column->addWidget(emptyIcon_, 0, Qt::AlignHCenter);
    column->addSpacing(16);
    emptyTitle_ = new QLabel(emptyState_);
    emptyTitle_->setObjectName(QStringLiteral("emptyStateTitle"));
    emptyTitle_->setAlignment(Qt::AlignHCenter);
    emptyTitle_->setWordWrap(true);
    emptySubtitle_ = new QLabel(emptyState_);
    emptySubtitle_->setObjectName(QStringLiteral("emptyStateSubtitle"));
    emptySubtitle_->setAlignment(Qt::AlignHCenter);
    emptySubtitle_->setWordWrap(true);
    column->addWidget(emptyTitle_);
    column->addSpacing(8);
    column->addWidget(emptySubtitle_);
    column->addItem(new QSpacerItem(0, 200, QSizePolicy::Minimum, QSizePolicy::Expanding));
    pageColumn->addWidget(emptyState_);
    pageColumn->addStretch(1);
    scroller->setWidget(page);
    emptyPage_ = scroller;
    return scroller;
}

void VideoGalleryLogicView::updateEmptyState() {
    const VideoGalleryViewModel::EmptyState state = galleryViewModel()->emptyState();
    const Theme& theme = Theme::instance();
    static_cast<EmptyIcon*>(emptyIcon_)
        ->set(state.symbol, theme.color(state.warning ? ColorRole::red : ColorRole::blue), scale_);
    emptyTitle_->setText(state.title);
    emptyTitle_->setFont(Theme::font(15 * scale_, QFont::DemiBold));
    Controls::setTextColor(emptyTitle_, theme.color(state.warning ? ColorRole::red : ColorRole::primary));
    emptySubtitle_->setText(state.subtitle);
    emptySubtitle_->setFont(Theme::font(13 * scale_));
    Controls::setTextColor(emptySubtitle_, theme.color(ColorRole::secondary));
}

void VideoGalleryLogicView::setScale(double scale) {
    if (scale <= 0)
        return;
    scale_ = scale;
    const Theme& theme = Theme::instance();
    headerIcon_->setPixmap(symbolPixmap(QStringLiteral("play.rectangle.on.rectangle"), 15 * scale,
                                        theme.color(ColorRole::blue), devicePixelRatioF()));
    headerTitle_->setFont(Theme::font(15 * scale, QFont::DemiBold));
    Controls::setTextColor(headerTitle_, theme.color(ColorRole::primary));
    gridModeButton_->setFont(Theme::font(12 * scale));
    gridModeButton_->setIcon(symbolIcon(QStringLiteral("square.grid.3x3"), theme.color(ColorRole::secondary)));
    gridModeButton_->setIconSize(QSize(int(12 * scale), int(12 * scale)));
    Controls::setTextColor(gridModeButton_, theme.color(ColorRole::secondary));
    grid_->setScale(scale);
    updateEmptyState();
}

bool VideoGalleryLogicView::isShowingEmptyState() const {
    return stack_->currentWidget() == emptyPage_;
}

void VideoGalleryLogicView::updateContent() {
    const bool empty = model_->rowCount() == 0;
    // The last card gone with the focus in the grid: the button above takes it, not the empty pane.
    if (empty && (grid_->hasFocus() || grid_->isAncestorOf(QApplication::focusWidget())))
        gridModeButton_->setFocus(Qt::OtherFocusReason);
    stack_->setCurrentWidget(empty ? emptyPage_ : static_cast<QWidget*>(grid_));
}

void VideoGalleryLogicView::setupGallery() {
    VideoGalleryViewModel* gallery = galleryViewModel();
    const auto folder =
        environment_.videoSettings ? environment_.videoSettings->resolveVideoDirectoryURL() : std::optional<QString>();
    if (folder) {
        Log::line(QStringLiteral("🎬 [ScenesView] Setting up gallery for directory: ") + *folder);
        // The model keeps the folder's access open until it stops watching.
        gallery->startMonitoring(*folder);
    } else {
        Log::line(QStringLiteral("⚠️ [ScenesView] No video folder configured, stopping gallery monitoring"));
        gallery->stopMonitoring();
    }
}

void VideoGalleryLogicView::handleFolderChange() {
    setupGallery();
    Log::line(QStringLiteral("🔄 [VideoGallery] Switched video folder - cache cleared"));
}

void VideoGalleryLogicView::recreate(GalleryClip* clip) {
    galleryViewModel()->recreate(clip);
}

void VideoGalleryLogicView::showInFileManager(GalleryClip* clip) {
    galleryViewModel()->showInFileManager(clip);
}

void VideoGalleryLogicView::confirmMoveToTrash(GalleryClip* clip) {
    galleryViewModel()->confirmMoveToTrash(clip);
}

QWidget* VideoGalleryLogicView::makePromptPresetsPanel(const QString& currentPrompt, bool openCreatePreset,
                                                       QWidget* parent) {
    if (!environment_.promptPresetsManager) {
        // Without a presets store there is nothing to browse: only a way back.
        auto* close = new QPushButton(QStringLiteral("Close"), parent);
        close->setObjectName(QStringLiteral("promptPresetsClose"));
        connect(close, &QPushButton::clicked, this, &VideoGalleryLogicView::hidePromptPresets);
        return close;
    }
    // Made afresh each time it opens, so it starts on its first tab with an empty search.
    auto* panel =
        environment_.movementPlayer
            ? new PromptPresetsView(*environment_.promptPresetsManager, currentPrompt, openCreatePreset,
                                    *environment_.movementPlayer, parent)
            : new PromptPresetsView(*environment_.promptPresetsManager, currentPrompt, openCreatePreset, parent);
    panel->setObjectName(QStringLiteral("promptPresetsPanel"));
    connect(panel, &PromptPresetsView::dismissRequested, this, &VideoGalleryLogicView::hidePromptPresets);
    connect(panel, &PromptPresetsView::presetSelected, this, [this](const QString& text) {
        emit presetTextChosen(text);
        hidePromptPresets();
    });
    return panel;
}

void VideoGalleryLogicView::showPromptPresets(const QString& currentPrompt, bool openCreatePreset) {
    if (overlay_)
        hidePromptPresets();
    auto* overlay = new QWidget(this);
    overlay->setObjectName(QStringLiteral("promptPresetsOverlay"));
    overlay->setGeometry(rect());
    // The dimmed area around the panel, the same in both appearances; a click on it closes the panel.
    auto* scrim = new Scrim(77, 77, overlay);
    scrim->setObjectName(QStringLiteral("promptPresetsScrim"));
    scrim->setAccessibleName(QStringLiteral("Close Prompt Presets"));
    scrim->setOnTap([this] { hidePromptPresets(); });
    scrim->setGeometry(overlay->rect());
    auto* frame = new GlassPanel(overlay);
    frame->setObjectName(QStringLiteral("promptPresetsFrame"));
    frame->setFill(GlassPanel::Fill::ultraThinMaterial);
    frame->setCornerRadius(12);
    frame->setShadow(QColor(0, 0, 0, 84), 20);
    auto* frameLayout = new QVBoxLayout(frame);
    const int margin = frame->shadowMargin(); // the panel's shape lies inside its shadow
    frameLayout->setContentsMargins(margin, margin, margin, margin);
    frameLayout->addWidget(makePromptPresetsPanel(currentPrompt, openCreatePreset, frame));
    frame->setGeometry(panelGeometry(frame));
    overlay_ = overlay;
    overlay->show();
    overlay->raise();
    auto* panel = frame->findChild<PromptPresetsView*>();
    SheetKeyboard::open(frame, panel ? panel->firstFocus() : nullptr, [this] { hidePromptPresets(); });
    emit promptPresetsShownChanged(true);
}

void VideoGalleryLogicView::setPromptPresetsPrompt(const QString& prompt) {
    if (auto* panel = overlay_ ? overlay_->findChild<PromptPresetsView*>() : nullptr)
        panel->setCurrentPrompt(prompt);
}

void VideoGalleryLogicView::hidePromptPresets() {
    if (!overlay_)
        return;
    QWidget* overlay = overlay_;
    overlay_ = nullptr;
    SheetKeyboard::release(overlay->findChild<GlassPanel*>(QStringLiteral("promptPresetsFrame")));
    // The sheet fades out; a sheet opened meanwhile is a new one.
    overlay->setObjectName(QStringLiteral("promptPresetsOverlayLeaving"));
    Motion::leave(overlay, Motion::panelFadeMs, Motion::easeOut(), [overlay] {
        overlay->hide();
        overlay->deleteLater();
    });
    emit promptPresetsShownChanged(false);
}

QRect VideoGalleryLogicView::panelGeometry(GlassPanel* frame) const {
    // 350 wide at the leading edge; the shadow lies outside that.
    const int margin = frame->shadowMargin();
    return QRect(-margin, -margin, 350 + 2 * margin, height() + 2 * margin);
}

void VideoGalleryLogicView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The grid may be hidden behind the empty state; the space it will get is the stack's.
    grid_->setFirstScreenArea(stack_->size());
    if (overlay_) {
        overlay_->setGeometry(rect());
        for (QWidget* child : overlay_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->setGeometry(child->objectName() == QLatin1String("promptPresetsFrame")
                                   ? panelGeometry(static_cast<GlassPanel*>(child))
                                   : overlay_->rect());
    }
}
