#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "LayoutCheck.h"
#include "Popover.h"
#include "ScenesView.h"
#include "SegmentedPicker.h"
#include "Theme.h"
#include "VideoStudioTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QTest>

// The video settings popover as a person sees it: its texts and sizes in every state it can show, and where it
// hangs from its button at each window width.

namespace {

struct Shown {
    bool modelRow;
    QStringList models;
    QStringList qualities;
    QStringList durations;
    bool fastRow;
    int height;
    int spacing;
};

QStringList segmentTexts(SegmentedPicker* picker) {
    QStringList texts;
    for (GlassButton* segment : picker->segments())
        texts << segment->title();
    return texts;
}

// Text, font size and weight, and colour role of a label, against the table's.
void checkLabel(QWidget* root, const QString& name, const QString& text, int pixelSize, bool semibold, ColorRole role) {
    auto* label = gui::require<QLabel>(root, name);
    if (!label)
        return;
    QCOMPARE(label->text(), text);
    QVERIFY2(label->isVisible(), qPrintable(name + " is hidden"));
    const QFont font = label->font();
    const int size = gui::pixelSizeOf(font);
    QVERIFY2(size == pixelSize,
             qPrintable(QStringLiteral("%1: size %2, the table says %3").arg(name).arg(size).arg(pixelSize)));
    QVERIFY2((font.weight() >= QFont::DemiBold) == semibold, qPrintable(name + ": weight"));
    QVERIFY2(label->palette().color(QPalette::WindowText) == Theme::color(role, label), qPrintable(name + ": colour"));
}

} // namespace

Q_DECLARE_METATYPE(Shown)

class VideoSettingsPopoverTable : public QObject {
    Q_OBJECT

    std::unique_ptr<StudioWorld> world;
    std::unique_ptr<ScenesView> view;

    // Opens the popover from its button; nullptr (and a failure) when it does not come.
    Popover* open() {
        auto* button = gui::require<QWidget>(view.get(), "videoSettingsButton");
        if (!button || !gui::click(button))
            return nullptr;
        if (!gui::waitFor([this] { return view->videoSettingsPopover() && view->videoSettingsPopover()->isVisible(); }))
            return nullptr;
        return qobject_cast<Popover*>(view->videoSettingsPopover());
    }

private slots:
    void init() {
        world = std::make_unique<StudioWorld>();
        view = std::make_unique<ScenesView>(world->env());
        view->resize(1600, 1000);
        QVERIFY(gui::showActive(view.get()));
    }
    void cleanup() {
        view.reset();
        world.reset();
        Theme::instance().setColorScheme(std::nullopt);
    }

    // What each mode and model shows, with the texts, fonts, paddings and heights the panel is made of.
    void itShowsTheChoicesOfTheModeAndModel_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("quality");
        QTest::addColumn<Shown>("shown");
        const QStringList models{"2.0", "2.3", "2.3 Fast"};
        QTest::newRow("image to video, 2.0, 768P")
            << int(VideoGenerationMode::imageToVideo) << int(VideoModel::hailuo02) << int(VideoQuality::p768)
            << Shown{true, models, {"512P", "768P", "1080P"}, {"6 s", "10 s"}, false, 210, 16};
        QTest::newRow("image to video, 2.3, 1080P")
            << int(VideoGenerationMode::imageToVideo) << int(VideoModel::hailuo23) << int(VideoQuality::p1080)
            << Shown{true, models, {"768P", "1080P"}, {"6 s"}, true, 240, 16};
        QTest::newRow("image to video, 2.3 Fast, 768P")
            << int(VideoGenerationMode::imageToVideo) << int(VideoModel::hailuo23Fast) << int(VideoQuality::p768)
            << Shown{true, models, {"768P", "1080P"}, {"6 s", "10 s"}, true, 240, 16};
        QTest::newRow("start to end, 2.3 stored")
            << int(VideoGenerationMode::startEndVideo) << int(VideoModel::hailuo23) << int(VideoQuality::p768)
            << Shown{false, {}, {"768P", "1080P"}, {"6 s", "10 s"}, false, 170, 20};
    }
    void itShowsTheChoicesOfTheModeAndModel() {
        QFETCH(int, mode);
        QFETCH(int, model);
        QFETCH(int, quality);
        QFETCH(Shown, shown);
        world->app->setVideoMode(VideoGenerationMode(mode));
        world->videoSettings->setSelectedModel(VideoModel(model));
        world->videoSettings->setQuality(VideoQuality(quality));
        world->videoSettings->setDuration(VideoDuration::seconds6);
        Popover* popover = open();
        QVERIFY(popover);
        GUI_REQUIRE(panel, QWidget, popover, "VideoSettingsPopover");

        // 300 wide, the height of the mode and model, padded 20 at the sides and 16 above and below.
        QCOMPARE(panel->size(), QSize(300, shown.height));
        QCOMPARE(panel->layout()->contentsMargins(), QMargins(20, 16, 20, 16));
        QCOMPARE(panel->layout()->spacing(), shown.spacing);

        QCOMPARE(bool(gui::find(panel, "modelPicker")), shown.modelRow);
        if (shown.modelRow) {
            GUI_CHECK(checkLabel(panel, "modelCaption", "Model Hailuo", 12, true, ColorRole::secondary));
            GUI_REQUIRE(models, SegmentedPicker, panel, "modelPicker");
            QCOMPARE(segmentTexts(models), shown.models);
            GUI_REQUIRE(caption, QLabel, panel, "modelCaption");
            QCOMPARE(models->y() - caption->geometry().bottom() - 1, 8);
        }
        GUI_REQUIRE(qualityTitle, QLabel, panel, "qualityPickerTitle");
        QCOMPARE(qualityTitle->text(), QStringLiteral("Quality"));
        GUI_REQUIRE(qualities, SegmentedPicker, panel, "qualityPicker");
        QCOMPARE(segmentTexts(qualities), shown.qualities);
        GUI_REQUIRE(durationTitle, QLabel, panel, "durationPickerTitle");
        QCOMPARE(durationTitle->text(), QStringLiteral("Duration"));
        GUI_REQUIRE(durations, SegmentedPicker, panel, "durationPicker");
        QCOMPARE(segmentTexts(durations), shown.durations);

        GUI_CHECK(checkLabel(panel, "aiOptimizationToggleLabel", "AI Optimization", 13, false, ColorRole::secondary));
        GUI_REQUIRE(sparkles, QLabel, panel, "aiOptimizationToggleSymbol");
        QCOMPARE(sparkles->pixmap().deviceIndependentSize().toSize(), QSize(12, 12));
        GUI_REQUIRE(optimization, QCheckBox, panel, "aiOptimizationToggle");
        QCOMPARE(optimization->accessibleName(), QStringLiteral("AI Optimization"));

        QWidget* fastRow = gui::find(panel, "fastPretreatmentToggleRow");
        QCOMPARE(fastRow && fastRow->isVisible(), shown.fastRow);
        if (shown.fastRow) {
            GUI_CHECK(
                checkLabel(panel, "fastPretreatmentToggleLabel", "Fast Pretreatment", 13, false, ColorRole::secondary));
            GUI_REQUIRE(bolt, QLabel, panel, "fastPretreatmentToggleSymbol");
            QCOMPARE(bolt->pixmap().deviceIndependentSize().toSize(), QSize(12, 12));
        }
        // Nothing in it is cut or lies over another control.
        const QStringList faults = gui::layoutFaults(panel);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }

    // The popover hangs from the button's bottom centre with its arrow on top, at every width and in both schemes,
    // and keeps hanging there while a model change adds or removes the fast pretreatment row.
    void itHangsFromTheButtonsBottomCentre_data() {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<bool>("dark");
        for (const QSize window : {QSize(1000, 719), QSize(1600, 1000), QSize(2000, 1300)}) {
            for (const bool dark : {false, true}) {
                const QString name = QStringLiteral("%1 wide, %2").arg(window.width()).arg(dark ? "dark" : "light");
                QTest::newRow(qPrintable(name)) << window << dark;
            }
        }
    }
    void itHangsFromTheButtonsBottomCentre() {
        QFETCH(QSize, window);
        QFETCH(bool, dark);
        Theme::instance().setColorScheme(dark ? ColorScheme::dark : ColorScheme::light);
        // Far enough from the screen's left edge that the popover need not move aside to stay on it.
        view->setGeometry(QRect(QPoint(200, 40), window));
        QTRY_COMPARE(view->size(), window);
        world->videoSettings->setSelectedModel(VideoModel::hailuo02);
        GUI_REQUIRE(button, QWidget, view.get(), "videoSettingsButton");
        QCOMPARE(button->size(), QSize(28, 28));
        // The studio lays itself out again for the new width a few events later.
        QVERIFY(gui::settled(button));
        Popover* popover = open();
        QVERIFY(popover);
        QCOMPARE(popover->edge(), Popover::Edge::below);
        GUI_REQUIRE(models, SegmentedPicker, popover, "modelPicker");

        // 2.0 shows four rows, 2.3 five, and 2.0 four again: the frame is the panel plus the arrow each time.
        const QList<QPair<QString, int>> steps{
            {"MiniMax-Hailuo-02", 210}, {"MiniMax-Hailuo-2.3", 240}, {"MiniMax-Hailuo-02", 210}};
        for (const auto& [model, height] : steps) {
            QVERIFY2(gui::click(models->segment(model)), qPrintable(model));
            QTRY_COMPARE(popover->height(), height + Popover::arrowHeight);
            const QPoint hook = button->mapToGlobal(QPoint(button->width() / 2, button->height()));
            const QRect frame = popover->geometry();
            QVERIFY2(frame.top() == hook.y(),
                     qPrintable(QStringLiteral("%1: the frame's top %2, the button's bottom %3")
                                    .arg(model)
                                    .arg(frame.top())
                                    .arg(hook.y())));
            QCOMPARE(frame.left() + frame.width() / 2, hook.x());
            // The panel fills the frame under the arrow, on the window background of the scheme.
            GUI_REQUIRE(panel, QWidget, popover, "VideoSettingsPopover");
            QCOMPARE(panel->geometry(), QRect(0, Popover::arrowHeight, 300, height));
            const QImage picture = popover->grab().toImage();
            const QColor fill = picture.pixelColor(popover->width() / 2, popover->height() - 6);
            QCOMPARE(fill.rgb(),
                     Theme::color(ColorRole::windowBackground, dark ? ColorScheme::dark : ColorScheme::light).rgb());
        }
        popover->close();
    }
};

GUI_TEST_MAIN_ON_LARGE_SCREEN(VideoSettingsPopoverTable)

#include "tst_video_settings_popover_table.moc"
