#pragma once

#include <QObject>
#include <QPointer>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <type_traits>
#include <utility>

// Background work that belongs to an object. A QCoro task starts at once and, once its handle is dropped, runs on
// to its end; while the operation it waits on still holds it, it cannot be ended from outside (that operation would
// later resume a freed coroutine). So no task is dropped: it is handed to the object it works for, and it keeps to
// two rules that end it with that object:
// - each of its waits ends with the owner (Clock::sleep(seconds, owner), a reply aborted on the owner's
//   `destroyed`) or on its own (work on the thread pool);
// - after each wait it checks a QPointer to the owner and ends, touching nothing, when the owner is gone.
// `own` ties the task to the owner: `done` gets what the task yields only while the owner lives.
namespace TaskOwner {

namespace detail {
inline std::atomic<int>& running() {
    static std::atomic<int> count{0};
    return count;
}

// Counts the task from its start to its end, an exception included.
struct Running {
    Running() { ++running(); }
    ~Running() { --running(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
};

template <class T, class Done> QCoro::Task<> follow(QPointer<QObject> owner, QCoro::Task<T> task, Done done) {
    const Running running;
    if constexpr (std::is_void_v<T>) {
        co_await task;
        if (owner)
            done();
    } else {
        auto value = co_await task;
        if (owner)
            done(std::move(value));
    }
}
} // namespace detail

// `task` runs on as `owner`'s work; `done` (with the task's value, if it has one) runs only if `owner` is still
// there when the task ends. The follower holds nothing of the owner but a QPointer.
template <class T, class Done> void own(QObject* owner, QCoro::Task<T>&& task, Done done) {
    // Dropped on purpose: it ends when the task does, and touches only its own frame.
    [[maybe_unused]] auto follower = detail::follow(QPointer<QObject>(owner), std::move(task), std::move(done));
}

template <class T> void own(QObject* owner, QCoro::Task<T>&& task) {
    own(owner, std::move(task), [](auto&&...) {});
}

// Tasks handed to an owner that have not ended yet. Once the owners are gone and the work they had on the thread
// pool has come back, none is left.
inline int running() {
    return detail::running().load();
}

} // namespace TaskOwner
