#pragma once

#include "Controls.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QPointer>
#include <QStackedWidget>
#include <QString>
#include <QWidget>

// How the preset panels put the kit's controls together with their browsers.
namespace PresetKit {

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
        QAbstractButton* button = Controls::tabButton(Browser::symbol(tab), Browser::title(tab), parent);
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
        Controls::setTabSelected(tabButtons[i], tabs[i] == browser.selectedTab());
    pages->setCurrentIndex(int(tabs.indexOf(browser.selectedTab())));
    Controls::setPresetsCount(addTile, browser.presetsCount());
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
