#include "HoverPreviewController.h"

#include "Clock.h"

#include <QPointer>

#include <qcoro/qcorotask.h>

// Enter after 200 ms, leave after 150 ms; every change cancels the pending reaction.
class HoverDelay final : public QObject {
    Q_OBJECT
public:
    explicit HoverDelay(QObject* parent) : QObject(parent) {}
    void setHovered(bool hovered) { wait(hovered, ++generation_); }

signals:
    void enterElapsed();
    void leaveElapsed();

private:
    QCoro::Task<> wait(bool hovered, quint64 generation) {
        QPointer<HoverDelay> self(this);
        co_await Clock::current().sleep(hovered ? 0.2 : 0.15);
        if (!self || self->generation_ != generation)
            co_return;
        if (hovered)
            emit self->enterElapsed();
        else
            emit self->leaveElapsed();
    }
    quint64 generation_ = 0;
};

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

#include "HoverPreviewController.moc"
