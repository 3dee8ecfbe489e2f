#include "PresetSaving.h"

#include "Log.h"
#include "ModelContext.h"

namespace PresetSaving {

bool saveOrUndo(ModelContext& context, const std::function<void()>& undo) {
    QString error;
    if (context.save(&error))
        return true;
    Log::line(QStringLiteral("❌ Error saving preset: ") + error);
    // The store cannot be written for now: the context keeps the user's change for later and has told them.
    if (context.keepsChangesForLater())
        return true;
    if (undo)
        undo();
    return false;
}

bool deleteRecord(ModelContext& context, const std::shared_ptr<PersistentModel>& record) {
    context.remove(record);
    QString error;
    if (context.save(&error))
        return true;
    Log::line(QStringLiteral("❌ Error saving preset: ") + error);
    // A deletion that did not happen shows the preset again, whatever the cause.
    context.restore(record);
    return false;
}

} // namespace PresetSaving
