#include "BuiltInImagePreset.h"
#include "CameraMovementPreset.h"
#include "HoverPreviewController.h"
#include "ImagePresetsBrowser.h"
#include "PresetTestSupport.h"
#include "PromptPresetsBrowser.h"
#include "StoreFaults.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace PresetTestSupport;

namespace {

QImage picture(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QStringList titles(const QAbstractItemModel& model) {
    QStringList list;
    for (int row = 0; row < model.rowCount(); ++row)
        list << model.index(row, 0).data().toString();
    return list;
}

// Every later delete from `table` fails inside SQLite.
void failDeletes(ModelContext& context, const QString& table) {
    QSqlQuery query(context.database());
    QVERIFY(query.exec(QStringLiteral("CREATE TRIGGER fail_delete_%1 BEFORE DELETE ON \"%1\" "
                                      "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")
                           .arg(table)));
}

// The store's own error text follows the fixed start of the line.
bool loggedSaveError(const TestEnvironment& env) {
    for (const QString& line : env.logLines()) {
        if (line.startsWith(QStringLiteral("❌ Error saving preset: ")) && line.contains("disk is full"))
            return true;
    }
    return false;
}

} // namespace

class PresetBrowsersTest : public QObject {
    Q_OBJECT
private:
    StoreFixture fixture_;

    std::shared_ptr<ImagePreset> addImagePreset(const QString& title, const QImage& image = {}) {
        auto preset = ImagePreset::make(title, title + " prompt", image);
        fixture_.store->insert(preset);
        fixture_.store->save();
        fixture_.clock->advance(1);
        return preset;
    }
    std::shared_ptr<PromptPreset> addPromptPreset(const QString& name, const QString& prompt, bool builtIn = false) {
        auto preset = PromptPreset::make(name, prompt, builtIn ? "Camera" : "User", builtIn);
        fixture_.store->insert(preset);
        fixture_.store->save();
        fixture_.clock->advance(1);
        return preset;
    }

private slots:
    void init() { fixture_.setUp(); }
    void cleanup() { fixture_.tearDown(); }

    void imageBrowserHandsPresetsToTheStudio() {
        const auto own = addImagePreset("Noir", picture(20, 10, Qt::blue));
        const auto plain = addImagePreset("Plain");
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        ImagePresetsBrowser browser(manager, "a cat");
        QAbstractItemModelTester builtInTester(browser.builtInPresets());
        QAbstractItemModelTester userTester(browser.userPresets());
        QCOMPARE(browser.selectedTab(), ImagePresetsBrowser::PresetsTab::builtIn);
        QCOMPARE(ImagePresetsBrowser::title(ImagePresetsBrowser::PresetsTab::builtIn), QString("Angles"));
        QCOMPARE(browser.builtInPresets()->rowCount(), BuiltInImagePreset::builtInPresets().size());
        QCOMPARE(titles(*browser.userPresets()), QStringList({"Plain", "Noir"}));
        QVERIFY(!browser.userPresets()->index(0).data(PresetRoles::HasPicture).toBool());
        QVERIFY(browser.userPresets()->index(1).data(PresetRoles::HasPicture).toBool());

        QSignalSpy selected(&browser, &ImagePresetsBrowser::presetSelected);
        QSignalSpy dismissed(&browser, &ImagePresetsBrowser::dismissRequested);
        BuiltInImagePreset* angle = browser.builtInPresets()->preset(0);
        browser.chooseBuiltIn(angle);
        browser.chooseOwn(own);
        browser.chooseOwn(plain);
        QCOMPARE(selected.size(), 3);
        QCOMPARE(selected[0][0].toString(), angle->prompt());
        QVERIFY(selected[0][1].value<QImage>().isNull());
        QCOMPARE(selected[0][2].toBool(), true);
        QCOMPARE(selected[1][0].toString(), QString("Noir prompt"));
        QCOMPARE(selected[1][1].value<QImage>().size(), QSize(20, 10));
        QCOMPARE(selected[1][2].toBool(), false);
        QVERIFY(selected[2][1].value<QImage>().isNull());
        QCOMPARE(dismissed.size(), 0);
    }

    void imageBrowserCreatesEditsAndDeletes() {
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        ImagePresetsBrowser browser(manager, "studio prompt");
        QAbstractItemModelTester tester(browser.userPresets());
        QCOMPARE(browser.presetsCount(), 0);

        browser.startNewPreset();
        QVERIFY(browser.showingCreatePreset());
        QCOMPARE(browser.form()->title(), QString());
        QCOMPARE(browser.form()->prompt(), QString("studio prompt"));
        QVERIFY(!browser.form()->isEditing());
        browser.form()->setTitle("  Spaced ");
        browser.form()->setImage(picture(30, 30, Qt::green));
        browser.form()->requestSave();
        QVERIFY(!browser.showingCreatePreset());
        QCOMPARE(storedRows(*fixture_.store, "ImagePreset"), 1);
        QCOMPARE(browser.presetsCount(), 1);
        const auto created = browser.userPresets()->record(0);
        QCOMPARE(created->title(), QString("  Spaced "));
        QCOMPARE(created->image().size(), QSize(30, 30));
        QCOMPARE(browser.form()->prompt(), QString());

        // An edit whose picture was removed in the form keeps the stored one.
        browser.editPreset(created);
        QVERIFY(browser.form()->isEditing());
        QCOMPARE(browser.form()->title(), QString("  Spaced "));
        QVERIFY(!browser.form()->image().isNull());
        browser.form()->removeImage();
        browser.form()->setTitle("Renamed");
        QVERIFY(browser.savePreset());
        QCOMPARE(browser.userPresets()->index(0).data().toString(), QString("Renamed"));
        QVERIFY(created->imageData().has_value());

        // Cancelling an edit and starting anew shows the studio's prompt, not the edited values.
        browser.editPreset(created);
        browser.cancelForm();
        QVERIFY(!browser.showingCreatePreset());
        browser.startNewPreset();
        QCOMPARE(browser.form()->title(), QString());
        QCOMPARE(browser.form()->prompt(), QString("studio prompt"));
        browser.cancelForm();

        browser.deletePreset(created);
        QCOMPARE(storedRows(*fixture_.store, "ImagePreset"), 0);
        QCOMPARE(browser.presetsCount(), 0);
        QCOMPARE(browser.userPresets()->rowCount(), 0);
    }

    void imageBrowserSaveFailuresAreReportedAndRolledBack() {
        const auto existing = addImagePreset("Kept", picture(10, 10, Qt::red));
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        ImagePresetsBrowser browser(manager, "p");
        failWrites(*fixture_.store, "ImagePreset");

        browser.startNewPreset();
        browser.form()->setTitle("New one");
        QVERIFY(!browser.savePreset());
        QVERIFY(loggedSaveError(*fixture_.env));
        QVERIFY(browser.showingCreatePreset());
        QCOMPARE(browser.form()->title(), QString("New one"));
        QCOMPARE(titles(*browser.userPresets()), QStringList({"Kept"}));

        fixture_.env->clearLog();
        browser.editPreset(existing);
        browser.form()->setTitle("Changed");
        browser.form()->setPrompt("Changed prompt");
        browser.form()->setImage(picture(10, 10, Qt::blue));
        QVERIFY(!browser.savePreset());
        QVERIFY(loggedSaveError(*fixture_.env));
        QVERIFY(browser.showingCreatePreset());
        QCOMPARE(browser.form()->title(), QString("Changed"));
        QCOMPARE(browser.form()->prompt(), QString("Changed prompt"));
        QCOMPARE(existing->title(), QString("Kept"));
        QCOMPARE(existing->prompt(), QString("Kept prompt"));
        QCOMPARE(existing->image().pixelColor(5, 5).red() > 200, true);
        QCOMPARE(titles(*browser.userPresets()), QStringList({"Kept"}));

        failDeletes(*fixture_.store, "ImagePreset");
        fixture_.env->clearLog();
        browser.deletePreset(existing);
        QVERIFY(loggedSaveError(*fixture_.env));
        QCOMPARE(titles(*browser.userPresets()), QStringList({"Kept"}));
        QCOMPARE(storedRows(*fixture_.store, "ImagePreset"), 1);

        // Once the store works again, the retried create lands once and nothing rolled back comes back.
        allowWrites(*fixture_.store, "ImagePreset");
        browser.startNewPreset();
        browser.form()->setTitle("Later");
        QVERIFY(browser.savePreset());
        QCOMPARE(titles(*browser.userPresets()), QStringList({"Later", "Kept"}));
        QCOMPARE(storedRows(*fixture_.store, "ImagePreset"), 2);
    }

    void imageBrowserKeepsWhatIsSavedWhileTheStoreIsLocked() {
        ScriptedDialogs dialogs;
        const auto existing = addImagePreset("Kept");
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        ImagePresetsBrowser browser(manager, "p");
        StoreLock lock(fixture_.env->path("store.sqlite"));
        QVERIFY2(lock.isHeld(), qPrintable(lock.error()));

        browser.startNewPreset();
        browser.form()->setTitle("Made while locked");
        QVERIFY(browser.savePreset());
        QVERIFY(!browser.showingCreatePreset());
        browser.editPreset(existing);
        browser.form()->setTitle("Edited while locked");
        QVERIFY(browser.savePreset());
        QCOMPARE(existing->title(), QString("Edited while locked"));
        QCOMPARE(titles(*browser.userPresets()), QStringList({"Made while locked", "Edited while locked"}));
        QCOMPARE(dialogs.notices.size(), 1);
        QCOMPARE(dialogs.notices.first().message, QString("The preset could not be saved yet"));
        // A deletion that could not be written shows the preset again.
        browser.deletePreset(existing);
        QCOMPARE(titles(*browser.userPresets()), QStringList({"Made while locked", "Edited while locked"}));
        QCOMPARE(storedRows(*fixture_.store, "ImagePreset"), 1);

        lock.release();
        QVERIFY(fixture_.store->retryPendingChanges());
        QCOMPARE(storedRows(*fixture_.store, "ImagePreset"), 2);
        QSqlQuery query(fixture_.store->database());
        QVERIFY(query.exec("SELECT title FROM ImagePreset WHERE title = 'Edited while locked'") && query.next());
    }

    void promptBrowserListsOnlyUserPresetsAndSearches() {
        addPromptPreset("Camera thing", "[Push in]", true);
        addPromptPreset("Sunset", "golden hour over the sea");
        addPromptPreset("Forest", "Misty PINES at dawn");
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        PromptPresetsBrowser browser(manager, "", false);
        PromptPresetListModel* list = browser.userPresets();
        QAbstractItemModelTester tester(list);
        QAbstractItemModelTester movementsTester(browser.cameraMovements());
        QCOMPARE(browser.selectedTab(), PromptPresetsBrowser::PresetsTab::publicPrompts);
        QCOMPARE(browser.cameraMovements()->rowCount(), CameraMovementPreset::allPresets().size());
        QCOMPARE(titles(*list), QStringList({"Forest", "Sunset"}));
        QCOMPARE(browser.presetsCount(), 2);

        list->setSearchText("pines");
        QCOMPARE(titles(*list), QStringList({"Forest"}));
        list->setSearchText("SUN");
        QCOMPARE(titles(*list), QStringList({"Sunset"}));
        QCOMPARE(browser.listedCount(), 1);
        QCOMPARE(browser.userPresetsContent(), PresetBrowser::UserPresetsContent::list);
        // A search that matches nothing says so: the presets still exist, and the add tile still counts them.
        list->setSearchText("push");
        QCOMPARE(titles(*list), QStringList());
        QCOMPARE(browser.listedCount(), 0);
        QCOMPARE(browser.presetsCount(), 2);
        QCOMPARE(browser.userPresetsContent(), PresetBrowser::UserPresetsContent::noMatch);
        list->setSearchText("");
        QCOMPARE(browser.presetsCount(), 2);
        QCOMPARE(browser.listedCount(), 2);

        // Built-in records never show even when a list hands them over.
        auto stray = PromptPreset::make("Stray", "x", "Camera", true);
        QVERIFY(!PromptPresetListModel::matches(*stray, ""));
    }

    // Typing narrows the one list: a row that still matches keeps its place, so the list's current card and
    // anything else held on it stay; the count the panel follows changes with the rows.
    void promptSearchKeepsTheRowsThatStillMatch() {
        addPromptPreset("Sunset", "golden hour over the sea");
        addPromptPreset("Forest", "Misty PINES at dawn");
        addPromptPreset("Harbour", "boats at sunrise");
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        PromptPresetsBrowser browser(manager, "", false);
        PromptPresetListModel* list = browser.userPresets();
        QAbstractItemModelTester tester(list);
        QCOMPARE(titles(*list), QStringList({"Harbour", "Forest", "Sunset"}));
        const QPersistentModelIndex sunset = list->index(2, 0);
        QSignalSpy resets(list, &QAbstractItemModel::modelReset);
        QSignalSpy counted(&browser, &PresetBrowser::presetsCountChanged);

        struct Step {
            const char* text;
            QStringList titles;
            int sunsetRow; // -1: filtered out
        };
        const QList<Step> steps = {{"s", {"Harbour", "Forest", "Sunset"}, 2},
                                   {"su", {"Harbour", "Sunset"}, 1},
                                   {"sun", {"Harbour", "Sunset"}, 1},
                                   {"suns", {"Sunset"}, 0},
                                   {"sunsx", {}, -1},
                                   {"", {"Harbour", "Forest", "Sunset"}, -1}};
        for (const Step& step : steps) {
            const int countsBefore = int(counted.size());
            const QStringList before = titles(*list);
            list->setSearchText(step.text);
            QCOMPARE(titles(*list), step.titles);
            if (step.sunsetRow >= 0) {
                QVERIFY2(sunset.isValid(), step.text);
                QCOMPARE(sunset.row(), step.sunsetRow);
                QCOMPARE(browser.userPresets()->record(sunset.row())->name(), "Sunset");
            } else {
                QVERIFY(!sunset.isValid());
            }
            QCOMPARE(counted.size() > countsBefore, before != step.titles);
        }
        QCOMPARE(resets.size(), 0);
        QCOMPARE(browser.presetsCount(), 3);
        QVERIFY(!list->record(3));
    }

    void promptBrowserChoosingAndTheDeleteConfirmation() {
        const auto mine = addPromptPreset("Mine", "my prompt");
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        PromptPresetsBrowser browser(manager, "owner prompt", false);
        QStringList order;
        connect(&browser, &PromptPresetsBrowser::presetSelected, this, [&](const QString& t) { order << t; });
        connect(&browser, &PromptPresetsBrowser::dismissRequested, this, [&] { order << "dismiss"; });
        browser.selectUserPreset(mine);
        QCOMPARE(order, QStringList({"my prompt"}));
        CameraMovementPreset* first = CameraMovementPreset::allPresets().first();
        browser.selectCameraMovement(browser.cameraMovements()->preset(0));
        QCOMPARE(order, QStringList({"my prompt", first->insertText(), "dismiss"}));

        browser.confirmDelete(mine);
        QVERIFY(browser.showingDeleteAlert());
        QCOMPARE(browser.deleteAlertMessage(),
                 QString("Are you sure you want to delete 'Mine'? This action cannot be undone."));
        browser.cancelDelete();
        QCOMPARE(storedRows(*fixture_.store, "PromptPreset"), 1);
        browser.confirmDelete(mine);
        browser.deletePreset(browser.presetToDelete());
        QVERIFY(!browser.showingDeleteAlert());
        QCOMPARE(storedRows(*fixture_.store, "PromptPreset"), 0);
        QCOMPARE(browser.presetsCount(), 0);
        QCOMPARE(browser.userPresetsContent(), PresetBrowser::UserPresetsContent::empty);
    }

    void promptBrowserFormFlows() {
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        PromptPresetsBrowser browser(manager, "owner prompt", true);
        QVERIFY(!browser.showingCreatePreset());
        browser.openCreateFormIfRequested();
        QCOMPARE(browser.selectedTab(), PromptPresetsBrowser::PresetsTab::myPresets);
        QVERIFY(browser.showingCreatePreset());
        QCOMPARE(browser.form()->prompt(), QString("owner prompt"));
        QVERIFY(!browser.shouldOpenCreatePreset());
        browser.cancelEditing();
        browser.openCreateFormIfRequested();
        QVERIFY(!browser.showingCreatePreset());

        browser.startNewPreset();
        browser.form()->setTitle("With cover");
        browser.form()->setImage(picture(16, 9, Qt::yellow));
        QVERIFY(browser.savePreset());
        const auto created = browser.userPresets()->record(0);
        QCOMPARE(created->category(), QString("User"));
        QVERIFY(!created->isBuiltIn());
        QCOMPARE(created->userImage().size(), QSize(16, 9));

        // Switching tabs keeps the form; removing the picture in an edit keeps the stored one.
        browser.editPreset(created);
        browser.selectTab(PromptPresetsBrowser::PresetsTab::publicPrompts);
        QVERIFY(browser.showingCreatePreset());
        QCOMPARE(browser.form()->title(), QString("With cover"));
        browser.form()->removeImage();
        browser.form()->setPrompt("new words");
        QVERIFY(browser.savePreset());
        QCOMPARE(created->prompt(), QString("new words"));
        QVERIFY(created->userImageData().has_value());
        QVERIFY(browser.form()->title().isEmpty());

        // A failed save keeps the form and its fields, rolls back and reloads.
        failWrites(*fixture_.store, "PromptPreset");
        browser.editPreset(created);
        const QString storedPrompt = created->prompt();
        browser.form()->setTitle("Broken");
        browser.form()->setPrompt("Broken prompt");
        QVERIFY(!browser.savePreset());
        QVERIFY(loggedSaveError(*fixture_.env));
        QVERIFY(browser.showingCreatePreset());
        QCOMPARE(browser.form()->title(), QString("Broken"));
        QCOMPARE(browser.form()->prompt(), QString("Broken prompt"));
        QCOMPARE(created->name(), QString("With cover"));
        QCOMPARE(created->prompt(), storedPrompt);
        QCOMPARE(titles(*browser.userPresets()), QStringList({"With cover"}));
        browser.cancelEditing();
        QVERIFY(browser.form()->title().isEmpty());

        failDeletes(*fixture_.store, "PromptPreset");
        browser.deletePreset(created);
        QCOMPARE(titles(*browser.userPresets()), QStringList({"With cover"}));
    }

    void hoverPlaysAfterRestingAndStopsAfterLeaving() {
        QStringList calls;
        auto controller = std::make_unique<HoverPreviewController>(
            [&](int row) { calls << QString("play %1").arg(row); }, [&] { calls << "stop"; });
        // Passing over cards quickly starts nothing.
        controller->setHoveredRow(0);
        fixture_.clock->advance(0.1);
        controller->setHoveredRow(1);
        fixture_.clock->advance(0.1);
        controller->setHoveredRow(2);
        fixture_.clock->advance(0.199);
        QCOMPARE(calls, QStringList({"stop", "stop"}));
        calls.clear();
        fixture_.clock->advance(0.002);
        QCOMPARE(calls, QStringList({"play 2"}));

        // Leaving and coming back within 150 ms keeps it running.
        controller->setHoveredRow(-1);
        fixture_.clock->advance(0.1);
        controller->setHoveredRow(2);
        fixture_.clock->advance(0.5);
        QCOMPARE(calls, QStringList({"play 2", "play 2"}));

        // Moving to the next card: the first stops at 150 ms, the next plays at 200 ms.
        calls.clear();
        controller->setHoveredRow(3);
        fixture_.clock->advance(0.151);
        QCOMPARE(calls, QStringList({"stop"}));
        fixture_.clock->advance(0.05);
        QCOMPARE(calls, QStringList({"stop", "play 3"}));

        // A controller that goes away with a reaction pending does nothing afterwards.
        calls.clear();
        controller->setHoveredRow(4);
        controller.reset();
        fixture_.clock->advance(1);
        QCOMPARE(calls, QStringList());
    }

    void cardsScrollingUnderTheRestingPointerWaitForTheListToStop() {
        QStringList calls;
        HoverPreviewController controller([&](int row) { calls << QString("play %1").arg(row); },
                                          [&] { calls << "stop"; });
        controller.setHoveredRow(2);
        fixture_.clock->advance(0.15);
        // The list scrolls a little every 100 ms with the same card under the pointer.
        controller.cardsMovedUnderPointer(2);
        fixture_.clock->advance(0.1);
        controller.cardsMovedUnderPointer(2);
        fixture_.clock->advance(0.199);
        QCOMPARE(calls, QStringList());
        fixture_.clock->advance(0.002);
        QCOMPARE(calls, QStringList({"play 2"}));

        // Scrolled on until the next card is under the pointer: the first stops, the next waits for a rest.
        calls.clear();
        controller.cardsMovedUnderPointer(3);
        QCOMPARE(controller.hoveredRow(), 3);
        fixture_.clock->advance(0.1);
        controller.cardsMovedUnderPointer(3);
        fixture_.clock->advance(0.15);
        QCOMPARE(calls, QStringList({"stop"}));
        fixture_.clock->advance(0.06);
        QCOMPARE(calls, QStringList({"stop", "play 3"}));

        // Scrolled off every card: only the stop.
        calls.clear();
        controller.cardsMovedUnderPointer(-1);
        QCOMPARE(controller.hoveredRow(), -1);
        fixture_.clock->advance(1);
        QCOMPARE(calls, QStringList({"stop"}));
    }
};

QTEST_MAIN(PresetBrowsersTest)
#include "tst_preset_browsers.moc"
