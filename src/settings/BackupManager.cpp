#include "BackupManager.h"

#include "AppPaths.h"
#include "Defaults.h"

#include <QDir>
#include <QFileInfo>

BackupManager& BackupManager::shared() {
    static BackupManager* instance = new BackupManager;
    return *instance;
}

BackupManager::BackupManager() {
    QDir().mkpath(backupFolder());
}

QString BackupManager::backupFolder() const {
    return AppPaths::dataFolder() + "/Backups";
}

QString BackupManager::settingsBackupFile() const {
    return backupFolder() + "/settings_backup.json";
}

QCoro::Task<> BackupManager::createBackup() {
    co_return;
}

QCoro::Task<> BackupManager::restoreSettingsIfNeeded() {
    const Defaults& defaults = Defaults::standard();
    const bool hasImageKey = !defaults.string("googleAPIKey").value_or(QString()).isEmpty();
    const bool hasVideoKey = !defaults.string("miniMaxAPIKey").value_or(QString()).isEmpty();
    if (!QFileInfo::exists(settingsBackupFile()) || hasImageKey || hasVideoKey || defaults.contains("videoQuality"))
        co_return;
    co_return;
}
