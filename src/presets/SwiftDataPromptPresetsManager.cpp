#include "SwiftDataPromptPresetsManager.h"

#include "Log.h"
#include "ModelContext.h"

#include <QCollator>

SwiftDataPromptPresetsManager::SwiftDataPromptPresetsManager(ModelContext* context, QObject* parent)
    : QObject(parent), modelContext_(context) {}

void SwiftDataPromptPresetsManager::loadPresets() {
    QString error;
    const auto user = modelContext_->fetch<PromptPreset>(
        {[](const PromptPreset& p) { return !p.isBuiltIn(); },
         [](const PromptPreset& a, const PromptPreset& b) { return a.createdAt() > b.createdAt(); }},
        &error);
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const auto builtIn = user ? modelContext_->fetch<PromptPreset>(
                                    {[](const PromptPreset& p) { return p.isBuiltIn(); },
                                     [&](const PromptPreset& a, const PromptPreset& b) {
                                         return collator.compare(a.name(), b.name()) < 0;
                                     }},
                                    &error)
                              : std::nullopt;
    if (!user || !builtIn) {
        Log::line("❌ Error loading presets: " + error);
        return;
    }
    userPresets_ = *user;
    builtInPresets_ = *builtIn;
    emit presetsChanged();
}

void SwiftDataPromptPresetsManager::initializeBuiltInPresetsIfNeeded() {
    if (hasInitializedBuiltInPresets_)
        return;
    hasInitializedBuiltInPresets_ = true;
    loadPresets();
}
