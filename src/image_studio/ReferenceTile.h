#pragma once

#include <QImage>
#include <QWidget>

class QAbstractButton;

// One reference picture of the strip, with remove and download buttons shown while the pointer is over it.
class ReferenceTile : public QWidget {
    Q_OBJECT
public:
    enum class Kind { single, flexible, adaptive };
    // `thumbnail` is what the tile draws (the picture itself when null); `image` is what it hands on.
    ReferenceTile(Kind kind, const QImage& image, const QImage& thumbnail, double scale, QWidget* parent = nullptr);
    // A copy small enough for any tile, made once per picture.
    static QImage thumbnailFor(const QImage& image);

    QImage image() const { return image_; }
    Kind kind() const { return kind_; }
    bool isHovered() const { return hovered_; }
    QAbstractButton* removeButton() const { return remove_; }
    QAbstractButton* downloadButton() const { return download_; }
    QSize sizeHint() const override;

signals:
    void removeRequested();
    void downloadRequested(const QImage& image);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovered(bool hovered);
    QRect pictureRect() const;

    Kind kind_;
    QImage image_;
    QImage shown_;
    double scale_;
    bool hovered_ = false;
    QAbstractButton* remove_;
    QAbstractButton* download_;
};
