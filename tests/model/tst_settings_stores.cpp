#include "APIManager.h"
#include "APISettings.h"
#include "AppViewModel.h"
#include "Defaults.h"
#include "DownloadSettings.h"
#include "ImageProvider.h"
#include "TestSupport.h"
#include "VideoOptions.h"
#include "VideoSettings.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

namespace {
// The settings file's inode and modification time: a rewrite (a new file renamed over it) changes both.
std::pair<ino_t, timespec> fileIdentity(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {0, {}};
    return {info.st_ino, info.st_mtim};
}

void makeSounds(const TestEnvironment& env, const QStringList& files) {
    QDir().mkpath(env.path("sounds"));
    for (const QString& f : files)
        QFile(env.path("sounds/" + f)).open(QIODevice::WriteOnly);
}
} // namespace

class SettingsStoreTests : public QObject {
    Q_OBJECT
private slots:
    void videoOptionsParseOnlyExactRawValues() {
        QCOMPARE(fromRawValue<VideoQuality>(QString("1080P")), std::optional(VideoQuality::p1080));
        QVERIFY(!fromRawValue<VideoQuality>(QString("1080p")));
        QVERIFY(!fromRawValue<VideoQuality>(QString("768 P")));
        QVERIFY(!fromRawValue<VideoQuality>(QString(" 512P")));
        QCOMPARE(fromRawValue<VideoModel>(QString("MiniMax-Hailuo-2.3-Fast")), std::optional(VideoModel::hailuo23Fast));
        QVERIFY(!fromRawValue<VideoModel>(QString("MiniMax-Hailuo-2.3-fast")));
        QCOMPARE(fromRawValue<VideoDuration>(10), std::optional(VideoDuration::seconds10));
        QVERIFY(!fromRawValue<VideoDuration>(8));
        QCOMPARE(rawValue(VideoDuration::seconds6), 6);
        QCOMPARE(rawValue(VideoModel::hailuo02), QStringLiteral("MiniMax-Hailuo-02"));
        const auto qualities = allCases<VideoQuality>();
        QCOMPARE(qualities.size(), size_t(3));
        QCOMPARE(qualities[0], VideoQuality::p512);
        QCOMPARE(qualities[2], VideoQuality::p1080);
        const auto models = allCases<VideoModel>();
        QCOMPARE(models[1], VideoModel::hailuo23);
        QCOMPARE(qHash(VideoQuality::p768), qHash(QStringLiteral("768P")));
        QVERIFY(qHash(VideoDuration::seconds10) == qHash(10));
        QCOMPARE(rawValue(ImageProvider::orvane), QStringLiteral("orvane"));
    }

    void firstLaunchWritesOnlyTheFourDefaults() {
        TestEnvironment env;
        VideoSettings settings;
        const Defaults& d = Defaults::standard();
        QCOMPARE(*d.string("videoQuality"), QStringLiteral("768P"));
        QCOMPARE(d.integer("videoDuration"), 6);
        QVERIFY(d.boolValue("defaultPromptOptimization"));
        QVERIFY(d.boolValue("soundNotificationEnabled"));
        // No sounds folder here, so the sound name stays unwritten.
        QVERIFY(!d.contains("selectedSoundName"));
        QVERIFY(!d.contains("videoModel"));
        QVERIFY(!d.contains("fastPretreatment"));
        QCOMPARE(settings.quality(), VideoQuality::p768);
        QCOMPARE(settings.duration(), VideoDuration::seconds6);
        QCOMPARE(settings.selectedSoundName(), QStringLiteral("Glass"));
        QCOMPARE(settings.selectedModel(), VideoModel::hailuo02);
        QVERIFY(!settings.fastPretreatment());
        QVERIFY(!settings.hasVideoDirectory());
    }

    void unparsableStoredValuesFallBack_data() {
        QTest::addColumn<QVariant>("quality");
        QTest::addColumn<QVariant>("duration");
        QTest::addColumn<QVariant>("model");
        QTest::addColumn<int>("expectedQuality");
        QTest::addColumn<int>("expectedDuration");
        QTest::addColumn<int>("expectedModel");
        QTest::newRow("lower-case p, 8 s, lower-case fast")
            << QVariant("1080p") << QVariant(8) << QVariant("MiniMax-Hailuo-2.3-fast") << int(VideoQuality::p768)
            << int(VideoDuration::seconds6) << int(VideoModel::hailuo02);
        QTest::newRow("words") << QVariant("best") << QVariant("ten") << QVariant("") << int(VideoQuality::p768)
                               << int(VideoDuration::seconds6) << int(VideoModel::hailuo02);
        QTest::newRow("valid") << QVariant("512P") << QVariant(10) << QVariant("MiniMax-Hailuo-2.3")
                               << int(VideoQuality::p512) << int(VideoDuration::seconds10) << int(VideoModel::hailuo23);
        QTest::newRow("1080P") << QVariant("1080P") << QVariant("10") << QVariant("MiniMax-Hailuo-2.3-Fast")
                               << int(VideoQuality::p1080) << int(VideoDuration::seconds10)
                               << int(VideoModel::hailuo23Fast);
    }
    void unparsableStoredValuesFallBack() {
        QFETCH(QVariant, quality);
        QFETCH(QVariant, duration);
        QFETCH(QVariant, model);
        TestEnvironment env;
        Defaults::standard().set("videoQuality", quality);
        Defaults::standard().set("videoDuration", duration);
        Defaults::standard().set("videoModel", model);
        VideoSettings settings;
        QTEST(int(settings.quality()), "expectedQuality");
        QTEST(int(settings.duration()), "expectedDuration");
        QTEST(int(settings.selectedModel()), "expectedModel");
        // Stored values are never rewritten by reading them.
        QCOMPARE(Defaults::standard().object("videoQuality").toString(), quality.toString());
    }

    void writesGoToTheDefaultsAtOnce() {
        TestEnvironment env;
        VideoSettings settings;
        QSignalSpy spy(&settings, &VideoSettings::qualityChanged);
        settings.setQuality(VideoQuality::p1080);
        settings.setDuration(VideoDuration::seconds10);
        settings.setSelectedModel(VideoModel::hailuo23Fast);
        settings.setFastPretreatment(true);
        settings.setDefaultPromptOptimization(false);
        QCOMPARE(spy.count(), 1);
        // Another instance sees the changes only through the defaults.
        VideoSettings fresh;
        QCOMPARE(fresh.quality(), VideoQuality::p1080);
        QCOMPARE(fresh.duration(), VideoDuration::seconds10);
        QCOMPARE(fresh.selectedModel(), VideoModel::hailuo23Fast);
        QVERIFY(fresh.fastPretreatment());
        QVERIFY(!fresh.defaultPromptOptimization());
    }

    void aMissingSoundIsReplacedByTheFirstName() {
        TestEnvironment env;
        makeSounds(env, {"message.oga", "complete.oga", "bell.wav", "Glass.aiff"});
        Defaults::standard().set("selectedSoundName", QStringLiteral("Submarine"));
        VideoSettings settings;
        QCOMPARE(settings.availableSounds(), (QStringList{"bell", "complete", "message"}));
        QCOMPARE(settings.selectedSoundName(), QStringLiteral("bell"));
        QCOMPARE(*Defaults::standard().string("selectedSoundName"), QStringLiteral("bell"));

        Defaults::standard().set("selectedSoundName", QStringLiteral("message"));
        VideoSettings kept;
        QCOMPARE(kept.selectedSoundName(), QStringLiteral("message"));
    }

    void choosingAVideoFolder() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        VideoSettings settings;

        // Cancelled: nothing changes.
        settings.selectVideoDirectory();
        QCOMPARE(dialogs.folderRequests.size(), 1);
        QCOMPARE(dialogs.folderRequests[0].message, QStringLiteral("Choose folder for saving videos"));
        QCOMPARE(dialogs.folderRequests[0].prompt, QStringLiteral("Grant Access"));
        QVERIFY(!settings.hasVideoDirectory());

        QDir().mkpath(env.path("videos"));
        dialogs.folderAnswer = env.path("videos");
        settings.selectVideoDirectory();
        QVERIFY(settings.hasVideoDirectory());
        QVERIFY(Defaults::standard().data("videoDirectoryBookmark"));
        QVERIFY(
            env.logLines().contains("✅ [VideoSettings] Successfully configured video folder: " + env.path("videos")));
        QCOMPARE(*settings.resolveVideoDirectoryURL(), env.path("videos"));

        // A folder whose bookmark cannot be made keeps the previous one and says so.
        dialogs.folderAnswer = env.path("gone");
        settings.selectVideoDirectory();
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts[0].message, QStringLiteral("Access Error"));
        QCOMPARE(dialogs.alerts[0].informativeText,
                 QStringLiteral("Could not access the selected folder. Please try again and make sure to grant "
                                "permission when asked."));
        QCOMPARE(dialogs.alerts[0].buttons, QStringList{"OK"});
        QVERIFY(env.hasLineStartingWith("❌ [VideoSettings] Video bookmark error: "));
        QCOMPARE(*settings.resolveVideoDirectoryURL(), env.path("videos"));

        // A deleted folder is still "set" but no longer resolves.
        QDir(env.path("videos")).removeRecursively();
        QVERIFY(settings.hasVideoDirectory());
        QVERIFY(!settings.resolveVideoDirectoryURL());
        QVERIFY(env.hasLineStartingWith("Resolve video bookmark error: "));

        settings.setVideoDirectoryBookmark(std::nullopt);
        QVERIFY(!Defaults::standard().contains("videoDirectoryBookmark"));
    }

    void choosingAPhotoFolder() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        DownloadSettings settings;
        QCOMPARE(settings.outputPreset(), DownloadSettings::OutputPreset::hd1080);
        QDir().mkpath(env.path("photos"));
        dialogs.folderAnswer = env.path("photos");
        settings.selectFolder();
        QCOMPARE(*settings.resolveFolderURL(), env.path("photos"));
        QVERIFY(Defaults::standard().data("downloadFolderBookmark"));

        dialogs.folderAnswer = env.path("missing");
        settings.selectFolder();
        QVERIFY(dialogs.alerts.isEmpty());
        QVERIFY(env.hasLineStartingWith("Bookmark error: "));
        QCOMPARE(*settings.resolveFolderURL(), env.path("photos"));

        // A bookmark stored by hand that names nothing resolves to none.
        Defaults::standard().set("downloadFolderBookmark", QByteArray("/no/such/folder"));
        DownloadSettings stale;
        QVERIFY(!stale.resolveFolderURL());
        QVERIFY(env.hasLineStartingWith("Resolve bookmark error: "));
        Defaults::standard().set("outputPreset", QStringLiteral("uhd4k"));
        QCOMPARE(DownloadSettings().outputPreset(), DownloadSettings::OutputPreset::hd1080);
    }

    void keyStoreWritesEveryKeyBack() {
        TestEnvironment env;
        Defaults::standard().set("miniMaxAPIKey2", QStringLiteral("  \n "));
        APIManager& keys = APIManager::shared();
        for (const char* key : {"googleAPIKey", "miniMaxAPIKey", "miniMaxAPIKey2", "miniMaxAPIKey3", "miniMaxAPIKey4"})
            QVERIFY2(Defaults::standard().contains(key), key);
        QCOMPARE(*Defaults::standard().string("googleAPIKey"), QString());
        // White space alone is not a key, but it is kept as typed.
        QVERIFY(!keys.hasMiniMaxAPIKey2());
        QCOMPARE(keys.miniMaxAPIKey2(), QStringLiteral("  \n "));

        QSignalSpy spy(&keys, &APIManager::miniMaxAPIKey3Changed);
        keys.setMiniMaxAPIKey3(" key-3\n");
        QCOMPARE(spy.count(), 1);
        QCOMPARE(*Defaults::standard().string("miniMaxAPIKey3"), QStringLiteral(" key-3\n"));
        QVERIFY(keys.hasMiniMaxAPIKey3());
        QCOMPARE(keys.miniMaxAPIKey(3), QStringLiteral(" key-3\n"));
        QCOMPARE(keys.miniMaxAPIKey(5), QString());
        keys.setGoogleAPIKey("");
        QVERIFY(Defaults::standard().contains("googleAPIKey"));
        QCOMPARE(defaultSupportedVideoFormats(), QSet<QString>{"mp4"});

        APISettings snapshot;
        QCOMPARE(snapshot.miniMaxAPIKey(), QString());
        QCOMPARE(snapshot.imageGenerationProvider(), ImageProvider::orvane);
    }

    // A start with every key stored reads them and leaves the settings file as it is; a missing or non-text key is
    // written as text.
    void keyStoreWritesOnlyWhatIsNotStoredAsText() {
        TestEnvironment env;
        const char* keys[] = {"googleAPIKey", "miniMaxAPIKey", "miniMaxAPIKey2", "miniMaxAPIKey3", "miniMaxAPIKey4"};
        for (const char* key : keys)
            Defaults::standard().set(key, QStringLiteral("stored ") + key);
        const auto before = fileIdentity(env.defaultsFile());
        QVERIFY(before.first != 0);
        QCOMPARE(APIManager::shared().miniMaxAPIKey4(), QStringLiteral("stored miniMaxAPIKey4"));
        const auto after = fileIdentity(env.defaultsFile());
        QCOMPARE(after.first, before.first);
        QCOMPARE(after.second.tv_sec, before.second.tv_sec);
        QCOMPARE(after.second.tv_nsec, before.second.tv_nsec);

        env.resetDefaults();
        Defaults::standard().set("googleAPIKey", QByteArray("not text"));
        Defaults::standard().set("miniMaxAPIKey", QStringLiteral("one"));
        APIManager& again = APIManager::shared();
        QCOMPARE(again.googleAPIKey(), QString());
        QCOMPARE(Defaults::standard().object("googleAPIKey"), QVariant(QString()));
        QCOMPARE(*Defaults::standard().string("miniMaxAPIKey"), QStringLiteral("one"));
        QCOMPARE(*Defaults::standard().string("miniMaxAPIKey3"), QString());
    }

    void appViewModelReadsTheVideoModeOnce_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("absent") << QVariant() << int(VideoGenerationMode::imageToVideo);
        QTest::newRow("other text") << QVariant("start_end") << int(VideoGenerationMode::imageToVideo);
        QTest::newRow("start to end") << QVariant("start_end_video") << int(VideoGenerationMode::startEndVideo);
        QTest::newRow("image to video") << QVariant("image_to_video") << int(VideoGenerationMode::imageToVideo);
    }
    void appViewModelReadsTheVideoModeOnce() {
        QFETCH(QVariant, stored);
        TestEnvironment env;
        if (stored.isValid())
            Defaults::standard().set("videoGenerationMode", stored);
        AppViewModel model;
        QTEST(int(model.videoMode()), "expected");
        QCOMPARE(model.currentView(), ViewMode::imageGeneration);
        QVERIFY(!model.sharedImage());
        QVERIFY(model.savedPhotoReferenceImages().isEmpty());
        QCOMPARE(model.savedVideoPrompt(), QString());
        model.setVideoMode(VideoGenerationMode::startEndVideo);
        // The studio, not the view model, writes the mode.
        QCOMPARE(Defaults::standard().object("videoGenerationMode"), stored);
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTests)
#include "tst_settings_stores.moc"
