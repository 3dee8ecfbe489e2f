#pragma once

#include "PromptPreset.h"

#include <QList>
#include <QObject>

#include <memory>

class ModelContext;

// Prompt presets over the object store: the user's own and the seeded built-in ones.
class SwiftDataPromptPresetsManager : public QObject {
    Q_OBJECT
public:
    explicit SwiftDataPromptPresetsManager(ModelContext* context, QObject* parent = nullptr);

    ModelContext* modelContext() const { return modelContext_; }
    bool hasInitializedBuiltInPresets() const { return hasInitializedBuiltInPresets_; }
    const QList<std::shared_ptr<PromptPreset>>& userPresets() const { return userPresets_; }
    const QList<std::shared_ptr<PromptPreset>>& builtInPresets() const { return builtInPresets_; }

    void loadPresets();
    void initializeBuiltInPresetsIfNeeded();

signals:
    void presetsChanged();

private:
    ModelContext* modelContext_;
    bool hasInitializedBuiltInPresets_ = false;
    QList<std::shared_ptr<PromptPreset>> userPresets_;
    QList<std::shared_ptr<PromptPreset>> builtInPresets_;
};
