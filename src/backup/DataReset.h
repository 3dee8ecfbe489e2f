#pragma once

#include "BackupContext.h"

#include <QStringList>

// The reset of the stored data: the user's records, most settings and the backup folder. Each step throws
// BackupError when it failed; the stored data it had not reached yet stays.
class DataReset {
public:
    // The ten settings the reset removes, in order; the five API keys are not among them.
    static const QStringList resetKeys;

    explicit DataReset(BackupContext& context) : context_(context) {}

    // Deletes the clip records, the user's prompt presets and the image presets in one transaction; without a
    // store there is nothing to delete.
    void deleteAllSwiftData() const;
    static void resetSettings();
    // Removes the backup folder (and what was known about its pictures) and makes a new empty one.
    void deleteBackup() const;

private:
    BackupContext& context_;
};
