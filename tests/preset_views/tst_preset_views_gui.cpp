#include "BuiltInImagePreset.h"
#include "CameraControlView.h"
#include "CameraMovementPreset.h"
#include "CinematicPlayer.h"
#include "CinematicPreset.h"
#include "CinematicPresetCard.h"
#include "ClipPresetListView.h"
#include "CraftedPng.h"
#include "Glass.h"
#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "HoverPreviewController.h"
#include "ImagePresetsBrowser.h"
#include "Motion.h"
#include "MovementPlayer.h"
#include "PhonePhoto.h"
#include "PresetFormView.h"
#include "PresetPictureCache.h"
#include "PresetTestSupport.h"
#include "PreviewFrameSink.h"
#include "PromptPresetsBrowser.h"
#include "PromptPresetsView.h"
#include "Spinner.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"
#include "SymbolIcon.h"
#include "Theme.h"
#include "UserImagePresetsView.h"
#include "UserPresetCard.h"
#include "UserPresetListView.h"
#include "VideoItem.h"
#include "VideoPlayerView.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFrame>
#include <QGraphicsEffect>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QThreadPool>
#include <QVariantAnimation>

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
    void setVideoOutput(PreviewFrameSink* output) override { output_ = output; }
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

// Does every accessible action of the list's cell at `row`, as an assistive tool does; false without any.
bool doCellAction(QListView* list, int row) {
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(list);
    QAccessibleInterface* cell = table && table->tableInterface() ? table->tableInterface()->cellAt(row, 0) : nullptr;
    QAccessibleActionInterface* actions = cell ? cell->actionInterface() : nullptr;
    if (!actions || actions->actionNames().isEmpty())
        return false;
    for (const QString& action : actions->actionNames())
        actions->doAction(action);
    QApplication::processEvents();
    return true;
}

QWidget* openMenu(UserPresetListView* list) {
    return list->openMenu();
}

bool reddish(QRgb pixel) {
    return qRed(pixel) > qGreen(pixel) + 10 && qRed(pixel) > qBlue(pixel) + 10;
}

// Points of `image` inside `area` (every `step` pixels) where red shows.
int reddishPoints(const QImage& image, const QRect& area, int step = 7) {
    int found = 0;
    for (int y = area.top(); y <= area.bottom(); y += step)
        for (int x = area.left(); x <= area.right(); x += step)
            found += reddish(image.pixel(x, y)) ? 1 : 0;
    return found;
}

// A window filled red, holding `child` edge to edge: whatever shows through the child shows red.
void putOnRed(QWidget& host, QWidget* child, QSize size) {
    host.setAutoFillBackground(true);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, Qt::red);
    host.setPalette(palette);
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
    host.resize(size);
}

// What still ticks below `root`: running animations and objects holding timers.
QStringList busyObjects(QWidget* root) {
    QList<QObject*> objects = root->findChildren<QObject*>();
    objects << root;
    QStringList busy;
    for (QObject* object : objects) {
        const auto* animation = qobject_cast<QAbstractAnimation*>(object);
        if ((animation && animation->state() != QAbstractAnimation::Stopped) ||
            !QAbstractEventDispatcher::instance()->registeredTimers(object).isEmpty())
            busy << QString::fromLatin1(object->metaObject()->className()) + ":" + object->objectName();
    }
    return busy;
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
        // The list scrolls under the panel's rounded corners, never past them.
        GUI_REQUIRE(glass, GlassPanel, &view, "imagePresetsGlass");
        const QPoint corner = angles->mapFrom(glass, glass->rect().bottomLeft() + QPoint(1, -1));
        QVERIFY(angles->rect().contains(corner));
        QVERIFY(!angles->mask().contains(corner));
        QVERIFY(angles->mask().contains(angles->rect().center()));
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

    // In every list of cards, Return, Space and a card's accessible action choose it as a click does; the menu
    // key and Shift+F10 open a user card's menu, whose entries take Space.
    void cardsAreChosenFromTheKeyboardAndTheAccessibleAction() {
        addImagePreset("Own", picture(60, 40, Qt::blue));
        addPromptPreset("Forest", "misty pines");
        SwiftDataImagePresetsManager images(fixture_.store.get());
        images.loadPresets();
        UserImagePresetsView imagePanel(images, "a cat");
        imagePanel.resize(360, 700);
        QVERIFY(gui::showActive(&imagePanel));
        QSignalSpy imageChosen(&imagePanel, &UserImagePresetsView::presetSelected);
        GUI_CLICK(&imagePanel, "myPresetsTab");
        GUI_REQUIRE(ownList, UserPresetListView, &imagePanel, "userPresetsList");
        QTRY_VERIFY(ownList->isVisible());

        SwiftDataPromptPresetsManager prompts(fixture_.store.get());
        prompts.loadPresets();
        MovementPlayer movements(std::make_unique<FakeBackend>());
        PromptPresetsView promptPanel(prompts, "owner", false, movements);
        promptPanel.resize(420, 800);
        QVERIFY(gui::showActive(&promptPanel));
        QSignalSpy promptChosen(&promptPanel, &PromptPresetsView::presetSelected);

        CinematicPlayer cinematic(std::make_unique<FakeBackend>());
        CameraControlView sheet(3, cinematic);
        QVERIFY(gui::showActive(&sheet));
        QSignalSpy cinematicChosen(&sheet, &CameraControlView::presetSelected);

        struct Case {
            QWidget* window;
            QListView* list;
            QSignalSpy* chosen;
            int row;
            int dy;
        };
        const QList<Case> cases{{&imagePanel, ownList, &imageChosen, 0, 60},
                                {&promptPanel, promptPanel.movementsList(), &promptChosen, 1, 30},
                                {&sheet, sheet.grid(), &cinematicChosen, 4, 30}};
        for (const Case& each : cases) {
            const QString name = each.list->objectName();
            QVERIFY(gui::showActive(each.window));
            clickRow(each.list, each.row, each.dy);
            QCOMPARE(each.chosen->size(), 1);
            const QList<QVariant> byClick = each.chosen->takeFirst();
            each.list->setFocus(Qt::TabFocusReason);
            QTest::keyClick(each.list, Qt::Key_Home);
            // The arrows move between cards: right along a grid's row, down a column.
            for (int step = 0; step < each.row; ++step)
                QTest::keyClick(each.list, each.list == sheet.grid() ? Qt::Key_Right : Qt::Key_Down);
            QCOMPARE(each.list->currentIndex().row(), each.row);
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
                QTest::keyClick(each.list, key);
                QCOMPARE(each.chosen->size(), 1);
                QCOMPARE(each.chosen->takeFirst(), byClick);
            }
            for (int again = 0; again < 2; ++again) {
                QVERIFY2(doCellAction(each.list, each.row), qPrintable(name));
                QCOMPARE(each.chosen->size(), 1);
                QCOMPARE(each.chosen->takeFirst(), byClick);
            }
        }

        // The menu key and Shift+F10 open the focused card's menu; Space on "Edit" opens the form on it.
        QVERIFY(gui::showActive(&imagePanel));
        ownList->setFocus(Qt::TabFocusReason);
        QTest::keyClick(ownList, Qt::Key_Menu);
        QVERIFY(openMenu(ownList));
        openMenu(ownList)->close();
        QVERIFY(!openMenu(ownList));
        QTest::keyClick(ownList, Qt::Key_F10, Qt::ShiftModifier);
        QWidget* menu = openMenu(ownList);
        QVERIFY(menu);
        // The key's own context menu request that follows keeps it open.
        QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(1, 1), ownList->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(ownList, &request);
        QCOMPARE(openMenu(ownList), menu);
        GUI_REQUIRE(edit, QPushButton, menu, "editPresetButton");
        QTest::keyClick(edit, Qt::Key_Space);
        QTRY_VERIFY(imagePanel.form() && imagePanel.form()->isVisible());
        QCOMPARE(imagePanel.browser()->editingPreset()->title(), QString("Own"));
        // Escape closes the form, and the focus is back on the card the menu came from.
        QVERIFY(QTest::qWaitForWindowActive(imagePanel.form()));
        gui::keyToFocus(Qt::Key_Escape);
        QTRY_VERIFY(!imagePanel.form());
        QTRY_COMPARE(QApplication::focusWidget(), ownList);
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
        // A screen reader finds the menu by a name of its own.
        QCOMPARE(QAccessible::queryAccessibleInterface(openMenu(list))->text(QAccessible::Name),
                 QString("Preset actions"));
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

        // Clicking the zone opens the open panel; cancelling leaves everything. Return and Space on it open it too.
        dialogs_->openAnswer = {};
        QVERIFY(gui::click(zone));
        QTest::qWait(10);
        QCOMPARE(dialogs_->openRequests.size(), 1);
        QCOMPARE(dialogs_->openRequests[0].message, QString("Choose a reference image for your preset"));
        QVERIFY(view.browser()->form()->image().isNull());
        zone->setFocus(Qt::TabFocusReason);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space})
            QTest::keyClick(zone, key);
        QTRY_COMPARE(dialogs_->openRequests.size(), 3);

        // Tab goes as the form is read: the header's close button, the fields from the top, then the button.
        QStringList stops;
        for (QWidget* at = form->findChild<QWidget*>("presetFormClose"); stops.size() < 5; at = at->nextInFocusChain())
            if ((at->focusPolicy() & Qt::TabFocus) && at->isVisible())
                stops << at->objectName();
        QCOMPARE(stops, QStringList({"presetFormClose", "presetTitleField", "presetPictureZone", "presetPromptField",
                                     "presetSaveButton"}));

        GUI_CLICK(form, "presetFormClose");
        QTRY_VERIFY(!view.form());
    }

    // A phone photo (48 megapixels, over Qt's allocation limit at full size) becomes the cover, reduced to 800
    // while it is decoded and turned upright. A file that is no picture is not taken, and the form says why.
    void aPhonePhotoIsTakenAndAnUnreadablePictureIsSaid() {
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        UserImagePresetsView view(manager, "words");
        QVERIFY(gui::showActive(&view));
        view.browser()->startNewPreset();
        QTRY_VERIFY(view.form() && view.form()->isVisible());
        PresetFormView* form = view.form();
        GUI_REQUIRE(zone, PresetPictureZone, form, "presetPictureZone");

        const QString photo = dir_.filePath("IMG_0001.JPG");
        QVERIFY(PhonePhoto::write(photo, 6));
        QVERIFY(gui::drop(zone, *gui::mimeWithFiles({photo})).dropAccepted);
        QTRY_COMPARE(zone->caption(), QString("Reference image"));
        const QImage cover = view.browser()->form()->image();
        QCOMPARE(cover.size(), QSize(600, 800));
        QVERIFY(cover.pixelColor(590, 400).red() > 200); // the photo's top, on the right once upright
        QVERIFY(cover.pixelColor(10, 400).blue() > 200);
        GUI_REQUIRE(message, QLabel, form, "presetPictureMessage");
        QVERIFY(!message->isVisible());

        // A scan that declares ten billion pixels.
        const QString scan = dir_.filePath("scan.png");
        QFile file(scan);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(CraftedPng::make(100000, 100000, false));
        file.close();
        QVERIFY(gui::drop(zone, *gui::mimeWithFiles({scan})).dropAccepted);
        QTRY_VERIFY(message->isVisible());
        QCOMPARE(message->text(), QString("This picture could not be read. The image is too large to read."));
        QCOMPARE(message->accessibleName(), message->text());
        QCOMPARE(view.browser()->form()->image().size(), QSize(600, 800));
        GUI_CLICK(form, "removePictureButton");
        QVERIFY(!message->isVisible());
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
        QCOMPARE(list->previewLayer()->geometry(), list->pictureRect(0));
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

    void movementCardsScrollingUnderAStillPointerWaitForItToRest() {
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        auto backend = std::make_unique<FakeBackend>();
        FakeBackend* fake = backend.get();
        MovementPlayer player(std::move(backend));
        PromptPresetsView view(manager, "", false, player);
        view.resize(420, 800);
        QVERIFY(gui::showActive(&view));
        ClipPresetListView* list = view.movementsList();
        QScrollBar* bar = list->verticalScrollBar();
        const int pitch = list->cardRect(1).top() - list->cardRect(0).top();
        QVERIFY(pitch > 0 && bar->maximum() > pitch + 12);

        const QPoint onFirst = list->cardRect(0).center();
        QTest::mouseMove(list->viewport(), onFirst);
        QCOMPARE(list->hover()->hoveredRow(), 0);
        fixture_.clock->advance(0.15);
        // A few pixels every 100 ms, the first card still under the pointer: it plays once the list stops.
        for (int notch = 0; notch < 3; ++notch) {
            bar->setValue(bar->value() + 4);
            QCOMPARE(list->hover()->hoveredRow(), 0);
            fixture_.clock->advance(0.1);
        }
        QVERIFY(fake->loaded.isEmpty());
        fixture_.clock->advance(0.11);
        QCOMPARE(player.currentMovement(), CameraMovementPreset::allPresets()[0]);

        // Scrolled until the second card is under the pointer: the first stops, the second waits for a rest.
        bar->setValue(bar->value() + pitch);
        QCOMPARE(list->hover()->hoveredRow(), 1);
        fixture_.clock->advance(0.16);
        QVERIFY(!player.currentMovement());
        fixture_.clock->advance(0.05);
        QCOMPARE(player.currentMovement(), CameraMovementPreset::allPresets()[1]);
        QCOMPARE(fake->loaded.size(), 2);
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
        // The tile counts the user's presets, whatever the search narrows the list to.
        QCOMPARE(tile->presetsCount(), 2);
        // A search that matches nothing says so; the presets still exist.
        search->clear();
        gui::type(search, "nothing like it");
        GUI_REQUIRE(noMatch, QWidget, &view, "promptPresetsNoMatch");
        QTRY_VERIFY(noMatch->isVisible());
        GUI_REQUIRE(noMatchText, QLabel, &view, "promptPresetsNoMatchText");
        QCOMPARE(noMatchText->text(), QString("No presets match your search"));
        QVERIFY(noMatchText->isVisible());
        GUI_REQUIRE(emptyState, QWidget, &view, "promptPresetsEmptyState");
        QVERIFY(!emptyState->isVisible());
        QCOMPARE(tile->trailingText(), QString("2 presets"));
        search->clear();
        QCOMPARE(list->model()->rowCount(), 2);
        QTRY_VERIFY(list->isVisible());
        QVERIFY(!noMatch->isVisible());

        // Delete asks first; "Cancel" (also Return's and Escape's) keeps the preset, "Delete" removes it.
        dialogs_->alertAnswer = 0;
        clickMenuButton(list, 0);
        QTRY_VERIFY(openMenu(list));
        // A screen reader finds the menu by a name of its own.
        QCOMPARE(QAccessible::queryAccessibleInterface(openMenu(list))->text(QAccessible::Name),
                 QString("Preset actions"));
        GUI_CLICK(openMenu(list), "deletePresetButton");
        QTRY_COMPARE(dialogs_->alerts.size(), 1);
        QCOMPARE(dialogs_->alerts[0].message, QString("Delete Preset"));
        QCOMPARE(dialogs_->alerts[0].informativeText,
                 QString("Are you sure you want to delete 'Forest'? This action cannot be undone."));
        QCOMPARE(dialogs_->alerts[0].buttons, (QStringList{"Cancel", "Delete"}));
        QVERIFY(dialogs_->alerts[0].escapeButton == 0 && dialogs_->alerts[0].destructiveButton == 1);
        QCOMPARE(storedRows(*fixture_.store, "PromptPreset"), 2);
        dialogs_->alertAnswer = 1;
        clickMenuButton(list, 0);
        QTRY_VERIFY(openMenu(list));
        // A screen reader finds the menu by a name of its own.
        QCOMPARE(QAccessible::queryAccessibleInterface(openMenu(list))->text(QAccessible::Name),
                 QString("Preset actions"));
        GUI_CLICK(openMenu(list), "deletePresetButton");
        QTRY_COMPARE(storedRows(*fixture_.store, "PromptPreset"), 1);
        QCOMPARE(list->model()->rowCount(), 1);
        // The last one from the keyboard, Return on "Delete": the focus goes to "Add New Preset", not the empty page.
        list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Menu);
        QTest::keyClick(gui::find(openMenu(list), "deletePresetButton"), Qt::Key_Return);
        QTRY_COMPARE(storedRows(*fixture_.store, "PromptPreset"), 0);
        QTRY_COMPARE(view.focusWidget(), tile);

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
        QCOMPARE(list->model()->rowCount(), 0);
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
        QCOMPARE(sheet->content()->size(), QSize(750, 600));
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

        // The sheet going away after a choice stops the preview it started, and no hover reaction of the sheet
        // runs afterwards.
        QTest::mouseMove(grid->viewport(), QPoint(1, 1));
        sheet.reset();
        QVERIFY(!player.currentPreset());
        QVERIFY(!player.isPlaying());
        QCOMPARE(fake->currentItem(), PreviewBackend::ItemId(0));
        fixture_.clock->advance(1);
        QVERIFY(!player.currentPreset());
        QCOMPARE(fake->loaded.size(), 1);
    }

    // Every word-wrapped text of the panels gets the height its lines need at the width it is given, at the
    // width the studios give the panels and narrower.
    void wrappedTextsGetTheHeightOfTheirLines() {
        SwiftDataPromptPresetsManager promptManager(fixture_.store.get());
        promptManager.loadPresets();
        MovementPlayer player(std::make_unique<FakeBackend>());
        PromptPresetsView prompts(promptManager, "", false, player);
        SwiftDataImagePresetsManager imageManager(fixture_.store.get());
        imageManager.loadPresets();
        UserImagePresetsView images(imageManager, "");
        for (QWidget* panel : {static_cast<QWidget*>(&prompts), static_cast<QWidget*>(&images)}) {
            QVERIFY(gui::showActive(panel));
            GUI_CLICK(panel, "myPresetsTab");
            for (const int width : {350, 240}) {
                panel->resize(width, 700);
                QApplication::processEvents();
                int wrapped = 0;
                for (QLabel* label : panel->findChildren<QLabel*>()) {
                    if (!label->wordWrap() || !label->isVisible())
                        continue;
                    ++wrapped;
                    const QRect lines = label->fontMetrics().boundingRect(
                        QRect(0, 0, label->contentsRect().width(), 10000),
                        int(Qt::TextWordWrap | (label->alignment() & Qt::AlignHorizontal_Mask)), label->text());
                    QVERIFY2(lines.height() <= label->contentsRect().height(),
                             qPrintable(QString("\"%1\" at %2: %3 high, its lines need %4")
                                            .arg(label->text())
                                            .arg(width)
                                            .arg(label->contentsRect().height())
                                            .arg(lines.height())));
                    QVERIFY(label->width() <= std::min(300, width));
                }
                QVERIFY(wrapped > 0);
            }
        }
    }

    // The form opened through the add tile: a window-modal dialog of the panel centred over its window, typed
    // into; the 28 × 28 rounded-square close button; the prompt box padded 8 on its fill, rounded and outlined;
    // the title in the form's font; "Remove" in the secondary colour.
    void theFormIsACentredDialogWithItsBoxes() {
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        MovementPlayer player(std::make_unique<FakeBackend>());
        PromptPresetsView view(manager, "owner words", false, player);
        view.setGeometry(100, 20, 420, 560);
        QVERIFY(gui::showActive(&view));
        GUI_CLICK(&view, "myPresetsTab");
        GUI_CLICK(&view, "addNewPresetButton");
        QTRY_VERIFY(view.form() && view.form()->isVisible());
        PresetFormView* form = view.form();
        QVERIFY(qobject_cast<QDialog*>(form));
        QCOMPARE(form->parentWidget(), &view);
        QCOMPARE(form->windowModality(), Qt::WindowModal);
        QVERIFY(form->pos() != QPoint(0, 0));
        const QPoint offset = form->frameGeometry().center() - view.frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QString("%1, %2").arg(offset.x()).arg(offset.y())));

        GUI_REQUIRE(title, QLineEdit, form, "presetTitleField");
        QTRY_VERIFY(title->hasFocus());
        gui::type(title, "Mine");
        QCOMPARE(view.browser()->form()->title(), QString("Mine"));
        QCOMPARE(form->font().pixelSize(), 13);
        QCOMPARE(title->font().pixelSize(), form->font().pixelSize());

        GUI_REQUIRE(close, GlassButton, form, "presetFormClose");
        QCOMPARE(close->size(), QSize(28, 28));
        // A rounded square: its corner is rounded off, but a circle's would be cut much deeper.
        QVERIFY(close->shape().contains(QPointF(3, 3)));
        QVERIFY(!close->shape().contains(QPointF(0.5, 0.5)));
        QCOMPARE(close->currentFill(), Theme::color(ColorRole::controlBackground, close));

        GUI_REQUIRE(box, QFrame, form, "presetPromptBox");
        GUI_REQUIRE(prompt, QPlainTextEdit, form, "presetPromptField");
        QCOMPARE(prompt->toPlainText(), QString("owner words"));
        QCOMPARE(box->height(), 120);
        QCOMPARE(prompt->geometry(), box->rect().adjusted(8, 8, -8, -8));
        const QImage drawn = form->grab().toImage();
        auto at = [&](int x, int y) { return QColor(drawn.pixel(box->mapTo(form, QPoint(x, y)))); };
        const QColor fill = Theme::instance().color(ColorRole::textBackground);
        QCOMPARE(at(4, box->height() / 2), fill);
        QCOMPARE(at(box->width() / 2, 4), fill);
        QVERIFY(at(box->width() / 2, 0) != fill); // the outline
        // Rounded: just inside the corner the form's background shows, not the box's fill.
        QCOMPARE(at(1, 1), Theme::instance().color(ColorRole::windowBackground));

        GUI_REQUIRE(remove, QPushButton, form, "removePictureButton");
        QCOMPARE(remove->palette().color(QPalette::ButtonText), Theme::instance().color(ColorRole::secondary));
        GUI_CLICK(form, "presetFormClose");
        QTRY_VERIFY(!view.form());
    }

    // The empty image panel: "Create Preset" with its "plus" 8 before the text, opening the form; the picture
    // symbol "photo.badge.plus" is a picture with a plus at its corner.
    void theEmptyImagePanelShowsItsSymbols() {
        SwiftDataImagePresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        UserImagePresetsView view(manager, "words");
        view.resize(350, 700);
        QVERIFY(gui::showActive(&view));
        GUI_CLICK(&view, "myPresetsTab");
        GUI_REQUIRE(button, QPushButton, &view, "createPresetButton");
        QTRY_VERIFY(button->isVisible());
        GUI_REQUIRE(symbol, QLabel, button, "createPresetSymbol");
        GUI_REQUIRE(text, QLabel, button, "createPresetText");
        QVERIFY(!symbol->pixmap().isNull());
        QCOMPARE(text->text(), QString("Create Preset"));
        QCOMPARE(symbol->x(), 16);
        QCOMPARE(text->x() - symbol->geometry().right() - 1, 8);
        QCOMPARE(button->width() - text->geometry().right() - 1, 16);

        const QImage badge = symbolImage(QStringLiteral("photo.badge.plus"), QSize(64, 64), Qt::black);
        // In the drawing's 16-unit grid.
        auto ink = [&badge](double x, double y) { return qAlpha(badge.pixel(int(x * 4), int(y * 4))) > 128; };
        QVERIFY(ink(12, 12) && ink(12, 9.7) && ink(12, 14.3) && ink(9.7, 12) && ink(14.3, 12));
        QVERIFY(!ink(10.3, 10.3) && !ink(13.7, 13.7) && !ink(10.3, 13.7) && !ink(13.7, 10.3));
        QVERIFY(ink(1.6, 6) && ink(6, 2.6));

        QVERIFY(gui::click(button));
        QTRY_VERIFY(view.form() && view.form()->isVisible());
    }

    // The cinematic sheet in a frame larger than it: its 750 × 600 content centred, on an opaque fill; the grid
    // right under the header and 16 above the bottom.
    void theCinematicSheetIsCentredAndOpaque() {
        CinematicPlayer player(std::make_unique<FakeBackend>());
        QWidget host;
        auto* sheet = new CameraControlView(3, player);
        putOnRed(host, sheet, QSize(820, 640));
        QVERIFY(gui::showActive(&host));
        QTRY_VERIFY(!Motion::runningEntrance(sheet));
        QWidget* content = sheet->content();
        QCOMPARE(content->size(), QSize(750, 600));
        const QPoint centre = content->mapTo(&host, content->rect().center());
        QVERIFY((centre - host.rect().center()).manhattanLength() <= 1);
        // The bands beside the content and the header hold no picture: only what lies under the sheet could be red.
        const QImage drawn = host.grab().toImage();
        QCOMPARE(reddishPoints(drawn, QRect(2, 20, 30, 600)), 0);
        QCOMPARE(reddishPoints(drawn, QRect(788, 20, 30, 600)), 0);
        QCOMPARE(reddishPoints(drawn, QRect(40, 24, 740, 20)), 0);

        ClipPresetListView* grid = sheet->grid();
        QCOMPARE(grid->cardRect(0).top(), 0);
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
        QApplication::processEvents();
        const int last = grid->model()->rowCount() - 1;
        QCOMPARE(grid->height() - (grid->viewport()->y() + grid->cardRect(last).bottom() + 1), 16);
    }

    // The prompt panel stands opaque over what lies under it, its lists end at its rounded corners, and the
    // camera cards sit 16 from the list's edges and 16 apart.
    void thePromptPanelIsOpaqueClippedAndInset() {
        addPromptPreset("Sunset", "golden hour");
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        MovementPlayer player(std::make_unique<FakeBackend>());
        QWidget host;
        auto* view = new PromptPresetsView(manager, "", false, player);
        putOnRed(host, view, QSize(350, 700));
        QVERIFY(gui::showActive(&host));
        QTRY_VERIFY(!Motion::runningEntrance(view));

        ClipPresetListView* list = view->movementsList();
        QCOMPARE(list->cardRect(0).top(), 16);
        QCOMPARE(list->cardRect(1).top() - list->cardRect(0).bottom() - 1, 16);
        QCOMPARE(list->cardRect(0).left(), 16);
        QCOMPARE(list->viewport()->width() - list->cardRect(0).right() - 1, 16);
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
        QApplication::processEvents();
        const int last = list->model()->rowCount() - 1;
        QCOMPARE(list->viewport()->height() - list->cardRect(last).bottom() - 1, 16);

        GUI_REQUIRE(glass, GlassPanel, view, "promptPresetsGlass");
        for (QWidget* clipped : {static_cast<QWidget*>(list), static_cast<QWidget*>(view->userList())}) {
            if (clipped == view->userList())
                GUI_CLICK(view, "myPresetsTab");
            QTRY_VERIFY(clipped->isVisible());
            const QPoint corner = clipped->mapFrom(glass, glass->rect().bottomLeft() + QPoint(1, -1));
            QVERIFY(clipped->rect().contains(corner));
            QVERIFY(!clipped->mask().contains(corner));
            QVERIFY(clipped->mask().contains(clipped->rect().center()));
        }

        // Nothing of what lies under the panel shows through it.
        GUI_REQUIRE(search, QLineEdit, view, "presetSearchField");
        gui::type(search, "no such words");
        QTRY_VERIFY(!Motion::runningEntrance(view->findChild<QStackedWidget*>("presetPages")->currentWidget()));
        const QImage drawn = host.grab().toImage();
        QCOMPARE(reddishPoints(drawn, QRect(30, 30, 290, 640)), 0);
    }

    // The preview layer moves to another card without the previous card's last frame; the shared player stops
    // when the panel closes after a movement was chosen while it previewed.
    void previewsNeverOutliveTheirCardOrPanel() {
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        auto backend = std::make_unique<FakeBackend>();
        FakeBackend* fake = backend.get();
        MovementPlayer player(std::move(backend));
        QWidget host;
        host.resize(350, 760);
        // Like the gallery: the panel on an overlay that is hidden, then deleted, when the panel is dismissed.
        auto* overlay = new QWidget(&host);
        overlay->setGeometry(host.rect());
        auto* overlayLayout = new QVBoxLayout(overlay);
        overlayLayout->setContentsMargins(0, 0, 0, 0);
        auto* view = new PromptPresetsView(manager, "", false, player);
        overlayLayout->addWidget(view);
        connect(view, &PromptPresetsView::dismissRequested, overlay, [overlay] {
            overlay->hide();
            overlay->deleteLater();
        });
        QPointer<PromptPresetsView> alive(view);
        QVERIFY(gui::showActive(&host));
        ClipPresetListView* list = view->movementsList();

        QTest::mouseMove(list->viewport(), list->cardRect(0).center());
        fixture_.clock->advance(0.21);
        fake->becomeReady();
        QTRY_VERIFY(list->previewLayer() && list->previewLayer()->isVisible());
        VideoPlayerView* layer = list->previewLayer();
        layer->videoSink()->setFrame(picture(64, 36, Qt::red));
        QTRY_VERIFY(!layer->currentFrame().isNull());

        // On to the next card: the first clip stops 150 ms after leaving, the next starts 200 ms after entering.
        QTest::mouseMove(list->viewport(), list->cardRect(1).center());
        fixture_.clock->advance(0.21);
        QCOMPARE(player.currentMovement(), CameraMovementPreset::allPresets()[1]);
        fake->becomeReady();
        QTRY_VERIFY(layer->isVisible() && layer->geometry() == list->pictureRect(1));
        QVERIFY(layer->currentFrame().isNull());
        QCOMPARE(reddishPoints(layer->grab().toImage(), layer->rect(), 3), 0);

        // Chosen while it previews: the panel closes, and the preview stops with it.
        const int loads = fake->loaded.size();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->cardRect(1).center());
        QVERIFY(!player.currentMovement());
        QVERIFY(!player.isPlaying());
        QCOMPARE(fake->currentItem(), PreviewBackend::ItemId(0));
        QTRY_VERIFY(!alive);
        fixture_.clock->advance(1);
        QVERIFY(!player.currentMovement());
        QCOMPARE(fake->loaded.size(), loads);
    }

    // The tab switch comes in on the spring (response 0.3 s, damping 0.7, overshooting); the prompt panel fades
    // and slides in from its leading edge and the cinematic sheet fades in, both over 0.15 s. Once everything
    // settles, and while hidden, nothing ticks.
    void panelsMoveOnlyWhileSomethingMoves() {
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        MovementPlayer player(std::make_unique<FakeBackend>());
        QWidget host;
        auto* view = new PromptPresetsView(manager, "", false, player);
        putOnRed(host, view, QSize(350, 700));
        QVERIFY(gui::showActive(&host));
        QVariantAnimation* entrance = Motion::runningEntrance(view);
        QVERIFY(entrance);
        QCOMPARE(entrance->duration(), Motion::panelFadeMs);
        QVERIFY(view->graphicsEffect());
        QVERIFY(view->graphicsEffect()->boundingRectFor(QRectF(view->rect())).left() <= -view->width() + 1);
        QTRY_VERIFY(!Motion::runningEntrance(view));
        QVERIFY(!view->graphicsEffect());

        GUI_REQUIRE(pages, QStackedWidget, view, "presetPages");
        GUI_CLICK(view, "myPresetsTab");
        QVariantAnimation* tabSwitch = Motion::runningEntrance(pages->currentWidget());
        QVERIFY(tabSwitch);
        QCOMPARE(tabSwitch->duration(), Motion::durationMs(Motion::tabSwitch));
        double highest = 0;
        for (int i = 0; i <= 100; ++i)
            highest = std::max(highest, tabSwitch->easingCurve().valueForProgress(i / 100.0));
        QVERIFY(highest > 1.04 && highest < 1.05);
        QTRY_VERIFY(!Motion::runningEntrance(pages->currentWidget()));
        QTest::qWait(30);
        QCOMPARE(busyObjects(&host), QStringList());
        // Choosing the selected tab again changes nothing.
        GUI_CLICK(view, "myPresetsTab");
        QVERIFY(!Motion::runningEntrance(pages->currentWidget()));
        // A switch cut short by hiding the panel leaves nothing running.
        GUI_CLICK(view, "cameraTab");
        QVERIFY(Motion::runningEntrance(pages->currentWidget()));
        host.hide();
        QVERIFY(!Motion::runningEntrance(pages->currentWidget()));
        QTest::qWait(30);
        QCOMPARE(busyObjects(&host), QStringList());
        // Shown again, the panel is simply there: it slid in once, when it came.
        host.show();
        QVERIFY(!Motion::runningEntrance(view));
        host.hide();

        CinematicPlayer cinematic(std::make_unique<FakeBackend>());
        QWidget sheetHost;
        auto* sheet = new CameraControlView(3, cinematic);
        putOnRed(sheetHost, sheet, QSize(800, 620));
        QVERIFY(gui::showActive(&sheetHost));
        QVariantAnimation* fade = Motion::runningEntrance(sheet);
        QVERIFY(fade);
        QCOMPARE(fade->duration(), Motion::panelFadeMs);
        QCOMPARE(sheet->graphicsEffect()->boundingRectFor(QRectF(sheet->rect())), QRectF(sheet->rect()));
        QTRY_VERIFY(!Motion::runningEntrance(sheet));
        QTest::qWait(30);
        QCOMPARE(busyObjects(&sheetHost), QStringList());
    }

    // The tabs are a page-tab list to assistive tools with the open tab selected; a click, the arrow keys and the
    // accessible action open a tab alike, and Tab stops only on the open one.
    void theTabsAreAPageTabListThatFollowsTheOpenTab() {
        const auto check = [](QWidget* panel, const QString& firstName, const QString& firstTitle) {
            panel->resize(360, 700);
            QVERIFY(gui::showActive(panel));
            GUI_REQUIRE(pages, QStackedWidget, panel, "presetPages");
            GUI_REQUIRE(first, QAbstractButton, panel, firstName);
            GUI_REQUIRE(mine, QAbstractButton, panel, "myPresetsTab");
            const auto heard = [first] {
                QAccessibleInterface* list = QAccessible::queryAccessibleInterface(first)->parent();
                QStringList said{list->role() == QAccessible::PageTabList ? "tab list" : "no tab list"};
                for (int i = 0; i < list->childCount(); ++i) {
                    QAccessibleInterface* tab = list->child(i);
                    QString text = tab->text(QAccessible::Name);
                    if (tab->role() != QAccessible::PageTab)
                        text += " (not a tab)";
                    if (tab->state().selected && tab->state().checked)
                        text += " (open)";
                    said << text;
                }
                return said;
            };
            QCOMPARE(heard(), QStringList({"tab list", firstTitle + " (open)", "My Presets"}));
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(mine);
            QVERIFY(face->actionInterface());
            face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QCOMPARE(pages->currentIndex(), 1);
            QCOMPARE(heard(), QStringList({"tab list", firstTitle, "My Presets (open)"}));
            QVERIFY(gui::click(mine));
            QCOMPARE(QApplication::focusWidget(), mine);
            gui::keyToFocus(Qt::Key_Left);
            QCOMPARE(QApplication::focusWidget(), first);
            QCOMPARE(pages->currentIndex(), 0);
            QCOMPARE(heard(), QStringList({"tab list", firstTitle + " (open)", "My Presets"}));
            gui::keyToFocus(Qt::Key_Tab);
            QVERIFY(QApplication::focusWidget() != mine);
            QVERIFY(gui::click(mine));
            QCOMPARE(heard(), QStringList({"tab list", firstTitle, "My Presets (open)"}));
        };
        SwiftDataImagePresetsManager images(fixture_.store.get());
        images.loadPresets();
        UserImagePresetsView imagePanel(images, "a cat");
        check(&imagePanel, "anglesTab", "Angles");
        imagePanel.hide();
        SwiftDataPromptPresetsManager prompts(fixture_.store.get());
        prompts.loadPresets();
        MovementPlayer player(std::make_unique<FakeBackend>());
        PromptPresetsView promptPanel(prompts, "", false, player);
        check(&promptPanel, "cameraTab", "Camera");
    }

    // A card whose picture is still decoding, or does not decode, turns the kit's ring over its black picture
    // area; the ring stands still once hidden, and goes when the card has its picture.
    void loadingRingsTurnOverCardsWithoutTheirPicture() {
        addPromptPreset("Fine", "p", picture(80, 60, Qt::blue));
        auto broken = PromptPreset::make("Broken", "p", "User", false);
        broken->setUserImageData(QByteArray("not a picture"));
        fixture_.store->insert(broken);
        fixture_.store->save();
        SwiftDataPromptPresetsManager manager(fixture_.store.get());
        manager.loadPresets();
        MovementPlayer player(std::make_unique<FakeBackend>());
        PromptPresetsView view(manager, "", false, player);
        view.resize(350, 760);
        QVERIFY(gui::showActive(&view));
        GUI_CLICK(&view, "myPresetsTab");
        UserPresetListView* list = view.userList();
        QTRY_VERIFY(list->pictures()->decodesStarted() == 2 && list->pictures()->pending() == 0);
        QTRY_COMPARE(list->loadingRings().size(), 1);
        Spinner* ring = list->loadingRings().first();
        int row = 0;
        while (list->model()->index(row, 0).data().toString() != "Broken")
            ++row;
        const QModelIndex index = list->model()->index(row, 0);
        const QRect area = UserPresetCard::geometry(list->visualRect(index), index).picture;
        QVERIFY((ring->geometry().center() - area.center()).manhattanLength() <= 2);
        QVERIFY(ring->isSpinning());
        const qint64 turned = ring->elapsed();
        QTRY_VERIFY(ring->elapsed() > turned);

        GUI_CLICK(&view, "cameraTab");
        QVERIFY(!ring->isSpinning());
        GUI_CLICK(&view, "myPresetsTab");
        QTRY_VERIFY(ring->isSpinning());
        // The broken preset gets a picture: its ring goes.
        broken->setUserImage(picture(40, 30, Qt::green));
        fixture_.store->save();
        manager.loadPresets();
        QTRY_VERIFY(list->loadingRings().isEmpty());
        QVERIFY(!ring->isSpinning());
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
