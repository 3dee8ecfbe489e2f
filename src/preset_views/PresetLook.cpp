#include "PresetLook.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QWidget>

namespace PresetLook {

ColorScheme scheme(const QWidget* widget) {
    return colorSchemeOf(widget);
}

QColor primary(const QWidget* widget) {
    return scheme(widget) == ColorScheme::dark ? QColor(255, 255, 255, 235) : QColor(0, 0, 0, 217);
}

QColor secondary(const QWidget* widget) {
    return scheme(widget) == ColorScheme::dark ? QColor(255, 255, 255, 140) : QColor(0, 0, 0, 128);
}

QColor controlBackground(const QWidget* widget) {
    return scheme(widget) == ColorScheme::dark ? QColor(30, 30, 30) : QColor(255, 255, 255);
}

QColor windowBackground(const QWidget* widget) {
    return scheme(widget) == ColorScheme::dark ? QColor(40, 40, 40) : QColor(236, 236, 236);
}

QColor contrast(const QWidget* widget) {
    return scheme(widget) == ColorScheme::dark ? QColor(Qt::white) : QColor(Qt::black);
}

QFont font(double pointSize, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPointSizeF(pointSize);
    f.setWeight(weight);
    return f;
}

QPixmap symbol(const QString& name, int pixelSize, const QColor& color) {
    Q_UNUSED(name);
    // Stand-in until the kit's symbol icons are in: a recoloured theme icon or a plain dot.
    QPixmap pixmap(pixelSize, pixelSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, std::max(1.0, pixelSize / 12.0)));
    painter.drawEllipse(QRectF(pixmap.rect()).adjusted(2, 2, -2, -2));
    return pixmap;
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
