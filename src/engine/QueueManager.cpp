#include "QueueManager.h"

#include "APIManager.h"
#include "MiniMaxAPIService.h"

namespace {
QueueManager*& currentQueue() {
    static QueueManager* queue = nullptr;
    return queue;
}
} // namespace

QueueManager::QueueManager(QObject* parent) : QObject(parent) {
    // The keys are copied once; an edited key reaches the queue at the next start.
    for (int slot = 1; slot <= 4; ++slot)
        videoServices_.append(new MiniMaxAPIService(APIManager::shared().miniMaxAPIKey(slot), slot, this));
    currentQueue() = this;
}

QueueManager::~QueueManager() {
    if (currentQueue() == this)
        currentQueue() = nullptr;
}

QueueManager* QueueManager::current() {
    return currentQueue();
}
