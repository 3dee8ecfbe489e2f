#include "StudioStack.h"

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

StudioStack::StudioStack(QWidget* videoStudio, QWidget* imageStudio, QWidget* parent)
    : QWidget(parent), videoStudio_(videoStudio), imageStudio_(imageStudio) {
    setObjectName("screensStack");
    for (QWidget* studio : {videoStudio_, imageStudio_}) {
        studio->setParent(this);
        studio->setGeometry(rect());
        studio->hide();
    }
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
            studio->setFocus();
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
