#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>
#include <utility>

// Long decoding work (pictures arriving, references added) on a pool of its own, apart from Qt's global pool:
// Qt hands slices of large fills and image conversions from the GUI thread to the global pool and waits for
// them, so a paint would wait behind a decode there. Its threads take every core but run at a lower priority
// than the GUI thread, so the window keeps painting while they work.
namespace BackgroundPool {

QThreadPool& shared();
// Lowers the calling thread's priority below the GUI thread's (once per thread).
void lowerThisThread();

template <class Work> auto run(Work work) -> QFuture<std::invoke_result_t<Work>> {
    return QtConcurrent::run(&shared(), [work = std::move(work)]() mutable {
        lowerThisThread();
        return work();
    });
}

} // namespace BackgroundPool
