#include "APIManager.h"
#include "APISettingsViewModel.h"
#include "AppPaths.h"
#include "BackupManager.h"
#include "Defaults.h"
#include "FakeGeminiService.h"
#include "GeneralSettingsViewModel.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "SettingsTestFixture.h"
#include "TestSupport.h"
#include "VideoSettings.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

// The settings tabs' rules, without a window: what the tabs show and what their actions do.

namespace {

const QString kGoogleKey = "AIza" + QString(35, 'k');

} // namespace

class SettingsModelTests : public QObject {
    Q_OBJECT

    SettingsTestFixture fixture;
    std::unique_ptr<TestEnvironment>& env = fixture.env;
    std::unique_ptr<ScriptedDialogs>& dialogs = fixture.dialogs;
    std::unique_ptr<RecordingSoundPlayer>& sounds = fixture.sounds;
    std::unique_ptr<ModelContext>& store = fixture.store;

private slots:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }

    // After an unreadable store was set aside, the backup the user asks for says where the previous one was kept.
    void aBackupAfterAStoreSetAsideSaysWhereThePreviousOneIs() {
        VideoSettings video;
        {
            BackupManager first(store.get());
            QVERIFY(GeneralSettingsViewModel(video, first).createBackup());
        }
        store.reset();
        {
            QFile damaged(env->path("data/Orvane.store"));
            QVERIFY(damaged.open(QIODevice::ReadWrite));
            damaged.write(QByteArray(100, 'x'));
        }
        store = ModelSchema::openStore(env->path("data/Orvane.store"));
        QVERIFY(store->keptAsidePath());
        BackupManager backups(store.get());
        GeneralSettingsViewModel model(video, backups);
        dialogs->alerts.clear();
        QVERIFY(model.createBackup());
        QCOMPARE(dialogs->alerts.size(), 1);
        const QString text = dialogs->alerts[0].informativeText;
        QVERIFY2(text.startsWith(QStringLiteral("Your settings and data have been backed up successfully. "
                                                "The previous backup was kept in “")),
                 qPrintable(text));
        QVERIFY2(text.contains(BackupManager::keptBackupPrefix), qPrintable(text));
    }

    void theGeneralTabsActionsWithoutAWindow() {
        VideoSettings video;
        BackupManager backups(store.get());
        GeneralSettingsViewModel model(video, backups);
        QCOMPARE(model.availableSounds(), (QStringList{"Glass", "bell"}));

        model.setSelectedSoundName("bell");
        QCOMPARE(Defaults::standard().string("selectedSoundName"), std::optional<QString>("bell"));
        model.previewSound();
        QCOMPARE(sounds->played, QStringList{"bell"});
        // A name the system does not know plays nothing.
        video.setSelectedSoundName("Submarine");
        model.previewSound();
        QCOMPARE(sounds->played, QStringList{"bell"});

        QVERIFY(!model.hasLastBackup());
        QVERIFY(model.createBackup());
        QVERIFY(model.hasLastBackup());
        QCOMPARE(dialogs->alerts.size(), 1);
        QCOMPARE(dialogs->alerts[0].message, QStringLiteral("Backup Created"));
        QCOMPARE(dialogs->alerts[0].informativeText,
                 QStringLiteral("Your settings and data have been backed up successfully."));

        // A failed backup is told on screen and on the console.
        backups.setNoApplicationSupportDirectoryForTesting(true);
        QVERIFY(!model.createBackup());
        QCOMPARE(dialogs->alerts.size(), 2);
        QCOMPARE(dialogs->alerts[1].message, QStringLiteral("Backup Failed"));
        QVERIFY(env->hasLineStartingWith("❌ Backup failed: no backup location"));
        backups.setNoApplicationSupportDirectoryForTesting(false);

        // The reset asks first; "Cancel" changes nothing.
        dialogs->alertAnswer = 0;
        QVERIFY(!model.requestReset());
        QCOMPARE(dialogs->alerts.last().message, QStringLiteral("Reset All Data"));
        QCOMPARE(dialogs->alerts.last().informativeText,
                 QStringLiteral("This will permanently delete all your data and backups. This action cannot be "
                                "undone."));
        QCOMPARE(dialogs->alerts.last().buttons, (QStringList{"Cancel", "Reset Everything"}));
        // "Cancel" is what Escape chooses; "Reset Everything" looks destructive.
        QCOMPARE(dialogs->alerts.last().escapeButton, 0);
        QCOMPARE(dialogs->alerts.last().destructiveButton, 1);
        QVERIFY(model.hasLastBackup());
        QVERIFY(Defaults::standard().contains("selectedSoundName"));
        dialogs->alertAnswer = 1;
        QVERIFY(model.requestReset());
        QVERIFY(!model.hasLastBackup());
        QVERIFY(!Defaults::standard().contains("selectedSoundName"));
    }

    // A backup that could not be made is an alert like the others (it waits for its OK) that says where and gives
    // the system's reason, also when a file stands in the backup folder's place.
    void aFailedBackupIsAnAlertWithTheSystemsReason_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no data folder")
            << "nowhere"
            << QStringLiteral("No backup was made.\n\nReason: The system gives Orvane no folder for its data.");
        QTest::newRow("the disk is full")
            << "full"
            << QStringLiteral("No backup was made in “%1”.\n\nReason: settings_backup.json: No space left on device");
        QTest::newRow("a file in the folder's place")
            << "file" << QStringLiteral("No backup was made in “%1”.\n\nReason: Not a directory");
    }
    void aFailedBackupIsAnAlertWithTheSystemsReason() {
        QFETCH(QString, cause);
        QFETCH(QString, expected);
        VideoSettings video;
        BackupManager backups(store.get());
        GeneralSettingsViewModel model(video, backups);
        const QString folder = QDir(AppPaths::dataFolder()).filePath("Backups");
        if (cause == "nowhere") {
            backups.setNoApplicationSupportDirectoryForTesting(true);
        } else if (cause == "full") {
            backups.setFaultInjector([folder](BackupStep step) -> std::optional<QString> {
                if (step == BackupStep::settingsFile)
                    return folder + "/settings_backup.json: No space left on device";
                return std::nullopt;
            });
        } else {
            QVERIFY(QDir(folder).removeRecursively());
            QFile file(folder);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(!model.createBackup());
        QVERIFY(dialogs->notices.isEmpty());
        QCOMPARE(dialogs->alerts.size(), 1);
        QCOMPARE(dialogs->alerts[0].style, Dialogs::AlertStyle::warning);
        QCOMPARE(dialogs->alerts[0].message, QStringLiteral("Backup Failed"));
        QCOMPARE(dialogs->alerts[0].buttons, QStringList{"OK"});
        QCOMPARE(dialogs->alerts[0].informativeText, expected.arg(folder));
        QVERIFY(!model.hasLastBackup());
    }

    // The locale's medium date and its short time, never with seconds (the C locale's short time has them).
    void theLastBackupIsShownAsAMediumLocalDateWithoutSeconds_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("C") << QLocale::c() << QStringLiteral("4 Mar 2026, 15:06");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates)
                               << QStringLiteral("Mar 4, 2026 at 3:06 PM");
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << QStringLiteral("4. März 2026, 15:06");
        QTest::newRow("ja_JP") << QLocale(QLocale::Japanese, QLocale::Japan) << QStringLiteral("2026年3月4日, 15:06");
    }
    void theLastBackupIsShownAsAMediumLocalDateWithoutSeconds() {
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        const QDateTime date(QDate(2026, 3, 4), QTime(15, 6, 7), Qt::LocalTime);
        QCOMPARE(GeneralSettingsViewModel::formatBackupDate(date, locale), expected);
    }

    // The row of a key: its status, the show button's name, and which of the test button, the progress
    // indicator and the clear button stand beside the field.
    void aKeysControlsFollowTheKeyAndItsTest() {
        FakeGeminiService service(kGoogleKey);
        service.install();
        FakeGeminiService::Reply slow = FakeGeminiService::Reply::failure(403);
        slow.delayMs = 100;
        service.modelsScript.append(slow);
        APISettingsViewModel model;
        APIKeySlot* image = model.imageKey();
        APIKeySlot* video = model.videoKey(3);
        QCOMPARE(image->fieldName(), QStringLiteral("Google API key"));
        QCOMPARE(video->fieldName(), QStringLiteral("MiniMax API key 3"));

        // Spaces alone are no key: no test and no clear button.
        video->setKey("   ");
        QCOMPARE(video->statusText(), QStringLiteral("No key"));
        QVERIFY(!video->hasKey());
        QVERIFY(!video->testButtonShown());
        QVERIFY(!video->testProgressShown());
        QSignalSpy controls(image, &APIKeySlot::controlsChanged);
        image->setKey(kGoogleKey);
        QCOMPARE(controls.size(), 1);
        QCOMPARE(image->statusText(), QStringLiteral("Key set"));
        QVERIFY(image->testButtonShown());
        QVERIFY(!image->testProgressShown());

        QCOMPARE(image->showKeyText(), QStringLiteral("Show key"));
        image->toggleShowKey();
        QCOMPARE(image->showKeyText(), QStringLiteral("Hide key"));

        // While the test runs, the progress indicator stands in for the test button.
        image->test();
        QCOMPARE(controls.size(), 2);
        QVERIFY(!image->testButtonShown());
        QVERIFY(image->testProgressShown());
        QTRY_VERIFY(!image->isTesting());
        QVERIFY(image->testButtonShown());
        QVERIFY(!image->testProgressShown());
        QCOMPARE(service.requests.size(), 1);

        // Cleared: no buttons, and the result stays.
        image->clear();
        QCOMPARE(image->statusText(), QStringLiteral("No key"));
        QVERIFY(!image->testButtonShown());
        QVERIFY(!image->testProgressShown());
        QVERIFY(image->hasResult());
    }

    void theKeyLinksAreTitledWithoutTheScheme() {
        QCOMPARE(APISettingsViewModel::linkTitle(APISettingsViewModel::googleKeysAddress),
                 QStringLiteral("aistudio.google.com/apikey"));
        QCOMPARE(APISettingsViewModel::linkTitle(APISettingsViewModel::miniMaxKeysAddress),
                 QStringLiteral("platform.minimax.io/user-center/basic-information"));
    }
};

QTEST_MAIN(SettingsModelTests)
#include "tst_settings_models.moc"
