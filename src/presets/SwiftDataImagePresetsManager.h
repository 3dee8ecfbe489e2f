#pragma once

#include "ImagePreset.h"

#include <QList>
#include <QObject>

#include <memory>

class ModelContext;

// The user's image presets over the object store.
class SwiftDataImagePresetsManager : public QObject {
    Q_OBJECT
public:
    explicit SwiftDataImagePresetsManager(ModelContext* context, QObject* parent = nullptr);

    ModelContext* modelContext() const { return modelContext_; }
    const QList<std::shared_ptr<ImagePreset>>& presets() const { return presets_; }

    void createDefaultPresets();
    void loadPresets();
    void refreshDefaultPresets();

signals:
    void presetsChanged();

private:
    ModelContext* modelContext_;
    QList<std::shared_ptr<ImagePreset>> presets_;
};
