#include "FormButtons.h"
#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "Popover.h"
#include "ReturnKeyFilter.h"
#include "Theme.h"
#include "UiScale.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

class ControlTests : public QObject {
    Q_OBJECT
private slots:
    void tabClickRunsItsActionOnceAndLeavesSelectionToTheOwner() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* tab = new GlassTabButton("photo", "Angles");
        tab->setObjectName("anglesTab");
        layout->addWidget(tab);
        QVERIFY(gui::showActive(&window));
        QSignalSpy clicked(tab, &QAbstractButton::clicked);
        QCOMPARE(gui::findByAccessibleName<GlassTabButton>(&window, "Angles"), tab);
        QVERIFY(gui::click(tab));
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!tab->isSelected());
        // The hit area is the rounded shape: the very corner is outside it.
        QTest::mouseClick(tab, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
        QCOMPARE(clicked.count(), 1);
        QTest::mouseClick(tab, Qt::LeftButton, Qt::NoModifier, QPoint(tab->width() / 2, 1));
        QCOMPARE(clicked.count(), 2);
        // Label: padding 14/10, symbol 14 and title, spacing 8.
        QVERIFY(tab->sizeHint().height() >= 14 + 20);
        QVERIFY(tab->sizeHint().width() > 14 + 8 + 28);
    }

    void aSelectedSegmentStandsAboveItsTrackInBothSchemes() {
        GlassButton segment;
        segment.setFill(GlassButton::Fill::none);
        segment.setSelectedFill(GlassButton::Fill::selectedSegment);
        segment.setSelected(true);
        segment.setColorScheme(ColorScheme::light);
        QCOMPARE(segment.currentFill(), Theme::color(ColorRole::controlBackground, ColorScheme::light));
        // In the dark scheme the control background is darker than the window: the chosen segment is lighter.
        segment.setColorScheme(ColorScheme::dark);
        QVERIFY(segment.currentFill().lightness() >
                Theme::color(ColorRole::windowBackground, ColorScheme::dark).lightness());
        QVERIFY(segment.currentFill().lightness() >
                Theme::color(ColorRole::controlBackground, ColorScheme::dark).lightness());
        segment.setSelected(false);
        QCOMPARE(segment.currentFill().alpha(), 0);
    }

    void addTileCountsWithoutSingular_data() {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << qint64(0) << "0 presets";
        QTest::newRow("one") << qint64(1) << "1 presets";
        QTest::newRow("many") << qint64(1234567890123) << "1234567890123 presets";
    }
    void addTileCountsWithoutSingular() {
        QFETCH(qint64, count);
        QFETCH(QString, text);
        AddPresetTile tile;
        tile.setPresetsCount(count);
        QCOMPARE(tile.trailingText(), text);
        QCOMPARE(tile.title(), QString("Add New Preset"));
        QCOMPARE(tile.accessibleName(), QString("Add New Preset"));
        QCOMPARE(tile.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    }

    void iconButtonsAreNamedByTheirHelpText() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* settings = new GlassIconButton("gearshape", "Image Settings", 28);
        settings->setObjectName("imageSettingsButton");
        layout->addWidget(settings);
        auto* fields = new FormButtons("Save", &window);
        layout->addWidget(fields);
        QCOMPARE(settings->toolTip(), QString("Image Settings"));
        QCOMPARE(settings->sizeHint(), QSize(28, 28));
        QCOMPARE(gui::findByAccessibleName(&window, "Image Settings"), settings);
        QCOMPARE(gui::findByAccessibleName(&window, "Cancel"), fields->cancelButton());
        QVERIFY2(gui::unnamedControls(&window).isEmpty(), qPrintable(gui::unnamedControls(&window).join(", ")));
        // An unnamed control is reported.
        auto* stray = new QPushButton(&window);
        layout->addWidget(stray);
        QCOMPARE(gui::unnamedControls(&window).size(), 1);
    }

    void formEnableRule_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("both empty") << ""
                                    << "" << false;
        QTest::newRow("title only") << "Portrait"
                                    << "" << false;
        QTest::newRow("prompt only") << ""
                                     << "soft light" << false;
        QTest::newRow("spaces") << "   "
                                << "soft light" << false;
        QTest::newRow("newlines and tabs") << "Portrait"
                                           << "\n\t \n"
                                           << false;
        QTest::newRow("unicode spaces") << QString::fromUtf8("\u00a0\u2028") << "x" << false;
        QTest::newRow("both filled") << "Portrait"
                                     << "soft light" << true;
        QTest::newRow("filled with padding") << "  a  "
                                             << "\nb\n"
                                             << true;
    }
    void formEnableRule() {
        QFETCH(QString, title);
        QFETCH(QString, prompt);
        QFETCH(bool, enabled);
        QWidget form;
        auto* layout = new QVBoxLayout(&form);
        auto* titleField = new QLineEdit;
        auto* promptField = new QPlainTextEdit;
        auto* buttons = new FormButtons("Create");
        layout->addWidget(titleField);
        layout->addWidget(promptField);
        layout->addWidget(buttons);
        buttons->addRequired(titleField);
        buttons->addRequired(promptField);
        QVERIFY(!buttons->confirmButton()->isEnabled());
        QVERIFY(gui::showActive(&form));
        titleField->setFocus();
        titleField->setText(title);
        promptField->setFocus();
        promptField->setPlainText(prompt);
        QCOMPARE(buttons->confirmButton()->isEnabled(), enabled);
        QCOMPARE(buttons->canConfirm(), enabled);
        QVERIFY(buttons->confirmButton()->isDefault());

        // Ctrl+Return from inside the prompt editor confirms exactly when the button is enabled, and types nothing.
        QSignalSpy confirmed(buttons, &FormButtons::confirmed);
        QTest::keyClick(promptField, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(confirmed.count(), enabled ? 1 : 0);
        QCOMPARE(promptField->toPlainText(), prompt);
        // A click on a disabled button does nothing either.
        QTest::mouseClick(buttons->confirmButton(), Qt::LeftButton);
        QCOMPARE(confirmed.count(), enabled ? 2 : 0);
    }

    void formEscapeCancelsAndConditionGates() {
        QWidget form;
        auto* layout = new QVBoxLayout(&form);
        auto* field = new QLineEdit;
        field->setObjectName("titleField");
        auto* buttons = new FormButtons("Save");
        layout->addWidget(field);
        layout->addWidget(buttons);
        buttons->addRequired(field);
        bool saving = true;
        buttons->setCondition([&saving] { return !saving; });
        QVERIFY(gui::showActive(&form));
        QSignalSpy cancelled(buttons, &FormButtons::cancelled);
        QSignalSpy confirmed(buttons, &FormButtons::confirmed);
        gui::type(field, "Title");
        QVERIFY(!buttons->confirmButton()->isEnabled());
        saving = false;
        buttons->refresh();
        QVERIFY(buttons->confirmButton()->isEnabled());
        QTest::keyClick(field, Qt::Key_Enter, Qt::ControlModifier);
        QCOMPARE(confirmed.count(), 1);
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(cancelled.count(), 1);
        QCOMPARE(confirmed.count(), 1);
        // Moved into another layout, the buttons keep their shortcuts.
        auto* elsewhere = new QWidget;
        layout->addWidget(elsewhere);
        auto* row = new QVBoxLayout(elsewhere);
        row->addWidget(buttons->cancelButton());
        QVERIFY(gui::waitFor([&] { return buttons->cancelButton()->isVisible(); }));
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(cancelled.count(), 2);
    }

    void returnKeyFilter() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* editor = new QPlainTextEdit;
        layout->addWidget(editor);
        auto* filter = new ReturnKeyFilter(editor);
        QVERIFY(gui::showActive(&window));
        editor->setFocus();
        QSignalSpy returns(filter, &ReturnKeyFilter::returnPressed);
        QSignalSpy shiftReturns(filter, &ReturnKeyFilter::shiftReturnPressed);
        QTest::keyClicks(editor, "a cat");
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(returns.count(), 1);
        QCOMPARE(editor->toPlainText(), QString("a cat"));
        QTest::keyClick(editor, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(returns.count(), 2);
        // Ctrl or Alt with Return count as Return.
        QTest::keyClick(editor, Qt::Key_Return, Qt::AltModifier);
        QCOMPARE(returns.count(), 3);
        // Shift+Return types the line break at the cursor and reports it.
        QTest::keyClick(editor, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(shiftReturns.count(), 1);
        QCOMPARE(returns.count(), 3);
        QTest::keyClicks(editor, "on a mat");
        QCOMPARE(editor->toPlainText(), QString("a cat\non a mat"));
        // Inactive: the editor gets the key as usual.
        filter->setActive([] { return false; });
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(returns.count(), 3);
        QCOMPARE(editor->toPlainText(), QString("a cat\non a mat\n"));
    }

    void popoverOpensAtItsAnchorAndClosesOnEscape() {
        QWidget window;
        window.resize(400, 300);
        auto* anchor = new GlassIconButton("gearshape", "Settings", 28, 14, &window);
        anchor->setObjectName("settingsButton");
        anchor->move(180, 40);
        QVERIFY(gui::showActive(&window));
        auto* popover = new Popover(anchor);
        auto* label = new QLabel("Model");
        label->setMinimumSize(200, 80);
        popover->setContent(label);
        QSignalSpy closed(popover, &Popover::closed);
        popover->popup();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        QVERIFY(popover->isVisible());
        QCOMPARE(popover->edge(), Popover::Edge::below);
        const QPoint anchorBottom = anchor->mapToGlobal(QPoint(anchor->width() / 2, anchor->height()));
        QCOMPARE(popover->geometry().top(), anchorBottom.y());
        QVERIFY(popover->geometry().left() < anchorBottom.x() && popover->geometry().right() > anchorBottom.x());
        QTest::keyClick(popover, Qt::Key_Escape);
        QVERIFY(!popover->isVisible());
        QCOMPARE(closed.count(), 1);
        // A click outside closes it too.
        popover->popup();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        QTest::mouseClick(popover, Qt::LeftButton, Qt::NoModifier, QPoint(-20, popover->height() + 20));
        QTRY_VERIFY(!popover->isVisible());
        QCOMPARE(closed.count(), 2);
    }

    void uiScaleIgnoresNonsense() {
        UiScale scale;
        QSignalSpy changed(&scale, &UiScale::scaleChanged);
        QCOMPARE(scale(70), 70.0);
        scale.setScale(0.5);
        QCOMPARE(scale(70), 35.0);
        QCOMPARE(scale.px(25), 13);
        scale.setScale(0);
        scale.setScale(-1);
        scale.setScale(std::numeric_limits<double>::infinity());
        scale.setScale(std::numeric_limits<double>::quiet_NaN());
        scale.setScale(0.5);
        QCOMPARE(scale.scale(), 0.5);
        QCOMPARE(changed.count(), 1);
    }
};

QTEST_MAIN(ControlTests)
#include "tst_controls.moc"
