#pragma once

#include "Controls.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QLabel;
class QWidget;

// The looks the video studio's widgets use: the studios' shared ones under the names this studio reads them by,
// and its own cyan.
namespace VideoStudioStyle {

using Controls::font;
inline QColor primaryColor(const QWidget* widget) {
    return Controls::color(Controls::Tone::primary, widget);
}
inline QColor secondaryColor(const QWidget* widget) {
    return Controls::color(Controls::Tone::secondary, widget);
}
inline QColor blue() {
    return Controls::color(Controls::Tone::blue, nullptr);
}
inline QColor red() {
    return Controls::color(Controls::Tone::red, nullptr);
}
QColor cyan();
// Palette only: a glass button keeps its own symbol colour.
inline void setTextColor(QWidget* widget, const QColor& color) {
    Controls::setPaletteTextColor(widget, color);
}
// The secondary colour, kept when the theme changes.
void setSecondary(QLabel* label);
// A symbol by name, recoloured; an empty pixmap when the symbol is unknown.
QPixmap symbol(const QString& name, int pointSize, const QColor& color);

} // namespace VideoStudioStyle
