#include "WorkspaceWidgets.h"

#include "FocusRing.h"
#include "FrameTicker.h"
#include "OnScreen.h"
#include "Spinner.h"
#include "Theme.h"
#include "VideoWorkspaceModel.h"

#include <QEasingCurve>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

SlotDots::SlotDots(VideoWorkspaceModel* model, QWidget* parent)
    : QWidget(parent), model_(model), onScreen_(new OnScreenWatcher(this)) {
    setObjectName("videoSlotDots");
    setAccessibleName("Video slots");
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(model_, &VideoWorkspaceModel::queueChanged, this, &SlotDots::refresh);
    connect(onScreen_, &OnScreenWatcher::onScreenChanged, this, &SlotDots::updatePulse);
    refresh();
}

void SlotDots::setScale(double scale) {
    scale_ = scale;
    updateGeometry();
    update();
}

QSize SlotDots::sizeHint() const {
    // Four dots and three gaps, padded 8 × scale across and 4 × scale above and below: a slim pill.
    // The rings drawn around the running dots stay inside that padding.
    const double dot = 6 * scale_;
    const double width = 4 * dot + 3 * 3 * scale_ + 2 * 8 * scale_;
    const double height = dot + 2 * 4 * scale_;
    return QSize(qRound(width), qRound(height));
}

void SlotDots::refresh() {
    active_ = model_->activeVideoTaskCount();
    setVisible(active_ > 0);
    updatePulse();
    update();
}

bool SlotDots::isPulsing() const {
    return FrameTicker::joined(this);
}

void SlotDots::updatePulse() {
    if (active_ == 0)
        pulseMs_ = 0;
    // No frames unseen; the ring goes on from where it stood. It steps with the other animations on screen.
    if (active_ > 0 && onScreen_->isOnScreen()) {
        if (!isPulsing()) {
            FrameTicker::join(this, FrameTicker::pulseMs, [this] {
                pulseMs_ = std::fmod(pulseMs_ + FrameTicker::stepMs(FrameTicker::pulseMs), pulseCycleMs);
                update();
            });
        }
    } else {
        FrameTicker::leave(this);
    }
}

void SlotDots::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor blue = Theme::instance().color(ColorRole::blue);
    QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath background;
    background.addRoundedRect(box, 6, 6);
    QColor fill = blue;
    fill.setAlphaF(0.1);
    QColor stroke = blue;
    stroke.setAlphaF(0.2);
    painter.fillPath(background, fill);
    painter.setPen(QPen(stroke, 1));
    painter.drawPath(background);

    const double dot = 6 * scale_;
    const double spacing = 3 * scale_;
    const double total = 4 * dot + 3 * spacing;
    double x = box.center().x() - total / 2;
    const double y = box.center().y();
    // 0 → 1 → 0 over two seconds: a one-second ease in and out that reverses, for ever.
    const double raw = 2.0 * pulseMs_ / pulseCycleMs;
    const double phase = QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(raw <= 1 ? raw : 2 - raw);
    for (int i = 0; i < 4; ++i) {
        const QPointF centre(x + dot / 2, y);
        const bool on = i < active_;
        QColor dotColor = on ? blue : QColor(Qt::gray);
        if (!on)
            dotColor.setAlphaF(0.3);
        painter.setPen(Qt::NoPen);
        painter.setBrush(dotColor);
        painter.drawEllipse(centre, dot / 2, dot / 2);
        if (on) {
            QColor ring = blue;
            ring.setAlphaF(0.3 * (1 - phase) + 0.3 * phase * 0.2);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(ring, 0.5));
            const double r = dot / 2 * (1.0 + 0.5 * phase);
            painter.drawEllipse(centre, r, r);
        }
        x += dot + spacing;
    }
}

GenerateButton::GenerateButton(VideoWorkspaceModel* model, QWidget* parent)
    : QPushButton(parent), model_(model), spinner_(new Spinner({SpinnerLook::Style::spokes, Qt::white}, 0, this)) {
    setObjectName("generateButton");
    setCursor(Qt::PointingHandCursor);
    setFlat(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    spinner_->setObjectName("generateSpinner");
    spinner_->hide();
    connect(model_, &VideoWorkspaceModel::queueChanged, this, &GenerateButton::refresh);
    connect(model_, &VideoWorkspaceModel::generateStateChanged, this, &GenerateButton::refresh);
    connect(this, &QPushButton::clicked, model_, &VideoWorkspaceModel::generateVideo);
    refresh();
}

void GenerateButton::setScale(double scale) {
    scale_ = scale;
    setFont(Theme::font(15 * scale, QFont::DemiBold));
    updateGeometry();
    placeSpinner();
}

QSize GenerateButton::sizeHint() const {
    return QSize(200, int(fontMetrics().height() + 2 * 14 * scale_));
}

QSize GenerateButton::minimumSizeHint() const {
    // The icon slot and the title, whole, with the corners' room on both sides.
    const double content = 20 * scale_ + 6 + QFontMetricsF(font()).horizontalAdvance(text());
    return QSize(int(std::ceil(content + 2 * 10)), sizeHint().height());
}

double GenerateButton::drawnOpacity() const {
    return model_->generateOpacity();
}

bool GenerateButton::showsStopSymbol() const {
    return model_->queueFull();
}

void GenerateButton::refresh() {
    const QString title = model_->generateButtonTitle();
    setText(title);
    setAccessibleName(title);
    setEnabled(model_->generateEnabled());
    // The button's opacity holds for the spinner drawn over it too.
    spinner_->setColor(withOpacity(Qt::white, drawnOpacity()));
    spinner_->setVisible(model_->showsProgress());
    placeSpinner();
    update();
}

QRectF GenerateButton::iconSlot() const {
    const double iconWidth = 20 * scale_;
    const double textWidth = QFontMetricsF(font()).horizontalAdvance(text());
    const double left = (width() - iconWidth - 6 - textWidth) / 2;
    return QRectF(left, (height() - 16 * scale_) / 2, iconWidth, 16 * scale_);
}

void GenerateButton::placeSpinner() {
    // A small indicator scaled by 0.8 × scale, centred in the icon slot.
    const QRectF slot = iconSlot();
    spinner_->setDiameter(Spinner::smallDiameter * 0.8 * scale_);
    const QPointF corner = slot.center() - QPointF(spinner_->width() / 2.0, spinner_->height() / 2.0);
    spinner_->move(corner.toPoint());
}

void GenerateButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    placeSpinner();
}

void GenerateButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(drawnOpacity());
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    QLinearGradient gradient(rect().topLeft(), rect().topRight());
    if (!model_->queueFull()) {
        gradient.setColorAt(0, Theme::instance().color(ColorRole::blue));
        gradient.setColorAt(1, Theme::instance().color(ColorRole::cyan));
    } else {
        QColor end(Qt::gray);
        end.setAlphaF(0.8);
        gradient.setColorAt(0, Qt::gray);
        gradient.setColorAt(1, end);
    }
    painter.fillPath(shape, gradient);

    const QRectF slot = iconSlot();
    const double side = std::min(slot.width(), slot.height());
    const QRectF glyph(slot.center().x() - side / 2, slot.center().y() - side / 2, side, side);
    if (model_->showsPlaySymbol()) {
        painter.setPen(QPen(Qt::white, 1.4));
        painter.drawEllipse(glyph.adjusted(1, 1, -1, -1));
        QPolygonF triangle;
        const QPointF c = glyph.center();
        const double s = side * 0.22;
        triangle << QPointF(c.x() - s * 0.7, c.y() - s) << QPointF(c.x() + s, c.y())
                 << QPointF(c.x() - s * 0.7, c.y() + s);
        painter.setBrush(Qt::white);
        painter.drawPolygon(triangle);
    } else if (model_->queueFull()) {
        painter.setPen(QPen(Qt::white, 1.4));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(glyph.adjusted(1, 1, -1, -1));
        const double s = side * 0.36;
        painter.fillRect(QRectF(glyph.center().x() - s / 2, glyph.center().y() - s / 2, s, s), Qt::white);
    }
    const double textWidth = QFontMetricsF(font()).horizontalAdvance(text());
    painter.setPen(Qt::white);
    painter.drawText(QRectF(slot.right() + 6, 0, textWidth + 2, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    if (FocusRing::shows(this)) {
        painter.setOpacity(1);
        FocusRing::paint(painter, QRectF(rect()), 10, this);
    }
}
