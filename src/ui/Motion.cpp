#include "Motion.h"

#include <QEvent>
#include <QGraphicsEffect>
#include <QPainter>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace Motion {

namespace {

constexpr const char* kEntranceName = "motionEntrance";

// A spring that cannot move (no or an endless response) is at its target at once; one without damping would
// never settle.
bool isStill(const Spring& spring) {
    return !(spring.response > 0) || !std::isfinite(spring.response);
}

double dampingOf(const Spring& spring) {
    return std::isfinite(spring.dampingFraction) ? std::max(0.01, spring.dampingFraction) : 1.0;
}

// How far the spring still is from its target: 1 at the release, towards 0 at rest.
double remaining(const Spring& spring, double t) {
    const double w0 = 2 * M_PI / spring.response;
    const double zeta = dampingOf(spring);
    if (zeta < 1) {
        const double wd = w0 * std::sqrt(1 - zeta * zeta);
        return std::exp(-zeta * w0 * t) * (std::cos(wd * t) + zeta * w0 / wd * std::sin(wd * t));
    }
    if (zeta == 1)
        return std::exp(-w0 * t) * (1 + w0 * t);
    const double root = std::sqrt(zeta * zeta - 1);
    const double r1 = -w0 * (zeta - root);
    const double r2 = -w0 * (zeta + root);
    return (r2 * std::exp(r1 * t) - r1 * std::exp(r2 * t)) / (r2 - r1);
}

// Draws its widget faded and shifted; the widget itself stays where its layout put it.
class EntranceEffect final : public QGraphicsEffect {
public:
    void setState(double opacity, QPointF shift) {
        opacity_ = std::clamp(opacity, 0.0, 1.0);
        if (shift != shift_) {
            shift_ = shift;
            updateBoundingRect();
        }
        update();
    }
    QRectF boundingRectFor(const QRectF& rect) const override { return rect.united(rect.translated(shift_)); }

protected:
    void draw(QPainter* painter) override {
        if (opacity_ <= 0)
            return;
        QPoint origin;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &origin, QGraphicsEffect::NoPad);
        if (pixmap.isNull())
            return;
        painter->save();
        painter->setOpacity(painter->opacity() * opacity_);
        painter->drawPixmap(QPointF(origin) + shift_, pixmap);
        painter->restore();
    }

private:
    double opacity_ = 0;
    QPointF shift_;
};

// Ends an entrance at once when its widget hides: nothing keeps moving out of sight.
class StopWhenHidden final : public QObject {
public:
    StopWhenHidden(QVariantAnimation* animation, QWidget* widget) : QObject(animation), animation_(animation) {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && animation_)
            animation_->stop();
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QVariantAnimation> animation_;
};

} // namespace

double springPosition(Spring spring, double seconds) {
    if (isStill(spring) || !(seconds > 0))
        return isStill(spring) ? 1.0 : 0.0;
    return 1.0 - remaining(spring, seconds);
}

double settlingTime(Spring spring, double tolerance) {
    if (isStill(spring))
        return 0;
    tolerance = std::clamp(std::isfinite(tolerance) ? tolerance : 0.001, 1e-9, 0.5);
    const double w0 = 2 * M_PI / spring.response;
    const double zeta = dampingOf(spring);
    if (zeta < 1) {
        // The swing stays inside its decaying envelope.
        const double wd = w0 * std::sqrt(1 - zeta * zeta);
        const double amplitude = std::hypot(1.0, zeta * w0 / wd);
        return std::max(0.0, std::log(amplitude / tolerance) / (zeta * w0));
    }
    // Without overshoot the distance only shrinks: search for where it falls below the tolerance.
    double low = 0;
    double high = spring.response;
    while (remaining(spring, high) > tolerance)
        high *= 2;
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2;
        (remaining(spring, mid) > tolerance ? low : high) = mid;
    }
    return high;
}

int durationMs(Spring spring) {
    return std::max(1, int(std::lround(settlingTime(spring) * 1000)));
}

double springProgress(Spring spring, double progress) {
    if (!(progress > 0))
        return 0;
    if (progress >= 1)
        return 1;
    return springPosition(spring, progress * durationMs(spring) / 1000.0);
}

QEasingCurve easeOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

QVariantAnimation* runningEntrance(const QWidget* widget) {
    if (!widget)
        return nullptr;
    const auto animations = widget->findChildren<QVariantAnimation*>(kEntranceName, Qt::FindDirectChildrenOnly);
    for (QVariantAnimation* animation : animations) {
        if (animation->state() == QAbstractAnimation::Running)
            return animation;
    }
    return nullptr;
}

bool isAtRest(const QWidget* root) {
    if (!root)
        return true;
    const auto animations = root->findChildren<QVariantAnimation*>(kEntranceName);
    return std::none_of(animations.begin(), animations.end(), [](const QVariantAnimation* animation) {
        return animation->state() == QAbstractAnimation::Running;
    });
}

QVariantAnimation* enter(QWidget* widget, int durationMs, const QEasingCurve& easing, QPointF offset) {
    if (!widget)
        return nullptr;
    if (QVariantAnimation* running = runningEntrance(widget))
        running->stop();
    if (!widget->isVisible() || widget->isWindow() || durationMs <= 0 || widget->graphicsEffect())
        return nullptr;
    auto* effect = new EntranceEffect;
    effect->setState(0, offset);
    widget->setGraphicsEffect(effect);
    QPointer<QGraphicsEffect> guard(effect);

    auto* animation = new QVariantAnimation(widget);
    animation->setObjectName(kEntranceName);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setDuration(durationMs);
    animation->setEasingCurve(easing);
    new StopWhenHidden(animation, widget);
    QObject::connect(animation, &QVariantAnimation::valueChanged, effect, [effect, offset](const QVariant& value) {
        const double t = value.toDouble();
        // A spring that overshoots carries the widget past its place and back.
        effect->setState(t, offset * (1 - t));
    });
    QObject::connect(animation, &QAbstractAnimation::stateChanged, widget,
                     [widget, guard](QAbstractAnimation::State state) {
                         if (state == QAbstractAnimation::Stopped && guard && widget->graphicsEffect() == guard)
                             widget->setGraphicsEffect(nullptr);
                     });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    return animation;
}

} // namespace Motion
