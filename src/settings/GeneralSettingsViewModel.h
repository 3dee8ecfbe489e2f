#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>

class BackupManager;
class VideoSettings;

// The General tab's state and actions: the completion sound, "Create Backup" with the last backup's date,
// and "Reset Everything" behind its confirmation. Alerts go through the Dialogs seam.
class GeneralSettingsViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool soundNotificationEnabled READ soundNotificationEnabled WRITE setSoundNotificationEnabled NOTIFY
                   soundNotificationEnabledChanged)
    Q_PROPERTY(
        QString selectedSoundName READ selectedSoundName WRITE setSelectedSoundName NOTIFY selectedSoundNameChanged)
    Q_PROPERTY(QStringList availableSounds READ availableSounds NOTIFY availableSoundsChanged)
    Q_PROPERTY(bool hasLastBackup READ hasLastBackup NOTIFY lastBackupChanged)
    Q_PROPERTY(QString lastBackupText READ lastBackupText NOTIFY lastBackupChanged)
public:
    static inline const QString title = QStringLiteral("General Settings");
    static inline const QString subtitle = QStringLiteral("Notifications, backup, and data management");
    // The reset keeps the API keys, and says so.
    static inline const QString dangerZoneCaption =
        QStringLiteral("This will permanently delete all your presets, video metadata and backups. API keys are kept.");
    static inline const QString backupCreatedTitle = QStringLiteral("Backup Created");
    static inline const QString backupCreatedMessage =
        QStringLiteral("Your settings and data have been backed up successfully.");
    static inline const QString backupFailedTitle = QStringLiteral("Backup Failed");
    // What the user is told when no backup could be made: where, and the system's reason. `folder` is where the
    // backup goes, empty when the system gives no data folder.
    static QString backupFailedMessage(const QString& folder, const QString& reason);
    static inline const QString resetTitle = QStringLiteral("Reset All Data");
    static inline const QString resetMessage =
        QStringLiteral("This will permanently delete all your data and backups. This action cannot be undone.");
    static inline const QString resetButton = QStringLiteral("Reset Everything");

    GeneralSettingsViewModel(VideoSettings& videoSettings, BackupManager& backupManager, QObject* parent = nullptr);

    bool soundNotificationEnabled() const;
    void setSoundNotificationEnabled(bool enabled);
    QString selectedSoundName() const;
    void setSelectedSoundName(const QString& name);
    QStringList availableSounds() const;

    bool hasLastBackup() const;
    // The date abbreviated and the time short without seconds, in the user's locale.
    QString lastBackupText() const;
    static QString formatBackupDate(const QDateTime& date, const QLocale& locale);

    // Plays the selected sound when the system has one of that name.
    void previewSound();
    // Writes a backup and tells the user whether it worked; a failure also gets a "❌" line.
    bool createBackup();
    // Asks first; runs the reset only on "Reset Everything". Returns whether the reset ran and succeeded.
    bool requestReset();

signals:
    void soundNotificationEnabledChanged();
    void selectedSoundNameChanged();
    void availableSoundsChanged();
    void lastBackupChanged();

private:
    QPointer<VideoSettings> videoSettings_;
    QPointer<BackupManager> backupManager_;
};
