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
// Has `pool` finish its work when the application object goes, while it still stands: a result delivered later
// would be handed to an object already gone (Qt 6.4's QFuture::then stops a debug build on that). Qt does the same
// for its global pool.
void finishBeforeTheApplicationGoes(QThreadPool& pool);

template <class Work> auto run(Work work) -> QFuture<std::invoke_result_t<Work>> {
    return QtConcurrent::run(&shared(), [work = std::move(work)]() mutable {
        lowerThisThread();
        return work();
    });
}

} // namespace BackgroundPool
