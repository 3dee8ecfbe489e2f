#include "ContentView.h"
#include "GuiTestSupport.h"
#include "ImageServiceFactory.h"
#include "ImageSettingsPopover.h"
#include "LayoutCheck.h"
#include "LeftPanel.h"
#include "Popover.h"
#include "StudioTestBase.h"
#include "Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QTest>

// The image model settings popover as a person sees it: its texts, fonts and sizes, and where it stands at its gear
// button at each window width.

class ImageSettingsPopoverTableTest : public StudioTestBase {
    Q_OBJECT

    std::unique_ptr<ContentView> view_;

    // Opens the popover from the gear; nullptr (and a failure) when it does not come.
    ImageSettingsPopover* open() {
        auto* gear = gui::require<QAbstractButton>(view_.get(), "imageModelSettings");
        if (!gear || !gui::click(gear))
            return nullptr;
        ImageSettingsPopover* panel = view_->leftPanel()->settingsPopover();
        if (!gui::waitFor([panel] { return panel && panel->isVisible(); }))
            return nullptr;
        return panel;
    }

private slots:
    void init() {
        setUpServices();
        view_ = std::make_unique<ContentView>(environment());
        view_->setGeometry(QRect(QPoint(200, 40), QSize(1000, 800)));
        QVERIFY(gui::showActive(view_.get()));
    }
    void cleanup() {
        view_.reset();
        tearDownServices();
        Theme::instance().setColorScheme(std::nullopt);
    }

    // Each text of the panel with its font and colour; the marked level ("Balanced" at the default 0.7) in the
    // semibold primary, the others in the regular secondary.
    void itsTextsAndFonts_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("semibold");
        QTest::addColumn<int>("color");
        const int secondary = int(ColorRole::secondary);
        const int primary = int(ColorRole::primary);
        // The panel keeps its sizes whatever the studio's scale.
        for (const int width : {1000, 1600}) {
            QTest::addRow("model title, %d wide", width) << width << "modelTitle"
                                                         << "Model Orvane" << 12 << true << secondary;
            QTest::addRow("creativity title, %d wide", width) << width << "creativityTitle"
                                                              << "Creativity" << 12 << true << secondary;
            QTest::addRow("Precise, %d wide", width) << width << "creativityLabel_Precise"
                                                     << "Precise" << 9 << false << secondary;
            QTest::addRow("Balanced, marked, %d wide", width) << width << "creativityLabel_Balanced"
                                                              << "Balanced" << 9 << true << primary;
            QTest::addRow("Creative, %d wide", width) << width << "creativityLabel_Creative"
                                                      << "Creative" << 9 << false << secondary;
            QTest::addRow("Wild, %d wide", width) << width << "creativityLabel_Wild"
                                                  << "Wild" << 9 << false << secondary;
        }
    }
    void itsTextsAndFonts() {
        QFETCH(int, width);
        QFETCH(QString, control);
        QFETCH(QString, text);
        QFETCH(int, pixelSize);
        QFETCH(bool, semibold);
        QFETCH(int, color);
        view_->resize(width, 800);
        QTRY_COMPARE(view_->scale(), width / 1000.0);
        ImageSettingsPopover* panel = open();
        QVERIFY(panel);
        GUI_REQUIRE(label, QLabel, panel, control);
        QCOMPARE(label->text(), text);
        QCOMPARE(gui::pixelSizeOf(label->font()), pixelSize);
        QCOMPARE(label->font().weight() >= QFont::DemiBold, semibold);
        QCOMPARE(label->palette().color(QPalette::WindowText), Theme::color(ColorRole(color), label));
    }

    // The two model segments in their order, the four levels in equal shares of the row with a 12-point dot each,
    // and the two sections in the middle of the 300 x 220 frame.
    void itsChoicesAndSizes_data() {
        QTest::addColumn<int>("width");
        QTest::newRow("1000 wide") << 1000;
        QTest::newRow("1600 wide") << 1600;
    }
    void itsChoicesAndSizes() {
        QFETCH(int, width);
        view_->resize(width, 800);
        QTRY_COMPARE(view_->scale(), width / 1000.0);
        ImageSettingsPopover* panel = open();
        QVERIFY(panel);
        QCOMPARE(panel->size(), QSize(300, 220));
        QCOMPARE(panel->layout()->contentsMargins(), QMargins(20, 16, 20, 16));

        const QStringList segments{"Gemini 3.1 Image", "Gemini 3 Pro"};
        const QStringList names{"model_gemini-3.1-flash-image-preview", "model_gemini-3-pro-image-preview"};
        for (int i = 0; i < segments.size(); ++i) {
            GUI_REQUIRE(segment, QAbstractButton, panel, names[i]);
            QCOMPARE(segment->text(), segments[i]);
            QCOMPARE(panel->modelButtons().value(i), segment);
        }

        const QStringList levels{"Precise", "Balanced", "Creative", "Wild"};
        QList<int> widths;
        int left = -1;
        for (const QString& level : levels) {
            GUI_REQUIRE(button, QAbstractButton, panel, "creativity_" + level);
            GUI_REQUIRE(dot, QLabel, panel, "creativityDot_" + level);
            QCOMPARE(dot->size(), QSize(12, 12));
            QVERIFY2(button->x() > left, qPrintable(level + " is out of order"));
            left = button->x();
            widths << button->width();
        }
        QVERIFY2(*std::max_element(widths.begin(), widths.end()) - *std::min_element(widths.begin(), widths.end()) <= 1,
                 "the levels do not share the row equally");

        // Section titles 8 above their choices; the sections 16 apart.
        GUI_REQUIRE(modelTitle, QLabel, panel, "modelTitle");
        GUI_REQUIRE(creativityTitle, QLabel, panel, "creativityTitle");
        GUI_REQUIRE(pro, QAbstractButton, panel, names[1]);
        GUI_REQUIRE(precise, QAbstractButton, panel, "creativity_Precise");
        QCOMPARE(pro->y() - (modelTitle->geometry().bottom() + 1), 8);
        QCOMPARE(creativityTitle->y() - (pro->geometry().bottom() + 1), 16);
        QCOMPARE(precise->y() - (creativityTitle->geometry().bottom() + 1), 8);
        // Centred in the frame: as much room above the first title as below the levels.
        const int above = modelTitle->y();
        const int below = panel->height() - (precise->geometry().bottom() + 1);
        QVERIFY2(std::abs(above - below) <= 1, qPrintable(QStringLiteral("%1 above, %2 below").arg(above).arg(below)));

        const QStringList faults = gui::layoutFaults(panel);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }

    // The popover stands on the gear's top centre with its arrow on its bottom edge, at every width and in both
    // schemes, and stays there when the model changes.
    void itStandsOnTheGearsTopCentre_data() {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<bool>("dark");
        for (const QSize window : {QSize(1000, 719), QSize(1600, 1000), QSize(2000, 1300)}) {
            for (const bool dark : {false, true}) {
                const QString name = QStringLiteral("%1 wide, %2").arg(window.width()).arg(dark ? "dark" : "light");
                QTest::newRow(qPrintable(name)) << window << dark;
            }
        }
    }
    void itStandsOnTheGearsTopCentre() {
        QFETCH(QSize, window);
        QFETCH(bool, dark);
        const ColorScheme scheme = dark ? ColorScheme::dark : ColorScheme::light;
        Theme::instance().setColorScheme(scheme);
        view_->setGeometry(QRect(QPoint(200, 40), window));
        QTRY_COMPARE(view_->size(), window);
        GUI_REQUIRE(gear, QAbstractButton, view_.get(), "imageModelSettings");
        QCOMPARE(gear->size(), QSize(28, 28));
        QVERIFY(gui::settled(gear));
        ImageSettingsPopover* panel = open();
        QVERIFY(panel);
        auto* popover = qobject_cast<Popover*>(panel->window());
        QVERIFY(popover);
        QCOMPARE(popover->edge(), Popover::Edge::above);

        for (const char* model : {"model_gemini-3-pro-image-preview", "model_gemini-3.1-flash-image-preview"}) {
            GUI_REQUIRE(segment, QAbstractButton, panel, model);
            QVERIFY(gui::click(segment));
            QTRY_VERIFY(segment->isChecked());
            // The chosen segment is the lighter one, as in the video studio's pickers.
            const QImage drawn = panel->grab().toImage();
            const auto lightness = [&](QWidget* b) {
                return QColor(drawn.pixel(b->mapTo(panel, QPoint(4, 9)))).lightness();
            };
            QVERIFY(lightness(segment) > lightness(panel->modelButtons()[segment == panel->modelButtons()[0]]));
            QCOMPARE(popover->size(), QSize(300, 220 + Popover::arrowHeight));
            const QPoint stand = gear->mapToGlobal(QPoint(gear->width() / 2, 0));
            const QRect frame = popover->geometry();
            QVERIFY2(
                frame.bottom() + 1 == stand.y(),
                qPrintable(
                    QStringLiteral("the frame's bottom %1, the gear's top %2").arg(frame.bottom() + 1).arg(stand.y())));
            QCOMPARE(frame.left() + frame.width() / 2, stand.x());
            QCOMPARE(panel->geometry(), QRect(0, 0, 300, 220));
            const QImage picture = popover->grab().toImage();
            QCOMPARE(picture.pixelColor(popover->width() / 2, 6).rgb(),
                     Theme::color(ColorRole::windowBackground, scheme).rgb());
        }
        popover->close();
    }
};

GUI_TEST_MAIN_ON_LARGE_SCREEN(ImageSettingsPopoverTableTest)

#include "tst_image_settings_popover_table.moc"
