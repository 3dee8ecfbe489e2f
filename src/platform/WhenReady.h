#pragma once

#include <QCoreApplication>
#include <QFuture>
#include <QObject>
#include <QPointer>

#include <type_traits>
#include <utility>

// Runs `done` with the future's result on `context`'s thread once it is ready, and not at all once `context` is
// gone. QFuture::then(context, …) of Qt 6.4 reads its context unguarded when the future finishes (a debug build
// stops on an assertion when the view went first), so the continuation rides on the application object, which
// outlives every view, and checks the context itself.
template <class T, class Done> void whenReady(QObject* context, QFuture<T> future, Done&& done) {
    QObject* carrier = context;
    if (auto* app = QCoreApplication::instance(); app && app->thread() == context->thread())
        carrier = app;
    QPointer<QObject> guard(context);
    if constexpr (std::is_void_v<T>) {
        future.then(carrier, [guard, done = std::forward<Done>(done)]() mutable {
            if (guard)
                done();
        });
    } else {
        future.then(carrier, [guard, done = std::forward<Done>(done)](const T& value) mutable {
            if (guard)
                done(value);
        });
    }
}
