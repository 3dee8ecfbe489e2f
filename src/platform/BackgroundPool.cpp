#include "BackgroundPool.h"

#include <QThread>

#include <sys/resource.h>

namespace BackgroundPool {

QThreadPool& shared() {
    static QThreadPool* pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        return threads;
    }();
    return *pool;
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
