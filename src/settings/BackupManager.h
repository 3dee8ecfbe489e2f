#pragma once

#include <QObject>

#include <qcoro/qcorotask.h>

class ModelContext;

// Backups under the application's data folder, the settings restore and the reset of stored data.
class BackupManager : public QObject {
    Q_OBJECT
public:
    static BackupManager& shared();

    ModelContext* modelContext() const { return modelContext_; }
    void setModelContext(ModelContext* context) { modelContext_ = context; }

    QString backupFolder() const;
    QString settingsBackupFile() const;

    // Throws on failure; both callers catch and drop it.
    QCoro::Task<> createBackup();
    QCoro::Task<> restoreSettingsIfNeeded();

private:
    BackupManager();
    ModelContext* modelContext_ = nullptr;
};
