#include "ContextRing.h"

#include "Controls.h"
#include "StudioRules.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr double narrowest = 0.8; // the most the percentage is squeezed before it is made smaller
}

ContextRing::ContextRing(QWidget* parent) : QWidget(parent) {
    setObjectName("contextUsage");
    setScale(1.0);
}

void ContextRing::setPercent(double percent) {
    percent_ = percent;
    setAccessibleDescription(percentText());
    update();
}

QString ContextRing::percentText() const {
    return QStringLiteral("%1%").arg(qint64(percent_));
}

bool ContextRing::isAlarming() const {
    return StudioRules::isUsageAlarming(percent_);
}

void ContextRing::setScale(double scale) {
    scale_ = scale;
    setFixedSize(int(32 * scale), int(32 * scale));
    update();
}

double ContextRing::innerRadius() const {
    return width() / 2.0 - 3 * scale_;
}

ContextRing::Label ContextRing::label() const {
    Label label;
    label.font = Theme::font(9 * scale_, QFont::Bold);
    // A hair of room between the text and the ring.
    const double room = std::max(1.0, innerRadius() - scale_);
    for (;;) {
        label.ink = QFontMetricsF(label.font).tightBoundingRect(percentText());
        const double halfHeight = label.ink.height() / 2;
        const double across = 2 * std::sqrt(std::max(0.0, room * room - halfHeight * halfHeight));
        label.squeeze = std::min(1.0, across / std::max(1.0, label.ink.width()));
        if (label.squeeze >= narrowest || label.font.pixelSize() <= 4)
            return label;
        label.font.setPixelSize(label.font.pixelSize() - 1);
    }
}

QRectF ContextRing::labelRect() const {
    const Label shown = label();
    const QSizeF size(shown.ink.width() * shown.squeeze, shown.ink.height());
    return {QRectF(rect()).center() - QPointF(size.width() / 2, size.height() / 2), size};
}

void ContextRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double line = 3 * scale_;
    const QRectF ring = QRectF(rect()).adjusted(line / 2, line / 2, -line / 2, -line / 2);
    QColor track(128, 128, 128);
    track.setAlphaF(0.3f);
    painter.setPen(QPen(track, line, Qt::SolidLine, Qt::FlatCap));
    painter.drawEllipse(ring);
    const QColor tone = Theme::instance().color(isAlarming() ? ColorRole::red : ColorRole::orange);
    painter.setPen(QPen(tone, line, Qt::SolidLine, Qt::RoundCap));
    const double fraction = std::clamp(percent_ / 100.0, 0.0, 1.0);
    painter.drawArc(ring, 90 * 16, -int(fraction * 360 * 16));
    painter.setPen(isAlarming() ? tone : Theme::instance().color(ColorRole::primary));
    const Label shown = label();
    painter.setFont(shown.font);
    painter.translate(QRectF(rect()).center());
    painter.scale(shown.squeeze, 1);
    painter.drawText(QPointF(-shown.ink.center().x(), -shown.ink.center().y()), percentText());
}
