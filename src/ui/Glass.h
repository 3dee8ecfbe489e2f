#pragma once

#include "BorderColor.h"

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QWidget>

class QPainter;

enum class GlassTint { none, clear, color };

// What the hover glass of a button or tab looks like in one state.
struct GlassLook {
    GlassTint tint = GlassTint::none;
    QColor tintColor; // only for GlassTint::color
    bool interactive = false;
    bool operator==(const GlassLook& other) const {
        return tint == other.tint && interactive == other.interactive &&
               (tint != GlassTint::color || tintColor.rgba() == other.tintColor.rgba());
    }
};

// The glass rule of every glass control: a window that is not key gets clear, inert glass whatever the
// pointer does; a key window shows plain glass, tinted and interactive while the control is highlighted
// (hovered, or selected for tabs).
GlassLook glassLook(bool keyWindow, bool highlighted, ColorScheme colorScheme);
inline GlassLook glassLook(ControlActiveState state, bool highlighted, ColorScheme colorScheme) {
    return glassLook(state == ControlActiveState::key, highlighted, colorScheme);
}

// A rounded rectangle whose corners blend smoothly into the sides. The radius is clamped to half the
// shorter side; an empty or non-finite rectangle gives an empty path.
QPainterPath continuousRoundedRect(const QRectF& rect, double radius);

// Paints regular glass in a rounded rectangle (radius < 0 or >= half the shorter side gives a capsule/circle).
void paintGlass(QPainter& painter, const QRectF& rect, double radius, const GlassLook& look, ColorScheme colorScheme);
void paintGlass(QPainter& painter, const QPainterPath& shape, const GlassLook& look, ColorScheme colorScheme);

// The translucent background materials, from the most to the least opaque.
enum class Material { regular, thin, ultraThin };
QColor materialColor(Material material, ColorScheme colorScheme);
void paintMaterial(QPainter& painter, const QPainterPath& shape, Material material, ColorScheme colorScheme,
                   double opacity = 1.0);

// A soft drop shadow behind `shape`: colour (with its alpha), blur radius and offset in points.
void paintShadow(QPainter& painter, const QPainterPath& shape, const QColor& color, double radius, QPointF offset);

// A rounded panel: regular glass or a material in a continuous rounded rectangle, with an optional outline.
// Children are laid out inside as usual.
class GlassPanel : public QWidget {
    Q_OBJECT
public:
    // `opaqueMaterial`: the materials' tint without its translucency, where what lies behind must not show
    // through (the blur of a real material cannot be drawn here).
    enum class Fill { glass, regularMaterial, thinMaterial, ultraThinMaterial, opaqueMaterial, windowBackground, none };

    explicit GlassPanel(QWidget* parent = nullptr);

    void setCornerRadius(double radius);
    double cornerRadius() const { return radius_; }
    void setFill(Fill fill);
    Fill fill() const { return fill_; }
    // An invalid colour draws no outline.
    void setOutline(const QColor& color, double width = 1.0);
    void setFillOpacity(double opacity);
    // A drop shadow around the panel. The panel's shape is then inset by shadowMargin() on every side, so keep
    // that much room in the layout margins.
    void setShadow(const QColor& color, double radius, QPointF offset = {});
    int shadowMargin() const;
    QRectF panelRect() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    double radius_ = 24;
    Fill fill_ = Fill::glass;
    QColor outline_;
    double outlineWidth_ = 1;
    double opacity_ = 1;
    QColor shadowColor_;
    double shadowRadius_ = 0;
    QPointF shadowOffset_;
};
