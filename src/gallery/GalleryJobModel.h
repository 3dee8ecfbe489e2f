#pragma once

#include "GalleryCellModel.h"
#include "GenerationTask.h"

#include <QList>
#include <QPointer>

class QueueManager;
class VideoGalleryViewModel;

// The queue's video jobs as the gallery shows them, one row each: the running ones, then the waiting ones,
// with a failed job in its row until the user removes it (the gallery model remembers which were removed).
class GalleryJobModel final : public GalleryCellModel {
    Q_OBJECT
public:
    // Without a queue the list stays as setJobs() leaves it.
    explicit GalleryJobModel(QueueManager* queue = nullptr, VideoGalleryViewModel* gallery = nullptr,
                             QObject* parent = nullptr);

    // Brings the rows to `jobs` one change at a time: rows whose job is gone are removed, new jobs inserted,
    // and a job that stays tells what changed about it through dataChanged() with those roles.
    void setJobs(const QList<GenerationTask>& jobs);

private:
    int cellCount() const override { return int(jobs_.size()); }
    VideoGalleryItem cellAt(int row) const override { return VideoGalleryItem::placeholder(jobs_.at(row)); }
    void followQueue();

    QPointer<QueueManager> queue_;
    QPointer<VideoGalleryViewModel> gallery_;
    QList<GenerationTask> jobs_;
};
