#include "APIManager.h"
#include "AppViewModel.h"
#include "BuiltInImagePreset.h"
#include "ContentView.h"
#include "ContextRing.h"
#include "CraftedPng.h"
#include "Defaults.h"
#include "DownloadSettings.h"
#include "FakeGeminiService.h"
#include "FolderBookmark.h"
#include "Glass.h"
#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "ImagePresetsBrowser.h"
#include "ImageServiceFactory.h"
#include "ImageSettingsPopover.h"
#include "ImageStudioModel.h"
#include "ImageTiles.h"
#include "LeftPanel.h"
#include "ModelSchema.h"
#include "Motion.h"
#include "OrvaneAPIService.h"
#include "PresetFormModel.h"
#include "QueueManager.h"
#include "QueueStatusIndicator.h"
#include "ResultPictureView.h"
#include "RightPanel.h"
#include "Spinner.h"
#include "StudioTestBase.h"
#include "StudioTestSupport.h"
#include "SwiftDataImagePresetsManager.h"
#include "SymbolIcon.h"
#include "TestSupport.h"
#include "Theme.h"
#include "UserImagePresetsView.h"
#include "VirtualClock.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGraphicsOpacityEffect>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMap>
#include <QMimeData>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

// Clicks the studio's button of that name; fails naming it when it is missing, hidden or disabled, and leaves the
// test function then.
#define STUDIO_CLICK(name)                                                                                             \
    do {                                                                                                               \
        GUI_REQUIRE(clicked_, QAbstractButton, view_.get(), name);                                                     \
        GUI_CHECK(click(clicked_));                                                                                    \
    } while (false)

namespace {
// `widget` drawn on a transparent image as its parent draws it, through whatever fades it, without the parent's
// background.
QImage drawnAlone(QWidget* widget) {
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QWidget* parent = widget->parentWidget();
    const bool fills = parent->autoFillBackground();
    parent->setAutoFillBackground(false);
    parent->render(&image, QPoint(), QRegion(widget->geometry()), QWidget::DrawChildren);
    parent->setAutoFillBackground(fills);
    return image;
}

// How opaque `widget` draws the pixel at `at`, to two decimals.
double drawnOpacity(QWidget* widget, QPoint at) {
    return std::round(qAlpha(drawnAlone(widget).pixel(at)) / 255.0 * 100) / 100;
}

// Pixels farther apart than `tolerance` in any channel (premultiplied).
int differingPixels(const QImage& a, const QImage& b, int tolerance) {
    if (a.size() != b.size())
        return a.width() * a.height() + 1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance || std::abs(qAlpha(p) - qAlpha(q)) > tolerance)
                ++count;
        }
    }
    return count;
}
} // namespace

// Records how long the dashed outlines a widget strokes are, to tell what it strokes as curves.
class DashedStrokeEngine final : public QPaintEngine {
public:
    DashedStrokeEngine() : QPaintEngine(AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & DirtyPen)
            dashed_ = state.pen().style() == Qt::CustomDashLine || state.pen().style() == Qt::DashLine;
    }
    void drawPath(const QPainterPath& path) override {
        if (dashed_)
            length += path.length();
    }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode) override {
        for (int i = 1; dashed_ && i < count; ++i)
            length += QLineF(points[i - 1], points[i]).length();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    Type type() const override { return User; }

    double length = 0;

private:
    bool dashed_ = false;
};

class DashedStrokeDevice final : public QPaintDevice {
public:
    explicit DashedStrokeDevice(QSize size) : size_(size) {}
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable DashedStrokeEngine engine;

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return size_.width();
        case PdmHeight:
            return size_.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(metric);
        }
    }

private:
    QSize size_;
};

// The image studio's real widgets, driven offscreen with keys, clicks and drops against the fake Gemini service.
class ImageStudioViewTest : public StudioTestBase {
    Q_OBJECT

    std::unique_ptr<ContentView> view_;

    ImageStudioModel& model() { return *view_->model(); }
    QPlainTextEdit* editor() { return view_->leftPanel()->promptEditor(); }
    ImageGenerationService& service() { return *view_->model()->factory()->currentService(); }

    void click(QAbstractButton* target) {
        QVERIFY(target);
        QVERIFY2(target->isVisible(), qPrintable(target->objectName()));
        QVERIFY2(target->isEnabled(), qPrintable(target->objectName()));
        QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
    }

    void type(const QString& text) {
        editor()->setFocus();
        QTest::keyClicks(editor(), text);
    }

    bool waitForState(StudioRules::ResultState state) {
        return clock_->runUntil([this, state] { return view_->rightPanel()->shownState() == state; });
    }

    // Types a prompt, presses Return and waits for the outcome on screen.
    void generateWithReturn(const QString& prompt) {
        type(prompt);
        QTest::keyClick(editor(), Qt::Key_Return);
        QVERIFY(clock_->runUntil([this] { return !fake_->generateRequests().isEmpty() && !service().isLoading(); }));
    }

    void drop(QWidget* target, QMimeData* data) {
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QVERIFY(model().isDragOver());
        QDropEvent dropped(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        QVERIFY(!model().isDragOver());
    }

    QStringList pictureFiles(int count) {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << writePicture(QDir(files_->path()), QStringLiteral("p%1.png").arg(i),
                                  testPicture(40 + i, 30, QColor(20 * i, 90, 160)));
        return paths;
    }

    // Answers the open panel with `paths` and clicks the studio's button named `opener`; fails naming the button
    // when it is missing.
    void pick(const QStringList& paths, const QString& opener, const char* file = __builtin_FILE(),
              int line = __builtin_LINE()) {
        dialogs_->openAnswer = paths;
        auto* button = gui::require<QAbstractButton>(view_.get(), opener, file, line);
        if (!button)
            return;
        click(button);
        if (QTest::currentTestFailed())
            return;
        // The panel answers from the event loop, then the pictures load on workers.
        QTRY_COMPARE(dialogs_->openRequests.size() > 0 && dialogs_->pendingAsync() == 0, true);
        QCoreApplication::processEvents();
        QTRY_COMPARE(model().pendingReferenceLoads(), 0);
    }

    // Lets `seconds` of virtual time pass (and a fraction of a second of real time when nothing sleeps).
    // What a widget paints itself, over nothing.
    static QImage ownInk(QWidget* widget) {
        QImage image(widget->size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }

    void letTimePass(double seconds) {
        clock_->runUntil([] { return false; }, seconds, 300);
    }

private slots:
    void init() {
        setUpServices();
        view_ = std::make_unique<ContentView>(environment());
        view_->resize(1000, 800);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        connect(view_->model(), &ImageStudioModel::revealRequested, this,
                [this](const QString& path) { revealed_ << path; });
    }

    void cleanup() {
        Theme::instance().setColorScheme(std::nullopt);
        view_.reset();
        tearDownServices();
    }

    // --- prompt and keys ---

    void everyControlIsNamed() {
        GUI_CHECK(pick(pictureFiles(3), "uploadReference"));
        STUDIO_CLICK("imageModelSettings");
        QVERIFY2(gui::unnamedControls(view_.get()).isEmpty(), qPrintable(gui::unnamedControls(view_.get()).join(", ")));
        QVERIFY2(gui::unnamedControls(view_->leftPanel()->settingsPopover()).isEmpty(),
                 qPrintable(gui::unnamedControls(view_->leftPanel()->settingsPopover()).join(", ")));
    }

    void shiftReturnBreaksTheLineAndReturnGenerates() {
        GUI_REQUIRE(generate, QAbstractButton, view_.get(), "generateNow");
        GUI_REQUIRE(newChat, QAbstractButton, view_.get(), "newChat");
        QVERIFY(!generate->isEnabled());
        QVERIFY(!newChat->isEnabled());
        QCOMPARE(view_->rightPanel()->shownState(), StudioRules::ResultState::ready);
        // A no-break space is sent as typed.
        type(QStringLiteral("a\u00A0lighthouse"));
        QTest::keyClick(editor(), Qt::Key_Return, Qt::ShiftModifier);
        type("at dusk");
        QCOMPARE(editor()->toPlainText(), QString("a lighthouse\nat dusk"));
        QCOMPARE(model().prompt(), QStringLiteral("a\u00A0lighthouse\nat dusk"));
        QVERIFY(generate->isEnabled());

        // A slow answer, so that the waiting state can be seen.
        fake_->script.append(FakeGeminiService::Reply::json(FakeGeminiService::pictureResponse()));
        fake_->script.back().delayMs = 300;
        QTest::keyClick(editor(), Qt::Key_Return);
        QCOMPARE(editor()->toPlainText(), QString("a lighthouse\nat dusk"));
        // The factory passes the service's changes on a turn later.
        QVERIFY(clock_->runUntil([generate] { return generate->text() == "Generating..."; }));
        QVERIFY(!generate->isEnabled());
        GUI_REQUIRE(loadingText, QLabel, view_.get(), "loadingText");
        GUI_REQUIRE(loading, QWidget, view_.get(), "loadingTaskView");
        QCOMPARE(loadingText->text(), QString("Waiting in queue..."));
        QVERIFY(loading->isVisible());

        QVERIFY(clock_->runUntil([this] { return view_->rightPanel()->isResultPictureShown(); }));
        QCOMPARE(fake_->generateRequests().size(), 1);
        const auto parts = fake_->generateRequests()[0].json["contents"][0]["parts"];
        QCOMPARE(QString::fromStdString(parts[0]["text"].get<std::string>()),
                 QStringLiteral("a\u00A0lighthouse\nat dusk") + OrvaneAPIService::landscapeInstruction);
        GUI_REQUIRE(result, ResultPictureView, view_.get(), "resultPicture");
        QCOMPARE(result->image().size(), FakeGeminiService::samplePicture().size());
        QCOMPARE(generate->text(), QString("Generate Now"));
        QVERIFY(newChat->isEnabled());
        for (const char* name : {"imageToImage", "imageToVideo", "showInFinder"}) {
            GUI_REQUIRE(action, QAbstractButton, view_.get(), name);
            QVERIFY2(action->isVisible(), name);
        }
        GUI_REQUIRE(startFrame, QAbstractButton, view_.get(), "startFrame");
        QVERIFY(!startFrame->isVisible());
        // No text: the bubble button is off.
        GUI_REQUIRE(textButton, QAbstractButton, view_.get(), "textResponseButton");
        QVERIFY(!textButton->isEnabled());
    }

    void tabLeavesThePromptForTheControlsAfterIt() {
        GUI_REQUIRE(generate, QAbstractButton, view_.get(), "generateNow");
        type("a lighthouse");
        QTest::keyClick(editor(), Qt::Key_Tab);
        QCOMPARE(editor()->toPlainText(), QString("a lighthouse"));
        QVERIFY(!editor()->hasFocus());
        // On round the composer to the generate button.
        QStringList visited;
        for (int i = 0; i < 12 && QApplication::focusWidget() && !generate->hasFocus(); ++i) {
            visited << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QVERIFY2(generate->hasFocus(), qPrintable(visited.join(", ")));
        QVERIFY2(visited.contains("imagePresets"), qPrintable(visited.join(", ")));
    }

    void clickingGenerateNowLeavesTheFocusInThePrompt() {
        QVERIFY(gui::showActive(view_.get()));
        type("a lighthouse");
        STUDIO_CLICK("generateNow");
        QVERIFY(clock_->runUntil([this] { return !fake_->generateRequests().isEmpty() && !service().isLoading(); }));
        QCOMPARE(QApplication::focusWidget(), editor());
    }

    void modifiedReturnCountsAsReturnAndBlankPromptsDoNothing() {
        type("   ");
        QTest::keyClick(editor(), Qt::Key_Return);
        GUI_REQUIRE(generate, QAbstractButton, view_.get(), "generateNow");
        QVERIFY(!generate->isEnabled());
        QTest::qWait(20);
        QCOMPARE(fake_->generateRequests().size(), 0);
        type("x");
        QTest::keyClick(editor(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(clock_->runUntil([this] { return fake_->generateRequests().size() == 1 && !service().isLoading(); }));
        QCOMPARE(editor()->toPlainText(), QString("   x"));
    }

    void twoReturnsInOneTurnSendOneRequest() {
        type("boat");
        QTest::keyClick(editor(), Qt::Key_Return);
        QTest::keyClick(editor(), Qt::Key_Return);
        GUI_REQUIRE(generate, QAbstractButton, view_.get(), "generateNow");
        QVERIFY(!generate->isEnabled());
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        letTimePass(30);
        QCOMPARE(fake_->generateRequests().size(), 1);
        QVERIFY(!service().isLoading());
        QVERIFY(generate->isEnabled());
    }

    void pastedTextIsCutAndTheCounterTurnsRed() {
        editor()->setFocus();
        editor()->insertPlainText(QString(2300, 'a'));
        GUI_REQUIRE(counter, QLabel, view_.get(), "promptCounter");
        QCOMPARE(counter->text(), QString("2300/2500"));
        const QColor calm = counter->palette().color(QPalette::WindowText);
        QTest::keyClicks(editor(), "b");
        QCOMPARE(counter->text(), QString("2301/2500"));
        QCOMPARE(counter->palette().color(QPalette::WindowText), QColor(255, 59, 48));
        QVERIFY(calm != QColor(255, 59, 48));
        editor()->insertPlainText(QString(3000, 'c'));
        QCOMPARE(editor()->toPlainText().size(), 2500);
        QCOMPARE(counter->text(), QString("2500/2500"));
        GUI_REQUIRE(clear, QAbstractButton, view_.get(), "clearPrompt");
        GUI_CHECK(click(clear));
        QCOMPARE(editor()->toPlainText(), QString());
        QCOMPARE(counter->text(), QString("0/2500"));
        QVERIFY(!clear->isVisible());
    }

    // --- references ---

    // The studio hands its saved list again each time it appears: the same pictures keep the tiles they have (and
    // the focus in them).
    void theSameReferencesAgainKeepTheirTiles() {
        GUI_REQUIRE(zone, QWidget, view_.get(), "dropZone");
        const QPointer<QWidget> emptyZone(zone);
        model().appear();
        QVERIFY(emptyZone);
        GUI_CHECK(pick(pictureFiles(1), "uploadReference"));
        QVERIFY(!emptyZone);
        GUI_REQUIRE(single, QWidget, view_.get(), "singleReference");
        const QPointer<QWidget> tiles(single);
        model().appear();
        QCOMPARE(model().referenceImages().size(), 1);
        QVERIFY(tiles);
    }

    void referencesThroughThePickerAndDropsUpToNine() {
        GUI_REQUIRE(header, QLabel, view_.get(), "referenceHeader");
        GUI_REQUIRE(addMore, QAbstractButton, view_.get(), "addMoreImages");
        GUI_REQUIRE(area, QWidget, view_.get(), "referenceArea");
        QCOMPARE(header->text(), QString("Reference Images (Optional) 0/9"));
        GUI_REQUIRE(zone, QWidget, view_.get(), "dropZone");
        QVERIFY(!addMore->isVisible());
        // A drag that leaves again adds nothing and clears the highlight.
        QMimeData passing;
        passing.setUrls({QUrl::fromLocalFile(pictureFiles(1)[0])});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &passing, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area, &enter);
        QVERIFY(model().isDragOver());
        QDragLeaveEvent leave;
        QApplication::sendEvent(area, &leave);
        QVERIFY(!model().isDragOver());
        GUI_CHECK(pick(pictureFiles(1), "uploadReference"));
        QCOMPARE(header->text(), QString("Reference Images (Optional) 1/9"));
        GUI_REQUIRE(single, QWidget, view_.get(), "singleReference");
        QCOMPARE(single->findChildren<SingleImageView*>().size(), 1);
        QVERIFY(addMore->isVisible());

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(writePicture(QDir(files_->path()), "d.png", testPicture(70, 50)))});
        drop(area, &data);
        QTRY_COMPARE(model().referenceImages().size(), 2);
        GUI_REQUIRE(pair, QWidget, view_.get(), "referencePair");
        QCOMPARE(pair->findChildren<FlexibleImageView*>().size(), 2);
        QCOMPARE(view_->leftPanel()->shownReferenceCount(), 2);

        QStringList more = pictureFiles(8);
        GUI_CHECK(pick(more, "addMoreImages"));
        QCOMPARE(model().referenceImages().size(), 9);
        QCOMPARE(header->text(), QString("Reference Images (Optional) 9/9"));
        QVERIFY(!addMore->isVisible());
        QCOMPARE(view_->findChildren<AdaptiveImageThumbnailView*>().size(), 9);
        QCOMPARE(app_->savedPhotoReferenceImages().size(), 9);

        // The tenth is refused.
        QMimeData tenth;
        tenth.setUrls({QUrl::fromLocalFile(more.last())});
        env_->clearLog();
        drop(area, &tenth);
        QTRY_COMPARE(model().pendingReferenceLoads(), 0);
        QCOMPARE(model().referenceImages().size(), 9);
        QVERIFY(env_->logLines().contains("🔵 Failed to add image: nsImage=true, count=9, maxImages=9"));
    }

    void theStripHighlightsOnlyForPictures() {
        GUI_REQUIRE(area, QWidget, view_.get(), "referenceArea");
        QFile notes(files_->filePath("notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not a picture");
        notes.close();
        QMimeData text;
        text.setText("a lighthouse");
        QMimeData textFile;
        textFile.setUrls({QUrl::fromLocalFile(notes.fileName())});
        QMimeData remote;
        remote.setUrls({QUrl("https://example.com/page")});
        QMimeData pictureFile;
        pictureFile.setUrls({QUrl::fromLocalFile(pictureFiles(1)[0])});
        QMimeData pictureData;
        pictureData.setImageData(testPicture(20, 20));
        for (const auto& [name, data, picture] : {std::tuple{"text", &text, false},
                                                  {"text file", &textFile, false},
                                                  {"web address", &remote, false},
                                                  {"picture file", &pictureFile, true},
                                                  {"picture data", &pictureData, true}}) {
            QDragEnterEvent enter(area->rect().center(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            enter.setAccepted(false);
            QApplication::sendEvent(area, &enter);
            QVERIFY2(enter.isAccepted() == picture, name);
            QVERIFY2(model().isDragOver() == picture, name);
            QDragLeaveEvent leave;
            QApplication::sendEvent(area, &leave);
            QVERIFY2(!model().isDragOver(), name);
        }
    }

    void dropsThatAreNoPictureOrTooLargeAreLoggedAndLeaveTheZoneAsItWas() {
        const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"30\">"
                               "<rect width=\"40\" height=\"30\" fill=\"red\"/></svg>";
        const auto writeFile = [this](const QString& name, const QByteArray& bytes) {
            QFile file(files_->filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write(bytes);
            return file.fileName();
        };
        struct Case {
            QString name;
            QUrl url;
            QByteArray svgData;
            QString line;
        };
        GUI_REQUIRE(area, QWidget, view_.get(), "referenceArea");
        GUI_REQUIRE(header, QLabel, view_.get(), "referenceHeader");
        const QString notAPicture = "❌ Error loading image: Unsupported image format";
        const QList<Case> cases{
            {"SVG file", QUrl::fromLocalFile(writeFile("drawing.svg", svg)), {}, notAPicture},
            {"SVG data", {}, svg, notAPicture},
            {"PNG header of 100000 x 100000",
             QUrl::fromLocalFile(writeFile("huge.png", CraftedPng::make(100000, 100000, false))),
             {},
             "❌ Error loading image: The image is too large to read."},
        };
        for (const Case& c : cases) {
            QMimeData data;
            if (c.url.isValid())
                data.setUrls({c.url});
            else
                data.setData("image/svg+xml", c.svgData);
            env_->clearLog();
            drop(area, &data);
            QTRY_COMPARE(model().pendingReferenceLoads(), 0);
            QVERIFY2(env_->logLines().contains(c.line), qPrintable(c.name + ": " + env_->logLines().join(" | ")));
            QVERIFY2(model().referenceImages().isEmpty(), qPrintable(c.name));
            QVERIFY2(!model().isDragOver(), qPrintable(c.name));
            GUI_REQUIRE(zone, QWidget, view_.get(), "dropZone");
            QVERIFY2(zone->isVisible(), qPrintable(c.name));
            QCOMPARE(header->text(), QString("Reference Images (Optional) 0/9"));
        }
    }

    void aClickAnywhereOnTheEmptyZoneOpensThePanel() {
        dialogs_->openAnswer = pictureFiles(2);
        GUI_REQUIRE(zone, QWidget, view_.get(), "dropZone");
        QTest::mouseClick(zone, Qt::LeftButton, {}, QPoint(8, zone->height() - 8));
        QTRY_COMPARE(model().referenceImages().size(), 2);
        QCOMPARE(dialogs_->openRequests.size(), 1);
        QCOMPARE(dialogs_->openRequests[0].message, QString("Choose images to add as reference"));
        QVERIFY(dialogs_->openRequests[0].allowsMultipleSelection);
    }

    void gridHasTwoColumnsAtNominalScaleAndThreeWhenWide() {
        GUI_CHECK(pick(pictureFiles(5), "uploadReference"));
        GUI_REQUIRE(grid, QWidget, view_.get(), "referenceGrid");
        QCOMPARE(view_->scale(), 1.0);
        const auto tiles = grid->findChildren<AdaptiveImageThumbnailView*>();
        QCOMPARE(tiles.size(), 5);
        QTRY_VERIFY(tiles[2]->y() > tiles[0]->y());
        QCOMPARE(tiles[1]->y(), tiles[0]->y());
        QCOMPARE(tiles[0]->size(), QSize(70, 70));

        view_->resize(1300, 800);
        QTRY_COMPARE(view_->scale(), 1.3);
        QCOMPARE(view_->leftPanel()->gridColumnCount(), 3);
        GUI_REQUIRE(wideGrid, QWidget, view_.get(), "referenceGrid");
        const auto wide = wideGrid->findChildren<AdaptiveImageThumbnailView*>();
        QTRY_VERIFY(wide[3]->y() > wide[0]->y());
        QCOMPARE(wide[2]->y(), wide[0]->y());
        QCOMPARE(wide[0]->size(), QSize(91, 91));
    }

    // Also after a change of scale has built them again: Shift+Tab from the prompt reaches the strip's last control.
    void theStripComesRightBeforeThePromptForTheKeyboard_data() {
        QTest::addColumn<int>("references");
        QTest::addColumn<QString>("lastStop");
        QTest::newRow("none") << 0 << "uploadReference";
        QTest::newRow("one") << 1 << "referenceTile0";
        QTest::newRow("nine") << 9 << "referenceTile8";
    }
    void theStripComesRightBeforeThePromptForTheKeyboard() {
        QFETCH(int, references);
        QFETCH(QString, lastStop);
        if (references > 0)
            GUI_CHECK(pick(pictureFiles(references), "uploadReference"));
        view_->resize(1600, 900);
        QTRY_COMPARE(view_->scale(), 1.6);
        GUI_REQUIRE(stop, QWidget, view_.get(), lastStop);
        QTRY_VERIFY(stop->isVisible());
        editor()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(editor(), Qt::Key_Backtab);
        QVERIFY(stop == view_->focusWidget() || stop->isAncestorOf(view_->focusWidget()));
    }

    void aOneBitReferenceShowsItsColourNotDots() {
        QImage mono(400, 300, QImage::Format_Mono);
        mono.setColorTable({qRgb(25, 100, 150), qRgb(25, 100, 150)});
        mono.fill(0);
        GUI_CHECK(pick(QStringList(3, writePicture(QDir(files_->path()), "mono.png", mono)), "uploadReference"));
        GUI_REQUIRE(tile, ImageTile, view_.get(), "referenceTile0");
        const QPoint inside(int(tile->pictureRect().left()) + 10, int(tile->pictureRect().center().y()));
        QCOMPARE(QColor(tile->grab().toImage().pixel(inside)), QColor(25, 100, 150));
    }

    void tileButtonsRemoveAndDownload() {
        const QString folder = files_->filePath("photos");
        QDir().mkpath(folder);
        downloads_->setBookmarkData(FolderBookmark::create(folder));
        GUI_CHECK(pick(pictureFiles(3), "uploadReference"));
        auto tiles = view_->findChildren<AdaptiveImageThumbnailView*>();
        QTRY_VERIFY(tiles[1]->isVisible() && tiles[1]->width() > 0);
        QVERIFY(!tiles[1]->removeButton() || !tiles[1]->removeButton()->isVisible());
        gui::hover(tiles[1]);
        QVERIFY(tiles[1]->isHovered());
        QVERIFY(tiles[1]->removeButton() && tiles[1]->downloadButton());
        click(tiles[1]->downloadButton());
        QTRY_COMPARE(revealed_.size(), 1);
        QCOMPARE(workspace_->revealed, QList<QStringList>{revealed_});
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
        const QImage second = model().referenceImages()[1];
        click(tiles[1]->removeButton());
        QCOMPARE(model().referenceImages().size(), 2);
        QVERIFY(!model().referenceImages().contains(second));
        GUI_REQUIRE(pair, QWidget, view_.get(), "referencePair");
    }

    // --- settings popover ---

    void settingsPopoverChoosesModelAndCreativity() {
        STUDIO_CLICK("imageModelSettings");
        ImageSettingsPopover* popover = view_->leftPanel()->settingsPopover();
        QVERIFY(popover && popover->isVisible());
        QCOMPARE(popover->markedLevels(), QStringList{"Balanced"});
        QVERIFY(popover->modelButtons()[0]->isChecked());
        click(popover->modelButtons()[1]);
        QCOMPARE(Defaults::standard().string("selectedImageModel"),
                 std::optional<QString>("gemini-3-pro-image-preview"));
        QCOMPARE(view_->model()->factory()->orvaneService()->currentModel(), ImageModel::pro);
        QVERIFY(popover->modelButtons()[1]->isChecked());

        GUI_REQUIRE(wild, QAbstractButton, popover, "creativity_Wild");
        GUI_REQUIRE(precise, QAbstractButton, popover, "creativity_Precise");
        click(wild);
        QCOMPARE(view_->model()->factory()->temperature(), 2.0);
        QCOMPARE(popover->markedLevels(), QStringList{"Wild"});
        click(precise);
        QCOMPARE(view_->model()->factory()->temperature(), 0.0);
        QCOMPARE(Defaults::standard().number("imageGenerationTemperature"), std::optional<double>(0.0));

        view_->model()->factory()->setTemperature(0.75);
        QCOMPARE(popover->markedLevels(), QStringList{"Balanced"});
        view_->model()->factory()->setTemperature(0.8);
        QCOMPARE(popover->markedLevels(), QStringList{});

        // The next request goes to the chosen model.
        generateWithReturn("boat");
        QVERIFY(fake_->generateRequests()[0].path.contains("gemini-3-pro-image-preview"));
    }

    // Both choices are radio groups to the keyboard and to assistive tools, and every path that checks a button
    // sets the factory; a value shown from the factory is never taken back as a choice.
    // With the focus in the prompt, the prompt alone says it has the focus: not the pane it is drawn on.
    void onlyThePromptReportsTheFocus() {
        view_->window()->show();
        QApplication::setActiveWindow(view_->window());
        QVERIFY(QTest::qWaitForWindowActive(view_->window()));
        editor()->setFocus(Qt::TabFocusReason);
        QVERIFY(editor()->hasFocus());
        QVERIFY(QAccessible::queryAccessibleInterface(editor())->state().focused);
        QVERIFY(!QAccessible::queryAccessibleInterface(editor()->viewport())->state().focused);
        // A click on the text still puts the focus in the prompt.
        editor()->clearFocus();
        QTest::mouseClick(editor()->viewport(), Qt::LeftButton);
        QVERIFY(editor()->hasFocus());
    }

    void theSettingsChoicesAreRadioGroups() {
        STUDIO_CLICK("imageModelSettings");
        ImageSettingsPopover* popover = view_->leftPanel()->settingsPopover();
        QVERIFY(popover && popover->isVisible());
        ImageServiceFactory* factory = view_->model()->factory();
        const auto heardChecked = [popover] {
            QStringList checked;
            for (QAbstractButton* button : popover->findChildren<QAbstractButton*>()) {
                QAccessibleInterface* face = QAccessible::queryAccessibleInterface(button);
                if (face->role() != QAccessible::RadioButton)
                    checked << "not a radio button: " + button->objectName();
                else if (face->state().checked)
                    checked << face->text(QAccessible::Name);
            }
            return checked;
        };
        const auto toggle = [popover](const QString& name) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(gui::find(popover, name));
            QVERIFY(face && face->actionInterface());
            face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        };
        QCOMPARE(heardChecked(), QStringList({"Gemini 3.1 Image", "Balanced"}));

        // One Tab stop per group, the chosen button; the arrows move the choice.
        QAbstractButton* flash = popover->modelButtons()[0];
        GUI_REQUIRE(balanced, QAbstractButton, popover, "creativity_Balanced");
        QTRY_COMPARE(QApplication::focusWidget(), flash);
        gui::keyToFocus(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), balanced);
        gui::keyToFocus(Qt::Key_Right);
        QCOMPARE(factory->temperature(), 1.2);
        QCOMPARE(heardChecked(), QStringList({"Gemini 3.1 Image", "Creative"}));
        gui::keyToFocus(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), flash);
        gui::keyToFocus(Qt::Key_Right);
        QCOMPARE(factory->selectedImageModel(), ImageModel::pro);
        QCOMPARE(heardChecked(), QStringList({"Gemini 3 Pro", "Creative"}));

        // The accessible toggle chooses as a click does.
        toggle("creativity_Wild");
        QCOMPARE(factory->temperature(), 2.0);
        toggle(flash->objectName());
        QCOMPARE(factory->selectedImageModel(), ImageModel::flash);
        QCOMPARE(heardChecked(), QStringList({"Gemini 3.1 Image", "Wild"}));

        // Near a level marks it and leaves the value; a tap on the marked level sets its own.
        factory->setTemperature(0.75);
        QCOMPARE(heardChecked(), QStringList({"Gemini 3.1 Image", "Balanced"}));
        QCOMPARE(factory->temperature(), 0.75);
        factory->setTemperature(0.8);
        QCOMPARE(heardChecked(), QStringList({"Gemini 3.1 Image"}));
        factory->setTemperature(0.75);
        click(balanced);
        QCOMPARE(factory->temperature(), 0.7);
    }

    void theStudioSwitchFollowsTheScale() {
        GUI_REQUIRE(toVideo, QAbstractButton, view_.get(), "switchToVideoStudio");
        view_->resize(2000, 900);
        QTRY_COMPARE(view_->scale(), 1.6);
        QVERIFY2(std::abs(toVideo->sizeHint().width() - 32 * 1.6) < 1,
                 qPrintable(QString::number(toVideo->sizeHint().width())));
        view_->resize(1000, 800);
        QTRY_COMPARE(view_->scale(), 1.0);
        QCOMPARE(toVideo->sizeHint(), QSize(32, 32));
    }

    void textsFollowASwitchOfAppearance() {
        Theme::instance().setColorScheme(ColorScheme::light);
        GUI_REQUIRE(name, QLabel, view_.get(), "studioName");
        QCOMPARE(name->palette().color(QPalette::WindowText), Theme::color(ColorRole::secondary, ColorScheme::light));
        STUDIO_CLICK("imageModelSettings");
        ImageSettingsPopover* popover = view_->leftPanel()->settingsPopover();
        QVERIFY(popover);
        Theme::instance().setColorScheme(ColorScheme::dark);
        QCOMPARE(name->palette().color(QPalette::WindowText), Theme::color(ColorRole::secondary, ColorScheme::dark));
        // The marked level's label and the folder's name are light on the dark background now.
        const QColor background = Theme::color(ColorRole::windowBackground, ColorScheme::dark);
        const auto lightestInk = [&](QWidget* widget, int from) {
            QImage image(widget->size(), QImage::Format_ARGB32);
            image.fill(background);
            widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            int lightest = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = from; x < image.width(); ++x)
                    lightest = std::max(lightest, qGray(image.pixel(x, y)) - qGray(background.rgb()));
            }
            return lightest;
        };
        GUI_REQUIRE(balanced, QLabel, popover, "creativityLabel_Balanced");
        GUI_REQUIRE(folder, QAbstractButton, view_.get(), "photoFolder");
        QVERIFY(lightestInk(balanced, 0) > 60);
        QVERIFY(lightestInk(folder, int(std::ceil(30 * view_->scale()))) > 40);
    }

    // A studio made for a wide window has its fonts at the scale before it shows.
    void aWideStudioStartsAtItsScale() {
        ContentView wide(environment(), nullptr, 2000);
        QCOMPARE(wide.scale(), 1.6);
        struct Expected {
            const char* name;
            double size; // before the scale
        };
        for (const Expected& expected :
             {Expected{"studioTitle", 28}, Expected{"studioName", 16}, Expected{"referenceHeader", 15},
              Expected{"promptTitle", 15}, Expected{"promptCounter", 11}, Expected{"promptEditor", 14},
              Expected{"resultTitle", 15}, Expected{"readyTitle", 15}, Expected{"readySubtitle", 13}}) {
            GUI_REQUIRE(widget, QWidget, &wide, expected.name);
            QVERIFY2(std::abs(widget->font().pixelSize() - expected.size * 1.6) <= 0.5,
                     qPrintable(QStringLiteral("%1: %2 px").arg(expected.name).arg(widget->font().pixelSize())));
        }
        GUI_REQUIRE(indicator, QueueStatusIndicator, &wide, "photoQueueStatus");
        QCOMPARE(indicator->scale(), 1.6);
    }

    // The prompt box's fill shows through the empty editor, whose placeholder keeps the default font while the
    // typed text follows the scale.
    void theEmptyPromptShowsItsPlaceholderOnTheBox() {
        Theme::instance().setColorScheme(ColorScheme::dark);
        view_->resize(2000, 900);
        QTRY_COMPARE(view_->scale(), 1.6);
        QVERIFY(editor()->toPlainText().isEmpty());
        GUI_REQUIRE(box, QWidget, view_.get(), "promptBox");
        const QImage boxImage = box->grab().toImage();
        const QPoint inside = editor()->mapTo(box, QPoint(editor()->width() / 2, editor()->height() - 4));
        QCOMPARE(QColor(boxImage.pixel(inside)), Theme::color(ColorRole::controlBackground, ColorScheme::dark));
        // The placeholder's ink: as high as a line of the default font, not of the prompt's scaled one.
        const QImage text = ownInk(editor()->viewport());
        int top = text.height(), bottom = -1;
        for (int y = 0; y < text.height(); ++y) {
            for (int x = 0; x < text.width(); ++x) {
                if (qAlpha(text.pixel(x, y)) > 0) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        QVERIFY(bottom >= top);
        const int inkHeight = bottom - top + 1;
        QVERIFY2(inkHeight <= QFontMetrics(QApplication::font()).height(), qPrintable(QString::number(inkHeight)));
        QVERIFY(QFontMetrics(editor()->font()).height() > QFontMetrics(QApplication::font()).height());
    }

    // The ready symbol stands on a faint orange square with rounded corners.
    void theReadySymbolStandsOnARoundedTint() {
        GUI_REQUIRE(symbol, QLabel, view_.get(), "readySymbol");
        QCOMPARE(symbol->size(), QSize(100, 100));
        const QImage image = ownInk(symbol);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // the corner is round
        const QColor edge = image.pixelColor(50, 1);
        QVERIFY2(edge.alpha() >= 20 && edge.alpha() <= 32, qPrintable(QString::number(edge.alpha())));
        QVERIFY2(edge.red() > 240 && edge.green() > 120 && edge.green() < 175 && edge.blue() < 30,
                 qPrintable(edge.name(QColor::HexArgb)));
        QCOMPARE(image.pixelColor(1, 50), edge);
    }

    void theFolderButtonShowsAnOrangeFolderBesideASmallerName() {
        Theme::instance().setColorScheme(ColorScheme::light);
        GUI_REQUIRE(folder, QAbstractButton, view_.get(), "photoFolder");
        const QColor background = Theme::instance().color(ColorRole::windowBackground);
        QImage image(folder->size(), QImage::Format_ARGB32);
        image.fill(background);
        folder->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const double scale = view_->scale();
        const int symbolLeft = int(10 * scale), symbolRight = int(std::ceil((10 + 14) * scale));
        int orangeInSymbol = 0, orangeInName = 0, nameTop = -1, nameBottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const bool orange =
                    c.hsvSaturationF() > 0.45 && c.valueF() > 0.5 && c.hsvHue() >= 15 && c.hsvHue() <= 50;
                const int distance =
                    std::max({std::abs(c.red() - background.red()), std::abs(c.green() - background.green()),
                              std::abs(c.blue() - background.blue())});
                if (x >= symbolLeft && x < symbolRight)
                    orangeInSymbol += orange;
                else if (x >= symbolRight + int(6 * scale)) {
                    orangeInName += orange;
                    if (distance > 60 && x < image.width() - int(10 * scale)) {
                        nameTop = nameTop < 0 ? y : std::min(nameTop, y);
                        nameBottom = std::max(nameBottom, y);
                    }
                }
            }
        }
        QVERIFY2(orangeInSymbol > 0, "the folder symbol is orange");
        QCOMPARE(orangeInName, 0); // "Choose Folder" in the secondary colour
        QVERIFY(nameBottom >= 0);
        const QRect tight = QFontMetrics(Theme::font(12 * scale, QFont::Medium)).tightBoundingRect("Choose Folder");
        QVERIFY2(nameBottom - nameTop + 1 <= tight.height() + 1,
                 qPrintable(QStringLiteral("%1 px for %2 px").arg(nameBottom - nameTop + 1).arg(tight.height())));
    }

    void creativityLevelsStackTheDotAboveTheWholeName() {
        Theme::instance().setColorScheme(ColorScheme::light);
        const QColor background = Theme::instance().color(ColorRole::windowBackground);
        const auto isOrange = [](QColor c) {
            return c.hsvSaturationF() > 0.45 && c.valueF() > 0.5 && c.hsvHue() >= 15 && c.hsvHue() <= 50;
        };
        // The orange pixels and the strongest distance from the background of a widget drawn alone.
        const auto inkOf = [&](QWidget* widget) {
            QImage image(widget->size() * 2, QImage::Format_ARGB32);
            image.setDevicePixelRatio(2);
            image.fill(background);
            widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            int orange = 0, strongest = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    orange += isOrange(c);
                    strongest =
                        std::max({strongest, std::abs(c.red() - background.red()),
                                  std::abs(c.green() - background.green()), std::abs(c.blue() - background.blue())});
                }
            }
            return std::pair{orange, strongest};
        };
        for (const int width : {1000, 1600}) {
            view_->resize(width, 800);
            QTRY_COMPARE(view_->scale(), width / 1000.0);
            STUDIO_CLICK("imageModelSettings");
            ImageSettingsPopover* popover = view_->leftPanel()->settingsPopover();
            QVERIFY(popover && popover->isVisible());
            QCOMPARE(popover->markedLevels(), QStringList{"Balanced"});
            for (const QString level : {"Precise", "Balanced", "Creative", "Wild"}) {
                const QString context = QStringLiteral("%1 at %2").arg(level).arg(width);
                GUI_REQUIRE(button, QAbstractButton, popover, "creativity_" + level);
                GUI_REQUIRE(dot, QLabel, button, "creativityDot_" + level);
                GUI_REQUIRE(name, QLabel, button, "creativityLabel_" + level);
                const bool marked = level == QLatin1String("Balanced");
                // The whole name inside the label and the label inside the button.
                QVERIFY2(name->fontMetrics().horizontalAdvance(level) <= name->contentsRect().width(),
                         qPrintable(context));
                QVERIFY2(button->rect().contains(name->geometry()), qPrintable(context));
                // The dot stands centred above the name.
                QVERIFY2(dot->geometry().bottom() < name->geometry().top(), qPrintable(context));
                QVERIFY2(std::abs(dot->geometry().center().x() - name->geometry().center().x()) <= 1,
                         qPrintable(context));
                const auto [dotOrange, dotInk] = inkOf(dot);
                const auto [nameOrange, nameInk] = inkOf(name);
                QCOMPARE(nameOrange, 0); // the name is never orange
                if (marked) {
                    QVERIFY2(dotOrange > 0, "the marked level's dot is orange");
                } else {
                    QCOMPARE(dotOrange, 0);
                    // An unmarked dot is the secondary colour at 0.3: faint beside its name.
                    QVERIFY2(dotInk < nameInk / 2,
                             qPrintable(QStringLiteral("dot %1, name %2").arg(dotInk).arg(nameInk)));
                }
            }
            popover->window()->close();
        }
    }

    // --- presets ---

    void presetsPanelOpensAndClosesAndInsertsThroughTheModel() {
        STUDIO_CLICK("imagePresets");
        QWidget* overlay = view_->rightPanel()->presetsOverlay();
        QVERIFY(overlay->isVisible());
        QVERIFY(view_->rightPanel()->presetsView());
        // 350 wide, with room for its shadow on both sides.
        QCOMPARE(view_->rightPanel()->presetsView()->width() - 2 * UserImagePresetsView::shadowMargin, 350);
        // A click beside the panel closes it.
        QWidget* panel = view_->rightPanel()->presetsView();
        QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(overlay->width() - 10, overlay->height() / 2));
        // It slides back out to the leading edge, then the overlay goes.
        QVERIFY(!view_->rightPanel()->presetsView());
        QVERIFY(Motion::runningExit(panel));
        QTRY_VERIFY(!overlay->isVisible());
        QCOMPARE(model().prompt(), QString());

        type("a city");
        STUDIO_CLICK("imagePresets");
        model().applyPreset("at night", testPicture(30, 30), true);
        QCOMPARE(editor()->toPlainText(), QString("a city at night"));
        QTRY_VERIFY(!overlay->isVisible());
        QCOMPARE(model().referenceImages().size(), 1);
        model().applyPreset("replaced", QImage(), false);
        QCOMPARE(editor()->toPlainText(), QString("replaced"));
    }

    // The presets sheet keeps the keyboard while it is open: Space on its button moves the focus in, Tab goes
    // round inside it, typing never reaches the prompt, Escape closes it and gives the focus back; Return, Space
    // and a card's accessible action choose the card as a click does.
    void thePresetsSheetKeepsTheKeyboardAndChoosesFromIt() {
        const auto store = ModelSchema::openStore(env_->path("store.sqlite"));
        SwiftDataImagePresetsManager presets(store.get());
        AppEnvironment environment = this->environment();
        environment.imagePresetsManager = &presets;
        view_ = std::make_unique<ContentView>(environment);
        view_->resize(1000, 800);
        QVERIFY(gui::showActive(view_.get()));
        type("a street");
        GUI_REQUIRE(opener, QAbstractButton, view_.get(), "imagePresets");
        const auto focusedIn = [](QWidget* sheet) {
            QWidget* focus = QApplication::focusWidget();
            return focus && sheet->isAncestorOf(focus);
        };
        opener->setFocus(Qt::TabFocusReason);
        QTest::keyClick(opener, Qt::Key_Space);
        QPointer<QWidget> sheet = view_->rightPanel()->presetsView();
        QVERIFY(sheet);
        QVERIFY(focusedIn(sheet));
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("anglesTab"));
        for (int i = 0; i < 20; ++i) {
            gui::keyToFocus(i < 14 ? Qt::Key_Tab : Qt::Key_Backtab);
            QVERIFY2(focusedIn(sheet), qPrintable(QApplication::focusWidget()->objectName()));
            QTest::keyClicks(QApplication::focusWidget(), "x");
            gui::keyToFocus(Qt::Key_Backspace);
        }
        QCOMPARE(editor()->toPlainText(), QString("a street"));
        gui::keyToFocus(Qt::Key_Escape);
        QVERIFY(!view_->rightPanel()->presetsView());
        QCOMPARE(QApplication::focusWidget(), opener);

        // A choice closes the sheet and gives the focus back.
        const auto openOnTheList = [&]() -> QListView* {
            QTest::keyClick(opener, Qt::Key_Space);
            sheet = view_->rightPanel()->presetsView();
            auto* angles = sheet ? sheet->findChild<QListView*>("builtInPresetsList") : nullptr;
            for (int i = 0; angles && i < 5 && QApplication::focusWidget() != angles; ++i)
                gui::keyToFocus(Qt::Key_Tab);
            return QApplication::focusWidget() == angles ? angles : nullptr;
        };
        const auto& builtIn = BuiltInImagePreset::builtInPresets();
        QString expected = "a street " + builtIn[0]->prompt();
        QVERIFY(openOnTheList());
        gui::keyToFocus(Qt::Key_Return);
        QCOMPARE(editor()->toPlainText(), expected);
        QVERIFY(!view_->rightPanel()->presetsView());
        QCOMPARE(QApplication::focusWidget(), opener);

        QVERIFY(openOnTheList());
        gui::keyToFocus(Qt::Key_Down);
        gui::keyToFocus(Qt::Key_Space);
        expected += " " + builtIn[1]->prompt();
        QCOMPARE(editor()->toPlainText(), expected);
        QCOMPARE(QApplication::focusWidget(), opener);

        QListView* angles = openOnTheList();
        QVERIFY(angles);
        QAccessibleInterface* cell = QAccessible::queryAccessibleInterface(angles)->tableInterface()->cellAt(2, 0);
        QVERIFY(cell && cell->actionInterface() && !cell->actionInterface()->actionNames().isEmpty());
        cell->actionInterface()->doAction(cell->actionInterface()->actionNames().first());
        expected += " " + builtIn[2]->prompt();
        QCOMPARE(editor()->toPlainText(), expected);
    }

    void theHostedPresetsBrowserInsertsAndDismisses() {
        const auto store = ModelSchema::openStore(env_->path("store.sqlite"));
        SwiftDataImagePresetsManager presets(store.get());
        AppEnvironment environment = this->environment();
        environment.imagePresetsManager = &presets;
        view_ = std::make_unique<ContentView>(environment);
        view_->resize(1000, 800);
        view_->show();
        type("a");
        STUDIO_CLICK("imagePresets");
        GUI_REQUIRE(browser, UserImagePresetsView, view_.get(), "userImagePresetsView");
        // A new preset starts from the prompt as it is when it is made, typed after the panel opened.
        type(" street");
        browser->browser()->startNewPreset();
        QCOMPARE(browser->browser()->form()->prompt(), QString("a street"));
        browser->browser()->cancelForm();
        emit browser->presetSelected("low angle", QImage(), true);
        QCOMPARE(editor()->toPlainText(), QString("a street low angle"));
        QTRY_VERIFY(!view_->rightPanel()->presetsOverlay()->isVisible());
        STUDIO_CLICK("imagePresets");
        GUI_REQUIRE(second, UserImagePresetsView, view_.get(), "userImagePresetsView");
        emit second->presetSelected("my own", testPicture(20, 20), false);
        QCOMPARE(editor()->toPlainText(), QString("my own"));
        QCOMPARE(model().referenceImages().size(), 1);
        STUDIO_CLICK("imagePresets");
        GUI_REQUIRE(third, UserImagePresetsView, view_.get(), "userImagePresetsView");
        // Opened while the last one still leaves, the panel is on screen, and leaves in turn.
        QVERIFY(view_->rightPanel()->presetsView()->isVisible());
        emit third->dismissRequested();
        QTRY_VERIFY(!view_->rightPanel()->presetsOverlay()->isVisible());

        // The prompt becomes an image preset through the form the button opens over the studio.
        STUDIO_CLICK("createPresetFromPrompt");
        GUI_REQUIRE(form, QWidget, view_.get(), "CreateImagePresetView");
        QVERIFY(form->isVisible());
        QVERIFY(form->isWindow());
        QCOMPARE(form->parentWidget(), view_->window());
        QCOMPARE(form->windowModality(), Qt::WindowModal);
        QVERIFY(form->width() > 0 && form->height() > 0);
        QVERIFY((form->geometry().center() - view_->window()->geometry().center()).manhattanLength() <= 4);
        GUI_REQUIRE(titleField, QLineEdit, form, "presetTitleField");
        QVERIFY(titleField->isVisible());
        titleField->setFocus();
        QTest::keyClicks(titleField, "Street");
        GUI_REQUIRE(promptField, QPlainTextEdit, form, "presetPromptField");
        QCOMPARE(promptField->toPlainText(), QString("my own"));
        GUI_REQUIRE(save, QAbstractButton, form, "presetSaveButton");
        // The preset keeps the studio's prompt: emptying the sheet's prompt field neither changes it nor stops
        // "Create".
        promptField->setFocus();
        promptField->selectAll();
        QTest::keyClick(promptField, Qt::Key_Delete);
        QVERIFY(save->isEnabled());
        GUI_CHECK(click(save));
        QCOMPARE(presets.presets().size(), 1);
        QCOMPARE(presets.presets()[0]->title(), QString("Street"));
        QCOMPARE(presets.presets()[0]->prompt(), QString("my own"));
        QTRY_VERIFY(!view_->findChild<QWidget*>("CreateImagePresetView"));

        // Escape closes a second one without storing anything.
        STUDIO_CLICK("createPresetFromPrompt");
        GUI_REQUIRE(again, QWidget, view_.get(), "CreateImagePresetView");
        QVERIFY(again->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(again));
        GUI_REQUIRE(secondTitle, QLineEdit, again, "presetTitleField");
        QTest::keyClick(secondTitle, Qt::Key_Escape);
        QTRY_VERIFY(!view_->findChild<QWidget*>("CreateImagePresetView"));
        QCOMPARE(presets.presets().size(), 1);
        view_.reset();
    }

    // --- results ---

    void theResultPanelSizesFollowTheScale() {
        // A failed request first, so that every state's page has been on screen.
        for (int i = 0; i < 4; ++i)
            fake_->script.append(FakeGeminiService::Reply::failure(500));
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::failed));
        fake_->script.append(FakeGeminiService::Reply::json(FakeGeminiService::pictureResponse()));
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        for (const int width : {1000, 1600}) {
            view_->resize(width, 900);
            QTRY_COMPARE(view_->scale(), width / 1000.0);
            QApplication::processEvents();
            const double scale = view_->scale();
            const QString context = QString::number(scale);
            for (const auto& [name, pixels] : {std::pair{"resultTitle", 15},
                                               {"loadingText", 15},
                                               {"errorMessage", 15},
                                               {"readyTitle", 15},
                                               {"readySubtitle", 13}}) {
                GUI_REQUIRE(text, QLabel, view_.get(), name);
                QVERIFY2(text->font().pixelSize() == int(std::lround(pixels * scale)), qPrintable(name + context));
            }
            GUI_REQUIRE(textButton, QAbstractButton, view_.get(), "textResponseButton");
            QCOMPARE(textButton->sizeHint(), QSize(int(std::ceil(28 * scale)), int(std::ceil(28 * scale))));
            // Symbol, 6 apart from the 12 × scale medium text, inside 12/8 × scale padding.
            const QFontMetricsF metrics(Theme::font(12 * scale, QFont::Medium));
            for (const char* name : {"imageToImage", "showInFinder"}) {
                GUI_REQUIRE(action, QAbstractButton, view_.get(), name);
                QVERIFY2(action->isVisible(), name);
                const double wide = 24 * scale + 12 * scale + 6 + metrics.horizontalAdvance(action->text());
                const double high = 16 * scale + std::max(12 * scale, metrics.height());
                QVERIFY2(std::abs(action->sizeHint().width() - wide) <= 1.5,
                         qPrintable(
                             QStringLiteral("%1 %2 wide for %3").arg(name).arg(action->sizeHint().width()).arg(wide)));
                QVERIFY2(std::abs(action->sizeHint().height() - high) <= 1.5,
                         qPrintable(
                             QStringLiteral("%1 %2 high for %3").arg(name).arg(action->sizeHint().height()).arg(high)));
            }
            GUI_REQUIRE(toImage, QAbstractButton, view_.get(), "imageToImage");
            GUI_REQUIRE(toVideo, QAbstractButton, view_.get(), "imageToVideo");
            QCOMPARE(toVideo->geometry().left() - toImage->geometry().right() - 1, int(std::lround(12 * scale)));
        }
    }

    // The result pages come on screen when their state first does: in a wide window, inside a bigger one with a
    // control after the studio, they still have the studio's scale, their names, and a place in the tab order
    // right after the text button.
    void aResultPageShownLateFollowsTheScaleAndTheTabOrder() {
        view_.reset();
        QWidget window;
        auto* column = new QVBoxLayout(&window);
        view_ = std::make_unique<ContentView>(environment(), &window);
        const auto release = qScopeGuard([this] { view_.reset(); });
        column->addWidget(view_.get());
        auto* after = new QPushButton("After", &window);
        after->setObjectName("controlAfterTheStudio");
        column->addWidget(after);
        window.resize(2000, 900);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(view_->scale(), 1.6);
        const double scale = 1.6;

        using Json = FakeGeminiService::Json;
        const Json parts = Json::array({FakeGeminiService::textPart("Here is your boat"),
                                        FakeGeminiService::pngPart(FakeGeminiService::samplePicture())});
        fake_->script.append(FakeGeminiService::Reply::json(
            FakeGeminiService::response(Json::array({FakeGeminiService::candidate(parts)}), 100)));
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        QVERIFY(gui::unnamedControls(view_.get()).isEmpty());

        QStringList actions;
        const QFontMetricsF metrics(Theme::font(12 * scale, QFont::Medium));
        for (const char* name : {"imageToImage", "imageToVideo", "startFrame", "endFrame", "showInFinder"}) {
            GUI_REQUIRE(action, QAbstractButton, view_.get(), name);
            if (!action->isVisible())
                continue;
            actions << name;
            const double high = 16 * scale + std::max(12 * scale, metrics.height());
            QVERIFY2(std::abs(action->sizeHint().height() - high) <= 1.5, name);
        }
        QVERIFY(actions.contains("imageToImage"));

        GUI_REQUIRE(textButton, QAbstractButton, view_.get(), "textResponseButton");
        QVERIFY(textButton->isEnabled());
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        textButton->setFocus(Qt::TabFocusReason);
        QStringList visited;
        for (int i = 0; i < 12 && QApplication::focusWidget() && !after->hasFocus(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QApplication::focusWidget())
                visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, actions + QStringList{"controlAfterTheStudio"});

        // The failed page, made at this scale.
        for (int i = 0; i < 4; ++i)
            fake_->script.append(FakeGeminiService::Reply::failure(500));
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::failed));
        GUI_REQUIRE(error, QLabel, view_.get(), "errorMessage");
        QVERIFY(error->isVisible());
        QCOMPARE(error->font().pixelSize(), int(std::lround(15 * scale)));
        QCOMPARE(error->accessibleName(), error->text());
    }

    void aTextReplyIsReadInTheBubbleAsMarkdown() {
        using Json = FakeGeminiService::Json;
        const Json parts = Json::array({FakeGeminiService::textPart("Here is **your** boat"),
                                        FakeGeminiService::pngPart(FakeGeminiService::samplePicture())});
        fake_->script.append(FakeGeminiService::Reply::json(
            FakeGeminiService::response(Json::array({FakeGeminiService::candidate(parts)}), 100)));
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        GUI_REQUIRE(textButton, QAbstractButton, view_.get(), "textResponseButton");
        GUI_REQUIRE(bubble, QWidget, view_.get(), "textBubble");
        QVERIFY(textButton->isEnabled());
        QVERIFY(!bubble->isVisible());
        GUI_CHECK(click(textButton));
        QVERIFY(bubble->isVisible());
        GUI_REQUIRE(reply, QTextEdit, view_.get(), "replyText");
        QCOMPARE(reply->toPlainText(), QString("Here is your boat"));
        QVERIFY(!(reply->textInteractionFlags() & Qt::LinksAccessibleByMouse));
        // The bubble inside its shadow.
        const auto drawnWidth = [bubble] {
            return bubble->width() - 2 * static_cast<GlassPanel*>(bubble)->shadowMargin();
        };
        QVERIFY(drawnWidth() <= 300);
        // The text 16 × scale in from the bubble's leading edge, 32 × scale from its trailing one, and one line high.
        for (const int width : {1000, 1600}) {
            view_->resize(width, 900);
            QTRY_COMPARE(view_->scale(), width / 1000.0);
            QApplication::processEvents();
            const double scale = view_->scale();
            const int margin = static_cast<GlassPanel*>(bubble)->shadowMargin();
            const QRect text(reply->mapTo(bubble, QPoint()), reply->size());
            QVERIFY2(std::abs(text.left() - margin - 16 * scale) <= 1, qPrintable(QString::number(text.left())));
            QVERIFY2(std::abs(bubble->width() - 1 - text.right() - margin - 32 * scale) <= 1,
                     qPrintable(QString::number(bubble->width() - 1 - text.right())));
            const int line = QFontMetrics(Theme::font(12 * scale)).height();
            QVERIFY2(reply->height() >= line && reply->height() <= line + 4,
                     qPrintable(QStringLiteral("%1 for a line of %2").arg(reply->height()).arg(line)));
            QVERIFY(drawnWidth() <= 300 * scale);
        }
        GUI_CHECK(click(textButton));
        // The toggle fades it out and back in.
        QVERIFY(Motion::runningExit(bubble));
        QTRY_VERIFY(!bubble->isVisible());
        GUI_CHECK(click(textButton));
        QVERIFY(bubble->isVisible());
        QVERIFY(Motion::runningEntrance(bubble));
        QTRY_VERIFY(Motion::isAtRest(bubble));
    }

    // A broken service's reply of 2 MB on one line: the start is shown at once, and a copy of it all takes it all.
    void aHugeOneLineReplyIsShownCutAndCopiedWhole() {
        using Json = FakeGeminiService::Json;
        QString text(2'000'000, 'a');
        text.replace(0, 5, "Start");
        fake_->script.append(FakeGeminiService::Reply::json(FakeGeminiService::response(
            Json::array({FakeGeminiService::candidate(Json::array({FakeGeminiService::textPart(text.toStdString())}))}),
            100)));
        QElapsedTimer timer;
        timer.start();
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        GUI_REQUIRE(textButton, QAbstractButton, view_.get(), "textResponseButton");
        GUI_CHECK(click(textButton));
        GUI_REQUIRE(reply, QTextEdit, view_.get(), "replyText");
        QVERIFY(reply->isVisible());
        reply->grab();
        // The exchange itself (2 MB over loopback, read on a worker) takes a fraction of this.
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
        const QString shown = reply->toPlainText();
        QVERIFY(shown.size() < 100'000);
        QVERIFY(shown.startsWith("Startaaa"));
        QVERIFY(shown.endsWith(QStringLiteral("aaa…")));

        QGuiApplication::clipboard()->clear();
        reply->setFocus();
        QTest::keyClick(reply, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(reply, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text().size(), text.size());
        QVERIFY(QGuiApplication::clipboard()->text() == text);
        // A selection within what is shown copies just that.
        QTextCursor start = reply->textCursor();
        start.setPosition(0);
        start.setPosition(5, QTextCursor::KeepAnchor);
        reply->setTextCursor(start);
        reply->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("Start"));
    }

    void theHeaderDividerFollowsTheLook() {
        GUI_REQUIRE(divider, QWidget, view_.get(), "headerDivider");
        for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
            Theme::instance().setColorScheme(scheme);
            QCOMPARE(divider->height(), 1);
            const QImage drawn = divider->grab().toImage();
            QCOMPARE(drawn.pixelColor(drawn.width() / 2, 0).rgb(), Theme::color(ColorRole::separator, scheme).rgb());
        }
    }

    // An empty session leaves "New Chat" at half opacity, label and all, once: its label stands out from the
    // button half as much as when it is enabled, in both appearances.
    void newChatIsDimmedOnceWhileThereIsNothingToClear() {
        GUI_REQUIRE(newChat, QAbstractButton, view_.get(), "newChat");
        // How far the label's strongest pixel lies from the button's own colour, per channel.
        const auto labelInk = [this, newChat] {
            const QImage drawn = view_->grab(QRect(newChat->mapTo(view_.get(), QPoint()), newChat->size())).toImage();
            const double scale = view_->scale();
            const QColor ground = drawn.pixelColor(int(std::lround(6 * scale)), drawn.height() / 2);
            int ink = 0;
            const int from = int(std::ceil((14 + 13 + 7) * scale)), to = drawn.width() - int(14 * scale);
            for (int y = 0; y < drawn.height(); ++y) {
                for (int x = from; x < to; ++x) {
                    const QColor c = drawn.pixelColor(x, y);
                    ink = std::max({ink, std::abs(c.red() - ground.red()), std::abs(c.green() - ground.green()),
                                    std::abs(c.blue() - ground.blue())});
                }
            }
            return ink;
        };
        QMap<ColorScheme, int> disabled;
        for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
            Theme::instance().setColorScheme(scheme);
            QApplication::processEvents();
            QVERIFY(!newChat->isEnabled());
            disabled[scheme] = labelInk();
            // Nothing to clear: the pointer changes nothing either.
            const QImage still = view_->grab(QRect(newChat->mapTo(view_.get(), QPoint()), newChat->size())).toImage();
            gui::hover(newChat);
            const QImage hovered = view_->grab(QRect(newChat->mapTo(view_.get(), QPoint()), newChat->size())).toImage();
            gui::unhover(newChat);
            QVERIFY2(hovered == still, scheme == ColorScheme::dark ? "dark" : "light");
        }
        generateWithReturn("boat");
        QVERIFY(newChat->isEnabled());
        for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
            Theme::instance().setColorScheme(scheme);
            QApplication::processEvents();
            const double ratio = double(disabled[scheme]) / labelInk();
            // Dimmed twice (0.5 × 0.45) the label keeps a fifth of its ink; not dimmed, all of it.
            QVERIFY2(ratio > 0.38 && ratio < 0.62, qPrintable(QStringLiteral("%1: %2 of the enabled label's contrast")
                                                                  .arg(scheme == ColorScheme::dark ? "dark" : "light")
                                                                  .arg(ratio)));
        }
    }

    // The result's buttons are plain: no glass pill around them and nothing changes under the pointer; only
    // "Finder" stands on a fill, the frame's own control background.
    void theResultButtonsArePlain() {
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        for (const auto mode : {VideoGenerationMode::imageToVideo, VideoGenerationMode::startEndVideo}) {
            app_->setVideoMode(mode);
            QApplication::processEvents();
            const QStringList names = mode == VideoGenerationMode::imageToVideo
                                          ? QStringList{"imageToImage", "imageToVideo", "showInFinder"}
                                          : QStringList{"imageToImage", "startFrame", "endFrame", "showInFinder"};
            for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
                Theme::instance().setColorScheme(scheme);
                QApplication::processEvents();
                const QColor frame = Theme::color(ColorRole::controlBackground, scheme);
                for (const QString& name : names) {
                    GUI_REQUIRE(action, QAbstractButton, view_.get(), name);
                    QTRY_VERIFY2(action->isVisible(), qPrintable(name));
                    const auto drawn = [this, action] {
                        return view_->grab(QRect(action->mapTo(view_.get(), QPoint()), action->size())).toImage();
                    };
                    gui::unhover(action);
                    const QImage still = drawn();
                    // Around the label (the 8 × scale above and below it, the 12 × scale before and after it)
                    // lies the frame's colour.
                    const double scale = view_->scale();
                    const QRect label =
                        QRect(QPoint(), action->size())
                            .adjusted(int(12 * scale), int(8 * scale), -int(12 * scale), -int(8 * scale));
                    int off = 0;
                    for (int y = 0; y < still.height(); ++y) {
                        for (int x = 0; x < still.width(); ++x) {
                            if (label.contains(x, y))
                                continue;
                            const QColor c = still.pixelColor(x, y);
                            off = std::max({off, std::abs(c.red() - frame.red()), std::abs(c.green() - frame.green()),
                                            std::abs(c.blue() - frame.blue())});
                        }
                    }
                    const QString where =
                        QStringLiteral("%1 in %2").arg(name, scheme == ColorScheme::dark ? "dark" : "light");
                    QVERIFY2(off <= 3, qPrintable(QStringLiteral("%1: %2 off the frame's colour").arg(where).arg(off)));
                    gui::hover(action);
                    QVERIFY2(drawn() == still, qPrintable(where + ": changes under the pointer"));
                    gui::unhover(action);
                }
            }
        }
        // The frame buttons share one place of the row, 8 apart.
        GUI_REQUIRE(start, QAbstractButton, view_.get(), "startFrame");
        GUI_REQUIRE(end, QAbstractButton, view_.get(), "endFrame");
        QCOMPARE(end->geometry().left() - start->geometry().right() - 1, 8);
    }

    void aBlockedReplyShowsNoPictureAndARedBubbleButton() {
        using Json = FakeGeminiService::Json;
        fake_->script.append(FakeGeminiService::Reply::json(
            FakeGeminiService::response(Json::array({FakeGeminiService::candidate(Json::array(), "SAFETY")}), 50)));
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        QVERIFY(service().isContentBlocked());
        GUI_REQUIRE(textButton, QAbstractButton, view_.get(), "textResponseButton");
        QVERIFY(textButton->isEnabled());
        QCOMPARE(textButton->palette().color(QPalette::ButtonText), QColor(255, 59, 48));
        for (const char* name : {"imageToImage", "imageToVideo", "startFrame", "endFrame", "showInFinder"}) {
            GUI_REQUIRE(action, QAbstractButton, view_.get(), name);
            QVERIFY2(!action->isVisible(), name);
        }
        GUI_CHECK(click(textButton));
        GUI_REQUIRE(reply, QTextEdit, view_.get(), "replyText");
        QCOMPARE(reply->toPlainText(), QString("⚠️ Content blocked"));
    }

    void failuresShowTheirText_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("key");
        QTest::addColumn<QString>("message");
        QTest::newRow("server error") << 500 << true << "HTTP Error: 500";
        QTest::newRow("rate limit") << 429 << true << "Rate limit exceeded. Please try again later";
        QTest::newRow("no key") << 200 << false << "Google API key not set. Please go to API settings.";
    }

    void failuresShowTheirText() {
        QFETCH(int, status);
        QFETCH(bool, key);
        QFETCH(QString, message);
        if (!key)
            APIManager::shared().setGoogleAPIKey(QString());
        for (int i = 0; i < 4; ++i)
            fake_->script.append(FakeGeminiService::Reply::failure(status));
        type("boat");
        QTest::keyClick(editor(), Qt::Key_Return);
        QVERIFY(clock_->runUntil([this] { return service().errorMessage().has_value() && !service().isLoading(); }));
        QVERIFY(waitForState(StudioRules::ResultState::failed));
        GUI_REQUIRE(error, QLabel, view_.get(), "errorMessage");
        GUI_REQUIRE(newChat, QAbstractButton, view_.get(), "newChat");
        QCOMPARE(error->text(), message);
        QVERIFY(error->isVisible());
        QVERIFY(newChat->isEnabled());
    }

    // The state texts are named after what they say (offscreen no assistive tool listens for the name-change
    // events, so the names are what can be seen here).
    void theStateTextsAreNamedAfterTheirResult() {
        for (int i = 0; i < 4; ++i)
            fake_->script.append(FakeGeminiService::Reply::failure(500));
        fake_->script[0].delayMs = 300;
        type("boat");
        QTest::keyClick(editor(), Qt::Key_Return);
        QVERIFY(waitForState(StudioRules::ResultState::loading));
        GUI_REQUIRE(loading, QLabel, view_.get(), "loadingText");
        QVERIFY(loading->isVisible());
        QCOMPARE(loading->text(), QString("Waiting in queue..."));
        QCOMPARE(loading->accessibleName(), loading->text());
        QVERIFY(waitForState(StudioRules::ResultState::failed));
        GUI_REQUIRE(error, QLabel, view_.get(), "errorMessage");
        QVERIFY(error->isVisible());
        QVERIFY(!error->text().isEmpty());
        QCOMPARE(error->accessibleName(), error->text());
    }

    void newChatEmptiesTheStudio() {
        GUI_CHECK(pick(pictureFiles(2), "uploadReference"));
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        GUI_REQUIRE(ring, ContextRing, view_.get(), "contextUsage");
        GUI_REQUIRE(newChat, QAbstractButton, view_.get(), "newChat");
        QVERIFY(ring->percent() > 0);
        QVERIFY(ring->toolTip().startsWith("Context used this chat: "));
        GUI_CHECK(click(newChat));
        QCOMPARE(editor()->toPlainText(), QString());
        GUI_REQUIRE(zone, QWidget, view_.get(), "dropZone");
        QVERIFY(waitForState(StudioRules::ResultState::ready));
        QTRY_VERIFY(!newChat->isEnabled());
        QCOMPARE(ring->percent(), 0.0);
    }

    void aLongRetryAfterWaitsTenMinutesAndNewChatEndsTheWait() {
        fake_->script = {FakeGeminiService::Reply::failure(429, QByteArray("2000000"))};
        type("boat");
        QTest::keyClick(editor(), Qt::Key_Return);
        QVERIFY(clock_->runUntil(
            [this] { return fake_->generateRequests().size() == 1 && clock_->pendingSleepers() == 1; }));
        QCOMPARE(clock_->nextDeadline(), 600.0);
        QVERIFY(waitForState(StudioRules::ResultState::loading));
        GUI_REQUIRE(loadingText, QLabel, view_.get(), "loadingText");
        QCOMPARE(loadingText->text(), QString("Waiting in queue..."));

        STUDIO_CLICK("newChat");
        QVERIFY(!service().isLoading());
        QVERIFY(waitForState(StudioRules::ResultState::ready));
        QVERIFY(!service().errorMessage());
        letTimePass(700);
        QCOMPARE(fake_->generateRequests().size(), 1);
        QCOMPARE(view_->rightPanel()->shownState(), StudioRules::ResultState::ready);

        // The next chat's request goes out at once and is shown.
        generateWithReturn("kite");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        QCOMPARE(fake_->generateRequests().size(), 2);
    }

    void imageToImageAndTheHandOvers() {
        app_->setVideoMode(VideoGenerationMode::startEndVideo);
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        GUI_REQUIRE(imageToVideo, QAbstractButton, view_.get(), "imageToVideo");
        GUI_REQUIRE(endFrame, QAbstractButton, view_.get(), "endFrame");
        QVERIFY(!imageToVideo->isVisible());
        STUDIO_CLICK("imageToImage");
        QCOMPARE(model().referenceImages().size(), 1);
        GUI_REQUIRE(single, QWidget, view_.get(), "singleReference");

        QStringList order;
        connect(app_.get(), &AppViewModel::currentViewChanged, this, [&order] { order << "view"; });
        connect(app_.get(), &AppViewModel::sharedImageTypeChanged, this, [&order] { order << "type"; });
        connect(app_.get(), &AppViewModel::sharedImageChanged, this, [&order] { order << "image"; });
        STUDIO_CLICK("startFrame");
        QCOMPARE(order, (QStringList{"view", "type", "image"}));
        QCOMPARE(app_->sharedImageType(), std::optional(ImageType::first));

        app_->setCurrentView(ViewMode::imageGeneration);
        app_->setSharedImage(std::nullopt);
        app_->setVideoMode(VideoGenerationMode::imageToVideo);
        QVERIFY(imageToVideo->isVisible());
        QVERIFY(!endFrame->isVisible());
        order.clear();
        GUI_CHECK(click(imageToVideo));
        QCOMPARE(order, (QStringList{"view", "image"}));

        // A drop while the video studio shows is refused.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(pictureFiles(1)[0])});
        GUI_REQUIRE(area, QWidget, view_.get(), "referenceArea");
        drop(area, &data);
        QTest::qWait(20);
        QCOMPARE(model().referenceImages().size(), 1);
    }

    void finderWithAndWithoutAPhotoFolder() {
        generateWithReturn("boat");
        QVERIFY(waitForState(StudioRules::ResultState::completed));
        GUI_REQUIRE(folderButton, QAbstractButton, view_.get(), "photoFolder");
        GUI_REQUIRE(finder, QAbstractButton, view_.get(), "showInFinder");
        QCOMPARE(folderButton->text(), QString("Choose Folder"));
        QCOMPARE(folderButton->toolTip(), QString("Choose folder to save photos"));
        dialogs_->saveAnswer = files_->filePath("mine.jpg");
        GUI_CHECK(click(finder));
        QTRY_COMPARE(revealed_, QStringList{files_->filePath("mine.jpg")});
        QCOMPARE(dialogs_->saveRequests.size(), 1);
        QImageReader written(files_->filePath("mine.jpg"));
        written.setDecideFormatFromContent(true);
        QCOMPARE(written.format(), QByteArray("jpeg"));

        const QString folder = files_->filePath("Pictures");
        QDir().mkpath(folder);
        dialogs_->folderAnswer = folder;
        GUI_CHECK(click(folderButton));
        QCOMPARE(folderButton->text(), QString("Pictures"));
        QCOMPARE(folderButton->toolTip(), QString("Change photo save folder"));
        GUI_CHECK(click(finder));
        QTRY_COMPARE(revealed_.size(), 2);
        QCOMPARE(QFileInfo(revealed_[1]).absolutePath(), QFileInfo(folder).absoluteFilePath());
        QCOMPARE(dialogs_->saveRequests.size(), 1);
    }

    // The status of the video side sits beside the title, its line at 0.65 of its height on the title's baseline,
    // at every scale.
    void theQueueStatusSitsOnTheTitleBaseline() {
        GUI_REQUIRE(status, QueueStatusIndicator, view_.get(), "photoQueueStatus");
        GUI_REQUIRE(title, QLabel, view_.get(), "studioTitle");
        QVERIFY(!status->isVisible());
        QImage frame(64, 36, QImage::Format_RGB32);
        frame.fill(Qt::red);
        queue_->addVideoTask(QString("a fox"), frame, std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
        QVERIFY(queue_->hasVideoWork());
        for (int width : {1000, 1600}) {
            view_->resize(width, 800);
            QTRY_VERIFY(status->isVisible() && status->height() > 0);
            QTRY_COMPARE(title->font().pixelSize(), int(std::lround(28 * width / 1000.0)));
            QApplication::processEvents();
            const QRect capsule = status->contentsRect().translated(status->mapTo(view_.get(), QPoint()));
            const QFontMetrics metrics(title->font());
            const int titleTop = title->mapTo(view_.get(), QPoint()).y();
            const int baseline = titleTop + (title->height() - metrics.height()) / 2 + metrics.ascent();
            QVERIFY2(std::abs(capsule.top() + 0.65 * capsule.height() - baseline) <= 1.5,
                     qPrintable(
                         QString("capsule %1+%2, baseline %3").arg(capsule.top()).arg(capsule.height()).arg(baseline)));
        }
    }
    // The capsule's parts follow the state it shows: the image studio reports clips, the video studio pictures.
    void theVideoCapsuleShowsSlotsSymbolTextAndProgress() {
        using Part = QueueStatusIndicator::Part;
        QWidget host;
        auto* status = new QueueStatusIndicator(nullptr, StudioRules::IndicatorTab::photo, &host);
        status->setScale(2);
        host.resize(400, 80);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QVERIFY(!status->isVisible());
        QCOMPARE(status->sizeHint(), QSize(0, 0));
        QVERIFY(!status->isAnimating());
        for (Part part : {Part::slotDots, Part::pulseDot, Part::symbol, Part::text, Part::progressView})
            QVERIFY(!status->shows(part));

        status->showState({true, "2 active, 3 queued", 2, true});
        status->adjustSize();
        QVERIFY(status->isVisible());
        QCOMPARE(status->symbolName(), QString("video"));
        QVERIFY(status->shows(Part::slotDots) && status->shows(Part::symbol) && status->shows(Part::text));
        QVERIFY(status->shows(Part::progressView));
        QVERIFY(!status->shows(Part::pulseDot) && !status->shows(Part::arcSpinner));
        QVERIFY(status->isAnimating());
        GUI_REQUIRE(text, QLabel, status, "queueStatusText");
        QCOMPARE(text->text(), QString("2 active, 3 queued"));
        QVERIFY(text->width() >= text->fontMetrics().horizontalAdvance(text->text()));
        // Left to right, inside the capsule and apart: dots, symbol, text, progress view.
        const QRectF capsule = status->contentsRect();
        const QList<Part> order{Part::slotDots, Part::symbol, Part::text, Part::progressView};
        for (qsizetype i = 0; i < order.size(); ++i) {
            const QRectF rect = status->partRect(order[i]);
            QVERIFY(capsule.contains(rect));
            if (i > 0)
                QVERIFY(status->partRect(order[i - 1]).right() < rect.left());
        }
        // Two lit dots in blue, two quiet gray ones, once the capsule has come in.
        QTRY_VERIFY(Motion::isAtRest(status));
        const QImage picture = status->grab().toImage();
        const QColor blue = Theme::instance().color(ColorRole::blue);
        for (int slot = 0; slot < 4; ++slot) {
            const QColor seen = picture.pixelColor(status->slotDotRect(slot).center().toPoint());
            const bool lit = std::abs(seen.red() - blue.red()) < 40 && std::abs(seen.green() - blue.green()) < 40 &&
                             std::abs(seen.blue() - blue.blue()) < 40;
            QVERIFY2(lit == (slot < 2), qPrintable(QString("slot %1 %2").arg(slot).arg(seen.name())));
        }

        // Only waiting clips: gray dots, no progress view, nothing moves.
        status->showState({true, "1 in queue", 0, false});
        QVERIFY(status->shows(Part::slotDots));
        QVERIFY(!status->shows(Part::progressView));
        QVERIFY(!status->isAnimating());

        // Hidden, the pulse stops; shown again, it goes on.
        status->showState({true, "1/4 generating", 1, true});
        QVERIFY(status->isAnimating());
        host.hide();
        QVERIFY(!status->isAnimating());
        host.show();
        QVERIFY(status->isAnimating());

        status->showState({false, "Ready", 0, false});
        QVERIFY(!status->isAnimating());
        QTRY_VERIFY(!status->isVisible());
        QCOMPARE(status->sizeHint(), QSize(0, 0));
    }

    void thePhotoCapsuleShowsPulseSymbolTextAndSpinner() {
        using Part = QueueStatusIndicator::Part;
        QWidget host;
        auto* status = new QueueStatusIndicator(nullptr, StudioRules::IndicatorTab::video, &host);
        host.resize(300, 60);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        status->showState({true, "Generating", 0, true});
        QCOMPARE(status->symbolName(), QString("photo"));
        QVERIFY(status->shows(Part::pulseDot) && status->shows(Part::symbol) && status->shows(Part::arcSpinner));
        QVERIFY(!status->shows(Part::slotDots) && !status->shows(Part::progressView));
        QVERIFY(status->isAnimating());
        // A waiting picture: the dot still pulses, the spinner goes.
        status->showState({true, "1 in queue", 0, false});
        QVERIFY(status->shows(Part::pulseDot));
        QVERIFY(!status->shows(Part::arcSpinner));
        QVERIFY(status->isAnimating());
        status->showState({false, "Ready", 0, false});
        QVERIFY(!status->shows(Part::pulseDot));
        QVERIFY(!status->isAnimating());
    }

    // The capsule comes in on its spring, and nothing moves once it is in.
    void theCapsuleSlidesIn() {
        QWidget host;
        host.resize(400, 60);
        auto* status = new QueueStatusIndicator(nullptr, StudioRules::IndicatorTab::photo, &host);
        status->showState({});
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QVERIFY(!status->isVisible());
        status->showState({true, "1/4 generating", 1, false});
        QVERIFY(status->isVisible());
        QVERIFY(Motion::runningEntrance(status));
        QTRY_VERIFY(!Motion::runningEntrance(status));
        QVERIFY(!status->graphicsEffect());
        // A state that keeps it shown does not bring it in again.
        status->showState({true, "2/4 generating", 2, false});
        QVERIFY(!Motion::runningEntrance(status));
        // It goes back out the same way, keeping its room until it is gone; shown again midway, it stays.
        const QSize room = status->sizeHint();
        status->showState({});
        QVERIFY(Motion::runningExit(status));
        QCOMPARE(status->sizeHint(), room);
        status->showState({true, "1/4 generating", 1, false});
        QVERIFY(!Motion::runningExit(status));
        QTRY_VERIFY(Motion::isAtRest(status));
        QVERIFY(status->isVisible());
        status->showState({});
        QTRY_VERIFY(!status->isVisible());
        QCOMPARE(status->sizeHint(), QSize(0, 0));
    }

    // Lengths follow the scale.
    void theCapsuleScales() {
        using Part = QueueStatusIndicator::Part;
        QWidget host;
        auto* status = new QueueStatusIndicator(nullptr, StudioRules::IndicatorTab::photo, &host);
        host.show();
        status->showState({true, "1/4 generating", 1, true});
        const QRectF dot = status->slotDotRect(0);
        const QRectF progress = status->partRect(Part::progressView);
        const QRectF symbol = status->partRect(Part::symbol);
        QCOMPARE(symbol.size(), QSizeF(10, 10));
        const double leading = status->partRect(Part::text).left();
        status->setScale(2);
        QCOMPARE(status->slotDotRect(0).size(), dot.size() * 2);
        QCOMPARE(status->partRect(Part::progressView).size(), progress.size() * 2);
        QCOMPARE(status->partRect(Part::symbol).size(), symbol.size() * 2);
        QApplication::processEvents();
        status->adjustSize();
        QVERIFY(std::abs(status->partRect(Part::text).left() - 2 * leading) <= 2);
    }
    // With pictures added, the add button beside the heading must not cut it.
    void theReferenceHeadingStaysWhole() {
        GUI_CHECK(pick(pictureFiles(3), "uploadReference"));
        GUI_REQUIRE(heading, QLabel, view_.get(), "referenceHeader");
        GUI_REQUIRE(addMore, QAbstractButton, view_.get(), "addMoreImages");
        QTRY_VERIFY(addMore->isVisible());
        view_->resize(1000, 800);
        QTRY_COMPARE(view_->width(), 1000);
        QApplication::processEvents();
        const QString whole("Reference Images (Optional) 3/9");
        QVERIFY(heading->contentsRect().width() >= heading->fontMetrics().horizontalAdvance(heading->text()));
        QCOMPARE(heading->text(), whole);
        // The button still sits right of it, inside the panel.
        QVERIFY(addMore->geometry().left() >= heading->geometry().right());
        QVERIFY(view_->leftPanel()->rect().contains(addMore->mapTo(view_->leftPanel(), QPoint())));
        // Where the font outgrows the panel the heading takes a second line: whole, never cut, the button beside it.
        bool wrapped = false;
        for (const int width : {1280, 1800}) {
            view_->resize(width, 800);
            QTRY_COMPARE(view_->width(), width);
            QApplication::processEvents();
            QCOMPARE(heading->text(), whole);
            QVERIFY2(
                heading->height() >= heading->heightForWidth(heading->width()),
                qPrintable(QString("%1 for %2").arg(heading->height()).arg(heading->heightForWidth(heading->width()))));
            const int oneLine = heading->fontMetrics().horizontalAdvance(whole);
            wrapped = wrapped || heading->contentsRect().width() < oneLine;
            QVERIFY(heading->geometry().right() < addMore->geometry().left());
            QVERIFY(view_->leftPanel()->rect().contains(
                addMore->geometry().translated(addMore->parentWidget()->mapTo(view_->leftPanel(), QPoint()))));
        }
        QVERIFY(wrapped);
    }

    void thePromptBoxInsetsItsTextAndButtons() {
        type("a lighthouse");
        GUI_REQUIRE(box, QWidget, view_.get(), "promptBox");
        for (const int width : {1000, 1600}) {
            view_->resize(width, 900);
            QTRY_COMPARE(view_->scale(), width / 1000.0);
            const double scale = view_->scale();
            QApplication::processEvents();
            const QRect text(editor()->mapTo(box, QPoint()), editor()->size());
            const auto near = [](int measured, double wanted) { return std::abs(measured - wanted) <= 1; };
            // 24 × scale from the trailing edge, or as much more as the create-preset button in the top corner
            // needs: the text wraps before it.
            GUI_REQUIRE(createPreset, QAbstractButton, box, "createPresetFromPrompt");
            const int buttonLeft = createPreset->mapTo(box, QPoint()).x();
            const int trailing = box->width() - 1 - text.right();
            QVERIFY2(
                text.right() < buttonLeft,
                qPrintable(
                    QStringLiteral("text to %1, button from %2 at %3").arg(text.right()).arg(buttonLeft).arg(scale)));
            QVERIFY2(near(text.left(), 12 * scale) && near(text.top(), 12 * scale) &&
                         (near(trailing, 24 * scale) || (trailing > 24 * scale && text.right() >= buttonLeft - 8)) &&
                         near(box->height() - 1 - text.bottom(), 20 * scale),
                     qPrintable(QStringLiteral("text %1,%2 %3x%4 in %5x%6 at %7")
                                    .arg(text.left())
                                    .arg(text.top())
                                    .arg(text.width())
                                    .arg(text.height())
                                    .arg(box->width())
                                    .arg(box->height())
                                    .arg(scale)));
            for (const auto& [name, edges] : {std::pair{"imageModelSettings", Qt::LeftEdge | Qt::BottomEdge},
                                              {"imagePresets", Qt::RightEdge | Qt::BottomEdge},
                                              {"createPresetFromPrompt", Qt::RightEdge | Qt::TopEdge}}) {
                GUI_REQUIRE(button, QAbstractButton, box, name);
                const QRect at(button->mapTo(box, QPoint()), button->size());
                if (edges & Qt::LeftEdge)
                    QCOMPARE(at.left(), 10);
                if (edges & Qt::RightEdge)
                    QCOMPARE(box->width() - 1 - at.right(), 10);
                if (edges & Qt::TopEdge)
                    QCOMPARE(at.top(), 10);
                if (edges & Qt::BottomEdge)
                    QCOMPARE(box->height() - 1 - at.bottom(), 10);
            }
        }
        // Without a prompt there is no create-preset button: the text keeps its 24 × scale.
        model().setPrompt(QString());
        QApplication::processEvents();
        const QRect empty(editor()->mapTo(box, QPoint()), editor()->size());
        QVERIFY(std::abs(box->width() - 1 - empty.right() - 24 * view_->scale()) <= 1);
        // The frame's outline stands apart from its fill in both appearances.
        for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
            Theme::instance().setColorScheme(scheme);
            QImage image(box->size(), QImage::Format_ARGB32);
            image.fill(Theme::color(ColorRole::windowBackground, scheme));
            box->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
            const QColor fill = image.pixelColor(box->width() / 2, 3);
            const QColor edge = image.pixelColor(box->width() / 2, 0);
            QCOMPARE(fill, Theme::color(ColorRole::controlBackground, scheme));
            QVERIFY2(edge != fill, scheme == ColorScheme::dark ? "dark" : "light");
        }
    }

    void generateNowSpinsWhileLoadingAndFadesWholeWhenDisabled() {
        GUI_REQUIRE(generate, QAbstractButton, view_.get(), "generateNow");
        GUI_REQUIRE(spinner, Spinner, generate, "generateSpinner");
        // How opaque the button's body is drawn, read where only the body shows: left of its symbol, mid-height.
        const auto opacity = [generate] { return drawnOpacity(generate, QPoint(12, generate->height() / 2)); };
        QVERIFY(!generate->isEnabled());
        QCOMPARE(opacity(), 0.6);
        QVERIFY(!spinner->isVisible());
        type("a lighthouse");
        QVERIFY(generate->isEnabled());
        QCOMPARE(opacity(), 1.0);
        fake_->script.append(FakeGeminiService::Reply::json(FakeGeminiService::pictureResponse()));
        fake_->script.back().delayMs = 300;
        QTest::keyClick(editor(), Qt::Key_Return);
        QVERIFY(clock_->runUntil([generate] { return generate->text() == "Generating..."; }));
        QVERIFY(spinner->isVisible());
        QVERIFY(spinner->isSpinning());
        QVERIFY(generate->rect().contains(spinner->geometry()));
        // Faded as a whole.
        QCOMPARE(opacity(), 0.6);
        QVERIFY(clock_->runUntil([this] { return view_->rightPanel()->isResultPictureShown(); }));
        QVERIFY(!spinner->isVisible());
        QCOMPARE(opacity(), 1.0);
    }

    // The button looks like a push button styled with the scheme's left-to-right orange to yellow gradient (#FF9500 to
    // #FFCC00 in light, #FF9F0A to #FFD60A in dark), corners of 10, white text after its symbol, faded to 0.6 as a
    // whole when disabled; it draws this itself, without an offscreen pass through a fade effect on every paint.
    void generateNowLooksLikeItsStyledGradientButton() {
        GUI_REQUIRE(generate, QPushButton, view_.get(), "generateNow");
        QVERIFY(!generate->graphicsEffect());
        QVERIFY(generate->styleSheet().isEmpty());
        QWidget holder;
        auto* reference = new QPushButton(&holder);
        const QList<std::pair<int, ColorScheme>> looks{{1000, ColorScheme::light},
                                                       {1600, ColorScheme::light},
                                                       {1000, ColorScheme::dark},
                                                       {1600, ColorScheme::dark}};
        for (const auto& [width, scheme] : looks) {
            Theme::instance().setColorScheme(scheme);
            reference->setStyleSheet(
                QStringLiteral("QPushButton { color: white; border: none; border-radius: 10px; background: "
                               "qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 %1); }")
                    .arg(scheme == ColorScheme::dark ? "#FF9F0A, stop:1 #FFD60A" : "#FF9500, stop:1 #FFCC00"));
            view_->resize(width, 800);
            QTRY_COMPARE(view_->scale(), width / 1000.0);
            for (const bool enabled : {false, true}) {
                if (enabled)
                    type("a lighthouse");
                QCOMPARE(generate->isEnabled(), enabled);
                QApplication::processEvents();
                holder.resize(generate->size());
                reference->setGeometry(generate->rect());
                reference->setFont(generate->font());
                reference->setIcon(generate->icon());
                reference->setIconSize(generate->iconSize());
                reference->setText(generate->text());
                reference->setEnabled(enabled);
                // Sized as that button: its title and symbol with nothing around them.
                QCOMPARE(generate->sizeHint(), reference->sizeHint());
                const QImage drawn = drawnAlone(generate);
                QImage expected = drawnAlone(reference);
                // Faded, the button is its whole look at 0.6.
                if (!enabled) {
                    QImage faded(expected.size(), expected.format());
                    faded.fill(Qt::transparent);
                    QPainter painter(&faded);
                    painter.setOpacity(0.6);
                    painter.drawImage(0, 0, expected);
                    painter.end();
                    expected = faded;
                }
                const int off = differingPixels(drawn, expected, 6);
                QVERIFY2(off <= 8, qPrintable(QStringLiteral("width %1 %2, %3: %4 pixels differ")
                                                  .arg(width)
                                                  .arg(scheme == ColorScheme::dark ? "dark" : "light")
                                                  .arg(enabled ? "enabled" : "disabled")
                                                  .arg(off)));
                if (enabled) {
                    // Held down, it looks the same.
                    generate->setDown(true);
                    reference->setDown(true);
                    QVERIFY(differingPixels(drawnAlone(generate), drawnAlone(reference), 6) <= 8);
                    generate->setDown(false);
                    reference->setDown(false);
                }
                // Transparent outside the rounded corners, opaque inside them (or 0.6 when disabled).
                QCOMPARE(drawn.pixelColor(0, 0).alpha(), 0);
                QCOMPARE(drawnOpacity(generate, QPoint(5, 5)), enabled ? 1.0 : 0.6);
                QCOMPARE(drawnOpacity(generate, QPoint(generate->width() - 6, generate->height() - 6)),
                         enabled ? 1.0 : 0.6);
            }
            editor()->clear();
        }
    }

    // How far `frame`, drawn alone, is from an antialiased rounded rect of radius 12 a pixel in from its edges:
    // `fill` inside a 2 wide dashed line of `dash`, 8 on and 4 off from the top run's left end. Empty when alike
    // along the edges (the band clear of what stands in the middle) and when only the corners are stroked as curves.
    static QString dashedFrameFaults(QWidget* frame, const QColor& fill, const QColor& dash) {
        QImage drawn(frame->size(), QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        frame->render(&drawn, QPoint(), QRegion(), QWidget::RenderFlags());
        QImage expected(frame->size(), QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        {
            QPainter painter(&expected);
            painter.setRenderHint(QPainter::Antialiasing);
            const QRectF outline = QRectF(expected.rect()).adjusted(1, 1, -1, -1);
            painter.setPen(Qt::NoPen);
            painter.setBrush(fill);
            painter.drawRoundedRect(outline, 12, 12);
            QPen dashed(dash, 2);
            dashed.setDashPattern({4, 2});
            painter.setPen(dashed);
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(outline, 12, 12);
        }
        const QRect inner = drawn.rect().adjusted(20, 20, -20, -20);
        int off = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                if (inner.contains(x, y))
                    continue;
                const QRgb p = drawn.pixel(x, y), q = expected.pixel(x, y);
                const int most = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                           std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
                off += most > 16 ? 1 : 0;
            }
        }
        QStringList faults;
        if (off > 8)
            faults << QStringLiteral("%1 pixels differ").arg(off);
        // Spot checks: outside the corner, a dash and a gap on the top run.
        if (qAlpha(drawn.pixel(0, 0)) != 0)
            faults << QStringLiteral("drawn outside the corner");
        if (drawn.pixel(13 + 4, 0) != expected.pixel(13 + 4, 0) || qAlpha(drawn.pixel(13 + 4, 0)) == 0)
            faults << QStringLiteral("no dash where the top run starts");
        if (qAlpha(drawn.pixel(13 + 10, 0)) != 0)
            faults << QStringLiteral("no gap after the first dash");
        DashedStrokeDevice device(frame->size());
        frame->render(&device, QPoint(), QRegion(), QWidget::RenderFlags());
        if (!(device.engine.length > 0 && device.engine.length < 4 * 40))
            faults << QStringLiteral("%1 stroked as curves").arg(device.engine.length);
        return faults.join(QStringLiteral(", "));
    }

    // The empty result's frame and the empty reference area: dashed, rounded frames that look like antialiased
    // rounded rects but stroke only their corners as curves.
    void theEmptyFramesAreDashedWithRoundedCorners() {
        auto* states = view_->findChild<QStackedWidget*>("resultStates");
        QVERIFY(states);
        QCOMPARE(view_->rightPanel()->shownState(), StudioRules::ResultState::ready);
        const QColor quiet = withOpacity(Theme::instance().color(ColorRole::secondary), 0.3);
        const QColor orange = Theme::instance().color(ColorRole::orange);
        for (const QSize size : {QSize(1000, 800), QSize(1600, 900), QSize(1333, 777)}) {
            view_->resize(size);
            QApplication::processEvents();
            const QString where = QStringLiteral("%1x%2: ").arg(size.width()).arg(size.height());
            // Made again at each scale.
            GUI_REQUIRE(dropZone, QWidget, view_.get(), "dropZone");
            QString faults = dashedFrameFaults(states, Theme::instance().color(ColorRole::controlBackground), quiet);
            QVERIFY2(faults.isEmpty(), qPrintable(where + "result frame: " + faults));
            QCOMPARE(states->grab().toImage().pixelColor(30, states->height() / 2),
                     Theme::instance().color(ColorRole::controlBackground));
            faults = dashedFrameFaults(dropZone, Qt::transparent, quiet);
            QVERIFY2(faults.isEmpty(), qPrintable(where + "drop zone: " + faults));
            model().setDragOver(true);
            faults = dashedFrameFaults(dropZone, withOpacity(orange, 0.1), orange);
            model().setDragOver(false);
            QVERIFY2(faults.isEmpty(), qPrintable(where + "drop zone, dragged over: " + faults));
        }
    }

    void theHeadingsStartWithTheirSymbols() {
        for (const auto& [symbolName, symbol, titleName] : {std::tuple{"referenceSymbol", "photo", "referenceHeader"},
                                                            {"promptSymbol", "text.cursor", "promptTitle"},
                                                            {"resultSymbol", "photo.badge.checkmark", "resultTitle"}}) {
            QVERIFY2(isKnownSymbol(symbol), symbol);
            GUI_REQUIRE(icon, QLabel, view_.get(), symbolName);
            GUI_REQUIRE(title, QLabel, view_.get(), titleName);
            QVERIFY2(icon->isVisible(), symbolName);
            QVERIFY2(!icon->pixmap().isNull(), symbolName);
            // Before its heading, on the same line.
            const QRect mark(icon->mapTo(view_.get(), QPoint()), icon->size());
            const QRect text(title->mapTo(view_.get(), QPoint()), title->size());
            QVERIFY2(mark.right() < text.left() && text.left() - mark.right() - 1 <= 8,
                     qPrintable(QStringLiteral("%1: %2 apart").arg(symbolName).arg(text.left() - mark.right() - 1)));
            QVERIFY2(mark.top() < text.bottom() && text.top() < mark.bottom(), symbolName);
            // Drawn in orange.
            const QImage drawn = icon->pixmap().toImage();
            bool orange = false;
            for (int y = 0; y < drawn.height() && !orange; ++y) {
                for (int x = 0; x < drawn.width() && !orange; ++x) {
                    const QColor c = drawn.pixelColor(x, y);
                    orange = c.alpha() > 128 && c.hsvSaturationF() > 0.45 && c.hsvHue() >= 15 && c.hsvHue() <= 50;
                }
            }
            QVERIFY2(orange, symbolName);
        }
    }

    void theInputPanelKeepsItsNarrowestWidthAndTheTitleItsPlaceholder() {
        GUI_REQUIRE(split, QSplitter, view_.get(), "studioSplit");
        GUI_REQUIRE(title, QLabel, view_.get(), "studioTitle");
        LeftPanel* left = view_->leftPanel();
        for (const int width : {1000, 1600}) {
            view_->resize(width, 800);
            QTRY_COMPARE(view_->scale(), width / 1000.0);
            const double scale = view_->scale();
            QApplication::processEvents();
            // Behind the 40 padding: a 24 × scale placeholder, then 20 × scale to the title.
            QVERIFY2(std::abs(title->geometry().left() - (40 + 24 * scale + 20 * scale)) <= 1,
                     qPrintable(QStringLiteral("title at %1, scale %2").arg(title->geometry().left()).arg(scale)));
            QCOMPARE(left->minimumWidth(), 185);
            split->setSizes({100, width - 100});
            QApplication::processEvents();
            QCOMPARE(left->width(), 185);
            split->setSizes({370, width - 370});
            QApplication::processEvents();
        }
        // The first reference changes neither the narrowest width nor the width shown.
        const int before = left->width();
        GUI_CHECK(pick(pictureFiles(1), "uploadReference"));
        QApplication::processEvents();
        QCOMPARE(left->minimumWidth(), 185);
        QCOMPARE(left->width(), before);
    }
};

QTEST_MAIN(ImageStudioViewTest)
#include "tst_image_studio_views.moc"
