#include "APISettingsView.h"

#include "APISettingsViewModel.h"
#include "Controls.h"
#include "ResultLabel.h"
#include "SettingsForm.h"
#include "Spinner.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString slotName(const APIKeySlot& slot) {
    return slot.isImageKey() ? QStringLiteral("google") : QStringLiteral("miniMax%1").arg(slot.slot());
}

QToolButton* iconButton(const QString& objectName, const QString& accessibleName, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAccessibleName(accessibleName);
    button->setAutoRaise(true);
    button->setIconSize(QSize(16, 16));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// A link that is one Tab stop: Qt's label takes the focus at one Tab and its link only at the next, and Shift+Tab
// from a link at the start of its label finds that link again instead of leaving.
class KeyLink final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QLabel::focusInEvent(event);
        // The label holds one link: coming by Tab either way selects it, from the start.
        if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason) {
            setSelection(0, 0);
            QLabel::focusNextPrevChild(true);
        }
    }
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

void linkRow(const QString& name, const QString& title, const QString& address, QWidget* parent, QHBoxLayout*& row) {
    row = new QHBoxLayout;
    row->setSpacing(6);
    auto* icon = new QLabel(parent);
    icon->setObjectName(name + "Symbol");
    const auto paintIcon = [icon] {
        icon->setPixmap(
            symbolPixmap("link", 12, Theme::instance().color(ColorRole::secondary), icon->devicePixelRatioF()));
    };
    paintIcon();
    QObject::connect(&Theme::instance(), &Theme::changed, icon, paintIcon);
    auto* label = settingsCaption(title, parent);
    label->setObjectName(name + "Title");
    label->setWordWrap(false);
    const QString shortForm = APISettingsViewModel::linkTitle(address);
    auto* link = new KeyLink(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(address.toHtmlEscaped(), shortForm.toHtmlEscaped()), parent);
    link->setFont(Theme::font(11));
    link->setTextFormat(Qt::RichText);
    link->setOpenExternalLinks(true);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setObjectName(name);
    link->setAccessibleName(shortForm);
    row->addWidget(icon);
    row->addWidget(label);
    row->addWidget(link);
    row->addStretch();
}

} // namespace

APIKeySection::APIKeySection(APIKeySlot& slot, QWidget* parent) : QWidget(parent), slot_(slot) {
    const QString name = slotName(slot);
    setObjectName(name + "KeySection");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    auto* heading = new QHBoxLayout;
    auto* title = new QLabel(slot.title(), this);
    title->setObjectName(name + "KeyTitle");
    title->setFont(Theme::font(13, QFont::DemiBold));
    status_ = new QLabel(this);
    status_->setObjectName(name + "KeyStatus");
    heading->addWidget(title);
    heading->addWidget(status_);
    heading->addStretch();
    column->addLayout(heading);
    auto* caption = settingsCaption(slot.caption(), this);
    caption->setObjectName(name + "KeyCaption");
    column->addWidget(caption);

    auto* keyRow = new QHBoxLayout;
    field_ = new QLineEdit(this);
    field_->setObjectName(name + "KeyField");
    field_->setAccessibleName(slot.fieldName());
    field_->setPlaceholderText(slot.placeholder());
    field_->setClearButtonEnabled(false);
    showButton_ = iconButton(name + "ShowKeyButton", QString(), this);
    testButton_ = iconButton(name + "TestButton", slot.testButtonName(), this);
    testButton_->setToolTip(slot.testHelp());
    testButton_->setIcon(symbolIcon("checkmark.circle", Theme::instance().color(ColorRole::blue)));
    // In place of the test button while the test runs: a small indicator at 0.8, centred in the button's own
    // room, so that the field and the buttons beside it stay where they are.
    progress_ = new Spinner({SpinnerLook::Style::spokes}, Spinner::smallDiameter * 0.8, this);
    progress_->setFixedSize(testButton_->sizeHint());
    progress_->setObjectName(name + "TestProgress");
    progress_->setAccessibleName("Testing");
    clearButton_ = iconButton(name + "ClearButton", slot.clearButtonName(), this);
    clearButton_->setIcon(symbolIcon("xmark.circle.fill", Theme::instance().color(ColorRole::secondary)));
    keyRow->addWidget(field_, 1);
    keyRow->addWidget(showButton_);
    keyRow->addWidget(testButton_);
    keyRow->addWidget(progress_);
    keyRow->addWidget(clearButton_);
    column->addLayout(keyRow);

    resultRow_ = new QWidget(this);
    resultRow_->setObjectName(name + "TestResult");
    auto* resultLayout = new QHBoxLayout(resultRow_);
    resultLayout->setContentsMargins(0, 4, 0, 0);
    resultIcon_ = new QLabel(resultRow_);
    resultText_ = new ResultLabel(resultRow_);
    resultText_->setObjectName(name + "TestResultText");
    resultText_->setFont(Theme::font(11));
    resultText_->setWordWrap(true);
    resultText_->setTextFormat(Qt::PlainText);
    resultLayout->addStretch();
    resultLayout->addWidget(resultIcon_);
    resultLayout->addWidget(resultText_, 1);
    resultLayout->addStretch();
    column->addWidget(resultRow_);

    // Every change goes to the key store, which writes it at once: typed, pasted, or set by an assistive tool or
    // a password manager (which do not cause textEdited). The key store's own changes shown here are not written back.
    connect(field_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (showingStoredKey_)
            return;
        focusLent_ = false; // typed into: the field keeps the focus
        slot_.setKey(text);
    });
    connect(showButton_, &QToolButton::clicked, &slot_, &APIKeySlot::toggleShowKey);
    connect(testButton_, &QToolButton::clicked, &slot_, &APIKeySlot::test);
    connect(clearButton_, &QToolButton::clicked, &slot_, &APIKeySlot::clear);
    connect(&slot_, &APIKeySlot::keyChanged, this, &APIKeySection::refreshKey);
    connect(&slot_, &APIKeySlot::showKeyChanged, this, &APIKeySection::refreshShow);
    connect(&slot_, &APIKeySlot::controlsChanged, this, &APIKeySection::refreshTest);
    // A verdict is heard when it arrives, also the same verdict a second time.
    connect(&slot_, &APIKeySlot::testStateChanged, this, [this] {
        if (slot_.hasResult())
            resultText_->setText(slot_.resultText());
    });
    connect(&Theme::instance(), &Theme::changed, this, [this] {
        refreshKey();
        refreshTest();
    });
    refreshKey();
    refreshShow();
    refreshTest();
}

void APIKeySection::refreshKey() {
    if (field_->text() != slot_.key()) {
        showingStoredKey_ = true;
        field_->setText(slot_.key());
        showingStoredKey_ = false;
    }
    const bool hasKey = slot_.hasKey();
    const Theme& theme = Theme::instance();
    status_->setPixmap(symbolPixmap(hasKey ? "checkmark.circle.fill" : "exclamationmark.circle.fill", 14,
                                    theme.color(hasKey ? ColorRole::green : ColorRole::orange), devicePixelRatioF()));
    if (status_->accessibleName() != slot_.statusText())
        status_->setAccessibleName(slot_.statusText());
    showKeepingFocus(clearButton_, hasKey, field_);
}

// A control hidden with the focus would pass it on as Tab does: to this key's Clear button, or into the next key's
// field with its text selected, where the next key typed replaces it. `standIn` (shown) takes it instead.
void APIKeySection::showKeepingFocus(QWidget* control, bool shown, QWidget* standIn) {
    if (!shown && window()->focusWidget() == control)
        standIn->setFocus(Qt::OtherFocusReason);
    control->setVisible(shown);
}

void APIKeySection::refreshShow() {
    const bool shown = slot_.showKey();
    field_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    showButton_->setIcon(symbolIcon(shown ? "eye.slash" : "eye", Theme::instance().color(ColorRole::secondary)));
    showButton_->setAccessibleName(slot_.showKeyText());
    showButton_->setToolTip(showButton_->accessibleName());
}

void APIKeySection::refreshTest() {
    // While a test runs its indicator holds the focus the Test button had: a key pressed meanwhile changes nothing.
    // The button, back, takes it again, unless the key was typed into meanwhile.
    const bool testShown = slot_.testButtonShown();
    const bool testEnabled = !slot_.isTesting();
    const bool progressShown = slot_.testProgressShown();
    if (progressShown)
        progress_->show();
    if (window()->focusWidget() == testButton_ && (!testShown || !testEnabled)) {
        focusLent_ = true;
        (progressShown ? static_cast<QWidget*>(progress_) : field_)->setFocus(Qt::OtherFocusReason);
    }
    testButton_->setEnabled(testEnabled);
    testButton_->setVisible(testShown);
    QWidget* holder = window()->focusWidget();
    if (focusLent_ && testShown && testEnabled && (holder == progress_ || holder == field_)) {
        focusLent_ = false;
        testButton_->setFocus(Qt::OtherFocusReason);
    }
    showKeepingFocus(progress_, progressShown, field_);

    resultRow_->setVisible(slot_.hasResult());
    if (slot_.hasResult()) {
        const bool success = slot_.resultIsSuccess();
        const QColor color = Theme::instance().color(success ? ColorRole::green : ColorRole::red);
        resultIcon_->setPixmap(
            symbolPixmap(success ? "checkmark.circle.fill" : "xmark.circle.fill", 12, color, devicePixelRatioF()));
        Controls::setTextColor(resultText_, color);
    }
}

APISettingsView::APISettingsView(QWidget* parent) : QWidget(parent), model_(new APISettingsViewModel(this)) {
    setObjectName("APISettingsView");
    SettingsPage* page =
        addScrollingPage(this, APISettingsViewModel::title, APISettingsViewModel::subtitle, "apiSettingsScroll");

    for (APIKeySlot* slot : model_->keySlots()) {
        auto* section = new SettingsSection(slotName(*slot), slot->sectionHeader(), page);
        section->addWide(new APIKeySection(*slot));
        page->column()->addWidget(section);
    }

    auto* links = new SettingsSection("getAPIKeys", "Get API Keys", page);
    auto* linkBox = new QWidget;
    auto* linkColumn = new QVBoxLayout(linkBox);
    linkColumn->setContentsMargins(0, 0, 0, 0);
    linkColumn->setSpacing(12);
    QHBoxLayout* row = nullptr;
    linkRow("googleKeysLink", "Google AI Studio:", APISettingsViewModel::googleKeysAddress, linkBox, row);
    linkColumn->addLayout(row);
    linkRow("miniMaxKeysLink", "MiniMax Console:", APISettingsViewModel::miniMaxKeysAddress, linkBox, row);
    linkColumn->addLayout(row);
    links->addWide(linkBox);
    page->column()->addWidget(links);
    page->column()->addSpacing(60);
    page->column()->addStretch();
}
