#include "Glass.h"

#include "Theme.h"

#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

GlassLook glassLook(bool keyWindow, bool highlighted, ColorScheme colorScheme) {
    if (!keyWindow)
        return {GlassTint::clear, QColor(Qt::transparent), false};
    if (!highlighted)
        return {GlassTint::none, QColor(), false};
    const QColor tint = colorScheme == ColorScheme::dark ? withOpacity(Qt::white, 0.12) : withOpacity(Qt::black, 0.08);
    return {GlassTint::color, tint, true};
}

QPainterPath continuousRoundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    if (!rect.isValid() || !std::isfinite(rect.width()) || !std::isfinite(rect.height()))
        return path;
    const double half = std::min(rect.width(), rect.height()) / 2;
    double r = std::isfinite(radius) ? std::clamp(radius, 0.0, half) : 0.0;
    if (r <= 0) {
        path.addRect(rect);
        return path;
    }
    if (r >= half - 0.01) {
        path.addRoundedRect(rect, half, half);
        return path;
    }
    // The curve starts further from the corner than a circular arc would and eases into the side.
    const double e = std::min(r * 1.28, half);
    const double k = e * 0.36;
    const double l = rect.left(), t = rect.top(), rt = rect.right(), b = rect.bottom();
    path.moveTo(l + e, t);
    path.lineTo(rt - e, t);
    path.cubicTo(rt - k, t, rt, t + k, rt, t + e);
    path.lineTo(rt, b - e);
    path.cubicTo(rt, b - k, rt - k, b, rt - e, b);
    path.lineTo(l + e, b);
    path.cubicTo(l + k, b, l, b - k, l, b - e);
    path.lineTo(l, t + e);
    path.cubicTo(l, t + k, l + k, t, l + e, t);
    path.closeSubpath();
    return path;
}

void paintGlass(QPainter& painter, const QRectF& rect, double radius, const GlassLook& look, ColorScheme colorScheme) {
    const double half = std::min(rect.width(), rect.height()) / 2;
    paintGlass(painter, continuousRoundedRect(rect, radius < 0 ? half : radius), look, colorScheme);
}

void paintGlass(QPainter& painter, const QPainterPath& shape, const GlassLook& look, ColorScheme colorScheme) {
    if (shape.isEmpty())
        return;
    const bool dark = colorScheme == ColorScheme::dark;
    const QRectF bounds = shape.boundingRect();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // Body: a faint frosted layer, lighter at the top like light falling on it.
    QLinearGradient body(bounds.topLeft(), bounds.bottomLeft());
    body.setColorAt(0, dark ? QColor(255, 255, 255, 30) : QColor(255, 255, 255, 150));
    body.setColorAt(1, dark ? QColor(255, 255, 255, 12) : QColor(255, 255, 255, 90));
    painter.fillPath(shape, body);
    if (look.tint == GlassTint::color && look.tintColor.isValid())
        painter.fillPath(shape, look.tintColor);
    // Rim: a thin highlight along the edge; an interactive glass has a brighter one.
    QLinearGradient rim(bounds.topLeft(), bounds.bottomRight());
    const int top = look.interactive ? (dark ? 90 : 255) : (dark ? 55 : 220);
    const int bottom = look.interactive ? (dark ? 30 : 160) : (dark ? 18 : 120);
    rim.setColorAt(0, QColor(255, 255, 255, top));
    rim.setColorAt(1, QColor(255, 255, 255, bottom));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QBrush(rim), 1.0));
    const double inset = 0.5;
    QTransform shrink;
    if (bounds.width() > 1 && bounds.height() > 1) {
        shrink.translate(bounds.center().x(), bounds.center().y());
        shrink.scale((bounds.width() - 2 * inset) / bounds.width(), (bounds.height() - 2 * inset) / bounds.height());
        shrink.translate(-bounds.center().x(), -bounds.center().y());
    }
    painter.drawPath(shrink.map(shape));
    // Outer hairline so the glass separates from a background of the same tone.
    painter.setPen(QPen(dark ? QColor(0, 0, 0, 90) : QColor(0, 0, 0, 28), 0.8));
    painter.drawPath(shape);
    painter.restore();
}

QColor materialColor(Material material, ColorScheme colorScheme) {
    const bool dark = colorScheme == ColorScheme::dark;
    switch (material) {
    case Material::regular:
        return dark ? QColor(50, 50, 52, 225) : QColor(246, 246, 246, 225);
    case Material::thin:
        return dark ? QColor(50, 50, 52, 185) : QColor(246, 246, 246, 185);
    case Material::ultraThin:
        return dark ? QColor(50, 50, 52, 140) : QColor(246, 246, 246, 140);
    }
    return {};
}

void paintMaterial(QPainter& painter, const QPainterPath& shape, Material material, ColorScheme colorScheme,
                   double opacity) {
    if (shape.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * std::clamp(opacity, 0.0, 1.0));
    painter.fillPath(shape, materialColor(material, colorScheme));
    painter.restore();
}

void paintShadow(QPainter& painter, const QPainterPath& shape, const QColor& color, double radius, QPointF offset) {
    if (shape.isEmpty() || color.alpha() == 0)
        return;
    // A few expanding translucent copies approximate a blur well enough for small radii.
    const int steps = std::max(1, int(std::ceil(radius)));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF bounds = shape.boundingRect();
    for (int i = steps; i >= 1; --i) {
        const double grow = radius * double(i) / steps;
        QTransform t;
        const QPointF c = bounds.center() + offset;
        t.translate(c.x(), c.y());
        if (bounds.width() > 0 && bounds.height() > 0)
            t.scale((bounds.width() + grow) / bounds.width(), (bounds.height() + grow) / bounds.height());
        t.translate(-bounds.center().x(), -bounds.center().y());
        QColor layer = color;
        layer.setAlphaF(float(color.alphaF() / (steps + 1) * 1.6));
        painter.fillPath(t.map(shape), layer);
    }
    painter.restore();
}

GlassPanel::GlassPanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void GlassPanel::setCornerRadius(double radius) {
    radius_ = radius;
    update();
}

void GlassPanel::setFill(Fill fill) {
    fill_ = fill;
    update();
}

void GlassPanel::setOutline(const QColor& color, double width) {
    outline_ = color;
    outlineWidth_ = width;
    update();
}

void GlassPanel::setFillOpacity(double opacity) {
    opacity_ = opacity;
    update();
}

void GlassPanel::setShadow(const QColor& color, double radius, QPointF offset) {
    shadowColor_ = color;
    shadowRadius_ = std::max(0.0, std::isfinite(radius) ? radius : 0.0);
    shadowOffset_ = offset;
    update();
}

int GlassPanel::shadowMargin() const {
    if (!shadowColor_.isValid() || shadowColor_.alpha() == 0)
        return 0;
    return int(std::ceil(shadowRadius_ + std::max(std::abs(shadowOffset_.x()), std::abs(shadowOffset_.y()))));
}

QRectF GlassPanel::panelRect() const {
    const double m = shadowMargin();
    return QRectF(rect()).adjusted(m + 0.5, m + 0.5, -m - 0.5, -m - 0.5);
}

bool GlassPanel::event(QEvent* event) {
    // The window's activation reaches its children only as these two.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
        update();
    return QWidget::event(event);
}

void GlassPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::PaletteChange)
        update();
    QWidget::changeEvent(event);
}

void GlassPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = continuousRoundedRect(panelRect(), radius_);
    const ColorScheme scheme = colorSchemeOf(this);
    if (shadowMargin() > 0)
        paintShadow(painter, shape, shadowColor_, shadowRadius_, shadowOffset_);
    painter.setOpacity(opacity_);
    switch (fill_) {
    case Fill::glass:
        paintGlass(painter, shape, glassLook(controlActiveStateOf(this), false, scheme), scheme);
        break;
    case Fill::regularMaterial:
        paintMaterial(painter, shape, Material::regular, scheme);
        break;
    case Fill::thinMaterial:
        paintMaterial(painter, shape, Material::thin, scheme);
        break;
    case Fill::ultraThinMaterial:
        paintMaterial(painter, shape, Material::ultraThin, scheme);
        break;
    case Fill::opaqueMaterial: {
        QColor tint = materialColor(Material::regular, scheme);
        tint.setAlpha(255);
        painter.fillPath(shape, tint);
        break;
    }
    case Fill::windowBackground:
        painter.fillPath(shape, Theme::color(ColorRole::windowBackground, scheme));
        break;
    case Fill::none:
        break;
    }
    painter.setOpacity(1);
    if (outline_.isValid() && outline_.alpha() > 0) {
        painter.setPen(QPen(outline_, outlineWidth_));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape);
    }
}
