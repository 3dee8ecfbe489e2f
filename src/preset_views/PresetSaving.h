#pragma once

#include <functional>
#include <memory>

class ModelContext;
class PersistentModel;

// Saving a preset change. A failed save is never shown as success: the console gets
// "❌ Error saving preset: <error>", `undo` puts the records back as the store holds them, and false comes back.
// When the store only cannot be written for now, the change is kept for a later save instead (the context
// tells the user) and true comes back.
namespace PresetSaving {

bool saveOrUndo(ModelContext& context, const std::function<void()>& undo);

// Deletes the record and saves; when the save fails the record is taken back into the context.
bool deleteRecord(ModelContext& context, const std::shared_ptr<PersistentModel>& record);

} // namespace PresetSaving
