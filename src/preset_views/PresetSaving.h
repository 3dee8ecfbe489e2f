#pragma once

#include <memory>

class ImagePreset;
class ModelContext;
class PersistentModel;
class PresetFormModel;
class PromptPreset;

// Saving a preset change. A failed save is never shown as success: the console gets
// "❌ Error saving preset: <error>", the records are put back as the store holds them, and false comes back.
// When the store only cannot be written for now, the change is kept for a later save instead (the context
// tells the user) and true comes back.
namespace PresetSaving {

// Deletes the record and saves; when the save fails the record is taken back into the context.
bool deleteRecord(ModelContext& context, const std::shared_ptr<PersistentModel>& record);

// Writes the form's title, prompt and picture into `editing`, or into a new preset of the user's own when
// there is none, and saves. A form without a picture keeps the stored one; a failed save puts the edited
// preset's fields back, or takes the new one out again.
bool saveForm(ModelContext& context, const PresetFormModel& form, const std::shared_ptr<ImagePreset>& editing);
bool saveForm(ModelContext& context, const PresetFormModel& form, const std::shared_ptr<PromptPreset>& editing);

} // namespace PresetSaving
