#include "APIManager.h"
#include "APISettings.h"
#include "AppPaths.h"
#include "AppViewModel.h"
#include "BackupManager.h"
#include "ContentView.h"
#include "Defaults.h"
#include "DownloadSettings.h"
#include "FakeGeminiService.h"
#include "FolderBookmark.h"
#include "GalleryClip.h"
#include "GuiTestSupport.h"
#include "ImagePreset.h"
#include "ImageStudioModel.h"
#include "MainAppView.h"
#include "MiniMaxAPIService.h"
#include "ModelContext.h"
#include "MovementPlayer.h"
#include "OrvaneApp.h"
#include "PromptPreset.h"
#include "QueueManager.h"
#include "QuitSignals.h"
#include "ScenesView.h"
#include "SettingsView.h"
#include "SparkleUpdaterController.h"
#include "StudioStack.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"
#include "TestSupport.h"
#include "VideoGalleryViewModel.h"
#include "VideoMetadata.h"
#include "VideoSettings.h"
#include "WidgetDialogs.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <QVariantAnimation>

#include <csignal>
#include <functional>
#include <utility>

namespace {
// Runs the application's own event loop with `action` as its first work until the application quits, or
// until a moment after `answered` holds (never, by default). True when it quit.
bool quitsWhile(const std::function<void()>& action, const std::function<bool()>& answered = {}) {
    QTimer::singleShot(0, qApp, action);
    QElapsedTimer since;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, qApp, [&] {
        if (!since.isValid() && answered && answered())
            since.start();
        if (since.isValid() && since.elapsed() > 200)
            QCoreApplication::exit(42);
    });
    poll.start(20);
    QTimer::singleShot(10000, &poll, [] { QCoreApplication::exit(43); });
    return QApplication::exec() == 0;
}

// What is wrong with the focus a screen reader finds in `window`: it must be on a named control inside `studio`,
// and nothing else may report it.
QStringList focusProblems(QWidget* window, QWidget* studio) {
    QStringList problems;
    QWidget* focused = QApplication::focusWidget();
    if (!focused)
        return {"nothing has the focus"};
    const QString what = QStringLiteral("%1 '%2'").arg(focused->metaObject()->className(), focused->objectName());
    if (!studio->isAncestorOf(focused))
        problems << what + " is outside the studio shown";
    if (QAccessible::queryAccessibleInterface(focused)->text(QAccessible::Name).trimmed().isEmpty())
        problems << what + " has no name";
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(widget);
        if (widget != focused && node && node->state().focused)
            problems << QStringLiteral("%1 '%2' reports the focus too")
                            .arg(widget->metaObject()->className(), widget->objectName());
    }
    return problems;
}

void addWaitingClip(QueueManager& queue) {
    // Without a video key every job waits.
    queue.addVideoTask(QString("a cat"), std::nullopt, std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
}

QMainWindow* showActiveMainWindow(OrvaneApp& app) {
    QMainWindow* window = app.showMainWindow();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window) ? window : nullptr;
}

// Calls `look` once, when the first paint event reaches a widget of the application's main window.
class FirstPaintProbe : public QObject {
public:
    FirstPaintProbe(OrvaneApp& app, std::function<void()> look) : app_(app), look_(std::move(look)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (look_ && event->type() == QEvent::Paint && watched->isWidgetType() && app_.mainWindow() &&
            static_cast<QWidget*>(watched)->window() == app_.mainWindow())
            std::exchange(look_, nullptr)();
        return false;
    }

private:
    OrvaneApp& app_;
    std::function<void()> look_;
};
// Counts the font changes of the image studio's widgets that it had when it was first given its size.
class StudioFontChanges : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Resize && widget->objectName() == QLatin1String("ContentView") &&
            sized_.isEmpty()) {
            const QList<QWidget*> children = widget->findChildren<QWidget*>();
            sized_ = QSet<QWidget*>(children.begin(), children.end());
        }
        if (event->type() == QEvent::FontChange && sized_.contains(widget))
            ++count;
        return false;
    }

private:
    QSet<QWidget*> sized_;
};
} // namespace

class AppTests : public QObject {
    Q_OBJECT
private slots:
    void theLongLivedObjectsAreCreatedInOrder() {
        TestEnvironment env;
        Defaults::standard().set("miniMaxAPIKey3", QStringLiteral("third"));
        OrvaneApp app(env.path("store.sqlite"));

        QStringList order;
        for (QObject* child : app.children())
            order << child->metaObject()->className();
        QCOMPARE(order, (QStringList{"SparkleUpdaterController", "DownloadSettings", "VideoSettings", "APISettings",
                                     "AppViewModel", "QueueManager", "VideoGalleryViewModel"}));
        QCOMPARE(&app.backupManager(), &BackupManager::shared());
        QCOMPARE(QueueManager::current(), &app.queueManager());
        // The queue copied the keys of the four slots when it was made.
        QCOMPARE(app.queueManager().videoServices().size(), 4);
        QCOMPARE(app.queueManager().videoServices()[2]->apiKey(), QStringLiteral("third"));
        QCOMPARE(app.queueManager().videoServices()[2]->keyNumber(), 3);
        // The updater exists but is not started.
        QVERIFY(!app.sparkleUpdater().didStart());
        QVERIFY(!app.sparkleUpdater().updaterController().isStarted());

        // First-launch defaults of the key store and the video settings.
        for (const char* key : {"googleAPIKey", "miniMaxAPIKey", "miniMaxAPIKey2", "miniMaxAPIKey4", "videoQuality",
                                "videoDuration", "defaultPromptOptimization", "soundNotificationEnabled"})
            QVERIFY2(Defaults::standard().contains(key), key);

        // The store holds exactly the four record types.
        QSqlQuery tables(app.modelContext().database());
        QVERIFY(tables.exec("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"));
        QStringList names;
        while (tables.next())
            names << tables.value(0).toString();
        QCOMPARE(names, (QStringList{"AppSettings", "ImagePreset", "PromptPreset", "VideoMetadata"}));
        QVERIFY(app.modelContext().isAutosaveEnabled());
    }

    void launchShowsTheImageStudioAndPrintsInOrder() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        OrvaneApp app(env.path("store.sqlite"));
        QMainWindow* window = app.showMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), QString());
        QCOMPARE(app.rootView()->minimumSize(), QSize(1000, 700));

        QTRY_VERIFY(env.logLines().contains("✅ Swift Data managers initialized and loaded ONCE"));
        const QStringList expected = {"📹 [App] MovementPlayer.shared initialized for gallery and presets",
                                      "✅ Swift Data managers created ONCE",
                                      "✅ Swift Data managers initialized and loaded ONCE"};
        QList<int> positions;
        for (const QString& line : expected)
            positions << env.indexOfLine(line);
        QVERIFY2(positions[0] >= 0 && positions[0] < positions[1] && positions[1] < positions[2],
                 qPrintable(env.logLines().join('\n')));
        // The studios are built after the managers, so their own start-up lines come after.
        QVERIFY(env.indexOfLine("✅ Updated aspect ratio to: 16:9") > positions[1]);

        MainAppView* root = app.rootView();
        QVERIFY(root->hasInitializedManagers());
        QVERIFY(root->promptPresetsManager());
        QVERIFY(root->imagePresetsManager());
        QVERIFY(root->screensStack()->isVisible());
        QVERIFY(!root->loadingView()->isVisible());
        QCOMPARE(root->screensStack()->currentStudio()->objectName(), QStringLiteral("ContentView"));
        QVERIFY(!root->screensStack()->videoStudio()->isVisible());
        QCOMPARE(app.queueManager().modelContext(), &app.modelContext());
        QCOMPARE(BackupManager::shared().modelContext(), &app.modelContext());

        // No folder stored: no monitoring, no alert.
        QVERIFY(!app.galleryViewModel().monitoredDirectory());
        QVERIFY(dialogs.alerts.isEmpty());
        QTRY_VERIFY(app.sparkleUpdater().canCheckForUpdates());
    }

    // The first picture is the image studio's; the video studio, the preset stores and the launch tasks come after it.
    void theFirstPaintComesBeforeWhatTheFirstScreenDoesNotShow() {
        TestEnvironment env;
        QDir().mkpath(env.path("videos"));
        Defaults::standard().set("videoDirectoryBookmark", *FolderBookmark::create(env.path("videos")));
        OrvaneApp app(env.path("store.sqlite"));
        const QString loaded = "✅ Swift Data managers initialized and loaded ONCE";
        const QString monitoring = "📁 [VideoGallery] Starting to monitor directory: " + env.path("videos");
        QStringList atFirstPaint;
        FirstPaintProbe probe(app, [&] {
            StudioStack* stack = app.rootView()->screensStack();
            if (stack && stack->currentStudio() == stack->imageStudio())
                atFirstPaint << "image studio shown";
            if (stack && stack->videoStudio()->findChild<ScenesView*>())
                atFirstPaint << "video studio built";
            if (env.logLines().contains(loaded))
                atFirstPaint << "presets loaded";
            if (env.logLines().contains(monitoring))
                atFirstPaint << "folder monitored";
        });
        QVERIFY(QTest::qWaitForWindowExposed(app.showMainWindow()));
        QTRY_VERIFY(!atFirstPaint.isEmpty());
        QCOMPARE(atFirstPaint, QStringList{"image studio shown"});

        StudioStack* stack = app.rootView()->screensStack();
        QTRY_VERIFY(stack->videoStudio()->findChild<ScenesView*>());
        QTRY_VERIFY(env.logLines().contains(loaded));
        // Once from the launch task and once from the video studio's gallery.
        QTRY_COMPARE(env.logLines().count(monitoring), 2);
        QCOMPARE(stack->currentStudio(), stack->imageStudio());
        QVERIFY(!stack->videoStudio()->isVisible());
    }

    // What only the video studio shows waits for it: the gallery's pictures and the prompt presets' thumbnails,
    // whose decoding a start with the image studio in front would otherwise pay for.
    void theVideoStudiosPicturesWaitUntilItIsShown() {
        TestEnvironment env;
        QDir().mkpath(env.path("videos"));
        QFile clip(env.path("videos/Orvane_20250101_000001_a.mp4"));
        QVERIFY(clip.open(QIODevice::WriteOnly));
        clip.write(QByteArray(4096, 'x'));
        clip.close();
        Defaults::standard().set("videoDirectoryBookmark", *FolderBookmark::create(env.path("videos")));
        OrvaneApp app(env.path("store.sqlite"));
        QVERIFY(QTest::qWaitForWindowExposed(app.showMainWindow()));
        StudioStack* stack = app.rootView()->screensStack();
        QTRY_VERIFY(stack->videoStudio()->findChild<ScenesView*>());
        QTRY_COMPARE(app.galleryViewModel().count(), 1);
        GalleryClip* listed = app.galleryViewModel().videos().first();
        SwiftDataPromptPresetsManager* prompts = app.rootView()->promptPresetsManager();
        const int seeded = int(SwiftDataPromptPresetsManager::builtInPromptPresetTable().size());
        QTRY_COMPARE(int(prompts->builtInPresets().size()), seeded);
        QTest::qWait(200);
        QCOMPARE(listed->metadataState(), GalleryClip::MetadataState::notLoaded);
        QCOMPARE(prompts->pendingThumbnails(), seeded);

        app.appViewModel().setCurrentView(ViewMode::videoGeneration);
        QTRY_VERIFY(listed->metadataState() != GalleryClip::MetadataState::notLoaded);
        QTRY_COMPARE_WITH_TIMEOUT(prompts->pendingThumbnails(), 0, 20000);
        for (const auto& preset : prompts->builtInPresets())
            QVERIFY2(preset->previewThumbnailData(), qPrintable(preset->name()));
    }

    // A wide window shows the image studio at a larger scale; it is built at that scale rather than built at the
    // nominal one and rebuilt (every text and symbol again) when it first takes its size.
    void theImageStudioIsBuiltAtTheScaleOfItsWindow() {
        TestEnvironment env;
        auto store = ModelContext::open(env.path("store.sqlite"), {});
        AppViewModel model;
        AppEnvironment environment;
        environment.appViewModel = &model;
        environment.modelContext = store.get();
        // Widths and the scales they show at: 1000 is the nominal width.
        const QList<std::pair<int, double>> widths{{1000, 1.0}, {1280, 1.28}, {1500, 1.5}};
        for (const auto& [width, scale] : widths) {
            MainAppView view(environment);
            view.resize(width, 820);
            StudioFontChanges changes;
            qApp->installEventFilter(&changes);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            qApp->removeEventFilter(&changes);
            auto* studio = qobject_cast<ContentView*>(view.screensStack()->imageStudio());
            QVERIFY(studio);
            QCOMPARE(studio->width(), width);
            QCOMPARE(studio->scale(), scale);
            QCOMPARE(changes.count, 0);
        }
    }

    void rootViewShowsOnlyLoadingBeforeItAppears() {
        TestEnvironment env;
        auto store = ModelContext::open(env.path("store.sqlite"), {});
        AppViewModel model;
        AppEnvironment environment;
        environment.appViewModel = &model;
        environment.modelContext = store.get();
        int built = 0;
        MainAppView view(environment);
        view.setStudioFactories(
            [&](const AppEnvironment& e, QWidget* p) {
                ++built;
                return new ScenesView(e, p);
            },
            [&](const AppEnvironment& e, QWidget* p) {
                ++built;
                return new ContentView(e, p);
            });
        QVERIFY(!view.screensStack());
        QCOMPARE(built, 0);
        QVERIFY(!view.hasInitializedManagers());

        view.show();
        QCOMPARE(built, 2);
        QVERIFY(view.hasInitializedManagers());
        QCOMPARE(env.logLines().count("✅ Swift Data managers created ONCE"), 1);
        // A second appearance of the same view creates and prints nothing.
        view.hide();
        view.show();
        QCOMPARE(built, 2);
        QCOMPARE(env.logLines().count("✅ Swift Data managers created ONCE"), 1);
    }

    void switchingStudiosCrossFadesAndKeepsState() {
        TestEnvironment env;
        OrvaneApp app(env.path("store.sqlite"));
        QMainWindow* window = app.showMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        StudioStack* stack = app.rootView()->screensStack();
        QWidget* video = stack->videoStudio();
        QWidget* image = stack->imageStudio();

        app.appViewModel().setCurrentView(ViewMode::videoGeneration);
        QCOMPARE(stack->currentStudio(), video);
        QVERIFY(video->isVisible());
        QVERIFY(!image->isVisible());
        QVERIFY(stack->fadeAnimation());
        QCOMPARE(stack->fadeAnimation()->duration(), 250);
        QCOMPARE(stack->fadeAnimation()->easingCurve().type(), QEasingCurve::InOutQuad);
        QTRY_VERIFY(!stack->fadeAnimation());

        GUI_REQUIRE(prompt, QPlainTextEdit, video, "promptEditor");
        QTest::keyClicks(prompt, "slow dolly in");
        app.appViewModel().setCurrentView(ViewMode::imageGeneration);
        QCOMPARE(stack->currentStudio(), image);
        QVERIFY(!video->isVisible());
        // The hidden studio cannot be clicked, but it is still there with its text.
        QCOMPARE(stack->childAt(stack->rect().center())->window(), window);
        QVERIFY(!video->isAncestorOf(stack->childAt(stack->rect().center())));
        app.appViewModel().setCurrentView(ViewMode::videoGeneration);
        QCOMPARE(prompt->toPlainText(), QStringLiteral("slow dolly in"));

        // The studios switch each other through the view model.
        GUI_REQUIRE(back, QWidget, video, "backToImages");
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(app.appViewModel().currentView(), ViewMode::imageGeneration);
    }

    // Switched with the keyboard, each studio puts the focus on a control a screen reader can name.
    void switchingStudiosByKeyFocusesANamedControl() {
        TestEnvironment env;
        OrvaneApp app(env.path("store.sqlite"));
        QMainWindow* window = showActiveMainWindow(app);
        QVERIFY(window);
        // The window keeps its empty title, but a screen reader names it.
        QAccessibleInterface* windowAccessible = QAccessible::queryAccessibleInterface(window);
        QVERIFY(windowAccessible);
        QCOMPARE(windowAccessible->role(), QAccessible::Window);
        QCOMPARE(windowAccessible->text(QAccessible::Name), QStringLiteral("Orvane"));
        StudioStack* stack = app.rootView()->screensStack();
        QWidget* video = stack->videoStudio();
        QWidget* image = stack->imageStudio();
        QTRY_VERIFY(video->findChild<ScenesView*>());

        GUI_REQUIRE(toVideo, QWidget, image, "switchToVideoStudio");
        toVideo->setFocus(Qt::TabFocusReason);
        QTest::keyClick(toVideo, Qt::Key_Space);
        QCOMPARE(stack->currentStudio(), video);
        QVERIFY2(focusProblems(window, video).isEmpty(), qPrintable(focusProblems(window, video).join('\n')));

        GUI_REQUIRE(back, QWidget, video, "backToImages");
        back->setFocus(Qt::TabFocusReason);
        QTest::keyClick(back, Qt::Key_Space);
        QCOMPARE(stack->currentStudio(), image);
        QVERIFY2(focusProblems(window, image).isEmpty(), qPrintable(focusProblems(window, image).join('\n')));
    }

    void everyAppearanceRepeatsTheLaunchTasksButStartsTheUpdaterOnce() {
        TestEnvironment env;
        QDir().mkpath(env.path("videos"));
        Defaults::standard().set("videoDirectoryBookmark", *FolderBookmark::create(env.path("videos")));
        OrvaneApp app(env.path("store.sqlite"));
        QSignalSpy started(&app.sparkleUpdater().updaterController(),
                           &StandardUpdaterController::canCheckForUpdatesChanged);
        QMainWindow* window = app.showMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QString monitorLine = "📁 [VideoGallery] Starting to monitor directory: " + env.path("videos");
        // Once from the launch task and once from the video studio's gallery setting itself up.
        QTRY_COMPARE(env.logLines().count(monitorLine), 2);
        QCOMPARE(*app.galleryViewModel().monitoredDirectory(), env.path("videos"));
        QVERIFY(app.sparkleUpdater().didStart());

        window->hide();
        window->show();
        QTRY_COMPARE(env.logLines().count(monitorLine), 3);
        QCOMPARE(env.logLines().count("📹 [App] MovementPlayer.shared initialized for gallery and presets"), 2);
        QCOMPARE(env.logLines().count("✅ Swift Data managers created ONCE"), 1);
        QCOMPARE(started.count(), 1);
    }

    void theMenuOffersTheUpdateCheckAfterAbout() {
        TestEnvironment env;
        OrvaneApp app(env.path("store.sqlite"));
        QMainWindow* window = app.showMainWindow();
        GUI_REQUIRE(menu, QMenu, window->menuBar(), "applicationMenu");
        GUI_REQUIRE(aboutAction, QAction, window, "aboutAction");
        const QList<QAction*> actions = menu->actions();
        const int about = int(actions.indexOf(aboutAction));
        QVERIFY(about >= 0);
        QAction* check = actions.value(about + 1);
        QVERIFY(check);
        QCOMPARE(check->text(), QStringLiteral("Check for Updates…"));
        // Disabled until the updater reports that it can check.
        QTRY_VERIFY(check->isEnabled());
        app.sparkleUpdater().updaterController().setCurrentVersion("1.0.0");
    }

    void theSettingsWindowIsSeparateAndFixedInSize() {
        TestEnvironment env;
        OrvaneApp app(env.path("store.sqlite"));
        app.showMainWindow();
        QWidget* settings = app.openSettings();
        QVERIFY(qobject_cast<SettingsView*>(settings));
        QVERIFY(settings->isWindow());
        QCOMPARE(settings->size(), QSize(600, 400));
        QCOMPARE(app.openSettings(), settings);
    }

    void quittingSavesPendingRecords() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        {
            OrvaneApp app(path);
            app.modelContext().insert(VideoMetadata::make("Orvane_x.mp4", "p", "768P", 6, "image_to_video", true));
            app.onWillTerminate();
            QVERIFY(!app.modelContext().hasChanges());
        }
        auto store = ModelContext::open(path, {&VideoMetadata::description()});
        QCOMPARE(store->fetch<VideoMetadata>()->size(), 1);
    }

    void nothingInFlightQuitsWithoutAsking() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        OrvaneApp app(env.path("store.sqlite"));
        QMainWindow* window = showActiveMainWindow(app);
        QVERIFY(window);
        GUI_REQUIRE(quit, QAction, window, "quitAction");
        QVERIFY(quitsWhile([quit] { quit->trigger(); }));
        QVERIFY(!app.queueManager().hasVideoWork());
        window = showActiveMainWindow(app);
        QVERIFY(quitsWhile([window] { window->close(); }));
        QVERIFY(dialogs.alerts.isEmpty());
    }

    void quittingWhileClipsAreMadeAsksFirst_data() {
        QTest::addColumn<int>("clips");
        QTest::addColumn<QString>("message");
        QTest::newRow("one") << 1 << "1 clip is still being made. Quitting now loses it.";
        QTest::newRow("three") << 3 << "3 clips are still being made. Quitting now loses them.";
    }

    void quittingWhileClipsAreMadeAsksFirst() {
        QFETCH(int, clips);
        QFETCH(QString, message);
        TestEnvironment env;
        ScriptedDialogs dialogs;
        OrvaneApp app(env.path("store.sqlite"));
        QMainWindow* window = showActiveMainWindow(app);
        QVERIFY(window);
        GUI_REQUIRE(quit, QAction, window, "quitAction");
        for (int i = 0; i < clips; ++i)
            addWaitingClip(app.queueManager());
        QCOMPARE(app.queueManager().videoQueue().size(), clips);

        // "Keep Working", from the menu command, Ctrl+Q and the window's close button: everything goes on.
        dialogs.alertAnswer = 0;
        const auto askedAgain = [&dialogs] {
            return [&dialogs, before = dialogs.alerts.size()] { return dialogs.alerts.size() > before; };
        };
        QVERIFY(!quitsWhile([quit] { quit->trigger(); }, askedAgain()));
        QVERIFY(!quitsWhile([window] { QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier); }, askedAgain()));
        QVERIFY(!quitsWhile([window] { window->close(); }, askedAgain()));
        QCOMPARE(dialogs.alerts.size(), 3);
        for (const auto& alert : std::as_const(dialogs.alerts)) {
            QCOMPARE(alert.style, Dialogs::AlertStyle::warning);
            QCOMPARE(alert.message, message);
            QCOMPARE(alert.buttons, QStringList({"Keep Working", "Quit Anyway"}));
            QCOMPARE(alert.escapeButton, 0); // Escape keeps working
        }
        QVERIFY(window->isVisible());
        QCOMPARE(app.queueManager().videoQueue().size(), clips);

        // "Quit Anyway" quits, asking once, from the window and from the command.
        dialogs.alertAnswer = 1;
        QVERIFY(quitsWhile([window] { window->close(); }));
        QCOMPARE(dialogs.alerts.size(), 4);
        QVERIFY(!window->isVisible());
        window = showActiveMainWindow(app);
        QVERIFY(quitsWhile([quit] { quit->trigger(); }));
        QCOMPARE(dialogs.alerts.size(), 5);
    }

    // A paid picture request on its way counts like a clip being made: the quit asks, in the same words.
    void quittingWhileAPictureIsMadeAsksFirst() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        FakeGeminiService gemini;
        gemini.install();
        gemini.script = {FakeGeminiService::Reply::hanging()};
        APIManager::shared().setGoogleAPIKey(gemini.apiKey);
        OrvaneApp app(env.path("store.sqlite"));
        QMainWindow* window = showActiveMainWindow(app);
        QVERIFY(window);
        GUI_REQUIRE(quit, QAction, window, "quitAction");
        ImageStudioModel* studio = nullptr;
        QTRY_VERIFY((studio = window->findChild<ImageStudioModel*>()) != nullptr);
        studio->setPrompt("a red fox in the snow");
        studio->generate();
        QTRY_COMPARE(gemini.generateRequests().size(), 1);
        QVERIFY(studio->isRequestInFlight());

        dialogs.alertAnswer = 0;
        QVERIFY(!quitsWhile([quit] { quit->trigger(); }, [&dialogs] { return dialogs.alerts.size() == 1; }));
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts[0].message, QString("1 picture is still being made. Quitting now loses it."));
        QCOMPARE(dialogs.alerts[0].informativeText, QString("The picture being generated is not saved."));
        QCOMPARE(dialogs.alerts[0].buttons, QStringList({"Keep Working", "Quit Anyway"}));
        QVERIFY(window->isVisible());

        addWaitingClip(app.queueManager());
        QVERIFY(!quitsWhile([window] { window->close(); }, [&dialogs] { return dialogs.alerts.size() == 2; }));
        QCOMPARE(dialogs.alerts[1].message,
                 QString("1 clip and 1 picture are still being made. Quitting now loses them."));
        QCOMPARE(dialogs.alerts[1].informativeText,
                 QString("Clips being generated or downloaded are not saved, and waiting ones are never sent. "
                         "The picture being generated is not saved."));
        dialogs.alertAnswer = 1;
        QVERIFY(quitsWhile([quit] { quit->trigger(); }));
        QCOMPARE(dialogs.alerts.size(), 3);
        // The user chose to lose them: nothing to name at the next start.
        QVERIFY(!QFileInfo::exists(OrvaneApp::lostClipsFile()));
    }

    // SIGTERM (a logout, a shutdown) quits without asking, saves as any quit does and writes down the clips being
    // made; the next start names them.
    void aStopRequestQuitsWithoutAskingAndTheNextStartNamesTheLostClips() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        {
            OrvaneApp app(env.path("store.sqlite"));
            QuitSignals stopRequests;
            connect(&stopRequests, &QuitSignals::received, &app, &OrvaneApp::quitWithoutAsking);
            QVERIFY(showActiveMainWindow(app));
            app.queueManager().addVideoTask(QString("a cat"), std::nullopt, std::nullopt, VideoQuality::p768,
                                            VideoDuration::seconds6);
            app.queueManager().addVideoTask(QString("a dog on a beach"), std::nullopt, std::nullopt, VideoQuality::p768,
                                            VideoDuration::seconds6);
            app.modelContext().insert(VideoMetadata::make("Orvane_x.mp4", "p", "768P", 6, "image_to_video", true));

            QVERIFY(quitsWhile([] { ::kill(::getpid(), SIGTERM); }));
            QVERIFY(dialogs.alerts.isEmpty());
            QVERIFY(!app.modelContext().hasChanges());
            QVERIFY(QFileInfo::exists(OrvaneApp::lostClipsFile()));
        }
        OrvaneApp next(env.path("store.sqlite"));
        QVERIFY(showActiveMainWindow(next));
        QTRY_COMPARE(dialogs.notices.size(), 1);
        QCOMPARE(dialogs.notices[0].style, Dialogs::AlertStyle::warning);
        QCOMPARE(dialogs.notices[0].message, QString("2 clips were still being made when Orvane was last closed"));
        QCOMPARE(dialogs.notices[0].informativeText, QString("They were lost:\n“a cat”\n“a dog on a beach”"));
        QVERIFY(!QFileInfo::exists(OrvaneApp::lostClipsFile()));
        QCOMPARE(next.modelContext().fetch<VideoMetadata>()->size(), 1);
    }

    void aQuitWaitsForTheClipBeingFiled_data() {
        QTest::addColumn<bool>("stopRequest");
        QTest::newRow("quit command") << false;
        QTest::newRow("stop request") << true;
    }

    // A finished clip still being copied into the video folder when the program quits lands there with its record.
    void aQuitWaitsForTheClipBeingFiled() {
        QFETCH(bool, stopRequest);
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString videos = env.path("videos");
        QDir().mkpath(videos);
        Defaults::standard().set("videoDirectoryBookmark", *FolderBookmark::create(videos));
        QPointer<ClipFiler> filer;
        // The copy goes on only a while after the quit has begun (this runs before the application's own handler).
        QObject quitting;
        connect(qApp, &QCoreApplication::aboutToQuit, &quitting, [&quitting, &filer] {
            QTimer::singleShot(300, &quitting, [&filer] { filer->holdCopiesIntoForTesting({}); });
        });
        const QString download = AppPaths::downloadsFolder() + "/minimax_video_1.mp4";
        QString filed;
        {
            OrvaneApp app(env.path("store.sqlite"));
            filer = &app.queueManager().filer();
            filer->holdCopiesIntoForTesting(videos);
            QuitSignals stopRequests;
            connect(&stopRequests, &QuitSignals::received, &app, &OrvaneApp::quitWithoutAsking);
            QMainWindow* window = showActiveMainWindow(app);
            QVERIFY(window);
            GUI_REQUIRE(quit, QAction, window, "quitAction");
            QFile clip(download);
            QVERIFY(clip.open(QIODevice::WriteOnly) && clip.write("clip bytes") > 0);
            clip.close();
            GenerationTask task;
            task.prompt = "a cat";
            task.status = GenerationTaskStatus::completed;
            task.result = GenerationResult::video(download);
            app.queueManager().saveVideoToFolder(task);
            QVERIFY(app.queueManager().isFiling());

            if (stopRequest)
                QVERIFY(quitsWhile([] { ::kill(::getpid(), SIGTERM); }));
            else
                QVERIFY(quitsWhile([quit] { quit->trigger(); }));
            QVERIFY(dialogs.alerts.isEmpty());
            const QStringList entries = QDir(videos).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
            QCOMPARE(entries.size(), 1);
            filed = entries.first();
            QVERIFY2(filed.startsWith("Orvane_") && filed.endsWith("_a_cat.mp4"), qPrintable(filed));
            QVERIFY(!QFileInfo::exists(download));
        }
        auto store = ModelContext::open(env.path("store.sqlite"), {&VideoMetadata::description()});
        const auto records = store->fetch<VideoMetadata>();
        QCOMPARE(records->size(), 1);
        QCOMPARE(records->first()->fileName(), filed);
        QCOMPARE(records->first()->prompt(), QString("a cat"));
    }

    // A clip kept in the Unfiled folder moves into the video folder at start, and shows in the gallery with
    // its record; one kept later moves in when a folder is chosen.
    void unfiledClipsAreFiledAtStartAndWhenAFolderIsChosen() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString videos = env.path("videos");
        QDir().mkpath(videos);
        Defaults::standard().set("videoDirectoryBookmark", *FolderBookmark::create(videos));
        const QString unfiled = env.path("data/Unfiled");
        const auto keep = [&](const QString& name) {
            QDir().mkpath(unfiled);
            QFile clip(unfiled + "/" + name);
            return clip.open(QIODevice::WriteOnly) && clip.write("clip bytes") > 0;
        };
        const QString first = "Orvane_20260101_120000_a_cat.mp4";
        QVERIFY(keep(first));
        OrvaneApp app(env.path("store.sqlite"));
        app.modelContext().insert(VideoMetadata::make(first, "a cat", "768P", 6, "image_to_video", true));
        QVERIFY(app.modelContext().save());
        QVERIFY(app.showMainWindow());
        QTRY_VERIFY(QFileInfo::exists(videos + "/" + first));
        // The kept copy goes once the one in the folder is on the disk.
        QTRY_VERIFY(!QFileInfo::exists(unfiled + "/" + first));
        QTRY_COMPARE(app.galleryViewModel().videos().size(), 1);
        GalleryClip* item = app.galleryViewModel().videos().first();
        QCOMPARE(item->fileName(), first);
        QTRY_COMPARE(item->prompt().value_or(QString()), QString("a cat"));

        const QString second = "Orvane_20260101_130000_a_dog.mp4";
        QVERIFY(keep(second));
        const QString elsewhere = env.path("elsewhere");
        QDir().mkpath(elsewhere);
        app.videoSettings().setVideoDirectoryBookmark(*FolderBookmark::create(elsewhere));
        QTRY_VERIFY(QFileInfo::exists(elsewhere + "/" + second));
        // The kept copy goes once the one in the folder is on the disk.
        QTRY_VERIFY(!QFileInfo::exists(unfiled + "/" + second));
    }

    void aClipTheFolderCannotTakeIsAnnouncedOnScreen() {
        TestEnvironment env;
        WidgetDialogs dialogs;
        Dialogs::setCurrent(&dialogs);
        const auto restore = qScopeGuard([] { Dialogs::setCurrent(nullptr); });
        const QString videos = env.path("videos");
        QDir().mkpath(videos);
        Defaults::standard().set("videoDirectoryBookmark", *FolderBookmark::create(videos));
        QVERIFY(QDir(videos).removeRecursively()); // an unplugged disk
        OrvaneApp app(env.path("store.sqlite"));
        QVERIFY(showActiveMainWindow(app));

        const QString download = AppPaths::downloadsFolder() + "/minimax_video_1.mp4";
        QFile clip(download);
        QVERIFY(clip.open(QIODevice::WriteOnly) && clip.write("clip bytes") > 0);
        clip.close();
        GenerationTask task;
        task.prompt = "a cat";
        task.status = GenerationTaskStatus::completed;
        task.result = GenerationResult::video(download);
        app.queueManager().saveVideoToFolder(task);

        QMessageBox* notice = nullptr;
        QTRY_VERIFY((notice = app.mainWindow()->findChild<QMessageBox*>("noticeBox")) != nullptr);
        QTRY_VERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QString("A finished clip could not be saved in your video folder"));
        QVERIFY2(notice->informativeText().startsWith("It is kept at “" + env.path("data/Unfiled/Orvane_")),
                 qPrintable(notice->informativeText()));
        QVERIFY(notice->informativeText().contains("doesn’t exist"));
        // It does not hold up the window.
        QVERIFY(!QApplication::activeModalWidget());
        notice->close();
    }

    void theResetEmptiesThePresetListsOfTheOpenWindow() {
        TestEnvironment env;
        OrvaneApp app(env.path("store.sqlite"));
        app.showMainWindow();
        QTRY_VERIFY(env.logLines().contains("✅ Swift Data managers initialized and loaded ONCE"));
        MainAppView* root = app.rootView();
        SwiftDataPromptPresetsManager* prompts = root->promptPresetsManager();
        SwiftDataImagePresetsManager* images = root->imagePresetsManager();
        app.modelContext().insert(PromptPreset::make("Mine", "my prompt", "User", false));
        app.modelContext().insert(ImagePreset::make("Mine", "my prompt"));
        QVERIFY(app.modelContext().save());
        prompts->loadPresets();
        images->loadPresets();
        QCOMPARE(prompts->userPresets().size(), 1);
        QVERIFY(!images->presets().isEmpty());
        const auto builtIns = prompts->builtInPresets().size();

        QSignalSpy imagesChanged(images, &SwiftDataImagePresetsManager::presetsChanged);
        QVERIFY(BackupManager::shared().resetEverything());
        // What the lists show is what the store still holds.
        QVERIFY(prompts->userPresets().isEmpty());
        QVERIFY(images->presets().isEmpty());
        QCOMPARE(prompts->builtInPresets().size(), builtIns);
        QVERIFY(!imagesChanged.isEmpty());
    }
};

QTEST_MAIN(AppTests)
#include "tst_app.moc"
