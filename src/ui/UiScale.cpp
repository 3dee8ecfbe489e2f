#include "UiScale.h"

#include <cmath>

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
