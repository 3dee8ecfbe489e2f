#pragma once

#include <QObject>
#include <QPointer>

class QWidget;
class QWindow;

// Tells whether a widget can be seen: it is shown, its window is not minimised, and the windowing system exposes
// that window (an unmapped window gets no hide event, only an expose event saying it is gone). Every animation
// that repeats runs only while its widget is on screen, so nothing wakes the program for frames no one sees.
// A window shown but not yet told whether it is exposed counts as on screen: its first frame is on its way.
class OnScreenWatcher final : public QObject {
    Q_OBJECT
public:
    // Watches `widget`, as its child.
    explicit OnScreenWatcher(QWidget* widget);

    bool isOnScreen() const { return onScreen_; }
    // The same reading for any widget, without watching it.
    static bool isOnScreen(const QWidget* widget);

signals:
    void onScreenChanged(bool onScreen);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
    void recheck();

    QWidget* widget_;
    QPointer<QWidget> top_;
    QPointer<QWindow> window_;
    QMetaObject::Connection exposure_;
    bool onScreen_ = false;
};

// One per window, made by the watchers of its widgets: whether the windowing system has said since the window was
// shown that it is not exposed, and a signal when anything about that may have changed.
class WindowExposure final : public QObject {
    Q_OBJECT
public:
    static WindowExposure* of(QWindow* window);
    // False once the window is minimised or the windowing system said it is not exposed.
    bool seen() const;

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WindowExposure(QWindow* window);
    bool told_;
};
