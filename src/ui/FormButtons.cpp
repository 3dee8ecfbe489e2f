#include "FormButtons.h"

#include "FocusRing.h"
#include "GlassButtons.h"
#include "Theme.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>

FormButtons::FormButtons(const QString& confirmTitle, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("formButtons"));
    auto* cancel = new GlassIconButton(QStringLiteral("xmark"), QStringLiteral("Cancel"), 28, 12, this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setFill(GlassButton::Fill::none);
    cancel_ = cancel;
    confirm_ = new QPushButton(confirmTitle, this);
    confirm_->setObjectName(QStringLiteral("confirmButton"));
    confirm_->setAccessibleName(confirmTitle);
    confirm_->setDefault(true);
    confirm_->setAutoDefault(true);
    confirm_->setToolTip(confirmTitle + QStringLiteral(" (Ctrl+Return)"));
    // The style sheet leaves the button without a focus frame of its own.
    FocusRing::attach(confirm_, 6);

    stylePrimary();
    connect(&Theme::instance(), &Theme::changed, this, &FormButtons::stylePrimary);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(cancel_);
    layout->addStretch(1);
    layout->addWidget(confirm_);

    // Shortcuts belong to the buttons so they follow them into another layout; they act while the button is
    // shown in the active window.
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(keys, confirm_);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &FormButtons::confirm);
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), cancel_);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, cancel_, &QAbstractButton::click);
    connect(cancel_, &QAbstractButton::clicked, this, &FormButtons::cancelled);
    connect(confirm_, &QPushButton::clicked, this, &FormButtons::confirm);
    refresh();
}

void FormButtons::stylePrimary() {
    // The prominent look: accent fill with white text; greyed while the form is incomplete.
    const Theme& theme = Theme::instance();
    const QColor accent = theme.color(ColorRole::accent);
    const QColor disabled = theme.color(ColorRole::quaternary);
    const QColor disabledText = theme.color(ColorRole::tertiary);
    confirm_->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 6px;"
                       " padding: 5px 14px; font-weight: 500; }"
                       "QPushButton:pressed { background: %2; }"
                       "QPushButton:disabled { background: %3; color: %4; }")
            .arg(accent.name(), accent.darker(115).name(), disabled.name(QColor::HexArgb),
                 disabledText.name(QColor::HexArgb)));
}

bool FormButtons::hasContent(const QString& text) {
    return !text.trimmed().isEmpty();
}

void FormButtons::addRequired(QLineEdit* field) {
    QPointer<QLineEdit> guard(field);
    required_.append([guard] { return guard ? guard->text() : QString(); });
    connect(field, &QLineEdit::textChanged, this, &FormButtons::refresh);
    refresh();
}

void FormButtons::addRequired(QPlainTextEdit* field) {
    QPointer<QPlainTextEdit> guard(field);
    required_.append([guard] { return guard ? guard->toPlainText() : QString(); });
    connect(field, &QPlainTextEdit::textChanged, this, &FormButtons::refresh);
    refresh();
}

void FormButtons::addRequired(QTextEdit* field) {
    QPointer<QTextEdit> guard(field);
    required_.append([guard] { return guard ? guard->toPlainText() : QString(); });
    connect(field, &QTextEdit::textChanged, this, &FormButtons::refresh);
    refresh();
}

void FormButtons::addRequired(std::function<QString()> text) {
    required_.append(std::move(text));
    refresh();
}

void FormButtons::setCondition(std::function<bool()> condition) {
    condition_ = std::move(condition);
    refresh();
}

bool FormButtons::canConfirm() const {
    for (const auto& text : required_) {
        if (!hasContent(text()))
            return false;
    }
    return !condition_ || condition_();
}

void FormButtons::refresh() {
    confirm_->setEnabled(canConfirm());
}

void FormButtons::confirm() {
    refresh();
    if (confirm_->isEnabled())
        emit confirmed();
}
