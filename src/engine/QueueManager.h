#pragma once

#include "ClipFiler.h"
#include "GenerationTask.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <optional>

class MiniMaxAPIService;

// Runs the video jobs of the whole application: at most maxVideoQueueSize waiting or running, up to
// maxConcurrentVideoTasks at once, one on each of its clients (one per video key slot). Its filer files each finished
// clip into the video folder. Every change of the lists is announced by `tasksChanged()`.
class QueueManager : public QObject {
    Q_OBJECT
public:
    explicit QueueManager(QObject* parent = nullptr);
    ~QueueManager() override;

    // The most recently created queue; the option pushes reach its clients through it.
    static QueueManager* current();

    const QList<GenerationTask>& photoQueue() const { return photoQueue_; }
    const QList<GenerationTask>& videoQueue() const { return videoQueue_; }
    const std::optional<GenerationTask>& activePhotoTask() const { return activePhotoTask_; }
    const QList<GenerationTask>& activeVideoTasks() const { return activeVideoTasks_; }
    const QList<GenerationTask>& completedTasks() const { return completedTasks_; }

    static constexpr int maxConcurrentVideoTasks = 4;
    static constexpr int maxVideoQueueSize = 16;
    // The jobs that can wait while every client runs one; more waiting reads as a full queue.
    static constexpr int videoWaitingRoom = maxVideoQueueSize - maxConcurrentVideoTasks;
    // The queue's two limits, from its counts: what the queue enforces and what a studio shows read the same rules.
    static bool isVideoQueueFull(qsizetype active, qsizetype waiting) { return active + waiting >= maxVideoQueueSize; }
    static bool hasWaitingRoom(qsizetype waiting) { return waiting <= videoWaitingRoom; }
    bool isVideoQueueFull() const { return isVideoQueueFull(activeVideoTasks_.size(), videoQueue_.size()); }
    static constexpr int maxPhotoQueueSize = 1;
    const QList<MiniMaxAPIService*>& videoServices() const { return videoServices_; }

    void addVideoTask(const std::optional<QString>& prompt, const std::optional<QImage>& firstFrame,
                      const std::optional<QImage>& lastFrame, VideoQuality quality, VideoDuration duration);

    QString videoStatusText() const;
    QString photoStatusText() const;
    bool hasVideoWork() const;
    bool hasPhotoWork() const;
    // The prompts of the clips a quit now loses: those being made, then those waiting.
    QStringList promptsInFlight() const;

    // Starts a new image chat: drops the photo side and resets the shared image service.
    void clearPhotoSession();

    // The studio's option changes: the shared video service first, then each client of the current queue.
    static void applySelectedModel(VideoModel model);
    static void applyFastPretreatment(bool on);

    // Finished clips are filed by the queue's filer, which is handed the store.
    ClipFiler& filer() { return *filer_; }
    ModelContext* modelContext() const { return filer_->modelContext(); }
    void setModelContext(ModelContext* context) { filer_->setModelContext(context); }
    void saveVideoToFolder(const GenerationTask& task) { filer_->saveVideoToFolder(task); }
    QCoro::Task<> fileUnfiledClips() { return filer_->fileUnfiledClips(); }
    bool isFiling() const { return filer_->isFiling(); }
    // For the quit: no job starts any more, and the clips being filed are given up to `maxMs` to be in place (see
    // `ClipFiler::finishBeforeQuit`). True when all were filed.
    bool finishFilingBeforeQuit(int maxMs);

signals:
    void tasksChanged();

private:
    MiniMaxAPIService* selectAvailableVideoService() const;
    bool passesAllButSpacing(const MiniMaxAPIService* service) const;
    void startVideoTask(const GenerationTask& task, MiniMaxAPIService* service);
    QCoro::Task<> runVideoTask(GenerationTask task, QPointer<MiniMaxAPIService> service);
    QCoro::Task<> monitorVideoTask(QUuid taskId, QPointer<MiniMaxAPIService> service);
    void handleVideoServiceUpdate(const QUuid& taskId, MiniMaxAPIService* service);
    void completeTask(const QUuid& id, GenerationTask::TaskType type, const GenerationResult& result);
    void failTask(const QUuid& id, GenerationTask::TaskType type, const QString& error);
    void finishVideoTask(const QUuid& id, const std::optional<GenerationResult>& result,
                         const std::optional<QString>& error);
    void processVideoQueue();
    void updateTaskStatus(int index, GenerationTask::TaskType type, GenerationTaskStatus status);
    // When jobs wait only because a client's request spacing has not passed yet, look again when it has.
    void scheduleSpacingRecheck();
    QCoro::Task<> recheckAfter(double seconds, quint64 token);

    QList<GenerationTask> photoQueue_;
    QList<GenerationTask> videoQueue_;
    std::optional<GenerationTask> activePhotoTask_;
    QList<GenerationTask> activeVideoTasks_;
    QList<GenerationTask> completedTasks_;
    QList<MiniMaxAPIService*> videoServices_;
    // A client belongs to the job it was handed from that moment until the job has ended.
    QHash<const MiniMaxAPIService*, QUuid> reservations_;
    quint64 recheckToken_ = 0;
    bool quitting_ = false;
    ClipFiler* const filer_;
};
