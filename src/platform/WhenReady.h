#pragma once

#include <QCoreApplication>
#include <QFuture>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <memory>
#include <type_traits>
#include <utility>

// Runs `done` with the future's result on `context`'s thread once it is ready, and not at all once `context` is
// gone. QFuture::then(context, …) of Qt 6.4 reads its context unguarded when the future finishes (a debug build
// stops on an assertion when the view went first), so the continuation rides on the application object, which
// outlives every view, and checks the context itself. `done` never runs inside this call: a future already finished
// calls its continuation at once, and the caller may still be setting up what `done` reads.
template <class T, class Done> void whenReady(QObject* context, QFuture<T> future, Done&& done) {
    QObject* carrier = context;
    if (auto* app = QCoreApplication::instance(); app && app->thread() == context->thread())
        carrier = app;
    QPointer<QObject> guard(context);
    auto attaching = std::make_shared<bool>(true);
    auto deliver = [carrier, guard, attaching](auto&& call) {
        if (!*attaching) {
            if (guard)
                call();
            return;
        }
        QMetaObject::invokeMethod(
            carrier,
            [guard, call = std::forward<decltype(call)>(call)]() mutable {
                if (guard)
                    call();
            },
            Qt::QueuedConnection);
    };
    if constexpr (std::is_void_v<T>) {
        future.then(carrier, [deliver, done = std::forward<Done>(done)]() mutable { deliver(std::move(done)); });
    } else {
        future.then(carrier, [deliver, done = std::forward<Done>(done)](const T& value) mutable {
            deliver([done = std::move(done), value]() mutable { done(value); });
        });
    }
    *attaching = false;
}
