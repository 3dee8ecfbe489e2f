#include "BorderColor.h"

#include "Theme.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

QColor systemSeparatorColor(ColorScheme colorScheme) {
    // Already translucent, like the platform's separator colour.
    return colorScheme == ColorScheme::dark ? QColor(255, 255, 255, 26) : QColor(0, 0, 0, 26);
}

QColor borderColor(ColorScheme colorScheme, ControlActiveState controlActiveState, bool isHovered) {
    const bool dark = colorScheme == ColorScheme::dark;
    if (controlActiveState != ControlActiveState::key)
        return dark ? withOpacity(Qt::white, 0.05) : withOpacity(Qt::black, 0.03);
    if (isHovered)
        return dark ? withOpacity(Qt::white, 0.1) : withOpacity(Qt::black, 0.06);
    return withOpacity(systemSeparatorColor(colorScheme), 0.3);
}

ColorScheme colorSchemeOf(const QWidget* widget) {
    const QPalette palette = widget ? widget->palette() : QPalette();
    return palette.color(QPalette::Window).lightness() < 128 ? ColorScheme::dark : ColorScheme::light;
}

ControlActiveState controlActiveStateOf(const QWidget* widget) {
    if (!widget)
        return ControlActiveState::inactive;
    if (widget->isActiveWindow())
        return ControlActiveState::key;
    // A tool window with the keyboard (a popover) leaves the window it was opened from looking key.
    for (const QWidget* active = QApplication::activeWindow();
         active && active->windowType() == Qt::Tool && active->parentWidget();) {
        active = active->parentWidget()->window();
        if (active == widget->window())
            return ControlActiveState::key;
    }
    return ControlActiveState::inactive;
}
