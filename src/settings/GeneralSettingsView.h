#pragma once

#include <QWidget>

class BackupManager;
class GeneralSettingsViewModel;
class QCheckBox;
class QComboBox;
class QLabel;
class ResultLabel;
class QPushButton;
class VideoSettings;

// The "General" tab: completion sound, backup on demand and the reset of all data.
class GeneralSettingsView final : public QWidget {
    Q_OBJECT
public:
    GeneralSettingsView(VideoSettings& videoSettings, BackupManager& backupManager, QWidget* parent = nullptr);

private:
    void refreshSound();
    void refreshLastBackup();

    GeneralSettingsViewModel* model_;
    QCheckBox* soundToggle_;
    QLabel* soundRowLabel_;
    QWidget* soundRow_;
    QComboBox* soundPicker_;
    QPushButton* previewButton_;
    QLabel* lastBackupLabel_;
    ResultLabel* lastBackupValue_;
};
