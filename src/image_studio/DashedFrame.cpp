#include "DashedFrame.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {
constexpr int radius = 12;
constexpr int line = 2;
constexpr int on = 8;
constexpr int gap = 4;
constexpr int corner = 1 + radius; // the square each rounded corner stands in
} // namespace

void paintDashedFrame(QPainter& painter, QSize size, const QColor& fill, const QColor& dash) {
    painter.save();
    QPen dashed(dash, line);
    dashed.setDashPattern({double(on) / line, double(gap) / line});
    if (size.width() < 2 * corner + 2 * (on + gap) || size.height() < 2 * corner + 2 * (on + gap)) {
        const QRectF frame = QRectF(QPointF(), QSizeF(size)).adjusted(1, 1, -1, -1);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(dashed);
        painter.setBrush(fill.alpha() > 0 ? QBrush(fill) : QBrush());
        painter.drawRoundedRect(frame, radius, radius);
        painter.restore();
        return;
    }
    // The straight runs lie on whole pixels, so the body and the dashes along them are plain rectangles; only the
    // four corners are filled and stroked as curves, each from a point where the dash pattern starts, so that the
    // dashes keep their places along the outline.
    const int w = size.width(), h = size.height();
    const double period = on + gap;
    const bool filled = fill.alpha() > 0;
    if (filled) {
        painter.fillRect(QRect(1, corner, w - 2, h - 2 * corner), fill);
        painter.fillRect(QRect(corner, 1, w - 2 * corner, corner - 1), fill);
        painter.fillRect(QRect(corner, h - corner, w - 2 * corner, corner - 1), fill);
    }

    // The outline runs clockwise from the top run's left end, as a rounded rect's path does.
    const QRectF frame = QRectF(QPointF(), QSizeF(size)).adjusted(1, 1, -1, -1);
    const double d = 2 * radius;
    const QRectF arcs[4] = {QRectF(frame.right() - d, frame.top(), d, d),
                            QRectF(frame.right() - d, frame.bottom() - d, d, d),
                            QRectF(frame.left(), frame.bottom() - d, d, d), QRectF(frame.left(), frame.top(), d, d)};
    const double startAngles[4] = {90, 0, 270, 180};
    QPainterPath quarter;
    quarter.arcMoveTo(arcs[0], 90);
    quarter.arcTo(arcs[0], 90, -90);
    // Along its flattened curve, as the dashes are laid out.
    double arc = 0;
    const QPolygonF flat = quarter.toSubpathPolygons().value(0);
    for (int i = 1; i < flat.size(); ++i)
        arc += QLineF(flat[i - 1], flat[i]).length();
    const double across = w - 2 - d, down = h - 2 - d;
    const double runLength[4] = {across, down, across, down};
    // Each run: where it starts on the outline, its first point and its direction.
    const QPointF runStart[4] = {
        {double(corner), 1}, {w - 1.0, double(corner)}, {double(w - corner), h - 1.0}, {1, double(h - corner)}};
    const QPointF runStep[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    double runAt[4];
    for (int i = 0; i < 4; ++i)
        runAt[i] = i == 0 ? 0 : runAt[i - 1] + runLength[i - 1] + arc;
    const double outline = 2 * (across + down) + 4 * arc;

    // Dashes along the runs: each reaches half the line width past its ends (square caps).
    const QColor ink = dash;
    const double cap = line / 2.0;
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 4; ++i) {
        const double from = runAt[i], to = runAt[i] + runLength[i];
        for (int k = int(std::floor((from - cap) / period)); k * period - cap < to; ++k) {
            const double a = std::max(k * period - cap, from);
            // The last dash ends where the outline does.
            const double b = std::min(std::min(k * period + on, outline) + cap, to);
            if (b <= a)
                continue;
            const QPointF p = runStart[i] + runStep[i] * (a - from), q = runStart[i] + runStep[i] * (b - from);
            const QPointF across2 = QPointF(runStep[i].y(), -runStep[i].x()) * cap;
            painter.fillRect(QRectF(p + across2, q - across2).normalized(), ink);
        }
    }

    // The corners: fill and stroke, each within its square.
    painter.setPen(dashed);
    painter.setBrush(Qt::NoBrush);
    const QRect squares[4] = {QRect(w - corner, 0, corner, corner), QRect(w - corner, h - corner, corner, corner),
                              QRect(0, h - corner, corner, corner), QRect(0, 0, corner, corner)};
    for (int i = 0; i < 4; ++i) {
        painter.save();
        painter.setClipRect(squares[i], Qt::IntersectClip);
        const QRectF& box = arcs[i];
        QPainterPath body;
        body.moveTo(box.center());
        body.arcTo(box, startAngles[i], -90);
        body.closeSubpath();
        if (filled)
            painter.fillPath(body, fill);
        // From the last point before the corner where a dash starts, round the corner and a little past it.
        const double arcAt = runAt[i] + runLength[i];
        const double from = std::floor((arcAt - 2 * cap) / period) * period;
        const QPointF next = i == 3 ? QPointF(corner, 1) : runStart[i + 1];
        const QPointF nextStep = runStep[(i + 1) % 4];
        QPainterPath stroke;
        stroke.moveTo(runStart[i] + runStep[i] * (from - runAt[i]));
        stroke.arcTo(box, startAngles[i], -90);
        if (i == 3) {
            // The outline ends here; its first dash starts again at the top run.
            stroke.moveTo(next);
        }
        stroke.lineTo(next + nextStep * (2 * cap));
        painter.drawPath(stroke);
        painter.restore();
    }
    painter.restore();
}
