#include "WorkspaceWidgets.h"

#include "FrameTicker.h"
#include "OnScreen.h"
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

GenerateButton::GenerateButton(VideoWorkspaceModel* model, QWidget* parent) : GradientButton(parent), model_(model) {
    setObjectName("generateButton");
    spinner()->setObjectName("generateSpinner");
    // The title stands 6 after the symbol's room.
    setSymbolGap(12);
    // The control pane makes room for the whole title.
    setTitleWraps(false);
    connect(model_, &VideoWorkspaceModel::queueChanged, this, &GenerateButton::refresh);
    connect(model_, &VideoWorkspaceModel::generateStateChanged, this, &GenerateButton::refresh);
    connect(this, &QPushButton::clicked, model_, &VideoWorkspaceModel::generateVideo);
    setScale(1.0);
    refresh();
}

void GenerateButton::setScale(double scale) {
    GradientButton::setScale(scale);
    setSymbolSlot(QSize(int(std::lround(20 * scale)), int(std::lround(16 * scale))));
}

void GenerateButton::refresh() {
    setTitle(model_->generateButtonTitle());
    setEnabled(model_->generateEnabled());
    setFaded(model_->generateOpacity() < 1.0);
    const bool full = model_->queueFull();
    if (full)
        setGradient(ColorRole::gray, ColorRole::gray, 0.8);
    else
        setGradient(ColorRole::blue, ColorRole::cyan);
    setSymbol(model_->showsPlaySymbol() ? QStringLiteral("play.circle")
              : full                    ? QStringLiteral("stop.circle")
                                        : QString());
    setBusy(model_->showsProgress());
}
