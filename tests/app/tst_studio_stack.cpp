#include "StudioStack.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>

// A studio whose parts need `needed`: its layout says so, as a real studio's does.
static QWidget* studioNeeding(QSize needed, QWidget** part) {
    auto* studio = new QWidget;
    auto* column = new QVBoxLayout(studio);
    column->setContentsMargins(0, 0, 0, 0);
    *part = new QWidget(studio);
    (*part)->setMinimumSize(needed);
    column->addWidget(*part);
    return studio;
}

class StudioStackTest : public QObject {
    Q_OBJECT
private slots:
    // The window never gets smaller than either studio can be laid out in, the hidden one included (a switch
    // must not find the window too small), and it follows a studio whose needs grow.
    void theWindowNeedsWhatTheLargerStudioNeeds() {
        QWidget* videoPart = nullptr;
        QWidget* imagePart = nullptr;
        QWidget window;
        auto* column = new QVBoxLayout(&window);
        column->setContentsMargins(0, 0, 0, 0);
        auto* stack =
            new StudioStack(studioNeeding({900, 500}, &videoPart), studioNeeding({700, 650}, &imagePart), &window);
        column->addWidget(stack);
        stack->showStudio(stack->imageStudio(), false);
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(stack->minimumSizeHint(), QSize(900, 650));
        QTRY_COMPARE(window.minimumSize(), QSize(900, 650));
        QVERIFY(window.width() >= 900 && window.height() >= 650);
        QCOMPARE(stack->imageStudio()->size(), stack->size());

        // The shown studio needs more: the window follows and grows.
        imagePart->setMinimumHeight(820);
        QTRY_COMPARE(window.minimumSize(), QSize(900, 820));
        QTRY_VERIFY(window.height() >= 820);
        QCOMPARE(stack->imageStudio()->size(), stack->size());
    }
};

QTEST_MAIN(StudioStackTest)
#include "tst_studio_stack.moc"
