#include "Motion.h"

#include <QEvent>
#include <QGraphicsEffect>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace Motion {

namespace {

constexpr const char* kEntranceName = "motionEntrance";
constexpr const char* kExitName = "motionExit";

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

// Draws its widget (or a picture of it taken before it left) faded, shifted and scaled about its centre; the widget
// itself stays where its layout put it.
class TransitionEffect final : public QGraphicsEffect {
public:
    explicit TransitionEffect(QPixmap picture = {}) : picture_(std::move(picture)) {}
    void setState(double opacity, QPointF shift, double scale = 1) {
        opacity_ = std::clamp(opacity, 0.0, 1.0);
        scale_ = std::max(0.0, scale);
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
        const QPixmap pixmap =
            picture_.isNull() ? sourcePixmap(Qt::LogicalCoordinates, &origin, QGraphicsEffect::NoPad) : picture_;
        if (pixmap.isNull())
            return;
        painter->save();
        painter->setOpacity(painter->opacity() * opacity_);
        const QRectF area(QPointF(origin) + shift_, pixmap.deviceIndependentSize());
        if (scale_ != 1) {
            painter->setRenderHint(QPainter::SmoothPixmapTransform);
            painter->translate(area.center());
            painter->scale(scale_, scale_);
            painter->translate(-area.center());
        }
        painter->drawPixmap(area.topLeft(), pixmap);
        painter->restore();
    }

private:
    QPixmap picture_;
    double opacity_ = 0;
    double scale_ = 1;
    QPointF shift_;
};

// What an exit needs when it ends: the widget's input given back and its `done` run once, after the animation has
// delivered its last frame (`done` may delete the widget, which owns the animation).
class ExitState final : public QObject {
public:
    ExitState(QVariantAnimation* animation, QWidget* widget, QGraphicsEffect* effect, std::function<void()> done)
        : QObject(animation), widget_(widget), effect_(effect), done_(std::move(done)),
          wasTransparent_(widget->testAttribute(Qt::WA_TransparentForMouseEvents)) {
        widget->setAttribute(Qt::WA_TransparentForMouseEvents);
        widget->installEventFilter(this);
    }
    // A new entrance: the widget stays, drawn as itself again.
    void cancel() {
        restoreInput();
        if (widget_ && effect_ && widget_->graphicsEffect() == effect_)
            widget_->setGraphicsEffect(nullptr);
    }
    void finish() {
        QTimer::singleShot(0, widget_,
                           [widget = widget_, effect = effect_, done = done_, wasTransparent = wasTransparent_] {
                               if (!widget)
                                   return;
                               widget->setAttribute(Qt::WA_TransparentForMouseEvents, wasTransparent);
                               if (done)
                                   done();
                               // A widget that was hidden is drawn as itself when it shows again; one on its way to
                               // deletion keeps drawing nothing until it goes.
                               if (widget && widget->isHidden() && effect && widget->graphicsEffect() == effect)
                                   widget->setGraphicsEffect(nullptr);
                           });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Out of sight, the exit ends at once.
        if (event->type() == QEvent::Hide) {
            auto* animation = static_cast<QVariantAnimation*>(parent());
            if (animation->state() == QAbstractAnimation::Running)
                animation->setCurrentTime(animation->duration());
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void restoreInput() {
        if (widget_)
            widget_->setAttribute(Qt::WA_TransparentForMouseEvents, wasTransparent_);
    }
    QPointer<QWidget> widget_;
    QPointer<QGraphicsEffect> effect_;
    std::function<void()> done_;
    bool wasTransparent_;
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

namespace {
QVariantAnimation* running(const QWidget* widget, const char* name) {
    if (!widget)
        return nullptr;
    const auto animations = widget->findChildren<QVariantAnimation*>(name, Qt::FindDirectChildrenOnly);
    for (QVariantAnimation* animation : animations) {
        if (animation->state() == QAbstractAnimation::Running)
            return animation;
    }
    return nullptr;
}
} // namespace

QVariantAnimation* runningEntrance(const QWidget* widget) {
    return running(widget, kEntranceName);
}

QVariantAnimation* runningExit(const QWidget* widget) {
    return running(widget, kExitName);
}

bool isAtRest(const QWidget* root) {
    if (!root)
        return true;
    const auto animations = root->findChildren<QVariantAnimation*>();
    return std::none_of(animations.begin(), animations.end(), [](const QVariantAnimation* animation) {
        return (animation->objectName() == QLatin1String(kEntranceName) ||
                animation->objectName() == QLatin1String(kExitName)) &&
               animation->state() == QAbstractAnimation::Running;
    });
}

QVariantAnimation* enter(QWidget* widget, int durationMs, const QEasingCurve& easing, QPointF offset,
                         double fromScale) {
    if (!widget)
        return nullptr;
    if (QVariantAnimation* exit = runningExit(widget)) {
        if (auto* state = exit->findChild<ExitState*>())
            state->cancel();
        exit->stop();
    }
    if (QVariantAnimation* entrance = runningEntrance(widget))
        entrance->stop();
    if (!widget->isVisible() || widget->isWindow() || durationMs <= 0 || widget->graphicsEffect())
        return nullptr;
    auto* effect = new TransitionEffect;
    effect->setState(0, offset, fromScale);
    widget->setGraphicsEffect(effect);
    QPointer<QGraphicsEffect> guard(effect);

    auto* animation = new QVariantAnimation(widget);
    animation->setObjectName(kEntranceName);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setDuration(durationMs);
    animation->setEasingCurve(easing);
    new StopWhenHidden(animation, widget);
    QObject::connect(animation, &QVariantAnimation::valueChanged, effect,
                     [effect, offset, fromScale](const QVariant& value) {
                         const double t = value.toDouble();
                         // A spring that overshoots carries the widget past its place and back.
                         effect->setState(t, offset * (1 - t), fromScale + (1 - fromScale) * t);
                     });
    QObject::connect(animation, &QAbstractAnimation::stateChanged, widget,
                     [widget, guard](QAbstractAnimation::State state) {
                         if (state == QAbstractAnimation::Stopped && guard && widget->graphicsEffect() == guard)
                             widget->setGraphicsEffect(nullptr);
                     });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    return animation;
}

QVariantAnimation* leave(QWidget* widget, int durationMs, const QEasingCurve& easing, std::function<void()> done,
                         QPointF offset, double toScale) {
    if (!widget)
        return nullptr;
    if (QVariantAnimation* exit = runningExit(widget))
        return exit;
    if (QVariantAnimation* entrance = runningEntrance(widget))
        entrance->stop();
    if (!widget->isVisible() || widget->isWindow() || durationMs <= 0 || widget->graphicsEffect()) {
        if (done)
            done();
        return nullptr;
    }
    // The picture is taken now: what the widget shows next (it may already be emptied) does not show while it goes.
    auto* effect = new TransitionEffect(widget->grab());
    effect->setState(1, {});
    widget->setGraphicsEffect(effect);

    auto* animation = new QVariantAnimation(widget);
    animation->setObjectName(kExitName);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setDuration(durationMs);
    animation->setEasingCurve(easing);
    auto* state = new ExitState(animation, widget, effect, std::move(done));
    QObject::connect(animation, &QVariantAnimation::valueChanged, effect,
                     [effect, offset, toScale](const QVariant& value) {
                         const double t = value.toDouble();
                         effect->setState(1 - t, offset * t, 1 + (toScale - 1) * t);
                     });
    QObject::connect(animation, &QAbstractAnimation::finished, state, &ExitState::finish);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    return animation;
}

} // namespace Motion
