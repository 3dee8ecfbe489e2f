#include "AppSettings.h"
#include "BackupFixture.h"
#include "BackupManager.h"
#include "BackupRecordsText.h"
#include "Defaults.h"
#include "ImagePreset.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "PromptPreset.h"
#include "SmallDisk.h"
#include "TestSupport.h"
#include "VideoMetadata.h"
#include "VirtualClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <nlohmann/json.hpp>

#include <sys/stat.h>

using Json = nlohmann::json;

// JSON converts to nearly anything, which confuses QCOMPARE's overloads: compare the texts.
#define COMPARE_JSON(actual, expected)                                                                                 \
    QCOMPARE(QString::fromStdString(Json(actual).dump()), QString::fromStdString(Json(expected).dump()))

namespace {

Json readJson(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Json();
    const QByteArray bytes = file.readAll();
    return Json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

int mode(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

QStringList keysOf(const Json& object) {
    QStringList keys;
    for (auto it = object.begin(); it != object.end(); ++it)
        keys << QString::fromStdString(it.key());
    keys.sort();
    return keys;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

// Every file below `folder` (relative path → bytes), so two states of a backup can be compared whole.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), readBytes(path));
    }
    return files;
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

const QByteArray kPng = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") + "first";
const QByteArray kWebp = "RIFF\x10\x00\x00\x00WEBPVP8 last-frame-bytes";
const QByteArray kJpeg = QByteArray::fromHex("ffd8ffe000104a464946") + "preset";

} // namespace

class BackupTests : public QObject, BackupFixture {
    Q_OBJECT

    void fillStore() {
        auto withFrames = VideoMetadata::make("Orvane_20260101_120000_sea.mp4", "The sea", "768P", 10,
                                              "start_end_video", true, QStringLiteral("2.3"), true);
        withFrames->setFirstFrameImageData(kPng);
        withFrames->setLastFrameImageData(kWebp);
        store->insert(withFrames);
        store->insert(VideoMetadata::make("Orvane_20260101_120500_sky.mp4", "Sky", "512P", 6, "image_to_video", false));

        auto builtIn = PromptPreset::make("Dolly", "dolly in", "Camera", true);
        builtIn->setUserImageData(kJpeg + "built-in");
        store->insert(builtIn);
        auto own = PromptPreset::make("Mine", "my prompt", "Custom", false);
        own->setUserImageData(kJpeg + "own");
        store->insert(own);
        store->insert(PromptPreset::make("Plain", "plain prompt", "Custom", false));

        auto picture = ImagePreset::make("Portrait", "a face");
        picture->setImageData(kJpeg + "picture");
        store->insert(picture);
        store->insert(ImagePreset::make("Empty", "nothing"));
        store->insert(AppSettings::make());
        QString error;
        QVERIFY2(store->save(&error), qPrintable(error));
    }

private slots:
    void init() {
        setUp(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 890), Qt::UTC));
        QCoreApplication::setApplicationVersion("2.4.1");
    }

    void cleanup() { tearDown(); }

    void theSettingsFileHoldsTheStoredValuesMemberByMember() {
        Defaults& defaults = Defaults::standard();
        defaults.set("googleAPIKey", QStringLiteral("AIza-image"));
        defaults.set("miniMaxAPIKey", QStringLiteral("video-1"));
        defaults.set("miniMaxAPIKey2", QString());
        defaults.set("miniMaxAPIKey4", QStringLiteral("video-4"));
        defaults.set("videoQuality", QStringLiteral("512P"));
        defaults.set("videoDuration", 10);
        defaults.set("defaultPromptOptimization", true);
        defaults.set("soundNotificationEnabled", false);
        defaults.set("selectedSoundName", QStringLiteral("bell"));
        defaults.set("outputPreset", QStringLiteral("hd1080"));
        defaults.set("videoModel", QStringLiteral("MiniMax-Hailuo-2.3"));
        defaults.set("videoDirectoryBookmark", QByteArray("/home/user/Videos"));

        BackupManager manager(store.get());
        manager.createBackupNow();

        const Json settings = readJson(backupFolder() + "/settings_backup.json");
        QVERIFY(settings.is_object());
        QCOMPARE(keysOf(settings),
                 (sorted({"googleAPIKey", "miniMaxAPIKey", "miniMaxAPIKey2", "miniMaxAPIKey3", "miniMaxAPIKey4",
                          "videoQuality", "videoDuration", "defaultPromptOptimization", "soundNotificationEnabled",
                          "selectedSoundName", "outputPreset", "backupVersion", "backupDate", "appVersion"})));
        COMPARE_JSON(settings["googleAPIKey"], "AIza-image");
        COMPARE_JSON(settings["miniMaxAPIKey"], "video-1");
        COMPARE_JSON(settings["miniMaxAPIKey2"], "");
        COMPARE_JSON(settings["miniMaxAPIKey3"], "");
        COMPARE_JSON(settings["miniMaxAPIKey4"], "video-4");
        COMPARE_JSON(settings["videoQuality"], "512P");
        // The stored whole number of seconds goes out as its decimal text.
        COMPARE_JSON(settings["videoDuration"], "10");
        COMPARE_JSON(settings["defaultPromptOptimization"], true);
        COMPARE_JSON(settings["soundNotificationEnabled"], false);
        COMPARE_JSON(settings["selectedSoundName"], "bell");
        COMPARE_JSON(settings["outputPreset"], "hd1080");
        COMPARE_JSON(settings["backupVersion"], "3.0-NoUserPaths");
        COMPARE_JSON(settings["backupDate"], "2026-03-04T05:06:07Z");
        COMPARE_JSON(settings["appVersion"], "2.4.1");
        // Pretty-printed: one member per line.
        QVERIFY(readBytes(backupFolder() + "/settings_backup.json").count('\n') >= 14);
    }

    void theSettingsFileFallsBackWhenNothingIsStored() {
        QCoreApplication::setApplicationVersion(QString());
        BackupManager manager(store.get());
        manager.createBackupNow();
        const Json settings = readJson(backupFolder() + "/settings_backup.json");
        for (const char* key : {"googleAPIKey", "miniMaxAPIKey", "miniMaxAPIKey2", "miniMaxAPIKey3", "miniMaxAPIKey4"})
            COMPARE_JSON(settings[key], "");
        COMPARE_JSON(settings["videoQuality"], "1080p");
        COMPARE_JSON(settings["videoDuration"], "6s");
        COMPARE_JSON(settings["defaultPromptOptimization"], false);
        COMPARE_JSON(settings["soundNotificationEnabled"], false);
        COMPARE_JSON(settings["selectedSoundName"], "Glass");
        COMPARE_JSON(settings["outputPreset"], "hd1080");
        COMPARE_JSON(settings["appVersion"], "unknown");
    }

    // The records file is written as text straight away; it must read exactly as the JSON library writes it.
    void theRecordsFileIsWhatTheJsonLibraryWrites() {
        const QString awkward =
            QStringLiteral("quote \" backslash \\ slash / tab \t line\nreturn\r bell \x07 escape \x1b "
                           "form\f back\b del \x7f é 日本 🎬 end");
        auto video = VideoMetadata::make("Orvane_" + awkward + ".mp4", awkward, "768P", 6, "image_to_video", true);
        video->setCreatedAt(QDateTime(QDate(1969, 7, 20), QTime(20, 17, 40), Qt::UTC));
        video->setLastFrameImageData(kWebp);
        store->insert(video);
        store->insert(VideoMetadata::make("Orvane_plain.mp4", "", "512P", 10, "image_to_video", false));
        store->insert(PromptPreset::make("Built in", awkward, "Camera", true));
        auto own = PromptPreset::make(awkward, "p", "Custom", false);
        own->setCreatedAt(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC));
        store->insert(own);
        QVERIFY(store->save());
        BackupManager manager(store.get());
        manager.createBackupNow();

        using Ordered = nlohmann::ordered_json;
        Ordered videos = Ordered::array(), prompts = Ordered::array(), images = Ordered::array();
        const auto storedVideos = *store->fetch<VideoMetadata>();
        for (const auto& record : storedVideos)
            videos.push_back(BackupRecordsText::encodeVideoMetadata(*record));
        const auto storedPresets = *store->fetch<PromptPreset>();
        for (const auto& preset : storedPresets) {
            if (!preset->isBuiltIn())
                prompts.push_back(BackupRecordsText::encodePromptPreset(*preset));
        }
        Ordered document = Ordered::object();
        document["videoMetadata"] = videos;
        document["promptPresets"] = prompts;
        document["imagePresets"] = images;
        document["backupVersion"] = "3.0-NoUserPaths";
        document["backupDate"] = "2026-03-04T05:06:07Z";
        const std::string expected = document.dump(2, ' ', false, Json::error_handler_t::replace);
        QCOMPARE(readBytes(backupFolder() + "/swift_data_backup.json"),
                 QByteArray(expected.data(), qsizetype(expected.size())));
        COMPARE_JSON(readJson(backupFolder() + "/swift_data_backup.json")["videoMetadata"][0]["createdAt"],
                     "1969-07-20T20:17:40Z");
    }

    // Dates and ids are formatted for ten thousand records at a time: the quick forms must match Qt's.
    void datesAndIdsReadAsQtWritesThem() {
        const auto qtIso = [](const QDateTime& date) {
            QDateTime utc = date.toUTC();
            utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
            return utc.toString(Qt::ISODate);
        };
        QList<QDateTime> dates = {
            QDateTime::fromMSecsSinceEpoch(0, Qt::UTC),
            QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 999), Qt::UTC),
            QDateTime(QDate(2000, 2, 29), QTime(12, 0), Qt::UTC),
            QDateTime(QDate(2100, 2, 28), QTime(23, 59, 59, 500), Qt::UTC),
            QDateTime(QDate(2100, 3, 1), QTime(0, 0), Qt::UTC),
            QDateTime(QDate(2400, 2, 29), QTime(6, 30), Qt::UTC),
            QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC),
            QDateTime(QDate(2026, 3, 29), QTime(2, 30), Qt::OffsetFromUTC, 5 * 3600 + 1800),
            QDateTime(QDate(2026, 10, 25), QTime(2, 30), Qt::LocalTime),
        };
        QRandomGenerator random(20);
        for (int i = 0; i < 2000; ++i)
            dates << QDateTime::fromMSecsSinceEpoch(random.bounded(qint64(253402300800000)), Qt::UTC);
        for (const QDateTime& date : std::as_const(dates))
            QCOMPARE(BackupManager::iso8601(date), qtIso(date));
        for (int i = 0; i < 200; ++i) {
            const QUuid id = QUuid::createUuid();
            QCOMPARE(BackupManager::uuidString(id), id.toString(QUuid::WithoutBraces).toUpper());
        }
        QCOMPARE(BackupManager::uuidString(QUuid()), QStringLiteral("00000000-0000-0000-0000-000000000000"));
    }

    void theRecordsFileListsTheUsersRecordsInStoreOrder() {
        fillStore();
        BackupManager manager(store.get());
        manager.createBackupNow();

        const Json records = readJson(backupFolder() + "/swift_data_backup.json");
        QCOMPARE(keysOf(records),
                 (sorted({"videoMetadata", "promptPresets", "imagePresets", "backupVersion", "backupDate"})));
        COMPARE_JSON(records["backupVersion"], "3.0-NoUserPaths");
        COMPARE_JSON(records["backupDate"], "2026-03-04T05:06:07Z");

        const auto videos = *store->fetch<VideoMetadata>();
        const Json& videoEntries = records["videoMetadata"];
        QCOMPARE(videoEntries.size(), size_t(2));
        const Json& first = videoEntries[0];
        QCOMPARE(keysOf(first), (sorted({"id", "fileName", "prompt", "quality", "duration", "videoMode",
                                         "promptOptimization", "createdAt", "hasFirstFrame", "hasLastFrame"})));
        const std::string id = first["id"].get<std::string>();
        QCOMPARE(QString::fromStdString(id), videos[0]->id().toString(QUuid::WithoutBraces).toUpper());
        QCOMPARE(id.size(), size_t(36));
        COMPARE_JSON(first["fileName"], "Orvane_20260101_120000_sea.mp4");
        COMPARE_JSON(first["prompt"], "The sea");
        COMPARE_JSON(first["quality"], "768P");
        COMPARE_JSON(first["duration"], 10);
        QVERIFY(first["duration"].is_number_integer());
        COMPARE_JSON(first["videoMode"], "start_end_video");
        COMPARE_JSON(first["promptOptimization"], true);
        COMPARE_JSON(first["createdAt"], "2026-03-04T05:06:07Z");
        COMPARE_JSON(first["hasFirstFrame"], true);
        COMPARE_JSON(first["hasLastFrame"], true);
        COMPARE_JSON(videoEntries[1]["fileName"], "Orvane_20260101_120500_sky.mp4");
        COMPARE_JSON(videoEntries[1]["hasFirstFrame"], false);
        COMPARE_JSON(videoEntries[1]["hasLastFrame"], false);

        // Built-in prompt presets are left out; the user's keep their order.
        const Json& prompts = records["promptPresets"];
        QCOMPARE(prompts.size(), size_t(2));
        QCOMPARE(keysOf(prompts[0]),
                 (sorted({"id", "name", "prompt", "category", "createdAt", "isBuiltIn", "hasUserImage"})));
        COMPARE_JSON(prompts[0]["name"], "Mine");
        COMPARE_JSON(prompts[0]["isBuiltIn"], false);
        COMPARE_JSON(prompts[0]["hasUserImage"], true);
        COMPARE_JSON(prompts[1]["name"], "Plain");
        COMPARE_JSON(prompts[1]["hasUserImage"], false);

        const Json& images = records["imagePresets"];
        QCOMPARE(images.size(), size_t(2));
        QCOMPARE(keysOf(images[0]), (sorted({"id", "title", "prompt", "createdAt", "hasImage"})));
        COMPARE_JSON(images[0]["title"], "Portrait");
        COMPARE_JSON(images[0]["hasImage"], true);
        COMPARE_JSON(images[1]["hasImage"], false);
    }

    void thePicturesAreTheStoredBytesUnderTheirRecordsNames() {
        fillStore();
        BackupManager manager(store.get());
        manager.createBackupNow();

        const QString images = backupFolder() + "/UserImages";
        QCOMPARE(entries(images), (QStringList{"ImagePresets", "PromptPresets", "VideoMetadata"}));
        const auto videos = *store->fetch<VideoMetadata>();
        const QString videoId = BackupManager::uuidString(videos[0]->id());
        QCOMPARE(entries(images + "/VideoMetadata"),
                 (QStringList{videoId + "_first_frame.jpg", videoId + "_last_frame.jpg"}));
        // Raw bytes, whatever their format, under ".jpg" names.
        QCOMPARE(readBytes(images + "/VideoMetadata/" + videoId + "_first_frame.jpg"), kPng);
        QCOMPARE(readBytes(images + "/VideoMetadata/" + videoId + "_last_frame.jpg"), kWebp);

        // The built-in preset's picture is written although its entry is not.
        QStringList expectedPrompts;
        const auto promptPresets = *store->fetch<PromptPreset>();
        for (const auto& preset : promptPresets) {
            if (preset->userImageData()) {
                const QString name = BackupManager::uuidString(preset->id()) + "_user_image.jpg";
                expectedPrompts << name;
                QCOMPARE(readBytes(images + "/PromptPresets/" + name), *preset->userImageData());
            }
        }
        expectedPrompts.sort();
        QCOMPARE(expectedPrompts.size(), 2);
        QCOMPARE(entries(images + "/PromptPresets"), expectedPrompts);

        const auto presets = *store->fetch<ImagePreset>();
        const QString presetName = BackupManager::uuidString(presets[0]->id()) + "_image.jpg";
        QCOMPARE(entries(images + "/ImagePresets"), QStringList{presetName});
        QCOMPARE(readBytes(images + "/ImagePresets/" + presetName), kJpeg + "picture");
        // No staging folder is left behind.
        QCOMPARE(entries(backupFolder()),
                 (QStringList{"UserImages", "settings_backup.json", "swift_data_backup.json"}));
    }

    void theBackupIsReadableByTheUserOnly() {
        fillStore();
        BackupManager manager(store.get());
        // An existing folder from an older version is tightened too.
        QFile::setPermissions(backupFolder(), QFileDevice::Permissions(0x7755));
        manager.createBackupNow();
        QCOMPARE(mode(backupFolder()), 0700);
        QCOMPARE(mode(backupFolder() + "/settings_backup.json"), 0600);
        QCOMPARE(mode(backupFolder() + "/swift_data_backup.json"), 0600);
        QCOMPARE(mode(backupFolder() + "/UserImages"), 0700);
        QDirIterator it(backupFolder() + "/UserImages", QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        int files = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            const bool isDir = QFileInfo(path).isDir();
            files += isDir ? 0 : 1;
            QCOMPARE(mode(path), isDir ? 0700 : 0600);
        }
        QCOMPARE(files, 5);
    }

    void anEmptyStoreGivesEmptyListsAndEmptyFolders() {
        BackupManager manager(store.get());
        manager.createBackupNow();
        const Json records = readJson(backupFolder() + "/swift_data_backup.json");
        COMPARE_JSON(records["videoMetadata"], Json::array());
        COMPARE_JSON(records["promptPresets"], Json::array());
        COMPARE_JSON(records["imagePresets"], Json::array());
        for (const char* folder : {"VideoMetadata", "PromptPresets", "ImagePresets"}) {
            QVERIFY(QFileInfo(backupFolder() + "/UserImages/" + folder).isDir());
            QVERIFY(entries(backupFolder() + "/UserImages/" + folder).isEmpty());
        }
    }

    void aSecondBackupReplacesTheFirstAndDropsPicturesOfDeletedRecords() {
        fillStore();
        BackupManager manager(store.get());
        manager.createBackupNow();
        const QByteArray firstSettings = readBytes(backupFolder() + "/settings_backup.json");
        const Json firstRecords = readJson(backupFolder() + "/swift_data_backup.json");

        clock->advance(90);
        manager.createBackupNow();
        Json again = readJson(backupFolder() + "/swift_data_backup.json");
        COMPARE_JSON(again["backupDate"], "2026-03-04T05:07:37Z");
        again["backupDate"] = firstRecords["backupDate"];
        COMPARE_JSON(again, firstRecords);
        Json settings = readJson(backupFolder() + "/settings_backup.json");
        settings["backupDate"] = Json("2026-03-04T05:06:07Z");
        COMPARE_JSON(settings, Json::parse(firstSettings.constBegin(), firstSettings.constEnd()));

        const auto videos = *store->fetch<VideoMetadata>();
        for (const auto& video : videos)
            store->remove(video);
        QVERIFY(store->save());
        manager.createBackupNow();
        QVERIFY(entries(backupFolder() + "/UserImages/VideoMetadata").isEmpty());
        QCOMPARE(entries(backupFolder() + "/UserImages/ImagePresets").size(), 1);
        // The previous pictures are removed in the background, outside the backup folder.
        BackupManager::waitForDiscardedFiles();
        QVERIFY(entries(env->path("data")).filter(".backup-discarded-").isEmpty());
    }

    void aFileSystemThatCannotExchangeFoldersStillGetsTheNewPictures() {
        fillStore();
        BackupManager manager(store.get());
        manager.setFaultInjector([](BackupManager::Step at) -> std::optional<QString> {
            if (at == BackupManager::Step::imageExchange)
                return QStringLiteral("Invalid argument");
            return std::nullopt;
        });
        manager.createBackupNow();
        QCOMPARE(entries(backupFolder() + "/UserImages/VideoMetadata").size(), 2);
        const QDateTime firstDate = *manager.lastBackupDate();

        const auto videos = *store->fetch<VideoMetadata>();
        for (const auto& video : videos)
            store->remove(video);
        auto extra = ImagePreset::make("New", "new");
        extra->setImageData(kJpeg + "new");
        store->insert(extra);
        QVERIFY(store->save());
        clock->advance(60);
        manager.createBackupNow();
        QVERIFY(*manager.lastBackupDate() > firstDate);
        QVERIFY(entries(backupFolder() + "/UserImages/VideoMetadata").isEmpty());
        QCOMPARE(entries(backupFolder() + "/UserImages/ImagePresets").size(), 2);
        QCOMPARE(readBytes(backupFolder() + "/UserImages/ImagePresets/" + BackupManager::uuidString(extra->id()) +
                           "_image.jpg"),
                 kJpeg + "new");
        BackupManager::waitForDiscardedFiles();
        QCOMPARE(entries(backupFolder()),
                 (QStringList{"UserImages", "settings_backup.json", "swift_data_backup.json"}));
        QVERIFY(entries(env->path("data")).filter(".backup-discarded-").isEmpty());
    }

    void whatAnEarlierProcessLeftIsRemoved() {
        QDir().mkpath(env->path("data/.backup-discarded-1234/VideoMetadata"));
        writeBytes(env->path("data/.backup-discarded-1234/VideoMetadata/a_first_frame.jpg"), kPng);
        BackupManager manager(store.get());
        BackupManager::waitForDiscardedFiles();
        QVERIFY(!QFileInfo::exists(env->path("data/.backup-discarded-1234")));
        QVERIFY(QFileInfo(env->path("data/Orvane.store")).isFile());
    }

    void theBackupDateIsRecordedAndReadBackByTheNextManager() {
        BackupManager manager(store.get());
        QVERIFY(!manager.lastBackupDate());
        int changes = 0;
        connect(&manager, &BackupManager::lastBackupDateChanged, this, [&] { ++changes; });
        manager.createBackupNow();
        QCOMPARE(changes, 1);
        QCOMPARE(manager.lastBackupDate(), clock->now());
        QCOMPARE(Defaults::standard().date("lastBackupDate"), clock->now());
        BackupManager later(store.get());
        QCOMPARE(later.lastBackupDate(), clock->now());

        // The task form has done all its work before it returns, so nothing (a reset) can run in between.
        clock->advance(5);
        QFile::remove(backupFolder() + "/settings_backup.json");
        auto task = later.createBackup();
        QVERIFY(QFileInfo(backupFolder() + "/settings_backup.json").isFile());
        QCOMPARE(later.lastBackupDate(), clock->now());
    }

    void aFailingStepLeavesThePreviousBackupWhole_data() {
        QTest::addColumn<int>("step");
        QTest::newRow("settings file") << int(BackupManager::Step::settingsFile);
        QTest::newRow("records fetch") << int(BackupManager::Step::recordsFetch);
        QTest::newRow("records file") << int(BackupManager::Step::recordsFile);
        QTest::newRow("a picture") << int(BackupManager::Step::imageFile);
        QTest::newRow("picture swap") << int(BackupManager::Step::imageSwap);
    }

    void aFailingStepLeavesThePreviousBackupWhole() {
        QFETCH(int, step);
        fillStore();
        Defaults::standard().set("googleAPIKey", QStringLiteral("before"));
        BackupManager manager(store.get());
        manager.createBackupNow();
        const QMap<QString, QByteArray> before = snapshot(backupFolder());
        QCOMPARE(before.size(), 7);
        const QDateTime firstDate = *manager.lastBackupDate();

        // Everything changes: new settings, a new picture, a record gone.
        Defaults::standard().set("googleAPIKey", QStringLiteral("after"));
        auto extra = ImagePreset::make("New", "new");
        extra->setImageData(kJpeg + "new");
        store->insert(extra);
        store->remove(store->fetch<VideoMetadata>()->first());
        QVERIFY(store->save());
        clock->advance(60);

        manager.setFaultInjector([step](BackupManager::Step at) -> std::optional<QString> {
            if (int(at) == step)
                return QStringLiteral("No space left on device");
            return std::nullopt;
        });
        try {
            manager.createBackupNow();
            QFAIL("the backup reported success");
        } catch (const BackupError& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains("No space left on device"), error.what());
        }
        QCOMPARE(snapshot(backupFolder()), before);
        QCOMPARE(entries(backupFolder()),
                 (QStringList{"UserImages", "settings_backup.json", "swift_data_backup.json"}));
        QCOMPARE(manager.lastBackupDate(), firstDate);
        QCOMPARE(Defaults::standard().date("lastBackupDate"), firstDate);

        // The next backup without a fault goes through.
        manager.setFaultInjector({});
        manager.createBackupNow();
        COMPARE_JSON(readJson(backupFolder() + "/settings_backup.json")["googleAPIKey"], "after");
        QCOMPARE(entries(backupFolder() + "/UserImages/ImagePresets").size(), 2);
    }

    // A full disk fails the backup with the system's reason at whichever file it meets first, and the previous
    // backup stays as it was; once there is room again the next backup goes through.
    void aFullDiskFailsTheBackupAndKeepsThePreviousOne_data() {
        QTest::addColumn<qint64>("keep");
        QTest::addColumn<int>("pictureSize");
        QTest::newRow("no room at all") << qint64(0) << 100;
        QTest::newRow("room for the documents, not for a new picture") << qint64(16 * 1024) << 64 * 1024;
    }

    void aFullDiskFailsTheBackupAndKeepsThePreviousOne() {
        QFETCH(qint64, keep);
        QFETCH(int, pictureSize);
        SmallDisk disk(512 * 1024);
        QVERIFY2(disk.isMounted(), qPrintable(disk.error()));
        // The backup folder on the small disk, the ballast that fills it beside.
        QVERIFY(QDir().mkdir(disk.filePath("Backups")));
        QVERIFY(QFile::link(disk.filePath("Backups"), backupFolder()));
        fillStore();
        Defaults::standard().set("googleAPIKey", QStringLiteral("before"));
        BackupManager manager(store.get());
        manager.createBackupNow();
        const QMap<QString, QByteArray> before = snapshot(backupFolder());
        QCOMPARE(before.size(), 7);

        Defaults::standard().set("googleAPIKey", QStringLiteral("after"));
        store->fetch<VideoMetadata>()->first()->setPrompt("The sea, renamed");
        if (keep > 0) {
            auto extra = ImagePreset::make("New", "new");
            extra->setImageData(kJpeg + QByteArray(pictureSize, 'n'));
            store->insert(extra);
        }
        QVERIFY(store->save());
        clock->advance(60);
        disk.fill(keep);
        try {
            manager.createBackupNow();
            QFAIL("the backup reported success");
        } catch (const BackupError& error) {
            QVERIFY2(QString::fromUtf8(error.what()).endsWith(": " + QString::fromLocal8Bit(std::strerror(ENOSPC))),
                     error.what());
        }
        QCOMPARE(snapshot(backupFolder()), before);
        QCOMPARE(entries(backupFolder()),
                 (QStringList{"UserImages", "settings_backup.json", "swift_data_backup.json"}));

        disk.freeSpace();
        manager.createBackupNow();
        COMPARE_JSON(readJson(backupFolder() + "/settings_backup.json")["googleAPIKey"], "after");
        QVERIFY(readBytes(backupFolder() + "/swift_data_backup.json").contains("The sea, renamed"));
        QCOMPARE(entries(backupFolder() + "/UserImages/ImagePresets").size(), keep > 0 ? 2 : 1);
    }

    // After the store was set aside at start, the backup of the new store does not replace the previous one: that
    // one is kept whole beside it, once, in a folder of its own that nothing writes over.
    void aStoreSetAsideKeepsThePreviousBackup() {
        fillStore();
        {
            BackupManager manager(store.get());
            manager.createBackupNow();
        }
        const QMap<QString, QByteArray> before = snapshot(backupFolder());
        QCOMPARE(before.size(), 7);
        store.reset();
        {
            QFile damaged(env->path("data/Orvane.store"));
            QVERIFY(damaged.open(QIODevice::ReadWrite));
            damaged.write(QByteArray(100, 'x'));
        }
        store = ModelSchema::openStore(env->path("data/Orvane.store"));
        QVERIFY(store->keptAsidePath());

        BackupManager manager(store.get());
        env->clearLog();
        clock->advance(60);
        const BackupResult result = manager.createBackupNow();
        QVERIFY(result.keptBackup);
        const QString kept = *result.keptBackup;
        QCOMPARE(QFileInfo(kept).absolutePath(), backupFolder());
        QVERIFY2(QFileInfo(kept).fileName().startsWith(BackupManager::keptBackupPrefix), qPrintable(kept));
        QCOMPARE(snapshot(kept), before);
        QCOMPARE(mode(kept), 0700);
        QVERIFY(env->logLines().contains(
            "💾 [Backup] The store was set aside at start: the previous backup is kept in " + kept));
        // The new backup is the new store's.
        QCOMPARE(readJson(backupFolder() + "/swift_data_backup.json")["videoMetadata"].size(), size_t(0));
        QVERIFY(entries(backupFolder() + "/UserImages/VideoMetadata").isEmpty());

        // Later backups of this run replace only their own.
        auto preset = PromptPreset::make("After", "after", "Custom", false);
        preset->setUserImageData(kJpeg + "after");
        store->insert(preset);
        QVERIFY(store->save());
        QVERIFY(!manager.createBackupNow().keptBackup);
        BackupManager::waitForDiscardedFiles();
        QCOMPARE(snapshot(kept), before);
        QCOMPARE(entries(backupFolder()), (QStringList{QFileInfo(kept).fileName(), "UserImages", "settings_backup.json",
                                                       "swift_data_backup.json"}));
        QCOMPARE(entries(backupFolder() + "/UserImages/PromptPresets").size(), 1);
    }

    // A picture the store cannot read fails the backup, as at quit: the records file would list a picture it lacks.
    void aPictureTheStoreCannotReadFailsTheBackup() {
        auto clip = VideoMetadata::make("Orvane.mp4", "p", "768P", 6, "image_to_video", true);
        clip->setFirstFrameImageData(kPng + QByteArray(20000, 'a'));
        store->insert(clip);
        QVERIFY(store->save());
        QSqlQuery query(store->database()); // the first of the picture's overflow pages, which names the next one
        QVERIFY(query.exec("SELECT pageno FROM dbstat WHERE name = 'VideoMetadata' AND path LIKE '%+000000'"));
        const qint64 page = query.next() ? query.value(0).toLongLong() : 0;
        query.finish();
        store.reset();
        QFile file(env->path("data/Orvane.store"));
        QVERIFY(page > 1 && file.open(QIODevice::ReadWrite) && file.seek((page - 1) * 4096));
        file.write(QByteArray(4096, '\xff'));
        file.close();
        store = ModelSchema::openStore(env->path("data/Orvane.store"));
        QCOMPARE(store->fetch<VideoMetadata>()->size(), 1);
        QVERIFY_THROWS_EXCEPTION(BackupError, BackupManager(store.get()).createBackupNow());
    }

    void aBackupWithNowhereToWriteFails() {
        BackupManager manager(store.get());
        manager.setNoApplicationSupportDirectoryForTesting(true);
        QVERIFY_THROWS_EXCEPTION(BackupError, manager.createBackupNow());
        try {
            manager.createBackupNow();
        } catch (const BackupError& error) {
            QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("no backup location"));
        }
        QVERIFY(!manager.lastBackupDate());

        // Something in the folder's place: no location either.
        manager.setNoApplicationSupportDirectoryForTesting(false);
        QVERIFY(QDir(backupFolder()).removeRecursively());
        writeBytes(backupFolder(), "not a folder");
        QVERIFY_THROWS_EXCEPTION(BackupError, manager.createBackupNow());
        QVERIFY(!manager.lastBackupDate());
    }

    void aFolderRemovedFromOutsideIsMadeAgain() {
        BackupManager manager(store.get());
        QVERIFY(QDir(backupFolder()).removeRecursively());
        manager.createBackupNow();
        QVERIFY(QFileInfo(backupFolder() + "/settings_backup.json").isFile());
        QVERIFY(QFileInfo(backupFolder() + "/swift_data_backup.json").isFile());
        QCOMPARE(mode(backupFolder()), 0700);
    }

    void aBackupWithoutTheRecordsStoreFailsInsteadOfSkippingThem() {
        BackupManager manager;
        QVERIFY_THROWS_EXCEPTION(BackupError, manager.createBackupNow());
        QVERIFY(!QFileInfo::exists(backupFolder() + "/settings_backup.json"));
        QVERIFY(!manager.lastBackupDate());
        // The store going away later is noticed too.
        BackupManager held(store.get());
        store.reset();
        QVERIFY(!held.modelContext());
        QVERIFY_THROWS_EXCEPTION(BackupError, held.createBackupNow());
    }

    void theCreationMakesTheFolders() {
        QVERIFY(!QFileInfo::exists(backupFolder()));
        BackupManager manager(store.get());
        QCOMPARE(entries(backupFolder()), QStringList{"UserImages"});
        QCOMPARE(entries(backupFolder() + "/UserImages"), (QStringList{"ImagePresets", "VideoMetadata"}));
        QCOMPARE(mode(backupFolder()), 0700);
    }
};

QTEST_GUILESS_MAIN(BackupTests)
#include "tst_backup.moc"
