#include "Scrim.h"

#include "Theme.h"

#include <QMouseEvent>
#include <QPainter>

Scrim::Scrim(int lightAlpha, int darkAlpha, QWidget* parent)
    : QWidget(parent), lightAlpha_(lightAlpha), darkAlpha_(darkAlpha) {}

QColor Scrim::shade() const {
    return QColor(0, 0, 0, Theme::instance().isDark() ? darkAlpha_ : lightAlpha_);
}

void Scrim::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), shade());
}

void Scrim::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void Scrim::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton && onTap_)
        onTap_();
}
