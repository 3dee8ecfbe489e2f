#pragma once

#include <QObject>

class QWidget;

// The hover timing of cards that preview: entering reacts after 200 ms, leaving after 150 ms. Every change
// cancels the reaction still pending, and a cancelled reaction does nothing. Timed through the Clock seam;
// a reaction still pending when this object goes away never runs, and nothing is left waiting for it.
class HoverDelay final : public QObject {
    Q_OBJECT
public:
    static constexpr double enterDelaySeconds = 0.2;
    static constexpr double leaveDelaySeconds = 0.15;

    explicit HoverDelay(QObject* parent);
    // Follows the pointer entering and leaving `widget` (and becomes its child). A widget that moves under the
    // pointer (a list scrolling) starts its enter delay again, or leaves when the pointer is no longer over it.
    static HoverDelay* track(QWidget* widget);

    void setHovered(bool hovered);
    bool isHovered() const { return hovered_; }
    bool isPending() const { return pending_ != nullptr; }
    // Drops the pending reaction without starting another.
    void cancel();

signals:
    void enterElapsed();
    void leaveElapsed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void react(bool entering);

    bool hovered_ = false;
    // The pending reaction's timed call lives as long as this child: deleting it drops the call.
    QObject* pending_ = nullptr;
};
