#include "HoverDelay.h"

#include "Clock.h"

#include <QCursor>
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
        switch (event->type()) {
        case QEvent::Enter:
            setHovered(true);
            break;
        case QEvent::Leave:
            setHovered(false);
            break;
        case QEvent::Move:
            // Moved under a pointer that stayed put (a scroll): the pointer rests on the widget only once it
            // stops moving, and it may have left the widget without a leave event.
            if (hovered_) {
                const auto* widget = static_cast<QWidget*>(watched);
                setHovered(widget->rect().contains(widget->mapFromGlobal(QCursor::pos())));
            }
            break;
        default:
            break;
        }
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
