#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

// The few building blocks the studio's panels share: buttons named for tests and assistive tools, fonts at
// the studio's scale, and the colours of the look.
namespace Controls {

enum class Tone { primary, secondary, orange, blue, red, gray, white };
QColor color(Tone tone, const QWidget* widget);

QFont font(double points, QFont::Weight weight = QFont::Normal);

// A text button; `help` becomes its tooltip.
QAbstractButton* textButton(const QString& objectName, const QString& symbol, const QString& text, const QString& help,
                            QWidget* parent);
// An icon-only button: its help text is its tooltip and its accessible name.
QAbstractButton* iconButton(const QString& objectName, const QString& symbol, const QString& help, int diameter,
                            QWidget* parent);
void setSymbol(QAbstractButton* button, const QString& symbol, double points, const QColor& color);

QLabel* label(const QString& objectName, const QString& text, QWidget* parent);
// A glass button's title and symbol too; any other widget's text through its palette only.
void setTextColor(QWidget* widget, const QColor& color);
// The same in a tone of the look, applied again whenever the appearance changes; the latest tone holds.
void setTextColor(QWidget* widget, Tone tone);
void setPaletteTextColor(QWidget* widget, const QColor& color);

// A prompt's character counter: secondary, red from its warning mark on.
void showCounter(QLabel* counter, const QString& text, bool warning);

} // namespace Controls
