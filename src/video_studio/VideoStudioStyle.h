#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QLabel;
class QWidget;

// The few looks the video studio's widgets share, read from the application's theme.
namespace VideoStudioStyle {

QFont font(qreal pointSize, QFont::Weight weight = QFont::Normal);
QColor primaryColor(const QWidget* widget);
QColor secondaryColor(const QWidget* widget);
QColor blue();
QColor cyan();
QColor red();
void setSecondary(QLabel* label);
void setTextColor(QWidget* widget, const QColor& color);
// A symbol by name, recoloured; an empty pixmap when the symbol is unknown.
QPixmap symbol(const QString& name, int pointSize, const QColor& color);

} // namespace VideoStudioStyle
