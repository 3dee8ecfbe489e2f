#pragma once

#include <QImage>
#include <QObject>
#include <QSize>

// Where a preview backend hands its pictures and a view takes them, and where the view says the size it paints
// at. The backend makes each picture ready to paint at that size on its own thread, so the view only draws it; a
// sink that wants no pictures (its view is hidden) asks for an empty size, and nothing is converted for it.
class PreviewFrameSink final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QImage frame() const { return frame_; }
    void setFrame(const QImage& frame) {
        frame_ = frame;
        emit frameChanged(frame_);
    }

    // In device pixels.
    QSize targetSize() const { return target_; }
    void setTargetSize(QSize size) {
        if (size.isEmpty())
            size = QSize();
        if (size == target_)
            return;
        target_ = size;
        emit targetSizeChanged(target_);
    }

signals:
    void frameChanged(const QImage& frame);
    void targetSizeChanged(QSize size);

private:
    QImage frame_;
    QSize target_;
};
