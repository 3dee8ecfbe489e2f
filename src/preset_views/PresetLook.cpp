#include "PresetLook.h"

#include "SymbolIcon.h"
#include "Theme.h"

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QWidget>

namespace PresetLook {

ColorScheme scheme(const QWidget* widget) {
    // A forced scheme (screenshots, tests) wins; otherwise the widget's palette decides.
    if (Theme::instance().forcedColorScheme())
        return *Theme::instance().forcedColorScheme();
    return colorSchemeOf(widget);
}

QColor primary(const QWidget* widget) {
    return Theme::color(ColorRole::primary, scheme(widget));
}

QColor secondary(const QWidget* widget) {
    return Theme::color(ColorRole::secondary, scheme(widget));
}

QColor controlBackground(const QWidget* widget) {
    return Theme::color(ColorRole::controlBackground, scheme(widget));
}

QColor windowBackground(const QWidget* widget) {
    return Theme::color(ColorRole::windowBackground, scheme(widget));
}

QColor contrast(const QWidget* widget) {
    return scheme(widget) == ColorScheme::dark ? QColor(Qt::white) : QColor(Qt::black);
}

QFont font(double pointSize, QFont::Weight weight) {
    return Theme::font(pointSize, weight);
}

QPixmap symbol(const QString& name, int pixelSize, const QColor& color) {
    return symbolPixmap(name, pixelSize, color);
}

void paintSpinner(QPainter& painter, const QRectF& box, const QColor& color) {
    const double side = std::min(box.width(), box.height());
    if (!(side > 4))
        return;
    const QRectF ring(box.center().x() - side / 2 + 2, box.center().y() - side / 2 + 2, side - 4, side - 4);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor faint = color;
    faint.setAlphaF(0.25);
    painter.setPen(QPen(faint, 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawEllipse(ring);
    painter.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(ring, 90 * 16, -270 * 16);
    painter.restore();
}

void paintFilled(QPainter& painter, const QRectF& target, const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0 || !(target.width() > 0) || !(target.height() > 0))
        return;
    const QSizeF fill = QSizeF(image.size()).scaled(target.size(), Qt::KeepAspectRatioByExpanding);
    if (!(fill.width() > 0) || !(fill.height() > 0))
        return;
    const double sx = image.width() / fill.width();
    const double sy = image.height() / fill.height();
    const QRectF source((fill.width() - target.width()) / 2 * sx, (fill.height() - target.height()) / 2 * sy,
                        target.width() * sx, target.height() * sy);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image, source);
    painter.restore();
}

} // namespace PresetLook
