#include "HoverPreviewController.h"

#include "HoverDelay.h"

HoverPreviewController::HoverPreviewController(std::function<void(int)> play, std::function<void()> stop,
                                               QObject* parent)
    : QObject(parent), play_(std::move(play)), stop_(std::move(stop)) {}

HoverPreviewController::~HoverPreviewController() = default;

HoverDelay* HoverPreviewController::delayFor(int row) {
    if (HoverDelay* delay = delays_.value(row))
        return delay;
    auto* delay = new HoverDelay(this);
    connect(delay, &HoverDelay::enterElapsed, this, [this, row] {
        if (play_)
            play_(row);
    });
    connect(delay, &HoverDelay::leaveElapsed, this, [this] {
        if (stop_)
            stop_();
    });
    delays_.insert(row, delay);
    return delay;
}

void HoverPreviewController::hover(int row, bool hovered) {
    if (row < 0)
        return;
    delayFor(row)->setHovered(hovered);
}

void HoverPreviewController::setHoveredRow(int row) {
    if (row == hoveredRow_)
        return;
    const int previous = hoveredRow_;
    hoveredRow_ = row;
    hover(previous, false);
    hover(row, true);
}

void HoverPreviewController::cardsMovedUnderPointer(int row) {
    if (row != hoveredRow_)
        setHoveredRow(row);
    else
        hover(row, true);
}

void HoverPreviewController::reset() {
    hoveredRow_ = -1;
    for (HoverDelay* delay : std::as_const(delays_))
        delay->cancel();
}
