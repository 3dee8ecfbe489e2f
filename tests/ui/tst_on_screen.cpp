#include "OnScreen.h"
#include "Spinner.h"

#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <functional>

// Whether a widget can be seen, as the windowing system of the tests (offscreen) tells it: shown, in a window
// shown and not minimised. Unmapping is tested on a real X server (tst_on_screen_xcb).
class OnScreenTests : public QObject {
    Q_OBJECT
private slots:
    void theWatcherFollowsWhatHidesTheWidget() {
        struct Case {
            const char* name;
            std::function<void(QWidget& window, QWidget& panel, QWidget& widget)> away;
            std::function<void(QWidget& window, QWidget& panel, QWidget& widget)> back;
        };
        const QList<Case> cases{
            {"the widget hides", [](QWidget&, QWidget&, QWidget& w) { w.hide(); },
             [](QWidget&, QWidget&, QWidget& w) { w.show(); }},
            {"a parent hides (another studio shown)", [](QWidget&, QWidget& p, QWidget&) { p.hide(); },
             [](QWidget&, QWidget& p, QWidget&) { p.show(); }},
            {"the window hides", [](QWidget& win, QWidget&, QWidget&) { win.hide(); },
             [](QWidget& win, QWidget&, QWidget&) { win.show(); }},
            {"the window is minimised", [](QWidget& win, QWidget&, QWidget&) { win.showMinimized(); },
             [](QWidget& win, QWidget&, QWidget&) { win.showNormal(); }},
        };
        for (const Case& c : cases) {
            QWidget window;
            auto* layout = new QVBoxLayout(&window);
            auto* panel = new QWidget(&window);
            layout->addWidget(panel);
            auto* widget = new QWidget(panel);
            OnScreenWatcher watcher(widget);
            QVERIFY2(!watcher.isOnScreen(), c.name);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY2(watcher.isOnScreen(), c.name);

            QSignalSpy changes(&watcher, &OnScreenWatcher::onScreenChanged);
            c.away(window, *panel, *widget);
            QTRY_VERIFY2(!watcher.isOnScreen(), c.name);
            QVERIFY2(!OnScreenWatcher::isOnScreen(widget), c.name);
            QCOMPARE(changes.size(), 1);
            QCOMPARE(changes.last().first().toBool(), false);

            c.back(window, *panel, *widget);
            QTRY_VERIFY2(watcher.isOnScreen(), c.name);
            QVERIFY2(OnScreenWatcher::isOnScreen(widget), c.name);
            QCOMPARE(changes.size(), 2);
            QCOMPARE(changes.last().first().toBool(), true);
        }
    }

    // Moved into another window, the widget follows that window.
    void theWatcherFollowsTheWidgetToAnotherWindow() {
        QWidget first;
        QWidget second;
        auto* widget = new QWidget(&first);
        OnScreenWatcher watcher(widget);
        first.show();
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QVERIFY(QTest::qWaitForWindowExposed(&second));
        QVERIFY(watcher.isOnScreen());
        widget->setParent(&second);
        widget->show();
        QVERIFY(watcher.isOnScreen());
        first.showMinimized();
        QTest::qWait(20);
        QVERIFY(watcher.isOnScreen());
        second.showMinimized();
        QTRY_VERIFY(!watcher.isOnScreen());
    }

    // A spinner in a minimised window or a hidden panel stands still and turns again at once when seen.
    void aSpinnerTicksOnlyOnScreen() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* panel = new QWidget(&window);
        layout->addWidget(panel);
        auto* spinner = new Spinner({SpinnerLook::Style::arc}, 20, panel);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(spinner->elapsed() >= 2 * spinner->frameInterval());

        for (const bool minimise : {true, false}) {
            if (minimise)
                window.showMinimized();
            else
                panel->hide();
            QTRY_VERIFY(!spinner->isSpinning());
            const qint64 stood = spinner->elapsed();
            QTest::qWait(4 * spinner->frameInterval());
            QCOMPARE(spinner->elapsed(), stood);
            if (minimise)
                window.showNormal();
            else
                panel->show();
            QVERIFY(spinner->isSpinning());
            QTRY_VERIFY(spinner->elapsed() > stood);
        }
    }
};

QTEST_MAIN(OnScreenTests)
#include "tst_on_screen.moc"
