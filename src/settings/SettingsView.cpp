#include "SettingsView.h"

#include "APISettingsView.h"
#include "BackupManager.h"
#include "GeneralSettingsView.h"
#include "SymbolIcon.h"

#include <QKeySequence>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

SettingsView::SettingsView(VideoSettings& videoSettings, APISettings& apiSettings, QWidget* parent)
    : SettingsView(videoSettings, apiSettings, BackupManager::shared(), parent) {}

SettingsView::SettingsView(VideoSettings& videoSettings, APISettings& apiSettings, BackupManager& backupManager,
                           QWidget* parent)
    : QWidget(parent), videoSettings_(videoSettings), apiSettings_(apiSettings) {
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
    layout->addWidget(tabs_);

    // Escape and Ctrl+W close the window, as they close other settings windows.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { window()->close(); });
    }
}
