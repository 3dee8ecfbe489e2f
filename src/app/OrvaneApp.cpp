#include "OrvaneApp.h"

#include "APISettings.h"
#include "AppPaths.h"
#include "AppViewModel.h"
#include "BackupManager.h"
#include "CheckForUpdatesAction.h"
#include "Dialogs.h"
#include "DownloadSettings.h"
#include "FirstPaint.h"
#include "FolderBookmark.h"
#include "Log.h"
#include "MainAppView.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "MovementPlayer.h"
#include "QueueManager.h"
#include "SettingsReload.h"
#include "SettingsView.h"
#include "SparkleUpdaterController.h"
#include "StoreWarning.h"
#include "VideoGalleryViewModel.h"
#include "VideoSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <exception>

namespace {
// The main window asks the application before it closes.
class MainWindow final : public QMainWindow {
public:
    explicit MainWindow(OrvaneApp& app) : app_(app) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        if (app_.mainWindowMayClose())
            event->accept();
        else
            event->ignore();
    }

private:
    OrvaneApp& app_;
};

QCoro::Task<> startGalleryMonitoring(QPointer<VideoSettings> settings, QPointer<VideoGalleryViewModel> gallery) {
    if (!settings || !gallery)
        co_return;
    const auto folder = settings->resolveVideoDirectoryURL();
    if (!folder)
        co_return;
    gallery->startMonitoring(*folder);
    FolderBookmark::stopAccessing(*folder);
}

QCoro::Task<> restoreSettings(BackupManager* backup) {
    co_await backup->restoreSettingsIfNeeded();
}
} // namespace

OrvaneApp::OrvaneApp(const QString& storePath, QObject* parent)
    : QObject(parent), restoredAtLaunch_(BackupManager::shared().restoreSettingsAtLaunch()),
      sparkleUpdater_(new SparkleUpdaterController(this)), downloadSettings_(new DownloadSettings(this)),
      videoSettings_(new VideoSettings(this)), apiSettings_(new APISettings(this)),
      appViewModel_(new AppViewModel(this)), queueManager_(new QueueManager(this)),
      galleryViewModel_(new VideoGalleryViewModel(this)), backupManager_(&BackupManager::shared()) {
    AppPaths::removeStaleDownloads();
    modelContext_ = ModelSchema::openStore(storePath.isEmpty() ? AppPaths::storeFile() : storePath);
    warnAboutStoreRecovery(*modelContext_);
    modelContext_->setAutosaveEnabled(true);
    // Handed over before anything can ask for a backup, so a backup never goes without the records.
    backupManager_->setModelContext(modelContext_.get());
    connect(backupManager_, &BackupManager::storedSettingsChanged, this,
            [this] { reloadStoredSettings(*videoSettings_, downloadSettings_); });
    // A newly chosen folder may take the clips the old one could not.
    connect(videoSettings_, &VideoSettings::videoDirectoryBookmarkChanged, queueManager_,
            [queue = queueManager_] { queue->fileUnfiledClips(); });
    if (qApp)
        connect(qApp, &QCoreApplication::aboutToQuit, this, &OrvaneApp::onWillTerminate);
}

OrvaneApp::~OrvaneApp() {
    delete mainWindow_;
    delete settingsWindow_;
}

AppEnvironment OrvaneApp::environment() const {
    AppEnvironment env;
    env.downloadSettings = downloadSettings_;
    env.videoSettings = videoSettings_;
    env.apiSettings = apiSettings_;
    env.appViewModel = appViewModel_;
    env.queueManager = queueManager_;
    env.movementPlayer = &MovementPlayer::shared(); // building the root content creates the shared player
    env.galleryViewModel = galleryViewModel_;
    env.backupManager = backupManager_;
    env.modelContext = modelContext_.get();
    return env;
}

QMainWindow* OrvaneApp::showMainWindow() {
    if (!mainWindow_) {
        auto* window = new MainWindow(*this);
        window->setObjectName("mainWindow");
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->setWindowTitle(QString());
        window->setUnifiedTitleAndToolBarOnMac(true);
        auto* root = new MainAppView(environment(), window);
        root->setMinimumSize(1000, 700);
        window->setCentralWidget(root);
        connect(root, &MainAppView::appeared, this, &OrvaneApp::onLaunch);
        buildMenus(window);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            window->resize(QSize(1280, 820).boundedTo(area.size()).expandedTo(QSize(1000, 700)));
            window->move(area.center() - window->rect().center());
        }
        mainWindow_ = window;
        rootView_ = root;
    }
    mainWindow_->show();
    return mainWindow_;
}

void OrvaneApp::buildMenus(QMainWindow* window) {
    QMenu* appMenu = window->menuBar()->addMenu("Orvane");
    appMenu->setObjectName("applicationMenu");
    QAction* about = appMenu->addAction("About Orvane");
    about->setObjectName("aboutAction");
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, window, [window] {
        QMessageBox::about(window, "About Orvane",
                           QStringLiteral("Orvane %1\nImages and short clips from your prompts.")
                               .arg(QCoreApplication::applicationVersion()));
    });
    appMenu->addAction(new CheckForUpdatesAction(*sparkleUpdater_, appMenu));
    appMenu->addSeparator();
    QAction* settings = appMenu->addAction("Settings…");
    settings->setObjectName("settingsAction");
    settings->setMenuRole(QAction::PreferencesRole);
    settings->setShortcut(QKeySequence::Preferences);
    if (settings->shortcut().isEmpty())
        settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, [this] { openSettings(); });
    appMenu->addSeparator();
    QAction* quit = appMenu->addAction("Quit Orvane");
    quit->setObjectName("quitAction");
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcut(QKeySequence::Quit);
    if (quit->shortcut().isEmpty())
        quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &OrvaneApp::requestQuit, Qt::QueuedConnection);
}

bool OrvaneApp::confirmQuit() {
    if (quitConfirmed_ || !queueManager_->hasVideoWork())
        return true;
    const auto clips = queueManager_->activeVideoTasks().size() + queueManager_->videoQueue().size();
    const QString message = clips == 1
                                ? QStringLiteral("1 clip is still being made. Quitting now loses it.")
                                : QStringLiteral("%1 clips are still being made. Quitting now loses them.").arg(clips);
    const int choice = Dialogs::current().alert(
        Dialogs::AlertStyle::warning, message,
        QStringLiteral("Clips being generated or downloaded are not saved, and waiting ones are never sent."),
        {QStringLiteral("Keep Working"), QStringLiteral("Quit Anyway")}, 0);
    return choice == 1;
}

void OrvaneApp::requestQuit() {
    if (!confirmQuit())
        return;
    // Quitting closes every window; the main window must not ask a second time.
    const QScopedValueRollback confirmed(quitConfirmed_, true);
    QCoreApplication::quit();
}

bool OrvaneApp::mainWindowMayClose() {
    if (quitConfirmed_)
        return true;
    if (!confirmQuit())
        return false;
    // Without it an open settings window would keep the application, and the jobs, alive.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    return true;
}

QWidget* OrvaneApp::openSettings() {
    if (!settingsWindow_) {
        auto* window = new SettingsView(*videoSettings_, *apiSettings_);
        window->setWindowTitle("Settings");
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->setFixedSize(600, 400);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            window->move(area.center() - QPoint(300, 200));
        }
        settingsWindow_ = window;
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
    return settingsWindow_;
}

void OrvaneApp::onLaunch() {
    if (!sparkleUpdater_->didStart()) {
        sparkleUpdater_->setDidStart(true);
        sparkleUpdater_->updaterController().startUpdater();
    }
    // The tasks begin after this appear work returns, in the order they were started, and once the window shows.
    afterFirstPaint([settings = QPointer(videoSettings_), gallery = QPointer(galleryViewModel_)] {
        startGalleryMonitoring(settings, gallery);
    });
    afterFirstPaint([] { (void)MovementPlayer::shared(); });
    Log::line("📹 [App] MovementPlayer.shared initialized for gallery and presets");
    afterFirstPaint([backup = backupManager_] { restoreSettings(backup); });
    // Clips the video folder could not take last time go there now, if it can.
    afterFirstPaint([queue = QPointer(queueManager_)] {
        if (queue)
            queue->fileUnfiledClips();
    });
}

void OrvaneApp::afterFirstPaint(std::function<void()> work) {
    if (mainWindow_)
        FirstPaint::of(mainWindow_).then(this, std::move(work));
    else
        QTimer::singleShot(0, this, std::move(work));
}

void OrvaneApp::onWillTerminate() {
    QString error;
    if (modelContext_->hasChanges() && !modelContext_->save(&error)) {
        Log::line("❌ [Store] Saving before quitting failed: " + error);
        if (modelContext_->keepsChangesForLater())
            Log::line("💾 [Store] The unsaved changes are kept in the journal and saved at the next start.");
    }
    // Written to the end before the process goes: the backup only touches local files.
    try {
        backupManager_->createBackupNow();
    } catch (const std::exception& failure) {
        Log::line(QStringLiteral("❌ Backup on quit failed: %1").arg(QString::fromUtf8(failure.what())));
    }
}
