#include "LayoutCheck.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QVBoxLayout>

// The layout check is what the screens' edge tests lean on: it must see each kind of fault and nothing else.
class LayoutCheckTest : public QObject {
    Q_OBJECT

private slots:
    void aLabelNarrowerThanItsTextIsCut() {
        QWidget window;
        auto* label = new QLabel(QStringLiteral("Generate Now and then some more"), &window);
        label->setObjectName("title");
        window.resize(400, 100);
        label->setGeometry(0, 0, 400, 30);
        window.show();
        QVERIFY(gui::layoutFaults(&window).isEmpty());

        label->setGeometry(0, 0, 40, 30);
        const QStringList faults = gui::layoutFaults(&window);
        QCOMPARE(faults.size(), 1);
        QVERIFY2(faults.first().startsWith("title is cut"), qPrintable(faults.join('\n')));

        // Elided text that fits is not a fault.
        label->setText(label->fontMetrics().elidedText(label->text(), Qt::ElideRight, 38));
        QVERIFY2(gui::layoutFaults(&window).isEmpty(), qPrintable(gui::layoutFaults(&window).join('\n')));
    }

    void aWrappedLabelShorterThanItsLinesIsCut() {
        QWidget window;
        auto* label = new QLabel(QStringLiteral("a long reason that wraps over several lines when narrow"), &window);
        label->setObjectName("reason");
        label->setWordWrap(true);
        window.resize(400, 300);
        window.show();
        label->setGeometry(0, 0, 80, label->heightForWidth(80));
        QVERIFY(gui::layoutFaults(&window).isEmpty());
        label->setGeometry(0, 0, 80, label->fontMetrics().height());
        QVERIFY(gui::layoutFaults(&window).join('\n').contains("reason is cut"));
    }

    void aSqueezedButtonIsCut() {
        QWidget window;
        auto* button = new QPushButton(QStringLiteral("Generate Video"), &window);
        button->setObjectName("generate");
        window.resize(400, 100);
        window.show();
        button->setGeometry(0, 0, button->minimumSizeHint().width(), button->minimumSizeHint().height());
        QVERIFY(gui::layoutFaults(&window).isEmpty());
        button->setGeometry(0, 0, button->minimumSizeHint().width() / 2, button->minimumSizeHint().height());
        QVERIFY(gui::layoutFaults(&window).join('\n').contains("generate is cut"));
    }

    void aControlPastItsParentsEdgeIsCutUnlessItScrolls() {
        QWidget window;
        window.resize(300, 200);
        auto* pane = new QWidget(&window);
        pane->setObjectName("pane");
        pane->setGeometry(0, 0, 300, 100);
        auto* button = new QPushButton(QStringLiteral("Go"), pane);
        button->setObjectName("go");
        button->setGeometry(0, 80, 120, 40);
        window.show();
        const QStringList faults = gui::layoutFaults(&window);
        QVERIFY2(faults.size() == 1, qPrintable(faults.join('\n')));
        QVERIFY2(faults.first().startsWith("go (in pane) is cut by its parents"), qPrintable(faults.first()));

        // The same control in a scroll area's content can be scrolled to.
        QWidget scrolled;
        scrolled.resize(300, 100);
        auto* area = new QScrollArea(&scrolled);
        area->setGeometry(scrolled.rect());
        auto* content = new QWidget;
        content->resize(280, 400);
        auto* far = new QPushButton(QStringLiteral("Go"), content);
        far->setGeometry(0, 300, 120, 40);
        area->setWidget(content);
        scrolled.show();
        QVERIFY2(gui::layoutFaults(&scrolled).isEmpty(), qPrintable(gui::layoutFaults(&scrolled).join('\n')));

        // But not across, when the area never scrolls that way.
        far->move(240, 300);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QTest::qWait(0);
        QVERIFY(gui::layoutFaults(&scrolled).join('\n').contains("is cut by its parents"));
    }

    void controlsPlacedByALayoutMustNotOverlap() {
        QWidget window;
        auto* row = new QHBoxLayout(&window);
        auto* first = new QPushButton(QStringLiteral("One"), &window);
        first->setObjectName("one");
        auto* second = new QPushButton(QStringLiteral("Two"), &window);
        second->setObjectName("two");
        row->addWidget(first);
        auto* inner = new QVBoxLayout;
        inner->addWidget(second);
        row->addLayout(inner);
        // A badge floating over the first button is not placed by the layout: it overlaps on purpose.
        auto* badge = new QLabel(QStringLiteral("3"), &window);
        window.resize(300, 60);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        badge->setGeometry(first->geometry().topLeft().x(), first->geometry().y(), 12, 16);
        badge->raise();
        QVERIFY2(gui::layoutFaults(&window).isEmpty(), qPrintable(gui::layoutFaults(&window).join('\n')));

        second->setGeometry(first->geometry().translated(10, 0));
        QVERIFY(gui::layoutFaults(&window).join('\n').contains("one and two overlap"));
    }
};

QTEST_MAIN(LayoutCheckTest)
#include "tst_layout_check.moc"
