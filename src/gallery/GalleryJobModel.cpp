#include "GalleryJobModel.h"

#include "QueueManager.h"
#include "VideoGalleryViewModel.h"

#include <QSet>

#include <algorithm>
#include <limits>

namespace {

qint64 pictureKey(const GenerationTask& task) {
    return task.referenceImages.isEmpty() ? 0 : task.referenceImages.first().cacheKey();
}

// What a card shows of a job that changed.
QList<int> changedRoles(const GenerationTask& was, const GenerationTask& is) {
    QList<int> roles;
    if (was.prompt != is.prompt)
        roles << Qt::DisplayRole;
    if (pictureKey(was) != pictureKey(is))
        roles << Qt::DecorationRole;
    if (was.status != is.status || was.error != is.error)
        roles << VideoGalleryItem::IsFailedJobRole << VideoGalleryItem::StatusTextRole
              << VideoGalleryItem::ErrorTextRole;
    if (was.prompt != is.prompt || was.quality != is.quality || was.model != is.model ||
        was.promptOptimization != is.promptOptimization || was.fastPretreatment != is.fastPretreatment)
        roles << VideoGalleryItem::OverlayRole;
    return roles;
}

} // namespace

GalleryJobModel::GalleryJobModel(QueueManager* queue, VideoGalleryViewModel* gallery, QObject* parent)
    : GalleryCellModel(parent), queue_(queue), gallery_(gallery) {
    if (!queue)
        return;
    connect(queue, &QueueManager::tasksChanged, this, &GalleryJobModel::followQueue);
    if (gallery)
        connect(gallery, &VideoGalleryViewModel::failedJobDismissed, this, &GalleryJobModel::followQueue);
    followQueue();
}

void GalleryJobModel::followQueue() {
    if (!queue_)
        return;
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
        const int shown = rowOfId(task.id);
        failed.append({shown < 0 ? std::numeric_limits<qsizetype>::max() : qsizetype(shown), task});
    }
    std::stable_sort(failed.begin(), failed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [row, task] : failed)
        jobs.insert(std::min(row, jobs.size()), task);
    setJobs(jobs);
}

void GalleryJobModel::setJobs(const QList<GenerationTask>& jobs) {
    QSet<QUuid> wanted;
    for (const GenerationTask& job : jobs)
        wanted.insert(job.id);
    // Rows whose job is gone, in runs from the bottom.
    for (int last = int(jobs_.size()) - 1; last >= 0;) {
        if (wanted.contains(jobs_[last].id)) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !wanted.contains(jobs_[first - 1].id))
            --first;
        beginRemoveRows({}, first, last);
        jobs_.remove(first, last - first + 1);
        endRemoveRows();
        last = first - 1;
    }
    // Then row by row: a job already here further down leaves its row and comes back in this one (the order of
    // jobs rarely changes, and a flat concatenation of lists cannot follow moves).
    for (int row = 0; row < jobs.size(); ++row) {
        const GenerationTask& job = jobs[row];
        if (row < jobs_.size() && jobs_[row].id == job.id) {
            const QList<int> roles = changedRoles(jobs_[row], job);
            jobs_[row] = job;
            if (!roles.isEmpty())
                emit dataChanged(index(row), index(row), roles);
            continue;
        }
        for (int later = row + 1; later < jobs_.size(); ++later) {
            if (jobs_[later].id == job.id) {
                beginRemoveRows({}, later, later);
                jobs_.removeAt(later);
                endRemoveRows();
                break;
            }
        }
        beginInsertRows({}, row, row);
        jobs_.insert(row, job);
        endInsertRows();
    }
    // Only a list that names a job twice leaves rows over.
    if (jobs_.size() > jobs.size()) {
        beginRemoveRows({}, int(jobs.size()), int(jobs_.size()) - 1);
        jobs_.resize(jobs.size());
        endRemoveRows();
    }
}
