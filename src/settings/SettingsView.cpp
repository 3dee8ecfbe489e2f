#include "SettingsView.h"

#include "APISettingsView.h"
#include "BackupManager.h"
#include "GeneralSettingsView.h"
#include "SymbolIcon.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QKeySequence>
#include <QPointer>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
// A plain widget is a filler to assistive tools; shown on its own, the settings are a window like any other.
class SettingsAccessible final : public QAccessibleWidget {
public:
    explicit SettingsAccessible(QWidget* view) : QAccessibleWidget(view) {}
    QAccessible::Role role() const override {
        return widget()->isWindow() ? QAccessible::Window : QAccessibleWidget::role();
    }
};

// One tab of the settings tab list. Qt's own tab reports the open tab as focused wherever the focus is, and never
// as selected: this one says which tab is open (selected) and has the focus only with the tab bar.
class SettingsTabAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    SettingsTabAccessible(QTabBar* bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override { return bar_ && index_ < bar_->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(bar_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return QString(bar_->tabText(index_)).remove(QLatin1Char('&'));
        if (t == QAccessible::Description)
            return bar_->tabToolTip(index_);
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect tab = bar_->tabRect(index_);
        return {bar_->mapToGlobal(tab.topLeft()), tab.size()};
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const bool open = index_ == bar_->currentIndex();
        state.focusable = true;
        state.selectable = true;
        state.selected = open;
        state.focused = open && bar_->hasFocus();
        state.disabled = !bar_->isTabEnabled(index_);
        state.invisible = !bar_->isVisible() || !bar_->isTabVisible(index_);
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (isValid() && action == pressAction())
            bar_->setCurrentIndex(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> bar_;
    int index_;
};

class SettingsTabListAccessible final : public QAccessibleWidget {
public:
    explicit SettingsTabListAccessible(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~SettingsTabListAccessible() override {
        for (const QAccessible::Id id : std::as_const(tabs_))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= bar()->count())
            return nullptr;
        if (const auto known = tabs_.constFind(index); known != tabs_.cend())
            return QAccessible::accessibleInterface(*known);
        auto* tab = new SettingsTabAccessible(bar(), index);
        tabs_.insert(index, QAccessible::registerAccessibleInterface(tab));
        return tab;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (auto tab = tabs_.cbegin(); tab != tabs_.cend(); ++tab) {
            if (QAccessible::accessibleInterface(tab.value()) == child)
                return tab.key();
        }
        return -1;
    }
    QAccessibleInterface* focusChild() const override {
        return bar()->hasFocus() ? child(bar()->currentIndex()) : nullptr;
    }
    QString text(QAccessible::Text t) const override {
        // Named after the open tab, as Qt names a tab bar.
        if (t == QAccessible::Name && bar()->accessibleName().isEmpty())
            return QString(bar()->tabText(bar()->currentIndex())).remove(QLatin1Char('&'));
        return QAccessibleWidget::text(t);
    }

private:
    QTabBar* bar() const { return static_cast<QTabBar*>(widget()); }
    mutable QHash<int, QAccessible::Id> tabs_;
};

QAccessibleInterface* settingsAccessible(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("SettingsView"))
        return new SettingsAccessible(widget);
    if (className == QLatin1String("QTabBar") && widget->parentWidget() &&
        qobject_cast<SettingsView*>(widget->parentWidget()->parentWidget()))
        return new SettingsTabListAccessible(static_cast<QTabBar*>(widget));
    return nullptr;
}
} // namespace

SettingsView::SettingsView(VideoSettings& videoSettings, BackupManager& backupManager, QWidget* parent)
    : QWidget(parent), videoSettings_(videoSettings) {
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(settingsAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    setObjectName("SettingsView");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("settingsTabs");
    tabs_->setDocumentMode(true);
    auto* general = new GeneralSettingsView(videoSettings_, backupManager, tabs_);
    // The API tab edits the keys in the key store; the API settings snapshot is not read by either tab.
    api_ = new APISettingsView(tabs_);
    tabs_->addTab(general, symbolIcon("gearshape"), "General");
    tabs_->addTab(api_, symbolIcon("network"), "API");
    tabs_->setAccessibleName("Settings");
    // The tab bar takes the focus itself: with the tab widget as its proxy, both would report it.
    tabs_->setFocusProxy(nullptr);
    tabs_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(tabs_);

    // Escape and Ctrl+W close the window, as they close other settings windows.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { window()->close(); });
    }
}
