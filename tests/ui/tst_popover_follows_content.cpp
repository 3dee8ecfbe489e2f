#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "Popover.h"

#include <QTest>
#include <QVBoxLayout>

namespace {

// Content whose height changes while the popover is open, as a settings panel's does when a row comes or goes.
QWidget* contentOf(int height) {
    auto* content = new QWidget;
    content->setObjectName("content");
    content->setFixedSize(300, height);
    return content;
}

// Where the arrow's tip belongs: the anchor's bottom centre for a popover below it, its top centre above it.
QPoint tipOf(QWidget* anchor, Popover::Edge edge) {
    return anchor->mapToGlobal(QPoint(anchor->width() / 2, edge == Popover::Edge::below ? anchor->height() : 0));
}

} // namespace

class PopoverFollowsContentTests : public QObject {
    Q_OBJECT
private slots:
    // The frame takes the content's size whenever the content changes, on the side it opened on: one below its
    // anchor keeps its top edge on the anchor's bottom, one above keeps its bottom edge on the anchor's top, and
    // the arrow stays on the anchor's centre. Heights are those of the video settings panel (2.0, 2.3, start to end).
    void theFrameFollowsItsContentAndStaysOnTheAnchor_data() {
        QTest::addColumn<Popover::Edge>("edge");
        QTest::addColumn<QList<int>>("heights");
        QTest::newRow("below, grows then shrinks") << Popover::Edge::below << QList<int>{210, 240, 210};
        QTest::newRow("below, shrinks then grows") << Popover::Edge::below << QList<int>{240, 170, 240};
        QTest::newRow("above, grows then shrinks") << Popover::Edge::above << QList<int>{210, 240, 210};
        QTest::newRow("above, shrinks then grows") << Popover::Edge::above << QList<int>{240, 170, 240};
    }
    void theFrameFollowsItsContentAndStaysOnTheAnchor() {
        QFETCH(Popover::Edge, edge);
        QFETCH(QList<int>, heights);
        QWidget window;
        window.resize(700, 900);
        auto* anchor = new GlassIconButton("gearshape", "Video Settings", 28, 14, &window);
        anchor->setObjectName("videoSettingsButton");
        anchor->move(300, 420);
        QVERIFY(gui::showActive(&window));
        auto* popover = new Popover(anchor);
        popover->setAttribute(Qt::WA_DeleteOnClose);
        popover->setPreferredEdge(edge);
        QWidget* content = contentOf(heights.first());
        popover->setContent(content);
        popover->popup();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        QCOMPARE(popover->edge(), edge);

        for (const int height : heights) {
            content->setFixedSize(300, height);
            const QString step = QStringLiteral("content %1 high").arg(height);
            const QPoint tip = tipOf(anchor, edge);
            // Content plus the arrow, nothing more.
            QTRY_COMPARE_WITH_TIMEOUT(popover->height(), height + Popover::arrowHeight, 1000);
            QVERIFY2(popover->width() == 300, qPrintable(step));
            const QRect frame = popover->frameGeometry();
            if (edge == Popover::Edge::below)
                QVERIFY2(
                    frame.top() == tip.y(),
                    qPrintable(step + QStringLiteral(": top %1, anchor's bottom %2").arg(frame.top()).arg(tip.y())));
            else
                QVERIFY2(
                    frame.top() + frame.height() == tip.y(),
                    qPrintable(
                        step +
                        QStringLiteral(": bottom %1, anchor's top %2").arg(frame.top() + frame.height()).arg(tip.y())));
            QVERIFY2(frame.left() + frame.width() / 2 == tip.x(), qPrintable(step));
            // The content sits right under (or over) the arrow, whole.
            const QRect inFrame(content->mapTo(popover, QPoint(0, 0)), content->size());
            const int contentTop = edge == Popover::Edge::below ? Popover::arrowHeight : 0;
            QVERIFY2(inFrame == QRect(0, contentTop, 300, height), qPrintable(step));
            QCOMPARE(popover->edge(), edge);
        }
        popover->close();
    }
};

QTEST_MAIN(PopoverFollowsContentTests)
#include "tst_popover_follows_content.moc"
