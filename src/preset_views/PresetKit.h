#pragma once

#include "Controls.h"
#include "ScrollBars.h"
#include "UserPresetListView.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QPointer>
#include <QStackedWidget>
#include <QString>
#include <QWidget>

#include <functional>

// How the preset panels put the kit's controls together with their browsers.
namespace PresetKit {

// The tab bar of a panel over a browser with `PresetsTab`, `allTabs()`, `title()`, `symbol()` and
// `selectTab()`; `names` are the buttons' object names in tab order.
template <class Browser>
QList<QAbstractButton*> addTabBar(QBoxLayout* column, Browser* browser, const QStringList& names, QWidget* parent) {
    QList<QAbstractButton*> buttons;
    const auto tabs = Browser::allTabs();
    for (int i = 0; i < tabs.size(); ++i) {
        const auto tab = tabs[i];
        QAbstractButton* button = Controls::tabButton(Browser::symbol(tab), Browser::title(tab), parent);
        button->setObjectName(names.value(i));
        QObject::connect(button, &QAbstractButton::clicked, browser, [browser, tab] { browser->selectTab(tab); });
        buttons.append(button);
    }
    Controls::addTabRow(column, buttons);
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

// The browser's user presets as cards on the first page of `myPresetsContent` (the empty state goes on the
// second): a card's choice goes to `select`, its edit to the browser's form, its delete to `remove`.
template <class Browser, class Select, class Remove>
UserPresetListView* addUserPresetList(QStackedWidget* myPresetsContent, Browser* browser, Select select, Remove remove,
                                      int spacing, bool wholeCardSelects) {
    auto* list = new UserPresetListView(browser->userPresets(), spacing, wholeCardSelects, myPresetsContent);
    list->setObjectName(QStringLiteral("userPresetsList"));
    list->setAccessibleName(QStringLiteral("My Presets"));
    nameScrollBars(list, list->accessibleName());
    myPresetsContent->addWidget(list);
    auto record = [browser](int row) { return browser->userPresets()->record(row); };
    QObject::connect(list, &UserPresetListView::selectRequested, browser,
                     [=](int row) { std::invoke(select, browser, record(row)); });
    QObject::connect(list, &UserPresetListView::editRequested, browser,
                     [=](int row) { browser->editPreset(record(row)); });
    QObject::connect(list, &UserPresetListView::deleteRequested, browser,
                     [=](int row) { std::invoke(remove, browser, record(row)); });
    return list;
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

// Keeps `panel` in step with its browser: the header's close button dismisses the panel, a change of tab or
// of count calls `refresh`, and the create/edit form opens and closes with the browser's `showingCreatePreset`.
template <class Browser, class Form>
void follow(Browser* browser, QWidget* panel, QAbstractButton* close, QPointer<Form>& form,
            const std::function<void()>& refresh) {
    QObject::connect(close, &QAbstractButton::clicked, browser, &Browser::dismiss);
    QObject::connect(browser, &Browser::selectedTabChanged, panel, refresh);
    QObject::connect(browser, &Browser::presetsCountChanged, panel, refresh);
    QObject::connect(browser, &Browser::showingCreatePresetChanged, panel, [browser, panel, &form] {
        showForm(form, browser->showingCreatePreset(), browser->form(), panel);
    });
}

} // namespace PresetKit
