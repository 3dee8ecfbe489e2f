#include "HoverDelay.h"

#include "Clock.h"

#include <QEvent>
#include <QWidget>

HoverDelay::HoverDelay(QObject* parent) : QObject(parent) {}

HoverDelay* HoverDelay::track(QWidget* widget) {
    auto* delay = new HoverDelay(widget);
    widget->setAttribute(Qt::WA_Hover);
    widget->installEventFilter(delay);
    return delay;
}

bool HoverDelay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent()) {
        if (event->type() == QEvent::Enter)
            setHovered(true);
        else if (event->type() == QEvent::Leave)
            setHovered(false);
    }
    return QObject::eventFilter(watched, event);
}

void HoverDelay::setHovered(bool hovered) {
    hovered_ = hovered;
    cancel();
    pending_ = new QObject(this);
    Clock::current().callAfter(hovered ? enterDelaySeconds : leaveDelaySeconds, pending_,
                               [this, hovered] { react(hovered); });
}

void HoverDelay::cancel() {
    delete pending_;
    pending_ = nullptr;
}

void HoverDelay::react(bool entering) {
    cancel();
    if (entering)
        emit enterElapsed();
    else
        emit leaveElapsed();
}
