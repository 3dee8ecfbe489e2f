#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QUuid>

class GalleryClip;
class QTimer;
class MovementPlayer;
class VideoPlayerView;
class VideoItemLogicView;
class VideoGalleryItemModel;
class VideoGalleryViewModel;

// The scrolling grid of gallery cards over the gallery's item model. Only the cards in view (and one row either
// side) exist; those and the screens before and after them get their pictures read, nothing else: the cards in view
// at once, the rest a moment after those in view have theirs, so the screen in view is read and painted first.
// Pictures of clips further away are let go, so memory follows the screen, not how much was scrolled. The one preview
// video widget is moved into the card whose clip the shared player shows.
class VideoGalleryGrid final : public QAbstractScrollArea {
    Q_OBJECT
public:
    VideoGalleryGrid(VideoGalleryItemModel* model, VideoGalleryViewModel* gallery, MovementPlayer* player,
                     QWidget* parent = nullptr);

    void setScale(double scale);
    double scale() const { return scale_; }

    // Cards that exist now, in row order.
    QList<VideoItemLogicView*> cards() const;
    VideoItemLogicView* cardForRow(int row) const;
    // Scrolls so that `row` is in view.
    void scrollToRow(int row);
    VideoPlayerView* previewWidget() const;
    int columnWidth() const;
    // How many cards fit in an area of this size; the gallery reads that many clips at once after a load.
    void setFirstScreenArea(QSize area);
    int rowPitch() const;

    // The card the keyboard works on: arrows, Home/End and Page Up/Down move it, Return recreates its clip,
    // Delete moves it to the Trash (after asking) or removes a failed job's card, Space plays or stops its
    // preview, Tab reaches its buttons.
    int currentRow() const;
    void setCurrentRow(int row);
    VideoItemLogicView* currentCard() const;

signals:
    void recreateRequested(GalleryClip* clip);
    void revealRequested(GalleryClip* clip);
    void deleteRequested(GalleryClip* clip);
    void failedJobRemoveRequested(const QUuid& taskId);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void scheduleLayout();
    void relayout();
    void readAhead();
    void wakeMutedCards();
    void updatePreview();
    void playInCard(VideoItemLogicView* card);
    VideoItemLogicView* cardFor(const QUuid& id) const;
    QUuid idOfRow(int row) const;
    void makeCurrent(int row, bool reveal);
    void ensureRowVisible(int row);
    void togglePreview(VideoItemLogicView* card);
    void updateCurrentCards();
    void announceCurrent();
    bool focusOutsideGrid(bool next);

    QPointer<VideoGalleryItemModel> model_;
    QPointer<VideoGalleryViewModel> gallery_;
    QPointer<MovementPlayer> player_;
    double scale_ = 1;
    QHash<QUuid, VideoItemLogicView*> cards_;
    VideoPlayerView* preview_ = nullptr;
    bool layoutPending_ = false;
    bool wakePending_ = false;
    QTimer* readAheadTimer_ = nullptr;
    // Out of view: the cards either side and the screen after, as of the last layout.
    QList<QPersistentModelIndex> readAhead_;
    QUuid currentId_;
    // Where the current card was, for when its clip goes away.
    int currentRowHint_ = 0;
    // The ring shows once the keyboard is used here, not after a click or a window coming up.
    bool keyboardInUse_ = false;
};
