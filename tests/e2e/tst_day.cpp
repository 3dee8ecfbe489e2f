// A user's whole day with the real application on a virtual X server: first start, keys, an image, five
// clips, the gallery, a backup; then the same again from the keyboard alone, quitting and starting again. Everything
// goes through what a person can do (clicks, keys, drops, menu commands) on the real widgets, found by object or
// accessible name; the generation services are the loopback fakes named in the settings file.

#include "DayRig.h"

#include "AppViewModel.h"
#include "Clock.h"
#include "FakeGeminiService.h"
#include "FakeMiniMaxService.h"
#include "GuiTestSupport.h"
#include "Log.h"
#include "MainAppView.h"
#include "Motion.h"
#include "OrvaneApp.h"
#include "QueueManager.h"
#include "StudioStack.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include "VideoItemLogicView.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <nlohmann/json.hpp>

#include <memory>

#ifndef ORVANE_BINARY
#define ORVANE_BINARY ""
#endif

namespace {

const QString kGoogleKey = "AIza" + QString(35, 'g');
QString videoKey(int slot) {
    const QChar c('a' + slot);
    return QString(40, c) + "." + QString(40, 'p') + "." + QString(30, c);
}
const QString kMistypedVideoKey = QString(40, 'x') + "." + QString(40, 'p') + "." + QString(30, 'x');
const QString kImagePrompt = QStringLiteral("a quiet harbour at dawn");
const QString kVideoPrompt = QStringLiteral("boats drift out to sea");

QVariant iniValue(const QString& file, const QString& key) {
    QSettings settings(file, QSettings::IniFormat);
    return settings.value(key);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

nlohmann::json readJson(const QString& path) {
    const QByteArray bytes = readAll(path);
    return nlohmann::json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
}

QStringList filesIn(const QString& folder, const QStringList& patterns) {
    return QDir(folder).entryList(patterns, QDir::Files, QDir::Name);
}

// Shown on screen: visible up to its window.
bool onScreen(const QWidget* widget) {
    return widget && widget->isVisible() && widget->window()->isVisible();
}

// The first visible widget below `root` with that object name, or else that accessible name.
template <typename T = QWidget> T* control(QWidget* root, const QString& name) {
    if (!root)
        return nullptr;
    T* hidden = nullptr;
    for (T* widget : root->findChildren<T*>(name)) {
        if (widget->isVisible())
            return widget;
        hidden = widget;
    }
    if (hidden)
        return hidden;
    for (QWidget* widget : gui::findAllByAccessibleName(root, name)) {
        if (auto* typed = qobject_cast<T*>(widget); typed && typed->isVisible())
            return typed;
    }
    return nullptr;
}

// Clicks the middle of a list's row, where its card is.
void clickRow(QListView* list, int row) {
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QApplication::processEvents();
}

// Opens the menu of a button (a modal popup) and clicks the item with that object name in it.
bool chooseFromMenu(QAbstractButton* button, const QString& item) {
    bool chosen = false;
    QTimer::singleShot(100, button, [&chosen, item] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions()) {
            if (action->objectName() == item) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                chosen = true;
                return;
            }
        }
        menu->close();
    });
    if (!gui::click(button))
        return false;
    QApplication::processEvents();
    return chosen;
}

QList<QWidget*> visibleNamed(QWidget* root, const QString& objectName) {
    QList<QWidget*> shown;
    if (!root)
        return shown;
    for (QWidget* widget : root->findChildren<QWidget*>(objectName))
        if (widget->isVisible())
            shown << widget;
    return shown;
}

QString textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(widget))
        return plain->toPlainText();
    if (auto* rich = qobject_cast<QTextEdit*>(widget))
        return rich->toPlainText();
    return widget ? widget->accessibleName() : QString();
}

// Records what the file manager is asked to show; moves files to the real trash of the fresh home.
class DayWorkspace final : public Workspace {
public:
    DayWorkspace() { Workspace::setCurrent(this); }
    ~DayWorkspace() override { Workspace::setCurrent(nullptr); }
    QList<QStringList> revealed;
    QStringList trashed;
    void revealInFileManager(const QStringList& paths) override { revealed << paths; }
    bool moveToTrash(const QString& path, QString* reason) override {
        trashed << path;
        return desktop_.moveToTrash(path, reason);
    }

private:
    DesktopWorkspace desktop_;
};

} // namespace

#define DAY_EXPECT(condition, message) QVERIFY2(condition, qPrintable(QString(message)))

// Walks the keyboard focus with Tab (or Shift+Tab) to the named control; fails with its name and the walk.
#define TAB_TO(...) QVERIFY2(tabTo(__VA_ARGS__), qPrintable(tabFailure_))

#define DAY_WAIT(condition, ms)                                                                                        \
    QVERIFY2(settle([&]() -> bool { return bool(condition); }, ms), "timed out waiting for: " #condition)

class DayTest : public QObject {
    Q_OBJECT
public:
    explicit DayTest(DayRig& rig) : rig_(rig) {}
    bool quitRequested() const { return quitRequested_; }
    bool keysEntered() const { return keysEntered_; }
    int clipsFiled() const { return clipsFiled_; }
    bool backupsBuilt() const { return backupsBuilt_; }

private:
    DayRig& rig_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<FakeGeminiService> gemini_;
    std::unique_ptr<FakeMiniMaxService> minimax_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<DayWorkspace> workspace_;
    std::unique_ptr<RecordingSoundPlayer> sounds_;
    std::unique_ptr<OrvaneApp> app_;
    QStringList log_;
    QString pictures_; // files the user drops
    QString photoFolder_;
    QString videoFolder_;
    bool quitRequested_ = false;
    bool keysEntered_ = false;
    bool imageHandedOver_ = false;
    int clipsFiled_ = 0;
    bool backupsBuilt_ = false;

    QMainWindow* window() const { return app_->mainWindow(); }
    StudioStack* studios() const { return app_->rootView() ? app_->rootView()->screensStack() : nullptr; }
    QWidget* imageStudio() const { return studios() ? studios()->imageStudio() : nullptr; }
    QWidget* videoStudio() const { return studios() ? studios()->videoStudio() : nullptr; }

    // Runs the application until `done`, moving the virtual clock over the queue's spacing and polling.
    // Widgets closed with deleteLater go as they would between two turns of the event loop.
    bool settle(const std::function<bool()>& done, int realMs) {
        return clock_->runUntil(
            [&done] {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                return done();
            },
            3600, realMs);
    }

    // The settings window as a person opens it: Ctrl+, in the main window.
    void openSettingsFromKeyboard() {
        QVERIFY(gui::showActive(window()));
        gui::keyToFocus(Qt::Key_Comma, Qt::ControlModifier);
        DAY_WAIT(app_->settingsWindow() && app_->settingsWindow()->isVisible(), 3000);
        QVERIFY(gui::showActive(app_->settingsWindow()));
    }

    void shoot(QWidget* window, int number, const QString& step) {
        // Not in the middle of a cross-fade between the studios, nor of a panel coming or going.
        QTRY_VERIFY_WITH_TIMEOUT(!studios() || !studios()->fadeAnimation(), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(Motion::isAtRest(window), 2000);
        QApplication::processEvents();
        const QString path = day::capture(window, number, step);
        QVERIFY2(!path.isEmpty(), qPrintable("screenshot " + step));
    }

    void checkAccessibility(QWidget* root, const QString& screen) {
        QVERIFY2(day::interactiveAccessibles(root) > 0, qPrintable(screen + ": no interactive controls found"));
        const QStringList unnamed = day::unnamedAccessibles(root);
        QVERIFY2(unnamed.isEmpty(), qPrintable(screen + ": " + unnamed.join(", ")));
        const QStringList unnamedWidgets = day::unnamedFocusableWidgets(root);
        QVERIFY2(unnamedWidgets.isEmpty(), qPrintable(screen + ": " + unnamedWidgets.join(", ")));
    }

    // The widgets the keyboard focus visits from `start` with Tab, in order, until it comes round again.
    QStringList tabChain(QWidget* start, int limit = 80) {
        QStringList chain;
        start->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        QWidget* first = QApplication::focusWidget();
        for (int i = 0; i < limit && QApplication::focusWidget(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            chain << (focus->objectName().isEmpty() ? QString(focus->metaObject()->className()) : focus->objectName());
            gui::keyToFocus(Qt::Key_Tab);
            if (QApplication::focusWidget() == first || QApplication::focusWidget() == focus)
                break;
        }
        return chain;
    }

    QString tabFailure_;

    // Presses Tab (Shift+Tab when `backwards`) until the control with that object or accessible name has the
    // keyboard focus, below `within` when given; false after `limit` presses, saying what the focus visited.
    bool tabTo(const QString& name, QWidget* within = nullptr, bool backwards = false, int limit = 60) {
        QStringList walked;
        for (int i = 0;; ++i) {
            QApplication::processEvents();
            QWidget* focus = QApplication::focusWidget();
            if (focus && (focus->objectName() == name || focus->accessibleName() == name) &&
                (!within || within->isAncestorOf(focus)))
                return true;
            walked << (!focus                          ? QStringLiteral("(none)")
                       : focus->objectName().isEmpty() ? QString(focus->metaObject()->className())
                                                       : focus->objectName());
            if (i == limit)
                break;
            if (backwards)
                gui::keyToFocus(Qt::Key_Backtab, Qt::ShiftModifier);
            else
                gui::keyToFocus(Qt::Key_Tab);
        }
        tabFailure_ = QStringLiteral("%1 never got the keyboard focus; %2 walked: %3")
                          .arg(name, backwards ? "Shift+Tab" : "Tab", walked.join(" → "));
        return false;
    }

    void backUpFromKeyboard() {
        QVERIFY(gui::showActive(window()));
        gui::keyToFocus(Qt::Key_Comma, Qt::ControlModifier);
        DAY_WAIT(app_->settingsWindow() && app_->settingsWindow()->isVisible(), 3000);
        QWidget* settings = app_->settingsWindow();
        QVERIFY(gui::showActive(settings));
        GUI_REQUIRE(tabs, QTabWidget, settings, "settingsTabs");
        TAB_TO(tabs->tabBar()->objectName(), settings);
        if (tabs->currentIndex() == 1)
            gui::keyToFocus(Qt::Key_Left);
        QCOMPARE(tabs->currentIndex(), 0);
        const int alerts = int(dialogs_->alerts.size());
        TAB_TO("createBackupButton", settings);
        gui::keyToFocus(Qt::Key_Space);
        QCOMPARE(dialogs_->alerts.size(), alerts + 1);
        QCOMPARE(dialogs_->alerts.last().message, QStringLiteral("Backup Created"));
        gui::keyToFocus(Qt::Key_Escape);
        DAY_WAIT(!settings->isVisible(), 2000);
    }

    bool hasLog(const QString& prefix) const {
        for (const QString& line : log_)
            if (line.startsWith(prefix))
                return true;
        return false;
    }

    void writePicture(const QString& name, QColor color) {
        QImage picture(320, 180, QImage::Format_RGB32);
        picture.fill(color);
        QVERIFY(picture.save(pictures_ + "/" + name));
    }

private slots:
    void initTestCase() {
        Log::setSink([this](const QString& line) { log_ << line; });
        pictures_ = rig_.root() + "/pictures";
        photoFolder_ = rig_.home() + "/Pictures/Orvane";
        videoFolder_ = rig_.home() + "/Videos/Orvane";
        for (const QString& folder : {pictures_, photoFolder_, videoFolder_})
            QVERIFY(QDir().mkpath(folder));
        writePicture("pier.png", QColor(40, 90, 160));
        writePicture("lighthouse.png", QColor(200, 160, 60));

        clock_ = std::make_unique<VirtualClock>(QDateTime::currentDateTimeUtc());
        clock_->install();
        gemini_ = std::make_unique<FakeGeminiService>(kGoogleKey);
        minimax_ = std::make_unique<FakeMiniMaxService>();
        minimax_->acceptedKeys = {videoKey(1), videoKey(2), videoKey(3), videoKey(4)};
        minimax_->clip = FakeMiniMaxService::makeClip(rig_.root());
        QVERIFY2(!minimax_->clip.isEmpty(), "the ffmpeg tool could not make the fixture clip");

        // The settings file names the services, as a user pointing the studio at a local service would.
        {
            QDir().mkpath(QFileInfo(rig_.configFile()).absolutePath());
            QSettings ini(rig_.configFile(), QSettings::IniFormat);
            ini.setValue("Services/geminiBaseURL", gemini_->baseUrl().toString());
            ini.setValue("Services/miniMaxBaseURL", minimax_->baseUrl().toString());
            ini.setValue("Services/miniMaxGroupId", minimax_->groupId);
            ini.setValue("Services/updateFeedURL", gemini_->baseUrl().toString() + "/appcast.xml");
            ini.sync();
            QCOMPARE(ini.status(), QSettings::NoError);
        }

        dialogs_ = std::make_unique<ScriptedDialogs>();
        workspace_ = std::make_unique<DayWorkspace>();
        sounds_ = std::make_unique<RecordingSoundPlayer>();
        app_ = std::make_unique<OrvaneApp>();
    }

    void cleanupTestCase() {
        // The application stays for the quit; the second start runs without it.
        Log::setSink({});
    }

    // 1. First start: "Loading...", then the image studio with the first-launch defaults and seeded presets.
    void step01_firstStart() {
        QVERIFY(!QFileInfo::exists(rig_.dataFolder() + "/Orvane.store") ||
                QFileInfo(rig_.dataFolder() + "/Orvane.store").size() >= 0);
        MainAppView* root = nullptr;
        QStringList firstTexts;
        // What the window shows in the moment it appears.
        QMainWindow* shown = app_->showMainWindow();
        QVERIFY(shown);
        root = app_->rootView();
        QVERIFY(root);
        auto* loading = root->findChild<QLabel*>("loadingLabel");
        QVERIFY(loading);
        QCOMPARE(loading->text(), QStringLiteral("Loading..."));
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        QVERIFY(gui::showActive(shown));
        QCOMPARE(shown->windowTitle(), QString());
        QVERIFY(shown->centralWidget()->minimumSize().width() >= 1000);
        QVERIFY(shown->centralWidget()->minimumSize().height() >= 700);

        DAY_WAIT(root->hasInitializedManagers() && studios() && studios()->currentStudio() == imageStudio(), 5000);
        QVERIFY(onScreen(imageStudio()));
        QVERIFY(!onScreen(videoStudio()));
        QVERIFY(!onScreen(loading));

        // Seeding runs once, after the studios exist.
        DAY_WAIT(iniValue(rig_.configFile(), SwiftDataPromptPresetsManager::kCurrentVersionFlag).toBool(), 5000);
        QVERIFY(iniValue(rig_.configFile(), "hasInitializedDefaultImagePresets_v1").toBool());
        QCOMPARE(root->promptPresetsManager()->builtInPresets().size(),
                 SwiftDataPromptPresetsManager::builtInPromptPresetTable().size());
        QVERIFY(!root->imagePresetsManager()->presets().isEmpty());
        QVERIFY(QFileInfo(rig_.dataFolder() + "/Orvane.store").size() > 0);

        // The first-launch defaults, written to the user's settings file.
        QCOMPARE(iniValue(rig_.configFile(), "videoQuality").toString(), QStringLiteral("768P"));
        QCOMPARE(iniValue(rig_.configFile(), "videoDuration").toInt(), 6);
        QVERIFY(iniValue(rig_.configFile(), "defaultPromptOptimization").toBool());
        QVERIFY(iniValue(rig_.configFile(), "soundNotificationEnabled").toBool());
        QVERIFY(!iniValue(rig_.configFile(), "googleAPIKey").isValid() ||
                iniValue(rig_.configFile(), "googleAPIKey").toString().isEmpty());
        QCOMPARE(app_->appViewModel().currentView(), ViewMode::imageGeneration);
        QVERIFY(hasLog("✅ Swift Data managers initialized and loaded ONCE"));

        // The menu a person reaches: settings, updates, quit.
        QStringList menuTexts;
        for (QAction* action : shown->menuBar()->actions()) {
            if (action->menu())
                for (QAction* item : action->menu()->actions())
                    if (!item->isSeparator())
                        menuTexts << item->text();
        }
        QVERIFY2(menuTexts.contains("Settings…") && menuTexts.contains("Check for Updates…") &&
                     menuTexts.contains("Quit Orvane"),
                 qPrintable(menuTexts.join(", ")));

        GUI_CHECK(shoot(shown, 1, "first-start"));
        GUI_CHECK(checkAccessibility(shown, "first start"));
        Q_UNUSED(firstTexts);
    }

    // 2. The settings window from the keyboard shortcut: four keys typed and tested, one rejected first.
    void step02_settingsAndKeys() {
        GUI_CHECK(openSettingsFromKeyboard());
        QWidget* settings = app_->settingsWindow();
        GUI_REQUIRE(tabs, QTabWidget, settings, "settingsTabs");
        GUI_REQUIRE(googleField, QLineEdit, settings, "googleKeyField");
        QCOMPARE(tabs->tabText(0), QStringLiteral("General"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("API"));
        GUI_CHECK(shoot(settings, 2, "settings-general"));
        GUI_CHECK(checkAccessibility(settings, "settings, General"));

        // To the API tab with the keyboard.
        tabs->tabBar()->setFocus();
        gui::key(tabs->tabBar(), Qt::Key_Right);
        QCOMPARE(tabs->currentIndex(), 1);
        QVERIFY(onScreen(googleField));

        const auto testKey = [&](const QString& slot, const QString& key, const QString& expected) {
            GUI_REQUIRE(field, QLineEdit, settings, slot + "KeyField");
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, key);
            QCOMPARE(field->text(), key);
            GUI_REQUIRE(test, QAbstractButton, settings, slot + "TestButton");
            QVERIFY2(gui::click(test), qPrintable(slot + " test button"));
            GUI_REQUIRE(result, QLabel, settings, slot + "TestResultText");
            DAY_WAIT(onScreen(result) && !result->text().isEmpty() && onScreen(test), 5000);
            QCOMPARE(result->text(), expected);
        };
        GUI_CHECK(testKey("google", kGoogleKey, "API key is valid"));
        GUI_CHECK(testKey("miniMax1", videoKey(1), "API key is valid"));
        // A mistyped key: the service refuses it, then the right one passes.
        GUI_CHECK(testKey("miniMax2", kMistypedVideoKey, "Invalid API key"));
        // Scrolled to the refused key, as a person would to read its line.
        GUI_REQUIRE(scroll, QScrollArea, settings, "apiSettingsScroll");
        GUI_REQUIRE(refused, QWidget, settings, "miniMax2TestResult");
        scroll->ensureWidgetVisible(refused);
        GUI_CHECK(shoot(settings, 3, "settings-key-rejected"));
        GUI_CHECK(testKey("miniMax2", videoKey(2), "API key is valid"));
        for (int slot : {3, 4}) {
            GUI_REQUIRE(field, QLineEdit, settings, QStringLiteral("miniMax%1KeyField").arg(slot));
            field->setFocus();
            QTest::keyClicks(field, videoKey(slot));
        }
        QCOMPARE(gemini_->requests.size(), 1);
        QCOMPARE(minimax_->requestsTo("/v1/files/retrieve").size(), 3);

        // Every key is in the settings file at once.
        QCOMPARE(iniValue(rig_.configFile(), "googleAPIKey").toString(), kGoogleKey);
        QCOMPARE(iniValue(rig_.configFile(), "miniMaxAPIKey").toString(), videoKey(1));
        QCOMPARE(iniValue(rig_.configFile(), "miniMaxAPIKey2").toString(), videoKey(2));
        QCOMPARE(iniValue(rig_.configFile(), "miniMaxAPIKey3").toString(), videoKey(3));
        QCOMPARE(iniValue(rig_.configFile(), "miniMaxAPIKey4").toString(), videoKey(4));
        keysEntered_ = true;
        GUI_CHECK(shoot(settings, 4, "settings-keys"));
        GUI_CHECK(checkAccessibility(settings, "settings, API"));

        settings->close();
        QVERIFY(!settings->isVisible());
        QVERIFY(gui::showActive(window()));
    }

    // 3. The image studio: folder, prompt with a built-in preset, two dropped references, Return, the
    // picture and its text, the context meter, Finder and the hand-over to the video studio.
    void step03_imageStudio() {
        QVERIFY2(keysEntered_, "the keys were not entered in the settings window");
        QWidget* studio = imageStudio();
        QVERIFY(onScreen(studio));
        GUI_REQUIRE(editor, QPlainTextEdit, studio, "promptEditor");
        GUI_REQUIRE(generate, QAbstractButton, studio, "generateNow");

        // The photo folder.
        dialogs_->folderAnswer = photoFolder_;
        GUI_REQUIRE(folder, QAbstractButton, studio, "photoFolder");
        QVERIFY(gui::click(folder));
        DAY_WAIT(folder->text() == QFileInfo(photoFolder_).fileName(), 2000);
        QVERIFY(iniValue(rig_.configFile(), "downloadFolderBookmark").isValid());

        // Every control of the composer is reached with Tab, the prompt included.
        QVERIFY(gui::showActive(window()));
        const QStringList chain = tabChain(folder);
        for (const char* name : {"photoFolder", "promptEditor", "imagePresets", "imageModelSettings"})
            DAY_EXPECT(chain.contains(name),
                       "Tab does not reach " + QString(name) + " in the image studio (" + chain.join(" → ") + ")");

        DAY_EXPECT(!editor->toPlainText().contains('\t'), "Tab in the image prompt types a tab instead of moving on");
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Delete);
        QCOMPARE(editor->toPlainText(), QString());

        // The prompt, then a built-in preset appended from the presets panel.
        gui::type(editor, kImagePrompt);
        QCOMPARE(editor->toPlainText(), kImagePrompt);
        GUI_CLICK(studio, "imagePresets");
        QListView* angles = nullptr;
        DAY_WAIT((angles = control<QListView>(studio, "builtInPresetsList")) && onScreen(angles), 2000);
        QVERIFY(angles->model()->rowCount() > 0);
        GUI_CHECK(checkAccessibility(angles->window(), "image presets panel"));
        const QString presetText = angles->model()->index(0, 0).data(Qt::UserRole + 1).toString();
        const QRect first = angles->visualRect(angles->model()->index(0, 0));
        QTest::mouseClick(angles->viewport(), Qt::LeftButton, {}, first.center());
        DAY_WAIT(editor->toPlainText().startsWith(kImagePrompt) && editor->toPlainText().size() > kImagePrompt.size(),
                 2000);
        const QString prompt = editor->toPlainText();
        // With a prompt, Tab reaches the generate button too.
        DAY_EXPECT(tabChain(editor).contains("generateNow"), "Tab does not reach generateNow once there is a prompt");
        Q_UNUSED(presetText);

        // Two pictures dragged in from the file manager.
        GUI_REQUIRE(references, QWidget, studio, "referenceArea");
        const auto files = gui::mimeWithFiles({pictures_ + "/pier.png", pictures_ + "/lighthouse.png"});
        const gui::DropResult dropped = gui::drop(references, *files);
        QVERIFY(dropped.enterAccepted);
        DAY_WAIT(control<QWidget>(studio, "referenceTile1") && onScreen(control<QWidget>(studio, "referenceTile1")),
                 5000);
        if (!gui::require<QWidget>(studio, "Reference image 2"))
            return;

        // The picture and its text after Return.
        const auto parts = nlohmann::json::array(
            {FakeGeminiService::textPart("Here is the harbour at first light."),
             FakeGeminiService::pngPart(FakeGeminiService::samplePicture(640, 360, QColor(230, 140, 60)))});
        gemini_->script.append(FakeGeminiService::Reply::json(
            FakeGeminiService::response(nlohmann::json::array({FakeGeminiService::candidate(parts)}), 24000)));
        GUI_REQUIRE(meter, QWidget, studio, "contextUsage");
        const QString meterBefore = meter->accessibleName();
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_Return);
        DAY_WAIT(gemini_->generateRequests().size() == 1, 5000);
        DAY_WAIT(onScreen(studio->findChild<QWidget*>("resultPicture")), 10000);
        QCOMPARE(gemini_->generateRequests().size(), 1);
        const auto request = gemini_->generateRequests().constFirst().json;
        const auto& sent = request["contents"][0]["parts"];
        QVERIFY(sent.size() >= 3);
        QVERIFY(QString::fromStdString(sent[0]["text"].get<std::string>()).startsWith(prompt));
        int inlineImages = 0;
        for (const auto& part : sent)
            inlineImages += part.contains("inline_data") || part.contains("inlineData");
        QCOMPARE(inlineImages, 2);
        GUI_REQUIRE(textButton, QAbstractButton, studio, "textResponseButton");
        DAY_WAIT(textButton->isEnabled(), 2000);
        QVERIFY(gui::click(textButton));
        auto* reply = studio->findChild<QWidget*>("replyText");
        DAY_WAIT(onScreen(reply) && textOf(reply).contains("Here is the harbour at first light."), 2000);
        QVERIFY2(meter->accessibleName() != meterBefore, qPrintable(meter->accessibleName()));
        GUI_CHECK(shoot(window(), 5, "image-studio"));
        GUI_CHECK(checkAccessibility(window(), "image studio with a result"));

        // Finder: the picture lands in the photo folder and the file manager is asked to show it.
        GUI_CLICK(studio, "showInFinder");
        DAY_WAIT(!filesIn(photoFolder_, {"Orvane_*.png"}).isEmpty(), 5000);
        const QString saved = photoFolder_ + "/" + filesIn(photoFolder_, {"Orvane_*.png"}).constFirst();
        QImage written(saved);
        QCOMPARE(written.size(), QSize(640, 360));
        settle([this] { return !workspace_->revealed.isEmpty(); }, 1000);
        DAY_EXPECT(!workspace_->revealed.isEmpty() && workspace_->revealed.constFirst().contains(saved),
                   "Finder wrote " + QFileInfo(saved).fileName() +
                       " but the file manager was never asked to show it (the image studio's reveal request is not "
                       "connected to the desktop workspace)");

        // Hand the picture to the video studio.
        GUI_CLICK(studio, "imageToVideo");
        DAY_WAIT(studios()->currentStudio() == videoStudio(), 2000);
        // The video studio takes the picture into its first slot.
        DAY_WAIT(onScreen(control<QWidget>(videoStudio(), "referenceFrameTile")), 3000);
        imageHandedOver_ = true;
    }

    // 4. The video studio: the handed-over picture, the folder, a camera movement and a cinematic preset,
    // 1080P and 6 s, five jobs: four on the four slots at once, the fifth waiting; one of them fails.
    void step04_videoStudio() {
        QVERIFY2(keysEntered_, "the keys were not entered in the settings window");
        if (!imageHandedOver_) {
            // Without the image studio's hand-over, over to the video studio by its own button.
            GUI_CLICK(imageStudio(), "switchToVideoStudio");
            DAY_WAIT(studios()->currentStudio() == videoStudio(), 2000);
        }
        QWidget* studio = videoStudio();
        QVERIFY(onScreen(studio));
        GUI_REQUIRE(generate, QPushButton, studio, "generateButton");
        GUI_REQUIRE(editor, QPlainTextEdit, studio, "promptEditor");
        if (!imageHandedOver_) {
            // The first frame dragged in from the file manager instead.
            const auto file = gui::mimeWithFiles({pictures_ + "/pier.png"});
            GUI_REQUIRE(slot, QWidget, studio, "referenceFrameSlot");
            QVERIFY(gui::drop(slot, *file).dropAccepted);
        }
        DAY_WAIT(onScreen(control<QWidget>(studio, "referenceFrameTile")), 3000);

        dialogs_->folderAnswer = videoFolder_;
        GUI_CLICK(studio, "videoFolderButton");
        DAY_WAIT(iniValue(rig_.configFile(), "videoDirectoryBookmark").isValid(), 2000);

        // The workspace from the keyboard: every control in reach of Tab, the prompt included.
        GUI_REQUIRE(folderButton, QWidget, studio, "videoFolderButton");
        const QStringList chain = tabChain(folderButton);
        for (const char* name :
             {"promptEditor", "videoSettingsButton", "promptPresetsButton", "cinematicPresetsButton", "generateButton"})
            DAY_EXPECT(chain.contains(name),
                       "Tab does not reach " + QString(name) + " in the video studio (" + chain.join(" → ") + ")");
        DAY_EXPECT(!editor->toPlainText().contains('\t'), "Tab in the video prompt types a tab instead of moving on");
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Delete);

        gui::type(editor, kVideoPrompt);
        QVERIFY(editor->toPlainText().startsWith(kVideoPrompt));

        // A camera movement from the prompt presets over the gallery.
        GUI_CLICK(studio, "promptPresetsButton");
        QListView* movements = nullptr;
        settle([&] { return (movements = control<QListView>(studio, "cameraMovementsList")) && onScreen(movements); },
               2000);
        DAY_EXPECT(movements && onScreen(movements),
                   "the prompt presets over the gallery do not open the presets browser (its panel is a stand-in)");
        QString afterMovement = editor->toPlainText();
        QVERIFY(movements->model()->rowCount() > 0);
        GUI_CHECK(checkAccessibility(movements->window(), "prompt presets panel"));
        clickRow(movements, 0);
        DAY_WAIT(editor->toPlainText().size() > afterMovement.size() && editor->toPlainText().contains('['), 2000);
        afterMovement = editor->toPlainText();

        // A cinematic preset from its sheet; the sheet stays open after the pick and closes with its button.
        GUI_CLICK(studio, "cinematicPresetsButton");
        QListView* cinematic = nullptr;
        settle([&] { return (cinematic = control<QListView>(studio, "cinematicPresetsGrid")) && onScreen(cinematic); },
               2000);
        DAY_EXPECT(cinematic && onScreen(cinematic),
                   "the cinematic presets button does not open the cinematic sheet (its sheet is a stand-in)");
        QVERIFY(cinematic->model()->rowCount() > 0);
        GUI_CHECK(shoot(window(), 6, "cinematic-presets"));
        GUI_CHECK(checkAccessibility(cinematic->window(), "cinematic presets"));
        clickRow(cinematic, 0);
        DAY_WAIT(editor->toPlainText().size() > afterMovement.size(), 2000);
        // A pick closes the sheet; if it stays, its close button does.
        settle([&] { return !onScreen(control<QWidget>(studio, "cinematicPresetsGrid")); }, 500);
        if (QAbstractButton* close = control<QAbstractButton>(studio, "cinematicPresetsClose"); onScreen(close))
            QVERIFY(gui::click(close));
        DAY_WAIT(!onScreen(control<QWidget>(studio, "cinematicPresetsGrid")), 2000);
        const QString prompt = editor->toPlainText();

        // 1080P and 6 s in the settings popover, which Escape closes.
        GUI_CLICK(studio, "videoSettingsButton");
        QAbstractButton* quality = nullptr;
        DAY_WAIT((quality = control<QAbstractButton>(window(), "qualityPicker_1080P")) && onScreen(quality), 2000);
        QVERIFY(gui::click(quality));
        GUI_CLICK(window(), "durationPicker_6");
        QCOMPARE(iniValue(rig_.configFile(), "videoQuality").toString(), QStringLiteral("1080P"));
        QCOMPARE(iniValue(rig_.configFile(), "videoDuration").toInt(), 6);
        GUI_CHECK(shoot(window(), 7, "video-settings"));
        GUI_CHECK(checkAccessibility(quality->window(), "video settings popover"));
        gui::keyToFocus(Qt::Key_Escape);
        DAY_WAIT(!onScreen(control<QWidget>(window(), "qualityPicker_1080P")), 2000);

        // Five jobs; the third one fails at the service.
        FakeMiniMaxService::TaskScript failing;
        failing.statuses = {"Queueing", "Fail"};
        minimax_->scripts = {{}, {}, failing, {}, {}};
        QueueManager& queue = app_->queueManager();
        for (int job = 0; job < 5; ++job) {
            QVERIFY2(onScreen(generate) && generate->isEnabled(), qPrintable(generate->text()));
            QVERIFY(gui::click(generate));
        }
        QCOMPARE(queue.activeVideoTasks().size(), 4);
        QCOMPARE(queue.videoQueue().size(), 1);
        DAY_WAIT(onScreen(control<QWidget>(studio, "videoSlotDots")), 2000);
        GUI_CHECK(shoot(window(), 8, "video-jobs"));

        DAY_WAIT(queue.completedTasks().size() == 5, 60000);
        int failed = 0;
        for (const GenerationTask& task : queue.completedTasks()) {
            if (task.status == GenerationTaskStatus::failed) {
                ++failed;
                QVERIFY(task.error && !task.error->isEmpty());
            } else {
                QCOMPARE(task.status, GenerationTaskStatus::completed);
            }
        }
        QCOMPARE(failed, 1);
        const auto generations = minimax_->requestsTo("/v1/video_generation");
        QCOMPARE(generations.size(), 5);
        QStringList bearers;
        for (const auto& request : generations) {
            const QJsonObject body = request.json();
            QCOMPARE(body["resolution"].toString(), QStringLiteral("1080P"));
            QCOMPARE(body["duration"].toInt(), 6);
            QVERIFY(body["first_frame_image"].toString().startsWith("data:image/png;base64,"));
            QVERIFY(body["prompt"].toString().startsWith(kVideoPrompt));
            bearers << QString::fromUtf8(request.header("Authorization"));
        }
        // The first four went out on the four keys.
        bearers = bearers.mid(0, 4);
        bearers.sort();
        QCOMPARE(bearers, (QStringList{"Bearer " + videoKey(1), "Bearer " + videoKey(2), "Bearer " + videoKey(3),
                                       "Bearer " + videoKey(4)}));

        // Four clips filed under their names in the folder.
        DAY_WAIT(filesIn(videoFolder_, {"Orvane_*.mp4"}).size() == 4, 5000);
        for (const QString& name : filesIn(videoFolder_, {"Orvane_*.mp4"}))
            QCOMPARE(readAll(videoFolder_ + "/" + name), minimax_->clip);
        clipsFiled_ = 4;
        Q_UNUSED(prompt);
    }

    // 5. The gallery: the clips with their badges, a hover preview, recreate, and one clip to the trash.
    void step05_gallery() {
        QVERIFY2(clipsFiled_ > 0, "no clips were filed by the video studio");
        QWidget* studio = videoStudio();
        GUI_REQUIRE(grid, QWidget, studio, "galleryGrid");
        // Three columns, so that every clip is in view.
        GUI_REQUIRE(gridMode, QAbstractButton, studio, "gridModeMenu");
        QVERIFY(chooseFromMenu(gridMode, "gridModeCompact"));
        DAY_WAIT(gridMode->accessibleName() == "Grid Mode: Compact", 2000);
        DAY_WAIT(visibleNamed(grid, "galleryCard").size() >= 5, 10000);
        // The job that failed at the service stays as a card of its own until the user removes it.
        QWidget* removeFailed = nullptr;
        for (QWidget* card : visibleNamed(grid, "galleryCard")) {
            if (QWidget* button = card->findChild<QWidget*>("failedJobRemoveButton"); button && button->isVisible())
                removeFailed = button;
        }
        QVERIFY(removeFailed);
        QVERIFY(gui::click(removeFailed));
        DAY_WAIT(visibleNamed(grid, "galleryCard").size() == 4, 3000);
        QList<QWidget*> cards = visibleNamed(grid, "galleryCard");
        for (QWidget* widget : cards) {
            auto* card = qobject_cast<VideoItemLogicView*>(widget);
            QVERIFY(card);
            DAY_WAIT(card->badgeTexts().contains("1080P"), 5000);
        }
        GUI_CHECK(shoot(window(), 9, "gallery"));
        GUI_CHECK(checkAccessibility(window(), "video studio with the gallery"));
        // The keyboard reaches the clips: the focused grid's current card is what a screen reader reads, and
        // Tab goes on to that card's buttons.
        QVERIFY(gui::showActive(window()));
        grid->setFocus(Qt::TabFocusReason);
        DAY_WAIT(grid->hasFocus(), 2000);
        QTest::keyClick(grid, Qt::Key_End);
        QAccessibleInterface* focused = QAccessible::queryAccessibleInterface(grid)->focusChild();
        QVERIFY(focused && focused->state().focused);
        auto* current = qobject_cast<VideoItemLogicView*>(focused->object());
        QVERIFY(current && current->isCurrent() && onScreen(current));
        QCOMPARE(focused->text(QAccessible::Name), current->title());
        QTest::keyClick(grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), current->findChild<QWidget*>("recreateButton"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), grid);

        // A hover preview after the enter delay; it stops when the pointer leaves.
        QWidget* first = cards.constFirst();
        gui::hover(first);
        DAY_WAIT(onScreen(grid->findChild<QWidget*>("galleryPreview")), 3000);
        GUI_CHECK(shoot(window(), 10, "gallery-preview"));
        gui::unhover(first);

        // Recreate fills the workspace from the clip's record.
        GUI_REQUIRE(editor, QPlainTextEdit, studio, "promptEditor");
        GUI_CLICK(studio, "clearPrompt");
        DAY_WAIT(editor->toPlainText().isEmpty(), 2000);
        gui::hover(first);
        GUI_REQUIRE(recreate, QAbstractButton, first, "recreateButton");
        QVERIFY(gui::click(recreate));
        DAY_WAIT(editor->toPlainText().startsWith(kVideoPrompt), 2000);
        QVERIFY(onScreen(control<QWidget>(studio, "referenceFrameTile")));
        gui::unhover(first);

        // Show a clip in the file manager.
        gui::hover(first);
        const int reveals = workspace_->revealed.size();
        GUI_CLICK(first, "revealButton");
        DAY_WAIT(workspace_->revealed.size() == reveals + 1, 2000);
        QVERIFY(workspace_->revealed.last().constFirst().startsWith(videoFolder_ + "/Orvane_"));

        // One clip to the trash, after the confirmation.
        const QStringList before = filesIn(videoFolder_, {"Orvane_*.mp4"});
        dialogs_->alertAnswer = 0;
        const int alerts = dialogs_->alerts.size();
        GUI_REQUIRE(trash, QAbstractButton, first, "trashButton");
        QVERIFY(gui::click(trash));
        QCOMPARE(dialogs_->alerts.size(), alerts + 1);
        QCOMPARE(dialogs_->alerts.last().message, QStringLiteral("Move Video to Trash"));
        DAY_WAIT(filesIn(videoFolder_, {"Orvane_*.mp4"}).size() == 3, 3000);
        QStringList gone = before;
        for (const QString& name : filesIn(videoFolder_, {"Orvane_*.mp4"}))
            gone.removeAll(name);
        QCOMPARE(gone.size(), 1);
        QCOMPARE(workspace_->trashed, QStringList{videoFolder_ + "/" + gone.constFirst()});
        QVERIFY2(QFileInfo::exists(rig_.trashFolder() + "/" + gone.constFirst()), qPrintable(gone.constFirst()));
        DAY_WAIT(visibleNamed(grid, "galleryCard").size() == 3, 5000);
        GUI_CHECK(shoot(window(), 11, "gallery-after-trash"));
    }

    // 6. "Create Backup" in the settings.
    void step06_backup() {
        GUI_CHECK(openSettingsFromKeyboard());
        QWidget* settings = app_->settingsWindow();
        GUI_REQUIRE(tabs, QTabWidget, settings, "settingsTabs");
        GUI_REQUIRE(create, QAbstractButton, settings, "createBackupButton");
        tabs->setCurrentIndex(0);
        const int alerts = dialogs_->alerts.size();
        QVERIFY(gui::click(create));
        QCOMPARE(dialogs_->alerts.size(), alerts + 1);
        QCOMPARE(dialogs_->alerts.last().message, QStringLiteral("Backup Created"));
        backupsBuilt_ = true;
        const QString backups = rig_.dataFolder() + "/Backups";
        const auto settingsBackup = readJson(backups + "/settings_backup.json");
        QVERIFY(settingsBackup.is_object());
        QVERIFY2(keysEntered_, "the keys were not entered in the settings window");
        QCOMPARE(QString::fromStdString(settingsBackup["googleAPIKey"].get<std::string>()), kGoogleKey);
        QCOMPARE(QString::fromStdString(settingsBackup["miniMaxAPIKey4"].get<std::string>()), videoKey(4));
        const auto records = readJson(backups + "/swift_data_backup.json");
        QVERIFY(records.is_object());
        QCOMPARE(int(records["videoMetadata"].size()), clipsFiled_);
        DAY_WAIT(onScreen(settings->findChild<QWidget*>("lastBackupDate")), 2000);
        GUI_CHECK(shoot(settings, 12, "backup"));
        settings->close();
    }

    // The same day again from the keyboard alone, from the main window: only key presses to whatever has
    // the focus, Tab and Shift+Tab to move it. First the keys, typed again and tested.
    void step07_keyboardKeys() {
        QVERIFY(gui::showActive(window()));
        gui::keyToFocus(Qt::Key_Comma, Qt::ControlModifier);
        DAY_WAIT(app_->settingsWindow() && app_->settingsWindow()->isVisible(), 3000);
        QWidget* settings = app_->settingsWindow();
        QVERIFY(gui::showActive(settings));
        GUI_REQUIRE(tabs, QTabWidget, settings, "settingsTabs");
        TAB_TO(tabs->tabBar()->objectName(), settings);
        if (tabs->currentIndex() == 0)
            gui::keyToFocus(Qt::Key_Right);
        QCOMPARE(tabs->currentIndex(), 1);

        const auto enterAndTest = [&](const QString& slot, const QString& key, const std::function<int()>& checks) {
            TAB_TO(slot + "KeyField", settings);
            GUI_REQUIRE(field, QLineEdit, settings, slot + "KeyField");
            gui::keyToFocus(Qt::Key_A, Qt::ControlModifier);
            gui::keyToFocus(Qt::Key_Delete);
            QCOMPARE(field->text(), QString());
            QTest::keyClicks(QApplication::focusWidget(), key);
            QCOMPARE(field->text(), key);
            const int before = checks();
            TAB_TO(slot + "TestButton", settings);
            gui::keyToFocus(Qt::Key_Space);
            GUI_REQUIRE(result, QLabel, settings, slot + "TestResultText");
            DAY_WAIT(checks() == before + 1 && onScreen(result) && result->text() == "API key is valid", 5000);
        };
        const auto googleChecks = [this] { return int(gemini_->requests.size()); };
        const auto videoChecks = [this] { return int(minimax_->requestsTo("/v1/files/retrieve").size()); };
        GUI_CHECK(enterAndTest("google", kGoogleKey, googleChecks));
        for (int slot = 1; slot <= 4; ++slot)
            GUI_CHECK(enterAndTest(QStringLiteral("miniMax%1").arg(slot), videoKey(slot), videoChecks));
        QCOMPARE(iniValue(rig_.configFile(), "googleAPIKey").toString(), kGoogleKey);
        QCOMPARE(iniValue(rig_.configFile(), "miniMaxAPIKey4").toString(), videoKey(4));

        gui::keyToFocus(Qt::Key_Escape);
        DAY_WAIT(!settings->isVisible(), 2000);
    }

    // Back to the image studio, a built-in preset from its sheet, and a picture with Return.
    void step08_keyboardImage() {
        QVERIFY(gui::showActive(window()));
        if (studios()->currentStudio() != imageStudio()) {
            TAB_TO("backToImages", videoStudio());
            gui::keyToFocus(Qt::Key_Space);
            DAY_WAIT(studios()->currentStudio() == imageStudio(), 2000);
        }
        QWidget* studio = imageStudio();
        GUI_REQUIRE(editor, QPlainTextEdit, studio, "promptEditor");
        TAB_TO("promptEditor", studio);
        gui::keyToFocus(Qt::Key_A, Qt::ControlModifier);
        gui::keyToFocus(Qt::Key_Delete);
        QTest::keyClicks(QApplication::focusWidget(), kImagePrompt);
        QCOMPARE(editor->toPlainText(), kImagePrompt);

        // The sheet takes the focus when it opens, a card is chosen with Return, Escape closes it and gives
        // the focus back to its button.
        TAB_TO("imagePresets", studio);
        gui::keyToFocus(Qt::Key_Space);
        QListView* angles = nullptr;
        DAY_WAIT((angles = control<QListView>(studio, "builtInPresetsList")) && onScreen(angles), 2000);
        TAB_TO("builtInPresetsList", studio);
        gui::keyToFocus(Qt::Key_Home);
        gui::keyToFocus(Qt::Key_Return);
        DAY_WAIT(editor->toPlainText().startsWith(kImagePrompt) && editor->toPlainText().size() > kImagePrompt.size(),
                 2000);
        const QString prompt = editor->toPlainText();
        gui::keyToFocus(Qt::Key_Escape);
        DAY_WAIT(!onScreen(control<QWidget>(studio, "builtInPresetsList")), 2000);
        QCOMPARE(QApplication::focusWidget(), control<QWidget>(studio, "imagePresets"));

        const auto parts = nlohmann::json::array(
            {FakeGeminiService::textPart("The harbour again."),
             FakeGeminiService::pngPart(FakeGeminiService::samplePicture(640, 360, QColor(60, 140, 230)))});
        gemini_->script.append(FakeGeminiService::Reply::json(
            FakeGeminiService::response(nlohmann::json::array({FakeGeminiService::candidate(parts)}), 24000)));
        const int requests = int(gemini_->generateRequests().size());
        TAB_TO("promptEditor", studio, true);
        gui::keyToFocus(Qt::Key_Return);
        DAY_WAIT(int(gemini_->generateRequests().size()) == requests + 1, 5000);
        const auto request = gemini_->generateRequests().constLast().json;
        QVERIFY(
            QString::fromStdString(request["contents"][0]["parts"][0]["text"].get<std::string>()).startsWith(prompt));
        GUI_REQUIRE(textButton, QAbstractButton, studio, "textResponseButton");
        DAY_WAIT(textButton->isEnabled(), 5000);
        GUI_CHECK(shoot(window(), 14, "keyboard-image"));
    }

    // Over to the video studio: a camera movement and a cinematic preset from their sheets, two clips queued,
    // the one that fails removed from its card.
    void step09_keyboardClips() {
        QVERIFY(gui::showActive(window()));
        TAB_TO("switchToVideoStudio", imageStudio());
        gui::keyToFocus(Qt::Key_Space);
        DAY_WAIT(studios()->currentStudio() == videoStudio(), 2000);
        QWidget* studio = videoStudio();
        GUI_REQUIRE(editor, QPlainTextEdit, studio, "promptEditor");
        DAY_WAIT(onScreen(control<QWidget>(studio, "referenceFrameTile")), 3000);
        TAB_TO("promptEditor", studio);
        gui::keyToFocus(Qt::Key_A, Qt::ControlModifier);
        gui::keyToFocus(Qt::Key_Delete);
        QTest::keyClicks(QApplication::focusWidget(), kVideoPrompt);
        QCOMPARE(editor->toPlainText(), kVideoPrompt);

        TAB_TO("promptPresetsButton", studio);
        gui::keyToFocus(Qt::Key_Space);
        QListView* movements = nullptr;
        DAY_WAIT((movements = control<QListView>(studio, "cameraMovementsList")) && onScreen(movements), 2000);
        TAB_TO("cameraMovementsList", studio);
        gui::keyToFocus(Qt::Key_Home);
        gui::keyToFocus(Qt::Key_Return);
        DAY_WAIT(editor->toPlainText().size() > kVideoPrompt.size() && editor->toPlainText().contains('['), 2000);
        const QString afterMovement = editor->toPlainText();
        gui::keyToFocus(Qt::Key_Escape);
        DAY_WAIT(!onScreen(control<QWidget>(studio, "cameraMovementsList")), 2000);
        QCOMPARE(QApplication::focusWidget(), control<QWidget>(studio, "promptPresetsButton"));

        TAB_TO("cinematicPresetsButton", studio);
        gui::keyToFocus(Qt::Key_Space);
        QListView* cinematic = nullptr;
        DAY_WAIT((cinematic = control<QListView>(studio, "cinematicPresetsGrid")) && onScreen(cinematic), 2000);
        TAB_TO("cinematicPresetsGrid", studio);
        gui::keyToFocus(Qt::Key_Home);
        gui::keyToFocus(Qt::Key_Return);
        DAY_WAIT(editor->toPlainText().size() > afterMovement.size(), 2000);
        if (onScreen(control<QWidget>(studio, "cinematicPresetsGrid")))
            gui::keyToFocus(Qt::Key_Escape);
        DAY_WAIT(!onScreen(control<QWidget>(studio, "cinematicPresetsGrid")), 2000);
        const QString prompt = editor->toPlainText();

        // Two clips; the second fails at the service.
        FakeMiniMaxService::TaskScript failing;
        failing.statuses = {"Queueing", "Fail"};
        minimax_->scripts = {{}, failing};
        QueueManager& queue = app_->queueManager();
        const int done = int(queue.completedTasks().size());
        const int sent = int(minimax_->requestsTo("/v1/video_generation").size());
        const int filed = int(filesIn(videoFolder_, {"Orvane_*.mp4"}).size());
        TAB_TO("generateButton", studio);
        gui::keyToFocus(Qt::Key_Space);
        DAY_WAIT(int(queue.activeVideoTasks().size() + queue.videoQueue().size() + queue.completedTasks().size()) ==
                     done + 1,
                 2000);
        gui::keyToFocus(Qt::Key_Space);
        DAY_WAIT(int(queue.completedTasks().size()) == done + 2, 60000);
        const auto generations = minimax_->requestsTo("/v1/video_generation");
        QCOMPARE(generations.size(), sent + 2);
        for (int i = sent; i < int(generations.size()); ++i)
            QCOMPARE(generations.at(i).json()["prompt"].toString(), prompt);
        DAY_WAIT(int(filesIn(videoFolder_, {"Orvane_*.mp4"}).size()) == filed + 1, 5000);
        clipsFiled_ += 1;

        // The failed job's card: the grid's cards one by one with the arrows, Tab into the current card.
        GUI_REQUIRE(grid, QWidget, studio, "galleryGrid");
        const auto failedCards = [&] {
            int count = 0;
            for (QWidget* card : visibleNamed(grid, "galleryCard"))
                if (QWidget* button = card->findChild<QWidget*>("failedJobRemoveButton"); button && button->isVisible())
                    ++count;
            return count;
        };
        DAY_WAIT(failedCards() == 1, 5000);
        const int cards = int(visibleNamed(grid, "galleryCard").size());
        const int clipCards = cards - failedCards();
        TAB_TO("galleryGrid", studio);
        gui::keyToFocus(Qt::Key_Home);
        bool reached = false;
        for (int card = 0; card < cards && !reached; ++card) {
            gui::keyToFocus(Qt::Key_Tab);
            reached = QApplication::focusWidget() &&
                      QApplication::focusWidget()->objectName() == QLatin1String("failedJobRemoveButton");
            if (!reached) {
                TAB_TO("galleryGrid", studio, true, 8);
                gui::keyToFocus(Qt::Key_Right);
            }
        }
        QVERIFY2(reached, "Tab never reached a failed job's remove button in the gallery");
        gui::keyToFocus(Qt::Key_Space);
        // Only the failed card goes; the clips' cards stay.
        DAY_WAIT(failedCards() == 0 && int(visibleNamed(grid, "galleryCard").size()) >= clipCards, 3000);
        GUI_CHECK(shoot(window(), 15, "keyboard-clips"));
    }

    // A backup from the General tab, then Quit with its shortcut; the application's own loop ends and the
    // quit work follows, even when the backup failed, so that the checks after the quit still run.
    void step10_keyboardBackupAndQuit() {
        backUpFromKeyboard();
        QVERIFY(gui::showActive(window()));
        quitRequested_ = true;
        gui::keyToFocus(Qt::Key_Q, Qt::ControlModifier);
    }
};

// After the quit: the backup is whole, and a second start of the real program with the settings emptied
// restores the keys from it.
class SecondStartTest : public QObject {
    Q_OBJECT
public:
    SecondStartTest(DayRig& rig, bool quitRan, bool keysEntered, int clips, bool backups)
        : rig_(rig), quitRan_(quitRan), keysEntered_(keysEntered), clips_(clips), backupsBuilt_(backups) {}

private:
    DayRig& rig_;
    bool quitRan_;
    bool keysEntered_;
    int clips_;
    bool backupsBuilt_;

    QString backups() const { return rig_.dataFolder() + "/Backups"; }

private slots:
    void step11_quitWritesAWholeBackup() {
        QVERIFY2(quitRan_, "the quit command did not end the application");
        QVERIFY2(backupsBuilt_, "no backup was made from the settings window");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(backups() + "/swift_data_backup.json"), 5000);
        const auto settings = readJson(backups() + "/settings_backup.json");
        QVERIFY(settings.is_object());
        const auto records = readJson(backups() + "/swift_data_backup.json");
        QVERIFY(records.is_object());
        QVERIFY(records.contains("videoMetadata") && records.contains("promptPresets") &&
                records.contains("imagePresets"));
        QCOMPARE(int(records["videoMetadata"].size()), clips_);
        // Every picture the records point at is there and is a JPEG.
        int pictures = 0;
        QDirIterator it(backups() + "/UserImages", QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QVERIFY2(path.endsWith(".jpg"), qPrintable(path));
            QVERIFY2(readAll(path).startsWith("\xFF\xD8"), qPrintable(path));
            ++pictures;
        }
        if (clips_ > 0)
            QVERIFY(pictures >= clips_); // each clip's first frame at least
        QVERIFY2(keysEntered_, "the keys were never entered, so there are none to restore");
        QCOMPARE(QString::fromStdString(settings["googleAPIKey"].get<std::string>()), kGoogleKey);
        for (int slot = 1; slot <= 4; ++slot) {
            const std::string key = slot == 1 ? "miniMaxAPIKey" : "miniMaxAPIKey" + std::to_string(slot);
            QCOMPARE(QString::fromStdString(settings[key].get<std::string>()), videoKey(slot));
        }
    }

    void step12_secondStartRestoresTheKeys() {
        QVERIFY2(keysEntered_, "the keys were never entered, so there are none to restore");
        QVERIFY2(QFileInfo(QStringLiteral(ORVANE_BINARY)).isExecutable(), ORVANE_BINARY);
        // The settings emptied, as on a new machine that kept only the services' addresses.
        QSettings ini(rig_.configFile(), QSettings::IniFormat);
        for (const QString& key : ini.allKeys())
            if (!key.startsWith("Services/"))
                ini.remove(key);
        ini.sync();
        QVERIFY(!ini.contains("googleAPIKey"));

        QProcess orvane;
        orvane.setProcessChannelMode(QProcess::MergedChannels);
        orvane.start(QStringLiteral(ORVANE_BINARY), {});
        QVERIFY2(orvane.waitForStarted(10000), qPrintable(orvane.errorString()));
        const auto restored = [this] {
            QSettings now(rig_.configFile(), QSettings::IniFormat);
            return now.value("googleAPIKey").toString() == kGoogleKey &&
                   now.value("miniMaxAPIKey4").toString() == videoKey(4);
        };
        QTRY_VERIFY_WITH_TIMEOUT(restored() || orvane.state() == QProcess::NotRunning, 20000);
        const QString output = QString::fromUtf8(orvane.readAll());
        QVERIFY2(orvane.state() == QProcess::Running, qPrintable("the program ended: " + output));
        QVERIFY2(restored(), qPrintable(output));
        QSettings now(rig_.configFile(), QSettings::IniFormat);
        QCOMPARE(now.value("miniMaxAPIKey").toString(), videoKey(1));
        QCOMPARE(now.value("miniMaxAPIKey2").toString(), videoKey(2));
        QCOMPARE(now.value("miniMaxAPIKey3").toString(), videoKey(3));
        QTRY_VERIFY_WITH_TIMEOUT(QSettings(rig_.configFile(), QSettings::IniFormat).contains("lastRestoreDate"), 5000);

        // Its window on the shared screen.
        QTest::qWait(300);
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        QVERIFY(!screen.isNull());
        QString folder = qEnvironmentVariable("ORVANE_DAY_SCREENSHOTS");
        if (folder.isEmpty())
            folder = QStringLiteral(ORVANE_DAY_BUILD_DIR) + "/day-screenshots";
        QVERIFY(screen.save(folder + "/day-13-second-start.png"));

        orvane.terminate();
        if (!orvane.waitForFinished(5000)) {
            orvane.kill();
            orvane.waitForFinished(5000);
        }
    }
};

int main(int argc, char* argv[]) {
    DayRig rig;
    if (!rig.start()) {
        fprintf(stderr, "FAIL: %s\n", qPrintable(rig.error()));
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Orvane");
    QApplication::setApplicationName("Orvane");
    QApplication::setApplicationDisplayName("Orvane");
    QApplication::setApplicationVersion("day");
    int status = 0;
    bool quitRan = false;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&quitRan] { quitRan = true; });
    DayTest day(rig);
    // The day runs inside the application's own event loop, so the quit command ends it the way it ends
    // a real session, and the quit work runs when the loop returns.
    QTimer::singleShot(0, &app, [&] {
        status = QTest::qExec(&day, argc, argv);
        if (!day.quitRequested()) {
            QApplication::quit();
            return;
        }
        // The quit command must end the loop by itself; if it does not, stop and say so.
        QTimer::singleShot(5000, &app, [&] {
            if (!quitRan) {
                fprintf(stderr, "FAIL: the quit command did not end the application\n");
                status |= 1;
                QApplication::exit(1);
            }
        });
    });
    QApplication::exec();
    SecondStartTest second(rig, quitRan && day.quitRequested(), day.keysEntered(), day.clipsFiled(),
                           day.backupsBuilt());
    status |= QTest::qExec(&second, argc, argv);
    return status;
}

#include "tst_day.moc"
