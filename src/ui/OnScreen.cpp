#include "OnScreen.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

WindowExposure* WindowExposure::of(QWindow* window) {
    if (auto* exposure = window->findChild<WindowExposure*>(QString(), Qt::FindDirectChildrenOnly))
        return exposure;
    return new WindowExposure(window);
}

WindowExposure::WindowExposure(QWindow* window) : QObject(window), told_(window->isExposed()) {
    window->installEventFilter(this);
    connect(window, &QWindow::windowStateChanged, this, &WindowExposure::changed);
}

bool WindowExposure::seen() const {
    const auto* window = static_cast<const QWindow*>(parent());
    if (window->windowStates() & Qt::WindowMinimized)
        return false;
    return window->isExposed() || !told_;
}

bool WindowExposure::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::Expose:
        // The window's own state is updated before the event comes.
        told_ = true;
        emit changed();
        break;
    case QEvent::Show:
    case QEvent::Hide:
        told_ = false;
        emit changed();
        break;
    default:
        break;
    }
    return false;
}

OnScreenWatcher::OnScreenWatcher(QWidget* widget) : QObject(widget), widget_(widget) {
    widget->installEventFilter(this);
    follow();
}

bool OnScreenWatcher::isOnScreen(const QWidget* widget) {
    if (!widget || !widget->isVisible())
        return false;
    const QWidget* top = widget->window();
    if (top->isMinimized())
        return false;
    QWindow* window = top->windowHandle();
    return !window || WindowExposure::of(window)->seen();
}

bool OnScreenWatcher::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::ParentChange:
        // The window may be new, or another one.
        follow();
        break;
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        recheck();
        break;
    default:
        break;
    }
    return false;
}

void OnScreenWatcher::follow() {
    QWidget* top = widget_->window();
    if (top != top_) {
        if (top_ && top_ != widget_)
            top_->removeEventFilter(this);
        top_ = top;
        if (top_ != widget_)
            top_->installEventFilter(this);
    }
    QWindow* window = top->windowHandle();
    if (window != window_) {
        disconnect(exposure_);
        window_ = window;
        if (window_)
            exposure_ = connect(WindowExposure::of(window_), &WindowExposure::changed, this, &OnScreenWatcher::recheck);
    }
    recheck();
}

void OnScreenWatcher::recheck() {
    const bool onScreen = isOnScreen(widget_);
    if (onScreen == onScreen_)
        return;
    onScreen_ = onScreen;
    emit onScreenChanged(onScreen);
}
