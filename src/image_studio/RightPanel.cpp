#include "RightPanel.h"

#include "Controls.h"
#include "DashedFrame.h"
#include "Glass.h"
#include "GlassButtons.h"
#include "ImageStudioModel.h"
#include "Motion.h"
#include "ReplyDocument.h"
#include "ReplyView.h"
#include "ResultLabel.h"
#include "ResultPictureView.h"
#include "SheetKeyboard.h"
#include "Spinner.h"
#include "StudioPanel.h"
#include "SymbolIcon.h"
#include "Theme.h"
#include "UserImagePresetsView.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace Controls;

namespace {
// The text bubble's fade and growth when the header button toggles it.
constexpr int bubbleFadeMs = 300;

// The empty result's frame: the control background inside the studio's dashed frame.
class StateFrame final : public QStackedWidget {
public:
    using QStackedWidget::QStackedWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintDashedFrame(painter, size(), Theme::instance().color(ColorRole::controlBackground),
                         withOpacity(Theme::instance().color(ColorRole::secondary), 0.3));
    }
};

// The ready symbol's ground: a faint orange square with rounded corners, 100 by 100 at every scale.
class TintedSquare final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(255, 149, 0, 26));
            painter.drawRoundedRect(QRectF(rect()), 12, 12);
        }
        QLabel::paintEvent(event);
    }
};

Spinner* spinner(QWidget* parent, const QString& name, double diameter) {
    auto* spinner = new Spinner({SpinnerLook::Style::spokes}, diameter, parent);
    spinner->setObjectName(name);
    return spinner;
}

// The panel's titles and state messages: 15 × scale, semibold.
QFont headingFont(double scale) {
    return Theme::font(15 * scale, QFont::DemiBold);
}

QLabel* heading(const char* name, const QString& text, QWidget* parent, double scale) {
    QLabel* title = label(name, text, parent);
    title->setFont(headingFont(scale));
    return title;
}

// A heading that reports a result: assistive tools hear each one.
ResultLabel* resultHeading(const char* name, QWidget* parent, double scale) {
    auto* title = new ResultLabel(QString::fromLatin1(name), QString(), parent);
    title->setFont(headingFont(scale));
    return title;
}

// A page of the state area: what `fill` adds stands in a column, centred between two stretches.
template <class Fill> QWidget* centredPage(QWidget* parent, const char* name, int spacing, Fill fill) {
    auto* page = new QWidget(parent);
    page->setObjectName(name);
    auto* column = new QVBoxLayout(page);
    column->setSpacing(spacing);
    column->addStretch();
    fill(page, column);
    column->addStretch();
    return page;
}
} // namespace

RightPanel::RightPanel(ImageStudioModel& model, QWidget* parent, double scale)
    : QWidget(parent), model_(model), scale_(scale) {
    setObjectName("RightPanel");
    build();
    connect(&model_, &ImageStudioModel::serviceStateChanged, this, &RightPanel::showService);
    connect(&model_, &ImageStudioModel::showTextPopupChanged, this, &RightPanel::showBubble);
    connect(&model_, &ImageStudioModel::showUserImagePresetsChanged, this, &RightPanel::showPresets);
    connect(&model_, &ImageStudioModel::resultActionsChanged, this, &RightPanel::showActions);
    connect(&model_, &ImageStudioModel::photoTaskChanged, this, &RightPanel::showLoading);
    connect(&Theme::instance(), &Theme::changed, this, &RightPanel::showSymbols);
    applyScale();
    showService();
    showLoading();
    showActions();
    showPresets();
}

RightPanel::~RightPanel() = default;

void RightPanel::build() {
    QVBoxLayout* column = studioPanelColumn(this);

    auto* header = new QHBoxLayout;
    // A row's own spacing: a nested row would take the column's 20.
    header->setSpacing(8);
    title_ = heading("resultTitle", "Qel Image Result", this, scale_);
    textButton_ = iconButton("textResponseButton", "text.bubble", "Text response", 28, this);
    connect(textButton_, &QAbstractButton::clicked, this, [this] {
        bubbleToggling_ = true;
        model_.setShowTextPopup(!model_.showTextPopup());
        bubbleToggling_ = false;
    });
    resultSymbol_ = headingSymbol("resultSymbol", "photo.badge.checkmark", this);
    header->addWidget(resultSymbol_);
    header->addWidget(title_);
    header->addStretch();
    header->addWidget(textButton_);
    column->addLayout(header);

    states_ = new StateFrame(this);
    states_->setObjectName("resultStates");
    // The other pages are made when their state first comes (see pageFor).
    pages_[int(StudioRules::ResultState::ready)] = buildReady();
    states_->addWidget(pages_[int(StudioRules::ResultState::ready)]);
    column->addWidget(states_, 1);

    overlay_ = new QWidget(this);
    overlay_->setObjectName("presetsOverlay");
    overlay_->installEventFilter(this);
    auto* overlayRow = new QHBoxLayout(overlay_);
    overlayRow->setContentsMargins(0, 0, 0, 0);
    overlayRow->setSpacing(0);
    overlayRow->addStretch();
    overlay_->hide();
}

QWidget* RightPanel::buildCompleted() {
    auto* page = new QWidget(this);
    page->setObjectName("completedTaskView");
    auto* column = new QVBoxLayout(page);
    // The picture's own 8 is its only inset; the action row keeps 8 to the frame's bottom.
    column->setContentsMargins(0, 0, 0, 8);
    column->setSpacing(12);

    auto* area = new QWidget(page);
    area->setObjectName("resultImageArea");
    area_ = area;
    area->installEventFilter(this);
    auto* stack = new QVBoxLayout(area);
    stack->setContentsMargins(0, 0, 0, 0);
    picture_ = new ResultPictureView(area);
    stack->addWidget(picture_);

    // The bubble lies over the picture, placed by placeBubble(): its shadow may reach past the area's edges.
    auto* bubble = new GlassPanel(area);
    bubble->setObjectName("textBubble");
    bubble->setCornerRadius(12);
    bubble->setFill(GlassPanel::Fill::ultraThinMaterial);
    bubble->setFillOpacity(0.9);
    bubble->setShadow(QColor(0, 0, 0, 51), 10, QPointF(0, 5));
    bubble_ = bubble;
    bubbleLayout_ = new QVBoxLayout(bubble_);
    reply_ = new ReplyView(bubble_);
    reply_->setObjectName("replyText");
    reply_->setAccessibleName("Text response");
    reply_->setReadOnly(true);
    // Selectable, but links are never followed.
    reply_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    reply_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    reply_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    reply_->setFrameShape(QFrame::NoFrame);
    // The bubble's glass shows through.
    clearTextBase(reply_);
    reply_->verticalScrollBar()->setObjectName("replyScrollBar");
    reply_->verticalScrollBar()->setAccessibleName("Text response scroll bar");
    reply_->horizontalScrollBar()->setObjectName("replyHorizontalScrollBar");
    reply_->horizontalScrollBar()->setAccessibleName("Text response horizontal scroll bar");
    replyDocument_ = new ReplyDocument(reply_);
    reply_->setDocument(replyDocument_);
    bubbleLayout_->addWidget(reply_);
    column->addWidget(area, 1);

    auto* actions = new QHBoxLayout;
    actionRow_ = actions;
    actions->addStretch();
    imageToImage_ = textButton("imageToImage", "photo.on.rectangle", "Image to Image", QString(), page);
    imageToVideo_ = textButton("imageToVideo", "video", "Image to video", QString(), page);
    startFrame_ = textButton("startFrame", "video", "Start Frame", QString(), page);
    endFrame_ = textButton("endFrame", "video", "End Frame", QString(), page);
    finder_ = textButton("showInFinder", "folder", "Finder", QString(), page);
    setTextColor(imageToImage_, ColorRole::orange);
    for (QAbstractButton* button : {imageToVideo_, startFrame_, endFrame_})
        setTextColor(button, ColorRole::blue);
    // Plain buttons: no glass, no hover look; only "Finder" stands on a fill.
    for (QAbstractButton* button : {imageToImage_, imageToVideo_, startFrame_, endFrame_, finder_})
        static_cast<GlassButton*>(button)->setPlain(true);
    if (auto* glass = qobject_cast<GlassButton*>(finder_)) {
        glass->setFill(GlassButton::Fill::controlBackground);
        glass->setCornerRadius(8);
    }
    actions->addWidget(imageToImage_);
    actions->addWidget(imageToVideo_);
    // The two frame buttons share one place of the row, 8 apart.
    auto* frames = new QHBoxLayout;
    frames->setSpacing(8);
    frames->addWidget(startFrame_);
    frames->addWidget(endFrame_);
    actions->addLayout(frames);
    actions->addWidget(finder_);
    actions->addStretch();
    connect(imageToImage_, &QAbstractButton::clicked, &model_, &ImageStudioModel::imageToImage);
    connect(imageToVideo_, &QAbstractButton::clicked, &model_, &ImageStudioModel::imageToVideo);
    connect(startFrame_, &QAbstractButton::clicked, this, [this] { model_.imageToFrame(ImageType::first); });
    connect(endFrame_, &QAbstractButton::clicked, this, [this] { model_.imageToFrame(ImageType::last); });
    connect(finder_, &QAbstractButton::clicked, &model_, &ImageStudioModel::showImageInFinder);
    column->addLayout(actions);
    return page;
}

QWidget* RightPanel::buildLoading() {
    return centredPage(this, "loadingTaskView", 16, [this](QWidget* page, QVBoxLayout* column) {
        loadingSpinner_ = spinner(page, "loadingSpinner", Spinner::standardDiameter * 1.5 * scale_);
        column->addWidget(loadingSpinner_, 0, Qt::AlignHCenter);
        loadingText_ = resultHeading("loadingText", page, scale_);
        setTextColor(loadingText_, ColorRole::secondary);
        column->addWidget(loadingText_, 0, Qt::AlignHCenter);
        activeSpinner_ = spinner(page, "activeTaskSpinner", Spinner::standardDiameter * 0.8);
        column->addWidget(activeSpinner_, 0, Qt::AlignHCenter);
    });
}

QWidget* RightPanel::buildFailed() {
    return centredPage(this, "failedTaskView", 16, [this](QWidget* page, QVBoxLayout* column) {
        failedSymbol_ = label("failedSymbol", QString(), page);
        column->addWidget(failedSymbol_, 0, Qt::AlignHCenter);
        errorText_ = resultHeading("errorMessage", page, scale_);
        errorText_->setWordWrap(true);
        errorText_->setAlignment(Qt::AlignCenter);
        errorText_->setTextFormat(Qt::PlainText);
        setTextColor(errorText_, ColorRole::red);
        column->addWidget(errorText_);
    });
}

QWidget* RightPanel::buildReady() {
    return centredPage(this, "readyStateView", 8, [this](QWidget* page, QVBoxLayout* column) {
        readySymbol_ = new TintedSquare(page);
        readySymbol_->setObjectName("readySymbol");
        readySymbol_->setFixedSize(100, 100);
        readySymbol_->setAlignment(Qt::AlignCenter);
        column->addWidget(readySymbol_, 0, Qt::AlignHCenter);
        column->addSpacing(8);
        readyTitle_ = heading("readyTitle", "Ready for instant generation", page, scale_);
        readySubtitle_ = label("readySubtitle", "Enter your prompt and unleash the power", page);
        readySubtitle_->setFont(Theme::font(13 * scale_));
        setTextColor(readySubtitle_, ColorRole::secondary);
        column->addWidget(readyTitle_, 0, Qt::AlignHCenter);
        column->addWidget(readySubtitle_, 0, Qt::AlignHCenter);
    });
}

void RightPanel::setScale(double scale) {
    scale_ = scale;
    applyScale();
}

QWidget* RightPanel::pageFor(StudioRules::ResultState state) {
    QWidget*& page = pages_[int(state)];
    if (page)
        return page;
    switch (state) {
    case StudioRules::ResultState::completed:
        page = buildCompleted();
        break;
    case StudioRules::ResultState::loading:
        page = buildLoading();
        break;
    case StudioRules::ResultState::failed:
        page = buildFailed();
        break;
    case StudioRules::ResultState::ready:
        page = buildReady();
        break;
    }
    states_->addWidget(page);
    // Made late, its controls still come right after the header's button in the tab order, as on screen.
    QList<QWidget*> controls;
    for (QWidget* widget = page->nextInFocusChain(); widget != page; widget = widget->nextInFocusChain()) {
        if (page->isAncestorOf(widget) && (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy())
            controls.append(widget);
    }
    QWidget* previous = textButton_;
    for (QWidget* control : std::as_const(controls)) {
        QWidget::setTabOrder(previous, control);
        previous = control;
    }
    scalePages();
    showSymbols();
    if (state == StudioRules::ResultState::completed) {
        showActions();
        showBubble();
    } else if (state == StudioRules::ResultState::loading) {
        showLoading();
    }
    return page;
}

void RightPanel::applyScale() {
    title_->setFont(headingFont(scale_));
    if (auto* glass = qobject_cast<GlassButton*>(textButton_)) {
        glass->setFill(GlassButton::Fill::ultraThinMaterial);
        glass->setCircleDiameter(28 * scale_);
        glass->setSymbolSize(12 * scale_, QFont::DemiBold);
    }
    scalePages();
    showSymbols();
    showBubble();
}

void RightPanel::scalePages() {
    if (loadingSpinner_)
        loadingSpinner_->setDiameter(Spinner::standardDiameter * 1.5 * scale_);
    for (QLabel* text : std::initializer_list<QLabel*>{loadingText_, errorText_, readyTitle_}) {
        if (text)
            text->setFont(headingFont(scale_));
    }
    readySubtitle_->setFont(Theme::font(13 * scale_));
    if (!actionRow_)
        return;
    actionRow_->setSpacing(int(std::lround(12 * scale_)));
    for (QAbstractButton* button : {imageToImage_, imageToVideo_, startFrame_, endFrame_, finder_}) {
        auto* glass = qobject_cast<GlassButton*>(button);
        if (!glass)
            continue;
        glass->setSpacing(6);
        glass->setSymbolSize(12 * scale_, QFont::Medium);
        glass->setTitleFont(12 * scale_, QFont::Medium);
        glass->setPadding(QMarginsF(12 * scale_, 8 * scale_, 12 * scale_, 8 * scale_));
    }
}

void RightPanel::showSymbols() {
    paintHeadingSymbol(resultSymbol_);
    const double ratio = devicePixelRatioF();
    if (failedSymbol_)
        failedSymbol_->setPixmap(
            symbolPixmap("exclamationmark.triangle", 40 * scale_, Theme::instance().color(ColorRole::red), ratio));
    readySymbol_->setPixmap(
        symbolPixmap("photo.badge.plus", 60 * scale_, Theme::instance().color(ColorRole::orange), ratio));
}

bool RightPanel::isResultPictureShown() const {
    return state_ == StudioRules::ResultState::completed && picture_ && picture_->isShown() && states_->isVisible();
}

void RightPanel::showService() {
    const std::optional<ImageStudioModel::Result> result = model_.result();
    if (!result)
        return;
    const StudioRules::ResultState before = state_;
    state_ = result->state;
    states_->setCurrentWidget(pageFor(state_));
    if (picture_)
        picture_->setImage(result->image);

    const StudioRules::TextButtonTone tone = result->textTone;
    textButton_->setEnabled(result->textButtonEnabled);
    setTextColor(textButton_, tone == StudioRules::TextButtonTone::blocked ? ColorRole::red
                              : tone == StudioRules::TextButtonTone::text  ? ColorRole::orange
                                                                           : ColorRole::gray);

    // A failure is heard when it arrives, also the same text a second time.
    const QString& error = result->error;
    if (errorText_ && (error != errorText_->text() || (state_ == StudioRules::ResultState::failed && before != state_)))
        errorText_->setText(error);
    if (loadingText_ && state_ == StudioRules::ResultState::loading && before != state_)
        loadingText_->setText(model_.loadingText());

    if (replyDocument_) {
        const QString& text = result->text;
        if (replyDocument_->property("source").toString() != text) {
            replyDocument_->setReply(text);
            replyDocument_->setProperty("source", text);
        }
        reply_->document()->setDocumentMargin(0);
    }
    showBubble();
}

void RightPanel::showLoading() {
    if (!loadingText_)
        return;
    if (loadingText_->text() != model_.loadingText())
        loadingText_->setText(model_.loadingText());
    activeSpinner_->setVisible(model_.isPhotoTaskActive());
}

void RightPanel::showActions() {
    if (!imageToImage_)
        return;
    const StudioRules::ResultActions actions = model_.resultActions();
    imageToImage_->setVisible(actions.imageToImage);
    imageToVideo_->setVisible(actions.imageToVideo);
    startFrame_->setVisible(actions.startFrame);
    endFrame_->setVisible(actions.endFrame);
    finder_->setVisible(actions.finder);
}

void RightPanel::showBubble() {
    if (!bubble_)
        return;
    const bool visible = model_.showsBubble();
    auto* bubble = static_cast<GlassPanel*>(bubble_);
    const int margin = bubble->shadowMargin();
    const auto scaled = [this](double size) { return int(std::lround(size * scale_)); };
    // The text stands 16 × scale in from the leading edge and 32 × scale from the trailing one.
    bubbleLayout_->setContentsMargins(margin + scaled(16), margin + scaled(12), margin + scaled(32),
                                      margin + scaled(12));
    // The bubble itself (inside its shadow) is at most 300 × 130 × scale.
    bubble_->setMaximumSize(scaled(300) + 2 * margin, scaled(130) + 2 * margin);
    reply_->setFont(Theme::font(12 * scale_));
    // The text area is as high as the reply (a one-line reply makes a slim bubble), at most 100 × scale.
    const int textWidth = std::max(1, scaled(300) - scaled(16) - scaled(32));
    replyDocument_->setTextWidth(textWidth);
    const int textHeight = int(std::ceil(replyDocument_->size().height()));
    reply_->setFixedSize(textWidth, std::clamp(textHeight, 1, scaled(100)));
    placeBubble();
    const bool shown = !bubble_->isHidden() && !Motion::runningExit(bubble_);
    if (visible == shown)
        return;
    if (visible)
        Motion::enter(bubble_, 0, {}); // a bubble on its way out stays
    if (!bubbleToggling_ || !isVisible()) {
        bubble_->setVisible(visible);
        return;
    }
    // The header button's toggle: the bubble fades and grows from 95 % in, and shrinks and fades back out.
    const QEasingCurve easeInOut(QEasingCurve::InOutCubic);
    if (visible) {
        bubble_->show();
        Motion::enter(bubble_, bubbleFadeMs, easeInOut, {}, 0.95);
    } else {
        Motion::leave(
            bubble_, bubbleFadeMs, easeInOut, [this] { bubble_->hide(); }, {}, 0.95);
    }
}

void RightPanel::placeBubble() {
    if (!bubble_)
        return;
    const int margin = static_cast<GlassPanel*>(bubble_)->shadowMargin();
    const int inset = int(std::lround(12 * scale_));
    bubbleLayout_->activate();
    const QSize size = bubble_->sizeHint().boundedTo(bubble_->maximumSize());
    // The bubble's top trailing corner 12 × scale in from the area's.
    const int trailing = area_->width() - inset + margin;
    const int x = area_->layoutDirection() == Qt::RightToLeft ? inset - margin : trailing - size.width();
    bubble_->setGeometry(x, inset - margin, size.width(), size.height());
}

QWidget* RightPanel::makePresetsView() {
    SwiftDataImagePresetsManager* manager = model_.imagePresetsManager();
    if (!manager) {
        // Without a preset store (a bare studio) the panel is an empty frame, placed as the real one.
        auto* empty = new QWidget(overlay_);
        empty->setObjectName("userImagePresetsView");
        auto* layout = new QVBoxLayout(empty);
        const int shadow = UserImagePresetsView::shadowMargin;
        layout->setContentsMargins(shadow, shadow, shadow, shadow);
        auto* frame = new QWidget(empty);
        frame->setAutoFillBackground(true);
        layout->addWidget(frame);
        return empty;
    }
    auto* view = new UserImagePresetsView(*manager, model_.prompt(), overlay_);
    view->setObjectName("userImagePresetsView");
    // A new preset starts from the prompt as it is when it is made, not as it was when the panel opened.
    connect(&model_, &ImageStudioModel::promptChanged, view, [this, view] { view->setCurrentPrompt(model_.prompt()); });
    connect(view, &UserImagePresetsView::dismissRequested, this, [this] { model_.setShowUserImagePresets(false); });
    connect(view, &UserImagePresetsView::presetSelected, this,
            [this](const QString& text, const QImage& image, bool append) { model_.applyPreset(text, image, append); });
    return view;
}

namespace {
// The overlay over the padded stack, and as far again beyond it as the presets panel's shadow reaches.
QRect overlayGeometry(const QRect& panel) {
    const int inset = 24 - UserImagePresetsView::shadowMargin;
    return panel.adjusted(inset, inset, -inset, -inset);
}
// The presets panel comes in from the leading edge and goes back out on this spring.
constexpr Motion::Spring presetsSpring{0.3, 0.825};
QPointF offLeadingEdge(const QWidget* view) {
    const double distance = view->x() + view->width();
    return QPointF(view->layoutDirection() == Qt::RightToLeft ? distance : -distance, 0);
}
} // namespace

void RightPanel::showPresets() {
    const bool show = model_.showUserImagePresets();
    overlay_->setGeometry(overlayGeometry(rect()));
    if (show && !presetsView_) {
        presetsView_ = makePresetsView();
        presetsView_->setFixedWidth(350 + 2 * UserImagePresetsView::shadowMargin);
        static_cast<QHBoxLayout*>(overlay_->layout())->insertWidget(0, presetsView_);
        // The overlay may still be on screen with the last panel leaving: the new one shows by itself.
        presetsView_->show();
        overlay_->show();
        overlay_->raise();
        overlay_->layout()->activate();
        auto* view = qobject_cast<UserImagePresetsView*>(presetsView_);
        SheetKeyboard::open(presetsView_, view ? view->firstFocus() : nullptr,
                            [this] { model_.setShowUserImagePresets(false); });
        Motion::enter(presetsView_, Motion::durationMs(presetsSpring), Motion::springEasing<300, 825>(),
                      offLeadingEdge(presetsView_));
    } else if (!show && presetsView_) {
        // A new panel opens with its own state at its defaults; this one leaves out of the layout, where the next
        // one would go.
        QWidget* leaving = presetsView_;
        presetsView_ = nullptr;
        SheetKeyboard::release(leaving);
        overlay_->layout()->removeWidget(leaving);
        Motion::leave(
            leaving, Motion::durationMs(presetsSpring), Motion::springEasing<300, 825>(),
            [this, leaving] {
                leaving->hide();
                leaving->deleteLater();
                if (!presetsView_)
                    overlay_->hide();
            },
            offLeadingEdge(leaving));
    }
}

void RightPanel::resizeEvent(QResizeEvent*) {
    overlay_->setGeometry(overlayGeometry(rect()));
}

bool RightPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == area_ && event->type() == QEvent::Resize)
        placeBubble();
    // A click beside the presets panel closes it and inserts nothing.
    if (watched == overlay_ && event->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(event);
        const int shadow = UserImagePresetsView::shadowMargin;
        const QRect panel =
            presetsView_ ? presetsView_->geometry().adjusted(shadow, shadow, -shadow, -shadow) : QRect();
        if (!panel.contains(press->position().toPoint())) {
            model_.setShowUserImagePresets(false);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
