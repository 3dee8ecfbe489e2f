#include "StudioStack.h"

#include <QAccessible>
#include <QEasingCurve>
#include <QPainter>
#include <QPixmap>
#include <QVariantAnimation>

class StudioStack::FadeOverlay : public QWidget {
public:
    FadeOverlay(const QPixmap& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    void setOpacity(double opacity) {
        opacity_ = opacity;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setOpacity(opacity_);
        painter.drawPixmap(rect(), picture_);
    }

private:
    QPixmap picture_;
    double opacity_ = 1.0;
};

namespace {
QString accessibleNameOf(QWidget* widget) {
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}
} // namespace

void StudioStack::focusFirstControl(QWidget* studio) {
    // The studio itself is a bare container (or proxies its focus to one): focused, it would tell a screen
    // reader nothing. The first named control a Tab would reach takes the focus instead.
    for (QWidget* widget = studio->nextInFocusChain(); widget != studio; widget = widget->nextInFocusChain()) {
        if (!studio->isAncestorOf(widget) || widget->focusProxy() || !(widget->focusPolicy() & Qt::TabFocus) ||
            !widget->isVisibleTo(studio) || !widget->isEnabled())
            continue;
        if (!accessibleNameOf(widget).isEmpty()) {
            widget->setFocus();
            return;
        }
    }
    studio->setFocus();
}

StudioStack::StudioStack(QWidget* videoStudio, QWidget* imageStudio, QWidget* parent)
    : QWidget(parent), videoStudio_(videoStudio), imageStudio_(imageStudio) {
    setObjectName("screensStack");
    for (QWidget* studio : {videoStudio_, imageStudio_}) {
        studio->setParent(this);
        studio->setGeometry(rect());
        studio->hide();
    }
}

QSize StudioStack::sizeHint() const {
    return videoStudio_->sizeHint().expandedTo(imageStudio_->sizeHint());
}

QSize StudioStack::minimumSizeHint() const {
    QSize needed(0, 0);
    for (const QWidget* studio : {videoStudio_, imageStudio_}) {
        // A minimum set on the studio wins over the one its layout computes.
        const QSize hint = studio->minimumSizeHint();
        needed = needed.expandedTo(QSize(studio->minimumWidth() > 0 ? studio->minimumWidth() : hint.width(),
                                         studio->minimumHeight() > 0 ? studio->minimumHeight() : hint.height()));
    }
    return needed;
}

bool StudioStack::event(QEvent* event) {
    // A studio's needs changed (a reference added, the scale grown): the window's minimum follows.
    if (event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QWidget::event(event);
}

void StudioStack::resizeEvent(QResizeEvent*) {
    for (QWidget* child : {videoStudio_, imageStudio_})
        child->setGeometry(rect());
    if (overlay_)
        overlay_->setGeometry(rect());
}

void StudioStack::showStudio(QWidget* studio, bool animated) {
    if (studio == current_)
        return;
    QWidget* previous = current_;
    current_ = studio;

    if (fade_) {
        fade_->stop();
        fade_->deleteLater();
        fade_ = nullptr;
    }
    if (overlay_) {
        overlay_->deleteLater();
        overlay_ = nullptr;
    }

    const bool canFade = animated && previous && previous->isVisible() && isVisible() && width() > 0 && height() > 0;
    QPixmap outgoing = canFade ? previous->grab() : QPixmap();

    studio->setGeometry(rect());
    studio->show();
    studio->raise();
    if (previous) {
        // Hidden, not destroyed: the studio keeps everything the user typed.
        if (previous->isAncestorOf(focusWidget()))
            focusFirstControl(studio);
        previous->hide();
    }
    if (outgoing.isNull())
        return;

    overlay_ = new FadeOverlay(outgoing, this);
    overlay_->setGeometry(rect());
    overlay_->show();
    overlay_->raise();
    fade_ = new QVariantAnimation(this);
    fade_->setDuration(kFadeMilliseconds);
    fade_->setEasingCurve(QEasingCurve::InOutQuad);
    fade_->setStartValue(1.0);
    fade_->setEndValue(0.0);
    connect(fade_, &QVariantAnimation::valueChanged, overlay_,
            [overlay = overlay_](const QVariant& value) { overlay->setOpacity(value.toDouble()); });
    connect(fade_, &QVariantAnimation::finished, this, [this] {
        if (overlay_) {
            overlay_->deleteLater();
            overlay_ = nullptr;
        }
        if (fade_) {
            fade_->deleteLater();
            fade_ = nullptr;
        }
    });
    fade_->start();
}
