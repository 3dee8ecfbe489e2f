#include "APIKeyTests.h"
#include "APIManager.h"
#include "APISettingsView.h"
#include "APISettingsViewModel.h"
#include "BackupManager.h"
#include "Defaults.h"
#include "FakeGeminiService.h"
#include "FakeMiniMaxService.h"
#include "GeneralSettingsView.h"
#include "GeneralSettingsViewModel.h"
#include "GuiTestSupport.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "ServiceConfig.h"
#include "SettingsTestFixture.h"
#include "SettingsView.h"
#include "Spinner.h"
#include "TestSupport.h"
#include "Theme.h"
#include "VideoSettings.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

const QString kGoogleKey = "AIza" + QString(35, 'k');
const QString kVideoKey = QString(40, 'h') + "." + QString(40, 'p') + "." + QString(30, 's');

// Shown and not hidden by any ancestor up to `root`.
bool shown(QWidget* widget) {
    return widget && widget->isVisible();
}

// Pixels of `image` within a few steps of `color` in every channel.
int pixelsNear(const QImage& image, const QColor& color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - color.red()) < 12 && std::abs(pixel.green() - color.green()) < 12 &&
                std::abs(pixel.blue() - color.blue()) < 12)
                ++count;
        }
    return count;
}

// What a screen reader finds wrong in the shown part of `window`, walking the accessibility tree as it does:
// focusable objects without a name, and a role with the same name twice.
QStringList accessibilityProblems(QWidget* window) {
    QStringList problems;
    QHash<QPair<int, QString>, int> seen;
    const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        if (!node || !node->isValid() || node->state().invisible)
            return;
        const QString name = node->text(QAccessible::Name);
        const QString what =
            QStringLiteral("%1 '%2'").arg(node->object() ? node->object()->metaObject()->className() : "item",
                                          node->object() ? node->object()->objectName() : name);
        if (node->state().focusable) {
            if (name.trimmed().isEmpty())
                problems << "unnamed " + what;
            else if (++seen[{int(node->role()), name}] == 2)
                problems << "named twice: " + name;
        }
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(window));
    return problems;
}

// The objects of `window` that tell a screen reader they have the focus.
QStringList reportingFocus(QWidget* window) {
    QStringList focused;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(widget);
        if (node && node->state().focused)
            focused << widget->metaObject()->className() + QStringLiteral(" '%1'").arg(widget->objectName());
    }
    return focused;
}

} // namespace

class SettingsViewTests : public QObject {
    Q_OBJECT

    // The settings window, shown on one of its tabs (the API tab unless told).
    struct ShownSettings {
        VideoSettings video;
        BackupManager backups;
        SettingsView view{video, backups};
        explicit ShownSettings(ModelContext* store, int tab = 1) : backups(store) {
            view.resize(600, 400);
            view.tabs()->setCurrentIndex(tab);
            QVERIFY(gui::showActive(&view));
        }
    };

    SettingsTestFixture fixture;
    std::unique_ptr<TestEnvironment>& env = fixture.env;
    std::unique_ptr<ScriptedDialogs>& dialogs = fixture.dialogs;
    std::unique_ptr<RecordingSoundPlayer>& sounds = fixture.sounds;
    std::unique_ptr<ModelContext>& store = fixture.store;

private slots:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }

    void theGeneralTabDrivenByMouse() {
        SettingsTestFixture::makeSound(*env, "alarm-clock-elapsed");
        VideoSettings video;
        video.setSoundNotificationEnabled(false);
        video.setSelectedSoundName("bell");
        BackupManager backups(store.get());
        SettingsView view(video, backups);
        view.resize(600, 400);
        QVERIFY(gui::showActive(&view));
        QCOMPARE(view.tabs()->tabText(0), QStringLiteral("General"));
        QCOMPARE(view.tabs()->tabText(1), QStringLiteral("API"));
        QVERIFY2(gui::unnamedControls(&view).isEmpty(), qPrintable(gui::unnamedControls(&view).join('\n')));

        GUI_REQUIRE(toggle, QCheckBox, &view, "soundNotificationToggle");
        GUI_REQUIRE(picker, QComboBox, &view, "soundPicker");
        QVERIFY(!toggle->isChecked());
        QVERIFY(!shown(picker));
        // A switch: its track turns blue when it is on.
        const QColor blue = Theme::color(ColorRole::blue, toggle);
        QCOMPARE(pixelsNear(toggle->grab().toImage(), blue), 0);
        QVERIFY(gui::click(toggle));
        QVERIFY(video.soundNotificationEnabled());
        QVERIFY(pixelsNear(toggle->grab().toImage(), blue) > 100);
        QVERIFY(shown(picker));
        QCOMPARE(picker->currentText(), QStringLiteral("bell"));
        // The picker shows the longest sound name whole, and is never under 120 wide.
        QVERIFY(picker->width() >= 120);
        QStyleOptionComboBox option;
        option.initFrom(picker);
        const QRect textBox =
            picker->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, picker);
        QVERIFY2(textBox.width() >= picker->fontMetrics().horizontalAdvance("alarm-clock-elapsed"),
                 qPrintable(QString::number(textBox.width())));
        picker->setFocus();
        gui::key(picker, Qt::Key_Up);
        QCOMPARE(video.selectedSoundName(), QStringLiteral("alarm-clock-elapsed"));
        gui::key(picker, Qt::Key_Up);
        QCOMPARE(video.selectedSoundName(), QStringLiteral("Glass"));
        GUI_REQUIRE(preview, QPushButton, &view, "previewSoundButton");
        QVERIFY(gui::click(preview));
        QCOMPARE(sounds->played, QStringList{"Glass"});

        GUI_REQUIRE(lastBackup, QLabel, &view, "lastBackupDate");
        QVERIFY(!shown(lastBackup));
        GUI_REQUIRE(create, QPushButton, &view, "Create Backup");
        QVERIFY(gui::click(create));
        QCOMPARE(dialogs->alerts.last().message, QStringLiteral("Backup Created"));
        QVERIFY(shown(lastBackup));
        QCOMPARE(lastBackup->text(), GeneralSettingsViewModel::formatBackupDate(*backups.lastBackupDate(), QLocale()));
        QCOMPARE(lastBackup->accessibleName(), lastBackup->text());

        GUI_REQUIRE(caption, QLabel, &view, "dangerZoneCaption");
        QCOMPARE(caption->text(),
                 QStringLiteral("This will permanently delete all your presets, video metadata and backups. API keys "
                                "are kept."));
        APIManager::shared().setGoogleAPIKey(kGoogleKey);
        GUI_REQUIRE(reset, QPushButton, &view, "resetEverythingButton");
        dialogs->alertAnswer = 0;
        QVERIFY(gui::click(reset));
        QVERIFY(shown(lastBackup));
        dialogs->alertAnswer = 1;
        QVERIFY(gui::click(reset));
        QCOMPARE(dialogs->alerts.last().message, QStringLiteral("Reset All Data"));
        QVERIFY(!shown(lastBackup));
        // The API tab still shows the key.
        view.tabs()->setCurrentIndex(1);
        GUI_REQUIRE(googleKey, QLineEdit, &view, "googleKeyField");
        QCOMPARE(googleKey->text(), kGoogleKey);
    }

    // "Create Backup" on a full disk: the reason is on screen, and the previous backup and its date stay.
    void aFailedBackupIsShownAndKeepsThePreviousOne() {
        ShownSettings window(store.get(), 0);
        SettingsView& view = window.view;
        BackupManager& backups = window.backups;
        GUI_REQUIRE(create, QPushButton, &view, "Create Backup");
        QVERIFY(gui::click(create));
        QCOMPARE(dialogs->alerts.size(), 1);
        const QString settingsFile = *backups.settingsBackupFile();
        QFile before(settingsFile);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray previous = before.readAll();
        const auto date = backups.lastBackupDate();
        GUI_REQUIRE(lastBackup, QLabel, &view, "lastBackupDate");
        const QString shownDate = lastBackup->text();

        const QString reason = *backups.backupFolderURL() + "/swift_data_backup.json: No space left on device";
        backups.setFaultInjector([reason](BackupManager::Step step) -> std::optional<QString> {
            if (step == BackupManager::Step::recordsFile)
                return reason;
            return std::nullopt;
        });
        window.video.setSoundNotificationEnabled(true); // a change the next backup would have carried
        QVERIFY(gui::click(create));
        QCOMPARE(dialogs->alerts.size(), 2); // no "Backup Created"
        QCOMPARE(dialogs->alerts[1].message, QStringLiteral("Backup Failed"));
        QCOMPARE(dialogs->alerts[1].informativeText,
                 QStringLiteral("No backup was made in “%1”.\n\nReason: swift_data_backup.json: No space left on "
                                "device")
                     .arg(*backups.backupFolderURL()));
        QCOMPARE(backups.lastBackupDate(), date);
        QCOMPARE(lastBackup->text(), shownDate);
        QFile after(settingsFile);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), previous);
    }

    void theAPITabDrivenByKeyboardAndMouse() {
        FakeMiniMaxService service;
        service.acceptedKeys = {kVideoKey};
        service.install();
        service.retrieveReplies.append(FakeMiniMaxService::Reply::refusal(1026, "file not found").after(0.2));
        ShownSettings window(store.get());
        SettingsView& view = window.view;
        QVERIFY2(gui::unnamedControls(&view).isEmpty(), qPrintable(gui::unnamedControls(&view).join('\n')));

        GUI_REQUIRE(field, QLineEdit, &view, "miniMax2KeyField");
        GUI_REQUIRE(test, QToolButton, &view, "miniMax2TestButton");
        GUI_REQUIRE(clear, QToolButton, &view, "miniMax2ClearButton");
        GUI_REQUIRE(show, QToolButton, &view, "miniMax2ShowKeyButton");
        GUI_REQUIRE(result, QWidget, &view, "miniMax2TestResult");
        GUI_REQUIRE(resultText, QLabel, &view, "miniMax2TestResultText");
        GUI_REQUIRE(progress, Spinner, &view, "miniMax2TestProgress");
        GUI_REQUIRE(status, QLabel, &view, "miniMax2KeyStatus");
        QCOMPARE(field->placeholderText(), QStringLiteral("Enter MiniMax API key"));
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QCOMPARE(status->accessibleName(), QStringLiteral("No key"));
        QVERIFY(!shown(test) && !shown(clear) && !shown(result));

        // Spaces alone are no key.
        field->setFocus();
        gui::type(field, "  ");
        QCOMPARE(Defaults::standard().string("miniMaxAPIKey2"), std::optional<QString>("  "));
        QVERIFY(!shown(test));
        field->clear();
        gui::type(field, "a.b.c");
        QCOMPARE(Defaults::standard().string("miniMaxAPIKey2"), std::optional<QString>("a.b.c"));
        QCOMPARE(status->accessibleName(), QStringLiteral("Key set"));
        QVERIFY(shown(test) && shown(clear));

        QVERIFY(gui::click(show));
        QCOMPARE(field->echoMode(), QLineEdit::Normal);
        QCOMPARE(show->accessibleName(), QStringLiteral("Hide key 2"));

        QVERIFY(gui::click(test));
        QVERIFY(shown(result));
        QCOMPARE(resultText->text(), APIKeyTests::miniMaxFormatMessage);
        QCOMPARE(resultText->accessibleName(), resultText->text());
        QVERIFY(service.requests.isEmpty());

        // A well-formed key goes to the service; meanwhile the button gives way to the progress indicator.
        field->selectAll();
        gui::type(field, kVideoKey);
        QCOMPARE(resultText->text(), APIKeyTests::miniMaxFormatMessage); // typing leaves the result alone
        QVERIFY(gui::click(test));
        QVERIFY(shown(progress));
        QVERIFY(progress->isSpinning());
        // A round indicator of at least 12 in the test button's room.
        QVERIFY(progress->diameter() >= 12);
        QCOMPARE(progress->size(), test->size());
        QVERIFY(!shown(test));
        QVERIFY(!shown(result));
        QTRY_VERIFY(shown(result));
        QCOMPARE(resultText->text(), QStringLiteral("API key is valid"));
        QCOMPARE(resultText->accessibleName(), resultText->text());
        QVERIFY(shown(test) && !shown(progress));
        QCOMPARE(service.requests.size(), 1);

        // Clicking the form outside the fields takes the focus away.
        field->setFocus();
        QVERIFY(field->hasFocus());
        GUI_REQUIRE(page, QScrollArea, &view, "apiSettingsScroll");
        QTest::mouseClick(page->widget(), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!field->hasFocus());

        QVERIFY(gui::click(clear));
        QCOMPARE(field->text(), QString());
        QCOMPARE(Defaults::standard().string("miniMaxAPIKey2"), std::optional<QString>(""));
        QVERIFY(!shown(test) && !shown(clear));
        QVERIFY(shown(result));
        QCOMPARE(status->accessibleName(), QStringLiteral("No key"));

        // The links.
        GUI_REQUIRE(googleLink, QLabel, &view, "googleKeysLink");
        GUI_REQUIRE(miniMaxLink, QLabel, &view, "miniMaxKeysLink");
        QVERIFY(googleLink->text().contains(APISettingsViewModel::googleKeysAddress));
        QVERIFY(miniMaxLink->text().contains(APISettingsViewModel::miniMaxKeysAddress));
    }

    // Space on Test hid the button and passed the focus on to Clear, where the next Space emptied the key.
    void aSpaceAfterTestingAKeyNeverClearsIt() {
        FakeGeminiService service(kGoogleKey);
        service.install();
        service.modelsScript.append(FakeGeminiService::Reply::failure(403));
        service.modelsScript.last().delayMs = 300;
        APIManager::shared().setGoogleAPIKey(kGoogleKey);
        ShownSettings window(store.get());
        GUI_REQUIRE(test, QToolButton, &window.view, "googleTestButton");
        test->setFocus(Qt::TabFocusReason);
        gui::keyToFocus(Qt::Key_Space);
        QCOMPARE(QApplication::focusWidget(), gui::find(&window.view, "googleTestProgress"));
        gui::keyToFocus(Qt::Key_Space); // pressed again while the test runs
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), test, 5000);
        QCOMPARE(Defaults::standard().string("googleAPIKey"), std::optional<QString>(kGoogleKey));
    }

    // Clearing from the keyboard passed the focus into the next key's field with its text selected.
    void typingAfterClearingAKeyNeverReplacesTheNextKey() {
        APIKeySlot(3).setKey(kVideoKey);
        APIKeySlot(4).setKey(kVideoKey);
        ShownSettings window(store.get());
        GUI_REQUIRE(clear, QToolButton, &window.view, "miniMax3ClearButton");
        clear->setFocus(Qt::TabFocusReason);
        gui::keyToFocus(Qt::Key_Space);
        gui::keyToFocus(Qt::Key_N);
        QCOMPARE(Defaults::standard().string("miniMaxAPIKey3"), std::optional<QString>("n"));
        QCOMPARE(Defaults::standard().string("miniMaxAPIKey4"), std::optional<QString>(kVideoKey));
    }

    // Each link of "Get API Keys" took two Tab stops (and Shift+Tab never left it).
    void eachKeyLinkIsOneTabStop() {
        ShownSettings window(store.get());
        GUI_REQUIRE(googleLink, QLabel, &window.view, "googleKeysLink");
        googleLink->setFocus(Qt::TabFocusReason);
        gui::keyToFocus(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), gui::find(&window.view, "miniMaxKeysLink"));
        gui::keyToFocus(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), googleLink);
    }

    // An assistive tool or a password manager sets the text through the accessibility interface, without
    // keystrokes: the key is stored all the same.
    void aKeySetThroughTheAccessibilityInterfaceIsStored() {
        ShownSettings window(store.get());
        SettingsView& view = window.view;

        GUI_REQUIRE(field, QLineEdit, &view, "miniMax3KeyField");
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field);
        QVERIFY(accessible && accessible->editableTextInterface());
        accessible->editableTextInterface()->insertText(0, kVideoKey);
        QCOMPARE(Defaults::standard().string("miniMaxAPIKey3"), std::optional<QString>(kVideoKey));
        GUI_REQUIRE(test, QToolButton, &view, "miniMax3TestButton");
        QVERIFY(shown(test));

        GUI_REQUIRE(googleField, QLineEdit, &view, "googleKeyField");
        QAccessible::queryAccessibleInterface(googleField)->setText(QAccessible::Value, kGoogleKey);
        QCOMPARE(Defaults::standard().string("googleAPIKey"), std::optional<QString>(kGoogleKey));
        QCOMPARE(APIManager::shared().googleAPIKey(), kGoogleKey);

        // A key changed elsewhere is shown; showing it leaves the stored key as it is.
        APIManager::shared().setMiniMaxAPIKey3(QStringLiteral("elsewhere"));
        QCOMPARE(field->text(), QStringLiteral("elsewhere"));
        QCOMPARE(Defaults::standard().string("miniMaxAPIKey3"), std::optional<QString>("elsewhere"));
    }

    // Walked the way a screen reader walks it, each tab has a name for every control it can focus, each name
    // once: the key sections' buttons carry their slot.
    void everyFocusableControlHasItsOwnName() {
        APIManager::shared().setGoogleAPIKey(kGoogleKey);
        for (int slot = 1; slot <= 4; ++slot)
            APIKeySlot(slot).setKey(kVideoKey);
        SettingsTestFixture::makeSound(*env, "alarm-clock-elapsed");
        VideoSettings video;
        video.setSoundNotificationEnabled(true);
        BackupManager backups(store.get());
        SettingsView view(video, backups);
        view.resize(600, 400);
        QVERIFY(gui::showActive(&view));
        GUI_REQUIRE(create, QPushButton, &view, "Create Backup");
        QVERIFY(gui::click(create));
        QVERIFY2(accessibilityProblems(&view).isEmpty(), qPrintable(accessibilityProblems(&view).join('\n')));

        view.tabs()->setCurrentIndex(1);
        QVERIFY2(accessibilityProblems(&view).isEmpty(), qPrintable(accessibilityProblems(&view).join('\n')));
        for (int slot = 1; slot <= 4; ++slot) {
            const QString name = QStringLiteral("miniMax%1").arg(slot);
            const QString number = QString::number(slot);
            QCOMPARE(gui::findByAccessibleName(&view, "Test MiniMax API key " + number),
                     gui::find(&view, name + "TestButton"));
            QCOMPARE(gui::findByAccessibleName(&view, "Show key " + number), gui::find(&view, name + "ShowKeyButton"));
            QCOMPARE(gui::findByAccessibleName(&view, "Clear key " + number), gui::find(&view, name + "ClearButton"));
            // The help text stays the one every slot shares.
            QCOMPARE(gui::find(&view, name + "TestButton")->toolTip(), QStringLiteral("Test MiniMax API key"));
        }
    }

    // Shown on its own, Settings is a window to a screen reader; walking it, only the control with the focus
    // says so, not the tab widget around the tab list.
    void theWindowIsAWindowAndOnlyTheFocusedControlReportsFocus() {
        ShownSettings shown(store.get(), 0);
        SettingsView& view = shown.view;
        view.setWindowTitle("Settings");
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&view);
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Settings"));

        QTabBar* bar = view.tabs()->tabBar();
        for (int presses = 0; presses < 30 && QApplication::focusWidget() != bar; ++presses)
            gui::keyToFocus(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), bar);
        QAccessibleInterface* tabList = QAccessible::queryAccessibleInterface(bar);
        QCOMPARE(tabList->role(), QAccessible::PageTabList);
        QVERIFY(tabList->state().focused);
        QVERIFY(!QAccessible::queryAccessibleInterface(view.tabs())->state().focused);
        QCOMPARE(reportingFocus(&view), QStringList{"QTabBar 'qt_tabwidget_tabbar'"});

        // The open tab is the selected one, and has the focus only with the tab list.
        const auto heard = [tabList] {
            QStringList tabs;
            for (int i = 0; i < tabList->childCount(); ++i) {
                const QAccessible::State state = tabList->child(i)->state();
                tabs << tabList->child(i)->text(QAccessible::Name) + (state.selected ? " selected" : "") +
                            (state.focused ? " focused" : "");
            }
            return tabs;
        };
        QCOMPARE(heard(), QStringList({"General selected focused", "API"}));

        // The arrows still turn the tabs, and the next Tab goes into the open one.
        gui::keyToFocus(Qt::Key_Right);
        QCOMPARE(view.tabs()->currentIndex(), 1);
        QCOMPARE(reportingFocus(&view), QStringList{"QTabBar 'qt_tabwidget_tabbar'"});
        QCOMPARE(heard(), QStringList({"General", "API selected focused"}));
        gui::keyToFocus(Qt::Key_Tab);
        QVERIFY(view.apiTab()->isAncestorOf(QApplication::focusWidget()));
        QCOMPARE(reportingFocus(&view).size(), 1);
        QCOMPARE(heard(), QStringList({"General", "API selected"}));
        // A tab's accessible action opens it.
        tabList->child(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(view.tabs()->currentIndex(), 0);
        QCOMPARE(heard(), QStringList({"General selected", "API"}));
    }

    void escapeAndCtrlWCloseTheWindow() {
        ShownSettings window(store.get());
        SettingsView& view = window.view;
        GUI_REQUIRE(field, QLineEdit, &view, "googleKeyField");
        field->setFocus();
        QVERIFY(field->hasFocus());
        gui::keyToFocus(Qt::Key_Escape);
        QTRY_VERIFY(!view.isVisible());

        view.tabs()->setCurrentIndex(0);
        QVERIFY(gui::showActive(&view));
        gui::keyToFocus(Qt::Key_W, Qt::ControlModifier);
        QTRY_VERIFY(!view.isVisible());
    }

    // While a key is tested, the indicator stands in the test button's place: the field, the show button and the
    // clear button do not move.
    void aKeyTestLeavesTheKeyRowWhereItIs() {
        FakeGeminiService service(kGoogleKey);
        service.install();
        FakeGeminiService::Reply slow = FakeGeminiService::Reply::failure(403);
        slow.delayMs = 300;
        service.modelsScript.append(slow);
        APIManager::shared().setGoogleAPIKey(kGoogleKey);
        ShownSettings window(store.get());
        SettingsView& view = window.view;
        GUI_REQUIRE(field, QLineEdit, &view, "googleKeyField");
        GUI_REQUIRE(show, QToolButton, &view, "googleShowKeyButton");
        GUI_REQUIRE(test, QToolButton, &view, "googleTestButton");
        GUI_REQUIRE(clear, QToolButton, &view, "googleClearButton");
        GUI_REQUIRE(progress, Spinner, &view, "googleTestProgress");
        const QRect fieldAt = field->geometry();
        const QRect showAt = show->geometry();
        const QRect testAt = test->geometry();
        const QRect clearAt = clear->geometry();
        QVERIFY(gui::click(test));
        QTRY_VERIFY(progress->isVisible());
        QTRY_COMPARE(progress->geometry(), testAt);
        QCOMPARE(field->geometry(), fieldAt);
        QCOMPARE(show->geometry(), showAt);
        QCOMPARE(clear->geometry(), clearAt);
        // The indicator turns in the middle of that place, at 0.8 of the small size.
        QCOMPARE(progress->diameter(), Spinner::smallDiameter * 0.8);
        QTRY_VERIFY_WITH_TIMEOUT(!view.apiTab()->model()->imageKey()->isTesting(), 5000);
        QTRY_VERIFY(test->isVisible());
        QCOMPARE(test->geometry(), testAt);
        QCOMPARE(field->geometry(), fieldAt);
    }

    void closingTheWindowDuringATest() {
        FakeGeminiService service(kGoogleKey);
        service.install();
        FakeGeminiService::Reply slow = FakeGeminiService::Reply::failure(403);
        slow.delayMs = 150;
        service.modelsScript.append(slow);
        APIManager::shared().setGoogleAPIKey(kGoogleKey);
        VideoSettings video;
        BackupManager backups(store.get());
        auto view = std::make_unique<SettingsView>(video, backups);
        view->tabs()->setCurrentIndex(1);
        QVERIFY(gui::showActive(view.get()));
        GUI_REQUIRE(test, QToolButton, view.get(), "googleTestButton");
        QVERIFY(gui::click(test));
        QVERIFY(view->apiTab()->model()->imageKey()->isTesting());
        QTRY_COMPARE(service.requests.size(), 1);
        view.reset();
        QTest::qWait(300);
        QCOMPARE(APIManager::shared().googleAPIKey(), kGoogleKey);
    }
};

QTEST_MAIN(SettingsViewTests)
#include "tst_settings_views.moc"
