#include "SwiftDataPromptPresetsManager.h"

#include "Defaults.h"
#include "Log.h"
#include "MediaProbe.h"
#include "ModelContext.h"
#include "PresetOrder.h"
#include "PreviewClipPreset.h"
#include "Resources.h"
#include "TaskOwner.h"

#include <QCollator>
#include <QHash>
#include <QPointer>
#include <QSet>

#include <qcoro/qcorofuture.h>

#include <utility>

namespace {
bool isBuiltIn(const PromptPreset& preset) {
    return preset.isBuiltIn();
}

bool isUsers(const PromptPreset& preset) {
    return !preset.isBuiltIn();
}

// The order a file browser shows names in: case-insensitive, digit runs by their value.
QCollator fileBrowserCollator() {
    QLocale locale;
    // The C locale compares code points only; it has no collation to offer.
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}
} // namespace

const QList<SwiftDataPromptPresetsManager::BuiltInRow>& SwiftDataPromptPresetsManager::builtInPromptPresetTable() {
    static const QList<BuiltInRow> table = {
        {"Camera Move Left", "[Truck left]", "Camera"},
        {"Camera Move Right", "[Truck right]", "Camera"},
        {"Push In", "[Push in]", "Camera"},
        {"Push Out", "[Push out]", "Camera"},
        {"Pan Left", "[Pan left]", "Camera"},
        {"Pan Right", "[Pan right]", "Camera"},
        {"Tilt Up", "[Tilt up]", "Camera"},
        {"Tilt Down", "[Tilt down]", "Camera"},
        {"Pedestal Up", "[Pedestal up]", "Camera"},
        {"Pedestal Down", "[Pedestal down]", "Camera"},
        {"Zoom In", "[Zoom in]", "Camera"},
        {"Tracking Shot", "[Tracking shot]", "Camera"},
        {"Cars Driving Straight on the Road",
         "Heavy armored black tactical SUV with roof antenna and reinforced bumper leads high-speed convoy formation "
         "on desert highway, followed by dark luxury sedan and rear security vehicle. Dust trails billow behind each "
         "vehicle as they race across sun-baked asphalt with yellow lane markings cutting through endless golden "
         "desert landscape. Majestic mountain ranges rise dramatically in background under late afternoon sky with "
         "scattered clouds. Heat shimmer creates atmospheric distortion above road surface. [Push in] - camera moves "
         "forward tracking the convoy's rapid movement, revealing intricate vehicle details and tactical equipment "
         "while maintaining ultra smooth coherent movement. Shot with IMAX camera, masterpiece quality, hyper "
         "detailed photorealism, ultra high definition, award-winning cinematography, extreme realism, cinematic "
         "crisp, vivid emotional atmosphere, cinematic HD photorealistic rendering.",
         "User"},
    };
    return table;
}

QString SwiftDataPromptPresetsManager::previewVideoName(const QString& presetName) {
    static const QHash<QString, QString> clips = {
        {"Camera Move Left", "left_movement"},
        {"Движение камеры влево", "left_movement"},
        {"Camera Move Right", "right_movement"},
        {"Движение камеры вправо", "right_movement"},
        {"Push In", "push_in"},
        {"Приближение к объекту", "push_in"},
        {"Push Out", "push_out"},
        {"Отдаление от объекта", "push_out"},
        {"Pan Left", "pan_left"},
        {"Панорама влево", "pan_left"},
        {"Pan Right", "pan_right"},
        {"Панорама вправо", "pan_right"},
        {"Tilt Up", "tilt_up"},
        {"Наклон камеры вверх", "tilt_up"},
        {"Tilt Down", "tilt_down"},
        {"Наклон камеры вниз", "tilt_down"},
        {"Pedestal Up", "pedestal_up"},
        {"Подъем камеры вверх", "pedestal_up"},
        {"Pedestal Down", "pedestal_down"},
        {"Опускание камеры вниз", "pedestal_down"},
        {"Zoom In", "zoom_in"},
        {"Зум приближение", "zoom_in"},
        {"Tracking Shot", "tracking_shot"},
        {"Следящий кадр", "tracking_shot"},
        {"Cars Driving Straight on the Road", "push_in"},
        {"Машины едут прямо по дороге", "push_in"},
    };
    return clips.value(presetName, QStringLiteral("default_movement"));
}

SwiftDataPromptPresetsManager::SwiftDataPromptPresetsManager(ModelContext* context, QObject* parent)
    : QObject(parent), modelContext_(context) {}

void SwiftDataPromptPresetsManager::setLists(QList<std::shared_ptr<PromptPreset>> user,
                                             QList<std::shared_ptr<PromptPreset>> builtIn) {
    userPresets_ = std::move(user);
    emit userPresetsChanged();
    builtInPresets_ = std::move(builtIn);
    emit builtInPresetsChanged();
}

void SwiftDataPromptPresetsManager::loadPresets() {
    if (!modelContext_)
        return;
    QString error;
    auto user = PresetOrder::newestFirst<PromptPreset>(*modelContext_, isUsers, &error);
    std::optional<QList<std::shared_ptr<PromptPreset>>> builtIn;
    if (user) {
        const QCollator collator = fileBrowserCollator();
        builtIn = modelContext_->fetch<PromptPreset>(
            {isBuiltIn,
             [&](const PromptPreset& a, const PromptPreset& b) { return collator.compare(a.name(), b.name()) < 0; }},
            &error);
    }
    if (!user || !builtIn) {
        Log::line("❌ Error loading presets: " + error);
        setLists({}, {});
        return;
    }
    setLists(std::move(*user), std::move(*builtIn));
}

void SwiftDataPromptPresetsManager::initializeBuiltInPresetsIfNeeded() {
    if (hasInitializedBuiltInPresets_ || !modelContext_)
        return;
    Defaults& defaults = Defaults::standard();
    if (defaults.boolValue(kCurrentVersionFlag)) {
        hasInitializedBuiltInPresets_ = true;
        loadPresets();
        return;
    }
    if (defaults.boolValue(kEarlierVersionFlag)) {
        // The current flag is written only by a saved creation, so a failed one is tried again at the next
        // launch; this run does not try again.
        createBuiltInPresets();
        hasInitializedBuiltInPresets_ = true;
        return;
    }
    QString error;
    const auto existing = modelContext_->fetch<PromptPreset>({isBuiltIn}, &error);
    if (!existing) {
        Log::line("❌ Error checking existing presets: " + error);
        createBuiltInPresets();
        return;
    }
    if (!existing->isEmpty()) {
        hasInitializedBuiltInPresets_ = true;
        removeDuplicatePresets();
        return;
    }
    createBuiltInPresets();
}

bool SwiftDataPromptPresetsManager::createBuiltInPresets() {
    if (!modelContext_)
        return false;
    QString error;
    if (const auto old = modelContext_->fetch<PromptPreset>({isBuiltIn}, &error)) {
        for (const auto& preset : *old)
            modelContext_->remove(preset);
        if (!modelContext_->save(&error))
            Log::line("❌ Error removing old presets: " + error);
    } else {
        Log::line("❌ Error removing old presets: " + error);
    }

    for (const BuiltInRow& row : builtInPromptPresetTable()) {
        QString rowError;
        const auto same = modelContext_->fetch<PromptPreset>(
            {[&row](const PromptPreset& p) { return p.name() == row.name && p.isBuiltIn(); }}, &rowError);
        if (!same) {
            Log::line("❌ Error checking existing preset: " + rowError);
        } else if (!same->isEmpty()) {
            Log::line("⚠️ Preset '" + row.name + "' already exists, skipping");
            continue;
        }
        auto preset = PromptPreset::make(row.name, row.prompt, row.category, true);
        preset->setCreatedAt(PresetOrder::nextCreationTime());
        modelContext_->insert(preset);
        // The thumbnail is made after this call returns; the loop does not wait for it.
        queueThumbnail(preset, row.name);
    }

    if (!modelContext_->save(&error)) {
        Log::line("❌ Failed to save built-in presets: " + error);
        return false;
    }
    hasInitializedBuiltInPresets_ = true;
    Defaults::standard().set(kCurrentVersionFlag, true);
    loadPresets();
    Log::line("✅ Built-in presets created and saved successfully");
    return true;
}

void SwiftDataPromptPresetsManager::removeDuplicatePresets() {
    if (!modelContext_)
        return;
    QString error;
    const auto all = PresetOrder::oldestFirst<PromptPreset>(*modelContext_, isBuiltIn, &error);
    if (!all) {
        Log::line("❌ Error removing duplicates: " + error);
        return;
    }
    QSet<QString> seen;
    QList<std::shared_ptr<PromptPreset>> duplicates;
    for (const auto& preset : *all) {
        if (seen.contains(preset->name())) {
            duplicates.append(preset);
            Log::line("🗑️ Found duplicate preset: " + preset->name());
        } else {
            seen.insert(preset->name());
        }
    }
    if (duplicates.isEmpty())
        return;
    for (const auto& preset : std::as_const(duplicates))
        modelContext_->remove(preset);
    if (!modelContext_->save(&error)) {
        Log::line("❌ Error removing duplicates: " + error);
        return;
    }
    loadPresets();
    Log::line(QStringLiteral("✅ Removed %1 duplicate presets").arg(duplicates.size()));
}

void SwiftDataPromptPresetsManager::queueThumbnail(const std::shared_ptr<PromptPreset>& preset, const QString& name) {
    setPendingThumbnails(pendingThumbnails_ + 1);
    if (thumbnailsHeld_) {
        heldThumbnails_.append(preset);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, preset, name] { TaskOwner::own(this, seedThumbnail(preset, name)); }, Qt::QueuedConnection);
}

void SwiftDataPromptPresetsManager::releaseThumbnails() {
    if (!thumbnailsHeld_)
        return;
    thumbnailsHeld_ = false;
    const QList<std::shared_ptr<PromptPreset>> held = std::exchange(heldThumbnails_, {});
    setPendingThumbnails(pendingThumbnails_ - int(held.size()));
    // The built-in presets as they are now: those deleted meanwhile are not among them.
    for (const auto& preset : std::as_const(builtInPresets_)) {
        if (!preset->previewThumbnailData())
            queueThumbnail(preset, preset->name());
    }
}

void SwiftDataPromptPresetsManager::setPendingThumbnails(int count) {
    pendingThumbnails_ = count;
    emit pendingThumbnailsChanged();
}

QCoro::Task<> SwiftDataPromptPresetsManager::seedThumbnail(std::shared_ptr<PromptPreset> preset, QString name) {
    QPointer<SwiftDataPromptPresetsManager> self(this);
    co_await generatePreviewThumbnail(std::move(preset), std::move(name));
    if (self)
        self->setPendingThumbnails(self->pendingThumbnails_ - 1);
}

QCoro::Task<> SwiftDataPromptPresetsManager::generatePreviewThumbnail(std::shared_ptr<PromptPreset> preset,
                                                                      QString name) {
    const auto clip = Resources::path(previewVideoName(name), "mp4");
    if (!clip) {
        Log::line("❌ Video file not found for preset: " + name);
        co_return;
    }
    QPointer<SwiftDataPromptPresetsManager> self(this);
    const QImage image = co_await generateThumbnail(*clip);
    if (!self || image.isNull())
        co_return;
    // A record deleted meanwhile (a reseed, the user) is not written to again, nor one whose store has gone.
    if (!modelContext_ || preset->isDeleted() || preset->modelContext() != modelContext_)
        co_return;
    preset->setPreviewThumbnail(image);
    modelContext_->save(); // a failure here is not reported
}

QCoro::Task<QImage> SwiftDataPromptPresetsManager::generateThumbnail(QString path) {
    MediaProbe::Request request;
    request.stillAt = 0.0;
    request.bound = PreviewClipPreset::kThumbnailSize;
    const auto result = co_await MediaProbe::probeAsync(path, request);
    if (result.still.isNull()) {
        Log::line("❌ Error generating thumbnail: " + result.error);
        co_return QImage();
    }
    co_return result.still;
}
