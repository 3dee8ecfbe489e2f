#include "ResultPictureView.h"

#include "BackgroundPool.h"

#include <QPainter>
#include <QPainterPath>

ResultPictureView::ResultPictureView(QWidget* parent) : QWidget(parent) {
    setObjectName("resultPicture");
    setAccessibleName("Generated image");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(40, 40);
}

void ResultPictureView::setImage(const QImage& image) {
    if (image.cacheKey() == image_.cacheKey() && !image.isNull())
        return;
    image_ = image;
    if (image_.isNull()) {
        scaled_ = QImage();
        shownKey_ = 0;
        scaling_.forget();
        update();
        return;
    }
    rescale();
}

QRect ResultPictureView::targetRect() const {
    const QRect area = rect().adjusted(8, 8, -8, -8);
    if (image_.isNull() || area.isEmpty())
        return {};
    const QSize fitted = image_.size().scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.center() - QPoint(fitted.width() / 2, fitted.height() / 2), fitted);
}

void ResultPictureView::rescale() {
    const QRect target = targetRect();
    if (target.isEmpty())
        return;
    const QSize pixels = target.size() * devicePixelRatioF();
    const QImage source = image_;
    const qint64 key = image_.cacheKey();
    // Scaling a 4096-pixel picture takes longer than a frame: never on this thread.
    scaling_.watch(this, BackgroundPool::run([source, pixels] {
                       return source.size() == pixels
                                  ? source
                                  : source.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
                   }),
                   [this, key](const QImage& scaled) {
                       scaled_ = scaled;
                       scaled_.setDevicePixelRatio(devicePixelRatioF());
                       shownKey_ = key;
                       update();
                       emit shown();
                   });
}

void ResultPictureView::resizeEvent(QResizeEvent*) {
    if (!image_.isNull())
        rescale();
}

void ResultPictureView::paintEvent(QPaintEvent*) {
    if (scaled_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect target = targetRect();
    QPainterPath clip;
    clip.addRoundedRect(target, 12, 12);
    painter.setClipPath(clip);
    painter.drawImage(target, scaled_);
}
