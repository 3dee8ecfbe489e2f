#pragma once

#include "GenerationTask.h"

#include <QList>
#include <QObject>

#include <memory>
#include <optional>

class MiniMaxAPIService;
class ModelContext;

// Runs the video jobs of the whole application on four clients, one per video key slot.
class QueueManager : public QObject {
    Q_OBJECT
public:
    explicit QueueManager(QObject* parent = nullptr);
    ~QueueManager() override;

    // The most recently created queue.
    static QueueManager* current();

    ModelContext* modelContext() const { return modelContext_; }
    void setModelContext(ModelContext* context) { modelContext_ = context; }

    const QList<MiniMaxAPIService*>& videoServices() const { return videoServices_; }
    const QList<GenerationTask>& videoQueue() const { return videoQueue_; }
    const QList<GenerationTask>& activeVideoTasks() const { return activeVideoTasks_; }
    const QList<GenerationTask>& completedTasks() const { return completedTasks_; }

signals:
    void tasksChanged();

private:
    QList<GenerationTask> videoQueue_;
    QList<GenerationTask> activeVideoTasks_;
    QList<GenerationTask> completedTasks_;
    ModelContext* modelContext_ = nullptr;
    QList<MiniMaxAPIService*> videoServices_;
};
