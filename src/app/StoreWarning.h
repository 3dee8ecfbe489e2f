#pragma once

#include <QString>

#include <optional>

class ModelContext;

// Tells the user, in a warning, when the store could not be opened as it was: which file was kept aside
// and where, how many records could be read back from it, when the records of this session live in memory only
// and will be lost at quit, and when the store opened read-only. Also when changes kept from an earlier session
// were not (all) restored, and where their journal was kept; and where the last backup was kept when one was, or
// why it could not be. A store an earlier start set aside and did not see through is told about in the same way.
// Nothing is shown when the store opened normally.
void warnAboutStoreRecovery(const ModelContext& context, const std::optional<QString>& keptBackup = std::nullopt,
                            const std::optional<QString>& backupNotKept = std::nullopt);
