#pragma once

#include "WhenReady.h"

#include <QFuture>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>
#include <utility>

// Background work whose results only matter while they are the newest asked for: a picture scaled for the
// last size, the thumbnail of the item shown now. A result that comes back after a newer request, or after
// forget(), is dropped. The continuation runs on `context`'s thread, and not at all once `context` is gone.
class LatestResult {
public:
    template <class Work, class Done> void run(QObject* context, Work&& work, Done&& done) {
        watch(context, QtConcurrent::run(std::forward<Work>(work)), std::forward<Done>(done));
    }

    template <class T, class Done> void watch(QObject* context, QFuture<T> future, Done&& done) {
        const quint64 mine = ++*newest_;
        // Takes the result, or nothing for a future without one.
        whenReady(context, std::move(future),
                  [newest = newest_, mine, done = std::forward<Done>(done)](const auto&... result) mutable {
                      if (*newest == mine)
                          done(result...);
                  });
    }

    // Whatever is still running is no longer wanted.
    void forget() { ++*newest_; }

private:
    // Shared with the continuations, so that one arriving after this object is gone reads valid memory.
    std::shared_ptr<quint64> newest_ = std::make_shared<quint64>(0);
};
