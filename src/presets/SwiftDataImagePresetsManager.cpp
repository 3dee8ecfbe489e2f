#include "SwiftDataImagePresetsManager.h"

#include "Log.h"
#include "ModelContext.h"

SwiftDataImagePresetsManager::SwiftDataImagePresetsManager(ModelContext* context, QObject* parent)
    : QObject(parent), modelContext_(context) {}

void SwiftDataImagePresetsManager::createDefaultPresets() {}

void SwiftDataImagePresetsManager::loadPresets() {
    QString error;
    const auto all = modelContext_->fetch<ImagePreset>(
        {{}, [](const ImagePreset& a, const ImagePreset& b) { return a.createdAt() > b.createdAt(); }}, &error);
    if (!all)
        Log::line("❌ Error loading image presets: " + error);
    presets_ = all.value_or(QList<std::shared_ptr<ImagePreset>>{});
    emit presetsChanged();
}

void SwiftDataImagePresetsManager::refreshDefaultPresets() {}
