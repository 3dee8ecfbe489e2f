#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// Symbols by the names the views use ("xmark", "photo.badge.plus", ...). Each one comes from the freedesktop
// icon theme where it has a fitting icon, otherwise from a small SVG of our own; both are monochrome and are
// recoloured when drawn.

// Recoloured per icon mode from the current theme: normal in the primary colour, disabled in the tertiary one,
// selected in the palette's highlighted text.
QIcon symbolIcon(const QString& name);
// Always in `color` (disabled at half its opacity).
QIcon symbolIcon(const QString& name, const QColor& color);
// A square pixmap of `pointSize` device-independent pixels at the given device pixel ratio.
QPixmap symbolPixmap(const QString& name, double pointSize, const QColor& color, double devicePixelRatio = 1.0);
QImage symbolImage(const QString& name, QSize pixelSize, const QColor& color);
// Reads every known drawing ahead of its first use, from any thread: the first screen then only draws them.
void prepareSymbolDrawings();

// Where the drawing of a symbol comes from: a file of the icon theme, one of ours (":/symbols/..."), or the
// placeholder for names nobody drew. Exposed for tests.
QString symbolSource(const QString& name);
bool isKnownSymbol(const QString& name);
// The names asked for so far that had no drawing and were drawn as the placeholder (the screenshot tool fails on
// them).
QStringList placeholderSymbols();
// Every name with a drawing of its own, for tests and screenshots.
QStringList knownSymbols();
