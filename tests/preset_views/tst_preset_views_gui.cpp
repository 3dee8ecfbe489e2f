#include "BuiltInImagePreset.h"
#include "CameraControlView.h"
#include "CameraMovementPreset.h"
#include "CinematicPlayer.h"
#include "CinematicPreset.h"
#include "CinematicPresetCard.h"
#include "ClipPresetListView.h"
#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "HoverPreviewController.h"
#include "ImagePresetsBrowser.h"
#include "MovementPlayer.h"
#include "PresetFormView.h"
#include "PresetPictureCache.h"
#include "PresetTestSupport.h"
#include "PromptPresetsBrowser.h"
#include "PromptPresetsView.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"
#include "UserImagePresetsView.h"
#include "UserPresetCard.h"
#include "UserPresetListView.h"
#include "VideoItem.h"
#include "VideoPlayerView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QVideoSink>

using namespace PresetTestSupport;

namespace {

// A media player that only records what it is asked.
class FakeBackend final : public PreviewBackend {
public:
    QStringList loaded;
    ItemId replaceCurrentItem(const QUrl& url) override {
        loaded << url.fileName();
        return current_ = ++last_;
    }
    void clearCurrentItem() override { current_ = 0; }
    ItemId currentItem() const override { return current_; }
    ItemStatus status(ItemId item) const override {
        return item == ready_ ? ItemStatus::readyToPlay : ItemStatus::unknown;
    }
    std::optional<double> duration(ItemId item) const override {
        return item == ready_ ? std::optional<double>(4.0) : std::nullopt;
    }
    void play() override {}
    void pause() override {}
    void seekToStart() override {}
    void setVolume(double) override {}
    double volume() const override { return 0; }
    void setVideoOutput(QObject* output) override { output_ = output; }
    QObject* output() const { return output_; }
    void becomeReady() {
        ready_ = current_;
        emit itemStatusChanged(current_);
    }

private:
    ItemId current_ = 0;
    ItemId last_ = 0;
    ItemId ready_ = 0;
    QObject* output_ = nullptr;
};

QImage picture(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QPoint cardPoint(QListView* list, int row, int dy = 20) {
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    return QPoint(rect.center().x(), rect.top() + dy + (row == 0 ? 16 : 0));
}

void clickRow(QListView* list, int row, int dy = 20) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, cardPoint(list, row, dy));
    QApplication::processEvents();
}

void clickMenuButton(UserPresetListView* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    const auto g = list->cardDelegate()->geometry(list->visualRect(index), index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, g.menuButton.center());
    QApplication::processEvents();
}

QWidget* openMenu(UserPresetListView* list) {
    return list->openMenu();
}

} // namespace

class PresetViewsGuiTest : public QObject {
    Q_OBJECT
private:
    StoreFixture fixture_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    QTemporaryDir dir_;

    std::shared_ptr<ImagePreset> addImagePreset(const QString& title, const QImage& image = {}) {
        auto preset = ImagePreset::make(title, title + " prompt", image);
        fixture_.store->insert(preset);
        fixture_.store->save();
        fixture_.clock->advance(1);
        return preset;
    }
    std::shared_ptr<PromptPreset> addPromptPreset(const QString& name, const QString& prompt,
                                                  const QImage& image = {}) {
        auto preset = PromptPreset::make(name, prompt, "User", false);
        if (!image.isNull())
            preset->setUserImage(image);
        fixture_.store->insert(preset);
        fixture_.store->save();
        fixture_.clock->advance(1);
        return preset;
    }
    bool loggedSaveError() const {
        return !fixture_.env->logLines().filter(QStringLiteral("❌ Error saving preset: ")).isEmpty();
    }

private slots:
    void init() {
        fixture_.setUp();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        Dialogs::setCurrent(dialogs_.get());
    }
    void cleanup() {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() != "otherWindow")
                delete window;
        QThreadPool::globalInstance()->waitForDone();
        QApplication::processEvents();
        Dialogs::setCurrent(nullptr);
        dialogs_.reset();
        fixture_.tearDown();
    }

    void imagePanelHandsBuiltInAndOwnPresetsOver() {
        addImagePreset("Own", picture(60, 40, Qt::blue));
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        UserImagePresetsView view(manager, "a cat");
        view.resize(360, 700);
        QVERIFY(gui::showActive(&view));
        QCOMPARE(gui::unnamedControls(&view).join(", "), QString());
        QSignalSpy selected(&view, &UserImagePresetsView::presetSelected);
        QSignalSpy dismissed(&view, &UserImagePresetsView::dismissRequested);

        GUI_REQUIRE(anglesTab, GlassButton, &view, "anglesTab");
        QVERIFY(anglesTab->isSelected());
        GUI_REQUIRE(angles, QListView, &view, "builtInPresetsList");
        QVERIFY(angles->isVisible());
        clickRow(angles, 1);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected[0][0].toString(), BuiltInImagePreset::builtInPresets()[1]->prompt());
        QVERIFY(selected[0][1].value<QImage>().isNull());
        QVERIFY(selected[0][2].toBool());

        GUI_REQUIRE(myPresetsTab, GlassButton, &view, "myPresetsTab");
        QVERIFY(gui::click(myPresetsTab));
        QVERIFY(myPresetsTab->isSelected());
        QVERIFY(!anglesTab->isSelected());
        GUI_REQUIRE(tile, AddPresetTile, &view, "addNewPresetButton");
        QCOMPARE(tile->presetsCount(), 1);
        GUI_REQUIRE(list, UserPresetListView, &view, "userPresetsList");
        QTRY_VERIFY(list->isVisible());
        // The picture is decoded once its card is painted; the card's picture hands the preset over.
        QTRY_COMPARE(list->pictures()->decodesStarted(), 1);
        clickRow(list, 0, 60);
        QCOMPARE(selected.size(), 2);
        QCOMPARE(selected[1][0].toString(), QString("Own prompt"));
        QCOMPARE(selected[1][1].value<QImage>().size(), QSize(60, 40));
        QVERIFY(!selected[1][2].toBool());

        GUI_CLICK(&view, "imagePresetsClose");
        QCOMPARE(dismissed.size(), 1);
    }

    void imagePanelCreatesEditsAndDeletesThroughTheForm() {
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        UserImagePresetsView view(manager, "studio words");
        view.resize(360, 700);
        QVERIFY(gui::showActive(&view));
        view.browser()->selectTab(ImagePresetsBrowser::PresetsTab::myPresets);
        GUI_REQUIRE(emptyState, QWidget, &view, "imagePresetsEmptyState");
        QVERIFY(emptyState->isVisible());
        GUI_CLICK(&view, "createPresetButton");
        QTRY_VERIFY(view.form() && view.form()->isVisible());
        CreateImagePresetView* form = view.form();
        QCOMPARE(gui::unnamedControls(form).join(", "), QString());
        GUI_REQUIRE(heading, QLabel, form, "presetFormHeading");
        QCOMPARE(heading->text(), QString("Create New Preset"));
        GUI_REQUIRE(title, QLineEdit, form, "presetTitleField");
        GUI_REQUIRE(prompt, QPlainTextEdit, form, "presetPromptField");
        GUI_REQUIRE(save, QPushButton, form, "presetSaveButton");
        QCOMPARE(save->text(), QString("Create"));
        QCOMPARE(prompt->toPlainText(), QString("studio words"));
        QTRY_VERIFY(title->hasFocus());
        QVERIFY(!save->isEnabled());

        // A picture dropped on the zone is read off the GUI thread and reduced to 800.
        const QString file = dir_.filePath("cover.png");
        QVERIFY(picture(1600, 800, Qt::green).save(file));
        GUI_REQUIRE(zone, PresetPictureZone, form, "presetPictureZone");
        const auto dropped = gui::drop(zone, *gui::mimeWithFiles({file}));
        QVERIFY(dropped.dropAccepted);
        QCOMPARE(zone->caption(), QString("Loading..."));
        QTRY_COMPARE(zone->caption(), QString("Reference image"));
        QCOMPARE(view.browser()->form()->image().size(), QSize(800, 400));
        GUI_REQUIRE(removePicture, QPushButton, form, "removePictureButton");
        QVERIFY(removePicture->isVisible());

        gui::type(title, "Green");
        QVERIFY(save->isEnabled());
        gui::keyToFocus(Qt::Key_Return, Qt::ControlModifier);
        QTRY_VERIFY(!view.form());
        QCOMPARE(storedRows(*fixture_.store, "ImagePreset"), 1);
        GUI_REQUIRE(list, UserPresetListView, &view, "userPresetsList");
        QTRY_VERIFY(list->isVisible());
        GUI_REQUIRE(tile, AddPresetTile, &view, "addNewPresetButton");
        QCOMPARE(tile->presetsCount(), 1);
        QCOMPARE(manager.presets()[0]->image().size(), QSize(800, 400));

        // Edit through the card's menu: "Update", no focus in the title, Escape cancels.
        clickMenuButton(list, 0);
        QTRY_VERIFY(openMenu(list));
        GUI_CLICK(openMenu(list), "editPresetButton");
        QTRY_VERIFY(view.form() && view.form()->isVisible());
        QVERIFY(!openMenu(list));
        form = view.form();
        GUI_REQUIRE(editHeading, QLabel, form, "presetFormHeading");
        GUI_REQUIRE(update, QPushButton, form, "presetSaveButton");
        GUI_REQUIRE(editTitle, QLineEdit, form, "presetTitleField");
        QCOMPARE(editHeading->text(), QString("Edit Preset"));
        QCOMPARE(update->text(), QString("Update"));
        QCOMPARE(editTitle->text(), QString("Green"));
        QVERIFY(!editTitle->hasFocus());
        gui::keyToFocus(Qt::Key_Escape);
        QTRY_VERIFY(!view.form());
        QCOMPARE(manager.presets()[0]->title(), QString("Green"));

        // A second click on "ellipsis" closes the open menu and leaves it closed.
        clickMenuButton(list, 0);
        QTRY_VERIFY(openMenu(list));
        clickMenuButton(list, 0);
        QTRY_VERIFY(!openMenu(list));
        QTest::qWait(50);
        QVERIFY(!openMenu(list));

        // Delete through the menu, without a confirmation; the empty state comes back.
        QTest::qWait(QApplication::doubleClickInterval() + 10);
        clickMenuButton(list, 0);
        QTRY_VERIFY(openMenu(list));
        GUI_CLICK(openMenu(list), "deletePresetButton");
        QTRY_COMPARE(storedRows(*fixture_.store, "ImagePreset"), 0);
        GUI_REQUIRE(emptyAgain, QWidget, &view, "imagePresetsEmptyState");
        QTRY_VERIFY(emptyAgain->isVisible());
        GUI_REQUIRE(tileAgain, AddPresetTile, &view, "addNewPresetButton");
        QCOMPARE(tileAgain->presetsCount(), 0);
    }

    void formEnableRuleShortcutsAndFailedDrops() {
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        UserImagePresetsView view(manager, "");
        QVERIFY(gui::showActive(&view));
        view.browser()->startNewPreset();
        QTRY_VERIFY(view.form() && view.form()->isVisible());
        PresetFormView* form = view.form();
        GUI_REQUIRE(title, QLineEdit, form, "presetTitleField");
        GUI_REQUIRE(prompt, QPlainTextEdit, form, "presetPromptField");
        GUI_REQUIRE(save, QPushButton, form, "presetSaveButton");
        gui::type(title, "   ");
        gui::type(prompt, "words");
        QVERIFY(!save->isEnabled());
        title->setFocus();
        gui::keyToFocus(Qt::Key_Return, Qt::ControlModifier);
        QApplication::processEvents();
        QCOMPARE(storedRows(*fixture_.store, "ImagePreset"), 0);
        QVERIFY(view.form());
        gui::type(title, "x");
        QVERIFY(save->isEnabled());

        // Text is not a picture: the zone refuses it. A drop with nothing loadable ends "Loading..." at once.
        GUI_REQUIRE(zone, PresetPictureZone, form, "presetPictureZone");
        QMimeData text;
        text.setText("just text");
        QVERIFY(!gui::dragOverAndLeave(zone, text));
        QVERIFY(!view.browser()->form()->isDragOver());
        view.browser()->form()->handleDrop(&text);
        QCOMPARE(zone->caption(), QString("Add preset cover"));
        // A file that only looks like a picture: loading ends, no picture.
        const QString fake = dir_.filePath("fake.png");
        QFile file(fake);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG broken");
        file.close();
        gui::drop(zone, *gui::mimeWithFiles({fake}));
        QTRY_COMPARE(zone->caption(), QString("Add preset cover"));
        QVERIFY(view.browser()->form()->image().isNull());

        // Clicking the zone opens the open panel; cancelling leaves everything.
        dialogs_->openAnswer = {};
        QVERIFY(gui::click(zone));
        QTest::qWait(10);
        QCOMPARE(dialogs_->openRequests.size(), 1);
        QCOMPARE(dialogs_->openRequests[0].message, QString("Choose a reference image for your preset"));
        QVERIFY(view.browser()->form()->image().isNull());

        GUI_CLICK(form, "presetFormClose");
        QTRY_VERIFY(!view.form());
    }

    void panelClosedDuringAPictureLoadIsNotTouched() {
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        const QString file = dir_.filePath("big.png");
        QVERIFY(picture(3000, 2000, Qt::red).save(file));
        auto view = std::make_unique<UserImagePresetsView>(manager, "");
        QVERIFY(gui::showActive(view.get()));
        view->browser()->startNewPreset();
        QTRY_VERIFY(view->form());
        GUI_REQUIRE(zone, QWidget, view->form(), "presetPictureZone");
        gui::drop(zone, *gui::mimeWithFiles({file}));
        QVERIFY(view->browser()->form()->isLoadingImage());
        view.reset();
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(20);
    }

    void promptPanelCameraMovementsInsertAndPreviewOnHover() {
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        auto backend = std::make_unique<FakeBackend>();
        FakeBackend* fake = backend.get();
        MovementPlayer player(std::move(backend));
        PromptPresetsView view(manager, "", false, player);
        view.resize(420, 800);
        QVERIFY(gui::showActive(&view));
        QCOMPARE(gui::unnamedControls(&view).join(", "), QString());
        QStringList order;
        connect(&view, &PromptPresetsView::presetSelected, this, [&](const QString& text) { order << text; });
        connect(&view, &PromptPresetsView::dismissRequested, this, [&] { order << "dismiss"; });
        ClipPresetListView* list = view.movementsList();
        QVERIFY(list->isVisible());

        // Resting on the first card plays its clip after 200 ms, not before.
        const QPoint onFirst = list->cardRect(0).center();
        QTest::mouseMove(list->viewport(), onFirst);
        QCOMPARE(list->hover()->hoveredRow(), 0);
        fixture_.clock->advance(0.19);
        QVERIFY(fake->loaded.isEmpty());
        fixture_.clock->advance(0.02);
        QCOMPARE(fake->loaded.size(), 1);
        QCOMPARE(player.currentMovement(), CameraMovementPreset::allPresets()[0]);
        // The video layer stays hidden until the clip can play, then sits over the card's picture.
        QVERIFY(!list->previewLayer() || !list->previewLayer()->isVisible());
        fake->becomeReady();
        QTRY_VERIFY(list->previewLayer() && list->previewLayer()->isVisible());
        QCOMPARE(list->previewLayer()->geometry(),
                 list->cardDelegate()->pictureRect(list->visualRect(list->model()->index(0, 0))));
        QCOMPARE(fake->output(), list->previewLayer()->videoSink());

        // Leaving stops the player after 150 ms.
        QTest::mouseMove(list->viewport(), QPoint(4, onFirst.y()));
        QCOMPARE(list->hover()->hoveredRow(), -1);
        fixture_.clock->advance(0.14);
        QVERIFY(player.currentMovement());
        fixture_.clock->advance(0.02);
        QVERIFY(!player.currentMovement());
        QTRY_VERIFY(!list->previewLayer()->isVisible());

        // While the shared player shows a gallery video, no card carries the video layer.
        QTest::mouseMove(list->viewport(), onFirst);
        fixture_.clock->advance(0.21);
        fake->becomeReady();
        QTRY_VERIFY(list->previewLayer()->isVisible());
        VideoItem video(QUrl::fromLocalFile(dir_.filePath("clip.mp4")));
        player.playVideo(&video);
        QTRY_VERIFY(!list->previewLayer()->isVisible());
        QTest::mouseMove(list->viewport(), QPoint(4, onFirst.y()));
        fixture_.clock->advance(0.2);

        // A click hands over the exact insert text, then closes.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->cardRect(1).center());
        QCOMPARE(order, QStringList({CameraMovementPreset::allPresets()[1]->insertText(), "dismiss"}));
    }

    void promptPanelUserPresetsSearchDeleteAndFailures() {
        addPromptPreset("Sunset", "golden hour", picture(40, 30, Qt::yellow));
        addPromptPreset("Forest", "misty pines");
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        auto backend = std::make_unique<FakeBackend>();
        MovementPlayer player(std::move(backend));
        PromptPresetsView view(manager, "owner", false, player);
        view.resize(420, 800);
        QVERIFY(gui::showActive(&view));
        QSignalSpy selected(&view, &PromptPresetsView::presetSelected);
        QSignalSpy dismissed(&view, &PromptPresetsView::dismissRequested);
        GUI_CLICK(&view, "myPresetsTab");
        UserPresetListView* list = view.userList();
        QTRY_VERIFY(list->isVisible());
        QCOMPARE(list->model()->rowCount(), 2);
        GUI_REQUIRE(tile, AddPresetTile, &view, "addNewPresetButton");
        QCOMPARE(tile->presetsCount(), 2);

        // A click anywhere on the card (but the menu button) chooses it, without closing the panel.
        clickRow(list, 0, 30);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected[0][0].toString(), QString("misty pines"));
        QCOMPARE(dismissed.size(), 0);

        GUI_REQUIRE(search, QLineEdit, &view, "presetSearchField");
        gui::type(search, "GOLD");
        QCOMPARE(list->model()->rowCount(), 1);
        QCOMPARE(list->model()->index(0, 0).data().toString(), QString("Sunset"));
        QCOMPARE(tile->presetsCount(), 1);
        search->clear();
        QCOMPARE(list->model()->rowCount(), 2);

        // Delete asks first; "Cancel" keeps the preset, "Delete" removes it.
        dialogs_->alertAnswer = 1;
        clickMenuButton(list, 0);
        QTRY_VERIFY(openMenu(list));
        GUI_CLICK(openMenu(list), "deletePresetButton");
        QTRY_COMPARE(dialogs_->alerts.size(), 1);
        QCOMPARE(dialogs_->alerts[0].message, QString("Delete Preset"));
        QCOMPARE(dialogs_->alerts[0].informativeText,
                 QString("Are you sure you want to delete 'Forest'? This action cannot be undone."));
        QCOMPARE(storedRows(*fixture_.store, "PromptPreset"), 2);
        dialogs_->alertAnswer = 0;
        clickMenuButton(list, 0);
        QTRY_VERIFY(openMenu(list));
        GUI_CLICK(openMenu(list), "deletePresetButton");
        QTRY_COMPARE(storedRows(*fixture_.store, "PromptPreset"), 1);
        QCOMPARE(list->model()->rowCount(), 1);

        // A save that fails keeps the form open with what was typed.
        failWrites(*fixture_.store, "PromptPreset");
        QVERIFY(gui::click(tile));
        QTRY_VERIFY(view.form() && view.form()->isVisible());
        GUI_REQUIRE(prompt, QPlainTextEdit, view.form(), "presetPromptField");
        GUI_REQUIRE(title, QLineEdit, view.form(), "presetTitleField");
        QCOMPARE(prompt->toPlainText(), QString("owner"));
        gui::type(title, "Doomed");
        GUI_CLICK(view.form(), "presetSaveButton");
        QVERIFY(loggedSaveError());
        QVERIFY(view.form() && view.form()->isVisible());
        GUI_REQUIRE(keptTitle, QLineEdit, view.form(), "presetTitleField");
        QCOMPARE(keptTitle->text(), QString("Doomed"));
        QCOMPARE(list->model()->rowCount(), 1);
    }

    void promptPanelOpensOnTheCreateFormWhenAsked() {
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        MovementPlayer player(std::make_unique<FakeBackend>());
        PromptPresetsView view(manager, "from the studio", true, player);
        QVERIFY(gui::showActive(&view));
        QTRY_VERIFY(view.form() && view.form()->isVisible());
        GUI_REQUIRE(myPresetsTab, GlassButton, &view, "myPresetsTab");
        QVERIFY(myPresetsTab->isSelected());
        GUI_REQUIRE(prompt, QPlainTextEdit, view.form(), "presetPromptField");
        QCOMPARE(prompt->toPlainText(), QString("from the studio"));
        GUI_REQUIRE(emptyState, QWidget, &view, "promptPresetsEmptyState");
        QVERIFY(emptyState->isVisible());
    }

    void cinematicSheetGridInsertsAndPreviews() {
        auto backend = std::make_unique<FakeBackend>();
        FakeBackend* fake = backend.get();
        CinematicPlayer player(std::move(backend));
        auto sheet = std::make_unique<CameraControlView>(3, player);
        QVERIFY(gui::showActive(sheet.get()));
        QCOMPARE(sheet->size(), QSize(750, 600));
        QCOMPARE(gui::unnamedControls(sheet.get()).join(", "), QString());
        ClipPresetListView* grid = sheet->grid();
        const auto& presets = CinematicPreset::allPresets();
        QCOMPARE(grid->model()->rowCount(), presets.size());
        // Three columns: eleven cards in four rows, the last holding two.
        QSet<int> tops;
        QMap<int, int> perRow;
        for (int row = 0; row < presets.size(); ++row) {
            const int top = grid->cardRect(row).top();
            tops.insert(top);
            ++perRow[top];
        }
        QCOMPARE(tops.size(), 4);
        QCOMPARE(perRow.last(), 2);
        QCOMPARE(grid->cardRect(0).top(), grid->cardRect(2).top());
        QVERIFY(grid->cardRect(1).left() > grid->cardRect(0).right());

        // Passing over cards quickly starts nothing; resting on one plays it.
        QTest::mouseMove(grid->viewport(), grid->cardRect(0).center());
        fixture_.clock->advance(0.1);
        QTest::mouseMove(grid->viewport(), grid->cardRect(1).center());
        fixture_.clock->advance(0.1);
        QTest::mouseMove(grid->viewport(), grid->cardRect(2).center());
        fixture_.clock->advance(0.1);
        QVERIFY(fake->loaded.isEmpty());
        fixture_.clock->advance(0.11);
        QCOMPARE(player.currentPreset(), presets[2]);

        QSignalSpy dismissed(sheet.get(), &CameraControlView::dismissRequested);
        QStringList texts;
        connect(sheet.get(), &CameraControlView::presetSelected, this, [&](const QString& t) { texts << t; });
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->cardRect(0).center());
        QCOMPARE(texts, QStringList({presets[0]->insertText()}));
        QCOMPARE(presets[0]->insertText(), QString("[Truck left, Push in, Pan right]"));
        QCOMPARE(dismissed.size(), 1);
        GUI_CLICK(sheet.get(), "cinematicPresetsClose");
        QCOMPARE(dismissed.size(), 2);
        QCOMPARE(texts.size(), 1);

        // Closing the sheet does not stop the player, and no hover reaction of the sheet runs afterwards.
        QTest::mouseMove(grid->viewport(), QPoint(1, 1));
        sheet.reset();
        fixture_.clock->advance(1);
        QCOMPARE(player.currentPreset(), presets[2]);
    }

    void onlyVisibleCardsDecodeTheirPictures() {
        for (int i = 0; i < 60; ++i)
            addPromptPreset(QString("Preset %1").arg(i), "p", picture(400, 300, QColor::fromHsv(i * 5, 200, 200)));
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        MovementPlayer player(std::make_unique<FakeBackend>());
        PromptPresetsView view(manager, "", false, player);
        view.resize(420, 700);
        view.browser()->selectTab(PromptPresetsBrowser::PresetsTab::myPresets);
        QVERIFY(gui::showActive(&view));
        UserPresetListView* list = view.userList();
        QTRY_VERIFY(list->pictures()->decodesStarted() > 0);
        QApplication::processEvents();
        int visible = 0;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            visible += list->visualRect(list->model()->index(row, 0)).intersects(list->viewport()->rect()) ? 1 : 0;
        QVERIFY(visible < 6);
        QCOMPARE(list->pictures()->decodesStarted(), visible);
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
        QTRY_VERIFY(list->pictures()->decodesStarted() > visible);
        QVERIFY(list->pictures()->decodesStarted() < 2 * visible + 2);
    }
};

QTEST_MAIN(PresetViewsGuiTest)
#include "tst_preset_views_gui.moc"
