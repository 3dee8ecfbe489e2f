#pragma once

#include "BorderColor.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QPainter;
class QRectF;
class QWidget;

// The few colours, fonts and symbols the preset cards draw with, taken from the kit's theme.
namespace PresetLook {

ColorScheme scheme(const QWidget* widget);
QColor primary(const QWidget* widget);
QColor secondary(const QWidget* widget);
QColor controlBackground(const QWidget* widget);
QColor windowBackground(const QWidget* widget);
// White in the dark scheme, black in the light one (captions on picture cards).
QColor contrast(const QWidget* widget);
QFont font(double pointSize, QFont::Weight weight = QFont::Normal);
QPixmap symbol(const QString& name, int pixelSize, const QColor& color);

// A circular activity indicator (a static three-quarter ring), centred in `box`.
void paintSpinner(QPainter& painter, const QRectF& box, const QColor& color);
// Draws `image` scaled to fill `target` (aspect kept, centre cropped).
void paintFilled(QPainter& painter, const QRectF& target, const QImage& image);

} // namespace PresetLook
