#include "Spinner.h"

#include "FrameTicker.h"

#include "OnScreen.h"
#include "Theme.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QEasingCurve>
#include <QPainter>
#include <QPixmapCache>

#include <algorithm>
#include <cmath>

namespace {

constexpr int spokeCount = 8;
constexpr int arcFrameMs = FrameTicker::smoothMs;

// Assistive tools read the spinner as a busy indicator, as they read an indeterminate progress bar.
QAccessibleInterface* accessibleSpinner(const QString& className, QObject* object) {
    if (className == QLatin1String("Spinner") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::ProgressBar);
    return nullptr;
}

// How far into its period the look is, from 0 up to 1.
double progressAt(const SpinnerLook& look, qint64 elapsedMs) {
    const int period = std::max(1, look.periodMs);
    return double(std::max<qint64>(0, elapsedMs) % period) / period;
}

// Which spoke leads at `progress`.
int leadAt(double progress) {
    return std::min(spokeCount - 1, int(progress * spokeCount));
}

QColor colorOf(const SpinnerLook& look) {
    return look.color.isValid() ? look.color : Theme::instance().color(ColorRole::secondary);
}

void paintLook(QPainter& painter, const QRectF& box, const SpinnerLook& look, double progress) {
    const double side = std::min(box.width(), box.height());
    if (!std::isfinite(side) || !std::isfinite(look.lineWidth))
        return;
    const double radius = side / 2;
    const double width = look.lineWidth > 0 ? look.lineWidth : std::max(1.0, radius / 4);
    if (!(side > width))
        return;
    const QColor color = colorOf(look);
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
        const int lead = leadAt(progress);
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

} // namespace

void paintSpinner(QPainter& painter, const QRectF& box, const SpinnerLook& look, qint64 elapsedMs) {
    paintLook(painter, box, look, progressAt(look, elapsedMs));
}

Spinner::Spinner(const SpinnerLook& look, double diameter, QWidget* parent)
    : QWidget(parent), look_(look), diameter_(diameter), onScreen_(new OnScreenWatcher(this)) {
    static const bool accessible = [] {
        QAccessible::installFactory(accessibleSpinner);
        return true;
    }();
    Q_UNUSED(accessible)
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
    connect(onScreen_, &OnScreenWatcher::onScreenChanged, this, &Spinner::setSpinning);
}

Spinner::~Spinner() {
    delete onScreen_;
    setSpinning(false);
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
    updateOpacity();
    update();
}

void Spinner::setBackdrop(const QPixmap& backdrop) {
    if (backdrop.cacheKey() == backdrop_.cacheKey())
        return;
    backdrop_ = backdrop;
    updateOpacity();
    update();
}

bool Spinner::isOpaque() const {
    return testAttribute(Qt::WA_OpaquePaintEvent);
}

void Spinner::updateOpacity() {
    const QSizeF covered = backdrop_.deviceIndependentSize();
    setAttribute(Qt::WA_OpaquePaintEvent,
                 !backdrop_.isNull() && covered.width() >= width() && covered.height() >= height());
}

int Spinner::frameInterval() const {
    return look_.style == SpinnerLook::Style::spokes ? std::max(1, look_.periodMs / spokeCount) : arcFrameMs;
}

QSize Spinner::sizeHint() const {
    const int side = std::isfinite(diameter_) ? std::max(0, int(std::ceil(diameter_))) : 0;
    return QSize(side, side);
}

QRectF Spinner::box() const {
    const QPointF centre = QRectF(rect()).center();
    return QRectF(centre.x() - diameter_ / 2, centre.y() - diameter_ / 2, diameter_, diameter_);
}

QPixmap Spinner::spokeFrame(int lead) const {
    // Each of the eight drawings is made once for a colour, width, size and pixel ratio, and shared by every spinner
    // that looks the same (the job cards of one gallery all do).
    const qreal ratio = devicePixelRatioF();
    const QString key = QStringLiteral("orvane-spoke:%1:%2:%3:%4x%5:%6:%7")
                            .arg(colorOf(look_).rgba(), 8, 16)
                            .arg(look_.lineWidth)
                            .arg(diameter_)
                            .arg(width())
                            .arg(height())
                            .arg(ratio)
                            .arg(lead);
    QPixmap frame;
    if (QPixmapCache::find(key, &frame))
        return frame;
    frame = QPixmap((QSizeF(size()) * ratio).toSize());
    frame.setDevicePixelRatio(ratio);
    frame.fill(Qt::transparent);
    QPainter painter(&frame);
    paintLook(painter, box(), look_, (lead + 0.5) / spokeCount);
    painter.end();
    QPixmapCache::insert(key, frame);
    return frame;
}

const QPixmap& Spinner::shownFrame(int lead) {
    const qreal ratio = devicePixelRatioF();
    const ShownFrames::Key key{
        colorOf(look_).rgba(), look_.lineWidth, diameter_, size(), ratio, isOpaque() ? backdrop_.cacheKey() : 0};
    if (!(shown_.key == key)) {
        shown_.key = key;
        shown_.pixmaps.fill(QPixmap());
    }
    QPixmap& frame = shown_.pixmaps[size_t(lead)];
    if (!frame.isNull())
        return frame;
    const QPixmap drawing = spokeFrame(lead);
    if (!isOpaque()) {
        frame = drawing;
        return frame;
    }
    frame = QPixmap(drawing.size());
    frame.setDevicePixelRatio(ratio);
    QPainter painter(&frame);
    painter.drawPixmap(0, 0, backdrop_);
    painter.drawPixmap(0, 0, drawing);
    return frame;
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The spokes have eight drawings: each is made once, then copied on every step.
    if (look_.style == SpinnerLook::Style::spokes) {
        painter.drawPixmap(0, 0, shownFrame(leadAt(progressAt(look_, elapsedMs_))));
        return;
    }
    if (isOpaque())
        painter.drawPixmap(0, 0, backdrop_);
    paintSpinner(painter, box(), look_, elapsedMs_);
}

void Spinner::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateOpacity();
}

void Spinner::setSpinning(bool spinning) {
    if (spinning_ == spinning)
        return;
    spinning_ = spinning;
    if (spinning)
        FrameTicker::join(this, frameInterval(), [this] { step(); });
    else
        FrameTicker::leave(this);
}

void Spinner::step() {
    elapsedMs_ += frameInterval();
    update();
}
