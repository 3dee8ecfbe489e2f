#include "SheetKeyboard.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace {

bool takesTab(const QWidget* widget) {
    return (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !widget->focusProxy() && widget->isVisible() &&
           widget->isEnabled();
}

// Controls that type or move with Tab themselves keep it.
bool usesTab(const QWidget* widget) {
    if (const auto* text = qobject_cast<const QPlainTextEdit*>(widget))
        return !text->tabChangesFocus() && !text->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(widget))
        return !text->tabChangesFocus() && !text->isReadOnly();
    if (const auto* view = qobject_cast<const QAbstractItemView*>(widget))
        return view->tabKeyNavigation();
    return false;
}

} // namespace

SheetKeyboard::SheetKeyboard(QWidget* sheet, std::function<void()> close)
    : QObject(sheet), sheet_(sheet), close_(std::move(close)) {
    setObjectName(QStringLiteral("sheetKeyboard"));
    // The window's own focus: a form or menu the sheet opened at once may hold the application's by now.
    QWidget* focused = sheet->window()->focusWidget();
    if (focused && focused != sheet && !sheet->isAncestorOf(focused))
        opener_ = focused;
    qApp->installEventFilter(this);
}

void SheetKeyboard::open(QWidget* sheet, QWidget* first, std::function<void()> close) {
    if (!sheet)
        return;
    auto* keyboard = sheet->findChild<SheetKeyboard*>(QString(), Qt::FindDirectChildrenOnly);
    if (keyboard)
        keyboard->close_ = std::move(close);
    else
        keyboard = new SheetKeyboard(sheet, std::move(close));
    // A form the sheet opened at once keeps the keyboard; it gives it back to the sheet when it closes.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->window() != sheet->window())
        return;
    if (!first || !takesTab(first))
        first = keyboard->stops().value(0);
    if (first)
        first->setFocus(Qt::OtherFocusReason);
}

void SheetKeyboard::release(QWidget* sheet) {
    auto* keyboard = sheet ? sheet->findChild<SheetKeyboard*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!keyboard)
        return;
    qApp->removeEventFilter(keyboard);
    const QPointer<QWidget> opener = keyboard->opener_;
    // Escape may be on its way through the filter: the keeper goes later.
    keyboard->sheet_ = nullptr;
    keyboard->close_ = nullptr;
    keyboard->deleteLater();
    QWidget* focused = QApplication::focusWidget();
    const bool focusInside = focused && (focused == sheet || sheet->isAncestorOf(focused));
    if (opener && opener->isVisible() && opener->isEnabled())
        opener->setFocus(Qt::OtherFocusReason);
    else if (focusInside)
        // Nothing to go back to: the leaving sheet must not keep the keys.
        focused->clearFocus();
}

QList<QWidget*> SheetKeyboard::stops() const {
    QList<QWidget*> order;
    if (!sheet_)
        return order;
    if (takesTab(sheet_))
        order.append(sheet_);
    for (QWidget* widget = sheet_->nextInFocusChain(); widget && widget != sheet_;
         widget = widget->nextInFocusChain()) {
        if (sheet_->isAncestorOf(widget) && takesTab(widget))
            order.append(widget);
    }
    return order;
}

void SheetKeyboard::moveFocus(QWidget* from, bool forward) {
    const QList<QWidget*> order = stops();
    if (order.isEmpty())
        return;
    qsizetype at = order.indexOf(from);
    if (at < 0) {
        // The focused control is no Tab stop itself: go on from where it stands in the chain.
        QWidget* widget = from;
        do
            widget = forward ? widget->nextInFocusChain() : widget->previousInFocusChain();
        while (widget && widget != from && !order.contains(widget));
        at = widget ? order.indexOf(widget) : -1;
        if (at >= 0) {
            order[at]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
        at = forward ? order.size() - 1 : 0;
    }
    const qsizetype next = (at + (forward ? 1 : order.size() - 1)) % order.size();
    order[next]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

bool SheetKeyboard::eventFilter(QObject* watched, QEvent* event) {
    // Only the first delivery, to the focused control: a key press that it ignores goes on to its parents.
    if (event->type() != QEvent::KeyPress || !sheet_ || watched != QApplication::focusWidget())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != sheet_ && !sheet_->isAncestorOf(widget))
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        if (close_) {
            const auto close = close_;
            close();
        }
        return true;
    }
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const bool backward =
        key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && (modifiers & Qt::ShiftModifier));
    if ((key->key() != Qt::Key_Tab && !backward) || usesTab(widget))
        return false;
    moveFocus(widget, !backward);
    return true;
}
