#pragma once

#include "StudioWidgets.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QLabel;
class QWidget;

// The looks the video studio's widgets use: the studios' shared ones under the names this studio reads them by,
// and its own cyan.
namespace VideoStudioStyle {

using StudioWidgets::font;
inline QColor primaryColor(const QWidget* widget) {
    return StudioWidgets::color(StudioWidgets::Tone::primary, widget);
}
inline QColor secondaryColor(const QWidget* widget) {
    return StudioWidgets::color(StudioWidgets::Tone::secondary, widget);
}
inline QColor blue() {
    return StudioWidgets::color(StudioWidgets::Tone::blue, nullptr);
}
inline QColor red() {
    return StudioWidgets::color(StudioWidgets::Tone::red, nullptr);
}
QColor cyan();
// Palette only: a glass button keeps its own symbol colour.
inline void setTextColor(QWidget* widget, const QColor& color) {
    StudioWidgets::setPaletteTextColor(widget, color);
}
// The secondary colour, kept when the theme changes.
void setSecondary(QLabel* label);
// A symbol by name, recoloured; an empty pixmap when the symbol is unknown.
QPixmap symbol(const QString& name, int pointSize, const QColor& color);

} // namespace VideoStudioStyle
