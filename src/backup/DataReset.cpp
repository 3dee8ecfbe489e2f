#include "DataReset.h"

#include "Defaults.h"
#include "ImagePreset.h"
#include "PromptPreset.h"
#include "VideoMetadata.h"

#include <QFileInfo>

const QStringList DataReset::resetKeys = {
    "videoQuality",      "videoDuration",          "defaultPromptOptimization", "soundNotificationEnabled",
    "selectedSoundName", "videoDirectoryBookmark", "downloadFolderBookmark",    "outputPreset",
    "lastBackupDate",    "lastRestoreDate",
};

void DataReset::deleteAllSwiftData() const {
    ModelContext* store = context_.modelContext();
    if (!store)
        return;
    ModelContext& context = *store;
    QString error;
    // Earlier changes are saved on their own, so the deletion's transaction holds nothing else.
    if (context.hasChanges() && !context.save(&error))
        throw BackupError("saving earlier changes failed: " + error);
    const BackupRecords records = context_.fetchRecords();
    for (const auto& video : records.videos)
        context.remove(video);
    for (const auto& preset : records.promptPresets) {
        if (!preset->isBuiltIn())
            context.remove(preset);
    }
    for (const auto& preset : records.imagePresets)
        context.remove(preset);

    const std::optional<QString> injected = context_.injectedFailure(BackupStep::recordsSave);
    if (injected || !context.save(&error)) {
        context.discardRemovals();
        throw BackupError("deleting the records failed: " + injected.value_or(error));
    }
}

void DataReset::resetSettings() {
    Defaults& defaults = Defaults::standard();
    for (const QString& key : resetKeys)
        defaults.remove(key);
}

void DataReset::deleteBackup() const {
    const auto folder = context_.backupFolderURL();
    if (!folder)
        return;
    if (QFileInfo::exists(*folder)) {
        context_.fail(BackupStep::backupRemoval);
        context_.discard(*folder);
    }
    context_.dropPreparedStaging();
    context_.ledger().forget();
    context_.createBackupFolderIfNeeded();
}
