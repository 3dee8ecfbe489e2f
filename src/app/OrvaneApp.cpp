#include "OrvaneApp.h"

#include "APISettings.h"
#include "AppPaths.h"
#include "AppViewModel.h"
#include "BackupManager.h"
#include "CheckForUpdatesAction.h"
#include "CheckedWrite.h"
#include "Dialogs.h"
#include "DownloadSettings.h"
#include "FirstPaint.h"
#include "FolderBookmark.h"
#include "GalleryClipModel.h"
#include "HeldThumbnailMaker.h"
#include "ImageStudioModel.h"
#include "Log.h"
#include "MainAppView.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "MovementPlayer.h"
#include "NoReplaceMove.h"
#include "QueueManager.h"
#include "SettingsReload.h"
#include "SettingsView.h"
#include "SparkleUpdaterController.h"
#include "StoreWarning.h"
#include "TaskOwner.h"
#include "VideoGalleryViewModel.h"
#include "VideoSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <exception>
#include <utility>

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

// Waits for nothing, so it is a plain call rather than a task.
void startGalleryMonitoring(QPointer<VideoSettings> settings, QPointer<VideoGalleryViewModel> gallery) {
    if (!settings || !gallery)
        return;
    const auto folder = settings->resolveVideoDirectoryURL();
    if (!folder)
        return;
    gallery->startMonitoring(*folder);
    FolderBookmark::stopAccessing(*folder);
}

QString quitWarning(qsizetype clips, int pictures) {
    QStringList counts;
    if (clips > 0)
        counts << (clips == 1 ? QStringLiteral("1 clip") : QStringLiteral("%1 clips").arg(clips));
    if (pictures > 0)
        counts << (pictures == 1 ? QStringLiteral("1 picture") : QStringLiteral("%1 pictures").arg(pictures));
    const bool one = clips + pictures == 1;
    return QStringLiteral("%1 %2 still being made. Quitting now loses %3.")
        .arg(counts.join(QStringLiteral(" and ")), one ? QStringLiteral("is") : QStringLiteral("are"),
             one ? QStringLiteral("it") : QStringLiteral("them"));
}

QString quitDetails(qsizetype clips, int pictures) {
    QStringList details;
    if (clips > 0)
        details << QStringLiteral(
            "Clips being generated or downloaded are not saved, and waiting ones are never sent.");
    if (pictures > 0)
        details << (pictures == 1 ? QStringLiteral("The picture being generated is not saved.")
                                  : QStringLiteral("Pictures being generated are not saved."));
    return details.join(u' ');
}

// Downloads cut off by the quit: never finished, never filed.
void removeCutOffDownloads() {
    for (const QString& folder : AppPaths::downloadFolders()) {
        const QDir dir(folder);
        const auto parts =
            dir.entryInfoList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
        for (const QFileInfo& part : parts) {
            if (!QFile::remove(part.absoluteFilePath()))
                Log::line(QStringLiteral("⚠️ [App] Could not remove the cut-off download %1").arg(part.fileName()));
        }
    }
}

// The data folder's list, then the cache's, where a quit writes it when the data folder refuses it.
QStringList lostClipsFiles() {
    return {OrvaneApp::lostClipsFile(), AppPaths::cacheFolder() + "/Orvane.lost-clips.json"};
}

// The prompts a list names; none when it cannot be read whole.
std::optional<QStringList> readLostClips(const QString& path) {
    constexpr qint64 kMaxBytes = 1 << 20;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxBytes)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonValue prompts = QJsonDocument::fromJson(file.readAll(), &error).object().value("prompts");
    if (error.error != QJsonParseError::NoError || !prompts.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue& prompt : prompts.toArray())
        list << prompt.toString();
    return list;
}

QString quotedPrompt(const QString& prompt) {
    constexpr qsizetype kShown = 120;
    const QString text = prompt.simplified();
    if (text.isEmpty())
        return QStringLiteral("(no prompt)");
    return u'“' + (text.size() > kShown ? text.left(kShown) + u'…' : text) + u'”';
}
} // namespace

OrvaneApp::OrvaneApp(const QString& storePath, QObject* parent)
    : QObject(parent), restoredAtLaunch_(BackupManager::shared().restoreSettingsAtLaunch()),
      sparkleUpdater_(new SparkleUpdaterController(this)), downloadSettings_(new DownloadSettings(this)),
      videoSettings_(new VideoSettings(this)), apiSettings_(new APISettings(this)),
      appViewModel_(new AppViewModel(this)), queueManager_(new QueueManager(this)),
      galleryViewModel_(new VideoGalleryViewModel(this)), backupManager_(&BackupManager::shared()) {
    // The gallery is behind the image studio: it reads its clips' pictures once the video studio is first shown.
    galleryViewModel_->clipModel()->holdMetadata();
    AppPaths::removeStaleDownloads();
    modelContext_ = ModelSchema::openStore(storePath.isEmpty() ? AppPaths::storeFile() : storePath);
    modelContext_->setAutosaveEnabled(true);
    // Handed over before anything can ask for a backup, so a backup never goes without the records.
    backupManager_->setModelContext(modelContext_.get());
    // With the store set aside the last backup may be the only readable copy of the records: it is kept before
    // anything (the quit backup, or a crash before it) can replace it.
    std::optional<QString> keptBackup;
    std::optional<QString> backupNotKept;
    try {
        keptBackup = backupManager_->keepPreviousBackupNow();
    } catch (const std::exception& failure) {
        backupNotKept = QString::fromUtf8(failure.what());
        Log::line(QStringLiteral("❌ [Backup] The previous backup could not be kept: %1").arg(*backupNotKept));
    }
    warnAboutStoreRecovery(*modelContext_, keptBackup, backupNotKept);
    modelContext_->setAsideDutyDone(ModelContext::SetAsideDuty::told);
    connect(backupManager_, &BackupManager::storedSettingsChanged, this,
            [this] { reloadStoredSettings(*videoSettings_, downloadSettings_); });
    // A newly chosen folder may take the clips the old one could not.
    connect(videoSettings_, &VideoSettings::videoDirectoryBookmarkChanged, queueManager_,
            [queue = queueManager_] { TaskOwner::own(queue, queue->fileUnfiledClips()); });
    takeLostClipsRecord();
    if (qApp)
        connect(qApp, &QCoreApplication::aboutToQuit, this, &OrvaneApp::onWillTerminate);
    // The session's end (logout, shutdown) quits like a stop request: the session manager waits for nobody.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, [this] { quitWithoutAsking(); });
}

OrvaneApp::~OrvaneApp() {
    delete mainWindow_;
    delete settingsWindow_;
}

void OrvaneApp::makeHeldThumbnailsWith(const QString& program, const QStringList& arguments) {
    new HeldThumbnailMaker(galleryViewModel_->clipModel(), program, arguments, this);
}

AppEnvironment OrvaneApp::environment() const {
    AppEnvironment env;
    env.downloadSettings = downloadSettings_;
    env.videoSettings = videoSettings_;
    env.appViewModel = appViewModel_;
    env.queueManager = queueManager_;
    env.movementPlayer = &MovementPlayer::shared(); // building the root content creates the shared player
    env.galleryViewModel = galleryViewModel_;
    env.modelContext = modelContext_.get();
    return env;
}

QMainWindow* OrvaneApp::showMainWindow() {
    if (!mainWindow_) {
        auto* window = new MainWindow(*this);
        window->setObjectName("mainWindow");
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->setWindowTitle(QString());
        // The title stays empty; assistive tools still need to say which window this is.
        window->setAccessibleName(QStringLiteral("Orvane"));
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

int OrvaneApp::imageRequestsInFlight() const {
    int requests = 0;
    if (mainWindow_) {
        for (const ImageStudioModel* studio : mainWindow_->findChildren<ImageStudioModel*>())
            requests += studio->isRequestInFlight() ? 1 : 0;
    }
    return requests;
}

bool OrvaneApp::confirmQuit() {
    if (quitConfirmed_)
        return true;
    const auto clips = queueManager_->activeVideoTasks().size() + queueManager_->videoQueue().size();
    const int pictures = imageRequestsInFlight();
    if (clips == 0 && pictures == 0)
        return true;
    const int choice = Dialogs::current().alert(Dialogs::AlertStyle::warning, quitWarning(clips, pictures),
                                                quitDetails(clips, pictures),
                                                {QStringLiteral("Keep Working"), QStringLiteral("Quit Anyway")}, 0);
    return choice == 1;
}

void OrvaneApp::quitWithoutAsking() {
    if (!quitUnasked_)
        Log::line(QStringLiteral("🛑 [App] Asked to quit by the system: quitting without asking"));
    quitUnasked_ = true;
    // Every window closes without asking, now and if the quit is delivered again.
    quitConfirmed_ = true;
    QCoreApplication::quit();
}

void OrvaneApp::endWithoutQuit() {
    Log::line(QStringLiteral("🛑 [App] The program is ending without a quit (the display went away): saving first"));
    quitUnasked_ = true;
    quitConfirmed_ = true;
    endingWithoutQuit_ = true;
    onWillTerminate();
}

void OrvaneApp::bringForward() {
    QMainWindow* window = showMainWindow();
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
    Log::line(QStringLiteral("🪟 [App] Another start on this profile brought the window forward"));
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
        auto* window = new SettingsView(*videoSettings_, *backupManager_);
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
    afterFirstPaint([backup = backupManager_] { TaskOwner::own(backup, backup->restoreSettingsIfNeeded()); });
    // Clips the video folder could not take last time go there now, if it can.
    afterFirstPaint([queue = QPointer(queueManager_)] {
        if (queue)
            TaskOwner::own(queue, queue->fileUnfiledClips());
    });
    if (!lostClips_.isEmpty() || !unreadableLostClips_.isEmpty())
        afterFirstPaint([this] { announceLostClips(); });
}

void OrvaneApp::afterFirstPaint(std::function<void()> work) {
    if (mainWindow_)
        FirstPaint::of(mainWindow_).then(this, std::move(work));
    else
        QTimer::singleShot(0, this, std::move(work));
}

QString OrvaneApp::lostClipsFile() {
    return AppPaths::dataFolder() + "/Orvane.lost-clips.json";
}

void OrvaneApp::takeLostClipsRecord() {
    for (const QString& path : lostClipsFiles()) {
        if (!QFileInfo(path).isFile())
            continue;
        if (const auto prompts = readLostClips(path)) {
            lostClips_ << *prompts;
            if (prompts->isEmpty())
                QFile::remove(path);
            continue;
        }
        // Never removed unread: it names clips the user may want to make again.
        const QString aside = path + ".unreadable-" + QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss");
        const bool moved = NoReplaceMove::move(path, aside).outcome == NoReplaceMove::Outcome::moved;
        unreadableLostClips_ << (moved ? aside : path);
    }
}

void OrvaneApp::announceLostClips() {
    if (!unreadableLostClips_.isEmpty()) {
        const QStringList kept = std::exchange(unreadableLostClips_, {});
        QStringList where;
        for (const QString& path : kept)
            where << QStringLiteral("“%1” in %2")
                         .arg(QFileInfo(path).fileName(), QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
        Dialogs::current().notify(
            Dialogs::AlertStyle::warning,
            QStringLiteral("The list of clips lost when Orvane was last closed could not be read"),
            QStringLiteral("It was kept as %1.").arg(where.join(QStringLiteral(" and "))));
        Log::line(
            QStringLiteral("⚠️ [App] The list of clips lost when the last run was ended could not be read; it "
                           "was kept as %1")
                .arg(kept.join(QStringLiteral(", "))));
    }
    if (lostClips_.isEmpty())
        return;
    const QStringList prompts = std::exchange(lostClips_, {});
    QStringList lines;
    for (const QString& prompt : prompts)
        lines << quotedPrompt(prompt);
    const bool one = prompts.size() == 1;
    const QString message =
        one ? QStringLiteral("1 clip was still being made when Orvane was last closed")
            : QStringLiteral("%1 clips were still being made when Orvane was last closed").arg(prompts.size());
    const QString details =
        (one ? QStringLiteral("It was lost:\n") : QStringLiteral("They were lost:\n")) + lines.join(u'\n');
    Dialogs::current().notify(Dialogs::AlertStyle::warning, message, details);
    Log::line(QStringLiteral("⚠️ [App] %1 clip(s) lost when the last run was ended: %2")
                  .arg(prompts.size())
                  .arg(lines.join(QStringLiteral(", "))));
    for (const QString& path : lostClipsFiles())
        QFile::remove(path);
}

void OrvaneApp::recordLostClips() {
    // With what an earlier run lost and nobody was shown yet.
    const QStringList prompts = lostClips_ + queueManager_->promptsInFlight();
    if (prompts.isEmpty())
        return;
    QJsonArray list;
    for (const QString& prompt : prompts)
        list.append(prompt);
    const QByteArray bytes = QJsonDocument(QJsonObject{{"prompts", list}}).toJson();
    const QStringList files = lostClipsFiles();
    QStringList errors;
    for (const QString& file : files) {
        QString error;
        if (AppPaths::ensurePrivateFolder(QFileInfo(file).absolutePath()) &&
            CheckedWrite::writeFile(file, bytes, &error, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            // The list holds what the other one named.
            for (const QString& other : files) {
                if (other != file)
                    QFile::remove(other);
            }
            if (!errors.isEmpty())
                Log::line(QStringLiteral("⚠️ [App] The data folder refused the list of lost clips (%1); it was "
                                         "written to %2")
                              .arg(errors.join(QStringLiteral("; ")), file));
            Log::line(QStringLiteral("📝 [App] %1 clip(s) being made were lost by the quit; the next start names them")
                          .arg(prompts.size()));
            return;
        }
        errors << (error.isEmpty() ? QStringLiteral("%1 cannot be written").arg(file) : error);
    }
    Log::line(QStringLiteral("❌ [App] Could not write down the clips lost by the quit: %1")
                  .arg(errors.join(QStringLiteral("; "))));
}

void OrvaneApp::onWillTerminate() {
    // A clip copy takes seconds at most; its record must be in the store before the last save. Without a display
    // the toolkit would end the process from inside a wait, before the save: the copies still going are left at
    // once, each clip kept under its name with its record.
    constexpr int kFilingWaitMs = 10000;
    queueManager_->finishFilingBeforeQuit(endingWithoutQuit_ ? 0 : kFilingWaitMs);
    if (quitUnasked_)
        recordLostClips();
    removeCutOffDownloads();
    QString error;
    if (modelContext_->hasChanges() && !modelContext_->save(&error)) {
        Log::line("❌ [Store] Saving before quitting failed: " + error);
        if (modelContext_->journalHoldsChanges())
            Log::line("💾 [Store] The unsaved changes are kept in the journal and saved at the next start.");
    }
    // Written to the end before the process goes: the backup only touches local files.
    try {
        backupManager_->createBackupNow();
    } catch (const std::exception& failure) {
        Log::line(QStringLiteral("❌ Backup on quit failed: %1").arg(QString::fromUtf8(failure.what())));
    }
}
