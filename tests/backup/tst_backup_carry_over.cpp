#include "BackupFixture.h"
#include "BackupManager.h"
#include "BackupRecordsText.h"
#include "ImagePreset.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "PromptPreset.h"
#include "VideoMetadata.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

// A backup carries pictures whose stored bytes did not change over from the previous backup instead of writing
// them again; everything else is written as a new file. What a backup holds is the same either way.

namespace {

struct FileState {
    quint64 inode = 0;
    QByteArray bytes;
};

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint64 inodeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? quint64(info.st_ino) : 0;
}

// Every picture of a backup by its path under "UserImages".
QMap<QString, FileState> pictures(const QString& backupFolder) {
    const QString images = backupFolder + "/UserImages";
    QMap<QString, FileState> files;
    QDirIterator it(images, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(images).relativeFilePath(path), {inodeOf(path), readBytes(path)});
    }
    return files;
}

QMap<QString, QByteArray> bytesOf(const QMap<QString, FileState>& files) {
    QMap<QString, QByteArray> bytes;
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        bytes.insert(it.key(), it.value().bytes);
    return bytes;
}

// What a backup of `store` must hold, read through the records.
QMap<QString, QByteArray> expectedPictures(ModelContext& store) {
    QMap<QString, QByteArray> expected;
    const auto videos = *store.fetch<VideoMetadata>();
    for (const auto& video : videos) {
        const QString stem = "VideoMetadata/" + BackupManager::uuidString(video->id());
        if (const auto data = video->firstFrameImageData())
            expected.insert(stem + "_first_frame.jpg", *data);
        if (const auto data = video->lastFrameImageData())
            expected.insert(stem + "_last_frame.jpg", *data);
    }
    const auto prompts = *store.fetch<PromptPreset>();
    for (const auto& preset : prompts) {
        if (const auto data = preset->userImageData())
            expected.insert("PromptPresets/" + BackupManager::uuidString(preset->id()) + "_user_image.jpg", *data);
    }
    const auto looks = *store.fetch<ImagePreset>();
    for (const auto& preset : looks) {
        if (const auto data = preset->imageData())
            expected.insert("ImagePresets/" + BackupManager::uuidString(preset->id()) + "_image.jpg", *data);
    }
    return expected;
}

// What the records file of a backup of `store` dated `date` must read, as the JSON library writes it.
QByteArray expectedRecordsFile(ModelContext& store, const QDateTime& date) {
    using Json = nlohmann::ordered_json;
    Json videos = Json::array(), prompts = Json::array(), looks = Json::array();
    const auto storedVideos = *store.fetch<VideoMetadata>();
    for (const auto& video : storedVideos)
        videos.push_back(BackupRecordsText::encodeVideoMetadata(*video));
    const auto storedPrompts = *store.fetch<PromptPreset>();
    for (const auto& preset : storedPrompts) {
        if (!preset->isBuiltIn())
            prompts.push_back(BackupRecordsText::encodePromptPreset(*preset));
    }
    const auto storedLooks = *store.fetch<ImagePreset>();
    for (const auto& preset : storedLooks)
        looks.push_back(BackupRecordsText::encodeImagePreset(*preset));
    Json document = Json::object();
    document["videoMetadata"] = videos;
    document["promptPresets"] = prompts;
    document["imagePresets"] = looks;
    document["backupVersion"] = "3.0-NoUserPaths";
    document["backupDate"] = BackupManager::iso8601(date).toStdString();
    const std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size()));
}

QByteArray picture(const char* tag, int size = 4096) {
    QByteArray bytes = QByteArray::fromHex("ffd8ffe0") + tag;
    bytes.resize(size, char(qHash(QByteArray(tag)) & 0x7f));
    return bytes;
}

// The preset whose picture the tests change, and that picture's path in a backup.
QString presetPath(const std::shared_ptr<ImagePreset>& preset) {
    return "ImagePresets/" + BackupManager::uuidString(preset->id()) + "_image.jpg";
}

} // namespace

class BackupCarryOverTests : public QObject, BackupFixture {
    Q_OBJECT

    QString storePath() const { return env->path("data/Orvane.store"); }

    void fillStore() {
        for (int i = 0; i < 3; ++i) {
            auto video = VideoMetadata::make(QStringLiteral("Orvane_clip_%1.mp4").arg(i), "sea", "768P", 6,
                                             "start_end_video", true);
            video->setFirstFrameImageData(picture(qPrintable(QStringLiteral("first %1").arg(i))));
            video->setLastFrameImageData(picture(qPrintable(QStringLiteral("last %1").arg(i))));
            store->insert(video);
        }
        auto builtIn = PromptPreset::make("Dolly", "dolly in", "Camera", true);
        builtIn->setUserImageData(picture("built-in"));
        store->insert(builtIn);
        auto own = PromptPreset::make("Mine", "my prompt", "Custom", false);
        own->setUserImageData(picture("own"));
        store->insert(own);
        auto look = ImagePreset::make("Portrait", "a face");
        look->setImageData(picture("portrait"));
        store->insert(look);
        QVERIFY(store->save());
    }

    std::shared_ptr<ImagePreset> portrait(ModelContext& in) {
        const auto presets = *in.fetch<ImagePreset>();
        for (const auto& preset : presets) {
            if (preset->title() == "Portrait")
                return preset;
        }
        return nullptr;
    }

    // Ends this "process" (the store first, as when an application quits) and starts the next one's store.
    void reopenStore() {
        store.reset();
        store = ModelSchema::openStore(storePath());
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void unchangedPicturesAreCarriedOverAndAChangedOneGetsANewFile_data() {
        QTest::addColumn<bool>("hardLinks");
        QTest::newRow("hard links") << true;
        QTest::newRow("a file system without hard links") << false;
    }

    void unchangedPicturesAreCarriedOverAndAChangedOneGetsANewFile() {
        QFETCH(bool, hardLinks);
        fillStore();
        BackupManager manager(store.get());
        if (!hardLinks) {
            manager.setFaultInjector([](BackupManager::Step at) -> std::optional<QString> {
                if (at == BackupManager::Step::pictureLink)
                    return QStringLiteral("Operation not permitted");
                return std::nullopt;
            });
        }
        manager.createBackupNow();
        const auto before = pictures(backupFolder());
        QCOMPARE(before.size(), 9);

        // The test keeps the changed picture's file of the first backup, to see that nothing writes into it.
        auto preset = portrait(*store);
        const QString changed = presetPath(preset);
        const QString kept = env->path("kept.jpg");
        QCOMPARE(::link(QFile::encodeName(backupFolder() + "/UserImages/" + changed).constData(),
                        QFile::encodeName(kept).constData()),
                 0);

        preset->setImageData(picture("portrait, retouched"));
        auto added = VideoMetadata::make("Orvane_clip_new.mp4", "sky", "768P", 6, "start_end_video", true);
        added->setFirstFrameImageData(picture("first new"));
        store->insert(added);
        const auto videos = *store->fetch<VideoMetadata>();
        const QString gone = "VideoMetadata/" + BackupManager::uuidString(videos.first()->id());
        store->remove(videos.first());
        QVERIFY(store->save());
        clock->advance(60);
        manager.createBackupNow();
        BackupManager::waitForDiscardedFiles();

        const auto after = pictures(backupFolder());
        QCOMPARE(bytesOf(after), expectedPictures(*store));
        QCOMPARE(after.value(changed).bytes, picture("portrait, retouched"));
        QVERIFY(after.value(changed).inode != before.value(changed).inode);
        QCOMPARE(readBytes(kept), picture("portrait"));
        QVERIFY(!after.contains(gone + "_first_frame.jpg"));
        int carried = 0;
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (it.key() == changed || it.key().startsWith(gone))
                continue;
            ++carried;
            QCOMPARE(after.value(it.key()).bytes, it.value().bytes);
            // Linked: the same file. Copied: a file of its own.
            QCOMPARE(after.value(it.key()).inode == it.value().inode, hardLinks);
        }
        QCOMPARE(carried, 6);
        QCOMPARE(QDir(backupFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{"UserImages", "settings_backup.json", "swift_data_backup.json"}));
    }

    void aBackupWithNothingChangedKeepsThePicturesAsTheyAre() {
        fillStore();
        BackupManager manager(store.get());
        manager.createBackupNow();
        const quint64 folder = inodeOf(backupFolder() + "/UserImages");
        const auto before = pictures(backupFolder());

        // A change that is not a picture leaves the pictures as they are too.
        auto preset = portrait(*store);
        preset->setTitle("Portrait, renamed");
        QVERIFY(store->save());
        clock->advance(60);
        manager.createBackupNow();
        QCOMPARE(inodeOf(backupFolder() + "/UserImages"), folder);
        const auto after = pictures(backupFolder());
        QCOMPARE(after.keys(), before.keys());
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.value(it.key()).inode, it.value().inode);
        QVERIFY(readBytes(backupFolder() + "/swift_data_backup.json").contains("Portrait, renamed"));
        QVERIFY(readBytes(backupFolder() + "/settings_backup.json").contains("2026-01-01T12:01:00Z"));
    }

    void picturesTakenFromTheBackupFolderByHandAreWrittenAgain() {
        fillStore();
        BackupManager manager(store.get());
        manager.createBackupNow();
        const QString removed = presetPath(portrait(*store));
        QVERIFY(QFile::remove(backupFolder() + "/UserImages/" + removed));
        QFile stray(backupFolder() + "/UserImages/ImagePresets/stray.jpg");
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.close();

        manager.createBackupNow();
        QCOMPARE(bytesOf(pictures(backupFolder())), expectedPictures(*store));
        QCOMPARE(readBytes(backupFolder() + "/UserImages/" + removed), picture("portrait"));
    }

    void aFailedBackupStillWritesTheChangedPictureNextTime() {
        fillStore();
        BackupManager manager(store.get());
        manager.createBackupNow();
        portrait(*store)->setImageData(picture("portrait, retouched"));
        QVERIFY(store->save());
        manager.setFaultInjector([](BackupManager::Step at) -> std::optional<QString> {
            if (at == BackupManager::Step::imageSwap)
                return QStringLiteral("No space left on device");
            return std::nullopt;
        });
        QVERIFY_THROWS_EXCEPTION(BackupError, manager.createBackupNow());
        manager.setFaultInjector({});
        manager.createBackupNow();
        QCOMPARE(bytesOf(pictures(backupFolder())), expectedPictures(*store));
    }

    // After the first backup the records file is written again from the rows that changed: it must read as if
    // every record had been read again, whatever changed.
    void theRecordsFileFollowsEveryKindOfChange() {
        fillStore();
        BackupManager manager(store.get());
        manager.createBackupNow();
        const auto backUp = [&] {
            clock->advance(60);
            manager.createBackupNow();
            QCOMPARE(readBytes(backupFolder() + "/swift_data_backup.json"), expectedRecordsFile(*store, clock->now()));
            QCOMPARE(bytesOf(pictures(backupFolder())), expectedPictures(*store));
        };

        const auto videos = *store->fetch<VideoMetadata>();
        videos[0]->setPrompt("The sea, \"at dawn\"\n");
        store->remove(videos[1]);
        auto added = VideoMetadata::make("Orvane_clip_new.mp4", "sky", "768P", 6, "start_end_video", true);
        added->setLastFrameImageData(picture("last new"));
        store->insert(added);
        const auto prompts = *store->fetch<PromptPreset>();
        for (const auto& preset : prompts) {
            if (preset->name() == "Mine")
                preset->setName("Mine, renamed");
        }
        auto builtIn = PromptPreset::make("Orbit", "orbit left", "Camera", true);
        builtIn->setUserImageData(picture("orbit"));
        store->insert(builtIn);
        portrait(*store)->setImageData(picture("portrait, retouched"));
        QVERIFY(store->save());
        backUp();
        if (QTest::currentTestFailed())
            return;

        // Changes not saved yet are backed up as the records hold them.
        videos[2]->setQuality("512P");
        store->remove(added);
        backUp();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(store->save());
        backUp();
        if (QTest::currentTestFailed())
            return;

        // Nothing changed.
        backUp();
    }

    // The links for the next backup are made in the background after the first save that follows a backup; a
    // picture changed after they were made still gets a new file.
    void picturesChangedAfterTheLinksWereMadeGetNewFiles() {
        fillStore();
        BackupManager manager(store.get());
        manager.createBackupNow();
        const auto before = pictures(backupFolder());
        const auto videos = *store->fetch<VideoMetadata>();
        videos[0]->setFirstFrameImageData(picture("first 0, retouched"));
        QVERIFY(store->save());
        BackupManager::waitForDiscardedFiles();
        QCOMPARE(QDir(env->path("data")).entryList({".backup-prepared-*"}, QDir::Dirs | QDir::Hidden).size(), 1);

        const QString changed = presetPath(portrait(*store));
        const QString kept = env->path("kept.jpg");
        QCOMPARE(::link(QFile::encodeName(backupFolder() + "/UserImages/" + changed).constData(),
                        QFile::encodeName(kept).constData()),
                 0);
        portrait(*store)->setImageData(picture("portrait, retouched"));
        QVERIFY(store->save());
        clock->advance(60);
        manager.createBackupNow();
        BackupManager::waitForDiscardedFiles();

        const auto after = pictures(backupFolder());
        QCOMPARE(bytesOf(after), expectedPictures(*store));
        QCOMPARE(readBytes(kept), picture("portrait"));
        // A record whose pictures changed has them all written again.
        const QString retouched = "VideoMetadata/" + BackupManager::uuidString(videos[0]->id());
        int carried = 0;
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (it.key() == changed || it.key().startsWith(retouched))
                continue;
            ++carried;
            QCOMPARE(after.value(it.key()).inode, it.value().inode);
        }
        QCOMPARE(carried, 6);
        // The links were taken into the backup; a reset takes any made since with it.
        QVERIFY(QDir(env->path("data")).entryList({".backup-prepared-*"}, QDir::Dirs | QDir::Hidden).isEmpty());
        portrait(*store)->setTitle("Portrait, renamed");
        QVERIFY(store->save());
        manager.deleteBackup();
        BackupManager::waitForDiscardedFiles();
        QVERIFY(QDir(env->path("data")).entryList({".backup-"}, QDir::AllEntries | QDir::Hidden).isEmpty());
    }

    // A picture of the previous backup changed from outside is not carried over: the backup writes it again from
    // the store, whether nothing else changed (the pictures folder would stay as it is) or another picture did
    // (the others are linked, or copied where the file system has no links).
    void picturesDamagedInTheBackupAreWrittenAgain_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("otherChange");
        QTest::addColumn<bool>("hardLinks");
        for (const char* damage :
             {"changed", "changed in place", "truncated", "symlink", "hard link from outside", "linked from outside"}) {
            QTest::addRow("%s, nothing else changed", damage) << damage << false << true;
            QTest::addRow("%s, another picture changed", damage) << damage << true << true;
        }
        QTest::newRow("symlink, no hard links") << "symlink" << true << false;
        QTest::newRow("hard link from outside, no hard links") << "hard link from outside" << true << false;
    }

    void picturesDamagedInTheBackupAreWrittenAgain() {
        QFETCH(QString, damage);
        QFETCH(bool, otherChange);
        QFETCH(bool, hardLinks);
        fillStore();
        BackupManager manager(store.get());
        if (!hardLinks) {
            manager.setFaultInjector([](BackupManager::Step at) -> std::optional<QString> {
                if (at == BackupManager::Step::pictureLink)
                    return QStringLiteral("Operation not permitted");
                return std::nullopt;
            });
        }
        manager.createBackupNow();
        BackupManager::waitForDiscardedFiles();
        const auto before = pictures(backupFolder());
        const auto videos = *store->fetch<VideoMetadata>();
        const QString damaged = "VideoMetadata/" + BackupManager::uuidString(videos[1]->id()) + "_first_frame.jpg";
        const QString path = backupFolder() + "/UserImages/" + damaged;
        const QByteArray stored = picture("first 1");
        QCOMPARE(before.value(damaged).bytes, stored);

        // Outside the backup, the size of the picture: only the link tells it apart.
        const QString outside = env->path("outside.jpg");
        QFile outsideFile(outside);
        QVERIFY(outsideFile.open(QIODevice::WriteOnly) && outsideFile.write(QByteArray(stored.size(), 'o')) > 0);
        outsideFile.close();
        const QByteArray encoded = QFile::encodeName(path);
        if (damage == "changed") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(file.write(picture("edited", 3000)) == 3000);
        } else if (damage == "changed in place") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(100) && file.write("edited") == 6);
            // Written later than the backup (the file system's clock may not have moved yet).
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(2), QFileDevice::FileModificationTime));
        } else if (damage == "truncated") {
            QVERIFY(QFile::resize(path, 0));
        } else if (damage == "symlink") {
            QVERIFY(QFile::remove(path));
            QCOMPARE(::symlink("/etc/hostname", encoded.constData()), 0);
        } else if (damage == "hard link from outside") {
            QVERIFY(QFile::remove(path));
            QCOMPARE(::link(QFile::encodeName(outside).constData(), encoded.constData()), 0);
        } else {
            QVERIFY(QFile::remove(outside));
            QCOMPARE(::link(encoded.constData(), QFile::encodeName(outside).constData()), 0);
        }
        const quint64 outsideInode = inodeOf(outside);
        const QByteArray outsideNow = readBytes(outside);

        if (otherChange) {
            portrait(*store)->setImageData(picture("portrait, retouched"));
            QVERIFY(store->save());
        }
        clock->advance(60);
        manager.createBackupNow();
        BackupManager::waitForDiscardedFiles();

        struct stat info {};
        QCOMPARE(::lstat(encoded.constData(), &info), 0);
        QVERIFY(S_ISREG(info.st_mode));
        QCOMPARE(int(info.st_nlink), 1);
        QVERIFY(quint64(info.st_ino) != outsideInode);
        QCOMPARE(readBytes(path), stored);
        const auto after = pictures(backupFolder());
        QCOMPARE(bytesOf(after), expectedPictures(*store));
        QCOMPARE(readBytes(outside), outsideNow);
        // The others were carried over (but the changed one): the damage stays with the one it hit.
        int carried = 0;
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            carried += it.key() != damaged && after.value(it.key()).inode == it.value().inode ? 1 : 0;
        QCOMPARE(carried, hardLinks ? (otherChange ? 7 : 8) : 0);
    }

    // What the next process may carry over, and what it must write again because the store changed in ways the
    // backup did not see. Most changed pictures keep their size, so only knowing about the change can find them;
    // what another program wrote while none ran is found by its size.
    void theNextProcessCarriesOverWhatThisOneBackedUp_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("othersCarried");
        QTest::newRow("nothing changed") << "" << true;
        QTest::newRow("another program wrote a picture between runs") << "another program" << true;
        // The save took the note of what the backup holds away: the next process writes every picture.
        QTest::newRow("saved after the backup, quit without one") << "saved after the backup" << false;
        QTest::newRow("saved before the backup watched the store") << "saved before watching" << false;
        QTest::newRow("saved through another connection") << "another connection" << false;
        QTest::newRow("changed but never saved") << "never saved" << true;
        QTest::newRow("renamed after the backup, quit without one") << "renamed after the backup" << false;
    }

    void theNextProcessCarriesOverWhatThisOneBackedUp() {
        QFETCH(QString, change);
        QFETCH(bool, othersCarried);
        fillStore();
        const QByteArray retouched = picture("portrait, retouched", change == "another program" ? 5000 : 4096);
        const QString changed = presetPath(portrait(*store));
        {
            BackupManager manager(store.get());
            manager.createBackupNow();
            if (change == "saved after the backup") {
                portrait(*store)->setImageData(retouched);
                QVERIFY(store->save());
            } else if (change == "renamed after the backup") {
                portrait(*store)->setTitle("Portrait, renamed");
                QVERIFY(store->save());
            } else if (change == "never saved") {
                // Backed up from memory, then lost with the process: the store keeps the earlier picture.
                portrait(*store)->setImageData(retouched);
                clock->advance(60);
                manager.createBackupNow();
                QCOMPARE(readBytes(backupFolder() + "/UserImages/" + changed), retouched);
            }
            store.reset();
        }
        const auto before = pictures(backupFolder());
        if (change == "another program") {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "another program");
                db.setDatabaseName(storePath());
                QVERIFY(db.open());
                QSqlQuery query(db);
                query.prepare("UPDATE ImagePreset SET imageData = ? WHERE title = 'Portrait'");
                query.addBindValue(retouched);
                QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
                QCOMPARE(query.numRowsAffected(), 1);
                QVERIFY2(query.exec(QStringLiteral("INSERT INTO ImagePreset (id, title, prompt, createdAt) VALUES "
                                                   "('%1', 'Added elsewhere', 'p', 0)")
                                        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces))),
                         qPrintable(query.lastError().text()));
            }
            QSqlDatabase::removeDatabase("another program");
        }

        store = ModelSchema::openStore(storePath());
        if (change == "saved before watching") {
            portrait(*store)->setImageData(retouched);
            QVERIFY(store->save());
        }
        BackupManager manager(store.get());
        if (change == "another connection") {
            auto other = ModelSchema::openStore(storePath());
            portrait(*other)->setImageData(retouched);
            QVERIFY(other->save());
        }
        clock->advance(120);
        manager.createBackupNow();

        const auto after = pictures(backupFolder());
        QCOMPARE(bytesOf(after), expectedPictures(*store));
        QCOMPARE(readBytes(backupFolder() + "/swift_data_backup.json"), expectedRecordsFile(*store, clock->now()));
        const bool storeChanged = !change.isEmpty() && change != "never saved" && change != "renamed after the backup";
        QCOMPARE(after.value(changed).bytes, storeChanged ? retouched : picture("portrait"));
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (it.key() != changed)
                QCOMPARE(after.value(it.key()).inode == it.value().inode, othersCarried);
        }
    }
};

QTEST_GUILESS_MAIN(BackupCarryOverTests)
#include "tst_backup_carry_over.moc"
