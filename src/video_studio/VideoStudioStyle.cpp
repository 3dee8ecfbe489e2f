#include "VideoStudioStyle.h"

#include "SymbolIcon.h"
#include "Theme.h"

#include <QLabel>
#include <QPalette>

namespace VideoStudioStyle {

QFont font(qreal pointSize, QFont::Weight weight) {
    return Theme::font(pointSize, weight);
}

QColor primaryColor(const QWidget*) {
    return Theme::instance().color(ColorRole::primary);
}

QColor secondaryColor(const QWidget*) {
    return Theme::instance().color(ColorRole::secondary);
}

QColor blue() {
    return Theme::instance().color(ColorRole::blue);
}

QColor cyan() {
    return QColor(0x32, 0xD2, 0xE6);
}

QColor red() {
    return Theme::instance().color(ColorRole::red);
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
    QObject::connect(&Theme::instance(), &Theme::changed, label,
                     [label] { setTextColor(label, secondaryColor(label)); });
}

QPixmap symbol(const QString& name, int pointSize, const QColor& color) {
    return symbolPixmap(name, pointSize, color, 2.0);
}

} // namespace VideoStudioStyle
