#pragma once

#include "Theme.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QColor>
#include <QLabel>
#include <QMargins>
#include <QString>

class QBoxLayout;
class QCheckBox;
class QAbstractScrollArea;
class QListView;
class QVBoxLayout;

// Buttons of which at most one is chosen, a radio group to the keyboard and to assistive tools: each is checkable
// and checked while it is the chosen one, Tab stops only on that one (else on the first) and the arrow keys move
// the choice. Every path that checks a button (a click, Space, an arrow, the accessible toggle) is reported by
// `chosen`; `showChoice`, which shows the owner's value, is not, so a model's own change never loops back.
class RadioGroup : public QButtonGroup {
    Q_OBJECT
public:
    explicit RadioGroup(QObject* parent = nullptr);
    // Joins `button` as choice `id`. Exclusive checkable buttons read as radio buttons to assistive tools.
    void addChoice(QAbstractButton* button, int id);
    // Checks the choice `id`; any id no button has (-1) checks none.
    void showChoice(int id);

signals:
    void chosen(int id);

private:
    void updateTabStop();

    bool showing_ = false;
};

// A panel's row of tabs: a page-tab list to assistive tools, each tab a page tab, selected and checked while its
// page is open. One Tab stop, the open tab; the arrow keys open the next or previous one. `group()->chosen`
// reports the index of a tab the user opened; the owner shows its page and calls `Controls::setTabSelected`.
class TabBar : public QWidget {
    Q_OBJECT
public:
    TabBar(const QList<QAbstractButton*>& tabs, QWidget* parent);
    RadioGroup* group() const { return group_; }

private:
    RadioGroup* group_;
};

// The kit's controls as the views build them: glass buttons named for tests and assistive tools, labels, text
// in the colours of the look, and the parts of a rounded panel.
namespace Controls {

// A text button; `help` becomes its tooltip.
QAbstractButton* textButton(const QString& objectName, const QString& symbol, const QString& text, const QString& help,
                            QWidget* parent);
// An icon-only button: its help text is its tooltip and its accessible name.
QAbstractButton* iconButton(const QString& objectName, const QString& symbol, const QString& help, int diameter,
                            QWidget* parent);
void setSymbol(QAbstractButton* button, const QString& symbol, double points, const QColor& color);
// A tab of a panel (symbol and title; selected look).
QAbstractButton* tabButton(const QString& symbol, const QString& title, QWidget* parent);
// Shows the tab open or not: its look and, in a tab bar, its checked state (reported to nobody as a choice).
void setTabSelected(QAbstractButton* button, bool selected);
// The row of a panel's tabs under its header, the tabs at its start.
TabBar* addTabRow(QBoxLayout* column, const QList<QAbstractButton*>& tabs);
// The "Add New Preset" tile with its "N presets" count.
QAbstractButton* addPresetTile(QWidget* parent);
void setPresetsCount(QAbstractButton* tile, qint64 count);
// The round "xmark" close button of a panel header; `side` is its frame.
QAbstractButton* closeButton(int side, int symbolSize, QWidget* parent);

QLabel* label(const QString& objectName, const QString& text, QWidget* parent);
// A switch in the small size: its text, when any, then a capsule track, blue while on, with a white knob at the
// end it is switched to. A check box to code and to assistive tools; a click anywhere on it switches it.
QCheckBox* switchButton(const QString& objectName, const QString& text, QWidget* parent);
// A glass button's title and symbol too; any other widget's text through its palette only.
void setTextColor(QWidget* widget, const QColor& color);
// The same in a colour of the look, applied again whenever the appearance changes; the latest role holds.
void setTextColor(QWidget* widget, ColorRole role);
// A prompt's character counter: secondary, red from its warning mark on.
void showCounter(QLabel* counter, const QString& text, bool warning);

// The rounded glass background of a whole panel.
QWidget* panelBackground(int radius, QWidget* parent);
// Fills `view` with a panel background and returns the column the panel's parts go in.
QVBoxLayout* panelColumn(QWidget* view, int radius);
// A header row: the title centred, the close button at the end. The two are named `name`Title and
// `name`Close; returns the close button.
QAbstractButton* addHeader(QBoxLayout* column, const QString& title, const QFont& font, const QMargins& margins,
                           int closeSide, int closeSymbolSize, const QString& name, QWidget* parent);
// Card lists paint their own cards: no selection, no frame, no background, smooth scrolling.
void setUpCardList(QListView* list);
// A scroll area's viewport passes its focus on to the area, which makes it report the focus too: assistive tools
// then meet an unnamed pane as focused beside the named control and read it first. Only the control keeps it;
// a click on the viewport still focuses the control.
void focusOnTheControlOnly(QAbstractScrollArea* area);

// A text area without a fill of its own: what lies under it shows through. A palette, not a style sheet, which
// would restyle the whole window around it.
void clearTextBase(QAbstractScrollArea* area);

} // namespace Controls
