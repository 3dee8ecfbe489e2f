#include "VideoStudioStyle.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPalette>

namespace VideoStudioStyle {

QFont font(qreal pointSize, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPointSizeF(pointSize);
    f.setWeight(weight);
    return f;
}

QColor primaryColor(const QWidget* widget) {
    return widget ? widget->palette().color(QPalette::WindowText) : QApplication::palette().color(QPalette::WindowText);
}

QColor secondaryColor(const QWidget* widget) {
    QColor c = primaryColor(widget);
    c.setAlphaF(0.55);
    return c;
}

QColor blue() {
    return QColor(0x0A, 0x84, 0xFF);
}

QColor cyan() {
    return QColor(0x32, 0xD2, 0xE6);
}

QColor red() {
    return QColor(0xFF, 0x3B, 0x30);
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    p.setColor(QPalette::ButtonText, color);
    widget->setPalette(p);
}

void setSecondary(QLabel* label) {
    setTextColor(label, secondaryColor(label));
}

QPixmap symbol(const QString& name, int pointSize, const QColor& color) {
    Q_UNUSED(name);
    Q_UNUSED(pointSize);
    Q_UNUSED(color);
    return QPixmap();
}

} // namespace VideoStudioStyle
