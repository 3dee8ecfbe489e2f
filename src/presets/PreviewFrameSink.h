#pragma once

#include <QObject>
#include <QVideoFrame>

// Where a preview backend hands its pictures and a view takes them. A QVideoSink would do the same, but making
// one loads the toolkit's whole media integration (tens of megabytes that stay for the life of the process),
// which a preview decoded by the program itself never needs.
class PreviewFrameSink final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QVideoFrame videoFrame() const { return frame_; }
    void setVideoFrame(const QVideoFrame& frame) {
        frame_ = frame;
        emit videoFrameChanged(frame_);
    }

signals:
    void videoFrameChanged(const QVideoFrame& frame);

private:
    QVideoFrame frame_;
};
