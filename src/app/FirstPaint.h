#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class QWidget;

// When a window has shown its first picture. What the first screen does not show waits for it, so the window
// appears before the rest of the program is loaded.
class FirstPaint final : public QObject {
    Q_OBJECT
public:
    // The watch of a top-level `window`, made when first asked for; it lives as long as the window.
    static FirstPaint& of(QWidget* window);

    bool hasPainted() const { return painted_; }
    // Runs `work` right after the window's first paint, or on the next turn of the event loop when the window has
    // painted already; never once `context` is gone. Works run in the order they were handed in.
    void then(QObject* context, std::function<void()> work);

    // With ORVANE_REPORT_FIRST_PAINT set, prints "first-paint <nanoseconds of the steady clock>" on stdout for the
    // moment `window` painted, so a launcher can time a start from outside the process.
    static void reportIfRequested(QWidget* window);

signals:
    // Once, on the turn of the event loop after the first paint, when the picture has gone to the screen.
    void painted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit FirstPaint(QWidget* window);
    void finish();

    QWidget* window_;
    bool seen_ = false;
    bool painted_ = false;
    std::chrono::steady_clock::time_point paintedAt_;
};
