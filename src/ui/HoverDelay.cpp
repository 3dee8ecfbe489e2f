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
    pending_ = true;
    const quint64 generation = ++generation_;
    wait(QPointer<HoverDelay>(this), generation, hovered ? enterDelaySeconds : leaveDelaySeconds, hovered);
}

void HoverDelay::cancel() {
    ++generation_;
    pending_ = false;
}

QCoro::Task<> HoverDelay::wait(QPointer<HoverDelay> self, quint64 generation, double seconds, bool entering) {
    co_await Clock::current().sleep(seconds);
    if (!self || self->generation_ != generation)
        co_return;
    self->pending_ = false;
    if (entering)
        emit self->enterElapsed();
    else
        emit self->leaveElapsed();
}
