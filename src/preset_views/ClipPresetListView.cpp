#include "ClipPresetListView.h"

#include "CinematicPresetCard.h"
#include "Controls.h"
#include "HoverPreviewController.h"
#include "PresetListModels.h"
#include "VideoPlayerView.h"

#include <QCursor>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QScrollBar>

namespace {
constexpr int kSideInset = 16;
} // namespace

ClipPresetListView::ClipPresetListView(PreviewClipPresetListModel* model, int columns, int spacing, Player player,
                                       QWidget* parent)
    : CardListView(parent), model_(model), player_(std::move(player)), columns_(std::max(1, columns)),
      spacing_(spacing) {
    delegate_ = new CinematicPresetCard(this, spacing_, columns_ == 1 ? kSideInset : 0);
    hover_ = new HoverPreviewController(
        [this](int row) {
            if (player_.play)
                player_.play(row);
        },
        [this] {
            if (player_.stop)
                player_.stop();
        },
        this);
    setModel(model_);
    setItemDelegate(delegate_);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    if (columns_ > 1) {
        setUniformItemSizes(true);
        setFlow(CardListView::LeftToRight);
        setWrapping(true);
        setResizeMode(CardListView::Adjust);
        // Each grid cell carries the gap after its card, so the right and bottom margins give the last gaps back.
        const int rest = std::max(0, kSideInset - spacing_);
        setViewportMargins(kSideInset, 0, rest, rest);
    }
    connect(delegate_, &CinematicPresetCard::selectRequested, this,
            [this](const QModelIndex& index) { emit presetChosen(index.row()); });
    connect(this, &CardListView::cardChosen, this,
            [this](const QModelIndex& index) { emit presetChosen(index.row()); });
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] { updatePreview(); });
    layoutCards();
}

void ClipPresetListView::layoutCards() {
    const int width = viewport()->width();
    const int card = columns_ == 1 ? width - 2 * kSideInset : (width - columns_ * spacing_) / columns_;
    delegate_->setCardWidth(std::max(10, card));
    // The grid's gaps come from the cells: each cell is its card plus the gap to the next.
    if (columns_ > 1) {
        const QSize cell = delegate_->sizeHint({}, {});
        setGridSize(QSize(delegate_->cardWidth() + spacing_, cell.height()));
    }
    doItemsLayout();
    updatePreview();
}

QRect ClipPresetListView::cardRect(int row) const {
    return delegate_->cardRect(visualRect(model_->index(row)), row);
}

QRect ClipPresetListView::pictureRect(int row) const {
    return delegate_->pictureRect(visualRect(model_->index(row)), row);
}

void ClipPresetListView::hideEvent(QHideEvent* event) {
    CardListView::hideEvent(event);
    // Closing the panel (or leaving the tab) after a choice gives no hover end: the preview stops here.
    stopPreview();
}

void ClipPresetListView::stopPreview() {
    hover_->reset();
    const int row = player_.currentRow ? player_.currentRow() : -1;
    if (row >= 0 && player_.stop)
        player_.stop();
}

void ClipPresetListView::resizeEvent(QResizeEvent* event) {
    CardListView::resizeEvent(event);
    layoutCards();
}

void ClipPresetListView::scrollContentsBy(int dx, int dy) {
    CardListView::scrollContentsBy(dx, dy);
    if (viewport()->underMouse())
        hover_->cardsMovedUnderPointer(cardAt(viewport()->mapFromGlobal(QCursor::pos())));
    updatePreview();
}

int ClipPresetListView::cardAt(const QPoint& position) const {
    const QModelIndex index = indexAt(position);
    return index.isValid() && cardRect(index.row()).contains(position) ? index.row() : -1;
}

void ClipPresetListView::hoverAt(const QPoint& position) {
    hover_->setHoveredRow(cardAt(position));
}

bool ClipPresetListView::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::HoverMove:
    case QEvent::HoverEnter:
        hoverAt(static_cast<QHoverEvent*>(event)->position().toPoint());
        break;
    case QEvent::MouseMove:
        hoverAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        break;
    case QEvent::HoverLeave:
    case QEvent::Leave:
        hover_->setHoveredRow(-1);
        break;
    default:
        break;
    }
    return CardListView::viewportEvent(event);
}

void ClipPresetListView::updatePreview() {
    const int row = player_.currentRow ? player_.currentRow() : -1;
    if (row < 0 || row >= model_->rowCount()) {
        if (preview_)
            preview_->hide();
        return;
    }
    // Transparent until the clip can play: the still underneath shows meanwhile.
    const bool playing = player_.isPlaying && player_.isPlaying();
    if (!preview_) {
        // Made when a clip first plays: a list that never previews a clip never makes one.
        if (!playing)
            return;
        preview_ = new VideoPlayerView(viewport());
        preview_->hide();
    }
    preview_->setPlayer(player_.backend);
    preview_->setGeometry(pictureRect(row));
    preview_->setVisible(playing);
}
