#include "ResultPictureView.h"

#include "BackgroundPool.h"

#include <QPainter>
#include <QPainterPath>

namespace {

bool halvable(const QImage& image) {
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32_Premultiplied;
}

// Each 2 x 2 block averaged into one pixel, on this thread alone. Qt's smooth scaling of a big picture from a
// thread outside its global pool splits the work onto that pool, and the window's paints wait on the same pool.
QImage halved(const QImage& source) {
    QImage out(source.width() / 2, source.height() / 2, source.format());
    constexpr quint32 pairs = 0x00ff00ff;
    constexpr quint32 rounding = 0x00020002;
    for (int y = 0; y < out.height(); ++y) {
        const auto* top = reinterpret_cast<const quint32*>(source.constScanLine(2 * y));
        const auto* bottom = reinterpret_cast<const quint32*>(source.constScanLine(2 * y + 1));
        auto* line = reinterpret_cast<quint32*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const quint32 a = top[2 * x], b = top[2 * x + 1], c = bottom[2 * x], d = bottom[2 * x + 1];
            const quint32 low = (a & pairs) + (b & pairs) + (c & pairs) + (d & pairs) + rounding;
            const quint32 high =
                ((a >> 8) & pairs) + ((b >> 8) & pairs) + ((c >> 8) & pairs) + ((d >> 8) & pairs) + rounding;
            line[x] = ((low >> 2) & pairs) | (((high >> 2) & pairs) << 8);
        }
    }
    return out;
}

} // namespace

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
                       if (source.size() == pixels)
                           return source;
                       QImage reduced = source;
                       while (halvable(reduced) && reduced.width() >= 2 * pixels.width() &&
                              reduced.height() >= 2 * pixels.height())
                           reduced = halved(reduced);
                       return reduced.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
