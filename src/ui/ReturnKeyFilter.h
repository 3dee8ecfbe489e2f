#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Turns Return (and the keypad's Enter) in an editor into a signal instead of a line break. Shift+Return
// emits its own signal and types the line break itself. Other modifiers count as plain
// Return. Installed on the editor and owned by it.
class ReturnKeyFilter final : public QObject {
    Q_OBJECT
public:
    explicit ReturnKeyFilter(QWidget* editor);

    // Asked at every Return; while it answers false the key goes to the editor untouched. Default: the editor
    // has keyboard focus.
    void setActive(std::function<bool()> isActive);

signals:
    void returnPressed();
    void shiftReturnPressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* editor_;
    std::function<bool()> isActive_;
};
