#include "SettingsView.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

SettingsView::SettingsView(VideoSettings& videoSettings, APISettings& apiSettings, QWidget* parent)
    : QWidget(parent), videoSettings_(videoSettings), apiSettings_(apiSettings) {
    setObjectName("SettingsView");
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName("settingsTabs");
    tabs->addTab(new QWidget(tabs), "General");
    tabs->addTab(new QWidget(tabs), "API");
    layout->addWidget(tabs);
}
