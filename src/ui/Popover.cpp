#include "Popover.h"

#include "Glass.h"
#include "Theme.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

Popover::Popover(QWidget* anchor) : QWidget(anchor, Qt::Popup | Qt::FramelessWindowHint), anchor_(anchor) {
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("popover"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, arrowHeight, 0, 0);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void Popover::setContent(QWidget* content) {
    if (content_)
        content_->deleteLater();
    content_ = content;
    layout()->addWidget(content);
}

void Popover::popup() {
    adjustSize();
    place();
    show();
    raise();
    activateWindow();
    if (content_)
        content_->setFocus();
}

void Popover::place() {
    if (!anchor_)
        return;
    const QSize size = sizeHint().expandedTo(minimumSize());
    const QPoint below = anchor_->mapToGlobal(QPoint(anchor_->width() / 2, anchor_->height()));
    const QPoint above = anchor_->mapToGlobal(QPoint(anchor_->width() / 2, 0));
    const QScreen* screen = anchor_->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), QSize(4096, 4096));
    shownEdge_ = edge_;
    if (shownEdge_ == Edge::below && below.y() + size.height() > available.bottom() &&
        above.y() - size.height() >= available.top())
        shownEdge_ = Edge::above;
    else if (shownEdge_ == Edge::above && above.y() - size.height() < available.top())
        shownEdge_ = Edge::below;
    const QPoint tip = shownEdge_ == Edge::below ? below : above;
    int x = tip.x() - size.width() / 2;
    x = std::clamp(x, available.left(), std::max(available.left(), available.right() - size.width()));
    const int y = shownEdge_ == Edge::below ? tip.y() : tip.y() - size.height();
    arrowX_ = std::clamp(tip.x() - x, int(cornerRadius) + arrowHeight, size.width() - int(cornerRadius) - arrowHeight);
    auto* box = static_cast<QVBoxLayout*>(layout());
    box->setContentsMargins(0, shownEdge_ == Edge::below ? arrowHeight : 0, 0,
                            shownEdge_ == Edge::above ? arrowHeight : 0);
    setGeometry(QRect(QPoint(x, y), size));
}

void Popover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorScheme scheme = colorSchemeOf(this);
    const bool below = shownEdge_ == Edge::below;
    const QRectF body = QRectF(rect()).adjusted(0.5, below ? arrowHeight : 0.5, -0.5, below ? -0.5 : -arrowHeight);
    QPainterPath path = continuousRoundedRect(body, cornerRadius);
    QPainterPath arrow;
    const double baseY = below ? body.top() + 1 : body.bottom() - 1;
    const double tipY = below ? 0.5 : height() - 0.5;
    arrow.moveTo(arrowX_ - arrowHeight, baseY);
    arrow.lineTo(arrowX_, tipY);
    arrow.lineTo(arrowX_ + arrowHeight, baseY);
    arrow.closeSubpath();
    path = path.united(arrow);
    painter.fillPath(path, Theme::color(ColorRole::windowBackground, scheme));
    painter.setPen(QPen(borderColor(scheme, ControlActiveState::key, true), 1));
    painter.drawPath(path);
}

void Popover::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Popover::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit closed();
}
