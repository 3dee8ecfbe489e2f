#pragma once

#include "LatestResult.h"

#include <QImage>
#include <QWidget>

// The generated picture, fitted into the space with its aspect ratio. A big picture is scaled to the widget
// on a worker; until that is done the previous scaled picture (if any) stays.
class ResultPictureView : public QWidget {
    Q_OBJECT
public:
    explicit ResultPictureView(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    QImage image() const { return image_; }
    // The picture on screen is the current one.
    bool isShown() const { return !image_.isNull() && shownKey_ == image_.cacheKey(); }

signals:
    void shown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rescale();
    QRect targetRect() const;

    QImage image_;
    QImage scaled_;
    qint64 shownKey_ = 0;
    LatestResult scaling_;
};
