#include "PresetSaving.h"

#include "Log.h"
#include "ModelContext.h"
#include "PresetFormModel.h"
#include "PresetRecord.h"

#include <functional>

namespace PresetSaving {
namespace {

// Saves the context; a failure is logged with the store's own error text.
bool save(ModelContext& context) {
    QString error;
    if (context.save(&error))
        return true;
    Log::line(QStringLiteral("❌ Error saving preset: ") + error);
    return false;
}

bool saveOrUndo(ModelContext& context, const std::function<void()>& undo) {
    if (save(context))
        return true;
    // The store cannot be written for now: the context keeps the user's change for later and has told them.
    if (context.keepsChangesForLater())
        return true;
    if (undo)
        undo();
    return false;
}

template <class Record>
bool saveFormInto(ModelContext& context, const PresetFormModel& form, const std::shared_ptr<Record>& editing) {
    using Fields = PresetRecord<Record>;
    const QString title = form.title();
    const QString prompt = form.prompt();
    const QImage picture = form.image();
    if (!editing) {
        const auto created = Fields::make(title, prompt, picture);
        context.insert(created);
        return saveOrUndo(context, [&] { context.remove(created); });
    }
    const QString oldTitle = std::invoke(Fields::title, *editing);
    const QString oldPrompt = editing->prompt();
    const auto oldData = std::invoke(Fields::pictureData, *editing);
    std::invoke(Fields::setTitle, *editing, title);
    editing->setPrompt(prompt);
    // Without a picture in the form the stored one stays.
    if (!picture.isNull())
        std::invoke(Fields::storePicture, *editing, picture);
    return saveOrUndo(context, [&] {
        std::invoke(Fields::setTitle, *editing, oldTitle);
        editing->setPrompt(oldPrompt);
        std::invoke(Fields::setPictureData, *editing, oldData);
    });
}

} // namespace

bool deleteRecord(ModelContext& context, const std::shared_ptr<PersistentModel>& record) {
    context.remove(record);
    if (save(context))
        return true;
    // A deletion that did not happen shows the preset again, whatever the cause.
    context.restore(record);
    return false;
}

bool saveForm(ModelContext& context, const PresetFormModel& form, const std::shared_ptr<ImagePreset>& editing) {
    return saveFormInto(context, form, editing);
}

bool saveForm(ModelContext& context, const PresetFormModel& form, const std::shared_ptr<PromptPreset>& editing) {
    return saveFormInto(context, form, editing);
}

} // namespace PresetSaving
