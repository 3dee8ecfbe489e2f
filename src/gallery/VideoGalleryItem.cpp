#include "VideoGalleryItem.h"

#include "VideoModelLabel.h"

GalleryVideoItem* VideoGalleryItem::videoItem() const {
    const auto* pointer = std::get_if<QPointer<GalleryVideoItem>>(&value_);
    return pointer ? pointer->data() : nullptr;
}

QUuid VideoGalleryItem::id() const {
    if (const GenerationTask* job = task())
        return job->id;
    const GalleryVideoItem* item = videoItem();
    return item ? item->id() : QUuid();
}

QString VideoGalleryItem::title() const {
    if (const GenerationTask* job = task())
        return job->prompt;
    const GalleryVideoItem* item = videoItem();
    return item ? item->title() : QString();
}

std::optional<VideoOverlayMetadata> VideoGalleryItem::overlayMetadata() const {
    if (const GenerationTask* job = task()) {
        VideoOverlayMetadata overlay;
        overlay.prompt = job->prompt;
        if (job->quality)
            overlay.quality = rawValue(*job->quality);
        overlay.promptOptimization = job->promptOptimization;
        if (job->model)
            overlay.model = videoModelLabel(*job->model);
        overlay.fastPretreatment = job->fastPretreatment;
        return overlay;
    }
    const GalleryVideoItem* item = videoItem();
    if (!item || !item->prompt() || !item->quality())
        return std::nullopt;
    return VideoOverlayMetadata{*item->prompt(), item->quality(), item->promptOptimization(), item->model(),
                                item->fastPretreatment()};
}

bool VideoGalleryItem::isFailedJob() const {
    const GenerationTask* job = task();
    return job && job->status == GenerationTaskStatus::failed;
}

QString VideoGalleryItem::errorText() const {
    return isFailedJob() ? task()->error.value_or(QString()) : QString();
}

QString VideoGalleryItem::statusText() const {
    const GenerationTask* job = task();
    if (isFailedJob())
        return errorText();
    return job && job->status == GenerationTaskStatus::active ? QStringLiteral("Generating...")
                                                              : QStringLiteral("In Queue...");
}

CardMetrics CardMetrics::forColumns(int columns) {
    if (columns == 1)
        return {12, 4, 14, 12, 14, 7, true, false};
    if (columns == 2)
        return {8, 3, 13, 11, 12, 6, false, false};
    return {4, 2, 12, 10, 8, 6, false, columns == 3};
}

QList<CardBadge> cardBadges(const std::optional<VideoOverlayMetadata>& overlay, int columns) {
    QList<CardBadge> badges;
    if (!overlay)
        return badges;
    const bool compact = columns == 3;
    if (overlay->quality)
        badges.append({CardBadge::Kind::quality, *overlay->quality, {}});
    if (overlay->model) {
        const QString text =
            compact && *overlay->model == QLatin1String("2.3 Fast") ? QStringLiteral("2.3 f") : *overlay->model;
        badges.append({CardBadge::Kind::model, text, {}});
    }
    if (overlay->promptOptimization.value_or(false))
        badges.append({CardBadge::Kind::promptOptimization, compact ? QString() : QStringLiteral("AI"),
                       QStringLiteral("sparkles")});
    if (overlay->fastPretreatment.value_or(false))
        badges.append({CardBadge::Kind::fastPretreatment, compact ? QString() : QStringLiteral("Fast"),
                       QStringLiteral("bolt.fill")});
    return badges;
}

QList<CardAction> cardActions() {
    return {{CardAction::Kind::recreate, QStringLiteral("arrow.clockwise"), QStringLiteral("Recreate"),
             QStringLiteral("Recreate video with same settings")},
            {CardAction::Kind::showInFileManager, QStringLiteral("folder"), QStringLiteral("Finder"),
             QStringLiteral("Show in Finder")},
            {CardAction::Kind::moveToTrash, QStringLiteral("trash"), QStringLiteral("Delete"),
             QStringLiteral("Delete video file")}};
}

CardAction removeFailedJobAction() {
    return {CardAction::Kind::removeFailedJob, QStringLiteral("xmark"), QStringLiteral("Remove"),
            QStringLiteral("Remove")};
}
