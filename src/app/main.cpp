#include "AppPaths.h"
#include "DeferredIconStyle.h"
#include "FirstPaint.h"
#include "HeldThumbnailMaker.h"
#include "Log.h"
#include "OrvaneApp.h"
#include "QuitSignals.h"
#include "SingleInstance.h"
#include "SymbolIcon.h"
#include "Theme.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QIcon>
#include <QMainWindow>
#include <QScopeGuard>
#include <QThreadPool>

#include <cstdlib>
#include <utility>

namespace {
// Set while the event loop runs. The display going away ends the process from inside the toolkit (exit()), past
// the event loop and the quit; the work of a quit is done then on the way out.
OrvaneApp* running = nullptr;

void finishOnExit() {
    if (OrvaneApp* orvane = std::exchange(running, nullptr))
        orvane->endWithoutQuit();
}
} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && qstrcmp(argv[1], HeldThumbnailMaker::kArgument) == 0)
        return HeldThumbnailMaker::run(argc, argv);
    QApplication app(argc, argv);
    // The first screen's symbols and the font database are read while the store opens and the screen is built.
    // Every way out waits for them while the application object stands: Qt's own wait for its pool comes after the
    // font database is gone, and a second start ends before the reading does.
    QThreadPool::globalInstance()->start(&prepareSymbolDrawings);
    QThreadPool::globalInstance()->start(&Theme::prepareFonts);
    const auto preparedFirst = qScopeGuard([] { QThreadPool::globalInstance()->waitForDone(); });
    QApplication::setStyle(new DeferredIconStyle);
    QApplication::setOrganizationName("Orvane");
    QApplication::setApplicationName("Orvane");
    QApplication::setApplicationDisplayName("Orvane");
    QApplication::setApplicationVersion(ORVANE_VERSION);
    QApplication::setDesktopFileName("orvane");

    // One copy per profile: a second start hands over to the first before it reads or writes anything there.
    SingleInstance instance(AppPaths::dataFolder());
    if (!instance.acquire()) {
        Log::line(
            instance.activateRunning()
                ? QStringLiteral("🪟 [App] Orvane is already running on this profile: its window was brought forward")
                : QStringLiteral("⚠️ [App] Orvane is already running on this profile but did not answer"));
        return 0;
    }
    // From here a stop request is remembered and quits the way the Quit command does once the event loop runs.
    QuitSignals quitSignals;

    WidgetDialogs dialogs;
    Dialogs::setCurrent(&dialogs);

    OrvaneApp orvane;
    orvane.makeHeldThumbnailsWith(QCoreApplication::applicationFilePath(), {HeldThumbnailMaker::kArgument});
    QObject::connect(&quitSignals, &QuitSignals::received, &orvane, &OrvaneApp::quitWithoutAsking);
    // One that came while the store was salvaged or its alert was open.
    if (quitSignals.wasReceived())
        QMetaObject::invokeMethod(&orvane, &OrvaneApp::quitWithoutAsking, Qt::QueuedConnection);
    QObject::connect(&instance, &SingleInstance::activationRequested, &orvane, &OrvaneApp::bringForward);
    QMainWindow* window = orvane.showMainWindow();
    // Set once the window shows: the theme lookup reads the index of every installed icon theme.
    FirstPaint::of(window).then(
        &app, [] { QApplication::setWindowIcon(QIcon::fromTheme("orvane", QIcon(":/icons/orvane.svg"))); });
    // A later start keeps asking until this answers, so the socket can wait for the window too.
    FirstPaint::of(window).then(&instance, [&instance] { instance.listen(); });
    FirstPaint::reportIfRequested(window);
    running = &orvane;
    std::atexit(finishOnExit);
    const int status = app.exec();
    running = nullptr;
    Dialogs::setCurrent(nullptr);
    return status;
}
