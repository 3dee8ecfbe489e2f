#pragma once

#include "AppViewModel.h"
#include "LatestResult.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

class ImageTile;
class QLabel;
class VideoWorkspaceModel;

// One frame slot: an empty drop zone (drop a picture, or click to choose one) or, once filled, a tile
// with remove and save actions. The reference and start slots share the first frame.
class FrameSlotView : public QWidget {
    Q_OBJECT
public:
    enum class Kind { reference, start, end };

    FrameSlotView(Kind kind, VideoWorkspaceModel* model, QWidget* parent = nullptr);

    ImageType slot() const { return kind_ == Kind::end ? ImageType::last : ImageType::first; }
    // The tile, while the slot holds a picture.
    ImageTile* tile() const { return tile_; }
    // What the tile shows: the picture, scaled down off the GUI thread when it is large.
    QImage shownImage() const { return shown_; }
    // A drag that brings a picture is over the empty zone.
    bool isDragOver() const { return dragOver_; }

    void chooseFrameImage();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QImage> currentImage() const;
    void refresh();
    void showImage(const QImage& preview);
    void showPage(QWidget* page);
    void dropTile();
    QWidget* makeTile(const QImage& preview);
    void setDragOver(bool on);

    Kind kind_;
    VideoWorkspaceModel* model_;
    QWidget* zone_ = nullptr;
    QWidget* dropIcon_ = nullptr;
    QWidget* tileHolder_ = nullptr;
    QWidget* tileWidget_ = nullptr;
    ImageTile* tile_ = nullptr;
    QImage shown_;
    qint64 shownKey_ = 0;
    qint64 pendingKey_ = 0;
    LatestResult preview_;
    bool dragOver_ = false;
};
