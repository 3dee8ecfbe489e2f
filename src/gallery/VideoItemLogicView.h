#pragma once

#include "VideoGalleryItem.h"

#include <QAbstractButton>
#include <QMimeData>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

class HoverDelay;
class MovementPlayer;
class QLabel;
class Spinner;

// One of the three small buttons of a clip card: a symbol and, with one column, its label; no background.
class CardActionButton final : public QAbstractButton {
    Q_OBJECT
public:
    CardActionButton(const CardAction& action, QWidget* parent = nullptr);
    void setMetrics(const CardMetrics& metrics, double scale);
    // In a card too narrow for the buttons as they are: their side padding is this share of its own, and with
    // `labels` false a one-column card's buttons show their symbols alone.
    void setFit(double paddingShare, bool labels);
    bool showsLabel() const { return metrics_.showsButtonLabels && labels_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    CardAction action_;
    CardMetrics metrics_ = CardMetrics::forColumns(1);
    double scale_ = 1;
    double paddingShare_ = 1;
    bool labels_ = true;
    bool hovered_ = false;

    double paddingAcross() const { return metrics_.buttonPaddingHorizontal * scale_ * paddingShare_; }
    void updateName();
};

// What a drag of a clip card carries: the address of a copy of the clip, made only when the receiver asks
// for it, so the original can be neither moved nor deleted through the drag.
class ClipDragMimeData final : public QMimeData {
    Q_OBJECT
public:
    explicit ClipDragMimeData(const QString& clipPath);
    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QString clip_;
    mutable QString copy_;
};

// The card of one gallery cell: the 16:9 picture (thumbnail, live preview or job veil), the title, the
// settings badges and, for a clip, the recreate / show / delete buttons. A failed job's card shows its error
// over the picture and a button that removes it. Hovering a clip plays it after 200 ms through the shared
// preview player and stops any gallery preview 150 ms after leaving. It shows one row of a gallery item
// model, read through the roles of VideoGalleryItem.
class VideoItemLogicView final : public QWidget {
    Q_OBJECT
public:
    VideoItemLogicView(const QModelIndex& index, MovementPlayer* player, QWidget* parent = nullptr);

    QModelIndex index() const { return index_; }
    // Another row of the same cell (a reset of its model); reads it again when it is one.
    void setIndex(const QModelIndex& index);
    // Reads the row again: its model said these roles changed (all of them when none are named).
    void refresh(const QList<int>& roles = {});
    void setLayoutValues(int columns, double scale);
    int columns() const { return columns_; }

    // What the card shows, as last read.
    QString title() const { return cell_.title; }
    QString statusText() const { return cell_.statusText; }
    bool isPlaceholder() const { return cell_.isPlaceholder; }
    bool isFailedJob() const { return cell_.isFailedJob; }
    // The card's clip; null for a job, or once the clip has left the list.
    GalleryClip* clip() const { return cell_.clip; }
    // A job, or a clip whose picture and timing have been read.
    bool isReady() const { return cell_.isPlaceholder || cell_.isLoaded; }

    // Height of a card of this width.
    static int heightFor(int width, int columns, double scale);
    // The picture's rectangle inside the card.
    QRect mediaRect() const;
    static QRect mediaRectFor(int cardWidth, int columns, double scale);
    QStringList badgeTexts() const;
    // The file name a clip without picture shows under its symbol, line by line: at most two, the second cut at
    // the tail with an ellipsis when the name needs more.
    QStringList fallbackNameLines() const;
    static QStringList fallbackNameLines(const QString& name, const QFont& font, double width);
    // Only ever a copy: a drop target cannot move the clip.
    static constexpr Qt::DropActions dragActions() { return Qt::CopyAction; }
    // The drag's payload for this card; none for a job card.
    std::unique_ptr<QMimeData> makeDragMimeData() const;
    // The keyboard's card: only its buttons take Tab; a ring in the accent colour while the grid has the focus.
    void setCurrent(bool current, bool focused);
    bool isCurrent() const { return current_; }
    bool showsFocusRing() const { return current_ && focused_; }
    QList<QWidget*> focusableButtons() const;

signals:
    void recreateClicked();
    void revealClicked();
    void deleteClicked();
    void removeClicked();
    // The pointer rested on the card: its clip should play here.
    void previewRequested();
    // Clicked: the keyboard carries on from this card.
    void pressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    struct Cell {
        QString title;
        QString statusText;
        QString errorText;
        QString fileName;
        QString path;
        std::optional<VideoOverlayMetadata> overlay;
        QPointer<GalleryClip> clip;
        bool isPlaceholder = false;
        bool isFailedJob = false;
        bool isLoaded = false;
    };

    QVariant role(int role) const { return index_.data(role); }
    void layoutButtons();
    void layoutError();
    void layoutSpinner();
    // Top of the job card's spinner and status text, centred together in the picture.
    double placeholderTop(const QRect& media) const;
    void paintMedia(QPainter& painter, const QRect& rect);
    void paintPlaceholder(QPainter& painter, const QRect& rect);
    void paintInfo(QPainter& painter);
    // The job's picture filled into the media rectangle under its veil, made again only when what it shows
    // changes; the spinner's square of it is the spinner's backdrop.
    const QPixmap& placeholderPicture(const QRect& media);
    void updateSpinnerBackdrop();

    QPersistentModelIndex index_;
    Cell cell_;
    QPointer<MovementPlayer> player_;
    int columns_ = 1;
    double scale_ = 1;
    HoverDelay* hover_ = nullptr;
    QList<CardActionButton*> buttons_;
    QLabel* error_ = nullptr;
    Spinner* spinner_ = nullptr;
    // A picture drawn at the media rectangle's size, kept while its source, size, pixel ratio and (for a job)
    // scheme and veil stay the same.
    struct ScaledPicture {
        struct Key {
            qint64 source = 0;
            QSize pixels;
            qreal ratio = 0;
            QRgb background = 0;
            int veil = 0;
            friend bool operator==(const Key&, const Key&) = default;
        };
        Key key;
        QPixmap pixmap;
    };
    ScaledPicture scaled_;
    ScaledPicture placeholder_;
    // The piece of the job's picture the spinner has, and where.
    qint64 backdropSource_ = 0;
    QRect backdropSquare_;
    QPoint pressPosition_;
    bool pressed_ = false;
    bool current_ = false;
    bool focused_ = false;
};
