#include "PresetFormView.h"

#include "Controls.h"
#include "FocusRing.h"
#include "FormButtons.h"
#include "GlassButtons.h"
#include "Popover.h"
#include "PresetFormModel.h"
#include "PresetPicture.h"
#include "ScrollBars.h"
#include "Spinner.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* fieldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(Theme::font(14, QFont::Medium));
    return label;
}

// A field's column in the form: its label, then whatever the caller adds.
QVBoxLayout* addFieldGroup(QVBoxLayout* fields, const QString& label, QWidget* parent) {
    auto* group = new QVBoxLayout;
    group->setSpacing(8);
    if (!label.isEmpty())
        group->addWidget(fieldLabel(label, parent));
    fields->addLayout(group);
    return group;
}

} // namespace

// ---- PresetPictureZone

PresetPictureZone::PresetPictureZone(PresetFormModel* form, QColor accent, QWidget* parent)
    : QAbstractButton(parent), form_(form), accent_(accent) {
    setObjectName(QStringLiteral("presetPictureZone"));
    // Tab stops here; a click opens the panel without taking the focus from the field being typed in.
    setFocusPolicy(Qt::TabFocus);
    FocusRing::track();
    // The circular progress indicator, scaled by 1.2 in its 30 × 30 frame.
    ring_ = new Spinner({SpinnerLook::Style::arc, QColor(), 3, 0.25}, 35, this);
    ring_->setObjectName(QStringLiteral("presetPictureLoadingRing"));
    ring_->setAccessibleName(QStringLiteral("Loading"));
    ring_->hide();
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("presetPictureMessage"));
    message_->setFont(Theme::font(12));
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignCenter);
    Controls::setTextColor(message_, ColorRole::red);
    message_->hide();
    setAcceptDrops(true);
    setCursor(Qt::PointingHandCursor);
    setMinimumHeight(120);
    setMaximumHeight(200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    connect(this, &QAbstractButton::clicked, form_, &PresetFormModel::chooseImage);
    connect(form_, &PresetFormModel::imageChanged, this, &PresetPictureZone::refresh);
    connect(form_, &PresetFormModel::isLoadingImageChanged, this, &PresetPictureZone::refresh);
    connect(form_, &PresetFormModel::isDragOverChanged, this, &PresetPictureZone::refresh);
    connect(form_, &PresetFormModel::imageErrorChanged, this, &PresetPictureZone::refresh);
    refresh();
}

QSize PresetPictureZone::sizeHint() const {
    if (form_ && !form_->image().isNull())
        return coverRect(QRect(0, 0, coverRoom.width(), coverRoom.height())).size().toSize().expandedTo(QSize(1, 1));
    return {332, 150};
}

QRectF PresetPictureZone::coverRect(const QRect& content) const {
    const QSizeF room(std::min(coverRoom.width(), content.width()), std::min(coverRoom.height(), content.height()));
    // A small picture grows to the frame as a large one shrinks to it.
    const QSizeF size = form_ ? QSizeF(form_->image().size()).scaled(room, Qt::KeepAspectRatio) : room;
    return QRectF(QPointF(content.left() + (content.width() - size.width()) / 2,
                          content.top() + (content.height() - size.height()) / 2),
                  size);
}

QString PresetPictureZone::caption() const {
    if (!form_)
        return {};
    if (!form_->image().isNull())
        return QStringLiteral("Reference image");
    return form_->isLoadingImage() ? QStringLiteral("Loading...") : QStringLiteral("Add preset cover");
}

void PresetPictureZone::refresh() {
    setAccessibleName(caption());
    const QString error = form_ ? form_->imageError() : QString();
    message_->setText(error);
    message_->setAccessibleName(error);
    message_->setVisible(!error.isEmpty());
    if (!error.isEmpty()) {
        const int width = std::max(1, this->width() - 16);
        const int height = message_->heightForWidth(width);
        message_->setGeometry(8, this->height() - height - 6, width, height);
    }
    const bool hasPicture = form_ && !form_->image().isNull();
    // The drop zone is at least 120 high; a picture takes only its own height.
    setMinimumHeight(hasPicture ? 0 : 120);
    const bool loading = form_ && form_->isLoadingImage() && !hasPicture;
    ring_->setColor(Theme::color(ColorRole::secondary, this));
    ring_->move((symbolRect().center() - QPointF(ring_->width(), ring_->height()) / 2).toPoint());
    ring_->setVisible(loading);
    updateGeometry();
    update();
}

QRect PresetPictureZone::contentRect() const {
    if (message_->isHidden())
        return rect();
    return QRect(0, 0, width(), std::max(0, message_->geometry().top() - 2));
}

QRectF PresetPictureZone::symbolRect() const {
    const QRectF box = QRectF(contentRect()).adjusted(1, 1, -1, -1);
    const int textHeight = QFontMetrics(Theme::font(14)).height();
    const int top = int(box.center().y()) - (30 + 12 + textHeight) / 2;
    return QRectF(box.center().x() - 15, top, 30, 30);
}

void PresetPictureZone::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refresh();
}

void PresetPictureZone::paintEvent(QPaintEvent*) {
    if (!form_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QImage image = form_->image();
    const QRect content = contentRect();
    if (!image.isNull()) {
        const QRectF target = coverRect(content);
        QPainterPath clip;
        clip.addRoundedRect(target, 8, 8);
        painter.save();
        painter.setClipPath(clip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image);
        painter.restore();
        if (FocusRing::shows(this))
            FocusRing::paint(painter, target, 8, this);
        return;
    }
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    QColor fill = accent_;
    fill.setAlphaF(form_->isDragOver() ? 0.1 : 0.0);
    QColor stroke = form_->isDragOver() ? accent_ : Theme::color(ColorRole::secondary, this);
    if (!form_->isDragOver())
        stroke.setAlphaF(stroke.alphaF() * 0.3);
    QPen pen(stroke, 2, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setDashPattern({4, 2}); // 8 on, 4 off at width 2
    painter.setPen(pen);
    painter.setBrush(fill);
    painter.drawRoundedRect(box, 8, 8);

    const QFont textFont = Theme::font(14);
    const int textHeight = QFontMetrics(textFont).height();
    const QRectF icon = symbolRect();
    // While loading, the ring turns in the symbol's place.
    if (!form_->isLoadingImage())
        painter.drawPixmap(icon, symbolPixmap(QStringLiteral("photo.badge.plus"), 30, accent_, devicePixelRatioF()),
                           QRectF());
    painter.setFont(textFont);
    painter.setPen(Theme::color(ColorRole::primary, this));
    painter.drawText(QRectF(box.left(), icon.top() + 42, box.width(), textHeight), Qt::AlignCenter, caption());
    if (FocusRing::shows(this))
        FocusRing::paint(painter, QRectF(rect()), 8, this);
}

void PresetPictureZone::keyPressEvent(QKeyEvent* event) {
    // Return and the keypad's Enter open the panel as Space does; Ctrl+Return stays the form's save.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void PresetPictureZone::dragEnterEvent(QDragEnterEvent* event) {
    if (!form_ || !PresetPicture::mayHoldPicture(event->mimeData())) {
        event->ignore();
        return;
    }
    form_->setDragOver(true);
    event->acceptProposedAction();
}

void PresetPictureZone::dragLeaveEvent(QDragLeaveEvent*) {
    if (form_)
        form_->setDragOver(false);
}

void PresetPictureZone::dropEvent(QDropEvent* event) {
    if (!form_)
        return;
    form_->handleDrop(event->mimeData());
    event->acceptProposedAction();
}

// ---- PresetFormView

PresetFormView::PresetFormView(PresetFormModel* form, Style style, QWidget* parent)
    : QDialog(parent), form_(form), style_(style) {
    setObjectName(QStringLiteral("presetForm"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(380, 500);
    setAutoFillBackground(true);
    // The form's own font: the system font at its regular size; the fields the form names set theirs.
    setFont(Theme::font(13));

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(24, 24, 24, 24);
    root->setSpacing(20);

    auto* header = new QHBoxLayout;
    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("presetFormHeading"));
    heading_->setFont(Theme::font(18, QFont::DemiBold));
    buttons_ = new FormButtons(QStringLiteral("Create"), this);
    buttons_->hide();
    QAbstractButton* close = buttons_->cancelButton();
    close->setObjectName(QStringLiteral("presetFormClose"));
    close->setAccessibleName(QStringLiteral("Close"));
    close->setToolTip(QStringLiteral("Close"));
    // "xmark" at 14 in a 28 × 28 rounded square (radius 6) on the control background.
    if (auto* glass = qobject_cast<GlassButton*>(close)) {
        glass->setCircleDiameter(0);
        glass->setPadding(QMarginsF(7, 7, 7, 7));
        glass->setCornerRadius(6);
        glass->setSymbolSize(14, QFont::Medium);
        glass->setFill(GlassButton::Fill::controlBackground);
        glass->setFixedSize(28, 28);
    }
    Controls::setTextColor(close, ColorRole::secondary);
    header->addWidget(heading_);
    header->addStretch();
    header->addWidget(close);
    root->addLayout(header);

    auto* fields = new QVBoxLayout;
    fields->setSpacing(16);

    QVBoxLayout* titleGroup = addFieldGroup(fields, QStringLiteral("Title"), this);
    title_ = new QLineEdit(this);
    title_->setObjectName(QStringLiteral("presetTitleField"));
    title_->setAccessibleName(QStringLiteral("Title"));
    title_->setPlaceholderText(QStringLiteral("Enter preset title"));
    titleGroup->addWidget(title_);

    // The picture's label shares its row with the "Remove" button.
    QVBoxLayout* pictureGroup = addFieldGroup(fields, QString(), this);
    auto* pictureRow = new QHBoxLayout;
    pictureRow->addWidget(fieldLabel(QStringLiteral("Reference Image (Optional)"), this));
    pictureRow->addStretch();
    remove_ = new QPushButton(QStringLiteral("Remove"), this);
    remove_->setObjectName(QStringLiteral("removePictureButton"));
    remove_->setAccessibleName(QStringLiteral("Remove"));
    remove_->setFont(Theme::font(12));
    remove_->setAutoDefault(false);
    Controls::setTextColor(remove_, ColorRole::secondary);
    pictureRow->addWidget(remove_);
    pictureGroup->addLayout(pictureRow);
    zone_ = new PresetPictureZone(form_, style.accent, this);
    pictureGroup->addWidget(zone_);

    // The prompt box: the editor padded 8 on a radius-8 filled, outlined rounded rectangle.
    QVBoxLayout* promptGroup = addFieldGroup(fields, QStringLiteral("Prompt"), this);
    promptBox_ = new QFrame(this);
    promptBox_->setObjectName(QStringLiteral("presetPromptBox"));
    auto* boxLayout = new QVBoxLayout(promptBox_);
    boxLayout->setContentsMargins(7, 7, 7, 7); // and the 1-point outline: 8 from the edge
    prompt_ = new QPlainTextEdit(promptBox_);
    prompt_->setObjectName(QStringLiteral("presetPromptField"));
    prompt_->setAccessibleName(QStringLiteral("Prompt"));
    nameScrollBars(prompt_, prompt_->accessibleName());
    prompt_->setFont(Theme::font(14));
    prompt_->setTabChangesFocus(true);
    prompt_->setFrameShape(QFrame::NoFrame);
    prompt_->document()->setDocumentMargin(0);
    boxLayout->addWidget(prompt_);
    if (style.promptFixedHeight)
        promptBox_->setFixedHeight(style.promptMinHeight);
    else
        prompt_->setMinimumHeight(style.promptMinHeight);
    promptGroup->addWidget(promptBox_);
    root->addLayout(fields);
    root->addStretch();

    auto* saveRow = new QHBoxLayout;
    save_ = buttons_->confirmButton();
    // Only Ctrl+Return saves: a plain Return in the title field does not press it.
    save_->setDefault(false);
    save_->setAutoDefault(false);
    save_->setObjectName(QStringLiteral("presetSaveButton"));
    saveRow->addStretch();
    saveRow->addWidget(save_);
    saveRow->addStretch();
    root->addLayout(saveRow);

    // The form only edits the panel's state; the panel decides when it closes.
    // The form's rule decides, over what it holds.
    buttons_->setCondition([this] { return form_ && form_->canSave(); });
    connect(buttons_, &FormButtons::cancelled, form_, &PresetFormModel::requestCancel);
    connect(buttons_, &FormButtons::confirmed, form_, &PresetFormModel::requestSave);
    connect(remove_, &QPushButton::clicked, form_, &PresetFormModel::removeImage);
    // Every change counts, also one made through assistive tools (which sets the text without editing it).
    connect(title_, &QLineEdit::textChanged, form_, &PresetFormModel::setTitle);
    connect(prompt_, &QPlainTextEdit::textChanged, this, [this] {
        if (form_ && prompt_->toPlainText() != form_->prompt())
            form_->setPrompt(prompt_->toPlainText());
    });
    for (auto signal : {&PresetFormModel::titleChanged, &PresetFormModel::imageChanged,
                        &PresetFormModel::editingChanged, &PresetFormModel::canSaveChanged})
        connect(form_, signal, this, &PresetFormView::refresh);
    // The field shows the form's prompt when it changes.
    connect(form_, &PresetFormModel::promptChanged, this, &PresetFormView::showPrompt);
    showPrompt();
    connect(&Theme::instance(), &Theme::changed, this, &PresetFormView::restyle);
    restyle();
    refresh();
    // Tab goes as the eye reads: the header's close button, the fields from the top, then the save button.
    setTabOrderFromLayout(this);
}

void PresetFormView::restyle() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::instance().color(ColorRole::windowBackground));
    setPalette(palette);
    const QColor outline = withOpacity(Theme::instance().color(ColorRole::secondary), 0.3);
    promptBox_->setStyleSheet(
        QStringLiteral("QFrame#presetPromptBox { background: %1; border: 1px solid %2;"
                       " border-radius: 8px; }")
            .arg(Theme::instance().color(style_.promptFill).name(QColor::HexArgb), outline.name(QColor::HexArgb)));
    prompt_->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; border: none; }"));
}

void PresetFormView::reject() {
    if (form_)
        form_->requestCancel();
}

void PresetFormView::refresh() {
    if (!form_)
        return;
    heading_->setText(form_->heading());
    setWindowTitle(form_->heading());
    save_->setText(form_->saveButtonTitle());
    save_->setAccessibleName(form_->saveButtonTitle());
    buttons_->refresh();
    if (title_->text() != form_->title())
        title_->setText(form_->title());
    remove_->setVisible(!form_->image().isNull());
}

void PresetFormView::showPrompt() {
    if (!form_)
        return;
    if (prompt_->toPlainText() != form_->prompt())
        prompt_->setPlainText(form_->prompt());
    // A held prompt is what will be saved: it can be read and copied, not changed.
    prompt_->setReadOnly(form_->isPromptHeld());
    if (form_->isPromptHeld())
        prompt_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void PresetFormView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A new preset starts with the cursor in the title; an edit does not.
    if (form_ && !form_->isEditing())
        title_->setFocus(Qt::OtherFocusReason);
    else
        save_->setFocus(Qt::OtherFocusReason);
}

void PresetFormView::closeEvent(QCloseEvent* event) {
    // Closing the window (the exit command) is a cancel; the panel closes the form.
    event->ignore();
    if (form_)
        form_->requestCancel();
}

CreateImagePresetView::CreateImagePresetView(PresetFormModel* form, QWidget* parent)
    : PresetFormView(form, {QColor(255, 149, 0), ColorRole::controlBackground, 100, false}, parent) {
    setObjectName(QStringLiteral("CreateImagePresetView"));
}

CreatePresetView::CreatePresetView(PresetFormModel* form, QWidget* parent)
    : PresetFormView(form, {QColor(0, 122, 255), ColorRole::textBackground, 120, true}, parent) {
    setObjectName(QStringLiteral("CreatePresetView"));
}
