#include "DeferredWidget.h"
#include "FirstPaint.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {
// Notes whether `window` had painted when each event reached a widget of it.
class PaintLog : public QObject {
public:
    explicit PaintLog(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~PaintLog() override { qApp->removeEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window_)
            ++paints;
        return false;
    }

private:
    QWidget* window_;
};
} // namespace

// Work the first screen does not need waits for the window's first picture; a deferred widget is built then, or
// when it is first shown.
class FirstPaintTest : public QObject {
    Q_OBJECT
private slots:
    void workWaitsForTheFirstPaintAndRunsInOrder() {
        QWidget window;
        window.resize(200, 100);
        PaintLog log(&window);
        FirstPaint& watch = FirstPaint::of(&window);
        QCOMPARE(&FirstPaint::of(&window), &watch);
        QSignalSpy painted(&watch, &FirstPaint::painted);
        QStringList order;
        QList<int> paintsSeen;
        watch.then(&window, [&] {
            order << "first";
            paintsSeen << log.paints;
        });
        auto* gone = new QObject;
        watch.then(gone, [&] { order << "never"; });
        delete gone;
        watch.then(&window, [&] { order << "second"; });

        QTest::qWait(50);
        QVERIFY(order.isEmpty()); // not shown, not painted
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(order, (QStringList{"first", "second"}));
        QCOMPARE(painted.count(), 1);
        QVERIFY(watch.hasPainted());
        QCOMPARE(paintsSeen.size(), 1);
        QVERIFY(paintsSeen.first() > 0);

        // Once painted, work runs on the next turn of the event loop, not inside the caller.
        watch.then(&window, [&] { order << "later"; });
        QCOMPARE(order.size(), 2);
        QTRY_COMPARE(order.last(), QStringLiteral("later"));
        window.update();
        QTest::qWait(20);
        QCOMPARE(painted.count(), 1);
    }

    void aDeferredWidgetIsBuiltOnceWhenAskedOrShown() {
        QWidget window;
        window.resize(300, 200);
        int built = 0;
        auto* deferred = new DeferredWidget(
            [&](QWidget* parent) {
                ++built;
                auto* content = new QWidget(parent);
                content->setFocusPolicy(Qt::StrongFocus);
                return content;
            },
            &window);
        deferred->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(built, 0);
        QVERIFY(!deferred->content());

        // Asked while hidden: built, still hidden.
        deferred->build();
        deferred->build();
        QCOMPARE(built, 1);
        QVERIFY(deferred->content());
        QVERIFY(!deferred->content()->isVisible());

        deferred->setGeometry(10, 10, 200, 120);
        deferred->show();
        QVERIFY(deferred->content()->isVisible());
        QTRY_COMPARE(deferred->content()->geometry(), deferred->rect());
        deferred->setFocus();
        QCOMPARE(QApplication::focusWidget(), deferred->content());
        QCOMPARE(built, 1);
    }

    void aDeferredWidgetShownFirstIsBuiltWithItsFirstPicture() {
        QWidget window;
        window.resize(300, 200);
        int built = 0;
        auto* deferred = new DeferredWidget(
            [&](QWidget* parent) {
                ++built;
                return new QLineEdit(parent);
            },
            &window);
        deferred->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        deferred->show();
        // Built inside show(): the content is on screen with the host, not a turn of the event loop later.
        QCOMPARE(built, 1);
        QVERIFY(deferred->content()->isVisible());
        QPointer<QWidget> content = deferred->content();
        delete deferred;
        QVERIFY(!content);
    }
};

QTEST_MAIN(FirstPaintTest)
#include "tst_first_paint.moc"
