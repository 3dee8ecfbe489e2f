#pragma once

#include "GenerationTask.h"
#include "ModelContext.h"

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <memory>
#include <optional>

class MiniMaxAPIService;
class QEventLoop;

// Runs the video jobs of the whole application: at most maxVideoQueueSize waiting or running, up to
// maxConcurrentVideoTasks at once, one on each of its clients (one per video key slot). Each finished clip is filed
// into the video folder. Every change of the lists is announced by `tasksChanged()`.
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

    ModelContext* modelContext() const { return modelContext_; }
    void setModelContext(ModelContext* context) { modelContext_ = context; }

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

    // Filing of a finished clip: copy into the video folder, record, completion sound.
    void saveVideoToFolder(const GenerationTask& task);
    static QString makeVideoFileName(const QString& prompt);
    QCoro::Task<> saveVideoMetadata(GenerationTask task, QString fileName);
    static std::optional<QByteArray> jpegData(const QImage& image);
    // Moves the clips kept in Orvane's Unfiled folder (because the video folder could not take them) into the
    // video folder, and clips waiting among the downloads (no folder had room) into it or into Unfiled; a clip
    // that has to take another name takes its record along. A clip that cannot be moved is passed over.
    QCoro::Task<> fileUnfiledClips();
    // Tests: each copy into `folder` fails after its first block with `error`, as on a full disk. An empty
    // folder ends it.
    static void failCopiesIntoForTesting(const QString& folder, const QString& error);
    // Tests: each copy into `folder` waits after its first block until the hold ends (an empty folder).
    static void holdCopiesIntoForTesting(const QString& folder);

    // Whether finished clips are being filed (copied, kept, recorded) right now.
    bool isFiling() const { return filingsInFlight_ > 0; }
    // For the quit: runs the event loop until the clips being filed are in place with their records, for at most
    // `maxMs` (and a moment for a clip that has just taken its name); no job starts meanwhile. A copy still going
    // then stops short of its name: its download waits under the clip's name with its record saved, and the next
    // start files it. With `maxMs` 0 nothing is waited for (no event loop runs). True when all were filed.
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
    // `folder` is none when the chosen folder cannot be used; `problem` then says why.
    QCoro::Task<> fileVideo(GenerationTask task, std::optional<QString> folder, QString fileName, QString problem);
    // The record of a clip filed as `fileName`; renamed to it when the quit saved it already.
    QCoro::Task<> recordFiledClip(quint64 filing, GenerationTask task, QString fileName);
    // For the copies the quit leaves: each download under its clip's name where the next start files it, with its
    // record saved.
    void keepCopiesLeftByTheQuit();
    void renameClipRecord(const QString& from, const QString& to);
    bool waitForFilings(int maxMs);

    QList<GenerationTask> photoQueue_;
    QList<GenerationTask> videoQueue_;
    std::optional<GenerationTask> activePhotoTask_;
    QList<GenerationTask> activeVideoTasks_;
    QList<GenerationTask> completedTasks_;
    QPointer<ModelContext> modelContext_;
    QList<MiniMaxAPIService*> videoServices_;
    // A client belongs to the job it was handed from that moment until the job has ended.
    QHash<const MiniMaxAPIService*, QUuid> reservations_;
    quint64 recheckToken_ = 0;
    // Stems of clip names being put into Unfiled whose records are not written yet: not moved on meanwhile.
    QSet<QString> unfiledInFlight_;
    // Kept clips found unreadable this run: the user is told once about each.
    QSet<QString> unreadableNoticed_;
    // Downloads older than this come from an earlier run; filing may take them.
    QDateTime startedAt_ = QDateTime::currentDateTimeUtc();
    bool refiling_ = false;
    bool cutOffCopiesRemoved_ = false;
    bool refileAgain_ = false;
    int filingsInFlight_ = 0;
    // The filings under way, by number.
    struct Filing {
        GenerationTask task;
        QString source;          // where the clip lies now
        QString name;            // the name it is to have
        bool copying = false;    // being copied into the video folder
        bool keptByQuit = false; // moved and recorded by the quit under `name`
    };
    QHash<quint64, Filing> filings_;
    quint64 lastFiling_ = 0;
    // The quit's wait, ended by the last filing.
    QEventLoop* filingsDone_ = nullptr;
    bool quitting_ = false;
    // Set when the quit stops waiting; read by the copies on worker threads, which may outlive the queue.
    std::shared_ptr<std::atomic<bool>> copiesAbandoned_ = std::make_shared<std::atomic<bool>>(false);
};
