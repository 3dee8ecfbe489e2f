#include "SyntaxHighlightedTextEditor.h"

#include "Controls.h"
#include "PlainText.h"
#include "PromptLimit.h"
#include "TagHighlighter.h"
#include "Theme.h"

#include <QKeyEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTextCursor>

SyntaxHighlightedTextEditor::SyntaxHighlightedTextEditor(QWidget* parent) : QPlainTextEdit(parent), debounce_(this) {
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Controls::focusOnTheControlOnly(this);
    // Tab moves on to the next control, so the studio can be worked from the keyboard alone.
    setTabChangesFocus(true);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    verticalScrollBar()->setObjectName("promptEditorVerticalScrollBar");
    verticalScrollBar()->setAccessibleName("Prompt scroll bar");
    horizontalScrollBar()->setObjectName("promptEditorHorizontalScrollBar");
    horizontalScrollBar()->setAccessibleName("Prompt horizontal scroll bar");
    highlighter_ = new TagHighlighter(document());
    highlighter_->setParent(this);
    highlighter_->setTagColor(Theme::instance().color(ColorRole::blue));
    connect(&Theme::instance(), &Theme::changed, this,
            [this] { highlighter_->setTagColor(Theme::instance().color(ColorRole::blue)); });
    debounce_.setSingleShot(true);
    debounce_.setInterval(debounceMilliseconds);
    connect(&debounce_, &QTimer::timeout, this, [this] { emit textCommitted(PromptLimit::truncated(typedText())); });
    connect(document(), &QTextDocument::contentsChange, this, &SyntaxHighlightedTextEditor::onContentsChange);
}

QString SyntaxHighlightedTextEditor::typedText() const {
    return ::typedText(document());
}

void SyntaxHighlightedTextEditor::setFontSize(qreal size) {
    // Pixels, like every size of the look: points would grow with the screen's resolution.
    const QFont f = Theme::font(size);
    if (font().pixelSize() == f.pixelSize())
        return;
    setFont(f);
}

void SyntaxHighlightedTextEditor::onContentsChange(int, int removed, int added) {
    if (settingText_ || (removed == 0 && added == 0))
        return;
    debounce_.start();
}

void SyntaxHighlightedTextEditor::replaceText(const QString& text) {
    settingText_ = true;
    setPlainText(text);
    settingText_ = false;
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
}

void SyntaxHighlightedTextEditor::updateFromOwner(const QString& text) {
    if (hasFocus())
        return;
    if (typedText() == text)
        return;
    replaceText(text);
}

void SyntaxHighlightedTextEditor::reset(const QString& text) {
    debounce_.stop();
    if (typedText() != text)
        replaceText(text);
}

void SyntaxHighlightedTextEditor::flush() {
    if (!debounce_.isActive())
        return;
    debounce_.stop();
    emit textCommitted(PromptLimit::truncated(typedText()));
}

void SyntaxHighlightedTextEditor::keyPressEvent(QKeyEvent* event) {
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && !(event->modifiers() & Qt::ShiftModifier) && onEnter_) {
        debounce_.stop();
        emit textCommitted(PromptLimit::truncated(typedText()));
        // The action runs after this key event, like any queued main-thread work.
        QTimer::singleShot(0, this, [action = onEnter_] { action(); });
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void SyntaxHighlightedTextEditor::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    debounce_.stop();
    const QString capped = PromptLimit::truncated(typedText());
    emit textCommitted(capped);
    // Once the editor is left, the view shows what the owner holds.
    if (capped != typedText())
        replaceText(capped);
}
