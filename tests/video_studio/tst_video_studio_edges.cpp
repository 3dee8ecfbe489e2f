#include "VideoStudioTestSupport.h"

#include "FrameSlotView.h"
#include "GuiTestSupport.h"
#include "ImageTiles.h"
#include "LayoutCheck.h"
#include "ScenesView.h"
#include "VideoWorkspaceModel.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>

// The video studio at its edges: the window at its smallest, the control pane dragged as narrow as it goes, with
// and without frames, at the smallest and the largest scale. Nothing may be cut or overlap, and the generate
// button stays in view without scrolling.
class VideoStudioEdgesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<StudioWorld> world;
    std::unique_ptr<ScenesView> view;

    VideoWorkspaceModel* model() const { return view->model(); }

private slots:
    void init() {
        world = std::make_unique<StudioWorld>();
        view = std::make_unique<ScenesView>(world->env());
        view->resize(1000, 700);
        QVERIFY(gui::showActive(view.get()));
    }
    void cleanup() {
        view.reset();
        world.reset();
    }

    void nothingIsCutAtTheSmallestSizes_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<bool>("generateInView");
        // The window's smallest content is 1000 × 700; 1600 wide is the first width at the largest scale.
        const QSize none;
        const QSize wide(960, 540);
        const QSize portrait(600, 800);
        for (const auto& [width, scale] : {std::pair{1000, 1.0}, std::pair{1600, 1.6}}) {
            for (const QString mode : {"image_to_video", "start_end_video"}) {
                for (const QSize& frame : {none, wide, portrait}) {
                    const QString shape = frame.isEmpty() ? "no frames"
                                          : frame == wide ? "wide frames"
                                                          : "portrait frames";
                    // A portrait reference is 200 high: at the largest scale the pane is then a few pixels too short
                    // for everything and scrolls.
                    const bool inView = !(scale > 1.5 && mode == "image_to_video" && frame == portrait);
                    QTest::newRow(qPrintable(QStringLiteral("%1, %2, %3").arg(scale, 0, 'f', 1).arg(mode, shape)))
                        << width << scale << mode << frame << inView;
                }
            }
        }
    }
    void nothingIsCutAtTheSmallestSizes() {
        QFETCH(int, width);
        QFETCH(double, scale);
        QFETCH(QString, mode);
        QFETCH(QSize, frame);
        QFETCH(bool, generateInView);

        GUI_REQUIRE(picker, QWidget, view.get(), "modePicker");
        GUI_CLICK(picker, "modePicker_" + mode);
        const bool startEnd = mode == "start_end_video";
        if (frame.isValid()) {
            // With frames, a full prompt: the longest count, the clear and the preset buttons, no placeholder.
            model()->setPrompt(QString(2000, QLatin1Char('w')));
            model()->storeImage(ImageType::first, solidFrame(Qt::red, frame));
            if (startEnd)
                model()->storeImage(ImageType::last, solidFrame(Qt::blue, frame));
        }
        const QSize smallest = QSize(width, 700).expandedTo(view->minimumSizeHint());
        view->resize(smallest);
        QTRY_COMPARE(view->size(), smallest);
        QTRY_COMPARE(view->scale(), scale);
        if (frame.isValid()) {
            GUI_REQUIRE(slot, FrameSlotView, view.get(), startEnd ? "endFrameSlot" : "referenceFrameSlot");
            QTRY_VERIFY(slot->tile() && slot->tile()->isVisible());
            GUI_REQUIRE(clear, QWidget, view.get(), "clearPrompt");
            QVERIFY(clear->isVisible());
        }

        // The control pane dragged as far left as it goes: no narrower than 185, and no narrower than its controls.
        GUI_REQUIRE(split, QSplitter, view.get(), "videoStudioSplit");
        split->setSizes({0, split->width()});
        settleLayouts();
        GUI_REQUIRE(scroll, QScrollArea, split, "videoControlScroll");
        QVERIFY2(scroll->width() >= 185, qPrintable(QString::number(scroll->width())));
        QCOMPARE(split->sizes().constFirst(), scroll->width());

        const QStringList faults = gui::layoutFaults(view.get());
        QVERIFY2(faults.isEmpty(), qPrintable("\n" + faults.join("\n")));

        // The pane shows its content whole across; down, the generate button shows without scrolling when the
        // frames leave room for it, and can be scrolled to when not.
        QVERIFY2(scroll->widget()->width() <= scroll->viewport()->width(),
                 qPrintable(QStringLiteral("content %1 wide in a view %2 wide")
                                .arg(scroll->widget()->width())
                                .arg(scroll->viewport()->width())));
        GUI_REQUIRE(generate, QWidget, scroll, "generateButton");
        const QRect inView(generate->mapTo(scroll->viewport(), QPoint(0, 0)), generate->size());
        const QString where = QStringLiteral("generate button at y %1, %2 high, in a view %3 high")
                                  .arg(inView.y())
                                  .arg(inView.height())
                                  .arg(scroll->viewport()->height());
        if (generateInView) {
            QVERIFY2(scroll->viewport()->rect().contains(inView), qPrintable(where));
        } else {
            scroll->ensureWidgetVisible(generate, 0, 0);
            const QRect scrolled(generate->mapTo(scroll->viewport(), QPoint(0, 0)), generate->size());
            QVERIFY2(scroll->viewport()->rect().contains(scrolled), qPrintable(where));
        }
    }

    // At its narrowest the pane keeps its width while the prompt fills up: the count and the clear button have
    // their room from the start.
    void theNarrowestPaneKeepsItsWidthWhileThePromptGrows() {
        for (const int width : {1000, 1600}) {
            model()->setPrompt(QString());
            view->resize(width, 700);
            settleLayouts();
            GUI_REQUIRE(split, QSplitter, view.get(), "videoStudioSplit");
            split->setSizes({0, split->width()});
            settleLayouts();
            const int narrowest = split->sizes().constFirst();
            for (const int length : {1, 10, 100, 1000, 2000}) {
                model()->setPrompt(QString(length, QLatin1Char('a')));
                settleLayouts();
                QVERIFY2(split->sizes().constFirst() == narrowest,
                         qPrintable(QStringLiteral("%1 wide, %2 characters: the pane went from %3 to %4")
                                        .arg(width)
                                        .arg(length)
                                        .arg(narrowest)
                                        .arg(split->sizes().constFirst())));
            }
        }
    }
};

QTEST_MAIN(VideoStudioEdgesTest)
#include "tst_video_studio_edges.moc"
