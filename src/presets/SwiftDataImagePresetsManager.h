#pragma once

#include "ImagePreset.h"
#include "ModelContext.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

// The image presets over the object store: the user's own and two defaults, inserted once into an empty
// store and brought back in line with the bundle at every launch. Failures are logged and swallowed.
class SwiftDataImagePresetsManager : public QObject {
    Q_OBJECT
public:
    struct DefaultRow {
        QString title;
        QString imageName;
        QString prompt;
    };
    static const QList<DefaultRow>& defaultImagePresetTable();
    // The seeding flag in the user defaults.
    static constexpr const char* kDefaultsFlag = "hasInitializedDefaultImagePresets_v1";
    // The title the second default had before it was renamed.
    static constexpr const char* kOldCrimeTitle = "Crime Style";

    explicit SwiftDataImagePresetsManager(ModelContext* context, QObject* parent = nullptr);

    ModelContext* modelContext() const { return modelContext_; }
    // Every image preset, newest first.
    const QList<std::shared_ptr<ImagePreset>>& presets() const { return presets_; }

    void loadPresets();
    void createDefaultPresets();
    void refreshDefaultPresets();
    // From "DefaultImagePresets", "UserPressetFoto" or the top of the bundle, PNG before JPEG; a null
    // image (and a log line) when none of them holds a picture.
    static QImage loadPresetImageFromBundle(const QString& name);

signals:
    void presetsChanged();

private:
    std::shared_ptr<ImagePreset> firstTitled(const QString& title) const;
    void insertDefault(const DefaultRow& row, const QImage& picture);
    // Gives the record the row's title, prompt and (when it loaded) picture, saves and reloads.
    void rewrite(const std::shared_ptr<ImagePreset>& record, const DefaultRow& row, const QImage& picture);

    // The context may be destroyed first at quit; work that outlives it then does nothing.
    QPointer<ModelContext> modelContext_;
    QList<std::shared_ptr<ImagePreset>> presets_;
};
