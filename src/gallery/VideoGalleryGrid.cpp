#include "VideoGalleryGrid.h"

#include "GalleryVideoItem.h"
#include "MovementPlayer.h"
#include "VideoGalleryCard.h"
#include "VideoGalleryItemModel.h"
#include "VideoGalleryViewModel.h"

#include "VideoPlayerView.h"
#include <QScrollBar>
#include <QTimer>

namespace {
constexpr int kRowSpacing = 16;
}

VideoGalleryGrid::VideoGalleryGrid(VideoGalleryItemModel* model, VideoGalleryViewModel* gallery, MovementPlayer* player,
                                   QWidget* parent)
    : QAbstractScrollArea(parent), model_(model), gallery_(gallery), player_(player) {
    setObjectName(QStringLiteral("galleryGrid"));
    setAccessibleName(QStringLiteral("Clips"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(24);
    verticalScrollBar()->setObjectName(QStringLiteral("galleryScrollBar"));
    verticalScrollBar()->setAccessibleName(QStringLiteral("Scroll Clips"));
    horizontalScrollBar()->setObjectName(QStringLiteral("galleryHorizontalScrollBar"));
    horizontalScrollBar()->setAccessibleName(QStringLiteral("Scroll Clips Sideways"));
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &VideoGalleryGrid::scheduleLayout);
    connect(model, &QAbstractItemModel::modelReset, this, &VideoGalleryGrid::scheduleLayout);
    // A clip's card follows its own item; only a job's card needs the job as it is now.
    connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& first, const QModelIndex& last) {
        for (int row = first.row(); row <= last.row() && row < model_->placeholderCount(); ++row) {
            if (VideoGalleryCard* card = cardForRow(row))
                card->setItem(model_->item(row));
        }
        // Pictures arriving for the cards in view may let the read-ahead start.
        scheduleLayout();
    });
    connect(gallery, &VideoGalleryViewModel::columnsChanged, this, &VideoGalleryGrid::scheduleLayout);
    if (player) {
        connect(player, &MovementPlayer::currentVideoChanged, this, &VideoGalleryGrid::updatePreview);
        connect(player, &MovementPlayer::currentModeChanged, this, &VideoGalleryGrid::updatePreview);
        connect(player, &PreviewPlayer::isPlayingChanged, this, &VideoGalleryGrid::updatePreview);
    }
    relayout();
}

void VideoGalleryGrid::setScale(double scale) {
    if (scale <= 0 || qFuzzyCompare(scale, scale_))
        return;
    scale_ = scale;
    relayout();
}

VideoPlayerView* VideoGalleryGrid::previewWidget() const {
    return preview_;
}

int VideoGalleryGrid::columnWidth() const {
    const int columns = std::max(1, gallery_ ? gallery_->columns() : 1);
    const double spacing = gallery_ ? gallery_->gridSpacing() : 16;
    const double available = viewport()->width() - 2 * 16 * scale_ - (columns - 1) * spacing;
    // One column is at least 400 wide, several at least 10.
    return int(std::max(available / columns, columns == 1 ? 400.0 : 10.0));
}

int VideoGalleryGrid::rowPitch() const {
    const int columns = gallery_ ? gallery_->columns() : 1;
    return VideoGalleryCard::heightFor(columnWidth(), columns, scale_) + kRowSpacing;
}

void VideoGalleryGrid::setFirstScreenArea(QSize area) {
    if (!gallery_ || area.isEmpty())
        return;
    const int columns = std::max(1, gallery_->columns());
    const double available = area.width() - 2 * 16 * scale_ - (columns - 1) * gallery_->gridSpacing();
    const int width = int(std::max(available / columns, columns == 1 ? 400.0 : 10.0));
    const int pitch = VideoGalleryCard::heightFor(width, columns, scale_) + kRowSpacing;
    // The rows in view and the one below, as the grid makes their cards.
    gallery_->setFirstScreenCount((area.height() / std::max(1, pitch) + 2) * columns);
}

void VideoGalleryGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void VideoGalleryGrid::scrollContentsBy(int, int) {
    relayout();
}

void VideoGalleryGrid::scheduleLayout() {
    if (layoutPending_)
        return;
    layoutPending_ = true;
    QTimer::singleShot(0, this, [this] {
        layoutPending_ = false;
        relayout();
    });
}

void VideoGalleryGrid::scrollToRow(int row) {
    const int columns = std::max(1, gallery_ ? gallery_->columns() : 1);
    verticalScrollBar()->setValue(int(16 * scale_) + (row / columns) * rowPitch());
    relayout();
}

void VideoGalleryGrid::relayout() {
    if (!model_ || !gallery_)
        return;
    const int columns = std::max(1, gallery_->columns());
    const int count = model_->rowCount();
    const int rows = (count + columns - 1) / columns;
    const int pad = int(16 * scale_);
    const int pitch = rowPitch();
    const int colWidth = columnWidth();
    const double spacing = gallery_->gridSpacing();
    const int contentHeight = rows > 0 ? 2 * pad + rows * pitch - kRowSpacing : 0;
    verticalScrollBar()->setRange(0, std::max(0, contentHeight - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    const int top = verticalScrollBar()->value();

    // Cards for the rows in view and one row either side.
    const int firstRow = std::max(0, (top - pad) / pitch - 1);
    const int lastRow = std::min(rows - 1, (top + viewport()->height() - pad) / pitch + 1);
    QHash<QUuid, VideoGalleryCard*> keep;
    for (int r = firstRow; r <= lastRow; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int row = r * columns + c;
            if (row >= count)
                break;
            const VideoGalleryItem item = model_->item(row);
            const QUuid id = item.id();
            VideoGalleryCard* card = cards_.take(id);
            if (!card) {
                card = new VideoGalleryCard(item, player_, viewport());
                // The clip may be dropped from the list while its card is still shown.
                const QPointer<GalleryVideoItem> video = item.videoItem();
                connect(card, &VideoGalleryCard::recreateClicked, this, [this, video] {
                    if (video)
                        emit recreateRequested(video);
                });
                connect(card, &VideoGalleryCard::revealClicked, this, [this, video] {
                    if (video)
                        emit revealRequested(video);
                });
                connect(card, &VideoGalleryCard::deleteClicked, this, [this, video] {
                    if (video)
                        emit deleteRequested(video);
                });
                connect(card, &VideoGalleryCard::previewRequested, this, [this, card] { playInCard(card); });
            } else if (item.isPlaceholder()) {
                card->setItem(item); // a job's status may have changed
            }
            card->setLayoutValues(columns, scale_);
            const int x = pad + int(c * (colWidth + spacing));
            const int y = pad + r * pitch - top;
            card->setGeometry(x, y, colWidth, pitch - kRowSpacing);
            card->show();
            keep.insert(id, card);
            model_->ensureMetadata(row);
        }
    }
    for (VideoGalleryCard* card : std::as_const(cards_)) {
        if (preview_ && preview_->parentWidget() == card) {
            preview_->hide();
            preview_->setParent(viewport());
        }
        card->deleteLater();
    }
    cards_ = keep;
    if (isVisible())
        setFirstScreenArea(viewport()->size());
    // The screen after this one is read ahead once the cards in view have their pictures, so scrolling finds
    // pictures ready without slowing down what is on screen now.
    const bool shownReady = std::all_of(keep.cbegin(), keep.cend(), [](const VideoGalleryCard* card) {
        const GalleryVideoItem* video = card->item().videoItem();
        return !video || video->metadataState() == GalleryVideoItem::MetadataState::loaded;
    });
    if (shownReady) {
        const int ahead = std::min(count, (lastRow + 1 + viewport()->height() / std::max(1, pitch) + 1) * columns);
        for (int row = (lastRow + 1) * columns; row < ahead; ++row)
            model_->ensureMetadata(row);
    }
    updatePreview();
}

QList<VideoGalleryCard*> VideoGalleryGrid::cards() const {
    QList<VideoGalleryCard*> list = cards_.values();
    std::sort(list.begin(), list.end(), [](const VideoGalleryCard* a, const VideoGalleryCard* b) {
        return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
    });
    return list;
}

VideoGalleryCard* VideoGalleryGrid::cardForRow(int row) const {
    if (!model_ || row < 0 || row >= model_->rowCount())
        return nullptr;
    return cardFor(model_->item(row).id());
}

VideoGalleryCard* VideoGalleryGrid::cardFor(const QUuid& id) const {
    return cards_.value(id);
}

void VideoGalleryGrid::playInCard(VideoGalleryCard* card) {
    GalleryVideoItem* video = card->item().videoItem();
    if (!player_ || !video)
        return;
    if (!preview_) {
        preview_ = new VideoPlayerView(viewport());
        preview_->setObjectName(QStringLiteral("galleryPreview"));
        preview_->hide();
    }
    // The player is shared with the camera-movement cards: the picture comes here while a clip plays here.
    preview_->setPlayer(&player_->player());
    player_->playVideo(video);
    updatePreview();
}

void VideoGalleryGrid::updatePreview() {
    if (!preview_)
        return;
    VideoGalleryCard* card = nullptr;
    if (player_ && player_->currentMode() == MovementPlayer::PlaybackMode::video && player_->currentVideo())
        card = cardFor(player_->currentVideo()->id());
    if (!card) {
        preview_->hide();
        if (preview_->parentWidget() != viewport())
            preview_->setParent(viewport());
        return;
    }
    if (preview_->parentWidget() != card)
        preview_->setParent(card);
    preview_->setGeometry(card->mediaRect().adjusted(1, 1, -1, -1));
    preview_->raise();
    // Shown once the clip plays; until then, and after a stop, the thumbnail stays visible.
    preview_->setVisible(player_->isPlaying());
}
