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
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QMainWindow>
#include <QThreadPool>

#include <cstdlib>
#include <thread>
#include <utility>

#include <dlfcn.h>

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
    // Two of the longest steps before the window can paint are done on a second thread while the display connection
    // is set up: reading the font configuration, which the first screen's text needs, and loading the store's
    // database driver, which the toolkit would otherwise load and link on this thread when the store opens (it then
    // finds the library loaded). The toolkit brings the font library in; it is looked up rather than linked, so the
    // build needs nothing more.
    const auto fontInit = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "FcInit"));
    const QByteArray storeDriver =
        QFile::encodeName(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/sqldrivers/libqsqlite.so");
    std::thread earlyWork([fontInit, storeDriver] {
        if (fontInit)
            fontInit();
        // Kept loaded: the toolkit holds it for the life of the process anyway.
        dlopen(storeDriver.constData(), RTLD_LAZY | RTLD_LOCAL);
    });
    QApplication app(argc, argv);
    earlyWork.join();
    // The first screen's symbols and the font database are read while the store opens and the screen is built;
    // the application waits for the pool as it ends.
    QThreadPool::globalInstance()->start(&prepareSymbolDrawings);
    QThreadPool::globalInstance()->start(&Theme::prepareFonts);
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
    // From here a stop request waits for the event loop, which quits the way the Quit command does.
    QuitSignals quitSignals;

    WidgetDialogs dialogs;
    Dialogs::setCurrent(&dialogs);

    OrvaneApp orvane;
    orvane.makeHeldThumbnailsWith(QCoreApplication::applicationFilePath(), {HeldThumbnailMaker::kArgument});
    QObject::connect(&quitSignals, &QuitSignals::received, &orvane, &OrvaneApp::quitWithoutAsking);
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
