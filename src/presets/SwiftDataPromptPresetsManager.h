#pragma once

#include "ModelContext.h"
#include "PromptPreset.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>

#include <qcoro/qcorotask.h>

#include <memory>

// Prompt presets over the object store: the user's own and the built-in ones, which are seeded once per
// data version (guarded by flags in the user defaults) and get a thumbnail from their camera clip.
// Failures are logged and swallowed; nothing throws.
class SwiftDataPromptPresetsManager : public QObject {
    Q_OBJECT
public:
    struct BuiltInRow {
        QString name;
        QString prompt;
        QString category;
    };
    static const QList<BuiltInRow>& builtInPromptPresetTable();
    // The bundle clip (base name, "mp4") for a preset name, English or Russian; "default_movement" otherwise.
    static QString previewVideoName(const QString& presetName);
    // Seeding flags in the user defaults.
    static constexpr const char* kCurrentVersionFlag = "hasInitializedSwiftDataBuiltInPresets_v3_en";
    static constexpr const char* kEarlierVersionFlag = "hasInitializedSwiftDataBuiltInPresets_v2";

    explicit SwiftDataPromptPresetsManager(ModelContext* context, QObject* parent = nullptr);

    ModelContext* modelContext() const { return modelContext_; }
    bool hasInitializedBuiltInPresets() const { return hasInitializedBuiltInPresets_; }
    // Not built in, newest first.
    const QList<std::shared_ptr<PromptPreset>>& userPresets() const { return userPresets_; }
    // Built in, by name as a file browser sorts.
    const QList<std::shared_ptr<PromptPreset>>& builtInPresets() const { return builtInPresets_; }
    // Thumbnails started by seeding that have not finished yet.
    int pendingThumbnails() const { return pendingThumbnails_; }
    // While held, the seeded presets' thumbnails wait: making them loads the video decoder, which nothing else on
    // the first screen needs. Released, the waiting ones are made, and so is any built-in preset's thumbnail an
    // earlier run quit before making.
    void holdThumbnails() { thumbnailsHeld_ = true; }
    void releaseThumbnails();

    void loadPresets();
    void initializeBuiltInPresetsIfNeeded();
    // Replaces every built-in record by the table's rows; true when the creation was saved.
    bool createBuiltInPresets();
    void removeDuplicatePresets();
    QCoro::Task<> generatePreviewThumbnail(std::shared_ptr<PromptPreset> preset, QString name);
    // The first frame of a video, within 300 x 169; a null image (and a log line) when there is none.
    static QCoro::Task<QImage> generateThumbnail(QString path);

signals:
    void userPresetsChanged();
    void builtInPresetsChanged();
    void pendingThumbnailsChanged();

private:
    void setLists(QList<std::shared_ptr<PromptPreset>> user, QList<std::shared_ptr<PromptPreset>> builtIn);
    void setPendingThumbnails(int count);
    QCoro::Task<> seedThumbnail(std::shared_ptr<PromptPreset> preset, QString name);
    // Counted as pending at once; made after the caller returns, or on release while held.
    void queueThumbnail(const std::shared_ptr<PromptPreset>& preset, const QString& name);

    // The context may be destroyed first at quit; work that outlives it then does nothing.
    QPointer<ModelContext> modelContext_;
    bool hasInitializedBuiltInPresets_ = false;
    QList<std::shared_ptr<PromptPreset>> userPresets_;
    QList<std::shared_ptr<PromptPreset>> builtInPresets_;
    int pendingThumbnails_ = 0;
    bool thumbnailsHeld_ = false;
    QList<std::shared_ptr<PromptPreset>> heldThumbnails_;
};
