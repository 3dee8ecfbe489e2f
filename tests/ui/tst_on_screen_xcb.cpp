#include "AppViewModel.h"
#include "Defaults.h"
#include "FocusRing.h"
#include "FolderBookmark.h"
#include "GuiTestSupport.h"
#include "MainAppView.h"
#include "OnScreen.h"
#include "OrvaneApp.h"
#include "Spinner.h"
#include "StudioStack.h"
#include "TestSupport.h"
#include "Theme.h"
#include "VirtualDisplay.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <cmath>
#include <cstdio>

namespace {

// The two colours differ by at least 3:1 in relative luminance.
bool contrasts(QRgb a, QRgb b) {
    const auto luminance = [](QRgb rgb) {
        const auto linear = [](int c) { return c <= 10 ? c / 3294.6 : std::pow((c / 255.0 + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(qRed(rgb)) + 0.7152 * linear(qGreen(rgb)) + 0.0722 * linear(qBlue(rgb)) + 0.05;
    };
    return std::max(luminance(a), luminance(b)) >= 3 * std::min(luminance(a), luminance(b));
}

// How much of a ring the focus draws in `area` (its control, or a part of it such as a list's current card or a
// switch's track): the pixels that change by 3:1 between `focused` and `unfocused` are boxed, and the share of the
// box's edge (its corners left out) with such a change within a few pixels of it is returned; 1 for a whole ring.
double ringShare(const QImage& focused, const QImage& unfocused, const QRect& area) {
    const QRect inside = area.intersected(focused.rect());
    const auto changed = [&](QPoint p) { return contrasts(focused.pixel(p), unfocused.pixel(p)); };
    QRect box;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (changed({x, y}))
                box |= QRect(x, y, 1, 1);
    if (box.width() < 8 || box.height() < 8)
        return 0;
    // Round and rounded rings leave the box's edge towards the corners.
    const int side = std::min(box.width(), box.height());
    const int depth = std::max(6, side / 7), corner = side / 4;
    int edge = 0, shown = 0;
    const auto scan = [&](QPoint from, QPoint inward) {
        int d = 0;
        while (d < depth && !changed(from + inward * d))
            ++d;
        ++edge;
        shown += d < depth;
    };
    for (int x = box.left() + corner; x <= box.right() - corner; ++x) {
        scan({x, box.top()}, {0, 1});
        scan({x, box.bottom()}, {0, -1});
    }
    for (int y = box.top() + corner; y <= box.bottom() - corner; ++y) {
        scan({box.left(), y}, {1, 0});
        scan({box.right(), y}, {-1, 0});
    }
    return double(shown) / std::max(1, edge);
}

// The window once it holds still: on a busy machine a repaint can land after any fixed wait.
QImage windowPicture(QWidget* window) {
    const auto grab = [window] {
        return window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    QTest::qWait(30);
    QImage picture = grab();
    for (int round = 0; round < 20; ++round) {
        QTest::qWait(30);
        QImage again = grab();
        if (again == picture)
            break;
        picture = std::move(again);
    }
    return picture;
}

// `a` is painted over `b`: of the two branches that hold them under their nearest common ancestor, `a`'s comes
// later among the children, and a later child lies on top.
bool stackedAbove(const QWidget* a, const QWidget* b) {
    for (const QWidget* branchA = a; branchA->parentWidget(); branchA = branchA->parentWidget()) {
        const QWidget* parent = branchA->parentWidget();
        if (!parent->isAncestorOf(b))
            continue;
        const QWidget* branchB = b;
        while (branchB->parentWidget() != parent)
            branchB = branchB->parentWidget();
        const QObjectList& children = parent->children();
        return children.indexOf(branchA) > children.indexOf(branchB);
    }
    return false;
}

// Tabs once around `window` and names every stop whose focus cannot be seen: its edge does not change by 3:1
// between focused and unfocused along most of its length.
QStringList unseenFocus(QWidget* window) {
    QStringList unseen;
    QList<QWidget*> visited;
    // The keyboard is in use from here on.
    gui::keyToFocus(Qt::Key_Tab);
    QImage before = windowPicture(window);
    for (int step = 0; step < 150; ++step) {
        QWidget* focus = QApplication::focusWidget();
        if (!focus || focus->window() != window)
            return unseen << QStringLiteral("the focus left the window after %1 stops").arg(visited.size());
        if (visited.contains(focus))
            break;
        visited << focus;
        QWidget* ringed = FocusRing::surrounded(focus);
        const QRect visible = ringed->visibleRegion().boundingRect().translated(ringed->mapTo(window, QPoint(0, 0)));
        // No other control lies over the ring, which runs along the ringed widget's edges.
        const int e = int(std::ceil(FocusRing::extent(focus)));
        const QRegion band = QRegion(visible.adjusted(-e, -e, e, e)) - QRegion(visible.adjusted(e, e, -e, -e));
        for (QWidget* other : window->findChildren<QWidget*>()) {
            if (other->window() != window || !(other->focusPolicy() & Qt::TabFocus) || other == ringed ||
                ringed->isAncestorOf(other) || other->isAncestorOf(ringed) || other->visibleRegion().isEmpty() ||
                !stackedAbove(other, ringed))
                continue;
            if (band.intersects(QRect(other->mapTo(window, QPoint(0, 0)), other->size())))
                unseen << QStringLiteral("%1 (its ring runs under %2)").arg(focus->objectName(), other->objectName());
        }
        // A label's links are stops of their own.
        for (int stop = 0; stop < 4 && QApplication::focusWidget() == focus; ++stop)
            gui::keyToFocus(Qt::Key_Tab);
        const QImage after = windowPicture(window);
        const double share = ringShare(before, after, visible.adjusted(-4, -4, 4, 4));
        // A stop with nothing on screen (laid out beyond its pane) is the layout's fault, not the ring's.
        if (share < 0.8 && !visible.isEmpty())
            unseen << QStringLiteral("%1 (%2 %3%)")
                          .arg(focus->objectName(), focus->metaObject()->className())
                          .arg(int(share * 100));
        before = after;
    }
    if (visited.size() < 3)
        unseen << QStringLiteral("only %1 stops").arg(visited.size());
    return unseen;
}

} // namespace

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

    // Every control the keyboard reaches shows it has the focus, at least as clearly as the kit's ring.
    void everyTabStopShowsItsFocus_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<bool>("dark");
        for (const bool dark : {false, true})
            for (const char* screen :
                 {"image studio", "video studio", "settings", "settings keys", "image presets", "preset form"})
                QTest::addRow("%s, %s", screen, dark ? "dark" : "light") << QString(screen) << dark;
    }
    void everyTabStopShowsItsFocus() {
        QFETCH(QString, screen);
        QFETCH(bool, dark);
        TestEnvironment env;
        // The gallery shows two cards.
        QDir().mkpath(env.path("videos"));
        for (const char* name : {"Orvane_20250101_000001_a.mp4", "Orvane_20250101_000002_b.mp4"}) {
            QFile clip(env.path(QStringLiteral("videos/") + name));
            QVERIFY(clip.open(QIODevice::WriteOnly) && clip.write(QByteArray(4096, 'x')) == 4096);
        }
        Defaults::standard().set("videoDirectoryBookmark", *FolderBookmark::create(env.path("videos")));
        OrvaneApp app(env.path("store.sqlite"));
        Theme::instance().setColorScheme(dark ? ColorScheme::dark : ColorScheme::light);
        const auto lightAgain = qScopeGuard([] { Theme::instance().setColorScheme(std::nullopt); });
        QMainWindow* main = app.showMainWindow();
        QVERIFY(gui::showActive(main));
        StudioStack* studios = app.rootView()->screensStack();
        QWidget* window = main;
        if (screen == "video studio") {
            app.appViewModel().setCurrentView(ViewMode::videoGeneration);
            QTRY_VERIFY(!studios->fadeAnimation());
        } else if (screen.startsWith("settings")) {
            window = app.openSettings();
            QVERIFY(gui::showActive(window));
            GUI_REQUIRE(tabs, QTabWidget, window, "settingsTabs");
            tabs->setCurrentIndex(screen == "settings keys" ? 1 : 0);
        } else if (screen == "image presets") {
            GUI_CLICK(studios->imageStudio(), "imagePresets");
        } else if (screen == "preset form") {
            GUI_REQUIRE(prompt, QPlainTextEdit, studios->imageStudio(), "promptEditor");
            prompt->setPlainText("a pier at dawn");
            GUI_CLICK(studios->imageStudio(), "createPresetFromPrompt");
            GUI_REQUIRE(form, QWidget, main, "CreateImagePresetView");
            window = form;
            QVERIFY(gui::showActive(window));
        }
        QTest::qWait(400);
        const QStringList unseen = unseenFocus(window);
        QVERIFY2(unseen.isEmpty(), qPrintable(unseen.join(", ")));
    }
};

ORVANE_VIRTUAL_DISPLAY_TEST_MAIN(OnScreenXcbTests)
#include "tst_on_screen_xcb.moc"
