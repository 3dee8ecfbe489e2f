#pragma once

#include "ModelContext.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <nlohmann/json.hpp>
#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>
#include <stdexcept>

class ImagePreset;
class PromptPreset;
class VideoMetadata;

// Why a backup or one of its steps failed; the text is what the "❌" line shows.
class BackupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Backups under the application's data folder (a settings file, a records file and a folder of the stored
// pictures), the settings restore at launch and the reset of the stored data.
//
// Every operation is synchronous on the GUI thread, so a backup and a reset never interleave. A backup is
// all or nothing as far as the file system allows: both JSON files go through QSaveFile and the pictures
// are written into a hidden staging folder that replaces "UserImages" only after every write succeeded.
class BackupManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QDateTime lastBackupDate READ lastBackupDateValue NOTIFY lastBackupDateChanged)
    Q_PROPERTY(QDateTime lastRestoreDate READ lastRestoreDateValue NOTIFY lastRestoreDateChanged)
public:
    using Json = nlohmann::ordered_json;

    // The data folder also holds the object store, which the reset's folder removal must not take:
    // the backups get a folder of their own inside it.
    static inline const QString backupFolderName = QStringLiteral("Backups");
    static inline const QString settingsFileName = QStringLiteral("settings_backup.json");
    static inline const QString swiftDataFileName = QStringLiteral("swift_data_backup.json");
    static inline const QString userImagesFolder = QStringLiteral("UserImages");
    static inline const QString backupVersion = QStringLiteral("3.0-NoUserPaths");
    // The ten settings the reset removes, in order; the five API keys are not among them.
    static const QStringList resetKeys;

    // Places where a test can make a step fail as the file system or the store would. `imageExchange` stands
    // for a file system that cannot swap two folders in one step (NFS and other network file systems).
    enum class Step {
        settingsFile,
        recordsFetch,
        recordsFile,
        imageFile,
        imageSwap,
        imageExchange,
        recordsSave,
        backupRemoval
    };
    using FaultInjector = std::function<std::optional<QString>(Step)>;

    static BackupManager& shared();

    explicit BackupManager(ModelContext* context = nullptr, QObject* parent = nullptr);

    ModelContext* modelContext() const { return modelContext_; }
    void setModelContext(ModelContext* context) { modelContext_ = context; }

    std::optional<QDateTime> lastBackupDate() const { return lastBackupDate_; }
    std::optional<QDateTime> lastRestoreDate() const { return lastRestoreDate_; }
    QDateTime lastBackupDateValue() const { return lastBackupDate_.value_or(QDateTime()); }
    QDateTime lastRestoreDateValue() const { return lastRestoreDate_.value_or(QDateTime()); }

    // None when the system gives no data folder.
    std::optional<QString> applicationSupportDirectory() const;
    std::optional<QString> backupFolderURL() const;
    std::optional<QString> userImagesFolderURL() const;
    std::optional<QString> settingsBackupFile() const;

    // Creates the backup folder (0700) and "UserImages" with "VideoMetadata" and "ImagePresets" when missing.
    // Returns false when the backup folder does not exist afterwards.
    bool createBackupFolderIfNeeded();

    Json settingsDictionary() const;
    static Json encodeVideoMetadata(const VideoMetadata& video);
    static Json encodePromptPreset(const PromptPreset& preset);
    static Json encodeImagePreset(const ImagePreset& preset);
    static QString uuidString(const QUuid& id);
    static QString iso8601(const QDateTime& date);

    // Writes the whole backup or throws BackupError ("no backup location" when there is nowhere to write).
    void createBackupNow();
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

    // Old pictures and removed backups are deleted on a thread of their own; waits until that is done.
    static void waitForDiscardedFiles();

    // Tests: take the data folder away or make a step fail.
    void setNoApplicationSupportDirectoryForTesting(bool none) { noLocationForTesting_ = none; }
    void setFaultInjector(FaultInjector injector) { faultInjector_ = std::move(injector); }

signals:
    void lastBackupDateChanged();
    void lastRestoreDateChanged();
    // The stored settings changed under the live settings objects (restore or reset): they re-read them.
    void storedSettingsChanged();
    // The reset deleted the user's records: whoever holds fetched records fetches them again.
    void recordsDeleted();

private:
    struct Records;
    void fail(Step step) const;
    Records fetchRecords() const;
    void writeImages(const Records& records, const QString& folder) const;
    void swapInImages(const QString& staging, const QString& target) const;
    // Swaps two folders in one step; false with errno set when that failed.
    bool exchangeFolders(const QByteArray& from, const QByteArray& to) const;
    // Moves a folder out of the way at once and removes it in the background; throws when it stays.
    void discard(const QString& folder) const;
    void setLastBackupDate(const std::optional<QDateTime>& date);
    void setLastRestoreDate(const std::optional<QDateTime>& date);

    QPointer<ModelContext> modelContext_;
    std::optional<QDateTime> lastBackupDate_;
    std::optional<QDateTime> lastRestoreDate_;
    bool launchRestoreDecided_ = false;
    bool noLocationForTesting_ = false;
    FaultInjector faultInjector_;
};
