#include "ContextRing.h"

#include "Controls.h"
#include "StudioRules.h"

#include <QPainter>

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
    painter.setFont(Theme::font(9 * scale_, QFont::Bold));
    painter.drawText(rect(), Qt::AlignCenter, percentText());
}
