#include "VideoStudioTestSupport.h"

#include "CameraMovementPreset.h"
#include "ClipPresetListView.h"
#include "Defaults.h"
#include "FolderBookmark.h"
#include "FrameImageIntake.h"
#include "FrameSlotView.h"
#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "ImageTiles.h"
#include "ModelSchema.h"
#include "Motion.h"
#include "PresetFormModel.h"
#include "PromptPresetsBrowser.h"
#include "PromptPresetsView.h"
#include "QueueStatusIndicator.h"
#include "ScenesView.h"
#include "SegmentedPicker.h"
#include "Spinner.h"
#include "SwiftDataPromptPresetsManager.h"
#include "SyntaxHighlightedTextEditor.h"
#include "Theme.h"
#include "VideoGalleryLogicView.h"
#include "VideoMetadata.h"
#include "VideoSettingsPopover.h"
#include "VideoWorkspaceModel.h"
#include "WorkspaceWidgets.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QJsonObject>
#include <QLabel>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <functional>

using Script = FakeMiniMaxService::TaskScript;

class ScenesViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<StudioWorld> world;
    std::unique_ptr<ScenesView> view;

    VideoWorkspaceModel* model() const { return view->model(); }

    QString picture(const QString& name, QColor color, QSize size = QSize(64, 48)) {
        const QString path = world->environment.path(name);
        gui::writeImage(path, size, color);
        return path;
    }

    // The tile's buttons appear under the pointer.
    bool clickTileButton(FrameSlotView* slotView, bool download) {
        ImageTile* tile = slotView->tile();
        if (!tile)
            return false;
        gui::hover(tile);
        QWidget* button = download ? static_cast<QWidget*>(tile->downloadButton()) : tile->removeButton();
        return button && gui::click(button);
    }

    // Clicks a segment of one of the studio's pickers; fails naming the picker when it is missing.
    bool clickSegment(const QString& picker, const QString& key, const char* file = __builtin_FILE(),
                      int line = __builtin_LINE()) {
        auto* segmented = gui::require<SegmentedPicker>(view.get(), picker, file, line);
        return segmented && gui::click(segmented->segment(key));
    }

    // What an assistive tool hears of a segment: its role and whether it is checked.
    static bool heardChecked(QWidget* segment) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(segment);
        return face && face->role() == QAccessible::RadioButton && face->state().checkable && face->state().checked;
    }
    static QStringList heardCheckedOf(SegmentedPicker* picker) {
        QStringList checked;
        for (GlassButton* segment : picker->segments()) {
            if (heardChecked(segment))
                checked << segment->accessibleName();
        }
        return checked;
    }

    // A drag enters `target` and leaves again: whether it was taken, and whether the zone lit up meanwhile.
    static QPair<bool, bool> dragOver(FrameSlotView* target, const QMimeData& data) {
        QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        const bool lit = target->isDragOver();
        QDragLeaveEvent leave;
        QApplication::sendEvent(target, &leave);
        return {enter.isAccepted(), lit};
    }

    // The control that holds the focus, named as the test knows it: a segment by its picker.
    static QString focusedControl() {
        QWidget* focus = QApplication::focusWidget();
        if (!focus)
            return QStringLiteral("(none)");
        if (auto* picker = qobject_cast<SegmentedPicker*>(focus->parentWidget()))
            return picker->objectName();
        return focus->objectName();
    }

    // Presses Tab `steps` times: the controls the focus visits, starting with the one that has it.
    static QStringList tabWalk(int steps) {
        QStringList walked{focusedControl()};
        for (int i = 0; i < steps; ++i) {
            gui::keyToFocus(Qt::Key_Tab);
            walked << focusedControl();
        }
        return walked;
    }

private slots:
    void init() {
        world = std::make_unique<StudioWorld>();
        for (int i = 0; i < 17; ++i)
            world->fake.scripts.append(Script::processingForever());
        view = std::make_unique<ScenesView>(world->env());
        view->resize(1200, 800);
        QVERIFY(gui::showActive(view.get()));
    }
    void cleanup() {
        view.reset();
        world.reset();
    }

    void everyControlCanBeFound() {
        QStringList unnamed = gui::unnamedControls(view.get());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        QVERIFY(gui::findByAccessibleName(view.get(), "Back to Images"));
        QVERIFY(gui::findByAccessibleName(view.get(), "Video Settings"));
        QVERIFY(gui::findByAccessibleName(view.get(), "Cinematic Presets"));
        QVERIFY(gui::findByAccessibleName(view.get(), "Prompt Presets"));
    }

    void scaleFollowsTheWidth() {
        QCOMPARE(ScenesView::scaleForWidth(800), 0.9);
        QCOMPARE(ScenesView::scaleForWidth(1200), 1.2);
        QCOMPARE(ScenesView::scaleForWidth(2000), 1.6);
        QCOMPARE(view->scale(), 1.2);
        view->resize(2000, 900);
        QTRY_COMPARE(view->scale(), 1.6);
    }

    void sizesFollowTheScale_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("scale");
        QTest::newRow("1.0") << 1000 << 1.0;
        QTest::newRow("1.2") << 1200 << 1.2;
        QTest::newRow("1.6") << 1600 << 1.6;
    }
    void sizesFollowTheScale() {
        QFETCH(int, width);
        QFETCH(double, scale);
        view->resize(width, 900);
        QTRY_COMPARE(view->scale(), scale);
        const auto px = [scale](double points) { return qRound(points * scale); };
        // A running job shows the slot dots and the generate button's spinner.
        model()->storeImage(ImageType::first, solidFrame(Qt::red));
        GUI_CLICK(view.get(), "generateButton");
        GUI_REQUIRE(header, QWidget, view.get(), "videoStudioHeader");
        GUI_REQUIRE(folder, QWidget, header, "videoFolderButton");
        GUI_REQUIRE(dots, SlotDots, header, "videoSlotDots");
        QTRY_VERIFY(dots->isVisible());
        QApplication::processEvents();
        const auto inHeader = [&](QWidget* w) { return QRect(w->mapTo(header, QPoint(0, 0)), w->size()); };

        // Header: folder button to the dots 16 × scale, everything padded 6 × scale above and below; the dots sit
        // in a slim pill of four dots, three gaps and their padding.
        QCOMPARE(inHeader(dots).left() - inHeader(folder).right() - 1, px(16));
        QCOMPARE(dots->size(), QSize(px(4 * 6 + 3 * 3 + 2 * 8), px(6 + 2 * 4)));
        QCOMPARE(inHeader(dots).center().y(), inHeader(folder).center().y());
        int top = header->height();
        int bottom = 0;
        for (QWidget* child : header->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child->isVisible()) {
                top = std::min(top, child->y());
                bottom = std::max(bottom, child->geometry().bottom() + 1);
            }
        }
        QCOMPARE(top, px(6));
        QCOMPARE(header->height() - bottom, px(6));

        // The typed text: 14 × scale pixels, whatever the screen's resolution.
        QCOMPARE(QFontInfo(view->editor()->font()).pixelSize(), px(14));
        QCOMPARE(view->editor()->document()->defaultFont().pixelSize(), px(14));

        // The generate button's spinner: a small indicator scaled 0.8 × scale, once, of the stepping kind.
        GUI_REQUIRE(spinner, Spinner, view.get(), "generateSpinner");
        QTRY_VERIFY(spinner->isVisible());
        QCOMPARE(spinner->look().style, SpinnerLook::Style::spokes);
        QVERIFY(qAbs(spinner->diameter() - Spinner::smallDiameter * 0.8 * scale) < 1e-9);
        QCOMPARE(spinner->width(), int(std::ceil(Spinner::smallDiameter * 0.8 * scale)));
    }

    void bothModesAndTheModelRule() {
        GUI_REQUIRE(referenceSlot, FrameSlotView, view.get(), "referenceFrameSlot");
        GUI_REQUIRE(startSlot, FrameSlotView, view.get(), "startFrameSlot");
        GUI_REQUIRE(endSlot, FrameSlotView, view.get(), "endFrameSlot");
        QVERIFY(referenceSlot->isVisible());
        QVERIFY(!startSlot->isVisible());

        world->videoSettings->setQuality(VideoQuality::p512);
        QVERIFY(clickSegment("modePicker", "start_end_video"));
        QCOMPARE(world->app->videoMode(), VideoGenerationMode::startEndVideo);
        QVERIFY(startSlot->isVisible());
        QVERIFY(endSlot->isVisible());
        QVERIFY(!referenceSlot->isVisible());
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p768);

        // Start-to-end: the popover's controls can be found.
        GUI_REQUIRE(settingsButton, QWidget, view.get(), "videoSettingsButton");
        QVERIFY(gui::click(settingsButton));
        QTRY_VERIFY(view->videoSettingsPopover() && view->videoSettingsPopover()->isVisible());
        QVERIFY(model()->showVideoSettings());
        QWidget* popover = view->videoSettingsPopover();
        const QStringList unnamed = gui::unnamedControls(popover);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        gui::key(popover, Qt::Key_Escape);
        QTRY_VERIFY(!view->videoSettingsPopover());
        QVERIFY(!model()->showVideoSettings());

        // Image-to-video: choosing 2.3 with 512P lifts it to 768P and offers the fast pretreatment.
        QVERIFY(clickSegment("modePicker", "image_to_video"));
        world->videoSettings->setQuality(VideoQuality::p512);
        QVERIFY(gui::click(settingsButton));
        QTRY_VERIFY(view->videoSettingsPopover());
        popover = view->videoSettingsPopover();
        GUI_REQUIRE(modelPicker, SegmentedPicker, popover, "modelPicker");
        GUI_REQUIRE(quality, SegmentedPicker, popover, "qualityPicker");
        GUI_REQUIRE(fast, QCheckBox, popover, "fastPretreatmentToggle");
        GUI_REQUIRE(duration, SegmentedPicker, popover, "durationPicker");
        GUI_REQUIRE(optimization, QCheckBox, popover, "aiOptimizationToggle");
        QVERIFY(gui::click(modelPicker->segment("MiniMax-Hailuo-2.3")));
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p768);
        QCOMPARE(quality->keys(), QStringList({"768P", "1080P"}));
        QTRY_VERIFY(fast->isVisible());
        QCOMPARE(MiniMaxAPIService::shared().selectedModel(), VideoModel::hailuo23);
        QVERIFY(gui::click(fast));
        QVERIFY(world->videoSettings->fastPretreatment());
        for (MiniMaxAPIService* service : world->queue->videoServices())
            QVERIFY(service->fastPretreatment());
        // 1080P leaves only 6 s.
        world->videoSettings->setDuration(VideoDuration::seconds10);
        QVERIFY(gui::click(quality->segment("1080P")));
        QCOMPARE(world->videoSettings->duration(), VideoDuration::seconds6);
        QCOMPARE(duration->keys(), QStringList({"6"}));
        QVERIFY(gui::click(optimization));
        QVERIFY(!MiniMaxAPIService::shared().enablePromptOptimization());
    }

    void thePickersTellWhichOptionIsChosen() {
        GUI_REQUIRE(mode, SegmentedPicker, view.get(), "modePicker");
        QCOMPARE(heardCheckedOf(mode), QStringList({"Image → Video"}));
        QVERIFY(clickSegment("modePicker", "start_end_video"));
        QCOMPARE(heardCheckedOf(mode), QStringList({"Start → End"}));
        QVERIFY(clickSegment("modePicker", "image_to_video"));

        world->videoSettings->setQuality(VideoQuality::p1080);
        GUI_CLICK(view.get(), "videoSettingsButton");
        QTRY_VERIFY(view->videoSettingsPopover());
        QWidget* popover = view->videoSettingsPopover();
        GUI_REQUIRE(model, SegmentedPicker, popover, "modelPicker");
        GUI_REQUIRE(quality, SegmentedPicker, popover, "qualityPicker");
        GUI_REQUIRE(duration, SegmentedPicker, popover, "durationPicker");
        QCOMPARE(heardCheckedOf(model), QStringList({"2.0"}));
        QCOMPARE(heardCheckedOf(quality), QStringList({"1080P"}));
        QCOMPARE(heardCheckedOf(duration), QStringList({"6 s"}));
        // A choice moves the checked state; so does a change made elsewhere.
        QVERIFY(gui::click(quality->segment("768P")));
        QCOMPARE(heardCheckedOf(quality), QStringList({"768P"}));
        QVERIFY(gui::click(duration->segment("10")));
        QCOMPARE(heardCheckedOf(duration), QStringList({"10 s"}));
        world->videoSettings->setQuality(VideoQuality::p512);
        QCOMPARE(heardCheckedOf(quality), QStringList({"512P"}));
        // Pressing the chosen segment again keeps it chosen.
        QVERIFY(gui::click(quality->segment("512P")));
        QCOMPARE(heardCheckedOf(quality), QStringList({"512P"}));
        // The arrow keys move the choice within a picker, as in any group of radio buttons.
        quality->segment("512P")->setFocus();
        gui::key(quality->segment("512P"), Qt::Key_Right);
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p768);
        QCOMPARE(heardCheckedOf(quality), QStringList({"768P"}));
    }

    // An assistive tool's toggle is a choice like a click: what the bus says is checked is what the jobs carry.
    void theAccessibleToggleChoosesWhatItChecks() {
        const auto toggle = [](QWidget* segment) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(segment);
            QVERIFY(face && face->actionInterface());
            QVERIFY(face->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
            face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        };
        VideoSettings& settings = *world->videoSettings;
        settings.setSelectedModel(VideoModel::hailuo23);
        settings.setQuality(VideoQuality::p768);
        GUI_CLICK(view.get(), "videoSettingsButton");
        QTRY_VERIFY(view->videoSettingsPopover());
        QWidget* popover = view->videoSettingsPopover();
        GUI_REQUIRE(quality, SegmentedPicker, popover, "qualityPicker");
        GUI_REQUIRE(duration, SegmentedPicker, popover, "durationPicker");
        GUI_REQUIRE(modelPicker, SegmentedPicker, popover, "modelPicker");
        toggle(quality->segment("1080P"));
        QCOMPARE(heardCheckedOf(quality), QStringList({"1080P"}));
        QCOMPARE(settings.quality(), VideoQuality::p1080);
        QCOMPARE(duration->keys(), QStringList({"6"}));
        // Toggling the chosen segment leaves it chosen.
        toggle(quality->segment("1080P"));
        QCOMPARE(heardCheckedOf(quality), QStringList({"1080P"}));
        QCOMPARE(settings.quality(), VideoQuality::p1080);
        // The model too; a value shown from the store is not taken for a choice.
        QSignalSpy chosen(modelPicker, &SegmentedPicker::activated);
        settings.setSelectedModel(VideoModel::hailuo02);
        QCOMPARE(heardCheckedOf(modelPicker), QStringList({"2.0"}));
        QCOMPARE(chosen.count(), 0);
        toggle(modelPicker->segment("MiniMax-Hailuo-2.3"));
        QCOMPARE(settings.selectedModel(), VideoModel::hailuo23);
        QCOMPARE(MiniMaxAPIService::shared().selectedModel(), VideoModel::hailuo23);
        QCOMPARE(chosen.count(), 1);
        // The next job is sent with what was checked.
        gui::key(popover, Qt::Key_Escape);
        QTRY_VERIFY(!view->videoSettingsPopover());
        model()->storeImage(ImageType::first, solidFrame(Qt::red));
        GUI_CLICK(view.get(), "generateButton");
        QVERIFY(world->clock.runUntil([&] { return world->fake.requestsTo("/v1/video_generation").size() == 1; }));
        const QJsonObject body = world->fake.requestsTo("/v1/video_generation").first().json();
        QCOMPARE(body["model"].toString(), "MiniMax-Hailuo-2.3");
        QCOMPARE(body["resolution"].toString(), "1080P");
    }

    // The controls never reach past their pane's edge, in either mode, at any scale: titles take a second line.
    void theControlsFitTheirPane() {
        auto* scroll = view->findChild<QScrollArea*>("videoControlScroll");
        QVERIFY(scroll);
        for (const char* mode : {"image_to_video", "start_end_video"}) {
            QVERIFY(clickSegment("modePicker", mode));
            for (const int width : {1000, 1600, 2000}) {
                view->resize(width, 1000);
                QTRY_COMPARE(view->width(), width);
                QApplication::processEvents();
                QVERIFY2(scroll->widget()->width() <= scroll->viewport()->width(),
                         qPrintable(QString("%1 wide: %2 in %3")
                                        .arg(width)
                                        .arg(scroll->widget()->width())
                                        .arg(scroll->viewport()->width())));
            }
        }
    }

    void theSettingsPopoverIsWorkedInTheOrderItShows() {
        world->videoSettings->setSelectedModel(VideoModel::hailuo23);
        world->videoSettings->setQuality(VideoQuality::p768);
        GUI_CLICK(view.get(), "videoSettingsButton");
        QTRY_VERIFY(view->videoSettingsPopover() && view->videoSettingsPopover()->isVisible());
        QWidget* popover = view->videoSettingsPopover();
        GUI_REQUIRE(model, SegmentedPicker, popover, "modelPicker");
        // Shown, the focus is on the first control: the chosen model.
        QTRY_COMPARE(QApplication::focusWidget(), model->segment("MiniMax-Hailuo-2.3"));
        // A screen reader hears one focused control, not also a frame around it.
        QStringList claimingFocus;
        for (QWidget* widget : popover->window()->findChildren<QWidget*>()) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            if (face && face->state().focused)
                claimingFocus << widget->objectName();
        }
        QCOMPARE(claimingFocus, QStringList({"modelPicker_MiniMax-Hailuo-2.3"}));
        QCOMPARE(tabWalk(5), QStringList({"modelPicker", "qualityPicker", "durationPicker", "aiOptimizationToggle",
                                          "fastPretreatmentToggle", "modelPicker"}));
        // The quality and duration segments are made anew for another model; the order holds.
        QVERIFY(gui::click(model->segment("MiniMax-Hailuo-02")));
        model->segment("MiniMax-Hailuo-02")->setFocus();
        QCOMPARE(tabWalk(4), QStringList({"modelPicker", "qualityPicker", "durationPicker", "aiOptimizationToggle",
                                          "modelPicker"}));
        // Start-to-end: the quality picker comes first and takes the focus.
        gui::key(popover, Qt::Key_Escape);
        QTRY_VERIFY(!view->videoSettingsPopover());
        QVERIFY(clickSegment("modePicker", "start_end_video"));
        GUI_CLICK(view.get(), "videoSettingsButton");
        QTRY_VERIFY(view->videoSettingsPopover());
        GUI_REQUIRE(startEndQuality, SegmentedPicker, view->videoSettingsPopover(), "qualityPicker");
        QTRY_COMPARE(QApplication::focusWidget(), startEndQuality->segment("768P"));
    }

    // Each mode offers what its jobs can be sent with. 512P stored, a start-to-end popover shows and stores the
    // nearest quality it offers, and its list never holds 512P.
    void thePopoverOffersWhatEachModeTakes() {
        VideoSettings& settings = *world->videoSettings;
        settings.setQuality(VideoQuality::p512);
        {
            VideoSettingsPopover imagePopover(settings, VideoGenerationMode::imageToVideo);
            GUI_REQUIRE(quality, SegmentedPicker, &imagePopover, "qualityPicker");
            QCOMPARE(quality->keys(), QStringList({"512P", "768P", "1080P"}));
            QCOMPARE(heardCheckedOf(quality), QStringList({"512P"}));
            QCOMPARE(settings.quality(), VideoQuality::p512);
        }
        VideoSettingsPopover startEndPopover(settings, VideoGenerationMode::startEndVideo);
        startEndPopover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&startEndPopover));
        GUI_REQUIRE(quality, SegmentedPicker, &startEndPopover, "qualityPicker");
        GUI_REQUIRE(duration, SegmentedPicker, &startEndPopover, "durationPicker");
        QCOMPARE(quality->keys(), QStringList({"768P", "1080P"}));
        QCOMPARE(heardCheckedOf(quality), QStringList({"768P"}));
        QCOMPARE(settings.quality(), VideoQuality::p768);
        QCOMPARE(Defaults::standard().string("videoQuality"), "768P");
        // Set elsewhere while it is open: moved, and shown moved.
        settings.setQuality(VideoQuality::p512);
        QCOMPARE(heardCheckedOf(quality), QStringList({"768P"}));
        QCOMPARE(settings.quality(), VideoQuality::p768);
        QVERIFY(gui::click(quality->segment("1080P")));
        QCOMPARE(duration->keys(), QStringList({"6"}));
        QCOMPARE(settings.quality(), VideoQuality::p1080);
    }

    void aPairOutsideTheListsShowsNoSelection() {
        world->videoSettings->setSelectedModel(VideoModel::hailuo23);
        world->videoSettings->setQuality(VideoQuality::p512); // set elsewhere, not through the popover
        GUI_CLICK(view.get(), "videoSettingsButton");
        QTRY_VERIFY(view->videoSettingsPopover());
        GUI_REQUIRE(quality, SegmentedPicker, view->videoSettingsPopover(), "qualityPicker");
        QCOMPARE(quality->keys(), QStringList({"768P", "1080P"}));
        QVERIFY(!quality->segment("768P")->isSelected());
        QVERIFY(!quality->segment("1080P")->isSelected());
        QCOMPARE(heardCheckedOf(quality), QStringList());
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p512);
        // Picking one selects it.
        QVERIFY(gui::click(quality->segment("1080P")));
        QVERIFY(quality->segment("1080P")->isSelected());
        QCOMPARE(heardCheckedOf(quality), QStringList({"1080P"}));
        QCOMPARE(world->videoSettings->quality(), VideoQuality::p1080);
    }

    void dropsAndPicksIntoEachSlot() {
        GUI_REQUIRE(referenceSlot, FrameSlotView, view.get(), "referenceFrameSlot");
        GUI_REQUIRE(startSlot, FrameSlotView, view.get(), "startFrameSlot");
        GUI_REQUIRE(endSlot, FrameSlotView, view.get(), "endFrameSlot");
        const auto red = gui::mimeWithFiles({picture("red.png", Qt::red)});
        const auto result = gui::drop(referenceSlot, *red);
        QVERIFY(result.dropAccepted);
        QTRY_VERIFY(referenceSlot->tile());
        QCOMPARE(centreColor(*model()->firstFrameImage()), QColor(Qt::red));
        // The reference image is the start image after the switch.
        QVERIFY(clickSegment("modePicker", "start_end_video"));
        QTRY_VERIFY(startSlot->tile());
        // Picture data dropped on the end slot.
        const auto blue = gui::mimeWithImage(solidFrame(Qt::blue));
        QVERIFY(gui::drop(endSlot, *blue).dropAccepted);
        QTRY_VERIFY(endSlot->tile());
        QCOMPARE(centreColor(*world->app->savedVideoLastFrameImage()), QColor(Qt::blue));
        // A filled slot takes no drop.
        QVERIFY(!gui::drop(endSlot, *red).enterAccepted);

        // Removing the end frame, then picking one through the panel.
        QVERIFY(clickTileButton(endSlot, false));
        QTRY_VERIFY(!endSlot->tile());
        QVERIFY(!world->app->savedVideoLastFrameImage());
        world->dialogs.openAnswer = {picture("green.jpg", Qt::green)};
        GUI_CLICK(view.get(), "endFrameDropZone");
        QCOMPARE(world->dialogs.openRequests.last().message, "Choose end frame image");
        QTRY_VERIFY(model()->hasLastFrame());
        QVERIFY(centreColor(*model()->lastFrameImage()).green() > 200);

        // The start slot's panel, and a cancelled one.
        QVERIFY(clickTileButton(startSlot, false));
        QTRY_VERIFY(!startSlot->tile());
        QVERIFY(world->app->savedVideoReferenceImage()); // the mirror keeps it
        world->dialogs.openAnswer = {};
        GUI_CLICK(view.get(), "startFrameDropZone");
        QCOMPARE(world->dialogs.openRequests.last().message, "Choose start frame image");
        QTest::qWait(20);
        QVERIFY(!model()->hasFirstFrame());
        QVERIFY(clickSegment("modePicker", "image_to_video"));
        GUI_CLICK(referenceSlot, "referenceFrameDropIcon");
        QCOMPARE(world->dialogs.openRequests.last().message, "Choose an image to use as the first frame of your video");
    }

    void onlyPicturesLightUpTheDropZones() {
        GUI_REQUIRE(referenceSlot, FrameSlotView, view.get(), "referenceFrameSlot");
        QFile notes(world->environment.path("notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("text");
        notes.close();
        QMimeData text;
        text.setText("a fox");
        QMimeData remote;
        remote.setUrls({QUrl("https://example.com/fox.png")});
        QCOMPARE(dragOver(referenceSlot, *gui::mimeWithFiles({notes.fileName()})), qMakePair(false, false));
        QCOMPARE(dragOver(referenceSlot, text), qMakePair(false, false));
        QCOMPARE(dragOver(referenceSlot, remote), qMakePair(false, false));
        QCOMPARE(dragOver(referenceSlot, *gui::mimeWithFiles({picture("fox.jpg", Qt::red)})), qMakePair(true, true));
        QCOMPARE(dragOver(referenceSlot, *gui::mimeWithImage(solidFrame(Qt::blue))), qMakePair(true, true));
        QVERIFY(!referenceSlot->isDragOver());
        // A text file among pictures still brings a picture.
        const auto mixed = gui::mimeWithFiles({notes.fileName(), picture("fox.png", Qt::green)});
        QCOMPARE(dragOver(referenceSlot, *mixed), qMakePair(true, true));
        // Dropped without a drag over it first, a text file is still refused.
        const auto notesOnly = gui::mimeWithFiles({notes.fileName()});
        QDropEvent drop(QPointF(referenceSlot->rect().center()), Qt::CopyAction, notesOnly.get(), Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(referenceSlot, &drop);
        QVERIFY(!drop.isAccepted());
        QTRY_COMPARE(model()->intake()->pendingLoads(), 0);
        QVERIFY(!model()->hasFirstFrame());
    }

    void theSettingsPopoverMovesWithItsWindow() {
        GUI_REQUIRE(settingsButton, QWidget, view.get(), "videoSettingsButton");
        QVERIFY(gui::click(settingsButton));
        QTRY_VERIFY(view->videoSettingsPopover() && view->videoSettingsPopover()->isVisible());
        QWidget* popover = view->videoSettingsPopover();
        const QPoint offset = popover->pos() - settingsButton->mapToGlobal(QPoint());
        view->move(view->pos() + QPoint(0, 30));
        QTRY_COMPARE(popover->pos() - settingsButton->mapToGlobal(QPoint()), offset);
    }

    void noUnnamedStopInTheStudio() {
        // Every control of the header, the left panel and the empty gallery that takes the focus has a name a
        // screen reader reads.
        GUI_REQUIRE(header, QWidget, view.get(), "videoStudioHeader");
        GUI_REQUIRE(scroll, QWidget, view.get(), "videoControlScroll");
        GUI_REQUIRE(gallery, QWidget, view.get(), "videoGalleryView");
        QVERIFY(view->gallery()->isShowingEmptyState());
        QCOMPARE(scroll->focusPolicy(), Qt::NoFocus);
        QStringList unnamed;
        for (QWidget* root : {header, scroll, gallery}) {
            QList<QWidget*> all{root};
            all << root->findChildren<QWidget*>();
            for (QWidget* widget : all) {
                if (!widget->isVisible() || widget->focusPolicy() == Qt::NoFocus)
                    continue;
                QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
                if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
                    unnamed << QStringLiteral("%1 '%2'").arg(widget->metaObject()->className(), widget->objectName());
            }
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    }

    void dropsAreRefusedWhileTheImageStudioIsShown() {
        world->app->setCurrentView(ViewMode::imageGeneration);
        GUI_REQUIRE(referenceSlot, FrameSlotView, view.get(), "referenceFrameSlot");
        const auto red = gui::mimeWithFiles({picture("red.png", Qt::red)});
        const auto result = gui::drop(referenceSlot, *red);
        QVERIFY(!result.dropAccepted);
        QTest::qWait(30);
        QVERIFY(!model()->hasFirstFrame());
        // Not a picture: accepted as a drop, nothing arrives.
        world->app->setCurrentView(ViewMode::videoGeneration);
        QFile notes(world->environment.path("notes.png"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("text");
        notes.close();
        QVERIFY(gui::drop(referenceSlot, *gui::mimeWithFiles({notes.fileName()})).dropAccepted);
        QTRY_COMPARE(model()->intake()->pendingLoads(), 0);
        QVERIFY(!model()->hasFirstFrame());
        QVERIFY(!referenceSlot->tile());
    }

    // The image studio hands pictures over in the order of the placement rule.
    void handOversFromTheImageStudio() {
        GUI_REQUIRE(startSlot, FrameSlotView, view.get(), "startFrameSlot");
        GUI_REQUIRE(endSlot, FrameSlotView, view.get(), "endFrameSlot");
        world->app->setCurrentView(ViewMode::imageGeneration);
        QVERIFY(clickSegment("modePicker", "start_end_video"));
        world->app->setSharedImage(solidFrame(Qt::red));
        world->app->setCurrentView(ViewMode::videoGeneration);
        QTRY_VERIFY(startSlot->tile());
        world->app->setSharedImage(solidFrame(Qt::blue));
        QTRY_VERIFY(endSlot->tile());
        QCOMPARE(centreColor(endSlot->shownImage()), QColor(Qt::blue));
        world->app->setSharedImageType(ImageType::first);
        world->app->setSharedImage(solidFrame(Qt::green));
        QTRY_COMPARE(centreColor(startSlot->shownImage()), QColor(Qt::green));
        QCOMPARE(centreColor(endSlot->shownImage()), QColor(Qt::blue));
    }

    void generateTitlesAndEnableRule() {
        GUI_REQUIRE(button, GenerateButton, view.get(), "generateButton");
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->drawnOpacity(), 0.6);
        model()->storeImage(ImageType::first, solidFrame(Qt::red));
        QVERIFY(button->isEnabled());
        QCOMPARE(button->drawnOpacity(), 1.0);
        GUI_REQUIRE(dots, SlotDots, view.get(), "videoSlotDots");
        QVERIFY(!dots->isVisible());

        const QList<QPair<int, QString>> steps{
            {1, "Generate (1/4)"}, {4, "Generate (4/4)"}, {5, "Queue (4+1)"}, {16, "Queue (4+12)"}};
        int clicks = 0;
        for (const auto& [count, title] : steps) {
            while (clicks < count) {
                QVERIFY(gui::click(button));
                ++clicks;
            }
            QCOMPARE(button->text(), title);
            QCOMPARE(button->accessibleName(), title);
            QVERIFY(dots->isVisible());
            QCOMPARE(dots->activeDots(), std::min(count, 4));
        }
        QVERIFY(dots->isVisible());
        QCOMPARE(dots->activeDots(), 4);
        QVERIFY(dots->isPulsing());
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->symbol(), QString("stop.circle"));
        QCOMPARE(button->drawnOpacity(), 0.6);
        // Return in the editor submits nothing either.
        view->editor()->setFocus();
        gui::key(view->editor(), Qt::Key_Return);
        QTest::qWait(10);
        QCOMPARE(world->queue->videoQueue().size() + world->queue->activeVideoTasks().size(), 16);
    }

    // The running slots' ring moves only while the dots can be seen: not behind another studio, not in a minimised
    // window; seen again, it moves at once.
    void theSlotDotsPulseOnlyOnScreen() {
        GUI_REQUIRE(button, GenerateButton, view.get(), "generateButton");
        GUI_REQUIRE(dots, SlotDots, view.get(), "videoSlotDots");
        model()->storeImage(ImageType::first, solidFrame(Qt::red));
        for (int i = 0; i < 4; ++i)
            QVERIFY(gui::click(button));
        QCOMPARE(dots->activeDots(), 4);
        QVERIFY(dots->isPulsing());

        const QList<QPair<const char*, std::function<void(bool)>>> aways{
            {"the studio is hidden", [&](bool away) { view->setVisible(!away); }},
            {"the window is minimised", [&](bool away) { away ? view->showMinimized() : view->showNormal(); }},
        };
        for (const auto& [what, away] : aways) {
            away(true);
            QTRY_VERIFY2(!dots->isPulsing(), what);
            QTest::qWait(50);
            QVERIFY2(!dots->isPulsing(), what);
            away(false);
            QTRY_VERIFY2(dots->isPulsing(), what);
            QCOMPARE(dots->activeDots(), 4);
        }
    }

    void aJobFromTheClickToTheRequest() {
        world->videoSettings->setDuration(VideoDuration::seconds10);
        model()->storeImage(ImageType::first, solidFrame(Qt::red));
        view->editor()->setFocus();
        gui::type(view->editor(), "a fox [Pan left]");
        // Clicked before the debounce: the job still carries the last keystrokes.
        QVERIFY(view->editor()->debounceTimer().isActive());
        GUI_CLICK(view.get(), "generateButton");
        QCOMPARE(world->queue->activeVideoTasks().size(), 1);
        QCOMPARE(world->queue->activeVideoTasks().first().prompt, "a fox [Pan left]");
        QVERIFY(world->clock.runUntil([&] { return world->fake.requestsTo("/v1/video_generation").size() == 1; }));
        const QJsonObject body = world->fake.requestsTo("/v1/video_generation").first().json();
        QCOMPARE(body["prompt"].toString(), "a fox [Pan left]");
        QCOMPARE(body["model"].toString(), "MiniMax-Hailuo-02");
        QCOMPARE(body["duration"].toInt(), 10);
        QCOMPARE(body["resolution"].toString(), "768P");
        QCOMPARE(body["prompt_optimizer"].toBool(), true);
        QVERIFY(body["first_frame_image"].toString().startsWith("data:image/"));
    }

    void returnSubmitsAndShiftReturnBreaksTheLine() {
        model()->storeImage(ImageType::first, solidFrame(Qt::red));
        view->editor()->setFocus();
        gui::type(view->editor(), "one");
        gui::key(view->editor(), Qt::Key_Return, Qt::ShiftModifier);
        gui::type(view->editor(), "two");
        QCOMPARE(view->editor()->toPlainText(), "one\ntwo");
        QCOMPARE(view->editor()->document()->blockCount(), 1); // a line break, not a new paragraph
        QCOMPARE(world->queue->activeVideoTasks().size(), 0);
        gui::key(view->editor(), Qt::Key_Return);
        QTRY_COMPARE(world->queue->activeVideoTasks().size(), 1);
        QCOMPARE(world->queue->activeVideoTasks().first().prompt, "one\ntwo");
        QCOMPARE(view->editor()->toPlainText(), "one\ntwo");
    }

    void counterPlaceholderAndClear() {
        GUI_REQUIRE(counter, QLabel, view.get(), "promptCounter");
        GUI_REQUIRE(placeholder, QWidget, view.get(), "promptPlaceholder");
        GUI_REQUIRE(clear, QWidget, view.get(), "clearPrompt");
        GUI_REQUIRE(createPreset, QWidget, view.get(), "createPresetFromPrompt");
        QVERIFY(placeholder->isVisible());
        QVERIFY(!clear->isVisible());
        QVERIFY(!createPreset->isVisible());
        view->editor()->setFocus();
        view->editor()->insertPlainText(QString(1800, QChar('x')));
        view->editor()->flush();
        QCOMPARE(counter->text(), "1800/2000");
        QVERIFY(counter->palette().color(QPalette::WindowText) != Theme::instance().color(ColorRole::red));
        gui::type(view->editor(), "y");
        QTRY_COMPARE(counter->text(), "1801/2000");
        QCOMPARE(counter->palette().color(QPalette::WindowText), Theme::instance().color(ColorRole::red));
        QVERIFY(clear->isVisible());
        QVERIFY(createPreset->isVisible());
        QVERIFY(!placeholder->isVisible());
        // Past the limit the owner gets the first 2000; leaving the editor shows them.
        view->editor()->insertPlainText(QString(500, QChar('z')));
        view->editor()->flush();
        QCOMPARE(counter->text(), "2000/2000");
        QCOMPARE(view->editor()->toPlainText().size(), 2301);
        QVERIFY(gui::click(clear));
        QCOMPARE(model()->prompt(), QString());
        QCOMPARE(view->editor()->toPlainText(), QString());
        QVERIFY(placeholder->isVisible());
        QVERIFY(!clear->isVisible());
    }

    void cinematicPresetsInsertIntoThePrompt() {
        GUI_CLICK(view.get(), "cinematicPresetsButton");
        QTRY_VERIFY(view->cameraControls() && view->cameraControls()->isVisible());
        QVERIFY(model()->showCameraControls());
        view->editor()->setFocus();
        gui::type(view->editor(), "a fox   ");
        GUI_REQUIRE(grid, ClipPresetListView, view->cameraControls(), "cinematicPresetsGrid");
        QTRY_VERIFY(grid->cardRect(0).isValid());
        QPointer<QWidget> sheet = view->cameraControls();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->cardRect(0).center());
        // The choice closes the sheet: it fades out, then goes.
        QVERIFY(!view->cameraControls());
        QVERIFY(!model()->showCameraControls());
        QVERIFY(Motion::runningExit(sheet));
        // The trailing spaces give way to one, then the preset's text; the editor shows it at once.
        QCOMPARE(model()->prompt(), "a fox [Truck left, Push in, Pan right]");
        QCOMPARE(view->editor()->toPlainText(), model()->prompt());
        // The old keystrokes never come back over the inserted text.
        QTest::qWait(350);
        QCOMPARE(model()->prompt(), "a fox [Truck left, Push in, Pan right]");
        QTRY_VERIFY(!sheet);
    }

    // A sheet keeps the keyboard while it is open: Space on its button moves the focus in, Tab and Backtab go
    // round inside it, typing never reaches the prompt under it, Escape closes it and gives the focus back, and
    // Return on a card chooses it as a click does.
    void sheetsKeepTheKeyboardAndGiveItBack() {
        QTemporaryDir dir;
        const auto store = ModelSchema::openStore(dir.filePath("store.sqlite"));
        SwiftDataPromptPresetsManager prompts(store.get());
        AppEnvironment environment = world->env();
        environment.promptPresetsManager = &prompts;
        view = std::make_unique<ScenesView>(environment);
        view->resize(1200, 800);
        QVERIFY(gui::showActive(view.get()));
        view->editor()->setFocus();
        gui::type(view->editor(), "a fox");
        view->editor()->flush();
        QCOMPARE(model()->prompt(), "a fox");

        struct Sheet {
            const char* button;
            std::function<QWidget*()> open;
            const char* cards;
            QString chosen;
        };
        const QList<Sheet> sheets{{"cinematicPresetsButton", [this] { return view->cameraControls(); },
                                   "cinematicPresetsGrid", "a fox [Truck left, Push in, Pan right]"},
                                  {"promptPresetsButton",
                                   [this]() -> QWidget* {
                                       auto* overlay = view->gallery()->findChild<QWidget*>("promptPresetsOverlay");
                                       return overlay ? overlay->findChild<QWidget*>("promptPresetsFrame") : nullptr;
                                   },
                                   "cameraMovementsList",
                                   "a fox " + CameraMovementPreset::allPresets().first()->insertText()}};
        for (const Sheet& each : sheets) {
            GUI_REQUIRE(opener, QWidget, view.get(), each.button);
            opener->setFocus(Qt::TabFocusReason);
            gui::keyToFocus(Qt::Key_Space);
            QWidget* sheet = each.open();
            QVERIFY2(sheet && sheet->isVisible(), each.button);
            QVERIFY2(sheet->isAncestorOf(QApplication::focusWidget()), qPrintable(focusedControl()));
            for (int i = 0; i < 30; ++i) {
                gui::keyToFocus(i < 20 ? Qt::Key_Tab : Qt::Key_Backtab);
                QVERIFY2(sheet->isAncestorOf(QApplication::focusWidget()), qPrintable(focusedControl()));
                QTest::keyClicks(QApplication::focusWidget(), "x");
                gui::keyToFocus(Qt::Key_Backspace);
                gui::keyToFocus(Qt::Key_A, Qt::ControlModifier);
            }
            view->editor()->flush();
            QCOMPARE(model()->prompt(), "a fox");
            gui::keyToFocus(Qt::Key_Escape);
            QCOMPARE(each.open(), nullptr);
            QCOMPARE(QApplication::focusWidget(), opener);

            // Again, to choose a card with Return.
            gui::keyToFocus(Qt::Key_Space);
            QVERIFY(each.open());
            for (int i = 0; i < 10 && focusedControl() != each.cards; ++i)
                gui::keyToFocus(Qt::Key_Tab);
            QCOMPARE(focusedControl(), each.cards);
            gui::keyToFocus(Qt::Key_Return);
            QCOMPARE(model()->prompt(), each.chosen);
            QCOMPARE(each.open(), nullptr);
            QCOMPARE(QApplication::focusWidget(), opener);
            model()->setPrompt("a fox");
        }

        // From the prompt, the sheet opens on its form: Escape closes the form, then the sheet, and the focus is
        // back on the button.
        GUI_REQUIRE(createPreset, QWidget, view.get(), "createPresetFromPrompt");
        QTRY_VERIFY(createPreset->isVisible());
        createPreset->setFocus(Qt::TabFocusReason);
        gui::keyToFocus(Qt::Key_Space);
        QTRY_VERIFY(view->gallery()->isPromptPresetsShown());
        auto* form = view->gallery()->findChild<QWidget*>("CreatePresetView");
        QVERIFY(form && QTest::qWaitForWindowActive(form) && form->focusWidget());
        QTest::keyClick(form->focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!view->gallery()->findChild<QWidget*>("CreatePresetView"));
        QVERIFY(view->gallery()->isPromptPresetsShown());
        QTRY_COMPARE(focusedControl(), "myPresetsTab");
        gui::keyToFocus(Qt::Key_Escape);
        QVERIFY(!view->gallery()->isPromptPresetsShown());
        QCOMPARE(QApplication::focusWidget(), createPreset);
    }

    void theGalleryIsHostedAndHandsOverRecreation() {
        QVERIFY(view->gallery());
        QVERIFY(view->gallery()->isVisible());
        QCOMPARE(view->gallery()->scale(), view->scale());
        auto record = VideoMetadata::make("Orvane_2.mp4", "from the gallery", "768P", 6, "image_to_video", true);
        record->setFirstFrameImageData(pngBytes(solidFrame(Qt::green)));
        world->environment.clearLog();
        emit world->gallery->recreateRequested(record.get());
        QCOMPARE(model()->prompt(), "from the gallery");
        GUI_REQUIRE(referenceSlot, FrameSlotView, view.get(), "referenceFrameSlot");
        QTRY_VERIFY(referenceSlot->tile());
        QCOMPARE(world->environment.logLines().first(), "✅ Recreated video: Orvane_2.mp4");
    }

    void promptPresetsOpenInTheGalleryPane() {
        GUI_REQUIRE(presetsButton, QWidget, view.get(), "promptPresetsButton");
        GUI_REQUIRE(placeholder, QWidget, view.get(), "promptPlaceholder");
        GUI_REQUIRE(createPreset, QWidget, view.get(), "createPresetFromPrompt");
        QVERIFY(gui::click(presetsButton));
        QVERIFY(model()->showPromptPresets());
        QTRY_VERIFY(view->gallery()->isPromptPresetsShown());
        QVERIFY(gui::click(presetsButton));
        QVERIFY(!model()->showPromptPresets());
        QTRY_VERIFY(!view->gallery()->isPromptPresetsShown());
        // From the prompt: the flag asks the panel for its create form, then falls back.
        view->editor()->setFocus();
        gui::type(view->editor(), "keep this");
        QVERIFY(!placeholder->isVisible()); // at once, not after the owner hears
        QTRY_VERIFY(createPreset->isVisible());
        QVERIFY(gui::click(createPreset));
        QTRY_VERIFY(view->gallery()->isPromptPresetsShown());
        QCOMPARE(model()->prompt(), "keep this");
        QVERIFY(!model()->shouldOpenCreatePreset());
        // The panel closing by itself clears the flag.
        view->gallery()->hidePromptPresets();
        QVERIFY(!model()->showPromptPresets());
    }

    // A new prompt preset starts from the prompt as it is when it is made, also one changed after the panel opened.
    void aNewPromptPresetStartsFromTheCurrentPrompt() {
        QTemporaryDir dir;
        const auto store = ModelSchema::openStore(dir.filePath("store.sqlite"));
        SwiftDataPromptPresetsManager prompts(store.get());
        AppEnvironment environment = world->env();
        environment.promptPresetsManager = &prompts;
        view = std::make_unique<ScenesView>(environment);
        view->resize(1200, 800);
        QVERIFY(gui::showActive(view.get()));
        model()->setPrompt("a fox");
        GUI_CLICK(view.get(), "promptPresetsButton");
        QTRY_VERIFY(view->gallery()->findChild<PromptPresetsView*>());
        auto* panel = view->gallery()->findChild<PromptPresetsView*>();
        model()->setPrompt("a fox at dusk");
        panel->browser()->startNewPreset();
        QCOMPARE(panel->browser()->form()->prompt(), QString("a fox at dusk"));
    }

    void recreateReplacesAFocusedEditor() {
        auto record = VideoMetadata::make("Orvane_1.mp4", "slow [Zoom in]", "768P", 6, "start_end_video", true);
        record->setFirstFrameImageData(pngBytes(solidFrame(Qt::red)));
        record->setLastFrameImageData(pngBytes(solidFrame(Qt::blue)));
        view->editor()->setFocus();
        gui::type(view->editor(), "typing");
        world->environment.clearLog();
        emit world->gallery->recreateRequested(record.get());
        QCOMPARE(view->editor()->toPlainText(), "slow [Zoom in]");
        QCOMPARE(world->environment.logLines().first(), "✅ Recreated video: Orvane_1.mp4");
        QCOMPARE(world->environment.logLines().last(), "   - Last frame: ✅");
        GUI_REQUIRE(endSlot, FrameSlotView, view.get(), "endFrameSlot");
        GUI_REQUIRE(startSlot, FrameSlotView, view.get(), "startFrameSlot");
        QTRY_VERIFY(endSlot->tile());
        QVERIFY(startSlot->isVisible());
        QTest::qWait(350);
        QCOMPARE(model()->prompt(), "slow [Zoom in]");
        QVERIFY(view->editor()->hasFocus());
    }

    void savingFrames() {
        GUI_REQUIRE(referenceSlot, FrameSlotView, view.get(), "referenceFrameSlot");
        model()->storeImage(ImageType::first, solidFrame(Qt::red, QSize(80, 60)));
        QTRY_VERIFY(referenceSlot->tile());
        // No photo folder: the panel asks; cancelled, nothing is written.
        QVERIFY(clickTileButton(referenceSlot, true));
        QCOMPARE(world->dialogs.saveRequests.size(), 1);
        QVERIFY(world->dialogs.saveRequests.first().suggestedName.startsWith("REF_"));
        // With a photo folder: straight in, the full picture.
        QDir(world->environment.root()).mkpath("Photos");
        world->downloadSettings->setBookmarkData(FolderBookmark::create(world->environment.path("Photos")));
        QVERIFY(clickTileButton(referenceSlot, true));
        QTRY_COMPARE(QDir(world->environment.path("Photos")).entryList(QDir::Files).size(), 1);
        QCOMPARE(world->dialogs.saveRequests.size(), 1);
        const QString file = QDir(world->environment.path("Photos")).entryList(QDir::Files).first();
        QTRY_COMPARE(model()->intake()->pendingSaves(), 0);
        QCOMPARE(QImage(world->environment.path("Photos/" + file)).size(), QSize(80, 60));
    }

    // A frame is saved and removed without a pointer: its buttons sit where the empty slot's button was in the
    // Tab order, and once it is removed the focus is on that button again.
    void aFrameIsSavedAndRemovedFromTheKeyboard() {
        GUI_REQUIRE(referenceSlot, FrameSlotView, view.get(), "referenceFrameSlot");
        GUI_REQUIRE(dropIcon, QWidget, referenceSlot, "referenceFrameDropIcon");
        dropIcon->setFocus(Qt::TabFocusReason);
        gui::keyToFocus(Qt::Key_Backtab);
        const QString before = focusedControl();
        model()->storeImage(ImageType::first, solidFrame(Qt::red, QSize(80, 60)));
        QTRY_VERIFY(referenceSlot->tile());

        QCOMPARE(focusedControl(), before);
        QCOMPARE(tabWalk(2), QStringList({before, "removeImageButton", "downloadImageButton"}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(world->dialogs.saveRequests.size(), 1);
        QVERIFY(world->dialogs.saveRequests.first().suggestedName.startsWith("REF_"));

        gui::keyToFocus(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), referenceSlot->tile()->removeButton());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTRY_VERIFY(!referenceSlot->tile());
        QVERIFY(!model()->hasFirstFrame());
        QCOMPARE(QApplication::focusWidget(), dropIcon);
    }

    void largeFramesAreScaledForTheTileOffTheGuiThread() {
        GUI_REQUIRE(referenceSlot, FrameSlotView, view.get(), "referenceFrameSlot");
        model()->storeImage(ImageType::first, solidFrame(Qt::red, QSize(3000, 2000)));
        QTRY_VERIFY(referenceSlot->tile());
        QCOMPARE(referenceSlot->shownImage().size(), QSize(1024, 682));
        QCOMPARE(model()->firstFrameImage()->size(), QSize(3000, 2000));
    }

    void leavingAndComingBackKeepsTheStudio() {
        model()->storeImage(ImageType::first, solidFrame(Qt::red));
        view->editor()->setFocus();
        gui::type(view->editor(), "kept");
        GUI_CLICK(view.get(), "backToImages");
        QCOMPARE(world->app->currentView(), ViewMode::imageGeneration);
        // A rebuilt studio takes the saved state back.
        view.reset();
        QCOMPARE(world->app->savedVideoPrompt(), "kept");
        view = std::make_unique<ScenesView>(world->env());
        QCOMPARE(view->editor()->toPlainText(), "kept");
        QVERIFY(view->model()->hasFirstFrame());
    }

    void theHeaderReportsOnlyThePhotoWork() {
        GUI_REQUIRE(status, QueueStatusIndicator, view.get(), "videoQueueStatus");
        GUI_REQUIRE(title, QLabel, view.get(), "videoStudioTitle");
        QCOMPARE(title->parentWidget(), status->parentWidget());
        QVERIFY(!status->isVisible());
        QCOMPARE(status->sizeHint(), QSize(0, 0));
        // The video side's own work belongs to this studio's queue block, not to the status.
        world->queue->addVideoTask(QString("a fox"), solidFrame(Qt::red), std::nullopt, VideoQuality::p768,
                                   VideoDuration::seconds6);
        QVERIFY(world->queue->hasVideoWork());
        QVERIFY(!world->queue->hasPhotoWork());
        QVERIFY(!status->isVisible());
        QVERIFY(!status->state().visible);
        QCOMPARE(status->state().text, world->queue->photoStatusText());
        QVERIFY(status->state().text != world->queue->videoStatusText());
        // The status follows the studio's scale.
        view->resize(2000, 900);
        QTRY_COMPARE(view->scale(), 1.6);
        GUI_REQUIRE(statusText, QLabel, view.get(), "queueStatusText");
        QCOMPARE(statusText->font().pixelSize(), 16);
    }

    void folderButton() {
        GUI_REQUIRE(button, GlassButton, view.get(), "videoFolderButton");
        // In the key window, where the button's own rule would draw every title in the primary colour.
        button->setColorScheme(ColorScheme::light);
        button->setControlActiveState(ControlActiveState::key);
        const int unset = strongestTitleInk(button);
        QDir(world->environment.root()).mkpath("Clips");
        world->videoSettings->setVideoDirectoryBookmark(FolderBookmark::create(world->environment.path("Clips")));
        QCOMPARE(button->title(), "Clips");
        QCOMPARE(button->toolTip(), "Change video save folder");
        const int chosen = strongestTitleInk(button);
        // "Choose Folder" is secondary, a folder's name primary.
        QVERIFY2(unset + 40 < chosen, qPrintable(QStringLiteral("%1 against %2").arg(unset).arg(chosen)));

        // A click asks for the folder; the chosen one is kept and named on the button.
        QDir(world->environment.root()).mkpath("Takes");
        world->dialogs.folderAnswer = world->environment.path("Takes");
        const qsizetype asked = world->dialogs.folderRequests.size();
        QVERIFY(gui::click(button));
        QCOMPARE(world->dialogs.folderRequests.size(), asked + 1);
        QCOMPARE(world->dialogs.folderRequests.last().message, "Choose folder for saving videos");
        QTRY_COMPARE(button->title(), "Takes");
        QCOMPARE(world->videoSettings->resolveVideoDirectoryURL().value_or(QString()),
                 world->environment.path("Takes"));
    }

private:
    // How far the darkest pixel of the title (right of the symbol) lies from the background.
    int strongestTitleInk(GlassButton* button) const {
        const QColor background = Theme::color(ColorRole::windowBackground, ColorScheme::light);
        QImage image(button->size(), QImage::Format_ARGB32);
        image.fill(background);
        button->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const double s = view->scale();
        int strongest = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = int(std::ceil((10 + 14 + 6) * s)); x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                strongest =
                    std::max({strongest, std::abs(c.red() - background.red()), std::abs(c.green() - background.green()),
                              std::abs(c.blue() - background.blue())});
            }
        }
        return strongest;
    }
};

QTEST_MAIN(ScenesViewTest)
#include "tst_scenes_view.moc"
