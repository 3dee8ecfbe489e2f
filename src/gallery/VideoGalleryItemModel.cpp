#include "VideoGalleryItemModel.h"

#include "QueueManager.h"
#include "VideoGalleryViewModel.h"

#include <algorithm>
#include <limits>

VideoGalleryItemModel::VideoGalleryItemModel(VideoGalleryViewModel* gallery, QueueManager* queue, QObject* parent)
    : QAbstractListModel(parent), gallery_(gallery), queue_(queue) {
    if (gallery) {
        for (GalleryVideoItem* video : gallery->videos()) {
            videos_.append(video);
            watchItem(video);
        }
        connect(gallery, &VideoGalleryViewModel::videosReset, this, &VideoGalleryItemModel::resetVideos);
        connect(gallery, &VideoGalleryViewModel::videoInserted, this, [this](int row) {
            GalleryVideoItem* video = gallery_->videos().at(row);
            const int at = placeholderCount() + row;
            beginInsertRows({}, at, at);
            videos_.insert(row, video);
            endInsertRows();
            watchItem(video);
        });
        connect(gallery, &VideoGalleryViewModel::videoRemoved, this, [this](int row) {
            const int at = placeholderCount() + row;
            beginRemoveRows({}, at, at);
            videos_.removeAt(row);
            endRemoveRows();
        });
        connect(gallery, &VideoGalleryViewModel::videoReplaced, this, [this](int row) {
            GalleryVideoItem* video = gallery_->videos().at(row);
            videos_[row] = video;
            watchItem(video);
            const QModelIndex changed = index(placeholderCount() + row);
            emit dataChanged(changed, changed);
        });
    }
    if (queue) {
        connect(queue, &QueueManager::tasksChanged, this, &VideoGalleryItemModel::rebuildPlaceholders);
        if (gallery)
            connect(gallery, &VideoGalleryViewModel::failedJobDismissed, this,
                    &VideoGalleryItemModel::rebuildPlaceholders);
        rebuildPlaceholders();
    }
}

void VideoGalleryItemModel::watchItem(GalleryVideoItem* item) {
    // Once per item, however often it comes back (a replaced row, a reset).
    disconnect(item, nullptr, this, nullptr);
    connect(item, &GalleryVideoItem::metadataChanged, this, [this, item] { itemChanged(item); });
    connect(item, &GalleryVideoItem::recordChanged, this, [this, item] { itemChanged(item); });
}

void VideoGalleryItemModel::itemChanged(GalleryVideoItem* item) {
    const int row = int(videos_.indexOf(item));
    if (row < 0)
        return;
    const QModelIndex changed = index(placeholderCount() + row);
    emit dataChanged(changed, changed);
}

void VideoGalleryItemModel::resetVideos() {
    beginResetModel();
    videos_.clear();
    for (GalleryVideoItem* video : gallery_->videos()) {
        videos_.append(video);
        watchItem(video);
    }
    endResetModel();
}

void VideoGalleryItemModel::rebuildPlaceholders() {
    QList<GenerationTask> jobs;
    for (const auto* list : {&queue_->activeVideoTasks(), &queue_->videoQueue()}) {
        for (const GenerationTask& task : *list) {
            if (task.type == GenerationTask::TaskType::video)
                jobs.append(task);
        }
    }
    // A failed job stays until the user removes it, in the row its placeholder had; one never shown before
    // comes after the jobs that still run or wait.
    QList<std::pair<qsizetype, GenerationTask>> failed;
    for (const GenerationTask& task : queue_->completedTasks()) {
        if (task.type != GenerationTask::TaskType::video || task.status != GenerationTaskStatus::failed ||
            (gallery_ && gallery_->isFailedJobDismissed(task.id)))
            continue;
        const auto shown = std::find(placeholders_.begin(), placeholders_.end(), task);
        const qsizetype row = shown == placeholders_.end() ? std::numeric_limits<qsizetype>::max()
                                                           : qsizetype(shown - placeholders_.begin());
        failed.append({row, task});
    }
    std::stable_sort(failed.begin(), failed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [row, task] : failed)
        jobs.insert(std::min(row, jobs.size()), task);
    const bool sameJobs = std::equal(jobs.begin(), jobs.end(), placeholders_.begin(), placeholders_.end(),
                                     [](const GenerationTask& a, const GenerationTask& b) { return a.id == b.id; });
    if (sameJobs) {
        placeholders_ = jobs;
        if (!jobs.isEmpty())
            emit dataChanged(index(0), index(int(jobs.size()) - 1));
        return;
    }
    if (!placeholders_.isEmpty()) {
        beginRemoveRows({}, 0, int(placeholders_.size()) - 1);
        placeholders_.clear();
        endRemoveRows();
    }
    if (!jobs.isEmpty()) {
        beginInsertRows({}, 0, int(jobs.size()) - 1);
        placeholders_ = jobs;
        endInsertRows();
    }
}

int VideoGalleryItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(placeholders_.size() + videos_.size());
}

VideoGalleryItem VideoGalleryItemModel::item(int row) const {
    if (row < placeholderCount())
        return VideoGalleryItem::placeholder(placeholders_.at(row));
    return VideoGalleryItem::video(videos_.value(row - placeholderCount()).data());
}

int VideoGalleryItemModel::rowOfId(const QUuid& id) const {
    for (int row = 0; row < rowCount(); ++row) {
        if (item(row).id() == id)
            return row;
    }
    return -1;
}

void VideoGalleryItemModel::ensureMetadata(int row) {
    if (row < placeholderCount() || row >= rowCount())
        return;
    if (GalleryVideoItem* video = videos_.at(row - placeholderCount()))
        video->ensureMetadata();
}

QVariant VideoGalleryItemModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const VideoGalleryItem cell = item(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cell.title();
    case Qt::DecorationRole:
        if (const GenerationTask* job = cell.task())
            return job->referenceImages.isEmpty() ? QVariant() : QVariant(job->referenceImages.first());
        if (const GalleryVideoItem* video = cell.videoItem())
            return video->thumbnail().isNull() ? QVariant() : QVariant(video->thumbnail());
        return {};
    case IdRole:
        return cell.id();
    case IsPlaceholderRole:
        return cell.isPlaceholder();
    case StatusTextRole:
        return cell.isPlaceholder() ? QVariant(cell.statusText()) : QVariant();
    case FileNameRole:
        if (const GalleryVideoItem* video = cell.videoItem())
            return video->fileName();
        return {};
    case VideoItemRole:
        return QVariant::fromValue<QObject*>(cell.videoItem());
    default:
        return {};
    }
}

QHash<int, QByteArray> VideoGalleryItemModel::roleNames() const {
    auto names = QAbstractListModel::roleNames();
    names.insert(IdRole, "id");
    names.insert(IsPlaceholderRole, "isPlaceholder");
    names.insert(StatusTextRole, "statusText");
    names.insert(FileNameRole, "fileName");
    names.insert(VideoItemRole, "videoItem");
    return names;
}
