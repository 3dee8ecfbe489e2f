#include "BackgroundPool.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThread>

#include <sys/resource.h>

#include <vector>

namespace BackgroundPool {
namespace {

QMutex poolsLock;
std::vector<QThreadPool*> pools;

void finishAll() {
    std::vector<QThreadPool*> finishing;
    {
        const QMutexLocker lock(&poolsLock);
        finishing = pools;
    }
    for (QThreadPool* pool : finishing)
        pool->waitForDone();
}

} // namespace

QThreadPool& shared() {
    static QThreadPool* pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        finishBeforeTheApplicationGoes(*threads);
        return threads;
    }();
    return *pool;
}

void finishBeforeTheApplicationGoes(QThreadPool& pool) {
    const QMutexLocker lock(&poolsLock);
    // The application's destructor calls the routine while the object still stands.
    if (pools.empty())
        qAddPostRoutine(finishAll);
    pools.push_back(&pool);
}

void lowerThisThread() {
    thread_local const bool lowered = [] {
        // On Linux the nice value is per thread; raising it needs no privilege.
        const int now = getpriority(PRIO_PROCESS, 0);
        return setpriority(PRIO_PROCESS, 0, std::max(now, 10)) == 0;
    }();
    (void)lowered;
}

} // namespace BackgroundPool
