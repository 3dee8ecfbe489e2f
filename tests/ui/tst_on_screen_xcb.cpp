#include "OnScreen.h"
#include "Spinner.h"
#include "VirtualDisplay.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <cstdio>

// On a real X server: a window unmapped behind the toolkit's back (as when it is minimised by a window manager or
// its workspace is left) gets no hide event, only the server's word that it is no longer exposed.
class OnScreenXcbTests : public QObject {
    Q_OBJECT
private slots:
    void anUnmappedWindowStopsItsAnimations() {
        QVERIFY(QGuiApplication::platformName() == QLatin1String("xcb"));
        QWidget window;
        window.resize(200, 120);
        auto* layout = new QVBoxLayout(&window);
        auto* spinner = new Spinner({SpinnerLook::Style::arc}, 20, &window);
        layout->addWidget(spinner);
        auto* label = new QWidget(&window);
        layout->addWidget(label);
        OnScreenWatcher watcher(label);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(watcher.isOnScreen());
        QTRY_VERIFY(spinner->elapsed() >= 2 * spinner->frameInterval());

        for (int round = 0; round < 2; ++round) {
            QSignalSpy changes(&watcher, &OnScreenWatcher::onScreenChanged);
            QVERIFY(VirtualDisplay::setMapped(window.windowHandle(), false));
            QTRY_VERIFY(!window.windowHandle()->isExposed());
            // Still shown as far as the widgets know: no hide event came.
            QVERIFY(spinner->isVisible());
            QVERIFY(!watcher.isOnScreen());
            QCOMPARE(changes.size(), 1);
            QVERIFY(!spinner->isSpinning());
            const qint64 stood = spinner->elapsed();
            QTest::qWait(5 * spinner->frameInterval());
            QCOMPARE(spinner->elapsed(), stood);

            QVERIFY(VirtualDisplay::setMapped(window.windowHandle(), true));
            QTRY_VERIFY(window.windowHandle()->isExposed());
            QVERIFY(watcher.isOnScreen());
            QCOMPARE(changes.size(), 2);
            QVERIFY(spinner->isSpinning());
            QTRY_VERIFY(spinner->elapsed() > stood);
        }
    }
};

ORVANE_VIRTUAL_DISPLAY_TEST_MAIN(OnScreenXcbTests)
#include "tst_on_screen_xcb.moc"
