#pragma once

#include <QColor>

class QWidget;

enum class ColorScheme { light, dark };
// Whether the element's window is the key window; anything but `key` counts as inactive.
enum class ControlActiveState { key, active, inactive };

// The thin borders and separators of panels, tiles, buttons and cards: fainter in an inactive window,
// stronger under the pointer.
QColor borderColor(ColorScheme colorScheme, ControlActiveState controlActiveState, bool isHovered);

QColor systemSeparatorColor(ColorScheme colorScheme);
ColorScheme colorSchemeOf(const QWidget* widget);
ControlActiveState controlActiveStateOf(const QWidget* widget);
