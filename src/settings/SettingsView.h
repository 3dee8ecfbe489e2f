#pragma once

#include <QWidget>

class APISettingsView;
class BackupManager;
class QTabWidget;
class VideoSettings;

// The settings window's content: the "General" and "API" tabs. The tabs are taller than the window, so
// each scrolls below its heading.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    SettingsView(VideoSettings& videoSettings, BackupManager& backupManager, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return tabs_; }
    APISettingsView* apiTab() const { return api_; }

private:
    VideoSettings& videoSettings_;
    QTabWidget* tabs_;
    APISettingsView* api_;
};
