#include "Controls.h"

#include "GlassButtons.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QPalette>

namespace Controls {

QColor color(Tone tone, const QWidget* widget) {
    Q_UNUSED(widget)
    const Theme& theme = Theme::instance();
    switch (tone) {
    case Tone::primary:
        return theme.color(ColorRole::primary);
    case Tone::secondary:
        return theme.color(ColorRole::secondary);
    case Tone::orange:
        return theme.color(ColorRole::orange);
    case Tone::blue:
        return theme.color(ColorRole::blue);
    case Tone::red:
        return theme.color(ColorRole::red);
    case Tone::gray:
        return theme.color(ColorRole::gray);
    case Tone::white:
        return Qt::white;
    }
    return theme.color(ColorRole::primary);
}

QFont font(double points, QFont::Weight weight) {
    return Theme::font(points, weight);
}

QAbstractButton* textButton(const QString& objectName, const QString& symbol, const QString& text, const QString& help,
                            QWidget* parent) {
    auto* button = new GlassButton(parent);
    button->setObjectName(objectName);
    button->setSymbol(symbol);
    button->setTitle(text);
    button->setAccessibleName(text);
    button->setToolTip(help);
    button->setFill(GlassButton::Fill::none);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QAbstractButton* iconButton(const QString& objectName, const QString& symbol, const QString& help, int diameter,
                            QWidget* parent) {
    auto* button = new GlassIconButton(symbol, help, diameter, std::max(10.0, diameter / 2.0), parent);
    button->setObjectName(objectName);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void setSymbol(QAbstractButton* button, const QString& symbol, double points, const QColor& color) {
    if (auto* glass = qobject_cast<GlassButton*>(button)) {
        glass->setSymbol(symbol);
        glass->setSymbolSize(points);
        glass->setSymbolColor(color);
    }
}

QLabel* label(const QString& objectName, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(objectName);
    return l;
}

void setTextColor(QWidget* widget, const QColor& color) {
    if (auto* glass = qobject_cast<GlassButton*>(widget)) {
        glass->setTitleColor(color);
        glass->setSymbolColor(color);
    }
    setPaletteTextColor(widget, color);
}

void setTextColor(QWidget* widget, Tone tone) {
    static const char* const toneProperty = "studioTextTone";
    const bool following = widget->property(toneProperty).isValid();
    widget->setProperty(toneProperty, int(tone));
    setTextColor(widget, color(tone, widget));
    if (following)
        return;
    QObject::connect(&Theme::instance(), &Theme::changed, widget,
                     [widget] { setTextColor(widget, color(Tone(widget->property(toneProperty).toInt()), widget)); });
}

void setPaletteTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

void showCounter(QLabel* counter, const QString& text, bool warning) {
    counter->setText(text);
    const QColor tone = color(warning ? Tone::red : Tone::secondary, counter);
    // Runs on every keystroke: a palette change restyles the label, so only when the colour changes.
    if (counter->palette().color(QPalette::WindowText) != tone)
        setPaletteTextColor(counter, tone);
}

} // namespace Controls
