#include "ScenesView.h"

#include "CameraControlView.h"
#include "Controls.h"
#include "FocusRing.h"
#include "FrameSlotView.h"
#include "Glass.h"
#include "GlassButtons.h"
#include "Motion.h"
#include "Popover.h"
#include "PromptLimit.h"
#include "QueueStatusIndicator.h"
#include "Scrim.h"
#include "SegmentedPicker.h"
#include "SheetKeyboard.h"
#include "Spinner.h"
#include "SymbolIcon.h"
#include "SyntaxHighlightedTextEditor.h"
#include "Theme.h"
#include "UiScale.h"
#include "VideoGalleryLogicView.h"
#include "VideoSettingsPopover.h"
#include "VideoWorkspaceModel.h"
#include "WorkspaceWidgets.h"
#include "WrappedText.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A plain-style button showing only a symbol; its help text names it.
QToolButton* plainSymbolButton(const QString& name, const QString& help, const QString& symbol, double size,
                               const QColor& color, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAccessibleName(help);
    button->setToolTip(help);
    button->setIcon(symbolIcon(symbol, color));
    button->setIconSize(QSize(int(size), int(size)));
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    FocusRing::attach(button, 4);
    return button;
}

GlassIconButton* glassSymbolButton(const QString& name, const QString& symbol, const QString& help, double diameter,
                                   double symbolSize, QWidget* parent) {
    auto* button = new GlassIconButton(symbol, help, diameter, symbolSize, parent);
    button->setObjectName(name);
    return button;
}

// The control pane's scroller: never narrower than 185, nor than what the controls need across (they wrap and
// shrink down to that), so nothing is cut at the narrowest drag; the controls scroll down, never across.
class ControlPaneScroll final : public QScrollArea {
public:
    static constexpr int narrowest = 185;

    explicit ControlPaneScroll(QWidget* parent) : QScrollArea(parent) {
        // The bar takes room from the controls only while it shows.
        connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] { updateGeometry(); });
    }
    void setPane(QWidget* pane) {
        setWidget(pane);
        pane->installEventFilter(this);
    }
    QSize minimumSizeHint() const override {
        QSize size = QScrollArea::minimumSizeHint();
        if (const QWidget* pane = widget()) {
            const QScrollBar* bar = verticalScrollBar();
            const int across = pane->minimumSizeHint().width() + 2 * frameWidth() +
                               (bar->maximum() > bar->minimum() ? bar->sizeHint().width() : 0);
            size.setWidth(std::max(narrowest, across));
        }
        return size;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }
};

} // namespace

ScenesView::ScenesView(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent), environment_(environment) {
    setObjectName("ScenesView");
    setAutoFillBackground(true);
    model_ = new VideoWorkspaceModel(environment_, this);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(buildHeader());
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setObjectName("videoStudioHeaderDivider");
    Controls::setTextColor(divider, ColorRole::separator);
    root->addWidget(divider);
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("videoStudioSplit");
    splitter_->setChildrenCollapsible(false);
    QWidget* controls = buildControlPane();
    controls->setMaximumWidth(500);
    splitter_->addWidget(controls);
    galleryPane_ = createGalleryPane();
    galleryPane_->setMinimumWidth(400);
    splitter_->addWidget(galleryPane_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({370, 630});
    root->addWidget(splitter_, 1);

    // The editor is the prompt's view: it writes its text on flush, and follows the owner's changes.
    connect(model_, &VideoWorkspaceModel::flushPromptRequested, editor_, &SyntaxHighlightedTextEditor::flush);
    connect(editor_, &SyntaxHighlightedTextEditor::textCommitted, model_, &VideoWorkspaceModel::setPrompt);
    connect(model_, &VideoWorkspaceModel::promptChanged, this, [this] {
        editor_->updateFromOwner(model_->prompt());
        refreshPrompt();
    });
    // The placeholder follows the editor itself, so it never overlaps the first letters typed.
    connect(editor_, &QPlainTextEdit::textChanged, this, &ScenesView::refreshPrompt);
    connect(model_, &VideoWorkspaceModel::textEditorResetTriggerChanged, this,
            [this] { editor_->reset(model_->prompt()); });
    QPointer<VideoWorkspaceModel> guard(model_);
    editor_->setOnEnter([guard] {
        if (guard)
            guard->handlePromptEnter();
    });
    connect(model_, &VideoWorkspaceModel::videoModeChanged, this, &ScenesView::refreshMode);
    connect(model_, &VideoWorkspaceModel::folderChanged, this, &ScenesView::refreshFolder);
    connect(model_, &VideoWorkspaceModel::queueBlockChanged, this, &ScenesView::refreshQueueBlock);
    connect(model_, &VideoWorkspaceModel::showCameraControlsChanged, this,
            [this] { showCameraControls(model_->showCameraControls()); });
    connect(model_, &VideoWorkspaceModel::showPromptPresetsChanged, this,
            [this] { showPromptPresets(model_->showPromptPresets()); });

    connect(&Theme::instance(), &Theme::changed, this, [this] {
        refreshPrompt();
        refreshFolder();
    });

    model_->onAppearSetup();
    model_->restoreSavedPrompt();
    editor_->reset(model_->prompt());
    refreshMode();
    refreshPrompt();
    refreshFolder();
    refreshQueueBlock();
    applyScale();
}

ScenesView::~ScenesView() {
    model_->saveStudioState();
}

double ScenesView::scaleForWidth(double width) {
    return std::clamp(width / 1000.0, 0.9, 1.6);
}

QWidget* ScenesView::buildHeader() {
    auto* header = new QWidget(this);
    header->setObjectName("videoStudioHeader");
    headerRow_ = new QHBoxLayout(header);
    headerRow_->setSpacing(0);
    leftGroup_ = new QHBoxLayout;
    rightGroup_ = new QHBoxLayout;
    backButton_ = glassSymbolButton("backToImages", "chevron.left", "Back to Images", 32, 14, header);
    backButton_->setSymbolSize(14, QFont::DemiBold);
    connect(backButton_, &GlassButton::clicked, model_, &VideoWorkspaceModel::backToImages);
    // Title and queue status share one top-aligned group so the status can sit on the title's baseline.
    auto* titleGroup = new QWidget(header);
    titleGroup->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    titleRow_ = new QHBoxLayout(titleGroup);
    titleRow_->setContentsMargins(0, 0, 0, 0);
    title_ = new QLabel(QStringLiteral("Qel Ruriro"), titleGroup);
    title_->setObjectName("videoStudioTitle");
    queueIndicator_ = new QueueStatusIndicator(environment_.queueManager, StudioRules::IndicatorTab::video, titleGroup);
    queueIndicator_->alignWithTitle(title_);
    titleRow_->addWidget(title_, 0, Qt::AlignTop);
    titleRow_->addWidget(queueIndicator_, 0, Qt::AlignTop);
    leftGroup_->addWidget(backButton_);
    leftGroup_->addWidget(titleGroup);
    headerRow_->addLayout(leftGroup_);
    headerRow_->addStretch(1);

    folderButton_ = new GlassButton(header);
    folderButton_->setObjectName("videoFolderButton");
    folderButton_->setSymbol("folder");
    folderButton_->setSymbolColor(Theme::instance().color(ColorRole::blue));
    folderButton_->setCornerRadius(6);
    folderButton_->setCursor(Qt::PointingHandCursor);
    connect(folderButton_, &GlassButton::clicked, model_, &VideoWorkspaceModel::chooseVideoFolder);
    dots_ = new SlotDots(model_, header);

    queueBlock_ = new QWidget(header);
    queueBlock_->setObjectName("videoQueueBlock");
    queueBlockColumn_ = new QVBoxLayout(queueBlock_);
    queueBlockColumn_->setContentsMargins(0, 0, 0, 0);
    queueCountRow_ = new QHBoxLayout;
    queueBlockLabel_ = new QLabel("Video Queue", queueBlock_);
    Controls::setTextColor(queueBlockLabel_, ColorRole::secondary);
    queueBlockCount_ = new QLabel(queueBlock_);
    queueBlockCount_->setObjectName("videoQueueCount");
    queueCountRow_->addWidget(queueBlockLabel_);
    queueCountRow_->addWidget(queueBlockCount_);
    queueBlockColumn_->addLayout(queueCountRow_, 0);
    queueBlockColumn_->setAlignment(queueCountRow_, Qt::AlignRight);
    queueBlockActive_ = new QWidget(queueBlock_);
    queueActiveRow_ = new QHBoxLayout(queueBlockActive_);
    queueActiveRow_->setContentsMargins(0, 0, 0, 0);
    queueBlockSpinner_ = new Spinner({SpinnerLook::Style::spokes}, Spinner::smallDiameter * 0.7, queueBlockActive_);
    queueBlockSpinner_->setObjectName("videoQueueSpinner");
    queueBlockGenerating_ = new QLabel("Generating...", queueBlockActive_);
    Controls::setTextColor(queueBlockGenerating_, ColorRole::secondary);
    queueActiveRow_->addWidget(queueBlockSpinner_);
    queueActiveRow_->addWidget(queueBlockGenerating_);
    queueBlockColumn_->addWidget(queueBlockActive_, 0, Qt::AlignRight);

    rightGroup_->addWidget(folderButton_, 0, Qt::AlignVCenter);
    rightGroup_->addWidget(dots_, 0, Qt::AlignVCenter);
    rightGroup_->addWidget(queueBlock_, 0, Qt::AlignVCenter);
    headerRow_->addLayout(rightGroup_);
    return header;
}

QWidget* ScenesView::buildControlPane() {
    auto* pane = new QWidget(this);
    pane->setObjectName("videoControlPane");
    auto* column = new QVBoxLayout(pane);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);

    modePicker_ = new SegmentedPicker("modePicker", "Generation mode", pane);
    modePicker_->setSegments({{rawValue(VideoGenerationMode::imageToVideo), QStringLiteral("Image → Video")},
                              {rawValue(VideoGenerationMode::startEndVideo), QStringLiteral("Start → End")}});
    connect(modePicker_, &SegmentedPicker::activated, this, [this](const QString& key) {
        if (const auto mode = fromRawValue<VideoGenerationMode>(key))
            model_->selectVideoMode(*mode);
    });
    auto* modeRow = new QHBoxLayout;
    modeRow->setSpacing(12);
    modeRow->addWidget(modePicker_);
    modeRow->addStretch(1);
    column->addLayout(modeRow);

    auto* reference = new QVBoxLayout;
    reference->setSpacing(12);
    auto* head = new QHBoxLayout;
    referenceIcon_ = new QLabel(pane);
    referenceIcon_->setObjectName("referenceSectionSymbol");
    // The titles take a second line rather than push the pane's content past its edge at a large scale.
    referenceTitle_ = new WrappedText(QString(), Qt::AlignLeft | Qt::AlignVCenter, pane);
    referenceTitle_->setObjectName("referenceSectionTitle");
    head->addWidget(referenceIcon_);
    head->addWidget(referenceTitle_);
    head->addStretch(1);
    reference->addLayout(head);
    referenceSlot_ = new FrameSlotView(FrameSlotView::Kind::reference, model_, pane);
    reference->addWidget(referenceSlot_);
    startEndSlots_ = new QWidget(pane);
    auto* grid = new QGridLayout(startEndSlots_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    grid->addWidget(new FrameSlotView(FrameSlotView::Kind::start, model_, startEndSlots_), 0, 0);
    grid->addWidget(new FrameSlotView(FrameSlotView::Kind::end, model_, startEndSlots_), 0, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    reference->addWidget(startEndSlots_);
    column->addLayout(reference);

    // The prompt box and the space under it share what the window has to spare; the box keeps at least 140.
    column->addWidget(buildPromptSection(), 1);
    column->addStretch(1);
    generateButton_ = new GenerateButton(model_, pane);
    column->addWidget(generateButton_);

    auto* scroll = new ControlPaneScroll(this);
    scroll->setObjectName("videoControlScroll");
    scroll->setFrameShape(QFrame::NoFrame);
    // A frame around the controls, not a control: Tab goes straight to what it holds.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setPane(pane);
    scroll->verticalScrollBar()->setObjectName("videoControlVerticalScrollBar");
    scroll->verticalScrollBar()->setAccessibleName("Controls scroll bar");
    scroll->horizontalScrollBar()->setObjectName("videoControlHorizontalScrollBar");
    scroll->horizontalScrollBar()->setAccessibleName("Controls horizontal scroll bar");
    return scroll;
}

QWidget* ScenesView::buildPromptSection() {
    auto* section = new QWidget(this);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    promptHeader_ = new QWidget(section);
    auto* header = new QHBoxLayout(promptHeader_);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(8);
    promptSymbol_ = new QLabel(promptHeader_);
    promptSymbol_->setObjectName("promptSymbol");
    promptSymbol_->setPixmap(symbolPixmap("text.cursor", 14, Theme::instance().color(ColorRole::blue), 2.0));
    promptTitle_ = new WrappedText("Prompt (Optional)", Qt::AlignLeft | Qt::AlignVCenter, promptHeader_);
    promptTitle_->setObjectName("promptTitle");
    counter_ = new QLabel(promptHeader_);
    counter_->setObjectName("promptCounter");
    clearButton_ = plainSymbolButton("clearPrompt", "Clear text", "xmark", 12,
                                     withOpacity(Theme::instance().color(ColorRole::secondary), 0.6), promptHeader_);
    connect(clearButton_, &QToolButton::clicked, model_, &VideoWorkspaceModel::clearPrompt);
    header->addWidget(promptSymbol_);
    header->addWidget(promptTitle_);
    header->addStretch(1);
    counterRow_ = new QHBoxLayout;
    counterRow_->addWidget(counter_);
    counterRow_->addWidget(clearButton_);
    header->addLayout(counterRow_);
    column->addWidget(promptHeader_);

    auto* box = new QFrame(section);
    promptBox_ = box;
    box->setObjectName("promptBox");
    box->setMinimumHeight(140);
    box->setStyleSheet(QStringLiteral("#promptBox { background: palette(base); border: 1px solid rgba(128,128,128,77);"
                                      " border-radius: 8px; }"));
    auto* layers = new QGridLayout(box);
    layers->setContentsMargins(0, 0, 0, 0);

    auto* editorHolder = new QWidget(box);
    editorPadding_ = new QVBoxLayout(editorHolder);
    editor_ = new SyntaxHighlightedTextEditor(editorHolder);
    editor_->setObjectName("promptEditor");
    // The box sets the height, 140 at least; the editor fills what it is given.
    editor_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    editor_->setAccessibleName("Prompt (Optional)");
    editorPadding_->addWidget(editor_);
    layers->addWidget(editorHolder, 0, 0);

    // Wraps in a narrow box rather than widen it.
    placeholder_ = new WrappedText("Enter optional motion description...", Qt::AlignLeft | Qt::AlignTop, box);
    placeholder_->setObjectName("promptPlaceholder");
    placeholder_->setAttribute(Qt::WA_TransparentForMouseEvents);
    Controls::setTextColor(placeholder_, ColorRole::secondary);
    layers->addWidget(placeholder_, 0, 0, Qt::AlignTop | Qt::AlignLeft);

    createPresetButton_ =
        plainSymbolButton("createPresetFromPrompt", "Create preset from current prompt", "plus.square", 14,
                          withOpacity(Theme::instance().color(ColorRole::blue), 0.8), box);
    connect(createPresetButton_, &QToolButton::clicked, model_, &VideoWorkspaceModel::openCreatePresetFromPrompt);
    auto* topRight = new QWidget(box);
    createPresetPadding_ = new QHBoxLayout(topRight);
    createPresetPadding_->addWidget(createPresetButton_);
    layers->addWidget(topRight, 0, 0, Qt::AlignTop | Qt::AlignRight);

    settingsButton_ = glassSymbolButton("videoSettingsButton", "gearshape", "Video Settings", 28, 14, box);
    connect(settingsButton_, &GlassButton::clicked, this, [this] {
        model_->setShowVideoSettings(true);
        openVideoSettingsPopover();
    });
    presetsButton_ = glassSymbolButton("promptPresetsButton", "list.bullet.rectangle", "Prompt Presets", 28, 14, box);
    connect(presetsButton_, &GlassButton::clicked, this,
            [this] { model_->setShowPromptPresets(!model_->showPromptPresets()); });
    cameraButton_ = glassSymbolButton("cinematicPresetsButton", "video", "Cinematic Presets", 28, 14, box);
    connect(cameraButton_, &GlassButton::clicked, this, [this] { model_->setShowCameraControls(true); });
    for (GlassButton* button : {settingsButton_, presetsButton_, cameraButton_})
        button->setSymbolColor(Theme::instance().color(ColorRole::blue));
    auto* bottom = new QWidget(box);
    bottomBarPadding_ = new QHBoxLayout(bottom);
    bottomBarPadding_->addWidget(settingsButton_);
    bottomBarPadding_->addStretch(1);
    bottomBarPadding_->setSpacing(8);
    bottomBarPadding_->addWidget(presetsButton_);
    bottomBarPadding_->addWidget(cameraButton_);
    layers->addWidget(bottom, 0, 0, Qt::AlignBottom);

    column->addWidget(box, 1);
    return section;
}

QWidget* ScenesView::createGalleryPane() {
    if (environment_.galleryViewModel) {
        gallery_ = new VideoGalleryLogicView(environment_, this);
        connect(gallery_, &VideoGalleryLogicView::presetTextChosen, model_, &VideoWorkspaceModel::insertPresetText);
        connect(gallery_, &VideoGalleryLogicView::promptPresetsShownChanged, model_,
                &VideoWorkspaceModel::setShowPromptPresets);
        connect(model_, &VideoWorkspaceModel::promptChanged, gallery_,
                [this] { gallery_->setPromptPresetsPrompt(model_->prompt()); });
        return gallery_;
    }
    // Without a gallery model (a studio built on its own) the pane stays empty.
    auto* pane = new QWidget(this);
    pane->setObjectName("videoGalleryPane");
    return pane;
}

QWidget* ScenesView::createCameraControls() {
    // A sheet over the dimmed studio on the ultra-thin material, holding the cinematic presets in three columns.
    // The studio behind it dims and takes no clicks.
    auto* scrim = new Scrim(70, 110, this);
    scrim->setObjectName("cameraControlsScrim");
    auto* sheet = new GlassPanel(scrim);
    sheet->setObjectName("cameraControls");
    sheet->setFill(GlassPanel::Fill::ultraThinMaterial);
    sheet->setCornerRadius(Theme::mediumRadius);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new CameraControlView(3, sheet);
    layout->addWidget(view);
    connect(view, &CameraControlView::dismissRequested, model_, [this] { model_->setShowCameraControls(false); });
    // The sheet stays open after a choice unless it closes itself.
    connect(view, &CameraControlView::presetSelected, model_, &VideoWorkspaceModel::insertPresetText);
    return scrim;
}

void ScenesView::placeCameraControls() {
    if (!cameraControls_)
        return;
    cameraControls_->setGeometry(rect());
    if (auto* sheet = cameraControls_->findChild<QWidget*>("cameraControls"))
        sheet->setGeometry(CameraControlView::sheetGeometry(size()));
}

void ScenesView::showPromptPresets(bool show) {
    // The gallery pane presents the prompt presets panel; it reads the prompt and the create flag once.
    if (!gallery_)
        return;
    if (!show) {
        gallery_->hidePromptPresets();
        return;
    }
    if (gallery_->isPromptPresetsShown())
        return;
    const bool openCreate = model_->takeShouldOpenCreatePreset();
    gallery_->showPromptPresets(model_->prompt(), openCreate);
}

void ScenesView::showCameraControls(bool show) {
    if (!show) {
        if (QWidget* sheet = cameraControls_) {
            SheetKeyboard::release(sheet);
            // The sheet fades out; one opened meanwhile is a new one.
            sheet->setObjectName(QStringLiteral("cameraControlsScrimLeaving"));
            Motion::leave(sheet, Motion::panelFadeMs, Motion::easeOut(), [sheet] {
                sheet->hide();
                sheet->deleteLater();
            });
        }
        cameraControls_ = nullptr;
        return;
    }
    if (cameraControls_)
        return;
    cameraControls_ = createCameraControls();
    placeCameraControls();
    cameraControls_->show();
    cameraControls_->raise();
    auto* view = cameraControls_->findChild<CameraControlView*>();
    SheetKeyboard::open(cameraControls_, view ? view->firstFocus() : nullptr,
                        [this] { model_->setShowCameraControls(false); });
}

void ScenesView::openVideoSettingsPopover() {
    if (popover_ || !environment_.videoSettings)
        return;
    auto* popover = new Popover(settingsButton_);
    popover->setObjectName("videoSettingsPopup");
    popover->setAttribute(Qt::WA_DeleteOnClose);
    // It hangs from the button's bottom centre.
    popover->setPreferredEdge(Popover::Edge::below);
    popover->setContent(new VideoSettingsPopover(*environment_.videoSettings, model_->videoMode(), popover));
    connect(popover, &Popover::closed, model_, [this] { model_->setShowVideoSettings(false); });
    connect(popover, &QObject::destroyed, model_, [this] { model_->setShowVideoSettings(false); });
    popover->popup();
    popover_ = popover;
}

void ScenesView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const double next = scaleForWidth(event->size().width());
    if (!qFuzzyCompare(next, scale_)) {
        scale_ = next;
        applyScale();
    }
    placeCameraControls();
}

void ScenesView::applyScale() {
    const double s = scale_;
    headerRow_->setContentsMargins(40, qRound(6 * s), 40, qRound(6 * s));
    leftGroup_->setSpacing(qRound(20 * s));
    titleRow_->setSpacing(qRound(20 * s));
    rightGroup_->setSpacing(qRound(16 * s));
    queueBlockColumn_->setSpacing(qRound(4 * s));
    queueCountRow_->setSpacing(qRound(8 * s));
    queueActiveRow_->setSpacing(qRound(8 * s));
    queueBlockLabel_->setFont(Theme::font(12 * s, QFont::Medium));
    queueBlockCount_->setFont(Theme::font(12 * s, QFont::DemiBold));
    queueBlockGenerating_->setFont(Theme::font(11 * s, QFont::Medium));
    title_->setFont(Theme::font(28 * s, QFont::Bold));
    queueIndicator_->setScale(s);
    backButton_->setCircleDiameter(32 * s);
    backButton_->setSymbolSize(14 * s, QFont::DemiBold);
    folderButton_->setSymbolSize(14 * s, QFont::Medium);
    folderButton_->setTitleFont(12 * s, QFont::Medium);
    folderButton_->setSpacing(6 * s);
    folderButton_->setPadding(QMarginsF(10 * s, 6 * s, 10 * s, 6 * s));
    folderButton_->setFixedWidth(int(158 * s));
    referenceTitle_->setFont(Theme::font(15 * s, QFont::DemiBold));
    promptTitle_->setFont(Theme::font(15 * s, QFont::DemiBold));
    counter_->setFont(Theme::font(11 * s));
    counterRow_->setSpacing(qRound(8 * s));
    const int clearGlyph = qRound(12 * s);
    clearButton_->setIconSize(QSize(clearGlyph, clearGlyph));
    // The header keeps room for the longest count and the clear button, so the pane never widens while the prompt
    // grows; until then the title has that room.
    const int longestCount =
        counter_->fontMetrics().horizontalAdvance(QStringLiteral("%1/%1").arg(PromptLimit::maxCharacters));
    const int headerSpacing = promptHeader_->layout()->spacing();
    promptHeader_->setMinimumWidth(promptSymbol_->sizeHint().width() + headerSpacing +
                                   promptTitle_->minimumSizeHint().width() + headerSpacing + longestCount +
                                   counterRow_->spacing() + clearButton_->sizeHint().width());
    // The box's layers are laid out inside its stroke; their paddings count from its outer edge.
    promptBox_->ensurePolished();
    const int edge = promptBox_->contentsRect().left();
    const auto inside = [edge](double padding) { return std::max(0, qRound(padding) - edge); };
    editorPadding_->setContentsMargins(inside(12 * s), inside(12 * s), inside((12 + 40) * s), inside((12 + 40) * s));
    placeholder_->setContentsMargins(inside(16 * s), inside(12 * s), 0, 0);
    createPresetPadding_->setContentsMargins(0, inside(10), inside(10), 0);
    bottomBarPadding_->setContentsMargins(inside(10), 0, inside(10), inside(10));
    editor_->setFontSize(14 * s);
    // A few letters beside its scroll bar: the box may narrow to its buttons, not to the editor's scroll bars.
    editor_->setMinimumWidth(editor_->verticalScrollBar()->sizeHint().width() +
                             4 * editor_->fontMetrics().averageCharWidth());
    dots_->setScale(s);
    if (gallery_)
        gallery_->setScale(s);
    generateButton_->setScale(s);
    UiScale::setScaleOf(this, s);
}

void ScenesView::refreshMode() {
    const bool startEnd = model_->startEndMode();
    modePicker_->setSelectedKey(rawValue(model_->videoMode()));
    referenceTitle_->setText(startEnd ? "Reference Images" : "Reference Image");
    referenceIcon_->setPixmap(
        symbolPixmap(startEnd ? "rectangle.split.2x1" : "photo", 15, Theme::instance().color(ColorRole::blue), 2.0));
    referenceSlot_->setVisible(!startEnd);
    startEndSlots_->setVisible(startEnd);
}

void ScenesView::refreshPrompt() {
    const QString prompt = model_->prompt();
    Controls::showCounter(counter_, model_->counterText(), model_->counterIsWarning());
    clearButton_->setVisible(!prompt.isEmpty());
    createPresetButton_->setVisible(!prompt.isEmpty());
    placeholder_->setVisible(prompt.isEmpty() && editor_->toPlainText().isEmpty());
}

void ScenesView::refreshFolder() {
    folderButton_->setText(model_->folderText());
    folderButton_->setAccessibleName(model_->folderText());
    folderButton_->setToolTip(model_->folderHelpText());
    // The button paints its title itself: a palette colour would not reach it. The symbol stays blue.
    folderButton_->setTitleColor(model_->folderResolved() ? Theme::instance().color(ColorRole::primary)
                                                          : Theme::instance().color(ColorRole::secondary));
}

void ScenesView::refreshQueueBlock() {
    queueBlock_->setVisible(model_->showsQueueBlock());
    queueBlockCount_->setText(QString::number(model_->totalVideoTaskCount()));
    queueBlockActive_->setVisible(model_->activeVideoTaskCount() > 0);
}
