#include "QueueStatusIndicator.h"

#include "FrameTicker.h"
#include "Motion.h"
#include "OnScreen.h"
#include "ResultLabel.h"
#include "Spinner.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QEasingCurve>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {
constexpr int slotCount = StudioRules::videoSlots;
// Item sizes and gaps before the scale is applied.
constexpr double padding = 6;
constexpr double itemSpacing = 6;
constexpr double dotSize = 4;
constexpr double dotSpacing = 2;
constexpr double pulseSize = 5;
constexpr double symbolSize = 10;
constexpr Motion::Spring capsuleSpring{0.4, 0.8};
constexpr double busySize = 10;
} // namespace

QueueStatusIndicator::QueueStatusIndicator(QueueManager* queue, StudioRules::IndicatorTab tab, QWidget* parent,
                                           double scale)
    : QWidget(parent), model_(queue ? new QueueStatusModel(queue, tab, this) : nullptr), tab_(tab), scale_(scale),
      onScreen_(new OnScreenWatcher(this)) {
    setObjectName(tab == StudioRules::IndicatorTab::photo ? "photoQueueStatus" : "videoQueueStatus");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    // The text is the capsule's one readable part: a screen reader hears it change.
    text_ = new ResultLabel("queueStatusText", QString(), this);
    row->addWidget(text_);
    if (model_)
        connect(model_, &QueueStatusModel::stateChanged, this, &QueueStatusIndicator::refresh);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
    connect(onScreen_, &OnScreenWatcher::onScreenChanged, this, &QueueStatusIndicator::updateTicker);
    refresh();
}

void QueueStatusIndicator::setScale(double scale) {
    scale_ = scale;
    applyLayout();
}

void QueueStatusIndicator::alignWithTitle(const QLabel* title) {
    title_ = title;
    applyLayout();
}

QSize QueueStatusIndicator::sizeHint() const {
    // A leaving capsule keeps its room until it is gone.
    return state_.visible || Motion::runningExit(this) ? QWidget::sizeHint() : QSize(0, 0);
}

void QueueStatusIndicator::refresh() {
    if (model_)
        showState(model_->state());
    else
        applyLayout();
}

void QueueStatusIndicator::showState(const StudioRules::IndicatorState& state) {
    state_ = state;
    applyLayout();
}

void QueueStatusIndicator::applyLayout() {
    // A leaving capsule is drawn from a picture of its last look; its text stays as it was.
    if (state_.visible && text_->text() != state_.text)
        text_->setText(state_.text);
    {
        text_->setFont(Theme::font(10 * scale_, QFont::Medium));
        const int lead = int(std::ceil((padding + itemsWidth() + itemSpacing + symbolSize + itemSpacing) * scale_));
        const int trail = int(std::ceil((padding + (state_.spinner ? itemSpacing + busySize : 0)) * scale_));
        layout()->setContentsMargins(lead, int(2 * scale_), trail, int(2 * scale_));
        if (title_) {
            const QFontMetrics metrics = title_->fontMetrics();
            const int baseline = (title_->sizeHint().height() - metrics.height()) / 2 + metrics.ascent();
            const int guide = qRound(0.65 * layout()->sizeHint().height());
            setContentsMargins(0, std::max(0, baseline - guide), 0, 0);
        }
    }
    // The capsule comes in from the trailing edge on the header's spring and goes back out the same way.
    if (state_.visible) {
        const bool appearing = isHidden() || Motion::runningExit(this);
        show();
        if (appearing)
            Motion::enter(this, Motion::durationMs(capsuleSpring), Motion::springEasing<400, 800>(),
                          QPointF(sizeHint().width(), 0));
    } else if (!isVisible()) {
        hide();
    } else if (!Motion::runningExit(this)) {
        Motion::leave(
            this, Motion::durationMs(capsuleSpring), Motion::springEasing<400, 800>(),
            [this] {
                if (!state_.visible)
                    hide();
                updateGeometry();
            },
            QPointF(width(), 0));
    }
    updateTicker();
    updateGeometry();
    update();
}

double QueueStatusIndicator::itemsWidth() const {
    return tab_ == StudioRules::IndicatorTab::photo ? slotCount * dotSize + (slotCount - 1) * dotSpacing : pulseSize;
}

bool QueueStatusIndicator::shows(Part part) const {
    if (!state_.visible)
        return false;
    const bool photoTab = tab_ == StudioRules::IndicatorTab::photo;
    switch (part) {
    case Part::slotDots:
        return photoTab;
    case Part::pulseDot:
        return !photoTab;
    case Part::symbol:
    case Part::text:
        return true;
    case Part::progressView:
        return photoTab && state_.spinner;
    case Part::arcSpinner:
        return !photoTab && state_.spinner;
    }
    return false;
}

QString QueueStatusIndicator::symbolName() const {
    return tab_ == StudioRules::IndicatorTab::photo ? QStringLiteral("video") : QStringLiteral("photo");
}

QRectF QueueStatusIndicator::partRect(Part part) const {
    if (!shows(part))
        return {};
    const QRectF capsule = contentsRect();
    const double y = capsule.center().y();
    const auto square = [y](double left, double side) { return QRectF(left, y - side / 2, side, side); };
    const double itemsLeft = capsule.left() + padding * scale_;
    const double symbolLeft = itemsLeft + (itemsWidth() + itemSpacing) * scale_;
    switch (part) {
    case Part::slotDots:
        return QRectF(itemsLeft, y - dotSize * scale_ / 2, itemsWidth() * scale_, dotSize * scale_);
    case Part::pulseDot:
        return square(itemsLeft, pulseSize * scale_);
    case Part::symbol:
        return square(symbolLeft, symbolSize * scale_);
    case Part::text:
        return QRectF(text_->geometry());
    case Part::progressView:
    case Part::arcSpinner:
        return square(capsule.right() + 1 - (padding + busySize) * scale_, busySize * scale_);
    }
    return {};
}

QRectF QueueStatusIndicator::slotDotRect(int slot) const {
    const QRectF dots = partRect(Part::slotDots);
    if (dots.isEmpty() || slot < 0 || slot >= slotCount)
        return {};
    return QRectF(dots.left() + slot * (dotSize + dotSpacing) * scale_, dots.top(), dotSize * scale_, dotSize * scale_);
}

bool QueueStatusIndicator::isAnimating() const {
    return FrameTicker::joined(this);
}

void QueueStatusIndicator::updateTicker() {
    const bool moves = tab_ == StudioRules::IndicatorTab::photo ? state_.activeSlots > 0 || state_.spinner : true;
    if (state_.visible && moves && onScreen_->isOnScreen()) {
        // A turning arc needs every frame; the pulses step with the spokes.
        const int interval = shows(Part::arcSpinner) ? FrameTicker::smoothMs : FrameTicker::pulseMs;
        if (interval != tickInterval_ || !isAnimating()) {
            tickInterval_ = interval;
            FrameTicker::join(this, interval, [this] {
                elapsedMs_ += FrameTicker::stepMs(tickInterval_);
                updateMovingParts();
            });
        }
    } else {
        FrameTicker::leave(this);
    }
}

void QueueStatusIndicator::updateMovingParts() {
    // The text and the symbol stand still: only what moves is painted again, with room for the rings and halo.
    QRegion moving;
    const int margin = int(std::ceil(2 * scale_));
    for (const Part part : {Part::slotDots, Part::pulseDot, Part::progressView, Part::arcSpinner}) {
        const QRectF rect = partRect(part);
        if (!rect.isEmpty())
            moving += rect.toAlignedRect().adjusted(-margin, -margin, margin, margin);
    }
    update(moving & rect());
}

double QueueStatusIndicator::phase(int periodMs, bool reverses) const {
    double t = std::fmod(elapsedMs_, reverses ? 2.0 * periodMs : periodMs) / periodMs;
    if (t > 1)
        t = 2 - t;
    return QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(t);
}

void QueueStatusIndicator::paintEvent(QPaintEvent*) {
    if (!state_.visible)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(contentsRect()).adjusted(0.4, 0.4, -0.4, -0.4);
    painter.setBrush(Theme::instance().color(ColorRole::controlBackground));
    painter.setPen(QPen(withOpacity(Theme::instance().color(ColorRole::blue), 0.2), 0.8, Qt::SolidLine, Qt::FlatCap,
                        Qt::MiterJoin));
    painter.drawRoundedRect(capsule, 4, 4);

    const QColor blue = Theme::instance().color(ColorRole::blue);
    const QColor orange = Theme::instance().color(ColorRole::orange);
    if (shows(Part::slotDots)) {
        const double pulse = phase(1000, true);
        for (int i = 0; i < slotCount; ++i) {
            const bool active = i < state_.activeSlots;
            const QColor dot = active ? blue : withOpacity(Theme::instance().color(ColorRole::gray), 0.3);
            const QRectF rect = slotDotRect(i);
            painter.setPen(Qt::NoPen);
            painter.setBrush(dot);
            painter.drawEllipse(rect);
            if (active) {
                const double half = rect.width() * 0.75;
                painter.setBrush(Qt::NoBrush);
                painter.setPen(QPen(withOpacity(dot, 0.3 * pulse), 0.5));
                painter.drawEllipse(rect.center(), half, half);
            }
        }
    }
    if (shows(Part::pulseDot)) {
        const QRectF rect = partRect(Part::pulseDot);
        painter.setPen(Qt::NoPen);
        painter.setBrush(orange);
        painter.drawEllipse(rect);
        const double halo = rect.width() / 2 * (1 + 0.8 * phase(1000, true));
        painter.setBrush(withOpacity(orange, 0.3 * 0.5));
        painter.drawEllipse(rect.center(), halo, halo);
    }
    const QRectF symbol = partRect(Part::symbol);
    const double ratio = devicePixelRatioF();
    const QPixmap glyph =
        symbolPixmap(symbolName(), symbol.width(), tab_ == StudioRules::IndicatorTab::photo ? blue : orange, ratio);
    painter.drawPixmap(symbol.topLeft(), glyph);

    // The spinners turn with the capsule's own ticker, which also drives the pulses.
    if (shows(Part::progressView)) {
        const SpinnerLook spokes{SpinnerLook::Style::spokes, Theme::instance().color(ColorRole::secondary)};
        paintSpinner(painter, partRect(Part::progressView), spokes, qint64(elapsedMs_));
    }
    if (shows(Part::arcSpinner)) {
        const SpinnerLook arc{SpinnerLook::Style::arc, orange, 1.2 * scale_, 0.2, 2000, true};
        paintSpinner(painter, partRect(Part::arcSpinner), arc, qint64(elapsedMs_));
    }
}
