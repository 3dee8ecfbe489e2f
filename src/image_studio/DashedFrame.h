#pragma once

#include <QColor>
#include <QSize>

class QPainter;

// The studio's dashed frame over a widget of `size`: `fill` inside a 2 wide line of `dash` (8 on, 4 off from the
// top run's left end), rounded by 12, a pixel in from the edges. It looks like an antialiased dashed rounded rect
// but costs much less to draw.
void paintDashedFrame(QPainter& painter, QSize size, const QColor& fill, const QColor& dash);
