#include "FirstPaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

FirstPaint& FirstPaint::of(QWidget* window) {
    Q_ASSERT(window && window->isWindow());
    if (auto* watch = window->findChild<FirstPaint*>(QString(), Qt::FindDirectChildrenOnly))
        return *watch;
    return *new FirstPaint(window);
}

FirstPaint::FirstPaint(QWidget* window) : QObject(window), window_(window) {
    // Any widget of the window may be the first to paint (an opaque child covers its parents), so the paint
    // events of all of them are looked at, until the first one.
    QCoreApplication::instance()->installEventFilter(this);
}

bool FirstPaint::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint || seen_ || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != window_)
        return false;
    seen_ = true;
    QCoreApplication::instance()->removeEventFilter(this);
    // Posted: the rest of the window paints and goes to the screen within this same event.
    QMetaObject::invokeMethod(this, &FirstPaint::finish, Qt::QueuedConnection);
    return false;
}

void FirstPaint::finish() {
    paintedAt_ = std::chrono::steady_clock::now();
    painted_ = true;
    emit painted();
}

void FirstPaint::then(QObject* context, std::function<void()> work) {
    if (painted_) {
        QTimer::singleShot(0, context, std::move(work));
        return;
    }
    connect(this, &FirstPaint::painted, context, std::move(work), Qt::SingleShotConnection);
}

void FirstPaint::reportIfRequested(QWidget* window) {
    if (!qEnvironmentVariableIsSet("ORVANE_REPORT_FIRST_PAINT"))
        return;
    FirstPaint& watch = FirstPaint::of(window);
    // The moment is the one the paint was seen: work handed in earlier runs before this line is printed.
    watch.then(window, [&watch] {
        const auto at = std::chrono::duration_cast<std::chrono::nanoseconds>(watch.paintedAt_.time_since_epoch());
        std::printf("first-paint %lld\n", static_cast<long long>(at.count()));
        std::fflush(stdout);
    });
}
