#include "PresetBrowser.h"

#include "ModelContext.h"
#include "PresetFormModel.h"
#include "PresetRecord.h"
#include "PresetSaving.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"

#include <functional>

PresetBrowser::PresetBrowser(const QString& currentPrompt, QObject* parent)
    : QObject(parent), currentPrompt_(currentPrompt), form_(new PresetFormModel(this)) {}

PresetBrowser::UserPresetsContent PresetBrowser::userPresetsContent() const {
    if (listedCount() > 0)
        return UserPresetsContent::list;
    return presetsCount() > 0 ? UserPresetsContent::noMatch : UserPresetsContent::empty;
}

void PresetBrowser::setShowingCreatePreset(bool showing) {
    if (showingCreatePreset_ == showing)
        return;
    showingCreatePreset_ = showing;
    emit showingCreatePresetChanged();
}

template <class Record, class Manager>
StoredPresetBrowser<Record, Manager>::StoredPresetBrowser(Manager& manager, const QString& currentPrompt,
                                                          QObject* parent)
    : PresetBrowser(currentPrompt, parent), manager_(manager) {
    connect(form(), &PresetFormModel::saveRequested, this, &StoredPresetBrowser::savePreset);
}

template <class Record, class Manager> void StoredPresetBrowser<Record, Manager>::startNewPreset() {
    editingPreset_.reset();
    form()->reset(QString(), currentPrompt(), QImage(), false);
    setShowingCreatePreset(true);
}

template <class Record, class Manager>
void StoredPresetBrowser<Record, Manager>::editPreset(const std::shared_ptr<Record>& preset) {
    if (!preset)
        return;
    editingPreset_ = preset;
    form()->reset(std::invoke(PresetRecord<Record>::title, *preset), preset->prompt(),
                  std::invoke(PresetRecord<Record>::picture, *preset), true);
    setShowingCreatePreset(true);
}

template <class Record, class Manager> bool StoredPresetBrowser<Record, Manager>::savePreset() {
    ModelContext* context = manager_.modelContext();
    if (!context)
        return false;
    const bool saved = PresetSaving::saveForm(*context, *form(), editingPreset_);
    manager_.loadPresets();
    if (!saved)
        return false;
    setShowingCreatePreset(false);
    clearForm();
    return true;
}

template <class Record, class Manager>
void StoredPresetBrowser<Record, Manager>::deletePreset(const std::shared_ptr<Record>& preset) {
    ModelContext* context = manager_.modelContext();
    if (!preset || !context)
        return;
    PresetSaving::deleteRecord(*context, preset);
    manager_.loadPresets();
}

template <class Record, class Manager> void StoredPresetBrowser<Record, Manager>::clearForm() {
    editingPreset_.reset();
    form()->reset(QString(), QString(), QImage(), false);
}

template class StoredPresetBrowser<ImagePreset, SwiftDataImagePresetsManager>;
template class StoredPresetBrowser<PromptPreset, SwiftDataPromptPresetsManager>;
