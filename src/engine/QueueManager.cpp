#include "QueueManager.h"

#include "APIManager.h"
#include "Clock.h"
#include "MiniMaxAPIService.h"
#include "OrvaneAPIService.h"
#include "TaskOwner.h"

#include <algorithm>
#include <array>

namespace {

QueueManager*& currentQueue() {
    static QueueManager* queue = nullptr;
    return queue;
}

// Milliseconds the client still has to wait before its next generation request; 0 when it may send now.
// Measured on monotonic time, so a wall-clock step never holds the queue.
qint64 spacingRemainingMs(const MiniMaxAPIService* service) {
    return service->requestSpacingRemainingMs();
}

int indexOfTask(const QList<GenerationTask>& tasks, const QUuid& id) {
    for (int i = 0; i < tasks.size(); ++i) {
        if (tasks[i].id == id)
            return i;
    }
    return -1;
}

} // namespace

QueueManager::QueueManager(QObject* parent) : QObject(parent), filer_(new ClipFiler(this)) {
    for (int slot = 1; slot <= 4; ++slot)
        videoServices_.append(new MiniMaxAPIService(APIManager::shared().miniMaxAPIKey(slot), slot, this));
    // A key typed in the settings reaches its client at once: without it a first session could not use
    // the keys it was given until the next start, and tasks would wait for ever.
    APIManager& keys = APIManager::shared();
    const std::array<void (APIManager::*)(), 4> changed = {
        &APIManager::miniMaxAPIKeyChanged, &APIManager::miniMaxAPIKey2Changed, &APIManager::miniMaxAPIKey3Changed,
        &APIManager::miniMaxAPIKey4Changed};
    for (int slot = 1; slot <= 4; ++slot) {
        connect(&keys, changed[slot - 1], this, [this, slot] {
            videoServices_[slot - 1]->setApiKey(APIManager::shared().miniMaxAPIKey(slot));
            processVideoQueue();
        });
    }
    currentQueue() = this;
}

QueueManager::~QueueManager() {
    if (currentQueue() == this)
        currentQueue() = nullptr;
}

QueueManager* QueueManager::current() {
    return currentQueue();
}

void QueueManager::addVideoTask(const std::optional<QString>& prompt, const std::optional<QImage>& firstFrame,
                                const std::optional<QImage>& lastFrame, VideoQuality quality, VideoDuration duration) {
    GenerationTask task;
    task.type = GenerationTask::TaskType::video;
    task.prompt = prompt.value_or(QString());
    if (firstFrame && !firstFrame->isNull())
        task.referenceImages.append(*firstFrame);
    if (lastFrame && !lastFrame->isNull())
        task.referenceImages.append(*lastFrame);
    const MiniMaxAPIService& shared = MiniMaxAPIService::shared();
    task.promptOptimization = shared.enablePromptOptimization();
    task.model = shared.selectedModel();
    task.fastPretreatment = shared.fastPretreatment();
    task.quality = quality;
    task.duration = duration;
    task.createdAt = Clock::current().now();

    if (isVideoQueueFull())
        return;
    if (activeVideoTasks_.size() < maxConcurrentVideoTasks) {
        if (MiniMaxAPIService* service = selectAvailableVideoService()) {
            activeVideoTasks_.append(task);
            emit tasksChanged();
            startVideoTask(task, service);
            return;
        }
    }
    videoQueue_.append(task);
    emit tasksChanged();
    scheduleSpacingRecheck();
}

bool QueueManager::passesAllButSpacing(const MiniMaxAPIService* service) const {
    // A client whose key the service turned away stays out; any other failure does not retire it.
    return !reservations_.contains(service) && !service->isLoading() && !service->apiKey().trimmed().isEmpty() &&
           !service->keyRejected();
}

MiniMaxAPIService* QueueManager::selectAvailableVideoService() const {
    for (MiniMaxAPIService* service : videoServices_) {
        if (passesAllButSpacing(service) && spacingRemainingMs(service) == 0)
            return service;
    }
    return nullptr;
}

void QueueManager::startVideoTask(const GenerationTask& task, MiniMaxAPIService* service) {
    const int index = indexOfTask(activeVideoTasks_, task.id);
    if (index < 0)
        return;
    if (!task.quality || !task.duration)
        return;
    reservations_.insert(service, task.id);
    updateTaskStatus(index, GenerationTask::TaskType::video, GenerationTaskStatus::active);
    if (task.promptOptimization)
        service->setEnablePromptOptimization(*task.promptOptimization);
    TaskOwner::own(this, runVideoTask(activeVideoTasks_[index], service));
}

QCoro::Task<> QueueManager::runVideoTask(GenerationTask task, QPointer<MiniMaxAPIService> service) {
    QPointer<QueueManager> self(this);
    const std::optional<QString> prompt = task.prompt.isEmpty() ? std::nullopt : std::optional<QString>(task.prompt);
    const std::optional<QImage> firstFrame =
        task.referenceImages.size() > 0 ? std::optional<QImage>(task.referenceImages[0]) : std::nullopt;
    const std::optional<QImage> lastFrame =
        task.referenceImages.size() > 1 ? std::optional<QImage>(task.referenceImages[1]) : std::nullopt;
    co_await service->generateVideo(prompt, firstFrame, lastFrame, *task.quality, *task.duration);
    if (!self)
        co_return;
    co_await monitorVideoTask(task.id, service);
}

QCoro::Task<> QueueManager::monitorVideoTask(QUuid taskId, QPointer<MiniMaxAPIService> service) {
    QPointer<QueueManager> self(this);
    for (;;) {
        // The waits end with the queue, so no job's task outlives it.
        co_await Clock::current().sleep(1.0, this);
        if (!self)
            co_return;
        // A client that went away mid-job published nothing more: the job has ended without a result.
        if (!service) {
            failTask(taskId, GenerationTask::TaskType::video, QStringLiteral("Generation completed without result"));
            co_return;
        }
        handleVideoServiceUpdate(taskId, service);
        if (indexOfTask(activeVideoTasks_, taskId) < 0)
            co_return;
    }
}

void QueueManager::handleVideoServiceUpdate(const QUuid& taskId, MiniMaxAPIService* service) {
    if (const auto url = service->generatedVideoURL())
        completeTask(taskId, GenerationTask::TaskType::video, GenerationResult::video(*url));
    else if (const auto error = service->errorMessage())
        failTask(taskId, GenerationTask::TaskType::video, *error);
    else if (!service->isLoading())
        failTask(taskId, GenerationTask::TaskType::video, QStringLiteral("Generation completed without result"));
}

void QueueManager::completeTask(const QUuid& id, GenerationTask::TaskType type, const GenerationResult& result) {
    if (type == GenerationTask::TaskType::video)
        finishVideoTask(id, result, std::nullopt);
}

void QueueManager::failTask(const QUuid& id, GenerationTask::TaskType type, const QString& error) {
    if (type == GenerationTask::TaskType::video)
        finishVideoTask(id, std::nullopt, error);
}

void QueueManager::finishVideoTask(const QUuid& id, const std::optional<GenerationResult>& result,
                                   const std::optional<QString>& error) {
    const int index = indexOfTask(activeVideoTasks_, id);
    if (index < 0)
        return;
    GenerationTask finished = activeVideoTasks_[index];
    if (result) {
        finished.status = GenerationTaskStatus::completed;
        finished.progress = 1.0;
        finished.result = result;
    } else {
        finished.status = GenerationTaskStatus::failed;
        finished.error = error;
    }
    completedTasks_.append(finished);
    activeVideoTasks_.removeAt(index);
    for (auto it = reservations_.begin(); it != reservations_.end();) {
        it = it.value() == id ? reservations_.erase(it) : std::next(it);
    }
    emit tasksChanged();
    if (result)
        saveVideoToFolder(finished);
    processVideoQueue();
}

bool QueueManager::finishFilingBeforeQuit(int maxMs) {
    quitting_ = true;
    return filer_->finishBeforeQuit(maxMs);
}

void QueueManager::processVideoQueue() {
    // A job started while the quit waits for filings would be paid for and lost.
    if (quitting_)
        return;
    while (!videoQueue_.isEmpty() && activeVideoTasks_.size() < maxConcurrentVideoTasks) {
        MiniMaxAPIService* service = selectAvailableVideoService();
        if (!service)
            break;
        const GenerationTask task = videoQueue_.takeFirst();
        activeVideoTasks_.append(task);
        emit tasksChanged();
        startVideoTask(task, service);
    }
    scheduleSpacingRecheck();
}

void QueueManager::scheduleSpacingRecheck() {
    if (videoQueue_.isEmpty() || activeVideoTasks_.size() >= maxConcurrentVideoTasks)
        return;
    qint64 soonestMs = -1;
    for (const MiniMaxAPIService* service : videoServices_) {
        if (!passesAllButSpacing(service))
            continue;
        const qint64 remaining = spacingRemainingMs(service);
        if (remaining > 0 && (soonestMs < 0 || remaining < soonestMs))
            soonestMs = remaining;
    }
    if (soonestMs > 0)
        TaskOwner::own(this, recheckAfter(double(soonestMs) / 1000.0, ++recheckToken_));
}

QCoro::Task<> QueueManager::recheckAfter(double seconds, quint64 token) {
    QPointer<QueueManager> self(this);
    co_await Clock::current().sleep(seconds, this);
    if (self && token == recheckToken_)
        processVideoQueue();
}

void QueueManager::updateTaskStatus(int index, GenerationTask::TaskType type, GenerationTaskStatus status) {
    if (type != GenerationTask::TaskType::video || index < 0 || index >= activeVideoTasks_.size())
        return;
    activeVideoTasks_[index].status = status;
    emit tasksChanged();
}

QString QueueManager::videoStatusText() const {
    const qsizetype active = activeVideoTasks_.size();
    const qsizetype queued = videoQueue_.size();
    if (active == 0 && queued == 0)
        return QStringLiteral("Ready");
    if (queued == 0)
        return QStringLiteral("%1/%2 generating").arg(active).arg(maxConcurrentVideoTasks);
    if (!hasWaitingRoom(queued))
        return QStringLiteral("%1 active, queue full").arg(active);
    if (active > 0)
        return QStringLiteral("%1 active, %2 queued").arg(active).arg(queued);
    return QStringLiteral("%1 in queue").arg(queued);
}

QString QueueManager::photoStatusText() const {
    if (activePhotoTask_)
        return QStringLiteral("Generating");
    if (photoQueue_.isEmpty())
        return QStringLiteral("Ready");
    return QStringLiteral("%1 in queue").arg(photoQueue_.size());
}

bool QueueManager::hasVideoWork() const {
    return !activeVideoTasks_.isEmpty() || !videoQueue_.isEmpty();
}

QStringList QueueManager::promptsInFlight() const {
    QStringList prompts;
    for (const GenerationTask& task : activeVideoTasks_)
        prompts << task.prompt;
    for (const GenerationTask& task : videoQueue_)
        prompts << task.prompt;
    return prompts;
}

bool QueueManager::hasPhotoWork() const {
    return activePhotoTask_.has_value() || !photoQueue_.isEmpty();
}

void QueueManager::clearPhotoSession() {
    photoQueue_.clear();
    activePhotoTask_.reset();
    completedTasks_.removeIf([](const GenerationTask& task) { return task.type == GenerationTask::TaskType::photo; });
    emit tasksChanged();
    OrvaneAPIService::shared().resetSession();
}

void QueueManager::applySelectedModel(VideoModel model) {
    MiniMaxAPIService::shared().setSelectedModel(model);
    if (QueueManager* queue = current()) {
        for (MiniMaxAPIService* service : queue->videoServices_)
            service->setSelectedModel(model);
    }
}

void QueueManager::applyFastPretreatment(bool on) {
    MiniMaxAPIService::shared().setFastPretreatment(on);
    if (QueueManager* queue = current()) {
        for (MiniMaxAPIService* service : queue->videoServices_)
            service->setFastPretreatment(on);
    }
}
