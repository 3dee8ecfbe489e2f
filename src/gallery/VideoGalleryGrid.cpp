#include "VideoGalleryGrid.h"

#include "FocusRing.h"
#include "GalleryClip.h"
#include "GalleryClipModel.h"
#include "MovementPlayer.h"
#include "VideoGalleryItemModel.h"
#include "VideoGalleryViewModel.h"
#include "VideoItemLogicView.h"
#include "VideoPlayerView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <QTimer>

#include <cmath>

namespace {
constexpr int kRowSpacing = 16;
// Long enough for the screen in view to be painted with its pictures before anything else is read.
constexpr int kReadAheadDelayMs = 30;

// The grid tells a screen reader which card the keyboard is on, as a list tells its current item.
class GridAccessible final : public QAccessibleWidget {
public:
    explicit GridAccessible(VideoGalleryGrid* grid) : QAccessibleWidget(grid, QAccessible::List) {}
    QAccessibleInterface* focusChild() const override {
        auto* grid = static_cast<VideoGalleryGrid*>(widget());
        VideoItemLogicView* card = grid->hasFocus() ? grid->currentCard() : nullptr;
        return card ? QAccessible::queryAccessibleInterface(card) : QAccessibleWidget::focusChild();
    }
};

class CardAccessible final : public QAccessibleWidget {
public:
    explicit CardAccessible(VideoItemLogicView* card) : QAccessibleWidget(card, QAccessible::ListItem) {}
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        const auto* card = static_cast<const VideoItemLogicView*>(widget());
        state.focusable = true;
        state.selectable = true;
        state.selected = card->isCurrent();
        state.focused = card->showsFocusRing() && card->parentWidget() && card->parentWidget()->parentWidget() &&
                        card->parentWidget()->parentWidget()->hasFocus();
        return state;
    }
};

QAccessibleInterface* galleryAccessible(const QString&, QObject* object) {
    if (auto* grid = qobject_cast<VideoGalleryGrid*>(object))
        return new GridAccessible(grid);
    if (auto* card = qobject_cast<VideoItemLogicView*>(object))
        return new CardAccessible(card);
    return nullptr;
}

// Before any grid exists: a screen reader may ask for a widget's interface while it is being made, and the
// answer is kept.
void installGalleryAccessible() {
    QAccessible::installFactory(galleryAccessible);
}
Q_CONSTRUCTOR_FUNCTION(installGalleryAccessible)
} // namespace

VideoGalleryGrid::VideoGalleryGrid(VideoGalleryItemModel* model, VideoGalleryViewModel* gallery, MovementPlayer* player,
                                   QWidget* parent)
    : QAbstractScrollArea(parent), model_(model), gallery_(gallery), player_(player) {
    setObjectName(QStringLiteral("galleryGrid"));
    setAccessibleName(QStringLiteral("Clips"));
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::showOnItems(this);
    // One column is never narrower than its minimum: in a narrower pane the grid scrolls sideways too.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(24);
    verticalScrollBar()->setObjectName(QStringLiteral("galleryScrollBar"));
    verticalScrollBar()->setAccessibleName(QStringLiteral("Scroll Clips"));
    horizontalScrollBar()->setObjectName(QStringLiteral("galleryHorizontalScrollBar"));
    horizontalScrollBar()->setAccessibleName(QStringLiteral("Scroll Clips Sideways"));
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &VideoGalleryGrid::scheduleLayout);
    connect(model, &QAbstractItemModel::modelReset, this, &VideoGalleryGrid::scheduleLayout);
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last, const QList<int>& roles) {
                for (int row = first.row(); row <= last.row(); ++row) {
                    if (VideoItemLogicView* card = cardForRow(row))
                        card->refresh(roles);
                }
                // Pictures arriving for the cards in view may let the read-ahead start.
                scheduleLayout();
            });
    connect(gallery, &VideoGalleryViewModel::columnsChanged, this, &VideoGalleryGrid::scheduleLayout);
    // Pictures held back while the gallery was never shown are asked for again.
    connect(gallery->clipModel(), &GalleryClipModel::metadataReleased, this, &VideoGalleryGrid::scheduleLayout);
    if (player) {
        connect(player, &MovementPlayer::currentVideoChanged, this, &VideoGalleryGrid::updatePreview);
        connect(player, &MovementPlayer::currentModeChanged, this, &VideoGalleryGrid::updatePreview);
        connect(player, &PreviewPlayer::isPlayingChanged, this, &VideoGalleryGrid::updatePreview);
    }
    // The focus ring shows while the keyboard is in the grid.
    connect(qApp, &QApplication::focusChanged, this, &VideoGalleryGrid::updateCurrentCards);
    readAheadTimer_ = new QTimer(this);
    readAheadTimer_->setSingleShot(true);
    readAheadTimer_->setInterval(kReadAheadDelayMs);
    connect(readAheadTimer_, &QTimer::timeout, this, &VideoGalleryGrid::readAhead);
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
    return VideoItemLogicView::heightFor(columnWidth(), columns, scale_) + kRowSpacing;
}

void VideoGalleryGrid::setFirstScreenArea(QSize area) {
    if (!gallery_ || area.isEmpty())
        return;
    const int columns = std::max(1, gallery_->columns());
    // A screenful of rows brings the scroll bar, which takes its width from the cards unless it floats over them.
    QScrollBar* bar = verticalScrollBar();
    const int barWidth = bar->isVisible() || style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, bar)
                             ? 0
                             : bar->sizeHint().width();
    const double available = area.width() - barWidth - 2 * 16 * scale_ - (columns - 1) * gallery_->gridSpacing();
    const int width = int(std::max(available / columns, columns == 1 ? 400.0 : 10.0));
    const int pitch = VideoItemLogicView::heightFor(width, columns, scale_) + kRowSpacing;
    // The rows in view, and the size of their pictures in device pixels.
    const int rows = std::max(1, (area.height() - int(16 * scale_) + pitch - 1) / std::max(1, pitch));
    gallery_->setFirstScreenCount(rows * columns);
    gallery_->setFirstScreenPictureSize(
        (QSizeF(VideoItemLogicView::mediaRectFor(width, columns, scale_).size()) * devicePixelRatioF()).toSize());
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
    const int contentWidth = count > 0 ? 2 * pad + int(std::ceil(columns * colWidth + (columns - 1) * spacing)) : 0;
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    const int left = horizontalScrollBar()->value();

    // Cards for the rows in view and one row either side.
    const int firstRow = std::max(0, (top - pad) / pitch - 1);
    const int lastRow = std::min(rows - 1, (top + viewport()->height() - pad) / pitch + 1);
    // Cards stay in the list while they are laid out: a clip whose picture arrives meanwhile (a read can end
    // the moment it is asked for) must find its card.
    QSet<QUuid> keep;
    QList<QPersistentModelIndex> outOfView;
    bool inViewReady = true;
    for (int r = firstRow; r <= lastRow; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int row = r * columns + c;
            if (row >= count)
                break;
            const QModelIndex index = model_->index(row, 0);
            const QUuid id = index.data(VideoGalleryItem::IdRole).toUuid();
            VideoItemLogicView* card = cards_.value(id);
            if (!card) {
                card = new VideoItemLogicView(index, player_, viewport());
                cards_.insert(id, card);
                // The clip may be dropped from the list while its card is still shown.
                const QPointer<GalleryClip> clip = card->clip();
                connect(card, &VideoItemLogicView::recreateClicked, this, [this, clip] {
                    if (clip)
                        emit recreateRequested(clip);
                });
                connect(card, &VideoItemLogicView::revealClicked, this, [this, clip] {
                    if (clip)
                        emit revealRequested(clip);
                });
                connect(card, &VideoItemLogicView::deleteClicked, this, [this, clip] {
                    if (clip)
                        emit deleteRequested(clip);
                });
                connect(card, &VideoItemLogicView::removeClicked, this,
                        [this, id] { emit failedJobRemoveRequested(id); });
                connect(card, &VideoItemLogicView::previewRequested, this, [this, card] { playInCard(card); });
                connect(card, &VideoItemLogicView::pressed, this,
                        [this, card] { makeCurrent(card->index().row(), false); });
            } else {
                card->setIndex(index); // the same cell after a reset of the list
            }
            card->setLayoutValues(columns, scale_);
            const int x = pad + int(c * (colWidth + spacing)) - left;
            const int y = pad + r * pitch - top;
            card->setGeometry(x, y, colWidth, pitch - kRowSpacing);
            card->show();
            keep.insert(id);
            if (card->geometry().intersects(viewport()->rect())) {
                model_->ensureMetadata(row);
                inViewReady = inViewReady && card->isReady();
            } else {
                outOfView << index;
            }
        }
    }
    // The cards no longer near the view go.
    bool focusGoes = false;
    for (auto it = cards_.begin(); it != cards_.end();) {
        if (keep.contains(it.key())) {
            ++it;
            continue;
        }
        VideoItemLogicView* card = it.value();
        it = cards_.erase(it);
        if (GalleryClip* clip = card->clip())
            clip->releaseSoloThumbnail();
        if (preview_ && preview_->parentWidget() == card) {
            preview_->hide();
            preview_->setParent(viewport());
        }
        // A preview whose card scrolled away would go on decoding unseen: its card's leave goes with the card.
        if (player_ && player_->currentMode() == MovementPlayer::PlaybackMode::video && card->clip() &&
            player_->currentVideo() == card->clip())
            player_->stop();
        focusGoes = focusGoes || card->isAncestorOf(QApplication::focusWidget());
        card->deleteLater();
    }
    if (focusGoes) {
        // A card leaving with the focus on one of its buttons (its clip trashed, its failed job removed) hands it
        // to the grid, on the card in its place. Only Tab reaches those buttons: the ring shows there.
        setFocus(Qt::OtherFocusReason);
        keyboardInUse_ = true;
    }
    // Sharper pictures only for the one-column cards that exist: memory stays bounded however long the folder.
    const bool held = gallery_->clipModel()->isMetadataHeld();
    for (VideoItemLogicView* card : std::as_const(cards_)) {
        if (GalleryClip* clip = card->clip()) {
            if (columns == 1 && held)
                continue;
            if (columns == 1)
                clip->ensureSoloThumbnail();
            else
                clip->releaseSoloThumbnail();
        }
    }
    updateCurrentCards();
    wakeMutedCards();
    if (isVisible())
        setFirstScreenArea(viewport()->size());
    // The cards out of view and the screens before and after this one are read ahead once the cards in view have
    // their pictures, so scrolling either way finds pictures ready without slowing down what is on screen now.
    const int screenRows = viewport()->height() / std::max(1, pitch) + 1;
    const int ahead = std::min(count, (lastRow + 1 + screenRows) * columns);
    for (int row = (lastRow + 1) * columns; row < ahead; ++row)
        outOfView << model_->index(row, 0);
    for (int row = std::max(0, firstRow - screenRows) * columns; row < firstRow * columns; ++row)
        outOfView << model_->index(row, 0);
    // Pictures more than a screen beyond those go; they are read again from the thumbnail cache.
    model_->keepPicturesNear(std::max(0, firstRow - 2 * screenRows) * columns,
                             (lastRow + 1 + 2 * screenRows) * columns - 1);
    readAhead_ = inViewReady ? outOfView : QList<QPersistentModelIndex>();
    if (!readAhead_.isEmpty() && !readAheadTimer_->isActive())
        readAheadTimer_->start();
    updatePreview();
}

void VideoGalleryGrid::wakeMutedCards() {
    // Rendering a window with hidden parts (the fade of a studio switch grabs it) sends their pending resize
    // events with each widget's updates turned off by itself, and turns them back on without reaching children
    // made meanwhile. A card this layout made inside the viewport's resize would then never be painted.
    if (wakePending_ || viewport()->updatesEnabled() || !updatesEnabled())
        return;
    wakePending_ = true;
    QTimer::singleShot(0, this, [this] {
        wakePending_ = false;
        if (!viewport()->updatesEnabled())
            return;
        for (QObject* child : viewport()->children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (widget && !widget->updatesEnabled())
                widget->setUpdatesEnabled(true);
        }
    });
}

void VideoGalleryGrid::readAhead() {
    if (!model_)
        return;
    for (const QPersistentModelIndex& index : std::as_const(readAhead_)) {
        if (index.isValid())
            model_->ensureMetadata(index.row());
    }
}

QList<VideoItemLogicView*> VideoGalleryGrid::cards() const {
    QList<VideoItemLogicView*> list = cards_.values();
    std::sort(list.begin(), list.end(), [](const VideoItemLogicView* a, const VideoItemLogicView* b) {
        return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
    });
    return list;
}

VideoItemLogicView* VideoGalleryGrid::cardForRow(int row) const {
    return cardFor(idOfRow(row));
}

QUuid VideoGalleryGrid::idOfRow(int row) const {
    if (!model_ || row < 0 || row >= model_->rowCount())
        return {};
    return model_->index(row, 0).data(VideoGalleryItem::IdRole).toUuid();
}

VideoItemLogicView* VideoGalleryGrid::cardFor(const QUuid& id) const {
    return id.isNull() ? nullptr : cards_.value(id);
}

void VideoGalleryGrid::playInCard(VideoItemLogicView* card) {
    GalleryClip* clip = card->clip();
    if (!player_ || !clip)
        return;
    // The player is shared with the camera-movement cards: the picture comes here while a clip plays here.
    if (preview_)
        preview_->setPlayer(&player_->player());
    player_->playVideo(clip);
    updatePreview();
}

void VideoGalleryGrid::updatePreview() {
    VideoItemLogicView* card = nullptr;
    if (player_ && player_->currentMode() == MovementPlayer::PlaybackMode::video && player_->currentVideo())
        card = cardFor(player_->currentVideo()->id());
    if (!preview_) {
        // Made when a clip first plays: a gallery that never previews a clip never makes one.
        if (!card || !player_->isPlaying())
            return;
        preview_ = new VideoPlayerView(viewport());
        preview_->setObjectName(QStringLiteral("galleryPreview"));
        preview_->hide();
        preview_->setPlayer(&player_->player());
    }
    if (!card) {
        preview_->hide();
        if (preview_->parentWidget() != viewport())
            preview_->setParent(viewport());
        return;
    }
    if (preview_->parentWidget() != card)
        preview_->setParent(card);
    // Inside the focus ring when there is one.
    const int inset = card->showsFocusRing() ? int(std::ceil(FocusRing::extent(card))) : 1;
    preview_->setGeometry(card->mediaRect().adjusted(inset, inset, -inset, -inset));
    preview_->raise();
    // Shown once the clip plays; until then, and after a stop, the thumbnail stays visible.
    preview_->setVisible(player_->isPlaying());
}

int VideoGalleryGrid::currentRow() const {
    if (!model_ || model_->rowCount() == 0)
        return -1;
    const int row = currentId_.isNull() ? -1 : model_->rowOfId(currentId_);
    return row >= 0 ? row : std::clamp(currentRowHint_, 0, model_->rowCount() - 1);
}

void VideoGalleryGrid::setCurrentRow(int row) {
    makeCurrent(row, true);
}

void VideoGalleryGrid::makeCurrent(int row, bool reveal) {
    if (!model_ || row < 0 || row >= model_->rowCount())
        return;
    const QUuid id = idOfRow(row);
    const bool changed = id != currentId_;
    currentId_ = id;
    currentRowHint_ = row;
    if (reveal)
        ensureRowVisible(row);
    updateCurrentCards();
    if (changed)
        announceCurrent();
}

VideoItemLogicView* VideoGalleryGrid::currentCard() const {
    return cardForRow(currentRow());
}

void VideoGalleryGrid::ensureRowVisible(int row) {
    const int columns = std::max(1, gallery_ ? gallery_->columns() : 1);
    const int pad = int(16 * scale_);
    const int pitch = rowPitch();
    const int top = pad + (row / columns) * pitch;
    const int bottom = top + pitch - kRowSpacing;
    QScrollBar* bar = verticalScrollBar();
    if (top - pad < bar->value())
        bar->setValue(top - pad);
    else if (bottom + pad > bar->value() + viewport()->height())
        bar->setValue(std::min(top - pad, bottom + pad - viewport()->height()));
    // The card may not exist yet: it is made now, not on the next turn of the event loop.
    relayout();
}

void VideoGalleryGrid::updateCurrentCards() {
    const QWidget* focus = QApplication::focusWidget();
    const bool focused = keyboardInUse_ && focus && (focus == this || isAncestorOf(focus));
    const int row = currentRow();
    const QUuid current = idOfRow(row);
    for (auto it = cards_.cbegin(); it != cards_.cend(); ++it)
        it.value()->setCurrent(it.key() == current, focused);
    // Cards are made after the controls that follow the grid: their buttons go right after it in the Tab
    // order, or Tab from those controls would come round to the card again and never leave the gallery.
    if (VideoItemLogicView* card = cards_.value(current)) {
        QWidget* previous = this;
        for (QWidget* button : card->focusableButtons()) {
            if (previous->nextInFocusChain() != button)
                QWidget::setTabOrder(previous, button);
            previous = button;
        }
    }
    updatePreview();
}

void VideoGalleryGrid::announceCurrent() {
    if (!hasFocus())
        return;
    // A screen reader follows the card as if it had the focus itself.
    if (VideoItemLogicView* card = currentCard()) {
        QAccessibleEvent event(card, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void VideoGalleryGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        keyboardInUse_ = true;
        break;
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
        break; // as it was
    default:
        keyboardInUse_ = false;
    }
    if (!model_ || model_->rowCount() == 0)
        return;
    // Focusing never moves the list: a current card scrolled far away gives way to the first one in view.
    int row = currentRow();
    if (!cardForRow(row)) {
        for (VideoItemLogicView* card : cards()) {
            if (card->geometry().bottom() >= 0) {
                row = card->index().row();
                break;
            }
        }
    }
    makeCurrent(std::max(0, row), false);
    announceCurrent();
}

void VideoGalleryGrid::keyPressEvent(QKeyEvent* event) {
    const int count = model_ ? model_->rowCount() : 0;
    if (count == 0 || !gallery_ || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int columns = std::max(1, gallery_->columns());
    const int row = std::max(0, currentRow());
    const int page = std::max(1, viewport()->height() / std::max(1, rowPitch())) * columns;
    const int lastRowStart = (count - 1) / columns * columns;
    int target = row;
    const QModelIndex current = model_->index(row, 0);
    auto* clip = qobject_cast<GalleryClip*>(current.data(VideoGalleryItem::ClipRole).value<QObject*>());
    const bool wasInUse = keyboardInUse_;
    keyboardInUse_ = true;
    if (!wasInUse)
        updateCurrentCards();
    switch (event->key()) {
    case Qt::Key_Left:
        target = row - 1;
        break;
    case Qt::Key_Right:
        target = row + 1;
        break;
    case Qt::Key_Up:
        target = row - columns;
        break;
    case Qt::Key_Down:
        // Onto the last card when the row below is shorter.
        target = row + columns < count ? row + columns : (row < lastRowStart ? count - 1 : row);
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = count - 1;
        break;
    case Qt::Key_PageUp:
        target = std::max(row % columns, row - page);
        break;
    case Qt::Key_PageDown:
        target = std::min(count - 1, row + page);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (clip)
            emit recreateRequested(clip);
        return;
    case Qt::Key_Delete:
        if (clip)
            emit deleteRequested(clip);
        else if (current.data(VideoGalleryItem::IsFailedJobRole).toBool())
            emit failedJobRemoveRequested(current.data(VideoGalleryItem::IdRole).toUuid());
        return;
    case Qt::Key_Space:
        ensureRowVisible(row);
        togglePreview(cardForRow(row));
        return;
    default:
        keyboardInUse_ = wasInUse;
        if (!wasInUse)
            updateCurrentCards();
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (target >= 0 && target < count)
        setCurrentRow(target);
    event->accept();
}

void VideoGalleryGrid::togglePreview(VideoItemLogicView* card) {
    if (!card || !player_ || !card->clip())
        return;
    const bool playingHere =
        player_->currentMode() == MovementPlayer::PlaybackMode::video && player_->currentVideo() == card->clip();
    if (playingHere)
        player_->stop();
    else
        playInCard(card);
}

bool VideoGalleryGrid::focusNextPrevChild(bool next) {
    QWidget* focus = QApplication::focusWidget();
    VideoItemLogicView* card = currentCard();
    const QList<QWidget*> buttons = card ? card->focusableButtons() : QList<QWidget*>();
    const int at = int(buttons.indexOf(focus));
    if (focus == this) {
        if (next && !buttons.isEmpty()) {
            buttons.first()->setFocus(Qt::TabFocusReason);
            return true;
        }
        return focusOutsideGrid(next);
    }
    if (at >= 0) {
        if (next && at + 1 < buttons.size())
            buttons.at(at + 1)->setFocus(Qt::TabFocusReason);
        else if (!next && at > 0)
            buttons.at(at - 1)->setFocus(Qt::BacktabFocusReason);
        else if (!next)
            setFocus(Qt::BacktabFocusReason);
        else
            return focusOutsideGrid(true);
        return true;
    }
    return QAbstractScrollArea::focusNextPrevChild(next);
}

bool VideoGalleryGrid::focusOutsideGrid(bool next) {
    // Cards come and go, so their buttons sit anywhere in the window's chain: skip everything inside the grid.
    for (QWidget* w = next ? nextInFocusChain() : previousInFocusChain(); w && w != this;
         w = next ? w->nextInFocusChain() : w->previousInFocusChain()) {
        if (isAncestorOf(w) || !window()->isAncestorOf(w) || !w->isVisible() || !w->isEnabled() ||
            !(w->focusPolicy() & Qt::TabFocus) || w->focusProxy())
            continue;
        w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return false;
}
