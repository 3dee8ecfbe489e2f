#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

// Makes a sheet or overlay over a studio modal for the keyboard, as it is for the pointer: when it opens the
// focus moves into it, Tab and Backtab go round its own controls only (what lies under it keeps its state and
// look, but no key reaches it), Escape asks its host to close it, and when it closes the focus goes back to the
// control that had it before.
class SheetKeyboard final : public QObject {
    Q_OBJECT
public:
    // `sheet`, on screen, keeps the keyboard from now on; the focus goes to `first` (its first control when
    // null); Escape calls `close`.
    static void open(QWidget* sheet, QWidget* first, std::function<void()> close);
    // Gives the keyboard back to what is under `sheet` and the focus to the control that opened it. Called as
    // the sheet starts to leave.
    static void release(QWidget* sheet);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SheetKeyboard(QWidget* sheet, std::function<void()> close);
    // The sheet's Tab stops, in the window's focus order.
    QList<QWidget*> stops() const;
    void moveFocus(QWidget* from, bool forward);

    QPointer<QWidget> sheet_;
    QPointer<QWidget> opener_;
    std::function<void()> close_;
};
