#include "BackupManager.h"

#include "BackupRestorer.h"
#include "BackupWriter.h"
#include "Clock.h"
#include "DataReset.h"
#include "Defaults.h"
#include "Log.h"

#include <QDir>
#include <QFileInfo>

const QStringList& BackupManager::resetKeys = DataReset::resetKeys;

BackupManager& BackupManager::shared() {
    static BackupManager* instance = new BackupManager;
    return *instance;
}

BackupManager::BackupManager(ModelContext* context, QObject* parent) : QObject(parent) {
    context_.setModelContext(context);
    context_.createBackupFolderIfNeeded();
    context_.removeLeftovers();
    lastBackupDate_ = Defaults::standard().date("lastBackupDate");
    lastRestoreDate_ = Defaults::standard().date("lastRestoreDate");
}

// ---- backup --------------------------------------------------------------------------------------------------

BackupManager::Json BackupManager::settingsDictionary() const {
    return BackupWriter::settingsDictionary();
}

QString BackupManager::uuidString(const QUuid& id) {
    return BackupWriter::uuidString(id);
}

QString BackupManager::iso8601(const QDateTime& date) {
    return BackupWriter::iso8601(date);
}

std::optional<QString> BackupManager::keepPreviousBackup(const QString& folder) {
    // The store was set aside at this start: the previous backup may be the only readable copy of the user's
    // records, and the new store's backup would replace it.
    if (!context_.mustKeepPreviousBackup())
        return std::nullopt;
    auto kept = BackupWriter(context_).keepPrevious(folder);
    context_.setPreviousBackupKept();
    context_.modelContext()->setAsideDutyDone(ModelContext::SetAsideDuty::backupKept);
    if (kept) {
        Log::line(QStringLiteral("💾 [Backup] The store was set aside at start: the previous backup is kept in %1")
                      .arg(*kept));
    }
    return kept;
}

std::optional<QString> BackupManager::keepPreviousBackupNow() {
    if (!context_.mustKeepPreviousBackup())
        return std::nullopt;
    const auto folder = context_.backupFolderURL();
    if (!folder || !QFileInfo(*folder).isDir()) {
        // No backup to keep.
        context_.setPreviousBackupKept();
        context_.modelContext()->setAsideDutyDone(ModelContext::SetAsideDuty::backupKept);
        return std::nullopt;
    }
    return keepPreviousBackup(*folder);
}

BackupResult BackupManager::createBackupNow() {
    // Re-created when something outside removed it.
    QString folderError;
    if (!context_.createBackupFolderIfNeeded(&folderError))
        throw BackupError(folderError.isEmpty() ? QStringLiteral("no backup location") : folderError);
    const QString folder = *context_.backupFolderURL();
    BackupResult result;
    try {
        result.keptBackup = keepPreviousBackup(folder);
    } catch (const BackupError& error) {
        throw BackupError("the previous backup has to be kept before it is replaced, and it could not be: " +
                          QString::fromUtf8(error.what()));
    }
    BackupWriter(context_).write(folder);
    const QDateTime now = Clock::current().now();
    setLastBackupDate(now);
    Defaults::standard().set("lastBackupDate", now);
    return result;
}

QString BackupManager::keptBackupSentence(const QString& folder) {
    return QStringLiteral("The previous backup was kept in “%1”.").arg(QDir::toNativeSeparators(folder));
}

QCoro::Task<> BackupManager::createBackup() {
    createBackupNow();
    co_return;
}

// ---- restore -------------------------------------------------------------------------------------------------

bool BackupManager::settingsBackupExists() const {
    return BackupRestorer(context_).settingsBackupExists();
}

bool BackupManager::needsSettingsRestore() {
    return BackupRestorer::needsSettingsRestore();
}

bool BackupManager::restoreSettingsAtLaunch() {
    launchRestoreDecided_ = true;
    return autoRestoreIfNeeded();
}

QCoro::Task<> BackupManager::restoreSettingsIfNeeded() {
    // The decision was made when the process started, before the settings objects stored their defaults.
    if (!launchRestoreDecided_) {
        launchRestoreDecided_ = true;
        autoRestoreIfNeeded();
    }
    co_return;
}

bool BackupManager::autoRestoreIfNeeded() {
    if (!BackupRestorer(context_).restoreIfNeeded())
        return false;
    const QDateTime now = Clock::current().now();
    setLastRestoreDate(now);
    Defaults::standard().set("lastRestoreDate", now);
    emit storedSettingsChanged();
    return true;
}

void BackupManager::restoreSettings() {
    BackupRestorer(context_).restoreSettings();
}

void BackupManager::applySettings(const nlohmann::json& object) {
    BackupRestorer::applySettings(object);
}

// ---- reset ---------------------------------------------------------------------------------------------------

void BackupManager::deleteAllSwiftData() {
    if (!context_.modelContext())
        return;
    DataReset(context_).deleteAllSwiftData();
    emit recordsDeleted();
}

void BackupManager::resetSettings() {
    DataReset::resetSettings();
}

void BackupManager::deleteBackup() {
    DataReset(context_).deleteBackup();
}

bool BackupManager::resetEverything() {
    try {
        deleteAllSwiftData();
        resetSettings();
        emit storedSettingsChanged();
        deleteBackup();
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("❌ Reset failed: %1").arg(QString::fromUtf8(error.what())));
        return false;
    }
    setLastBackupDate(std::nullopt);
    setLastRestoreDate(std::nullopt);
    return true;
}

void BackupManager::waitForDiscardedFiles() {
    BackupContext::waitForDiscardedFiles();
}

void BackupManager::setLastBackupDate(const std::optional<QDateTime>& date) {
    if (date == lastBackupDate_)
        return;
    lastBackupDate_ = date;
    emit lastBackupDateChanged();
}

void BackupManager::setLastRestoreDate(const std::optional<QDateTime>& date) {
    if (date == lastRestoreDate_)
        return;
    lastRestoreDate_ = date;
    emit lastRestoreDateChanged();
}
