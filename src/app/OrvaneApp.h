#pragma once

#include "AppEnvironment.h"
#include "MainAppView.h"

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class APISettings;
class AppViewModel;
class BackupManager;
class DownloadSettings;
class MainAppView;
class ModelContext;
class QMainWindow;
class QueueManager;
class SparkleUpdaterController;
class VideoGalleryViewModel;
class VideoSettings;
class QWidget;

// The application: owns the long-lived objects of the process, the object store, the main window
// and the settings window, runs the launch work each time the main window's content is shown and
// starts a backup when the application is about to quit.
class OrvaneApp : public QObject {
    Q_OBJECT
public:
    // Creates the eight long-lived objects in their fixed order, then opens the store at `storePath`
    // (the user's data folder when empty).
    explicit OrvaneApp(const QString& storePath = {}, QObject* parent = nullptr);
    ~OrvaneApp() override;

    SparkleUpdaterController& sparkleUpdater() const { return *sparkleUpdater_; }
    DownloadSettings& downloadSettings() const { return *downloadSettings_; }
    VideoSettings& videoSettings() const { return *videoSettings_; }
    APISettings& apiSettings() const { return *apiSettings_; }
    AppViewModel& appViewModel() const { return *appViewModel_; }
    QueueManager& queueManager() const { return *queueManager_; }
    VideoGalleryViewModel& galleryViewModel() const { return *galleryViewModel_; }
    BackupManager& backupManager() const { return *backupManager_; }
    bool restoredSettingsAtLaunch() const { return restoredAtLaunch_; }
    ModelContext& modelContext() const { return *modelContext_; }

    // The gallery's held pictures are made by `program` run with `arguments` (the program itself as a thumbnail
    // maker), so the gallery finds them in the thumbnail cache when first shown. Off unless asked for.
    void makeHeldThumbnailsWith(const QString& program, const QStringList& arguments);

    // Builds the main window (with its root content) and shows it.
    QMainWindow* showMainWindow();
    QMainWindow* mainWindow() const { return mainWindow_; }
    MainAppView* rootView() const { return rootView_; }
    QWidget* openSettings();
    QWidget* settingsWindow() const { return settingsWindow_; }

    void onLaunch();
    // What every quit does before the process goes: lets the finished clips being filed get into place with their
    // records (for a few seconds at most), saves the store (or keeps the changes in the journal), writes the quit
    // backup and removes cut-off downloads; after a quit nobody was asked about, it also writes down the clips that
    // were being made. Once per process.
    void onWillTerminate();

    // Every way of quitting asks here first. True when nothing is being made, or the user chose to lose it.
    bool confirmQuit();
    // A logout, shutdown or stop request: quits at once, without asking. The clips being made are lost, and the
    // next start names them.
    void quitWithoutAsking();
    // The process ends without a quit (the display went away): does the work of a quit nobody was asked about.
    void endWithoutQuit();
    // Another start on this profile asked for the window.
    void bringForward();
    // Where a quit nobody was asked about writes down the clips it lost, until the next start shows them (in the
    // cache folder when the data folder refuses it).
    static QString lostClipsFile();
    // The Quit command: asks, then quits.
    void requestQuit();
    // The main window's close button asks the same; the application ends with its main window.
    bool mainWindowMayClose();

private:
    void buildMenus(QMainWindow* window);
    // What the first screen does not need runs once the main window has shown its first picture.
    void afterFirstPaint(std::function<void()> work);
    AppEnvironment environment() const;
    // Paid image requests of the studios on their way or waiting for their answers.
    int imageRequestsInFlight() const;
    void recordLostClips();
    void takeLostClipsRecord();
    void announceLostClips();

    // Declaration order is creation order. The launch restore of the settings is decided first, before
    // the settings objects read (and store defaults for) their keys.
    bool restoredAtLaunch_;
    SparkleUpdaterController* sparkleUpdater_;
    DownloadSettings* downloadSettings_;
    VideoSettings* videoSettings_;
    APISettings* apiSettings_;
    AppViewModel* appViewModel_;
    QueueManager* queueManager_;
    VideoGalleryViewModel* galleryViewModel_;
    BackupManager* backupManager_;
    std::unique_ptr<ModelContext> modelContext_;

    // Set while a confirmed quit closes the windows, so they do not ask again.
    bool quitConfirmed_ = false;
    // Set when the quit came from outside (a signal, the session's end) and nobody chose to lose anything.
    bool quitUnasked_ = false;
    bool quitWorkDone_ = false;
    // Set when the display went away: no event loop may run any more.
    bool endingWithoutQuit_ = false;
    // Prompts of the clips the previous run lost when it was ended, to be named once the window shows.
    QStringList lostClips_;
    // Lists of lost clips that could not be read, where they were kept, to be named with them.
    QStringList unreadableLostClips_;
    QPointer<QMainWindow> mainWindow_;
    QPointer<MainAppView> rootView_;
    QPointer<QWidget> settingsWindow_;
};
