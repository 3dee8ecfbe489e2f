#pragma once

#include <QEasingCurve>
#include <QPointF>

#include <functional>

class QVariantAnimation;
class QWidget;

// The motion of the look: spring and ease curves for QVariantAnimation, and entrances of whole widgets. Every
// animation runs only while something moves: it is stopped at its end and when its widget hides, so nothing
// ticks while a view is idle or hidden.
namespace Motion {

// A damped spring released at rest at 0 towards 1. `response`: the period of the undamped oscillation in
// seconds; `dampingFraction`: 1 comes to rest without overshooting, below 1 it overshoots and swings back.
struct Spring {
    double response = 0.55;
    double dampingFraction = 0.825;
};

// Where the spring is `seconds` after its release.
double springPosition(Spring spring, double seconds);
// How long the spring takes until it stays within `tolerance` of its target.
double settlingTime(Spring spring, double tolerance = 0.001);
// The spring's settling time in whole milliseconds: the duration of an animation that follows it.
int durationMs(Spring spring);
// Progress 0..1 of an animation lasting settlingTime(spring), mapped to the spring's position; exactly 1 at the end.
double springProgress(Spring spring, double progress);

// The spring as an easing curve. QEasingCurve takes a plain function, so each spring is one instance:
// springEasing<300, 700>() is response 0.3 s with damping fraction 0.7. Use it with durationMs(spring).
template <int responseMs, int dampingPermille> QEasingCurve springEasing() {
    QEasingCurve curve;
    curve.setCustomType([](qreal progress) -> qreal {
        return springProgress({responseMs / 1000.0, dampingPermille / 1000.0}, progress);
    });
    return curve;
}

// The tab switch of the preset panels: response 0.3 s, damping fraction 0.7.
inline constexpr Spring tabSwitch{0.3, 0.7};
inline QEasingCurve tabSwitchEasing() {
    return springEasing<300, 700>();
}

// The ease-out curve of the short fades (fast at first, settling gently).
QEasingCurve easeOut();
// The duration of the panels' fades and slide-ins.
inline constexpr int panelFadeMs = 150;

// Brings `widget` in: from transparent to opaque and from `offset` away to where it is laid out, along
// `easing` over `durationMs`. It is drawn through a graphics effect while it moves; layouts, geometry and input
// are left alone, and the effect goes at the end. A widget that is hidden, a window, or a widget that carries
// another graphics effect just appears. A new entrance of the same widget ends the running one first, and hiding the
// widget ends it at once. Returns the running animation (owned by the widget), or null when nothing moves.
// `fromScale` below 1 also grows it about its centre from that size.
QVariantAnimation* enter(QWidget* widget, int durationMs, const QEasingCurve& easing, QPointF offset = {},
                         double fromScale = 1);
// Takes `widget` out: a picture of it as it is now fades to transparent while it moves `offset` away (and shrinks
// to `toScale` about its centre), then `done` runs (it hides or deletes the widget). The widget takes no input while
// it leaves. A widget that is hidden, a window, or carries another graphics effect leaves at once. Hiding the
// widget ends the exit at once (and runs `done`); a new entrance of the widget cancels it (without `done`).
QVariantAnimation* leave(QWidget* widget, int durationMs, const QEasingCurve& easing, std::function<void()> done,
                         QPointF offset = {}, double toScale = 1);
// The entrance running on `widget`, if any.
QVariantAnimation* runningEntrance(const QWidget* widget);
// The exit running on `widget`, if any.
QVariantAnimation* runningExit(const QWidget* widget);
// No entrance or exit runs on `root` or below it.
bool isAtRest(const QWidget* root);

} // namespace Motion
