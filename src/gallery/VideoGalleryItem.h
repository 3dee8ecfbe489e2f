#pragma once

#include "GalleryVideoItem.h"
#include "GenerationTask.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QUuid>

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

// One cell of the gallery grid: a finished clip or a video job that waits or runs.
class VideoGalleryItem {
public:
    static VideoGalleryItem video(GalleryVideoItem* item) { return VideoGalleryItem(QPointer(item)); }
    static VideoGalleryItem placeholder(const GenerationTask& task) { return VideoGalleryItem(task); }

    bool isVideo() const { return std::holds_alternative<QPointer<GalleryVideoItem>>(value_); }
    // A job's cell: waiting, running, or failed and not yet removed by the user.
    bool isPlaceholder() const { return !isVideo(); }
    bool isFailedJob() const;
    // The failed job's error, word for word; empty for anything else.
    QString errorText() const;
    // Null for a job, or when the clip has been dropped meanwhile.
    GalleryVideoItem* videoItem() const;
    const GenerationTask* task() const { return std::get_if<GenerationTask>(&value_); }
    // The clip's or the job's id; the grid keys its cells by it.
    QUuid id() const;

    // The card's title: the clip's prompt or file name without ".mp4"; the job's prompt as it is.
    QString title() const;
    // None for a clip without both a prompt and a quality from its record.
    std::optional<VideoOverlayMetadata> overlayMetadata() const;
    // "Generating..." for a running job, the error for a failed one, "In Queue..." for any other.
    QString statusText() const;

private:
    explicit VideoGalleryItem(std::variant<QPointer<GalleryVideoItem>, GenerationTask> value)
        : value_(std::move(value)) {}
    std::variant<QPointer<GalleryVideoItem>, GenerationTask> value_;
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
