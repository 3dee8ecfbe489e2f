#pragma once

#include "Controls.h"
#include "Motion.h"
#include "PresetBrowser.h"
#include "ScrollBars.h"
#include "UserPresetListView.h"
#include "WrappedText.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QStackedWidget>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <functional>

class GlassPanel;

// How the preset panels put the kit's controls together with their browsers.
namespace PresetKit {

// Adds a wrapped text, centred lines, in a colour of the look, centred in `column` and at most `maximumWidth`
// wide (0: as wide as the column).
WrappedText* addWrappedText(QBoxLayout* column, const QString& text, const QFont& font, ColorRole color,
                            int maximumWidth, QWidget* parent);

// Clips `content` (a scrolling list inside `panel`) to the panel's rounded corners, so nothing scrolls past them.
void clipToPanel(QWidget* content, GlassPanel* panel);

// The user presets tab's pages: the list, the empty state, and (for a panel with a search) the no-match line.
inline int userPresetsPage(PresetBrowser::UserPresetsContent content, int pageCount) {
    switch (content) {
    case PresetBrowser::UserPresetsContent::list:
        return 0;
    case PresetBrowser::UserPresetsContent::empty:
        return 1;
    case PresetBrowser::UserPresetsContent::noMatch:
        return std::min(2, pageCount - 1);
    }
    return 0;
}

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
        buttons.append(button);
    }
    // A tab opens by whatever checks it: a click, an arrow key or the accessible action.
    TabBar* bar = Controls::addTabRow(column, buttons);
    QObject::connect(bar->group(), &RadioGroup::chosen, browser,
                     [browser, tabs](int i) { browser->selectTab(tabs[i]); });
    return buttons;
}

// Shows the browser's tab, its page, and the user's presets or the empty state.
template <class Browser>
void showTab(const Browser& browser, const QList<QAbstractButton*>& tabButtons, QStackedWidget* pages,
             QAbstractButton* addTile, QStackedWidget* myPresetsContent) {
    const auto tabs = Browser::allTabs();
    for (int i = 0; i < tabButtons.size(); ++i)
        Controls::setTabSelected(tabButtons[i], tabs[i] == browser.selectedTab());
    const int page = int(tabs.indexOf(browser.selectedTab()));
    const bool switching = pages->currentIndex() != page;
    pages->setCurrentIndex(page);
    // The new tab comes in on the tab switch spring (only while the panel is on screen).
    if (switching)
        Motion::enter(pages->currentWidget(), Motion::durationMs(Motion::tabSwitch), Motion::tabSwitchEasing());
    Controls::setPresetsCount(addTile, browser.presetsCount());
    myPresetsContent->setCurrentIndex(userPresetsPage(browser.userPresetsContent(), myPresetsContent->count()));
    // The last card deleted takes the focused list away, and the page that comes gives the focus to itself when it
    // has no control: the add tile takes it.
    QWidget* focused = myPresetsContent->window()->focusWidget();
    if (focused && (focused == myPresetsContent || myPresetsContent->isAncestorOf(focused)) &&
        !(focused->focusPolicy() & Qt::TabFocus) && addTile->isVisible())
        addTile->setFocus(Qt::OtherFocusReason);
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

// Opens the create/edit form over `parent` (made on first use), or closes it, giving the focus back to where it
// was in `parent`, else to `fallback`.
template <class Form, class Model>
void showForm(QPointer<Form>& form, bool showing, Model* model, QWidget* parent, QWidget* fallback = nullptr) {
    if (!showing) {
        if (form) {
            // The form keeps the keyboard as a window of its own; the panel's window gets it back where it was.
            QWidget* back = parent->window()->focusWidget();
            if (!back || !parent->isAncestorOf(back))
                back = fallback;
            form->hide();
            form->deleteLater();
            if (back && back->isVisible()) {
                back->activateWindow();
                back->setFocus(Qt::OtherFocusReason);
            }
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
template <class Browser, class Panel, class Form>
void follow(Browser* browser, Panel* panel, QAbstractButton* close, QPointer<Form>& form,
            const std::function<void()>& refresh) {
    QObject::connect(close, &QAbstractButton::clicked, browser, &Browser::dismiss);
    QObject::connect(browser, &Browser::selectedTabChanged, panel, refresh);
    QObject::connect(browser, &Browser::presetsCountChanged, panel, refresh);
    QObject::connect(browser, &Browser::showingCreatePresetChanged, panel, [browser, panel, &form] {
        showForm(form, browser->showingCreatePreset(), browser->form(), panel,
                 browser->showingCreatePreset() ? nullptr : panel->firstFocus());
    });
}

} // namespace PresetKit
