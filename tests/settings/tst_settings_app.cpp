#include "APIManager.h"
#include "BackupManager.h"
#include "Defaults.h"
#include "DownloadSettings.h"
#include "GuiTestSupport.h"
#include "ImagePreset.h"
#include "MiniMaxAPIService.h"
#include "ModelContext.h"
#include "OrvaneApp.h"
#include "QueueManager.h"
#include "SettingsView.h"
#include "TestSupport.h"
#include "VideoMetadata.h"
#include "VideoSettings.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <nlohmann/json.hpp>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// How the application starts, quits and resets around the backup.
class SettingsAppTests : public QObject {
    Q_OBJECT

private slots:
    void theLaunchRestoreHappensBeforeTheSettingsObjectsReadTheirKeys() {
        TestEnvironment env;
        writeFile(env.path("data/Backups/settings_backup.json"), R"({
            "googleAPIKey": "AIzaRestored", "miniMaxAPIKey": "video-one", "miniMaxAPIKey2": "",
            "videoQuality": "512P", "videoDuration": "10", "defaultPromptOptimization": false,
            "soundNotificationEnabled": false, "selectedSoundName": "bell", "outputPreset": "hd1080"
        })");
        {
            OrvaneApp app(env.path("store.sqlite"));
            QVERIFY(app.restoredSettingsAtLaunch());
            // Every object created after the decision sees the restored values.
            QCOMPARE(app.videoSettings().quality(), VideoQuality::p512);
            QCOMPARE(app.videoSettings().duration(), VideoDuration::seconds10);
            QVERIFY(!app.videoSettings().defaultPromptOptimization());
            QVERIFY(!app.videoSettings().soundNotificationEnabled());
            QCOMPARE(APIManager::shared().googleAPIKey(), QStringLiteral("AIzaRestored"));
            QCOMPARE(app.queueManager().videoServices()[0]->apiKey(), QStringLiteral("video-one"));
            QCOMPARE(APIManager::shared().miniMaxAPIKey2(), QString());
            QVERIFY(app.backupManager().lastRestoreDate());

            // The appear-time request does nothing more, even with the keys gone again.
            Defaults::standard().remove("googleAPIKey");
            Defaults::standard().remove("miniMaxAPIKey");
            Defaults::standard().remove("videoQuality");
            Defaults::standard().remove("lastRestoreDate");
            app.backupManager().restoreSettingsIfNeeded();
            QVERIFY(!Defaults::standard().contains("googleAPIKey"));
            QVERIFY(!Defaults::standard().contains("lastRestoreDate"));
        }
        // The next launch finds stored settings and leaves them alone.
        Defaults::standard().set("videoQuality", QStringLiteral("1080P"));
        APIManager::resetSharedForTesting();
        OrvaneApp again(env.path("store.sqlite"));
        QVERIFY(!again.restoredSettingsAtLaunch());
        QCOMPARE(again.videoSettings().quality(), VideoQuality::p1080);
    }

    void quittingWritesTheWholeBackupBeforeReturning() {
        TestEnvironment env;
        OrvaneApp app(env.path("store.sqlite"));
        QCOMPARE(app.backupManager().modelContext(), &app.modelContext());
        auto video = VideoMetadata::make("Orvane_clip.mp4", "sea", "768P", 6, "image_to_video", true);
        video->setFirstFrameImageData(QByteArray("first-frame"));
        app.modelContext().insert(video);
        auto preset = ImagePreset::make("Preset", "p");
        preset->setImageData(QByteArray("picture"));
        app.modelContext().insert(preset);
        // Not saved yet: the quit saves the store, then backs it up.
        QVERIFY(app.modelContext().hasChanges());

        app.onWillTerminate();
        QVERIFY(!app.modelContext().hasChanges());
        const QString folder = env.path("data/Backups");
        const QByteArray records = readFile(folder + "/swift_data_backup.json");
        const auto json = nlohmann::json::parse(records.constBegin(), records.constEnd(), nullptr, false);
        QVERIFY(json.is_object());
        QCOMPARE(json["videoMetadata"].size(), size_t(1));
        QCOMPARE(json["imagePresets"].size(), size_t(1));
        const QString id = BackupManager::uuidString(video->id());
        QCOMPARE(readFile(folder + "/UserImages/VideoMetadata/" + id + "_first_frame.jpg"), QByteArray("first-frame"));
        QCOMPARE(
            readFile(folder + "/UserImages/ImagePresets/" + BackupManager::uuidString(preset->id()) + "_image.jpg"),
            QByteArray("picture"));
        QVERIFY(QFileInfo(folder + "/settings_backup.json").isFile());
        QVERIFY(app.backupManager().lastBackupDate());

        // A quit that cannot write says so on the console.
        QVERIFY(QDir(folder).removeRecursively());
        writeFile(folder, "in the way");
        app.onWillTerminate();
        QVERIFY(env.hasLineStartingWith("❌ Backup on quit failed: " + folder + ": Not a directory"));
    }

    void theSettingsWindowOpensFromTheMenu() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        OrvaneApp app(env.path("store.sqlite"));
        QMainWindow* window = app.showMainWindow();
        GUI_REQUIRE(action, QAction, window, "settingsAction");
        QCOMPARE(action->text(), QStringLiteral("Settings…"));
        action->trigger();
        auto* settings = qobject_cast<SettingsView*>(app.settingsWindow());
        QVERIFY(settings);
        QTRY_VERIFY(settings->isVisible());
        QCOMPARE(settings->tabs()->count(), 2);
        GUI_REQUIRE(createBackup, QWidget, settings, "createBackupButton");
        GUI_REQUIRE(googleKey, QWidget, settings, "googleKeyField");
    }

    void theLiveSettingsFollowAReset() {
        TestEnvironment env;
        OrvaneApp app(env.path("store.sqlite"));
        VideoSettings& video = app.videoSettings();
        video.setQuality(VideoQuality::p1080);
        video.setDuration(VideoDuration::seconds10);
        video.setSoundNotificationEnabled(false);
        video.setVideoDirectoryBookmark(QByteArray("/somewhere"));
        app.downloadSettings().setBookmarkData(QByteArray("/photos"));
        APIManager::shared().setGoogleAPIKey("kept-key");
        QSignalSpy quality(&video, &VideoSettings::qualityChanged);

        QVERIFY(app.backupManager().resetEverything());
        // What a fresh start would read now.
        QCOMPARE(video.quality(), VideoQuality::p768);
        QCOMPARE(video.duration(), VideoDuration::seconds6);
        QVERIFY(video.soundNotificationEnabled());
        QVERIFY(!video.videoDirectoryBookmark());
        QVERIFY(!app.downloadSettings().bookmarkData());
        QCOMPARE(quality.size(), 1);
        QCOMPARE(APIManager::shared().googleAPIKey(), QStringLiteral("kept-key"));
        QVERIFY(!Defaults::standard().contains("downloadFolderBookmark"));
        QVERIFY(!Defaults::standard().contains("videoDirectoryBookmark"));
    }
};

QTEST_MAIN(SettingsAppTests)
#include "tst_settings_app.moc"
