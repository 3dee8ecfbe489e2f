#include "AppPaths.h"
#include "AppSettings.h"
#include "ImagePreset.h"
#include "Log.h"
#include "ModelSchema.h"
#include "PromptPreset.h"
#include "SmallDisk.h"
#include "StoreFaults.h"
#include "TestSupport.h"
#include "VideoMetadata.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

#include <sys/stat.h>

namespace {
QImage picture(QColor color, int w = 64, int h = 32) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

std::shared_ptr<VideoMetadata> clip(const QString& name) {
    return VideoMetadata::make(name, "a prompt", "768P", 6, "image_to_video", true, "2.3", false);
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What another program reading the file sees: rows written, not what some context keeps pending.
QStringList storedValues(const QString& path, const QString& sql) {
    QStringList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "peek");
        db.setDatabaseName(path);
        QSqlQuery query(db);
        if (db.open() && query.exec(sql)) {
            while (query.next())
                values << query.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("peek");
    return values;
}

// Bytes this process has read from files so far, whether from the disk or the page cache.
qint64 bytesReadByProcess() {
    QFile io("/proc/self/io");
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

// Clips whose rows fill many pages of the store: long prompts, and pictures when `pictureBytes` is given.
void fillWithClips(const QString& path, int count, int pictureBytes = 0) {
    auto store = ModelSchema::openStore(path);
    for (int i = 0; i < count; ++i) {
        auto video = VideoMetadata::make(QStringLiteral("Orvane_%1.mp4").arg(i), QString(1500, QChar('a' + i % 26)),
                                         "768P", 6, "image_to_video", true, "2.3", false);
        if (pictureBytes > 0) {
            QByteArray frame(pictureBytes, Qt::Uninitialized);
            for (char& byte : frame)
                byte = char(QRandomGenerator::global()->bounded(256));
            video->setFirstFrameImageData(frame);
            video->setLastFrameImageData(frame);
        }
        store->insert(video);
    }
    QVERIFY(store->save());
}
} // namespace

class StoreTests : public QObject {
    Q_OBJECT
private slots:
    void recordsRoundTripThroughTheStore() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        QUuid clipId;
        {
            auto store = ModelSchema::openStore(path);
            auto video = clip("Orvane_1.mp4");
            video->setFirstFrameImageData(QByteArray("\xFF\xD8 frame"));
            clipId = video->id();
            store->insert(video);
            store->insert(AppSettings::make());
            QVERIFY(store->save());
        }
        auto store = ModelSchema::openStore(path);
        const auto videos = store->fetch<VideoMetadata>();
        QVERIFY(videos);
        QCOMPARE(videos->size(), 1);
        const auto& v = videos->first();
        QCOMPARE(v->id(), clipId);
        QCOMPARE(v->fileName(), QStringLiteral("Orvane_1.mp4"));
        QCOMPARE(v->duration(), 6);
        QCOMPARE(*v->model(), QStringLiteral("2.3"));
        QCOMPARE(*v->fastPretreatment(), false);
        QCOMPARE(*v->firstFrameImageData(), QByteArray("\xFF\xD8 frame"));
        QVERIFY(!v->lastFrameImageData());
        QVERIFY(!v->promptPreset());

        const auto settings = store->fetch<AppSettings>();
        QCOMPARE(settings->size(), 1);
        const auto& s = settings->first();
        QCOMPARE(s->id(), QStringLiteral("singleton"));
        QCOMPARE(s->videoQuality(), QStringLiteral("768P"));
        QCOMPARE(s->videoDuration(), 6);
        QVERIFY(s->defaultPromptOptimization());
        QVERIFY(!s->videoDirectoryBookmark());
        QCOMPARE(s->imageOutputSize(), QStringLiteral("hd1080"));
        QCOMPARE(s->imageFormat(), QStringLiteral("PNG"));
        QCOMPARE(s->googleAPIKey(), QString());
        QCOMPARE(s->videoGenerationMode(), QStringLiteral("imageToVideo"));
        QCOMPARE(s->videoGalleryViewMode(), QStringLiteral("Solo"));
        QVERIFY(!s->lastBackupDate());
    }

    void eachRowIsOneObject() {
        TestEnvironment env;
        auto store = ModelSchema::openStore(env.path("store.sqlite"));
        auto preset = PromptPreset::make("Orbit", "[orbit]", "User", false);
        store->insert(preset);
        QVERIFY(store->save());
        const auto first = store->fetch<PromptPreset>();
        const auto second = store->fetch<PromptPreset>();
        QCOMPARE(first->first().get(), preset.get());
        QCOMPARE(second->first().get(), preset.get());
        // Unsaved edits are what every reader sees.
        preset->setName("Renamed");
        QCOMPARE(store->fetch<PromptPreset>()->first()->name(), QStringLiteral("Renamed"));
        // Equal attribute values do not make equal records.
        auto twin = PromptPreset::make("Renamed", "[orbit]", "User", false);
        QVERIFY(twin != preset);
    }

    void fetchFiltersAndSortsIncludingUnsavedInserts() {
        TestEnvironment env;
        auto store = ModelSchema::openStore(env.path("store.sqlite"));
        auto older = ImagePreset::make("Older", "p");
        older->setCreatedAt(QDateTime::fromSecsSinceEpoch(1000, Qt::UTC));
        auto newer = ImagePreset::make("Newer", "p");
        newer->setCreatedAt(QDateTime::fromSecsSinceEpoch(2000, Qt::UTC));
        store->insert(older);
        QVERIFY(store->save());
        store->insert(newer);
        const auto sorted = store->fetch<ImagePreset>(
            {{}, [](const ImagePreset& a, const ImagePreset& b) { return a.createdAt() > b.createdAt(); }});
        QCOMPARE(sorted->size(), 2);
        QCOMPARE(sorted->at(0)->title(), QStringLiteral("Newer"));
        const auto filtered = store->fetch<ImagePreset>({[](const ImagePreset& p) { return p.title() == "Older"; }});
        QCOMPARE(filtered->size(), 1);
        store->remove(older);
        QCOMPARE(store->fetch<ImagePreset>()->size(), 1);
    }

    void recordsSavedTogetherKeepTheirInsertionOrder() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        QStringList inserted;
        {
            auto store = ModelSchema::openStore(path);
            for (int i = 0; i < 40; ++i) {
                inserted << QStringLiteral("Preset %1").arg(i);
                store->insert(PromptPreset::make(inserted.last(), "p", "User", false));
            }
            QVERIFY(store->save());
        }
        auto store = ModelSchema::openStore(path);
        const auto stored = store->fetch<PromptPreset>();
        QStringList names;
        for (const auto& preset : *stored)
            names << preset->name();
        QCOMPARE(names, inserted);
    }

    void failedSaveRollsBackAndKeepsChangesPending() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        auto store = ModelSchema::openStore(path);
        auto kept = PromptPreset::make("Kept", "k", "User", false);
        store->insert(kept);
        QVERIFY(store->save());

        QSqlQuery(store->database())
            .exec("CREATE TRIGGER refuse BEFORE INSERT ON PromptPreset WHEN NEW.name = 'Refused' "
                  "BEGIN SELECT RAISE(ABORT, 'disk is full'); END");
        kept->setName("Changed");
        auto refused = PromptPreset::make("Refused", "r", "User", false);
        store->insert(refused);
        QString error;
        QVERIFY(!store->save(&error));
        QVERIFY(error.contains("disk is full"));
        QVERIFY(store->hasChanges());

        // Nothing of the failed transaction reached the file: the rename was rolled back too.
        {
            auto reader = ModelSchema::openStore(path);
            const auto stored = reader->fetch<PromptPreset>();
            QCOMPARE(stored->size(), 1);
            QCOMPARE(stored->first()->name(), QStringLiteral("Kept"));
        }
        // A change the store refuses as such would be refused again: it is not kept for a later start.
        QVERIFY(!store->keepsChangesForLater());
        QVERIFY(!QFileInfo::exists(store->journalPath()));
        QSqlQuery(store->database()).exec("DROP TRIGGER refuse");
        QVERIFY(store->save(&error));
        QVERIFY(!store->hasChanges());
    }

    // A listener learns from each save which records it wrote and removed, and only from saves that happened.
    void aSaveNamesTheRecordsItWroteAndRemoved() {
        TestEnvironment env;
        auto store = ModelSchema::openStore(env.path("store.sqlite"));
        QList<QStringList> saves; // per save: "+name" written, "-name" removed, in that order
        connect(store.get(), &ModelContext::recordsSaved, this,
                [&](const QList<std::shared_ptr<PersistentModel>>& written,
                    const QList<std::shared_ptr<PersistentModel>>& removed) {
                    QStringList names;
                    for (const auto& record : written)
                        names << "+" + std::dynamic_pointer_cast<VideoMetadata>(record)->fileName();
                    for (const auto& record : removed)
                        names << "-" + std::dynamic_pointer_cast<VideoMetadata>(record)->fileName();
                    saves << names;
                });
        auto a = clip("Orvane_a.mp4");
        auto b = clip("Orvane_b.mp4");
        auto c = clip("Orvane_c.mp4");
        store->insert(a);
        store->insert(b);
        store->insert(c);
        QVERIFY(store->save());
        QCOMPARE(saves, (QList<QStringList>{{"+Orvane_a.mp4", "+Orvane_b.mp4", "+Orvane_c.mp4"}}));

        // A changed record, a removed one; the untouched one is not named.
        c->setFileName("Orvane_c2.mp4");
        store->remove(a);
        QVERIFY(store->save());
        QCOMPARE(saves.last(), (QStringList{"+Orvane_c2.mp4", "-Orvane_a.mp4"}));
        QVERIFY(store->save()); // nothing to write: nothing said
        QCOMPARE(saves.size(), 2);

        // A save that fails says nothing; the one that later succeeds names what it finally wrote.
        QSqlQuery(store->database())
            .exec("CREATE TRIGGER refuse BEFORE UPDATE ON VideoMetadata BEGIN SELECT RAISE(ABORT, 'no'); END");
        b->setPrompt("changed");
        QVERIFY(!store->save());
        QCOMPARE(saves.size(), 2);
        QSqlQuery(store->database()).exec("DROP TRIGGER refuse");
        QVERIFY(store->save());
        QCOMPARE(saves.last(), QStringList{"+Orvane_b.mp4"});
    }

    // --- a store that cannot be written for now

    void aLockedStoreNeitherFreezesNorLosesChanges() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString path = env.path("store.sqlite");
        auto store = ModelSchema::openStore(path);
        store->insert(AppSettings::make());
        QVERIFY(store->save());

        StoreLock lock(path);
        QVERIFY2(lock.isHeld(), qPrintable(lock.error()));
        auto video = clip("Orvane_locked.mp4");
        video->setFirstFrameImageData(QByteArray("\xFF\xD8 first frame"));
        store->insert(video);
        store->insert(PromptPreset::make("Mine", "my words", "User", false));
        QElapsedTimer timer;
        timer.start();
        QString error;
        QVERIFY(!store->save(&error));
        // At once, not after a wait for the lock: a wait would be a second or more (the opening's patience, or
        // SQLite's default); a loaded machine may still take a few hundred milliseconds to write the journal.
        QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(error.contains("locked"), qPrintable(error));

        // Kept: pending in memory and in the journal beside the store, readable only by the user.
        QVERIFY(store->hasChanges());
        QVERIFY(store->keepsChangesForLater());
        QCOMPARE(store->fetch<VideoMetadata>()->size(), 1);
        const QByteArray journal = contentsOf(env.path("store.sqlite.pending.json"));
        QVERIFY(journal.contains("Orvane_locked.mp4"));
        QVERIFY(journal.contains(QByteArray("\xFF\xD8 first frame").toBase64()));
        struct stat status {};
        QVERIFY(::stat(QFile::encodeName(store->journalPath()).constData(), &status) == 0);
        QCOMPARE(status.st_mode & 0777, 0600u);

        // Told once for each kind of record, with the store's reason.
        QCOMPARE(dialogs.notices.size(), 2);
        QCOMPARE(dialogs.notices[0].style, Dialogs::AlertStyle::warning);
        QCOMPARE(dialogs.notices[0].message, "The clip's details could not be saved yet");
        QCOMPARE(dialogs.notices[1].message, "The preset could not be saved yet");
        QVERIFY(dialogs.notices[0].informativeText.contains(error));
        store->insert(clip("Orvane_locked_2.mp4"));
        QVERIFY(!store->save());
        QCOMPARE(dialogs.notices.size(), 2);

        // Tried again later, each time after a longer pause; nothing waits in between.
        QCOMPARE(store->retryDelayMs(), 1000);
        QVERIFY(!store->retryPendingChanges());
        QCOMPARE(store->retryDelayMs(), 2000);
        QVERIFY(!store->retryPendingChanges());
        QCOMPARE(store->retryDelayMs(), 4000);
        QVERIFY(storedValues(path, "SELECT fileName FROM VideoMetadata").isEmpty());

        lock.release();
        QVERIFY(store->retryPendingChanges());
        QVERIFY(!store->hasChanges());
        QVERIFY(!store->keepsChangesForLater());
        QCOMPARE(store->retryDelayMs(), -1);
        QVERIFY(!QFileInfo::exists(store->journalPath()));
        QCOMPARE(storedValues(path, "SELECT fileName FROM VideoMetadata ORDER BY rowid"),
                 QStringList({"Orvane_locked.mp4", "Orvane_locked_2.mp4"}));
        QCOMPARE(storedValues(path, "SELECT name FROM PromptPreset"), QStringList({"Mine"}));
        QCOMPARE(dialogs.notices.size(), 2);
    }

    void aFullDiskKeepsChangesUntilThereIsRoom() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString path = env.path("store.sqlite");
        auto store = ModelSchema::openStore(path);
        // The store may not grow by a single page.
        QSqlQuery pages(store->database());
        QVERIFY(pages.exec("PRAGMA page_count") && pages.next());
        const int full = pages.value(0).toInt();
        QVERIFY(pages.exec(QStringLiteral("PRAGMA max_page_count=%1").arg(full)));
        auto video = clip("Orvane_full.mp4");
        video->setFirstFrameImageData(QByteArray(64 * 1024, 'j'));
        store->insert(video);
        QString error;
        QVERIFY(!store->save(&error));
        QVERIFY2(error.contains("full"), qPrintable(error));
        QVERIFY(store->keepsChangesForLater());
        QVERIFY(contentsOf(store->journalPath()).contains("Orvane_full.mp4"));
        QCOMPARE(dialogs.notices.size(), 1);
        QCOMPARE(dialogs.notices.first().informativeText,
                 "The data store said: “" + error +
                     "”. Nothing is lost: Orvane keeps the change and saves it as soon as the store can be written "
                     "again.");

        QVERIFY(pages.exec(QStringLiteral("PRAGMA max_page_count=%1").arg(full * 100)));
        QVERIFY(store->retryPendingChanges());
        QCOMPARE(storedValues(path, "SELECT length(firstFrameImageData) FROM VideoMetadata"), QStringList({"65536"}));
    }

    // The data folder on a real file system with no room left: neither the store nor the journal beside it
    // can grow.
    void aFullDataDiskKeepsTheJournalInTheCacheFolderAcrossARestart() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        SmallDisk disk(1024 * 1024);
        QVERIFY2(disk.isMounted(), qPrintable(disk.error()));
        const QString path = disk.filePath("Orvane.store");
        QString presetId;
        QString fallback;
        {
            auto store = ModelSchema::openStore(path);
            fallback = store->fallbackJournalPath();
            store->insert(AppSettings::make());
            QVERIFY(store->save());
            disk.fill();
            auto preset = PromptPreset::make("Made on a full disk", "p", "User", false);
            preset->setUserImageData(QByteArray(3000, 'u'));
            presetId = preset->identity();
            store->insert(preset);
            QString error;
            QVERIFY(!store->save(&error));
            QVERIFY2(error.contains("full"), qPrintable(error));
            QVERIFY(!QFileInfo::exists(store->journalPath()));
            QVERIFY(contentsOf(fallback).contains("Made on a full disk"));
            QVERIFY(store->journalHoldsChanges());
            QCOMPARE(dialogs.notices.size(), 1);
            QVERIFY(dialogs.notices[0].informativeText.contains("Nothing is lost"));

            preset->setName("Renamed on a full disk");
            QTRY_VERIFY(contentsOf(fallback).contains("Renamed on a full disk"));
        } // quit
        disk.freeSpace();
        auto store = ModelSchema::openStore(path);
        QVERIFY(!store->hasChanges());
        const auto presets = store->fetch<PromptPreset>();
        QCOMPARE(presets->size(), 1);
        QCOMPARE(presets->first()->identity(), presetId);
        QCOMPARE(presets->first()->name(), "Renamed on a full disk");
        QCOMPARE(presets->first()->userImageData(), std::optional<QByteArray>(QByteArray(3000, 'u')));
        QVERIFY(!QFileInfo::exists(fallback));
    }

    void whenNoJournalCanBeWrittenTheLastOneStaysWholeAndTheUserHearsIt() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        SmallDisk disk(1024 * 1024);
        QVERIFY2(disk.isMounted(), qPrintable(disk.error()));
        AppPaths::setRoot(disk.path()); // the cache folder is on the full disk too
        const QString path = disk.filePath("Orvane.store");
        auto store = ModelSchema::openStore(path);
        store->insert(AppSettings::make());
        QVERIFY(store->save());
        StoreLock lock(path);
        QVERIFY2(lock.isHeld(), qPrintable(lock.error()));
        store->insert(PromptPreset::make("First", "p", "User", false));
        QVERIFY(!store->save());
        const QByteArray before = contentsOf(store->journalPath());
        QVERIFY(before.contains("First"));

        disk.fill();
        store->insert(PromptPreset::make("Second", "p", "User", false));
        QVERIFY(!store->save());
        QCOMPARE(contentsOf(store->journalPath()), before);
        QVERIFY(!QFileInfo::exists(store->fallbackJournalPath()));
        QVERIFY(store->keepsChangesForLater());
        QVERIFY(!store->journalHoldsChanges());
        QVERIFY(env.hasLineStartingWith("❌ [Store] Unsaved changes could not be kept in a journal: "));
        QCOMPARE(dialogs.notices.size(), 2);
        QVERIFY(dialogs.notices[0].informativeText.contains("Nothing is lost"));
        QCOMPARE(dialogs.notices[1].message, "The preset could not be saved yet");
        QVERIFY(!dialogs.notices[1].informativeText.contains("Nothing is lost"));
        QVERIFY2(dialogs.notices[1].informativeText.contains("could not be written to a journal either") &&
                     dialogs.notices[1].informativeText.contains("lost if Orvane quits"),
                 qPrintable(dialogs.notices[1].informativeText));

        // Room again: the next write is made in full, not skipped as unchanged.
        disk.freeSpace();
        QVERIFY(!store->retryPendingChanges());
        QVERIFY(contentsOf(store->journalPath()).contains("Second"));
        QVERIFY(store->journalHoldsChanges());
        store.reset();
        lock.release();
        store = ModelSchema::openStore(path);
        QCOMPARE(storedValues(path, "SELECT name FROM PromptPreset ORDER BY rowid"), QStringList({"First", "Second"}));
    }

    void aReadOnlyStoreKeepsChangesInItsJournalAcrossRestarts() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString path = env.path("store.sqlite");
        QString keptId;
        {
            auto store = ModelSchema::openStore(path);
            auto kept = PromptPreset::make("Kept", "k", "User", false);
            kept->setUserImageData(QByteArray("kept picture"));
            keptId = kept->identity();
            store->insert(kept);
            QVERIFY(store->save());
        }
        {
            ReadOnlyStores readOnly;
            auto store = ModelSchema::openStore(path);
            QVERIFY(store->isReadOnly());
            QVERIFY(!store->keptAsidePath() && !store->isInMemory());
            const auto presets = store->fetch<PromptPreset>();
            QCOMPARE(presets->size(), 1);
            presets->first()->setName("Renamed");
            auto video = clip("Orvane_readonly.mp4");
            video->setLastFrameImageData(QByteArray("last frame"));
            store->insert(video);
            QElapsedTimer timer;
            timer.start();
            QString error;
            QVERIFY(!store->save(&error));
            QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
            QVERIFY2(error.contains("readonly"), qPrintable(error));
            QVERIFY(store->keepsChangesForLater());
            // A read-only store is announced when it opens; failed saves do not say it again.
            QVERIFY(dialogs.notices.isEmpty());
        } // quit
        {
            // Still read-only at the next start: what was kept is there, still waiting.
            ReadOnlyStores readOnly;
            auto store = ModelSchema::openStore(path);
            QVERIFY(store->hasChanges());
            QCOMPARE(store->fetch<VideoMetadata>()->first()->fileName(), "Orvane_readonly.mp4");
            QCOMPARE(store->fetch<PromptPreset>()->first()->name(), "Renamed");
            QVERIFY(storedValues(path, "SELECT fileName FROM VideoMetadata").isEmpty());
        }
        QVERIFY(QFileInfo::exists(path + ".pending.json"));

        // Writable again: the journal lands at opening, once, and goes.
        {
            auto store = ModelSchema::openStore(path);
            QVERIFY(!store->isReadOnly());
            QVERIFY(!store->hasChanges());
            QVERIFY(!QFileInfo::exists(path + ".pending.json"));
            QVERIFY(env.hasLineStartingWith("💾 ✅ [Store] The changes kept from earlier were saved."));
        }
        auto store = ModelSchema::openStore(path);
        const auto videos = store->fetch<VideoMetadata>();
        QCOMPARE(videos->size(), 1);
        QCOMPARE(videos->first()->lastFrameImageData(), std::optional<QByteArray>("last frame"));
        QVERIFY(!videos->first()->firstFrameImageData());
        QCOMPARE(*videos->first()->model(), "2.3");
        const auto presets = store->fetch<PromptPreset>();
        QCOMPARE(presets->size(), 1);
        QCOMPARE(presets->first()->identity(), keptId);
        QCOMPARE(presets->first()->name(), "Renamed");
        QCOMPARE(presets->first()->userImageData(), std::optional<QByteArray>("kept picture"));
    }

    void aStoreThatBecomesWritableTakesTheChangesAtTheRetry() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        ModelSchema::openStore(path).reset();
        auto readOnly = std::make_unique<ReadOnlyStores>();
        auto store = ModelSchema::openStore(path);
        store->insert(ImagePreset::make("Waiting", "p"));
        QVERIFY(!store->save());
        QVERIFY(!store->retryPendingChanges()); // still read-only
        readOnly.reset();
        QVERIFY(store->retryPendingChanges());
        QVERIFY(!store->isReadOnly());
        QCOMPARE(storedValues(path, "SELECT title FROM ImagePreset"), QStringList({"Waiting"}));
        QVERIFY(!QFileInfo::exists(store->journalPath()));
        // And the store goes on working on its new connection.
        store->insert(ImagePreset::make("After", "p"));
        QVERIFY(store->save());
        QCOMPARE(storedValues(path, "SELECT title FROM ImagePreset ORDER BY rowid"), QStringList({"Waiting", "After"}));
    }

    void aStoreFolderThatCannotBeWrittenKeepsTheJournalElsewhere() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        ModelSchema::openStore(path).reset();
        // Nothing can be written under the journal's name beside the store.
        QVERIFY(QDir().mkpath(path + ".pending.json"));
        QString fallback;
        {
            ReadOnlyStores readOnly;
            auto store = ModelSchema::openStore(path);
            fallback = store->fallbackJournalPath();
            QVERIFY(QFileInfo(fallback).absolutePath() != QFileInfo(path).absolutePath());
            store->insert(clip("Orvane_elsewhere.mp4"));
            QVERIFY(!store->save());
            QVERIFY(contentsOf(fallback).contains("Orvane_elsewhere.mp4"));
        }
        auto store = ModelSchema::openStore(path);
        QVERIFY(!store->hasChanges());
        QCOMPARE(storedValues(path, "SELECT fileName FROM VideoMetadata"), QStringList({"Orvane_elsewhere.mp4"}));
        QVERIFY(!QFileInfo::exists(fallback));
    }

    void aDamagedJournalIsKeptAsideAndReadableEntriesStillLand() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        ModelSchema::openStore(path).reset();
        {
            QFile journal(path + ".pending.json");
            QVERIFY(journal.open(QIODevice::WriteOnly));
            journal.write("{\"format\": 1, \"changes\": [");
        }
        {
            auto store = ModelSchema::openStore(path);
            QVERIFY(env.hasLineStartingWith("⚠️ [Store] The journal " + path + ".pending.json could not be read"));
            const QStringList unreadable = QDir(env.root()).entryList({"store.sqlite.pending.json.unreadable-*"});
            QCOMPARE(unreadable.size(), 1);
            QCOMPARE(store->keptJournals().size(), 1);
            QCOMPARE(store->keptJournals()[0].why, ModelContext::KeptJournal::Why::unreadable);
            QCOMPARE(store->keptJournals()[0].path, env.path(unreadable.first()));
        }

        // Entries of a wrong shape are left out; the others land.
        const QByteArray partlyReadable = R"({"format": 1, "written": 1, "deletions": [], "changes": [
                {"table": "ImagePreset", "values": {"id": "6b1c3f7e-0000-4000-8000-000000000001", "title": "Good",
                 "prompt": "p", "createdAt": 1000, "imageData": "aW1hZ2U="}},
                {"table": "ImagePreset", "values": {"id": "6b1c3f7e-0000-4000-8000-000000000002", "title": 7}},
                {"table": "ImagePreset", "values": {"id": "6b1c3f7e-0000-4000-8000-000000000003", "title": "Bad",
                 "imageData": "not base64!"}},
                {"table": "NoSuchTable", "values": {"id": "x"}}]})";
        {
            QFile journal(path + ".pending.json");
            QVERIFY(journal.open(QIODevice::WriteOnly));
            journal.write(partlyReadable);
        }
        {
            auto store = ModelSchema::openStore(path);
            QVERIFY(env.hasLineStartingWith("⚠️ [Store] 3 entries of the journal could not be read"));
            // The journal itself goes once the rest has landed; a dated copy of it stays for what was left out.
            const QStringList copies = QDir(env.root()).entryList({"store.sqlite.pending.json.incomplete-*"});
            QCOMPARE(copies.size(), 1);
            QCOMPARE(contentsOf(env.path(copies.first())), partlyReadable);
            QCOMPARE(store->keptJournals().size(), 1);
            QCOMPARE(store->keptJournals()[0].why, ModelContext::KeptJournal::Why::partlyRead);
            QCOMPARE(store->keptJournals()[0].path, env.path(copies.first()));
            QCOMPARE(store->keptJournals()[0].leftOut, 3);
            QCOMPARE(storedValues(path, "SELECT title FROM ImagePreset"), QStringList({"Good"}));
            QCOMPARE(store->fetch<ImagePreset>()->first()->imageData(), std::optional<QByteArray>("image"));
            QVERIFY(!QFileInfo::exists(path + ".pending.json"));
            QVERIFY(QSqlQuery(store->database())
                        .exec("CREATE TRIGGER refuse BEFORE INSERT ON ImagePreset WHEN NEW.title = 'Refused' "
                              "BEGIN SELECT RAISE(ABORT, 'no'); END"));
        }

        // A journal the store refuses as such is kept aside, so it holds back neither this start nor the next.
        {
            QFile journal(path + ".pending.json");
            QVERIFY(journal.open(QIODevice::WriteOnly));
            journal.write(R"({"format": 1, "written": 2, "changes": [{"table": "ImagePreset", "values":
                {"id": "6b1c3f7e-0000-4000-8000-000000000004", "title": "Refused", "prompt": "p", "createdAt": 1}}]})");
        }
        auto store = ModelSchema::openStore(path);
        QVERIFY(env.hasLineStartingWith("❌ [Store] The store refused the changes kept from earlier"));
        QCOMPARE(QDir(env.root()).entryList({"store.sqlite.pending.json.refused-*"}).size(), 1);
        QCOMPARE(store->keptJournals().size(), 1);
        QCOMPARE(store->keptJournals()[0].why, ModelContext::KeptJournal::Why::refused);
        QVERIFY(!store->hasChanges());
        store->insert(ImagePreset::make("Next", "p"));
        QVERIFY(store->save());
        QCOMPARE(storedValues(path, "SELECT title FROM ImagePreset ORDER BY rowid"), QStringList({"Good", "Next"}));
    }

    void deletingAPresetKeepsItsClipsWithTheLinkCleared() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        {
            auto store = ModelSchema::openStore(path);
            auto prompt = PromptPreset::make("Orbit", "[orbit]", "User", false);
            auto image = ImagePreset::make("Street", "p");
            auto video = clip("Orvane_2.mp4");
            video->setPromptPreset(prompt);
            video->setImagePreset(image);
            store->insert(prompt);
            store->insert(image);
            store->insert(video);
            QVERIFY(store->save());
            QCOMPARE(prompt->videos().size(), 1);
            QCOMPARE(image->videos().first().get(), video.get());

            store->remove(prompt);
            QVERIFY(!video->promptPreset());
            QCOMPARE(video->imagePreset().get(), image.get());
            QVERIFY(store->save());
        }
        {
            // Also for clips that were never loaded when the preset went away.
            auto store = ModelSchema::openStore(path);
            const auto images = store->fetch<ImagePreset>();
            store->remove(images->first());
            QVERIFY(store->save());
        }
        auto store = ModelSchema::openStore(path);
        const auto videos = store->fetch<VideoMetadata>();
        QCOMPARE(videos->size(), 1);
        QVERIFY(!videos->first()->promptPreset());
        QVERIFY(!videos->first()->imagePreset());
        QCOMPARE(store->fetch<PromptPreset>()->size(), 0);
    }

    // --- picture columns are read on first use

    void picturesAreReadWhenFirstAskedFor() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        {
            auto store = ModelSchema::openStore(path);
            auto video = clip("Orvane_1.mp4");
            video->setFirstFrameImageData(QByteArray("first"));
            video->setLastFrameImageData(QByteArray("last"));
            store->insert(video);
            QVERIFY(store->save());
        }
        auto store = ModelSchema::openStore(path);
        const auto videos = store->fetch<VideoMetadata>();
        QCOMPARE(videos->size(), 1);
        const auto& video = videos->first();
        QCOMPARE(video->fileName(), "Orvane_1.mp4");
        QVERIFY(video->hasFirstFrameImageData());
        QVERIFY(video->hasLastFrameImageData());
        // Changed behind the record's back after the fetch: what the getter gives shows when it was read.
        QSqlQuery update(store->database());
        QVERIFY(update.exec("UPDATE VideoMetadata SET firstFrameImageData = x'6c617465', lastFrameImageData = NULL"));
        QVERIFY(video->hasLastFrameImageData()); // known from the fetch; nothing read since
        QCOMPARE(video->firstFrameImageData(), std::optional<QByteArray>("late"));
        QVERIFY(!video->lastFrameImageData());
        QVERIFY(!video->hasLastFrameImageData()); // read now: the stored value decides
        QVERIFY(!video->hasChanges());
        QVERIFY(!store->hasChanges());
    }

    void savingWithoutReadingThePicturesKeepsThem() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        {
            auto store = ModelSchema::openStore(path);
            auto linked = PromptPreset::make("Pan", "[Pan left]", "Camera", true);
            store->insert(linked);
            auto video = clip("Orvane_1.mp4");
            video->setFirstFrameImageData(QByteArray("first"));
            video->setLastFrameImageData(QByteArray("last"));
            video->setPromptPreset(linked);
            store->insert(video);
            auto renamed = clip("Orvane_2.mp4");
            renamed->setFirstFrameImageData(QByteArray("second"));
            store->insert(renamed);
            auto preset = PromptPreset::make("Tilt", "[Tilt up]", "Camera", true);
            preset->setPreviewThumbnailData(QByteArray("thumb"));
            store->insert(preset);
            QVERIFY(store->save());
        }
        {
            auto store = ModelSchema::openStore(path);
            const auto videos = store->fetch<VideoMetadata>();
            // Changed through a setter without reading the pictures.
            videos->at(1)->setPrompt("renamed");
            // Changed without a setter: the link to a deleted preset is cleared in place.
            store->remove(videos->at(0)->promptPreset());
            QVERIFY(!videos->at(0)->promptPreset());
            // One picture set, the other never read.
            const auto tilt = store->fetch<PromptPreset>({[](const PromptPreset& p) { return p.name() == "Tilt"; }});
            tilt->first()->setUserImageData(QByteArray("mine"));
            QVERIFY(store->save());
        }
        auto store = ModelSchema::openStore(path);
        const auto videos = store->fetch<VideoMetadata>();
        QCOMPARE(videos->size(), 2);
        QVERIFY(!videos->at(0)->promptPreset());
        QCOMPARE(videos->at(0)->firstFrameImageData(), std::optional<QByteArray>("first"));
        QCOMPARE(videos->at(0)->lastFrameImageData(), std::optional<QByteArray>("last"));
        QCOMPARE(videos->at(1)->prompt(), "renamed");
        QCOMPARE(videos->at(1)->firstFrameImageData(), std::optional<QByteArray>("second"));
        const auto presets = store->fetch<PromptPreset>();
        QCOMPARE(presets->size(), 1);
        QVERIFY(presets->first()->hasPreviewThumbnailData());
        QVERIFY(presets->first()->hasUserImageData());
        QCOMPARE(presets->first()->previewThumbnailData(), std::optional<QByteArray>("thumb"));
        QCOMPARE(presets->first()->userImageData(), std::optional<QByteArray>("mine"));
    }

    void aRemovedRecordKeepsItsPicturesAndLinksStillResolve() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        {
            auto store = ModelSchema::openStore(path);
            auto preset = ImagePreset::make("Noir", "black and white");
            preset->setImageData(QByteArray("noir"));
            store->insert(preset);
            for (int i = 0; i < 3; ++i) {
                auto video = clip(QStringLiteral("Orvane_%1.mp4").arg(i));
                video->setImagePreset(preset);
                video->setFirstFrameImageData(QByteArray::number(i));
                store->insert(video);
            }
            QVERIFY(store->save());
        }
        auto store = ModelSchema::openStore(path);
        const auto videos = store->fetch<VideoMetadata>();
        QCOMPARE(videos->size(), 3);
        const auto preset = videos->at(0)->imagePreset();
        QVERIFY(preset);
        QVERIFY(preset->hasImageData());
        for (const auto& video : *videos)
            QCOMPARE(video->imagePreset(), preset); // one object for the one row
        QCOMPARE(preset->imageData(), std::optional<QByteArray>("noir"));
        store->remove(videos->at(1));
        QVERIFY(store->save());
        QCOMPARE(videos->at(1)->firstFrameImageData(), std::optional<QByteArray>("1"));
        const auto left = store->fetch<VideoMetadata>();
        QCOMPARE(left->size(), 2);
        QCOMPARE(left->at(0), videos->at(0));
        QCOMPARE(left->at(1)->firstFrameImageData(), std::optional<QByteArray>("2"));
    }

    void transientHoverIsNeverStored() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        {
            auto store = ModelSchema::openStore(path);
            auto preset = PromptPreset::make("Orbit", "[orbit]", "User", false);
            QVERIFY(!preset->isHovered());
            QVERIFY(!preset->previewThumbnailData());
            QVERIFY(!preset->userImageData());
            QVERIFY(preset->videos().isEmpty());
            store->insert(preset);
            QVERIFY(store->save());
            QSignalSpy changed(preset.get(), &PersistentModel::changed);
            preset->setIsHovered(true);
            QCOMPARE(changed.count(), 1);
            QVERIFY(!store->hasChanges());
        }
        auto store = ModelSchema::openStore(path);
        QVERIFY(!store->fetch<PromptPreset>()->first()->isHovered());
    }

    void picturesAreStoredAsJpegAndBadPicturesLeaveTheOldOne() {
        auto preset = ImagePreset::make("Plain", "p");
        QVERIFY(!preset->imageData());
        QVERIFY(preset->image().isNull());

        auto pictured = ImagePreset::make("Pictured", "p", picture(Qt::red));
        QVERIFY(pictured->imageData()->startsWith("\xFF\xD8"));
        QCOMPARE(pictured->image().size(), QSize(64, 32));
        const QByteArray before = *pictured->imageData();
        pictured->storeImageAsJPEG(QImage());
        QCOMPARE(*pictured->imageData(), before);

        auto prompt = PromptPreset::make("P", "p", "User", false);
        prompt->setUserImage(picture(Qt::blue));
        prompt->setPreviewThumbnail(picture(Qt::green, 10, 10));
        QCOMPARE(prompt->userImage().size(), QSize(64, 32));
        QVERIFY(prompt->previewThumbnailData());
        prompt->setUserImageData(QByteArray("garbage"));
        QVERIFY(prompt->userImage().isNull());
        QCOMPARE(*prompt->userImageData(), QByteArray("garbage"));
    }

    void aStoreThatIsNotSqliteIsKeptAsideAndReplaced() {
        TestEnvironment env;
        const QString path = env.path("broken.store");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
        file.close();

        auto store = ModelSchema::openStore(path);
        QVERIFY(!store->isInMemory());
        QVERIFY(env.hasLineStartingWith("❌ [Store] The object store at " + path + " could not be opened"));
        QVERIFY(env.hasLineStartingWith("⚠️ [Store] The unreadable store was kept at "));
        const QStringList aside = QDir(env.root()).entryList({"broken.store.unreadable-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(QFileInfo(env.path(aside.first())).size(), 8192);
        store->insert(AppSettings::make());
        QVERIFY(store->save());
    }

    void openingAndListingReadTheRowsNotThePictures() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        fillWithClips(path, 40, 100 * 1024);
        const qint64 storeBytes = QFileInfo(path).size();
        QVERIFY(storeBytes > 40 * 2 * 100 * 1024);

        const qint64 before = bytesReadByProcess();
        QVERIFY(before >= 0);
        auto store = ModelSchema::openStore(path);
        const auto clips = store->fetch<VideoMetadata>();
        const qint64 read = bytesReadByProcess() - before;
        QVERIFY(clips && clips->size() == 40 && !store->keptAsidePath());
        QVERIFY2(read < storeBytes / 10, qPrintable(QStringLiteral("read %1 of %2 bytes").arg(read).arg(storeBytes)));
        // A picture is read when asked for, and only its own.
        QCOMPARE(clips->last()->firstFrameImageData()->size(), 100 * 1024);
    }

    void damageWhereOpeningLooksIsKeptAsideAtOnce() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        fillWithClips(path, 3);
        DamagedPage damage(path, "VideoMetadata", DamagedPage::Where::first);
        QVERIFY(damage.isDone());
        auto store = ModelSchema::openStore(path);
        QVERIFY(env.hasLineStartingWith("❌ [Store] The object store at " + path + " could not be opened: "));
        QVERIFY(store->keptAsidePath() && !store->isInMemory());
        QVERIFY(!env.hasLineStartingWith("🔎")); // what opening reports is enough, no check of the whole file
        QCOMPARE(store->fetch<VideoMetadata>()->size(), 0);
    }

    void damageMetAfterOpeningIsCheckedAndKeptAsideAtTheNextOpening() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        fillWithClips(path, 40);
        {
            auto store = ModelSchema::openStore(path);
            store->insert(AppSettings::make());
            QVERIFY(store->save());
        }
        const qint64 storeBytes = QFileInfo(path).size();
        DamagedPage damage(path, "VideoMetadata");
        QVERIFY(damage.isDone());

        {
            auto store = ModelSchema::openStore(path);
            QVERIFY(!store->keptAsidePath() && !store->isInMemory());
            QCOMPARE(store->fetch<AppSettings>()->size(), 1); // what can be read still is
            QString error;
            QVERIFY(!store->fetch<VideoMetadata>({}, &error));
            QVERIFY(!error.isEmpty());
            QVERIFY(env.hasLineStartingWith("⚠️ [Store] The store at " + path + " reported damage ("));
        }
        QVERIFY(!env.hasLineStartingWith("🔎"));

        auto store = ModelSchema::openStore(path);
        QVERIFY(env.hasLineStartingWith("🔎 [Store] Damage was reported in the store at " + path));
        QVERIFY(env.hasLineStartingWith("❌ [Store] The object store at " + path +
                                        " could not be opened: integrity check failed: "));
        QVERIFY(store->keptAsidePath());
        QCOMPARE(QFileInfo(*store->keptAsidePath()).size(), storeBytes);
        QVERIFY(!store->isInMemory());
        // What could be read was copied into the new store: all but the rows of the damaged page.
        const int kept = 40 - int(damage.rowids().size());
        QVERIFY(damage.rowids().size() > 0);
        QCOMPARE(store->fetch<VideoMetadata>()->size(), kept);
        QCOMPARE(store->fetch<AppSettings>()->size(), 1);
        store->insert(clip("Orvane_new.mp4"));
        QVERIFY(store->save());

        // The new store is not checked again.
        store.reset();
        env.clearLog();
        store = ModelSchema::openStore(path);
        QVERIFY(!env.hasLineStartingWith("🔎") && !store->keptAsidePath());
        QCOMPARE(store->fetch<VideoMetadata>()->size(), kept + 1);
        QCOMPARE(store->fetch<VideoMetadata>()->last()->fileName(), "Orvane_new.mp4");
    }

    void aDamagedPageCostsOnlyTheRecordsOnIt() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        fillWithClips(path, 60, 300);
        {
            auto store = ModelSchema::openStore(path);
            for (int i = 0; i < 13; ++i) {
                auto preset = PromptPreset::make(QStringLiteral("Preset %1").arg(i), "p", "User", false);
                preset->setUserImageData(QByteArray(200, char('a' + i)));
                store->insert(preset);
            }
            store->insert(AppSettings::make());
            QVERIFY(store->save());
        }
        const QString clipsQuery = "SELECT rowid || ' ' || fileName || ' ' || hex(firstFrameImageData) || ' ' || "
                                   "hex(lastFrameImageData) FROM VideoMetadata ORDER BY rowid";
        const QString presetsQuery = "SELECT name || ' ' || hex(userImageData) FROM PromptPreset ORDER BY rowid";
        const QStringList clips = storedValues(path, clipsQuery);
        const QStringList presets = storedValues(path, presetsQuery);
        QCOMPARE(clips.size(), 60);
        DamagedPage damage(path, "VideoMetadata", DamagedPage::Where::middle);
        QVERIFY(damage.isDone());
        const QList<qint64> lost = damage.rowids();
        QVERIFY(!lost.isEmpty() && lost.size() < 10);
        QVERIFY(lost.first() > 1 && lost.last() < 60); // rows on both sides of it

        QVERIFY(!ModelSchema::openStore(path)->fetch<VideoMetadata>()); // a listing meets the damage
        auto store = ModelSchema::openStore(path);
        QVERIFY(store->keptAsidePath() && !store->isInMemory());

        QStringList kept;
        for (const QString& row : clips) {
            if (!lost.contains(row.section(' ', 0, 0).toLongLong()))
                kept << row;
        }
        QCOMPARE(storedValues(path, clipsQuery), kept);
        QCOMPARE(storedValues(path, presetsQuery), presets);
        QCOMPARE(store->fetch<VideoMetadata>()->size(), 60 - lost.size());
        QCOMPARE(store->fetch<PromptPreset>()->first()->userImageData(),
                 std::optional<QByteArray>(QByteArray(200, 'a')));
        const auto recovered = store->recoveredRecords();
        QCOMPARE(recovered.size(), 3);
        QCOMPARE(recovered[0].table, "VideoMetadata");
        QCOMPARE(recovered[0].count, 60 - lost.size());
        QCOMPARE(recovered[1].table, "PromptPreset");
        QCOMPARE(recovered[1].count, 13);
        QCOMPARE(recovered[2].table, "AppSettings");
        QVERIFY(env.hasLineStartingWith("💾 [Store] Read back from the kept store into the new one: "));
        // The kept file is as it was: the damage is still in it.
        const QByteArray keptFile = contentsOf(*store->keptAsidePath());
        QVERIFY(keptFile.contains(QByteArray(4096, '\xff')));
        store->insert(clip("Orvane_after.mp4"));
        QVERIFY(store->save());
    }

    void aDamagedSchemaLeavesNothingToReadBack() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        fillWithClips(path, 3);
        DamagedPage damage(path, "VideoMetadata", DamagedPage::Where::schema);
        QVERIFY(damage.isDone());
        auto store = ModelSchema::openStore(path);
        QVERIFY(store->keptAsidePath() && !store->isInMemory());
        QVERIFY(store->recoveredRecords().isEmpty());
        QVERIFY(env.hasLineStartingWith("⚠️ [Store] Nothing could be read back from the kept store "));
        QCOMPARE(store->fetch<VideoMetadata>()->size(), 0);
        store->insert(clip("Orvane_new.mp4"));
        QVERIFY(store->save());
    }

    void damageTheCheckDoesNotFindKeepsTheStore() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        fillWithClips(path, 40);
        DamagedPage damage(path, "VideoMetadata");
        QVERIFY(damage.isDone());
        QVERIFY(!ModelSchema::openStore(path)->fetch<VideoMetadata>());
        QVERIFY(damage.repair()); // read again, the page is whole: a fault of the disk that passed

        auto store = ModelSchema::openStore(path);
        QVERIFY(env.hasLineStartingWith("✅ [Store] The store at " + path + " passed the check"));
        QVERIFY(!store->keptAsidePath());
        QCOMPARE(store->fetch<VideoMetadata>()->size(), 40);
        store.reset();
        env.clearLog();
        ModelSchema::openStore(path).reset();
        QVERIFY(!env.hasLineStartingWith("🔎")); // checked once, not at every start
    }

    void anUnwritableLocationFallsBackToMemory() {
        TestEnvironment env;
        auto store = ModelSchema::openStore("/proc/orvane/cannot/exist.store");
        QVERIFY(store->isInMemory());
        store->insert(AppSettings::make());
        QVERIFY(store->save());
        QCOMPARE(store->fetch<AppSettings>()->size(), 1);
    }

    void olderStoresGainNewColumns() {
        TestEnvironment env;
        const QString path = env.path("old.store");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec("CREATE TABLE \"ImagePreset\" (id TEXT PRIMARY KEY NOT NULL, title TEXT, "
                                       "prompt TEXT, createdAt INTEGER)"));
            QVERIFY(QSqlQuery(db).exec("INSERT INTO \"ImagePreset\" VALUES ('6b1c3f7e-0000-4000-8000-000000000001', "
                                       "'Old', 'p', 0)"));
            db.close();
        }
        QSqlDatabase::removeDatabase("old");
        auto store = ModelSchema::openStore(path);
        const auto presets = store->fetch<ImagePreset>();
        QCOMPARE(presets->size(), 1);
        QCOMPARE(presets->first()->title(), QStringLiteral("Old"));
        QVERIFY(!presets->first()->imageData());
        presets->first()->storeImageAsJPEG(picture(Qt::red));
        QVERIFY(store->save());
    }

    void autosaveWritesOnTheNextTurn() {
        TestEnvironment env;
        const QString path = env.path("store.sqlite");
        auto store = ModelSchema::openStore(path);
        store->setAutosaveEnabled(true);
        store->insert(clip("Orvane_3.mp4"));
        QVERIFY(store->hasChanges());
        QTRY_VERIFY(!store->hasChanges());
        auto reader = ModelSchema::openStore(path);
        QCOMPARE(reader->fetch<VideoMetadata>()->size(), 1);
    }
};

QTEST_GUILESS_MAIN(StoreTests)
#include "tst_store.moc"
