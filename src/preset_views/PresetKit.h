#pragma once

#include <QAbstractButton>
#include <QBoxLayout>
#include <QPointer>
#include <QStackedWidget>
#include <QString>
#include <QWidget>

class QListView;
class QPushButton;

// The kit controls the preset panels are built from, in one place.
namespace PresetKit {

// A tab of a preset panel (icon and title; selected look).
QAbstractButton* tabButton(const QString& symbol, const QString& title, QWidget* parent);
void setTabSelected(QAbstractButton* button, bool selected);
// The "Add New Preset" tile with its "N presets" count.
QAbstractButton* addPresetTile(QWidget* parent);
void setPresetsCount(QAbstractButton* tile, qint64 count);
// The round "xmark" close button of a panel header; `side` is its frame.
QAbstractButton* closeButton(int side, int symbolSize, QWidget* parent);
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

// The tab bar of a panel over a browser with `PresetsTab`, `allTabs()`, `title()`, `symbol()` and
// `selectTab()`; `names` are the buttons' object names in tab order.
template <class Browser>
QList<QAbstractButton*> addTabBar(QBoxLayout* column, Browser* browser, const QStringList& names, QWidget* parent) {
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(16, 12, 16, 12);
    bar->setSpacing(8);
    QList<QAbstractButton*> buttons;
    const auto tabs = Browser::allTabs();
    for (int i = 0; i < tabs.size(); ++i) {
        const auto tab = tabs[i];
        QAbstractButton* button = tabButton(Browser::symbol(tab), Browser::title(tab), parent);
        button->setObjectName(names.value(i));
        QObject::connect(button, &QAbstractButton::clicked, browser, [browser, tab] { browser->selectTab(tab); });
        buttons.append(button);
        bar->addWidget(button);
    }
    bar->addStretch();
    column->addLayout(bar);
    return buttons;
}

// Shows the browser's tab, its page, and the user's presets or the empty state.
template <class Browser>
void showTab(const Browser& browser, const QList<QAbstractButton*>& tabButtons, QStackedWidget* pages,
             QAbstractButton* addTile, QStackedWidget* myPresetsContent) {
    const auto tabs = Browser::allTabs();
    for (int i = 0; i < tabButtons.size(); ++i)
        setTabSelected(tabButtons[i], tabs[i] == browser.selectedTab());
    pages->setCurrentIndex(int(tabs.indexOf(browser.selectedTab())));
    setPresetsCount(addTile, browser.presetsCount());
    myPresetsContent->setCurrentIndex(browser.presetsCount() > 0 ? 0 : 1);
}

// Opens the create/edit form over `parent` (made on first use), or closes it.
template <class Form, class Model> void showForm(QPointer<Form>& form, bool showing, Model* model, QWidget* parent) {
    if (!showing) {
        if (form) {
            form->hide();
            form->deleteLater();
        }
        return;
    }
    if (!form)
        form = new Form(model, parent);
    form->show();
    form->raise();
}

} // namespace PresetKit
