#pragma once

#include <QFuture>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

namespace PoolWork {

// Waits until `future` is finished without taking its result; the caller takes it with takeResult(). QCoro's own
// waitForFinished() hands back a copy of the result on the waiting thread, and for an answer that holds tens of
// megabytes that copy alone holds up the event loop.
template <typename T> QCoro::Task<> finished(QFuture<T> future) {
    co_await qCoro(QFuture<void>(future)).waitForFinished();
}

} // namespace PoolWork
