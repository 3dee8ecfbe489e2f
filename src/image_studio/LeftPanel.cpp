#include "LeftPanel.h"

#include "Controls.h"
#include "DashedFrame.h"
#include "Dialogs.h"
#include "FocusRing.h"
#include "GlassButtons.h"
#include "GradientButton.h"
#include "HeadingRow.h"
#include "ImageSettingsPopover.h"
#include "ImageStudioModel.h"
#include "ImageTiles.h"
#include "PhotoFiles.h"
#include "PlainText.h"
#include "Popover.h"
#include "PresetFormView.h"
#include "ReferenceLoader.h"
#include "ReturnKeyFilter.h"
#include "ScrollBars.h"
#include "Spinner.h"
#include "StudioPanel.h"
#include "StudioRules.h"
#include "SymbolIcon.h"
#include "Theme.h"
#include "WrappedText.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

using namespace Controls;

namespace {
constexpr int headingGap = 8; // between the reference heading and its add button
constexpr int narrowestWidth = 185;

// The platform's headline text style: 13 points, semibold.
QFont headlineFont() {
    return Theme::font(13, QFont::DemiBold);
}

// The empty reference area: a dashed rounded frame, orange while a drag hovers over it.
class DropZone final : public QWidget {
public:
    DropZone(const ImageStudioModel& model, QWidget* parent) : QWidget(parent), model_(model) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const bool over = model_.isDragOver();
        const QColor orange = Theme::instance().color(ColorRole::orange);
        paintDashedFrame(painter, size(), over ? withOpacity(orange, 0.1) : QColor(Qt::transparent),
                         over ? orange : withOpacity(Theme::instance().color(ColorRole::secondary), 0.3));
    }

private:
    const ImageStudioModel& model_;
};

// The prompt's frame: a radius-8 rounded rectangle over the control background, outlined quietly.
class PromptFrame final : public QWidget {
public:
    static constexpr double radius = 8;
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setBrush(Theme::instance().color(ColorRole::controlBackground));
        painter.setPen(QPen(withOpacity(Theme::instance().color(ColorRole::secondary), 0.3), 1));
        painter.drawRoundedRect(frame, radius, radius);
    }
};

// A corner button kept `inset` in from the box's edges named by `edges`.
QBoxLayout* insetButton(QAbstractButton* button, Qt::Edges edges, int inset) {
    auto* holder = new QHBoxLayout;
    holder->setContentsMargins(edges & Qt::LeftEdge ? inset : 0, edges & Qt::TopEdge ? inset : 0,
                               edges & Qt::RightEdge ? inset : 0, edges & Qt::BottomEdge ? inset : 0);
    holder->addWidget(button);
    return holder;
}

constexpr int cornerInset = 10; // the prompt box's buttons from its edges

// The scrolled column. Its parts that wrap make the scroll area ask its height for the width; the answer is the
// least the parts need, not what they would like: the prompt box gives up its room before the panel scrolls.
class PanelContent final : public QWidget {
public:
    using QWidget::QWidget;
    int heightForWidth(int width) const override {
        return layout() ? layout()->totalMinimumHeightForWidth(width) : QWidget::heightForWidth(width);
    }
};

} // namespace

LeftPanel::LeftPanel(ImageStudioModel& model, QWidget* parent, double scale)
    : QWidget(parent), model_(model), scale_(scale) {
    setObjectName("LeftPanel");
    // The same narrowest width at every scale and with any heading (a long heading wraps and is shortened); only
    // parts that cannot be narrower, a row of thumbnails, make it wider (see updateMinimumWidth).
    setMinimumWidth(narrowestWidth);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("inputPanelScroll");
    scroll_->setFrameShape(QFrame::NoFrame);
    // A frame around the controls, not a control: Tab goes straight to what it holds.
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    nameScrollBars(scroll_, "Input panel");
    content_ = new PanelContent(scroll_);
    content_->setObjectName("inputPanelContent");
    build();
    // Every font at its scaled size and every part in place before the scroll area first measures the content.
    applyScale();
    showPrompt();
    showReferences();
    showGenerateState();
    scroll_->setWidget(content_);
    outer->addWidget(scroll_);
    // Both change what the panel needs across.
    content_->installEventFilter(this);
    scroll_->verticalScrollBar()->installEventFilter(this);
    connect(&model_, &ImageStudioModel::promptChanged, this, &LeftPanel::showPrompt);
    connect(&model_, &ImageStudioModel::referenceImagesChanged, this, &LeftPanel::showReferences);
    connect(&model_, &ImageStudioModel::generateStateChanged, this, &LeftPanel::showGenerateState);
    connect(&Theme::instance(), &Theme::changed, this, [this] {
        for (const char* name : {"referenceSymbol", "promptSymbol"})
            paintHeadingSymbol(findChild<QLabel*>(name));
    });
    connect(&model_, &ImageStudioModel::isDragOverChanged, this, [this] {
        if (referenceContent_)
            referenceContent_->update();
    });
}

LeftPanel::~LeftPanel() = default;

void LeftPanel::build() {
    QVBoxLayout* column = studioPanelColumn(content_);
    // The fonts that follow the scale are set by applyScale.
    auto* title = label("studioName", "Orvane", content_);
    setTextColor(title, ColorRole::secondary);
    column->addWidget(title);
    addReferenceSection(column);
    addPromptHeader(column);
    column->addWidget(makePromptBox());
    addGenerateButton(column);
    column->addStretch();
}

void LeftPanel::addReferenceSection(QVBoxLayout* column) {
    auto* referenceHeaderRow = new QHBoxLayout;
    referenceHeaderRow->setSpacing(headingGap);
    // Where the scaled font outgrows the panel the heading goes on to more lines; a word wider than the panel ends
    // in "…".
    referenceHeader_ = new WrappedText(QString(), Qt::AlignLeft | Qt::AlignVCenter, content_);
    referenceHeader_->setObjectName("referenceHeader");
    // A plain button: the 12 × scale symbol with a little room for the pointer, no fill.
    addMore_ = iconButton("addMoreImages", "plus.circle", "Add more images", 16, content_);
    setSymbol(addMore_, "plus.circle", 12, Theme::instance().color(ColorRole::orange));
    if (auto* glass = qobject_cast<GlassButton*>(addMore_))
        glass->setFill(GlassButton::Fill::none);
    connect(addMore_, &QAbstractButton::clicked, this, &LeftPanel::pickReferenceImages);
    referenceHeaderRow->addWidget(headingSymbol("referenceSymbol", "photo", content_));
    referenceHeaderRow->addWidget(referenceHeader_);
    referenceHeaderRow->addWidget(addMore_);
    referenceHeaderRow->addStretch();
    column->addLayout(referenceHeaderRow);

    referenceArea_ = new QWidget(content_);
    referenceArea_->setObjectName("referenceArea");
    referenceArea_->setAccessibleName("Reference images");
    referenceArea_->setAcceptDrops(true);
    referenceArea_->installEventFilter(this);
    referenceLayout_ = new QVBoxLayout(referenceArea_);
    referenceLayout_->setContentsMargins(0, 0, 0, 0);
    column->addWidget(referenceArea_);
}

void LeftPanel::addPromptHeader(QVBoxLayout* column) {
    auto* promptTitleGroup = new QHBoxLayout;
    // A row's own spacing: a nested row would take the column's 20.
    promptTitleGroup->setSpacing(headingGap);
    auto* promptTitle = new WrappedText("Main Prompt", Qt::AlignLeft | Qt::AlignVCenter, content_);
    promptTitle->setObjectName("promptTitle");
    promptTitleGroup->addWidget(headingSymbol("promptSymbol", "text.cursor", content_));
    promptTitleGroup->addWidget(promptTitle, 1);
    counter_ = label("promptCounter", QString(), content_);
    clear_ = iconButton("clearPrompt", "xmark", "Clear text", 20, content_);
    setSymbol(clear_, "xmark", 12, withOpacity(Theme::instance().color(ColorRole::secondary), 0.6));
    if (auto* glass = qobject_cast<GlassButton*>(clear_))
        glass->setFill(GlassButton::Fill::none);
    connect(clear_, &QAbstractButton::clicked, this, [this] { model_.setPrompt(QString()); });
    counterGroup_ = new QHBoxLayout;
    counterGroup_->addWidget(counter_);
    counterGroup_->addWidget(clear_);
    auto* promptHeader = new HeadingRow(promptTitleGroup, promptTitle, counterGroup_);
    promptHeader->setSpacing(headingGap);
    column->addLayout(promptHeader);
}

QWidget* LeftPanel::makePromptBox() {
    auto* box = new PromptFrame(content_);
    box->setObjectName("promptBox");
    box->setMinimumHeight(140);
    auto* boxLayout = new QGridLayout(box);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->addWidget(makePromptEditor(box), 0, 0, 3, 3);
    // The focus shows around the whole box: around the editor it would pass under the corner buttons.
    FocusRing::surround(editor_, box, PromptFrame::radius);
    createPreset_ = iconButton("createPresetFromPrompt", "plus.square", "Create preset from current prompt", 24, box);
    setSymbol(createPreset_, "plus.square", 14, withOpacity(Theme::instance().color(ColorRole::orange), 0.8));
    connect(createPreset_, &QAbstractButton::clicked, this, &LeftPanel::openCreatePreset);
    boxLayout->addLayout(insetButton(createPreset_, Qt::TopEdge | Qt::RightEdge, cornerInset), 0, 2,
                         Qt::AlignTop | Qt::AlignRight);

    settings_ = iconButton("imageModelSettings", "gearshape", "Image Model Settings", 28, box);
    setSymbol(settings_, "gearshape", 14, Theme::instance().color(ColorRole::orange));
    connect(settings_, &QAbstractButton::clicked, this, &LeftPanel::openSettings);
    boxLayout->addLayout(insetButton(settings_, Qt::BottomEdge | Qt::LeftEdge, cornerInset), 2, 0,
                         Qt::AlignBottom | Qt::AlignLeft);

    presets_ = iconButton("imagePresets", "list.bullet.rectangle", "Image Presets", 28, box);
    setSymbol(presets_, "list.bullet.rectangle", 14, Theme::instance().color(ColorRole::orange));
    connect(presets_, &QAbstractButton::clicked, this,
            [this] { model_.setShowUserImagePresets(!model_.showUserImagePresets()); });
    boxLayout->addLayout(insetButton(presets_, Qt::BottomEdge | Qt::RightEdge, cornerInset), 2, 2,
                         Qt::AlignBottom | Qt::AlignRight);
    return box;
}

QWidget* LeftPanel::makePromptEditor(QWidget* box) {
    // The text's insets follow the scale: the editor sits in a holder whose margins are those insets.
    auto* editorHost = new QWidget(box);
    editorHost->setObjectName("promptEditorHost");
    editorInsets_ = new QVBoxLayout(editorHost);
    editor_ = new QPlainTextEdit(editorHost);
    editor_->setFrameShape(QFrame::NoFrame);
    // The box's fill shows through.
    clearTextBase(editor_);
    // The placeholder is drawn in the viewport's font: the default one, while the typed text follows the scale.
    QFont placeholderFont = QApplication::font();
    placeholderFont.setResolveMask(QFont::AllPropertiesResolved);
    editor_->viewport()->setFont(placeholderFont);
    editor_->document()->setDocumentMargin(0);
    editorInsets_->addWidget(editor_);
    editor_->setObjectName("promptEditor");
    Controls::focusOnTheControlOnly(editor_);
    editor_->setAccessibleName("Main Prompt");
    editor_->setPlaceholderText("Describe the image you want to create...");
    editor_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The text wraps to any width: the box takes the width of the panel, not of a scroll area's default.
    editor_->setMinimumWidth(1);
    // Tab moves on to the next control, so the studio can be worked from the keyboard alone.
    editor_->setTabChangesFocus(true);
    editor_->verticalScrollBar()->setObjectName("promptScrollBar");
    editor_->verticalScrollBar()->setAccessibleName("Prompt scroll bar");
    editor_->horizontalScrollBar()->setObjectName("promptHorizontalScrollBar");
    editor_->horizontalScrollBar()->setAccessibleName("Prompt horizontal scroll bar");
    auto* returnKey = new ReturnKeyFilter(editor_);
    connect(returnKey, &ReturnKeyFilter::returnPressed, &model_, &ImageStudioModel::handleReturnKey);
    connect(editor_, &QPlainTextEdit::textChanged, this, &LeftPanel::editorChanged);
    return editorHost;
}

void LeftPanel::addGenerateButton(QVBoxLayout* column) {
    generate_ = new GradientButton(content_);
    generate_->setObjectName("generateNow");
    generate_->setGradient(ColorRole::orange, ColorRole::yellow);
    generate_->spinner()->setObjectName("generateSpinner");
    // A click leaves the focus where it was (most often the prompt); Tab still stops here.
    generate_->setFocusPolicy(Qt::TabFocus);
    connect(generate_, &QAbstractButton::clicked, this, [this] {
        if (!model_.isGenerateDisabled())
            model_.generate();
    });
    column->addWidget(generate_);
}

void LeftPanel::setScale(double scale) {
    if (scale == scale_)
        return;
    scale_ = scale;
    applyScale();
    showReferences();
}

void LeftPanel::applyScale() {
    findChild<QLabel*>("studioName")->setFont(Theme::font(16 * scale_, QFont::DemiBold));
    referenceHeader_->setFont(Theme::font(15 * scale_, QFont::DemiBold));
    if (auto* glass = qobject_cast<GlassButton*>(addMore_)) {
        glass->setCircleDiameter(16 * scale_);
        glass->setSymbolSize(12 * scale_);
    }
    findChild<QLabel*>("promptTitle")->setFont(Theme::font(15 * scale_, QFont::DemiBold));
    counter_->setFont(Theme::font(11 * scale_));
    counterGroup_->setSpacing(int(std::lround(8 * scale_)));
    if (auto* glass = qobject_cast<GlassButton*>(clear_)) {
        glass->setCircleDiameter(20 * scale_);
        glass->setSymbolSize(12 * scale_);
    }
    editor_->setFont(Theme::font(14 * scale_));
    generate_->setScale(scale_);
    placeEditorInsets();
}

void LeftPanel::placeEditorInsets() {
    const int inset = int(std::lround(12 * scale_));
    // The text's trailing inset, or more while the create-preset button stands in the box's top corner.
    int trailing = inset * 2;
    if (!createPreset_->isHidden())
        trailing = std::max(trailing, cornerInset + createPreset_->sizeHint().width() + headingGap / 2);
    editorInsets_->setContentsMargins(inset, inset, trailing, int(std::lround(20 * scale_)));
}

void LeftPanel::updateMinimumWidth() {
    const QScrollBar* bar = scroll_->verticalScrollBar();
    const bool barTakesRoom = !bar->isHidden() && !style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, bar);
    const int needed = content_->minimumSizeHint().width() + (barTakesRoom ? bar->sizeHint().width() : 0);
    setMinimumWidth(std::max(narrowestWidth, needed));
}

int LeftPanel::gridColumnCount() const {
    return StudioRules::gridColumns(scale_);
}

void LeftPanel::showPrompt() {
    if (typedText(editor_->document()) != model_.prompt()) {
        updatingEditor_ = true;
        QTextCursor cursor = editor_->textCursor();
        const int position = cursor.position();
        editor_->setPlainText(model_.prompt());
        cursor = editor_->textCursor();
        cursor.setPosition(std::min(position, int(model_.prompt().size())));
        editor_->setTextCursor(cursor);
        updatingEditor_ = false;
    }
    showCounter(counter_, model_.counterText(), model_.isPromptOverWarning());
    const bool hasText = !model_.prompt().isEmpty();
    clear_->setVisible(hasText);
    if (createPreset_->isHidden() == hasText) {
        createPreset_->setVisible(hasText);
        placeEditorInsets();
    }
}

void LeftPanel::editorChanged() {
    if (updatingEditor_)
        return;
    model_.setPrompt(typedText(editor_->document()));
    // The model cut the text: show what it kept.
    if (typedText(editor_->document()) != model_.prompt())
        showPrompt();
}

void LeftPanel::showGenerateState() {
    const bool loading = model_.isGenerating();
    generate_->setTitle(loading ? "Generating..." : "Generate Now");
    // While loading the spinner stands in the symbol's place.
    generate_->setSymbol(loading ? QString() : QStringLiteral("sparkles"));
    generate_->setBusy(loading);
    const bool disabled = model_.isGenerateDisabled();
    // Disabled with the focus, the button would pass it on down the window's chain: the prompt takes it back.
    if (disabled && window()->focusWidget() == generate_)
        editor_->setFocus(Qt::OtherFocusReason);
    generate_->setEnabled(!disabled);
    generate_->setFaded(disabled);
}

void LeftPanel::showReferences() {
    const QList<QImage> images = model_.referenceImages();
    const int count = int(images.size());
    // Keep only the thumbnails of pictures still listed.
    QSet<qint64> listed;
    for (const QImage& image : images)
        listed.insert(image.cacheKey());
    for (auto it = thumbnails_.begin(); it != thumbnails_.end();)
        it = listed.contains(it.key()) ? std::next(it) : thumbnails_.erase(it);
    referenceHeader_->setText(StudioRules::referenceHeader(count));
    addMore_->setVisible(StudioRules::showsAddMoreButton(count));

    // The same pictures at the same scale (the studio appearing hands its saved list again): what is shown stays,
    // and so does the keyboard focus in it.
    QList<qint64> keys;
    keys.reserve(count);
    for (const QImage& image : images)
        keys.append(image.cacheKey());
    if (referenceContent_ && keys == shownKeys_ && scale_ == shownScale_)
        return;
    shownKeys_ = keys;
    shownScale_ = scale_;

    // The keyboard's place in the strip outlives the rebuild: the tile at the same place takes it (the last one when
    // the list got shorter), the upload button when none is left.
    QWidget* focused = window()->focusWidget();
    const bool focusInside = referenceContent_ && focused && referenceContent_->isAncestorOf(focused);
    int focusedTile = 0;
    if (focusInside) {
        for (int i = 0; i < shownReferences_; ++i) {
            auto* tile = referenceContent_->findChild<QWidget*>(QStringLiteral("referenceTile%1").arg(i));
            if (tile && (tile == focused || tile->isAncestorOf(focused)))
                focusedTile = i;
        }
        // Let go before the control goes, or the focus is left nowhere.
        focused->clearFocus();
    }
    if (referenceContent_) {
        referenceLayout_->removeWidget(referenceContent_);
        delete referenceContent_;
        referenceContent_ = nullptr;
    }
    const StudioRules::StripLayout layout = StudioRules::stripLayout(count);
    referenceContent_ =
        layout == StudioRules::StripLayout::empty ? new DropZone(model_, referenceArea_) : new QWidget(referenceArea_);
    referenceContent_->setObjectName(layout == StudioRules::StripLayout::empty    ? "dropZone"
                                     : layout == StudioRules::StripLayout::single ? "singleReference"
                                     : layout == StudioRules::StripLayout::pair   ? "referencePair"
                                                                                  : "referenceGrid");
    grid_ = nullptr;
    switch (layout) {
    case StudioRules::StripLayout::empty: {
        referenceContent_->setAccessibleName("Add files");
        referenceContent_->setMinimumHeight(120);
        referenceContent_->setCursor(Qt::PointingHandCursor);
        auto* zone = new QVBoxLayout(referenceContent_);
        zone->setSpacing(4);
        auto* add = label("addFilesTitle", "Add files", referenceContent_);
        add->setAlignment(Qt::AlignCenter);
        add->setFont(headlineFont());
        auto* upload = iconButton("uploadReference", "arrow.down.circle", "Add files", 64, referenceContent_);
        setSymbol(upload, "arrow.down.circle", 40, Theme::instance().color(ColorRole::orange));
        connect(upload, &QAbstractButton::clicked, this, &LeftPanel::pickReferenceImages);
        auto* caption = label("dropZoneCaption", "PNG, JPG, JPEG (max 10MB each, up to 9 images)", referenceContent_);
        caption->setAlignment(Qt::AlignCenter);
        caption->setWordWrap(true);
        setTextColor(caption, ColorRole::secondary);
        zone->addWidget(add);
        // The upload circle is padded above and below.
        zone->addSpacing(4);
        zone->addWidget(upload, 0, Qt::AlignHCenter);
        zone->addSpacing(4);
        zone->addWidget(caption);
        referenceContent_->installEventFilter(this);
        break;
    }
    case StudioRules::StripLayout::single: {
        auto* row = new QHBoxLayout(referenceContent_);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(makeTile(0, images[0], layout), 0, Qt::AlignCenter);
        break;
    }
    case StudioRules::StripLayout::pair: {
        auto* row = new QHBoxLayout(referenceContent_);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        for (int i = 0; i < 2; ++i)
            row->addWidget(makeTile(i, images[i], layout), 1);
        break;
    }
    case StudioRules::StripLayout::grid: {
        grid_ = new QGridLayout(referenceContent_);
        grid_->setContentsMargins(0, 0, 0, 0);
        grid_->setSpacing(6);
        const int columns = gridColumnCount();
        for (int i = 0; i < count; ++i)
            grid_->addWidget(makeTile(i, images[i], layout), i / columns, i % columns, Qt::AlignCenter);
        break;
    }
    }
    referenceLayout_->addWidget(referenceContent_);
    // Made late, its controls still come where they stand on screen: right after the heading's add button.
    QWidget* previous = addMore_;
    for (QWidget* control : layoutFocusOrder(referenceContent_)) {
        QWidget::setTabOrder(previous, control);
        previous = control;
    }
    shownReferences_ = count;
    if (focusInside) {
        referenceContent_->show();
        const QString name = count == 0 ? QStringLiteral("uploadReference")
                                        : QStringLiteral("referenceTile%1").arg(std::min(focusedTile, count - 1));
        if (auto* target = referenceContent_->findChild<QWidget*>(name))
            target->setFocus(Qt::OtherFocusReason);
    }
}

QImage LeftPanel::thumbnailFor(const QImage& image) {
    // Tiles are at most 200 high: a copy of twice that is sharp on dense screens and cheap to repaint, where
    // the 1920-wide picture would be scaled again at every paint.
    QImage& thumbnail = thumbnails_[image.cacheKey()];
    if (thumbnail.isNull())
        thumbnail = model_.referenceThumbnail(image);
    if (thumbnail.isNull())
        thumbnail = ReferenceLoader::thumbnail(image);
    return thumbnail;
}

QWidget* LeftPanel::makeTile(int index, const QImage& image, StudioRules::StripLayout layout) {
    // The tile shows a small copy; the download saves the picture itself.
    const QImage shown = thumbnailFor(image);
    ImageTile* tile = nullptr;
    if (layout == StudioRules::StripLayout::single)
        tile = new SingleImageView(shown, referenceContent_);
    else if (layout == StudioRules::StripLayout::pair)
        tile = new FlexibleImageView(shown, referenceContent_);
    else
        tile = new AdaptiveImageThumbnailView(shown, scale_, referenceContent_);
    tile->setObjectName(QStringLiteral("referenceTile%1").arg(index));
    tile->setAccessibleName(QStringLiteral("Reference image %1").arg(index + 1));
    tile->setKeyboardReachable(true);
    connect(tile, &ImageTile::removeRequested, this, [this, index] { model_.removeReferenceImage(index); });
    connect(tile, &ImageTile::downloadRequested, this, [this, image] { model_.saveImageAsPNG(image); });
    return tile;
}

void LeftPanel::pickReferenceImages() {
    Dialogs::OpenRequest request;
    request.message = "Choose images to add as reference";
    request.nameFilters = ImageStudioModel::openPanelFilters();
    request.allowsMultipleSelection = true;
    Dialogs::current().openFilesAsync(request, this, [this](const QStringList& chosen) {
        if (!chosen.isEmpty())
            model_.addReferenceFiles(chosen);
    });
}

void LeftPanel::openSettings() {
    if (!popoverFrame_) {
        popoverFrame_ = new Popover(settings_);
        popoverFrame_->setPreferredEdge(Popover::Edge::above);
        popover_ = new ImageSettingsPopover(model_, popoverFrame_);
        popoverFrame_->setContent(popover_);
    }
    popoverFrame_->popup();
}

void LeftPanel::openCreatePreset() {
    if (createPresetSheet_) {
        createPresetSheet_->raise();
        createPresetSheet_->activateWindow();
        return;
    }
    createPresetSheet_ = makeCreatePresetSheet();
    QWidget* host = window();
    // Centred over the studio window, never at the screen's corner.
    createPresetSheet_->move(host->geometry().center() - createPresetSheet_->rect().center());
    createPresetSheet_->show();
    createPresetSheet_->raise();
    createPresetSheet_->activateWindow();
}

QWidget* LeftPanel::makeCreatePresetSheet() {
    // The form is itself the window-modal dialog, a child of the studio window.
    auto* form = new PresetFormModel(this);
    form->reset(QString(), QString(), QImage(), false);
    form->holdPrompt(model_.prompt());
    auto* sheet = new CreateImagePresetView(form, window());
    form->setParent(sheet);
    // The form refuses a plain close (it asks the model to cancel): the studio ends it here.
    auto finish = [sheet] {
        sheet->hide();
        sheet->deleteLater();
    };
    // The preset keeps the composer's prompt: edits made in the sheet's prompt field are not taken.
    connect(form, &PresetFormModel::saveRequested, sheet, [this, form, finish] {
        if (model_.saveNewPreset(form->title(), form->image()))
            finish();
    });
    connect(form, &PresetFormModel::cancelRequested, sheet, finish);
    return sheet;
}

bool LeftPanel::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == content_ && event->type() == QEvent::LayoutRequest) ||
        (watched == scroll_->verticalScrollBar() && (event->type() == QEvent::Show || event->type() == QEvent::Hide)))
        updateMinimumWidth();
    if (watched == referenceArea_) {
        switch (event->type()) {
        case QEvent::DragEnter: {
            auto* drag = static_cast<QDragEnterEvent*>(event);
            const bool pictures = PhotoFiles::carriesPicture(*drag->mimeData());
            if (pictures) {
                drag->acceptProposedAction();
                model_.setDragOver(true);
            }
            return true;
        }
        case QEvent::DragLeave:
            model_.setDragOver(false);
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            model_.setDragOver(false);
            if (model_.handleDrop(*drop->mimeData()))
                drop->acceptProposedAction();
            else
                drop->ignore();
            return true;
        }
        default:
            break;
        }
    }
    if (referenceContent_ && watched == referenceContent_ && referenceContent_->objectName() == "dropZone" &&
        event->type() == QEvent::MouseButtonRelease) {
        pickReferenceImages();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
