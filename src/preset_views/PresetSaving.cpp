#include "PresetSaving.h"

#include "Log.h"
#include "ModelContext.h"

namespace PresetSaving {

bool saveOrUndo(ModelContext& context, const std::function<void()>& undo) {
    QString error;
    if (context.save(&error))
        return true;
    Log::line(QStringLiteral("❌ Error saving preset: ") + error);
    if (undo)
        undo();
    return false;
}

bool deleteRecord(ModelContext& context, const std::shared_ptr<PersistentModel>& record) {
    context.remove(record);
    return saveOrUndo(context, [&] { context.restore(record); });
}

} // namespace PresetSaving
