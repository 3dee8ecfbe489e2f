#include "AppSettings.h"
#include "BackupFixture.h"
#include "BackupManager.h"
#include "Defaults.h"
#include "ImagePreset.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "PromptPreset.h"
#include "TestSupport.h"
#include "VideoMetadata.h"
#include "VirtualClock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {

int storedRows(ModelContext& context, const QString& table) {
    QSqlQuery query(context.database());
    if (!query.exec("SELECT COUNT(*) FROM \"" + table + "\"") || !query.next())
        return -1;
    return query.value(0).toInt();
}

void failDeletes(ModelContext& context, const QString& table) {
    QSqlQuery query(context.database());
    QVERIFY2(query.exec("CREATE TRIGGER fail_delete BEFORE DELETE ON \"" + table +
                        "\" BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END"),
             qPrintable(query.lastError().text()));
}

} // namespace

class RestoreResetTests : public QObject, BackupFixture {
    Q_OBJECT

    void writeSettingsFile(const QByteArray& text) {
        QDir().mkpath(backupFolder());
        QFile file(backupFolder() + "/settings_backup.json");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

private slots:
    void init() { setUp(); }

    void cleanup() { tearDown(); }

    void theRestoreRunsOnlyWhenTheDefaultsLookEmpty_data() {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QVariant>("imageKey");
        QTest::addColumn<QVariant>("videoKey");
        QTest::addColumn<QVariant>("quality");
        QTest::addColumn<bool>("restores");
        const QVariant none;
        QTest::newRow("all empty") << true << none << none << none << true;
        QTest::newRow("empty keys stored") << true << QVariant("") << QVariant("") << none << true;
        QTest::newRow("no file") << false << none << none << none << false;
        QTest::newRow("image key") << true << QVariant("AIza") << none << none << false;
        QTest::newRow("video key") << true << none << QVariant("v") << none << false;
        QTest::newRow("key of spaces counts") << true << QVariant("  ") << none << none << false;
        QTest::newRow("quality present") << true << none << none << QVariant("768P") << false;
        QTest::newRow("empty quality present") << true << none << none << QVariant("") << false;
    }

    void theRestoreRunsOnlyWhenTheDefaultsLookEmpty() {
        QFETCH(bool, fileExists);
        QFETCH(QVariant, imageKey);
        QFETCH(QVariant, videoKey);
        QFETCH(QVariant, quality);
        QFETCH(bool, restores);
        if (fileExists)
            writeSettingsFile(R"({"outputPreset":"restored","selectedSoundName":"bell"})");
        if (imageKey.isValid())
            Defaults::standard().set("googleAPIKey", imageKey.toString());
        if (videoKey.isValid())
            Defaults::standard().set("miniMaxAPIKey", videoKey.toString());
        if (quality.isValid())
            Defaults::standard().set("videoQuality", quality.toString());

        BackupManager manager(store.get());
        int signals_ = 0;
        connect(&manager, &BackupManager::storedSettingsChanged, this, [&] { ++signals_; });
        QCOMPARE(manager.restoreSettingsAtLaunch(), restores);
        QCOMPARE(Defaults::standard().string("outputPreset"),
                 restores ? std::optional<QString>("restored") : std::nullopt);
        QCOMPARE(manager.lastRestoreDate().has_value(), restores);
        QCOMPARE(Defaults::standard().date("lastRestoreDate").has_value(), restores);
        QCOMPARE(signals_, restores ? 1 : 0);
    }

    void theRestoreTakesEachMemberByItsType() {
        Defaults::standard().set("miniMaxAPIKey2", QStringLiteral("kept"));
        Defaults::standard().set("defaultPromptOptimization", true);
        writeSettingsFile(R"({
            "googleAPIKey": "AIzaRestored",
            "miniMaxAPIKey": "",
            "miniMaxAPIKey2": "",
            "miniMaxAPIKey3": 42,
            "miniMaxAPIKey4": "four",
            "videoQuality": "",
            "videoDuration": "10",
            "defaultPromptOptimization": "false",
            "soundNotificationEnabled": true,
            "selectedSoundName": "Glass",
            "outputPreset": ["hd1080"],
            "backupVersion": "1.0",
            "videoModel": "MiniMax-Hailuo-2.3"
        })");
        BackupManager manager(store.get());
        QVERIFY(manager.restoreSettingsAtLaunch());
        const Defaults& defaults = Defaults::standard();
        QCOMPARE(defaults.string("googleAPIKey"), std::optional<QString>("AIzaRestored"));
        // Empty keys never replace what is stored.
        QVERIFY(!defaults.contains("miniMaxAPIKey"));
        QCOMPARE(defaults.string("miniMaxAPIKey2"), std::optional<QString>("kept"));
        QVERIFY(!defaults.contains("miniMaxAPIKey3"));
        QCOMPARE(defaults.string("miniMaxAPIKey4"), std::optional<QString>("four"));
        QVERIFY(defaults.contains("videoQuality"));
        QCOMPARE(defaults.string("videoQuality"), std::optional<QString>(""));
        QCOMPARE(defaults.object("videoDuration").metaType().id(), QMetaType::QString);
        QCOMPARE(defaults.string("videoDuration"), std::optional<QString>("10"));
        // A Boolean written as text is skipped.
        QCOMPARE(defaults.boolValue("defaultPromptOptimization"), true);
        QCOMPARE(defaults.boolValue("soundNotificationEnabled"), true);
        QCOMPARE(defaults.string("selectedSoundName"), std::optional<QString>("Glass"));
        QVERIFY(!defaults.contains("outputPreset"));
        QVERIFY(!defaults.contains("videoModel"));
        QVERIFY(!defaults.contains("backupVersion"));
    }

    void anUnreadableFileRestoresNothingButCountsAsARestore_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("not JSON") << QByteArray("{\"outputPreset\": ");
        QTest::newRow("an array") << QByteArray(R"([{"outputPreset":"x"}])");
        QTest::newRow("a string") << QByteArray(R"("outputPreset")");
        QTest::newRow("too big") << QByteArray(R"({"outputPreset":")") + QByteArray(2 << 20, 'x') + "\"}";
    }

    void anUnreadableFileRestoresNothingButCountsAsARestore() {
        QFETCH(QByteArray, text);
        writeSettingsFile(text);
        BackupManager manager(store.get());
        QVERIFY(manager.restoreSettingsAtLaunch());
        QVERIFY(!Defaults::standard().contains("outputPreset"));
        QCOMPARE(manager.lastRestoreDate(), clock->now());
    }

    void theAppearTimeRestoreIsANoOpOnceTheLaunchDecided() {
        BackupManager manager(store.get());
        // Nothing to restore at launch.
        QVERIFY(!manager.restoreSettingsAtLaunch());
        // Later the conditions hold, but the decision was made before the settings objects existed.
        writeSettingsFile(R"({"outputPreset":"late"})");
        manager.restoreSettingsIfNeeded();
        QVERIFY(!Defaults::standard().contains("outputPreset"));
        QVERIFY(!manager.lastRestoreDate());

        // A manager whose launch was never decided still restores on appear, once.
        BackupManager undecided(store.get());
        undecided.restoreSettingsIfNeeded();
        QCOMPARE(Defaults::standard().string("outputPreset"), std::optional<QString>("late"));
        Defaults::standard().remove("outputPreset");
        Defaults::standard().remove("lastRestoreDate");
        undecided.restoreSettingsIfNeeded();
        QVERIFY(!Defaults::standard().contains("outputPreset"));
    }

    void theResetRemovesTheTenSettingsTheRecordsAndTheBackups() {
        Defaults& defaults = Defaults::standard();
        const QStringList removed = {
            "videoQuality",      "videoDuration",          "defaultPromptOptimization", "soundNotificationEnabled",
            "selectedSoundName", "videoDirectoryBookmark", "downloadFolderBookmark",    "outputPreset",
            "lastBackupDate",    "lastRestoreDate"};
        const QStringList kept = {"googleAPIKey",
                                  "miniMaxAPIKey",
                                  "miniMaxAPIKey2",
                                  "miniMaxAPIKey3",
                                  "miniMaxAPIKey4",
                                  "videoModel",
                                  "fastPretreatment",
                                  "videoGenerationMode",
                                  "imageGenerationProvider",
                                  "imageGenerationMode",
                                  "selectedImageModel",
                                  "imageGenerationTemperature",
                                  "selectedAspectRatio",
                                  "hasInitializedSwiftDataBuiltInPresets_v3_en",
                                  "hasInitializedDefaultImagePresets_v1"};
        QCOMPARE(BackupManager::resetKeys, removed);
        for (const QString& key : removed + kept)
            defaults.set(key, QStringLiteral("value of ") + key);

        store->insert(VideoMetadata::make("a.mp4", "a", "768P", 6, "image_to_video", true));
        auto builtIn = PromptPreset::make("Built in", "b", "Camera", true);
        store->insert(builtIn);
        store->insert(PromptPreset::make("Mine", "m", "Custom", false));
        store->insert(ImagePreset::make("Seeded default", "d"));
        store->insert(AppSettings::make());
        QVERIFY(store->save());

        BackupManager manager(store.get());
        manager.createBackupNow();
        QVERIFY(manager.lastBackupDate());
        int signals_ = 0;
        connect(&manager, &BackupManager::storedSettingsChanged, this, [&] { ++signals_; });

        QVERIFY(manager.resetEverything());
        for (const QString& key : removed)
            QVERIFY2(!defaults.contains(key), qPrintable(key));
        for (const QString& key : kept)
            QCOMPARE(defaults.string(key), std::optional<QString>("value of " + key));
        QCOMPARE(signals_, 1);

        QCOMPARE(storedRows(*store, "VideoMetadata"), 0);
        QCOMPARE(storedRows(*store, "ImagePreset"), 0);
        QCOMPARE(storedRows(*store, "PromptPreset"), 1);
        QCOMPARE(storedRows(*store, "AppSettings"), 1);
        QCOMPARE(store->fetch<PromptPreset>()->first(), builtIn);

        QCOMPARE(QDir(backupFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"UserImages"});
        QCOMPARE(QDir(backupFolder() + "/UserImages").entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{"ImagePresets", "VideoMetadata"}));
        QVERIFY(!manager.lastBackupDate());
        QVERIFY(!manager.lastRestoreDate());
        QVERIFY(env->logLines().isEmpty());
    }

    void aResetBeforeTheStoreIsHandedOverStillClearsSettingsAndBackups() {
        store->insert(VideoMetadata::make("a.mp4", "a", "768P", 6, "image_to_video", true));
        QVERIFY(store->save());
        Defaults::standard().set("videoQuality", QStringLiteral("512P"));
        BackupManager manager;
        QVERIFY(manager.resetEverything());
        QVERIFY(!Defaults::standard().contains("videoQuality"));
        QCOMPARE(storedRows(*store, "VideoMetadata"), 1);
        QVERIFY(QFileInfo(backupFolder() + "/UserImages/VideoMetadata").isDir());
    }

    void aFailedRecordsDeletionRollsBackAndStopsTheReset() {
        store->insert(VideoMetadata::make("a.mp4", "a", "768P", 6, "image_to_video", true));
        store->insert(PromptPreset::make("Mine", "m", "Custom", false));
        auto preset = ImagePreset::make("Preset", "p");
        store->insert(preset);
        QVERIFY(store->save());
        store->setAutosaveEnabled(true);
        Defaults::standard().set("videoQuality", QStringLiteral("512P"));
        BackupManager manager(store.get());
        manager.createBackupNow();
        const auto backupDate = manager.lastBackupDate();

        // The last of the three tables refuses, after the first two were deleted inside the transaction.
        failDeletes(*store, "ImagePreset");
        QVERIFY(!manager.resetEverything());
        QVERIFY(env->hasLineStartingWith("❌ Reset failed: deleting the records failed:"));
        QVERIFY2(env->logLines().constLast().contains("database or disk is full"),
                 qPrintable(env->logLines().join('\n')));

        // Nothing was deleted, in the store or in the context, and no later autosave deletes it either.
        QVERIFY(!store->hasChanges());
        QTest::qWait(20);
        QCOMPARE(storedRows(*store, "VideoMetadata"), 1);
        QCOMPARE(storedRows(*store, "PromptPreset"), 1);
        QCOMPARE(storedRows(*store, "ImagePreset"), 1);
        QCOMPARE(store->fetch<VideoMetadata>()->size(), 1);
        QCOMPARE(store->fetch<ImagePreset>()->first(), preset);
        QVERIFY(!preset->isDeleted());
        // The steps after it did not run.
        QCOMPARE(Defaults::standard().string("videoQuality"), std::optional<QString>("512P"));
        QVERIFY(QFileInfo(backupFolder() + "/settings_backup.json").isFile());
        QCOMPARE(manager.lastBackupDate(), backupDate);

        // A change to a kept record made afterwards is still saved normally.
        preset->setTitle("Renamed");
        QTRY_VERIFY(!store->hasChanges());
    }

    void aFailedBackupRemovalReportsFailure() {
        BackupManager manager(store.get());
        manager.createBackupNow();
        manager.setFaultInjector([](BackupManager::Step step) -> std::optional<QString> {
            if (step == BackupManager::Step::backupRemoval)
                return QStringLiteral("Device or resource busy");
            return std::nullopt;
        });
        QVERIFY(!manager.resetEverything());
        QVERIFY(env->hasLineStartingWith("❌ Reset failed: Device or resource busy"));
        // The dates stay in memory although their keys are gone.
        QVERIFY(manager.lastBackupDate());
        QVERIFY(!Defaults::standard().contains("lastBackupDate"));
    }
};

QTEST_GUILESS_MAIN(RestoreResetTests)
#include "tst_restore_reset.moc"
