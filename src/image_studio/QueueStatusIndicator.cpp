#include "QueueStatusIndicator.h"

#include "QueueManager.h"
#include "StudioWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include <algorithm>

using namespace StudioWidgets;

QueueStatusIndicator::QueueStatusIndicator(QueueManager* queue, StudioRules::IndicatorTab tab, QWidget* parent)
    : QWidget(parent), queue_(queue), tab_(tab) {
    setObjectName(tab == StudioRules::IndicatorTab::photo ? "photoQueueStatus" : "videoQueueStatus");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    text_ = label("queueStatusText", QString(), this);
    row->addSpacing(0);
    row->addWidget(text_);
    if (queue_)
        connect(queue_, &QueueManager::tasksChanged, this, &QueueStatusIndicator::refresh);
    refresh();
}

void QueueStatusIndicator::setScale(double scale) {
    scale_ = scale;
    refresh();
}

void QueueStatusIndicator::alignWithTitle(const QLabel* title) {
    title_ = title;
    refresh();
}

QSize QueueStatusIndicator::sizeHint() const {
    return state_.visible ? QWidget::sizeHint() : QSize(0, 0);
}

void QueueStatusIndicator::refresh() {
    if (queue_)
        state_ = StudioRules::indicatorState(*queue_, tab_);
    text_->setText(state_.text);
    text_->setFont(StudioWidgets::font(10 * scale_, QFont::Medium));
    const int dots = tab_ == StudioRules::IndicatorTab::photo ? 4 : 1;
    const int lead = int((6 + dots * (4 + 2) + 6 + 10) * scale_);
    layout()->setContentsMargins(lead, int(2 * scale_), int(6 * scale_), int(2 * scale_));
    if (title_) {
        const QFontMetrics metrics = title_->fontMetrics();
        const int baseline = (title_->sizeHint().height() - metrics.height()) / 2 + metrics.ascent();
        const int guide = qRound(0.65 * layout()->sizeHint().height());
        setContentsMargins(0, std::max(0, baseline - guide), 0, 0);
    }
    setAccessibleName(state_.text);
    setVisible(state_.visible);
    updateGeometry();
    update();
}

void QueueStatusIndicator::paintEvent(QPaintEvent*) {
    if (!state_.visible)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(contentsRect()).adjusted(0.4, 0.4, -0.4, -0.4);
    painter.setBrush(palette().color(QPalette::Base));
    QColor stroke = color(Tone::blue, this);
    stroke.setAlphaF(0.2f);
    painter.setPen(QPen(stroke, 0.8));
    painter.drawRoundedRect(capsule, 4, 4);
    painter.setPen(Qt::NoPen);
    const double y = capsule.center().y();
    double x = 6 * scale_;
    if (tab_ == StudioRules::IndicatorTab::photo) {
        for (int i = 0; i < 4; ++i) {
            QColor dot = i < state_.activeSlots ? color(Tone::blue, this) : color(Tone::gray, this);
            if (i >= state_.activeSlots)
                dot.setAlphaF(0.3f);
            painter.setBrush(dot);
            painter.drawEllipse(QPointF(x + 2 * scale_, y), 2 * scale_, 2 * scale_);
            x += 6 * scale_;
        }
    } else {
        painter.setBrush(color(Tone::orange, this));
        painter.drawEllipse(QPointF(x + 2.5 * scale_, y), 2.5 * scale_, 2.5 * scale_);
    }
}
