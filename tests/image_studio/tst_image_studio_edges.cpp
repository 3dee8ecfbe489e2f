#include "ContentView.h"
#include "ContextRing.h"
#include "GuiTestSupport.h"
#include "ImageStudioModel.h"
#include "LayoutCheck.h"
#include "LeftPanel.h"
#include "StudioTestBase.h"
#include "StudioTestSupport.h"
#include "SymbolIcon.h"
#include "Theme.h"
#include "WrappedText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>

#include <cmath>
#include <memory>

// The image studio at its edges: the smallest window, the input pane dragged to its narrowest, the largest scale,
// nine references and a full prompt. Nothing may be cut or lie over something else.
class ImageStudioEdgesTest : public StudioTestBase {
    Q_OBJECT

    std::unique_ptr<ContentView> view_;

    ImageStudioModel& model() { return *view_->model(); }

    void addReferences(int count) {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << writePicture(QDir(files_->path()), QStringLiteral("r%1.png").arg(i),
                                  testPicture(480, 320, QColor(25 * i, 120, 200)));
        if (paths.isEmpty())
            return;
        model().addReferenceFiles(paths);
        QTRY_COMPARE(model().pendingReferenceLoads(), 0);
        QTRY_COMPARE(view_->leftPanel()->shownReferenceCount(), count);
    }

    // The studio as the window shows it at `width` × 700 (the window's smallest height), the input pane dragged as
    // narrow as it goes.
    void showAtNarrowestPane(int width) {
        view_->resize(width, 700);
        QTRY_COMPARE(view_->scale(), width / 1000.0);
        auto* split = view_->findChild<QSplitter*>("studioSplit");
        QVERIFY(split);
        split->setSizes({0, width});
        QApplication::processEvents();
        QApplication::processEvents();
    }

    // Text ink in the last column of a text's box: a glyph cut at the edge instead of elided or wrapped.
    static bool inkAtTrailingEdge(QWidget* text) {
        QImage image(text->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        text->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const int x = text->contentsRect().right();
        for (int y = 0; y < image.height(); ++y) {
            if (qAlpha(image.pixel(x, y)) > 64)
                return true;
        }
        return false;
    }

    // White title ink in the outer columns of the generate button (its gradient holds no blue), drawn alone so
    // that what shows beside its rounded corners does not count.
    static bool titleInkAtTheEnds(QWidget* button) {
        const double ratio = button->devicePixelRatioF();
        QImage image(button->size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        button->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const int side = int(std::ceil(2 * ratio));
        for (int y = 0; y < image.height(); ++y) {
            for (int x : {0, 1, image.width() - 2, image.width() - 1}) {
                if (x < 0 || (x >= side && x < image.width() - side))
                    continue;
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() > 128 && c.blue() > 160)
                    return true;
            }
        }
        return false;
    }

private slots:
    void init() {
        setUpServices();
        view_ = std::make_unique<ContentView>(environment());
        view_->resize(1000, 700);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
    }

    void cleanup() {
        view_.reset();
        tearDownServices();
    }

    void nothingIsCutOrOverlapsAtTheNarrowestPane_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("references");
        QTest::addColumn<QString>("prompt");
        // Whether the pane still goes down to 185: only a row of thumbnails, or a counter at 2500/2500 in a large
        // scale beside its clear button, cannot be narrower.
        QTest::addColumn<bool>("narrowest");
        const QString full(2500, QLatin1Char('w'));
        QTest::newRow("1000 wide, no references") << 1000 << 0 << QString() << true;
        QTest::newRow("1000 wide, nine references") << 1000 << 9 << QString("A quiet valley at dawn") << false;
        QTest::newRow("1000 wide, two references, full prompt") << 1000 << 2 << full << true;
        QTest::newRow("1600 wide, no references") << 1600 << 0 << QString() << true;
        QTest::newRow("1600 wide, one reference") << 1600 << 1 << QString("A quiet valley at dawn") << true;
        QTest::newRow("1600 wide, no references, full prompt") << 1600 << 0 << full << false;
        QTest::newRow("1600 wide, nine references") << 1600 << 9 << full << false;
    }

    void nothingIsCutOrOverlapsAtTheNarrowestPane() {
        QFETCH(int, width);
        QFETCH(int, references);
        QFETCH(QString, prompt);
        QFETCH(bool, narrowest);
        model().setPrompt(prompt);
        GUI_CHECK(addReferences(references));
        GUI_CHECK(showAtNarrowestPane(width));

        LeftPanel* left = view_->leftPanel();
        QCOMPARE(left->width(), left->minimumWidth());
        if (narrowest)
            QCOMPARE(left->width(), 185);
        else
            QVERIFY(left->width() > 185);
        const QStringList faults = gui::layoutFaults(view_.get());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));

        // What is below the fold can be scrolled to.
        QScrollArea* scroll = left->scrollArea();
        GUI_REQUIRE(generate, QAbstractButton, left, "generateNow");
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QApplication::processEvents();
        const QRect generateShown(generate->mapTo(scroll->viewport(), QPoint()), generate->size());
        QVERIFY(scroll->viewport()->rect().contains(generateShown));

        // Titles wrap or end in "…" rather than lose a glyph at their edge.
        for (const char* name : {"referenceHeader", "promptTitle", "promptCounter", "studioName", "addFilesTitle"}) {
            auto* text = left->findChild<QLabel*>(name);
            if (!text || !text->isVisible())
                continue;
            QVERIFY2(!inkAtTrailingEdge(text), name);
        }
        QVERIFY(!titleInkAtTheEnds(generate));
    }

    // Nine thumbnails side by side hold the pane wider; once they are gone it can be narrow again.
    void theNarrowestWidthComesBackWhenTheThumbnailsGo() {
        GUI_CHECK(addReferences(9));
        GUI_CHECK(showAtNarrowestPane(1600));
        LeftPanel* left = view_->leftPanel();
        QVERIFY(left->minimumWidth() > 185);
        for (int i = 8; i >= 0; --i)
            model().removeReferenceImage(i);
        QTRY_COMPARE(left->shownReferenceCount(), 0);
        QTRY_COMPARE(left->minimumWidth(), 185);
    }

    void theStudioFitsTheSmallestWindow_data() {
        QTest::addColumn<int>("references");
        QTest::newRow("no references") << 0;
        QTest::newRow("one reference") << 1;
        QTest::newRow("nine references") << 9;
    }

    // The window's smallest size is 1000 × 700 for the studio: with nine references the input panel scrolls rather
    // than asking for a taller window or laying its pictures over each other, and only once the prompt box has
    // given up its room.
    void theStudioFitsTheSmallestWindow() {
        QFETCH(int, references);
        GUI_CHECK(addReferences(references));
        model().setPrompt(QString(2500, QLatin1Char('w')));
        QApplication::processEvents();
        const QSize needed = view_->minimumSizeHint();
        QVERIFY2(needed.width() <= 1000 && needed.height() <= 700,
                 qPrintable(QStringLiteral("%1×%2").arg(needed.width()).arg(needed.height())));
        view_->resize(1000, 700);
        QApplication::processEvents();
        const QStringList faults = gui::layoutFaults(view_.get());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
        GUI_REQUIRE(box, QWidget, view_.get(), "promptBox");
        QVERIFY(view_->leftPanel()->scrollArea()->verticalScrollBar()->maximum() == 0 || box->height() == 140);
    }

    // Where the pane has room the counter and its clear button stand on the title's line, as one row; at the
    // narrowest pane they move under the title rather than cut it.
    void thePromptHeadingIsOneRowWhereItFits() {
        model().setPrompt("a lighthouse");
        GUI_REQUIRE(title, QLabel, view_.get(), "promptTitle");
        GUI_REQUIRE(counter, QLabel, view_.get(), "promptCounter");
        auto* split = view_->findChild<QSplitter*>("studioSplit");
        QVERIFY(split);
        for (const int width : {1000, 1600}) {
            view_->resize(width, 900);
            QTRY_COMPARE(view_->scale(), width / 1000.0);
            split->setSizes({370, width - 370});
            QApplication::processEvents();
            QVERIFY2(std::abs(counter->geometry().center().y() - title->geometry().center().y()) <= 2 &&
                         counter->geometry().left() > title->geometry().right(),
                     qPrintable(QString::number(width)));
            split->setSizes({0, width});
            QApplication::processEvents();
            QVERIFY2(counter->geometry().top() > title->geometry().bottom(), qPrintable(QString::number(width)));
        }
    }

    void theClearButtonFollowsTheScale() {
        model().setPrompt("a lighthouse");
        GUI_REQUIRE(clear, QAbstractButton, view_.get(), "clearPrompt");
        for (const int width : {1000, 1600}) {
            view_->resize(width, 800);
            QTRY_COMPARE(view_->scale(), width / 1000.0);
            QApplication::processEvents();
            // A 12 × scale symbol in a 20 × scale frame.
            QCOMPARE(clear->sizeHint(),
                     QSize(int(std::lround(20 * view_->scale())), int(std::lround(20 * view_->scale()))));
        }
    }

    void theFullPercentageStaysInsideTheRing() {
        GUI_REQUIRE(ring, ContextRing, view_.get(), "contextUsage");
        for (const double scale : {1.0, 1.6}) {
            ring->setScale(scale);
            for (const double percent : {0.0, 8.0, 80.5, 100.0}) {
                ring->setPercent(percent);
                const QRectF text = ring->labelRect();
                const QPointF centre = QRectF(ring->rect()).center();
                for (const QPointF corner : {text.topLeft(), text.topRight(), text.bottomLeft(), text.bottomRight()}) {
                    const QPointF offset = corner - centre;
                    QVERIFY2(std::hypot(offset.x(), offset.y()) <= ring->innerRadius(),
                             qPrintable(QStringLiteral("%1 at %2").arg(ring->percentText()).arg(scale)));
                }
                // Squeezed a little at most: the text stays the ring's 9 × scale bold.
                QVERIFY(text.width() >= 0.5 * QFontMetricsF(Theme::font(9 * scale, QFont::Bold))
                                                  .tightBoundingRect(ring->percentText())
                                                  .width());
            }
        }
    }

    void addFilesIsAHeadline() {
        GUI_REQUIRE(title, QLabel, view_.get(), "addFilesTitle");
        QCOMPARE(title->text(), QString("Add files"));
        QCOMPARE(title->font().pixelSize(), 13);
        QVERIFY(title->font().weight() >= QFont::DemiBold);
    }

    // The error view's "exclamationmark.triangle" is an outline: the triangle's inside stays clear.
    void theErrorTriangleIsAnOutline() {
        const QImage drawn = symbolImage("exclamationmark.triangle", QSize(64, 64), Qt::black);
        // Inside the triangle, beside the exclamation mark, and on its left edge.
        QCOMPARE(qAlpha(drawn.pixel(20, 48)), 0);
        QCOMPARE(qAlpha(drawn.pixel(44, 48)), 0);
        int inked = 0;
        for (int x = 0; x < 20; ++x)
            inked += qAlpha(drawn.pixel(x, 48)) > 128 ? 1 : 0;
        QVERIFY(inked > 0);
    }
};

QTEST_MAIN(ImageStudioEdgesTest)
#include "tst_image_studio_edges.moc"
