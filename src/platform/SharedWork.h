#pragma once

#include <QList>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// Items of one job done by a few helpers on a pool and by the thread that waits for it, whoever comes first: the
// job ends soon even when the helpers get no processor for a while. The waiting thread takes every item nobody has
// started and then waits only for items another thread is running, never for work still queued, so it may itself
// be a thread of that pool: a full pool cannot hold it up. Helpers that start after the end find nothing to do.
template <class Result> class SharedWork : public std::enable_shared_from_this<SharedWork<Result>> {
public:
    explicit SharedWork(int count) : results_(size_t(std::max(0, count))) {}

    // `helpers` is how many of the pool's threads are asked to help: by default one fewer than the items, since the
    // waiting thread takes items too.
    template <class Work> void start(QThreadPool& pool, Work work, int helpers = -1) {
        work_ = std::move(work);
        const int wanted = helpers < 0 ? int(results_.size()) - 1 : helpers;
        const int count = std::min({pool.maxThreadCount(), int(results_.size()), wanted});
        for (int i = 0; i < count; ++i)
            pool.start([self = this->shared_from_this()] { self->takeItems(); });
    }

    // Takes the items nobody has started, then waits for those still in hand.
    QList<Result> finish() {
        takeItems();
        if (done_.load() < int(results_.size()))
            allDone_.acquire();
        return QList<Result>(results_.begin(), results_.end());
    }

private:
    void takeItems() {
        for (int i = next_++; i < int(results_.size()); i = next_++) {
            results_[size_t(i)] = work_(i);
            if (++done_ == int(results_.size()))
                allDone_.release();
        }
    }

    std::vector<Result> results_;
    std::function<Result(int)> work_;
    std::atomic<int> next_{0};
    std::atomic<int> done_{0};
    QSemaphore allDone_;
};
