#include "UiScale.h"

#include <QVariant>
#include <QWidget>

#include <cmath>

namespace {
constexpr const char* scaleProperty = "uiScale";
}

UiScale::UiScale(QObject* parent, double scale) : QObject(parent) {
    setScale(scale);
}

void UiScale::setScale(double scale) {
    if (!std::isfinite(scale) || scale <= 0 || scale == scale_)
        return;
    scale_ = scale;
    emit scaleChanged(scale_);
}

int UiScale::px(double points) const {
    return int(std::lround(points * scale_));
}

void UiScale::setScaleOf(QWidget* root, double scale) {
    if (root && std::isfinite(scale) && scale > 0)
        root->setProperty(scaleProperty, scale);
}

double UiScale::scaleOf(const QWidget* widget) {
    // Parents lead out of a popover's window to the control it was opened from.
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant scale = w->property(scaleProperty);
        if (scale.isValid())
            return scale.toDouble();
    }
    return 1.0;
}
