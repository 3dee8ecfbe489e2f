#include "GlassButtons.h"

#include "FocusRing.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

GlassButton::GlassButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
    FocusRing::track();
}

void GlassButton::setSymbol(const QString& name) {
    symbol_ = name;
    updateGeometry();
    update();
}

void GlassButton::setTitle(const QString& title) {
    setText(title);
    if (!title.isEmpty())
        setAccessibleName(title);
    updateGeometry();
    update();
}

void GlassButton::setTrailingText(const QString& text) {
    trailing_ = text;
    updateGeometry();
    update();
}

void GlassButton::setSymbolSize(double points, QFont::Weight weight) {
    symbolSize_ = points;
    symbolWeight_ = weight;
    updateGeometry();
    update();
}

void GlassButton::setTitleFont(double points, QFont::Weight weight) {
    titleSize_ = points;
    titleWeight_ = weight;
    updateGeometry();
    update();
}

void GlassButton::setSpacing(double points) {
    spacing_ = points;
    updateGeometry();
    update();
}

void GlassButton::setPadding(const QMarginsF& padding) {
    padding_ = padding;
    updateGeometry();
    update();
}

void GlassButton::setCircleDiameter(double diameter) {
    diameter_ = diameter;
    updateGeometry();
    update();
}

void GlassButton::setCornerRadius(double radius) {
    cornerRadius_ = radius;
    update();
}

void GlassButton::setSymbolColor(const QColor& color) {
    symbolColor_ = color;
    update();
}

void GlassButton::setTitleColor(const QColor& color) {
    titleColor_ = color;
    update();
}

void GlassButton::setForeground(Foreground foreground) {
    foreground_ = foreground;
    update();
}

void GlassButton::setFill(Fill fill) {
    fill_ = fill;
    update();
}

void GlassButton::setSelectedFill(Fill fill) {
    selectedFill_ = fill;
    update();
}

void GlassButton::setHighlight(Highlight highlight) {
    highlight_ = highlight;
    update();
}

void GlassButton::setExpanding(bool expanding) {
    expanding_ = expanding;
    setSizePolicy(expanding ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
    updateGeometry();
}

void GlassButton::setPlain(bool plain) {
    plain_ = plain;
    update();
}

void GlassButton::setDisabledOpacity(double opacity) {
    disabledOpacity_ = opacity;
    update();
}

void GlassButton::setHoverWhileDisabled(bool shown) {
    hoverWhileDisabled_ = shown;
    update();
}

void GlassButton::setSelected(bool selected) {
    if (selected_ == selected)
        return;
    selected_ = selected;
    update();
}

void GlassButton::setColorScheme(std::optional<ColorScheme> scheme) {
    scheme_ = scheme;
    update();
}

void GlassButton::setControlActiveState(std::optional<ControlActiveState> state) {
    activeState_ = state;
    update();
}

ColorScheme GlassButton::effectiveColorScheme() const {
    return scheme_ ? *scheme_ : colorSchemeOf(this);
}

ControlActiveState GlassButton::effectiveControlActiveState() const {
    return activeState_ ? *activeState_ : controlActiveStateOf(this);
}

bool GlassButton::showsHover() const {
    return hovered_ && !plain_ && (hoverWhileDisabled_ || isEnabled());
}

bool GlassButton::isHighlighted() const {
    if (plain_)
        return false;
    return showsHover() || (highlight_ == Highlight::hoverOrSelected && selected_);
}

GlassLook GlassButton::currentGlassLook() const {
    return glassLook(effectiveControlActiveState(), isHighlighted(), effectiveColorScheme());
}

QColor GlassButton::fillColor(Fill fill) const {
    const ColorScheme scheme = effectiveColorScheme();
    switch (fill) {
    case Fill::borderColor:
        return borderColor(scheme, effectiveControlActiveState(), showsHover());
    case Fill::controlBackground:
        return Theme::color(ColorRole::controlBackground, scheme);
    case Fill::selectedSegment:
        // The dark control background is darker than the track; a selected segment must stand out.
        return scheme == ColorScheme::dark ? QColor(99, 99, 102) : Theme::color(ColorRole::controlBackground, scheme);
    case Fill::regularMaterial:
        return materialColor(Material::regular, scheme);
    case Fill::ultraThinMaterial:
        return materialColor(Material::ultraThin, scheme);
    case Fill::none:
        return QColor(Qt::transparent);
    }
    return {};
}

QColor GlassButton::currentFill() const {
    return fillColor(selected_ && selectedFill_ ? *selectedFill_ : fill_);
}

QColor GlassButton::currentForeground() const {
    const bool key = effectiveControlActiveState() == ControlActiveState::key;
    const bool primary = foreground_ == Foreground::primary || selected_ || key;
    return Theme::color(primary ? ColorRole::primary : ColorRole::secondary, effectiveColorScheme());
}

QColor GlassButton::currentTrailingColor() const {
    return Theme::color(ColorRole::secondary, effectiveColorScheme());
}

double GlassButton::radius() const {
    if (diameter_ > 0)
        return std::min(width(), height()) / 2.0;
    return cornerRadius_;
}

QPainterPath GlassButton::shape() const {
    return continuousRoundedRect(QRectF(rect()), radius());
}

QSize GlassButton::sizeHint() const {
    if (diameter_ > 0) {
        const int side = int(std::ceil(diameter_));
        return {side, side};
    }
    double width = padding_.left() + padding_.right();
    double height = 0;
    int parts = 0;
    if (!symbol_.isEmpty()) {
        width += symbolSize_;
        height = std::max(height, symbolSize_);
        ++parts;
    }
    if (!text().isEmpty()) {
        const QFontMetricsF metrics(Theme::font(titleSize_, QFont::Weight(titleWeight_)));
        width += metrics.horizontalAdvance(text());
        height = std::max(height, metrics.height());
        ++parts;
    }
    if (!trailing_.isEmpty()) {
        const QFontMetricsF metrics(Theme::font(trailingSize, trailingWeight));
        width += metrics.horizontalAdvance(trailing_);
        height = std::max(height, metrics.height());
        ++parts;
    }
    width += spacing_ * std::max(0, parts - 1);
    height += padding_.top() + padding_.bottom();
    return {int(std::ceil(width)), int(std::ceil(height))};
}

QSize GlassButton::minimumSizeHint() const {
    return sizeHint();
}

bool GlassButton::hitButton(const QPoint& pos) const {
    if (plain_)
        return rect().contains(pos);
    return shape().contains(QPointF(pos) + QPointF(0.5, 0.5));
}

void GlassButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void GlassButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void GlassButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::EnabledChange)
        update();
    QAbstractButton::changeEvent(event);
}

bool GlassButton::event(QEvent* event) {
    // The window's activation reaches its children only as these two; the look follows it at once.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
        update();
    return QAbstractButton::event(event);
}

void GlassButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const ColorScheme scheme = effectiveColorScheme();
    const QPainterPath path = shape();
    // Dimmed once: either the whole button or only its label.
    if (!isEnabled() && disabledOpacity_)
        painter.setOpacity(*disabledOpacity_);
    if (!plain_)
        paintGlass(painter, path, currentGlassLook(), scheme);
    painter.fillPath(path, currentFill());

    const QColor foreground = currentForeground();
    const QColor symbolColor = symbolColor_.isValid() ? symbolColor_ : foreground;
    const QColor titleColor = titleColor_.isValid() ? titleColor_ : foreground;
    if (!isEnabled() && !disabledOpacity_)
        painter.setOpacity(0.45);
    const double dpr = devicePixelRatioF();

    if (diameter_ > 0) {
        if (!symbol_.isEmpty()) {
            const QPixmap pixmap = symbolPixmap(symbol_, symbolSize_, symbolColor, dpr);
            const QSizeF size(symbolSize_, symbolSize_);
            painter.drawPixmap(QRectF(QPointF(width() - size.width(), height() - size.height()) / 2, size), pixmap,
                               QRectF(pixmap.rect()));
        }
        paintFocusRing(painter);
        return;
    }

    const QRectF content = QRectF(rect()).marginsRemoved(padding_);
    double x = content.left();
    if (!symbol_.isEmpty()) {
        const QPixmap pixmap = symbolPixmap(symbol_, symbolSize_, symbolColor, dpr);
        const QRectF target(x, content.center().y() - symbolSize_ / 2, symbolSize_, symbolSize_);
        painter.drawPixmap(target, pixmap, QRectF(pixmap.rect()));
        x += symbolSize_ + spacing_;
    }
    double trailingWidth = 0;
    QFont trailingFont;
    if (!trailing_.isEmpty()) {
        trailingFont = Theme::font(trailingSize, trailingWeight);
        trailingWidth = QFontMetricsF(trailingFont).horizontalAdvance(trailing_);
    }
    if (!text().isEmpty()) {
        const QFont font = Theme::font(titleSize_, QFont::Weight(titleWeight_));
        painter.setFont(font);
        painter.setPen(titleColor);
        const double available = content.right() - x - (trailingWidth > 0 ? trailingWidth + spacing_ : 0);
        const QString shown = QFontMetricsF(font).elidedText(text(), Qt::ElideRight, std::max(0.0, available));
        painter.drawText(QRectF(x, content.top(), std::max(0.0, available), content.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
    if (trailingWidth > 0) {
        painter.setFont(trailingFont);
        painter.setPen(currentTrailingColor());
        painter.drawText(QRectF(content.right() - trailingWidth, content.top(), trailingWidth, content.height()),
                         Qt::AlignRight | Qt::AlignVCenter, trailing_);
    }
    paintFocusRing(painter);
}

void GlassButton::paintFocusRing(QPainter& painter) const {
    if (!FocusRing::shows(this))
        return;
    painter.setOpacity(1);
    FocusRing::paint(painter, QRectF(rect()), radius(), this);
}

GlassTabButton::GlassTabButton(const QString& symbol, const QString& title, QWidget* parent) : GlassButton(parent) {
    setSymbol(symbol);
    setTitle(title);
    setSelectedFill(Fill::controlBackground);
    setHighlight(Highlight::hoverOrSelected);
    setAccessibleDescription(QStringLiteral("tab"));
}

AddPresetTile::AddPresetTile(QWidget* parent) : GlassButton(parent) {
    setObjectName(QStringLiteral("addPresetTile"));
    setSymbol(QStringLiteral("plus.circle.fill"));
    setTitle(QStringLiteral("Add New Preset"));
    setExpanding(true);
    setPresetsCount(0);
}

QString AddPresetTile::countText(qint64 count) {
    // No singular form: one reads "1 presets".
    return QStringLiteral("%1 presets").arg(count);
}

void AddPresetTile::setPresetsCount(qint64 count) {
    count_ = count;
    setTrailingText(countText(count));
}

GlassIconButton::GlassIconButton(const QString& symbol, const QString& helpText, double diameter, double symbolSize,
                                 QWidget* parent)
    : GlassButton(parent) {
    setSymbol(symbol);
    setCircleDiameter(diameter);
    setSymbolSize(symbolSize);
    setToolTip(helpText);
    setAccessibleName(helpText);
}

GlassButton* makeSegmentButton(const QString& title, QWidget* parent) {
    auto* button = new GlassButton(parent);
    button->setTitle(title);
    button->setAccessibleName(title);
    button->setFill(GlassButton::Fill::none);
    button->setSelectedFill(GlassButton::Fill::selectedSegment);
    button->setHighlight(GlassButton::Highlight::hoverOrSelected);
    button->setTitleFont(12, QFont::Medium);
    button->setPadding(QMarginsF(10, 5, 10, 5));
    button->setCornerRadius(6);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}
