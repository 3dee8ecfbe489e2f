#include "BorderColor.h"
#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "Popover.h"
#include "WindowSystem.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

QPushButton* button(const QString& name, QWidget* parent) {
    auto* b = new QPushButton(name, parent);
    b->setObjectName(name);
    return b;
}

QStringList names(const QList<QWidget*>& widgets) {
    QStringList result;
    for (const QWidget* w : widgets)
        result << w->objectName();
    return result;
}

// The content of a settings popover whose controls are made in another order than they are laid out: the
// toggle at the bottom is made before the segments above it.
QWidget* settingsContent() {
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    auto* caption = new QLabel("Quality", content);
    auto* toggle = new QCheckBox("AI Optimization", content);
    toggle->setObjectName("toggle");
    auto* segments = new QWidget(content);
    auto* row = new QHBoxLayout(segments);
    for (const char* name : {"768P", "1080P"})
        row->addWidget(button(name, segments));
    auto* durations = new QWidget(content);
    auto* durationRow = new QHBoxLayout(durations);
    durationRow->addWidget(button("6s", durations));
    durationRow->addWidget(button("10s", durations));
    column->addWidget(caption);
    column->addWidget(segments);
    column->addWidget(durations);
    column->addWidget(toggle);
    return content;
}

// The interface of `object` among the application's windows, as a screen reader walks them; nullptr if absent.
QAccessibleInterface* applicationWindow(QObject* object) {
    QAccessibleInterface* application = QAccessible::queryAccessibleInterface(qApp);
    for (int i = 0; application && i < application->childCount(); ++i) {
        QAccessibleInterface* child = application->child(i);
        if (child && child->object() == object)
            return child;
    }
    return nullptr;
}

} // namespace

class PopoverTests : public QObject {
    Q_OBJECT
private slots:
    void aScreenReaderFindsItAsANamedDialogOfTheApplication() {
        QWidget window;
        window.resize(400, 300);
        auto* anchor = new GlassIconButton("gearshape", "Video Settings", 28, 14, &window);
        anchor->setObjectName("videoSettingsButton");
        anchor->move(180, 40);
        QVERIFY(gui::showActive(&window));
        auto* popover = new Popover(anchor);
        popover->setContent(settingsContent());
        QVERIFY(!applicationWindow(popover));
        popover->popup();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        QAccessibleInterface* dialog = applicationWindow(popover);
        QVERIFY2(dialog, "the popover is not among the application's windows");
        QCOMPARE(dialog->role(), QAccessible::Dialog);
        // Named after its anchor until it has a name of its own.
        QCOMPARE(dialog->text(QAccessible::Name), QString("Video Settings"));
        popover->setAccessibleName("Video options");
        QCOMPARE(dialog->text(QAccessible::Name), QString("Video options"));
        // Its controls are its children in the tree.
        QAccessibleInterface* toggle = QAccessible::queryAccessibleInterface(gui::find(popover, "toggle"));
        QAccessibleInterface* up = toggle;
        while (up && up->object() != popover)
            up = up->parent();
        QVERIFY(up);
        QVERIFY(!dialog->state().invisible);
        popover->close();
        QTRY_VERIFY(dialog->state().invisible);
    }

    void theKeyboardStartsOnTheFirstNamedControlAndTabsInLayoutOrder() {
        QWidget window;
        window.resize(400, 300);
        auto* anchor = new GlassIconButton("gearshape", "Video Settings", 28, 14, &window);
        anchor->setObjectName("videoSettingsButton");
        QVERIFY(gui::showActive(&window));
        auto* popover = new Popover(anchor);
        auto* content = settingsContent();
        // An unnamed control before the others is not where the keyboard starts.
        auto* unnamed = new QPushButton(content);
        unnamed->setObjectName("unnamed");
        static_cast<QVBoxLayout*>(content->layout())->insertWidget(0, unnamed);
        popover->setContent(content);
        popover->popup();
        QTRY_COMPARE(QApplication::activeWindow(), popover);
        QTRY_VERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("768P"));
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 5; ++i) {
            gui::keyToFocus(Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, QStringList({"768P", "1080P", "6s", "10s", "toggle", "unnamed"}));
        gui::keyToFocus(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("toggle"));
        // The keyboard stays inside the popover.
        gui::keyToFocus(Qt::Key_Tab);
        gui::keyToFocus(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("768P"));
    }

    void itKeepsItsWindowKeyAndClosesOnEscapeAClickOrAnotherWindow() {
        QWidget window;
        window.resize(400, 300);
        auto* anchor = new GlassIconButton("gearshape", "Video Settings", 28, 14, &window);
        anchor->setObjectName("videoSettingsButton");
        anchor->move(20, 200);
        auto* below = button("other", &window);
        below->move(300, 20);
        QVERIFY(gui::showActive(&window));
        auto* popover = new Popover(anchor);
        popover->setPreferredEdge(Popover::Edge::above);
        popover->setContent(settingsContent());
        QSignalSpy closed(popover, &Popover::closed);

        popover->popup();
        QTRY_COMPARE(QApplication::activeWindow(), popover);
        QCOMPARE(popover->edge(), Popover::Edge::above);
        QCOMPARE(popover->geometry().bottom() + 1, anchor->mapToGlobal(QPoint(0, 0)).y());
        // The studio under it keeps its key-window look while the popover has the keyboard.
        QCOMPARE(controlActiveStateOf(anchor), ControlActiveState::key);
        gui::keyToFocus(Qt::Key_Escape);
        QTRY_VERIFY(!popover->isVisible());
        QCOMPARE(closed.count(), 1);
        // The keyboard returns to the window it came from.
        QTRY_COMPARE(QApplication::activeWindow(), &window);

        // A press on another control closes it, and that control still gets its click.
        popover->popup();
        QTRY_COMPARE(QApplication::activeWindow(), popover);
        QSignalSpy clicked(below, &QPushButton::clicked);
        QVERIFY(gui::click(below));
        QVERIFY(!popover->isVisible());
        QCOMPARE(closed.count(), 2);
        QCOMPARE(clicked.count(), 1);

        // A press inside it, or in a window opened from inside it, does not.
        popover->popup();
        QTRY_COMPARE(QApplication::activeWindow(), popover);
        QVERIFY(gui::click(gui::find(popover, "1080P")));
        auto* list = new QWidget(gui::find(popover, "toggle"), Qt::Tool);
        list->resize(60, 60);
        list->show();
        QTest::mouseClick(list, Qt::LeftButton);
        QVERIFY(popover->isVisible());
        delete list;

        // Another window of the application taking the keyboard closes it.
        QVERIFY(gui::deactivate(&window));
        QTRY_VERIFY(!popover->isVisible());
        QCOMPARE(closed.count(), 3);
    }

    // Without a compositor, see-through pixels show black: the popover then cuts its window to its outline, the
    // arrow included, and with one it leaves the window whole for the soft edges.
    void withoutACompositorTheWindowTakesTheOutlinesShape() {
        QWidget window;
        window.resize(400, 300);
        auto* anchor = button("gear", &window);
        anchor->move(180, 40);
        QVERIFY(gui::showActive(&window));
        auto* popover = new Popover(anchor);
        popover->setContent(settingsContent());
        const auto answerAgain = qScopeGuard([] { WindowSystem::answerSeeThroughForTesting(std::nullopt); });

        WindowSystem::answerSeeThroughForTesting(false);
        popover->popup();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        QCOMPARE(popover->edge(), Popover::Edge::below);
        const QRegion shape = popover->mask();
        QVERIFY(!shape.isEmpty());
        const QRect whole = popover->rect();
        const int arrowX = anchor->mapToGlobal(QPoint(anchor->width() / 2, 0)).x() - popover->x();
        QVERIFY(shape.contains(whole.center()));
        QVERIFY(shape.contains(QPoint(arrowX, 2)));                    // the arrow's tip
        QVERIFY(!shape.contains(QPoint(arrowX + 20, 2)));              // beside the arrow, above the body
        QVERIFY(!shape.contains(QPoint(1, Popover::arrowHeight + 1))); // the rounded corners
        QVERIFY(!shape.contains(QPoint(whole.right() - 1, whole.bottom() - 1)));
        popover->close();

        WindowSystem::answerSeeThroughForTesting(true);
        popover->popup();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        QVERIFY(popover->mask().isEmpty());
        popover->close();
    }

    void theLayoutDecidesTheTabOrder() {
        QWidget root;
        auto* column = new QVBoxLayout(&root);
        // A grid filled from its last cell back.
        auto* grid = new QGridLayout;
        grid->addWidget(button("g11", &root), 1, 1);
        grid->addWidget(button("g10", &root), 1, 0);
        grid->addWidget(button("g01", &root), 0, 1);
        grid->addWidget(button("g00", &root), 0, 0);
        // A form whose field is made before its label's buddy.
        auto* form = new QFormLayout;
        auto* field = new QLineEdit(&root);
        field->setObjectName("field");
        form->addRow(button("formLabel", &root), field);
        // A row laid out right to left.
        auto* reversed = new QBoxLayout(QBoxLayout::RightToLeft);
        reversed->addWidget(button("first", &root));
        reversed->addWidget(button("second", &root));
        column->addLayout(form);
        column->addLayout(reversed);
        column->addLayout(grid);
        // Hidden and disabled controls keep their place; a control that hands its focus to another, and one
        // that takes no focus from Tab, have none.
        auto* hidden = button("hidden", &root);
        hidden->hide();
        column->addWidget(hidden);
        auto* disabled = button("disabled", &root);
        disabled->setEnabled(false);
        column->addWidget(disabled);
        auto* proxied = button("proxied", &root);
        proxied->setFocusProxy(field);
        column->addWidget(proxied);
        auto* clickOnly = button("clickOnly", &root);
        clickOnly->setFocusPolicy(Qt::ClickFocus);
        column->addWidget(clickOnly);
        // A control no layout places comes last.
        button("loose", &root);

        const QStringList expected{"formLabel", "field", "second", "first",    "g00",  "g01",
                                   "g10",       "g11",   "hidden", "disabled", "loose"};
        QCOMPARE(names(layoutFocusOrder(&root)), expected);
        QCOMPARE(names(setTabOrderFromLayout(&root)), expected);
        QStringList chain;
        for (QWidget* w = gui::find(&root, "formLabel"); w && chain.size() < expected.size(); w = w->nextInFocusChain())
            if (expected.contains(w->objectName()))
                chain << w->objectName();
        QCOMPARE(chain, expected);
        QCOMPARE(accessibleNameOf(gui::find(&root, "first")), QString("first"));
    }
};

QTEST_MAIN(PopoverTests)
#include "tst_popover.moc"
