#include "StudioWidgets.h"

#include <QApplication>
#include <QIcon>
#include <QPalette>
#include <QToolButton>

namespace StudioWidgets {

QColor color(Tone tone, const QWidget* widget) {
    const QPalette palette = widget ? widget->palette() : QApplication::palette();
    switch (tone) {
    case Tone::primary:
        return palette.color(QPalette::WindowText);
    case Tone::secondary: {
        QColor c = palette.color(QPalette::WindowText);
        c.setAlphaF(0.55f);
        return c;
    }
    case Tone::orange:
        return QColor(255, 149, 0);
    case Tone::blue:
        return QColor(0, 122, 255);
    case Tone::red:
        return QColor(255, 59, 48);
    case Tone::gray:
        return QColor(142, 142, 147);
    case Tone::white:
        return Qt::white;
    }
    return palette.color(QPalette::WindowText);
}

QFont font(double points, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPointSizeF(points);
    f.setWeight(weight);
    return f;
}

QAbstractButton* textButton(const QString& objectName, const QString& symbol, const QString& text,
                            const QString& help, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setText(text);
    button->setAccessibleName(text);
    button->setToolTip(help);
    button->setAutoRaise(true);
    button->setToolButtonStyle(symbol.isEmpty() ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextBesideIcon);
    button->setProperty("symbol", symbol);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QAbstractButton* iconButton(const QString& objectName, const QString& symbol, const QString& help, int diameter,
                            QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAccessibleName(help);
    button->setToolTip(help);
    button->setAutoRaise(true);
    button->setProperty("symbol", symbol);
    button->setFixedSize(diameter, diameter);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void setSymbol(QAbstractButton* button, const QString& symbol, double points, const QColor& color) {
    Q_UNUSED(color)
    button->setProperty("symbol", symbol);
    button->setIconSize(QSize(int(points), int(points)));
}

QLabel* label(const QString& objectName, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(objectName);
    return l;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

} // namespace StudioWidgets
