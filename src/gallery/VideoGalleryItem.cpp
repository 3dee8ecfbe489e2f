#include "VideoGalleryItem.h"

#include "VideoModelLabel.h"

QHash<int, QByteArray> VideoGalleryItem::roleNames() {
    return {{Qt::DisplayRole, "title"},
            {Qt::DecorationRole, "picture"},
            {IdRole, "id"},
            {IsPlaceholderRole, "isPlaceholder"},
            {IsFailedJobRole, "isFailedJob"},
            {StatusTextRole, "statusText"},
            {ErrorTextRole, "errorText"},
            {FileNameRole, "fileName"},
            {PathRole, "path"},
            {OverlayRole, "overlay"},
            {SoloThumbnailRole, "soloThumbnail"},
            {MetadataLoadedRole, "metadataLoaded"},
            {ClipRole, "clip"}};
}

GalleryClip* VideoGalleryItem::clip() const {
    const auto* pointer = std::get_if<QPointer<GalleryClip>>(&value_);
    return pointer ? pointer->data() : nullptr;
}

QUuid VideoGalleryItem::id() const {
    if (const GenerationTask* job = task())
        return job->id;
    const GalleryClip* item = clip();
    return item ? item->id() : QUuid();
}

QString VideoGalleryItem::title() const {
    if (const GenerationTask* job = task())
        return job->prompt;
    const GalleryClip* item = clip();
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
    const GalleryClip* item = clip();
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

QVariant VideoGalleryItem::data(int role) const {
    const GenerationTask* job = task();
    const GalleryClip* video = clip();
    switch (role) {
    case Qt::DisplayRole:
        return title();
    case Qt::DecorationRole:
        if (job)
            return job->referenceImages.isEmpty() ? QVariant() : QVariant(job->referenceImages.first());
        if (video && !video->cardPicture().isNull())
            return video->cardPicture();
        return video && !video->thumbnail().isNull() ? QVariant(video->thumbnail()) : QVariant();
    case IdRole:
        return id();
    case IsPlaceholderRole:
        return isPlaceholder();
    case IsFailedJobRole:
        return isFailedJob();
    case StatusTextRole:
        return job ? QVariant(statusText()) : QVariant();
    case ErrorTextRole:
        return errorText();
    case FileNameRole:
        return video ? QVariant(video->fileName()) : QVariant();
    case PathRole:
        return video ? QVariant(video->path()) : QVariant();
    case OverlayRole:
        if (const auto overlay = overlayMetadata())
            return QVariant::fromValue(*overlay);
        return {};
    case SoloThumbnailRole:
        return video && !video->soloThumbnail().isNull() ? QVariant(video->soloThumbnail()) : QVariant();
    case MetadataLoadedRole:
        return video ? QVariant(video->metadataState() == GalleryClip::MetadataState::loaded) : QVariant();
    case ClipRole:
        return QVariant::fromValue<QObject*>(clip());
    default:
        return {};
    }
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
