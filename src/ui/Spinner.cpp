#include "Spinner.h"

#include "Theme.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEasingCurve>
#include <QPainter>
#include <QTimerEvent>

#include <cmath>

namespace {

constexpr int spokeCount = 8;
constexpr int arcFrameMs = 33;

// Assistive tools read the spinner as a busy indicator, as they read an indeterminate progress bar.
QAccessibleInterface* accessibleSpinner(const QString& className, QObject* object) {
    if (className == QLatin1String("Spinner") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::ProgressBar);
    return nullptr;
}

} // namespace

void paintSpinner(QPainter& painter, const QRectF& box, const SpinnerLook& look, qint64 elapsedMs) {
    const double side = std::min(box.width(), box.height());
    if (!std::isfinite(side) || !std::isfinite(look.lineWidth))
        return;
    const double radius = side / 2;
    const double width = look.lineWidth > 0 ? look.lineWidth : std::max(1.0, radius / 4);
    if (!(side > width))
        return;
    const QColor color = look.color.isValid() ? look.color : Theme::instance().color(ColorRole::secondary);
    const int period = std::max(1, look.periodMs);
    const double progress = double(std::max<qint64>(0, elapsedMs) % period) / period;
    const QPointF centre = box.center();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    if (look.style == SpinnerLook::Style::arc) {
        // The stroke stays inside the box.
        const double ring = radius - width / 2;
        const QRectF circle(centre.x() - ring, centre.y() - ring, 2 * ring, 2 * ring);
        if (look.trackOpacity > 0) {
            painter.setPen(QPen(withOpacity(color, look.trackOpacity), width, Qt::SolidLine, Qt::FlatCap));
            painter.drawEllipse(circle);
        }
        const double turn =
            360 * (look.eased ? QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(progress) : progress);
        // Qt's angles run counter-clockwise from three o'clock in 1/16 degrees: start at twelve and sweep three
        // quarters clockwise, the whole turning clockwise.
        painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(circle, int((90 - turn) * 16), -270 * 16);
    } else {
        const double outer = radius - width / 2;
        const double inner = outer / 2;
        const int lead = std::min(spokeCount - 1, int(progress * spokeCount));
        for (int i = 0; i < spokeCount; ++i) {
            const int age = (lead - i + spokeCount) % spokeCount;
            painter.setPen(
                QPen(withOpacity(color, 1.0 - age * 0.75 / (spokeCount - 1)), width, Qt::SolidLine, Qt::RoundCap));
            const double angle = i * 2 * M_PI / spokeCount;
            const QPointF direction(std::sin(angle), -std::cos(angle));
            painter.drawLine(centre + direction * inner, centre + direction * outer);
        }
    }
    painter.restore();
}

Spinner::Spinner(const SpinnerLook& look, double diameter, QWidget* parent)
    : QWidget(parent), look_(look), diameter_(diameter) {
    static const bool accessible = [] {
        QAccessible::installFactory(accessibleSpinner);
        return true;
    }();
    Q_UNUSED(accessible)
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
}

void Spinner::setColor(const QColor& color) {
    if (look_.color == color)
        return;
    look_.color = color;
    update();
}

void Spinner::setLineWidth(double width) {
    look_.lineWidth = width;
    update();
}

void Spinner::setDiameter(double diameter) {
    diameter_ = diameter;
    setFixedSize(sizeHint());
    update();
}

int Spinner::frameInterval() const {
    return look_.style == SpinnerLook::Style::spokes ? std::max(1, look_.periodMs / spokeCount) : arcFrameMs;
}

QSize Spinner::sizeHint() const {
    const int side = std::isfinite(diameter_) ? std::max(0, int(std::ceil(diameter_))) : 0;
    return QSize(side, side);
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPointF centre = QRectF(rect()).center();
    const QRectF box(centre.x() - diameter_ / 2, centre.y() - diameter_ / 2, diameter_, diameter_);
    paintSpinner(painter, box, look_, elapsedMs_);
}

void Spinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!timer_.isActive())
        timer_.start(frameInterval(), this);
}

void Spinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_.stop();
}

void Spinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    elapsedMs_ += frameInterval();
    update();
}
