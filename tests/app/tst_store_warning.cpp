#include "BackupManager.h"
#include "ImagePreset.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "OrvaneApp.h"
#include "PromptPreset.h"
#include "SmallDisk.h"
#include "StoreFaults.h"
#include "TestSupport.h"
#include "VideoMetadata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

class StoreWarningTests : public QObject {
    Q_OBJECT

    static void writeGarbage(const QString& path, const QByteArray& bytes = QByteArray(8192, 'x')) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

private slots:
    void aStoreThatOpensIsNotMentioned() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        OrvaneApp app(env.path("store.sqlite"));
        QVERIFY(dialogs.alerts.isEmpty());
        QVERIFY(!app.modelContext().keptAsidePath());
    }

    void anUnreadableStoreKeptAsideIsNamedWithItsFolder() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        QVERIFY(QDir().mkpath(env.path("data")));
        const QString path = env.path("data/store.sqlite");
        writeGarbage(path);
        OrvaneApp app(path);

        const QStringList aside = QDir(env.path("data")).entryList({"store.sqlite.unreadable-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(QFileInfo(env.path("data/" + aside.first())).size(), 8192);
        QCOMPARE(app.modelContext().keptAsidePath(), std::optional<QString>(env.path("data/" + aside.first())));
        QVERIFY(!app.modelContext().isInMemory());

        QCOMPARE(dialogs.alerts.size(), 1);
        const auto& alert = dialogs.alerts.first();
        QCOMPARE(alert.style, Dialogs::AlertStyle::warning);
        QCOMPARE(alert.message, "Orvane could not open its data store");
        QCOMPARE(alert.informativeText, "The unreadable store was kept as “" + aside.first() + "” in " +
                                            QDir::toNativeSeparators(env.path("data")) +
                                            ". A new, empty store was created in its place.");
        QCOMPARE(alert.buttons, QStringList({"OK"}));
    }

    // The last backup is kept as soon as the store is set aside, before any backup (or a crash) could replace it.
    // A start that was ended after setting the store aside, or could not keep the backup, leaves both to the next.
    void theLastBackupIsKeptAtOnceWhenTheStoreIsSetAside_data() {
        QTest::addColumn<QString>("setAside");
        QTest::newRow("at this start") << "";
        QTest::newRow("by a start ended before it told anyone") << "ended";
        QTest::newRow("by a start with a full disk") << "full disk";
    }

    void theLastBackupIsKeptAtOnceWhenTheStoreIsSetAside() {
        QFETCH(QString, setAside);
        TestEnvironment env;
        ScriptedDialogs dialogs;
        QVERIFY(QDir().mkpath(env.path("data")));
        SmallDisk disk(256 * 1024);
        QVERIFY(disk.isMounted() && QFile::link(disk.path(), env.path("data/Backups")));
        const QString path = env.path("data/store.sqlite");
        QString backups;
        QByteArray records;
        {
            OrvaneApp app(path);
            app.modelContext().insert(PromptPreset::make("Kept", "kept text", "Custom", false));
            QVERIFY(app.modelContext().save());
            BackupManager::shared().createBackupNow();
            backups = *BackupManager::shared().backupFolderURL();
            QFile file(backups + "/swift_data_backup.json");
            QVERIFY(file.open(QIODevice::ReadOnly));
            records = file.readAll();
            QVERIFY(records.contains("kept text"));
        }
        writeGarbage(path);
        if (setAside == "ended") {
            ModelSchema::openStore(path).reset();
        } else if (setAside == "full disk") {
            disk.fill();
            OrvaneApp(path).onWillTerminate();
            QVERIFY(dialogs.alerts.takeFirst().informativeText.endsWith(
                "No space left on device). Orvane makes no new backup over it until it can keep it."));
            disk.freeSpace();
        }
        OrvaneApp app(path);

        const QStringList kept = QDir(backups).entryList({"Kept backup *"}, QDir::Dirs);
        QCOMPARE(kept.size(), 1);
        QFile copy(backups + '/' + kept.first() + "/swift_data_backup.json");
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), records);
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts.first().informativeText.startsWith("At an earlier start"), !setAside.isEmpty());
        QVERIFY2(dialogs.alerts.first().informativeText.endsWith(
                     "Your last backup, made from the store before it was damaged, was kept as “" + kept.first() +
                     "” in " + QDir::toNativeSeparators(backups) + "."),
                 qPrintable(dialogs.alerts.first().informativeText));
    }

    void aListOfLostClipsIsAlwaysNamed_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("named");
        const QString unreadable = "The list of clips lost when Orvane was last closed could not be read: It was kept "
                                   "as “%1” in %2.";
        QTest::newRow("cut short") << QByteArray("{\"prompts\": [\"a cat\"") << unreadable;
        QTest::newRow("over 1 MiB") << "{\"prompts\": [\"" + QByteArray(1 << 20, 'a') + "\"]}" << unreadable;
        QTest::newRow("refused at quit") << QByteArray("{\"prompts\": [\"a cat\"]}")
                                         << "1 clip was still being made when Orvane was last closed: It was lost:\n"
                                            "“a cat”";
    }

    void aListOfLostClipsIsAlwaysNamed() {
        QFETCH(QByteArray, list);
        QFETCH(QString, named);
        TestEnvironment env;
        ScriptedDialogs dialogs;
        writeGarbage(OrvaneApp::lostClipsFile(), list);
        auto app = std::make_unique<OrvaneApp>(env.path("store.sqlite"));
        if (QByteArray(QTest::currentDataTag()) == "refused at quit") {
            QVERIFY(QFile::remove(OrvaneApp::lostClipsFile()) && QDir().mkdir(OrvaneApp::lostClipsFile()));
            app->quitWithoutAsking();
            app->onWillTerminate();
            app = std::make_unique<OrvaneApp>(env.path("store.sqlite"));
        }
        app->onLaunch();
        QTRY_COMPARE(dialogs.notices.size(), 1);
        const QStringList kept = QDir(env.path("data")).entryList({"Orvane.lost-clips.json.unreadable-*"});
        if (!kept.isEmpty())
            named = named.arg(kept.first(), QDir::toNativeSeparators(env.path("data")));
        QCOMPARE(dialogs.notices[0].message + ": " + dialogs.notices[0].informativeText, named);
    }

    void damageMetDuringASessionIsAnnouncedAtTheNextStart() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString path = env.path("store.sqlite");
        {
            auto store = ModelSchema::openStore(path);
            for (int i = 0; i < 40; ++i)
                store->insert(VideoMetadata::make(QStringLiteral("Orvane_%1.mp4").arg(i), QString(1500, 'p'), "768P", 6,
                                                  "image_to_video", true, "2.3", false));
            store->insert(PromptPreset::make("Orbit", "p", "User", false));
            store->insert(PromptPreset::make("Dolly", "p", "User", false));
            store->insert(ImagePreset::make("Street", "p"));
            QVERIFY(store->save());
        }
        DamagedPage damage(path, "VideoMetadata");
        QVERIFY(damage.isDone());
        {
            OrvaneApp app(path);
            QVERIFY(!app.modelContext().fetch<VideoMetadata>()); // the gallery's first listing meets it
            QVERIFY(dialogs.alerts.isEmpty());
        }
        OrvaneApp app(path);
        const QStringList aside = QDir(env.root()).entryList({"store.sqlite.unreadable-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts.first().message, "Orvane could not open its data store");
        const qsizetype kept = 40 - damage.rowids().size();
        QVERIFY(kept > 1 && kept < 40);
        QCOMPARE(dialogs.alerts.first().informativeText,
                 "The unreadable store was kept as “" + aside.first() + "” in " + QDir::toNativeSeparators(env.root()) +
                     ". A new store was created in its place, and what could still be read was copied into it: " +
                     QString::number(kept) + " clip records, 2 prompt presets and 1 image preset.");
        QCOMPARE(app.modelContext().fetch<VideoMetadata>()->size(), kept);
    }

    void aStoreWhoseSchemaIsDamagedIsReplacedByAnEmptyOne() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString path = env.path("store.sqlite");
        {
            auto store = ModelSchema::openStore(path);
            store->insert(PromptPreset::make("Lost", "p", "User", false));
            QVERIFY(store->save());
        }
        DamagedPage damage(path, "PromptPreset", DamagedPage::Where::schema);
        QVERIFY(damage.isDone());
        OrvaneApp app(path);
        const QStringList aside = QDir(env.root()).entryList({"store.sqlite.unreadable-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts.first().informativeText, "The unreadable store was kept as “" + aside.first() +
                                                             "” in " + QDir::toNativeSeparators(env.root()) +
                                                             ". A new, empty store was created in its place.");
    }

    void earlierChangesThatWereNotRestoredAreAnnouncedWithTheirJournal() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString path = env.path("store.sqlite");
        ModelSchema::openStore(path).reset();
        const auto writeJournal = [&](const QByteArray& bytes) {
            QFile journal(path + ".pending.json");
            QVERIFY(journal.open(QIODevice::WriteOnly));
            journal.write(bytes);
        };
        writeJournal("{\"format\": 1, \"changes\": [");
        {
            OrvaneApp app(path);
            const QStringList kept = QDir(env.root()).entryList({"store.sqlite.pending.json.unreadable-*"});
            QCOMPARE(kept.size(), 1);
            QCOMPARE(dialogs.alerts.size(), 1);
            QCOMPARE(dialogs.alerts[0].style, Dialogs::AlertStyle::warning);
            QCOMPARE(dialogs.alerts[0].message, "Some earlier changes were not restored");
            QCOMPARE(dialogs.alerts[0].informativeText,
                     "Changes that could not be saved in an earlier session were waiting in a journal, but it could "
                     "not be read, so they were not restored. It was kept as “" +
                         kept.first() + "” in " + QDir::toNativeSeparators(env.root()) + ".");
        }
        writeJournal(R"({"format": 1, "written": 1, "changes": [
            {"table": "PromptPreset", "values": {"id": "6b1c3f7e-0000-4000-8000-000000000001", "name": "Back",
             "prompt": "p", "category": "User", "isBuiltIn": 0, "createdAt": 1}},
            {"table": "Unknown", "values": {"id": "x"}}]})");
        OrvaneApp app(path);
        const QStringList kept = QDir(env.root()).entryList({"store.sqlite.pending.json.incomplete-*"});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(dialogs.alerts.size(), 2);
        QCOMPARE(dialogs.alerts[1].message, "Some earlier changes were not restored");
        QCOMPARE(dialogs.alerts[1].informativeText,
                 "Changes that could not be saved in an earlier session were restored, but one of them could not be "
                 "read and was not restored. The journal was kept as “" +
                     kept.first() + "” in " + QDir::toNativeSeparators(env.root()) + ".");
        QCOMPARE(app.modelContext().fetch<PromptPreset>()->size(), 1);
    }

    void aStoreInMemorySaysNothingWillBeKept() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString path = "/proc/orvane/cannot/exist.store";
        OrvaneApp app(path);
        QVERIFY(app.modelContext().isInMemory());
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts.first().style, Dialogs::AlertStyle::warning);
        QCOMPARE(dialogs.alerts.first().informativeText,
                 "No new store could be created at " + path +
                     ". Orvane is working with a temporary store: the records of this session will not be kept "
                     "after quitting.");
    }

    void aReadOnlyStoreIsAnnouncedOnceAndWhatWaitsIsSavedAtQuit() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString path = env.path("store.sqlite");
        ModelSchema::openStore(path).reset();
        {
            ReadOnlyStores readOnly;
            OrvaneApp app(path);
            QVERIFY(app.modelContext().isReadOnly());
            QCOMPARE(dialogs.alerts.size(), 1);
            const auto& alert = dialogs.alerts.first();
            QCOMPARE(alert.style, Dialogs::AlertStyle::warning);
            QCOMPARE(alert.message, "Orvane's data store is read-only");
            QCOMPARE(alert.informativeText,
                     "The store at " + path +
                         " cannot be written. Your records are shown, but changes will not be kept in it until it "
                         "can be written: Orvane holds them aside meanwhile and saves them then.");
            // What the user makes meanwhile waits; the start's warning said why, so no notice follows.
            app.modelContext().insert(PromptPreset::make("Made while read-only", "p", "User", false));
            QVERIFY(!app.modelContext().save());
            QVERIFY(dialogs.notices.isEmpty());
            app.onWillTerminate();
            QVERIFY(env.hasLineStartingWith("💾 [Store] The unsaved changes are kept in the journal"));
        }
        QCOMPARE(dialogs.alerts.size(), 1);
        OrvaneApp app(path);
        QCOMPARE(dialogs.alerts.size(), 1); // writable again: nothing to say
        QVERIFY(!app.modelContext().hasChanges());
        const auto presets = app.modelContext().fetch<PromptPreset>();
        QCOMPARE(presets->size(), 1);
        QCOMPARE(presets->first()->name(), "Made while read-only");
    }
};

QTEST_MAIN(StoreWarningTests)
#include "tst_store_warning.moc"
