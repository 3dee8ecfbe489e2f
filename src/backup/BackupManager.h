#pragma once

#include "BackupContext.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <nlohmann/json.hpp>
#include <qcoro/qcorotask.h>

#include <optional>

// Backups under the application's data folder (a settings file, a records file and a folder of the stored
// pictures), the settings restore at launch and the reset of the stored data. The work itself is done by
// BackupWriter, BackupRestorer and DataReset; the manager holds the dates, decides when each runs and tells
// the rest of the application what changed.
//
// Every operation is synchronous on the GUI thread, so a backup and a reset never interleave. A backup is done
// when it returns; only the removal of what it replaced, and the links the next backup will need, are made on
// threads of their own afterwards.
class BackupManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QDateTime lastBackupDate READ lastBackupDateValue NOTIFY lastBackupDateChanged)
    Q_PROPERTY(QDateTime lastRestoreDate READ lastRestoreDateValue NOTIFY lastRestoreDateChanged)
public:
    using Json = nlohmann::ordered_json;
    using Step = BackupStep;
    using FaultInjector = BackupFaultInjector;

    // The data folder also holds the object store, which the reset's folder removal must not take:
    // the backups get a folder of their own inside it.
    static inline const QString backupFolderName = QStringLiteral("Backups");
    static inline const QString settingsFileName = QStringLiteral("settings_backup.json");
    static inline const QString swiftDataFileName = QStringLiteral("swift_data_backup.json");
    static inline const QString userImagesFolder = QStringLiteral("UserImages");
    static inline const QString backupVersion = QStringLiteral("3.0-NoUserPaths");
    // A previous backup kept whole in the backup folder, under this name and its date, when the store it was made
    // from was set aside at start; never overwritten.
    static inline const QString keptBackupPrefix = QStringLiteral("Kept backup ");
    // The ten settings the reset removes, in order; the five API keys are not among them.
    static const QStringList& resetKeys;

    static BackupManager& shared();

    explicit BackupManager(ModelContext* context = nullptr, QObject* parent = nullptr);

    ModelContext* modelContext() const { return context_.modelContext(); }
    void setModelContext(ModelContext* context) { context_.setModelContext(context); }

    std::optional<QDateTime> lastBackupDate() const { return lastBackupDate_; }
    std::optional<QDateTime> lastRestoreDate() const { return lastRestoreDate_; }
    QDateTime lastBackupDateValue() const { return lastBackupDate_.value_or(QDateTime()); }
    QDateTime lastRestoreDateValue() const { return lastRestoreDate_.value_or(QDateTime()); }

    // None when the system gives no data folder.
    std::optional<QString> applicationSupportDirectory() const { return context_.applicationSupportDirectory(); }
    std::optional<QString> backupFolderURL() const { return context_.backupFolderURL(); }
    std::optional<QString> userImagesFolderURL() const { return context_.userImagesFolderURL(); }
    std::optional<QString> settingsBackupFile() const { return context_.settingsBackupFile(); }

    // Creates the backup folder (0700) and "UserImages" with "VideoMetadata" and "ImagePresets" when missing.
    // Returns false when the backup folder does not exist afterwards.
    bool createBackupFolderIfNeeded() { return context_.createBackupFolderIfNeeded(); }

    Json settingsDictionary() const;
    static QString uuidString(const QUuid& id);
    static QString iso8601(const QDateTime& date);

    // Writes the whole backup or throws BackupError ("no backup location" when the system gives no data folder).
    // The first backup after the store was set aside keeps the previous backup first (a console line says where);
    // the result names that folder.
    BackupResult createBackupNow();
    // Keeps the previous backup at once when the store was set aside (at this start, or at an earlier one that could
    // not keep it), so that no later backup can cost it; throws BackupError when it cannot be kept, and every backup
    // fails until it can. Returns where it was kept.
    std::optional<QString> keepPreviousBackupNow();
    // What "Create Backup" adds to its message when the previous backup was kept in `folder`.
    static QString keptBackupSentence(const QString& folder);
    // The same as a task, for callers that await; the work is done before the task first suspends.
    QCoro::Task<> createBackup();

    // The launch restore: decided once per process, before the settings objects read their keys.
    // Returns true when the settings were restored.
    bool restoreSettingsAtLaunch();
    // The appear-time entry: a no-op once the launch restore was decided.
    QCoro::Task<> restoreSettingsIfNeeded();
    bool autoRestoreIfNeeded();
    bool settingsBackupExists() const;
    static bool needsSettingsRestore();
    void restoreSettings();
    static void applySettings(const nlohmann::json& object);

    // Deletes the user's records in one transaction, removes the ten settings and the backup folder.
    // False (with a "❌" line) when a step failed; the steps after it are not run.
    bool resetEverything();
    void deleteAllSwiftData();
    static void resetSettings();
    void deleteBackup();

    // Old pictures and removed backups are deleted, and the next backup's links made, on threads of their own;
    // waits until that is done.
    static void waitForDiscardedFiles();

    // Tests: take the data folder away or make a step fail.
    void setNoApplicationSupportDirectoryForTesting(bool none) { context_.setNoLocation(none); }
    void setFaultInjector(FaultInjector injector) { context_.setFaultInjector(std::move(injector)); }

signals:
    void lastBackupDateChanged();
    void lastRestoreDateChanged();
    // The stored settings changed under the live settings objects (restore or reset): they re-read them.
    void storedSettingsChanged();
    // The reset deleted the user's records: whoever holds fetched records fetches them again.
    void recordsDeleted();

private:
    std::optional<QString> keepPreviousBackup(const QString& folder);
    void setLastBackupDate(const std::optional<QDateTime>& date);
    void setLastRestoreDate(const std::optional<QDateTime>& date);

    BackupContext context_;
    std::optional<QDateTime> lastBackupDate_;
    std::optional<QDateTime> lastRestoreDate_;
    bool launchRestoreDecided_ = false;
};
