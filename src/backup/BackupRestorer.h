#pragma once

#include "BackupContext.h"

#include <nlohmann/json.hpp>

// Restores the settings from the backup's settings file; the records file and the pictures are never read back.
// A missing, oversized or unreadable file restores nothing.
class BackupRestorer {
public:
    explicit BackupRestorer(const BackupContext& context) : context_(context) {}

    bool settingsBackupExists() const;
    // True when the stored settings look empty: no image key, no first video key and no video quality.
    static bool needsSettingsRestore();
    // Restores when a settings file exists and the stored settings look empty; true when it did.
    bool restoreIfNeeded() const;
    void restoreSettings() const;
    // Writes the members of the settings file that have the expected type; empty keys never replace stored ones.
    static void applySettings(const nlohmann::json& object);

private:
    const BackupContext& context_;
};
