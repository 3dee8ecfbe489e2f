#include "ReturnKeyFilter.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

ReturnKeyFilter::ReturnKeyFilter(QWidget* editor) : QObject(editor), editor_(editor) {
    editor->installEventFilter(this);
}

void ReturnKeyFilter::setActive(std::function<bool()> isActive) {
    isActive_ = std::move(isActive);
}

bool ReturnKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != editor_ || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    const bool active = isActive_ ? isActive_() : editor_->hasFocus();
    if (!active)
        return false;
    if (key->modifiers() & Qt::ShiftModifier) {
        if (auto* plain = qobject_cast<QPlainTextEdit*>(editor_); plain && !plain->isReadOnly())
            plain->insertPlainText(QStringLiteral("\n"));
        else if (auto* rich = qobject_cast<QTextEdit*>(editor_); rich && !rich->isReadOnly())
            rich->insertPlainText(QStringLiteral("\n"));
        emit shiftReturnPressed();
    } else {
        emit returnPressed();
    }
    return true;
}
