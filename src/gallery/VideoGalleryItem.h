#pragma once

#include "GalleryClip.h"
#include "GenerationTask.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <optional>
#include <variant>

// The generation settings a card shows as badges.
struct VideoOverlayMetadata {
    QString prompt;
    std::optional<QString> quality;
    std::optional<bool> promptOptimization;
    std::optional<QString> model;
    std::optional<bool> fastPretreatment;

    friend bool operator==(const VideoOverlayMetadata&, const VideoOverlayMetadata&) = default;
};

// One cell of the gallery grid: a finished clip or a video job that waits or runs. The gallery's item models
// answer for each row through data() and the roles below, all computed here.
class VideoGalleryItem {
public:
    enum Role {
        IdRole = Qt::UserRole + 1, // QUuid: the clip's or the job's; the grid keys its cards by it
        IsPlaceholderRole,         // bool: a job's cell
        IsFailedJobRole,           // bool
        StatusTextRole,            // QString for a job, none for a clip
        ErrorTextRole,             // QString: the failed job's error, else empty
        FileNameRole,              // QString: the clip's name as shown; none for a job
        PathRole,                  // QString: the clip's exact path; none for a job
        OverlayRole,               // VideoOverlayMetadata; none when the cell has no settings to show
        SoloThumbnailRole,         // QImage: the clip's sharper picture while a one-column card wants it
        MetadataLoadedRole,        // bool: the clip's picture and timing have been read; none for a job
        ClipRole,                  // QObject*: the clip (a GalleryClip); null for a job
    };
    // Qt::DisplayRole is the title; Qt::DecorationRole the clip's thumbnail (ready-sized for the cards when it
    // came so) or the job's first reference image.
    static QHash<int, QByteArray> roleNames();

    static VideoGalleryItem video(GalleryClip* clip) { return VideoGalleryItem(QPointer(clip)); }
    static VideoGalleryItem placeholder(const GenerationTask& task) { return VideoGalleryItem(task); }

    bool isVideo() const { return std::holds_alternative<QPointer<GalleryClip>>(value_); }
    // A job's cell: waiting, running, or failed and not yet removed by the user.
    bool isPlaceholder() const { return !isVideo(); }
    bool isFailedJob() const;
    // The failed job's error, word for word; empty for anything else.
    QString errorText() const;
    // Null for a job, or when the clip has been dropped meanwhile.
    GalleryClip* clip() const;
    const GenerationTask* task() const { return std::get_if<GenerationTask>(&value_); }
    QUuid id() const;

    // The card's title: the clip's prompt or file name without ".mp4"; the job's prompt as it is.
    QString title() const;
    // None for a clip without both a prompt and a quality from its record.
    std::optional<VideoOverlayMetadata> overlayMetadata() const;
    // "Generating..." for a running job, the error for a failed one, "In Queue..." for any other.
    QString statusText() const;

    QVariant data(int role) const;

private:
    explicit VideoGalleryItem(std::variant<QPointer<GalleryClip>, GenerationTask> value) : value_(std::move(value)) {}
    std::variant<QPointer<GalleryClip>, GenerationTask> value_;
};

// Sizes of a card that follow the gallery's column count (before the layout scale).
struct CardMetrics {
    int buttonSpacing;
    int buttonContentSpacing;
    int titleFontSize;
    int detailFontSize;
    int buttonPaddingHorizontal;
    int buttonPaddingVertical;
    bool showsButtonLabels;
    bool isCompact;

    static CardMetrics forColumns(int columns);
};

// One badge of a card: a text, a symbol, or both.
struct CardBadge {
    enum class Kind { quality, model, promptOptimization, fastPretreatment };
    Kind kind;
    QString text;   // empty when only the symbol shows
    QString symbol; // empty for a text badge

    friend bool operator==(const CardBadge&, const CardBadge&) = default;
};
QList<CardBadge> cardBadges(const std::optional<VideoOverlayMetadata>& overlay, int columns);

// The three buttons of a clip card, and the one of a failed job's card.
struct CardAction {
    enum class Kind { recreate, showInFileManager, moveToTrash, removeFailedJob };
    Kind kind;
    QString symbol;
    QString label; // shown only with one column
    QString toolTip;
};
QList<CardAction> cardActions();
CardAction removeFailedJobAction();

Q_DECLARE_METATYPE(VideoOverlayMetadata)
