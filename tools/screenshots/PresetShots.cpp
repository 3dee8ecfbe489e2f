// The preset panels, sheets and forms with sample data.
#include "CameraControlView.h"
#include "CameraMovementPreset.h"
#include "CinematicPreset.h"
#include "ClipPresetListView.h"
#include "GlassButtons.h"
#include "ImagePresetsBrowser.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "PresetFormModel.h"
#include "PresetFormView.h"
#include "PresetPictureCache.h"
#include "PromptPresetsBrowser.h"
#include "PromptPresetsView.h"
#include "Resources.h"
#include "Screenshots.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"
#include "Theme.h"
#include "UserImagePresetsView.h"
#include "UserPresetListView.h"
#include "VideoPlayerView.h"

#include <QApplication>
#include <QMouseEvent>

#include <QImageReader>
#include <QPainter>
#include <QUuid>
#include <QVBoxLayout>

namespace {

QWidget* framed(QWidget* panel, QSize size, int margin = 12) {
    auto* backdrop = new ScreenshotBackdrop(ScreenshotBackdrop::Glow::diagonal);
    auto* layout = new QVBoxLayout(backdrop);
    layout->setContentsMargins(margin, margin, margin, margin);
    panel->setParent(backdrop);
    layout->addWidget(panel);
    backdrop->resize(size);
    return backdrop;
}

ModelContext* openStore(ScreenshotContext& context) {
    auto store =
        ModelSchema::openStore(context.workDir + "/presets-" + QUuid::createUuid().toString(QUuid::Id128) + ".sqlite");
    ModelContext* raw = store.release();
    context.keep(raw);
    return raw;
}

QImage bundlePicture(const QString& name) {
    QImageReader reader(Resources::path(name, "jpg").value_or(QString()));
    return reader.read();
}

template <class Preset> bool thumbnailsLoaded(const QList<Preset*>& presets) {
    return std::all_of(presets.begin(), presets.end(), [](const Preset* p) { return !p->thumbnail().isNull(); });
}

bool picturesShown(QWidget* root) {
    auto* list = root->findChild<UserPresetListView*>("userPresetsList");
    return list && list->pictures()->decodesStarted() > 0 && list->pictures()->pending() == 0;
}

SwiftDataImagePresetsManager* imageManager(ScreenshotContext& context, bool filled) {
    ModelContext* store = openStore(context);
    if (filled) {
        const QList<std::pair<QString, QString>> rows{
            {"Golden Noir", "preset_dutch"}, {"Plain words", ""}, {"Low Sun", "preset_low_angle"}};
        for (const auto& [title, picture] : rows) {
            store->insert(
                ImagePreset::make(title, title + " prompt", picture.isEmpty() ? QImage() : bundlePicture(picture)));
            store->save();
        }
    }
    auto* manager = new SwiftDataImagePresetsManager(store);
    context.keep(manager);
    manager->loadPresets();
    return manager;
}

SwiftDataPromptPresetsManager* promptManager(ScreenshotContext& context, bool filled) {
    ModelContext* store = openStore(context);
    if (filled) {
        const QList<std::pair<QString, QString>> rows{
            {"Rainy street", "preset_through_object"}, {"Slow reveal", ""}, {"Overhead city", "preset_birds_eye"}};
        for (const auto& [name, picture] : rows) {
            auto preset = PromptPreset::make(name, name + " with soft light", "User", false);
            if (!picture.isEmpty())
                preset->setUserImage(bundlePicture(picture));
            store->insert(preset);
            store->save();
        }
    }
    auto* manager = new SwiftDataPromptPresetsManager(store);
    context.keep(manager);
    manager->loadPresets();
    return manager;
}

// The image presets panel as the studio frames it: 350 wide, its shadow around it.
QWidget* framedImagePresets(UserImagePresetsView* view) {
    const int shadow = UserImagePresetsView::shadowMargin;
    return framed(view, QSize(350 + 2 * shadow, 720), 0);
}

QWidget* imagePresetsAngles(ScreenshotContext& context) {
    auto* view = new UserImagePresetsView(*imageManager(context, false), "a quiet harbour at dawn");
    return framedImagePresets(view);
}
ORVANE_SCREENSHOT("image-presets-angles", imagePresetsAngles);

// The same panel in a window that is not key: clear, inert glass on the tabs.
ORVANE_SCREENSHOT("image-presets-angles-inactive", [](ScreenshotContext& context) {
    context.keyWindow = false;
    return imagePresetsAngles(context);
});

QWidget* imagePresetsMine(ScreenshotContext& context, bool filled) {
    auto* view = new UserImagePresetsView(*imageManager(context, filled), "");
    view->browser()->selectTab(ImagePresetsBrowser::PresetsTab::myPresets);
    QWidget* root = framedImagePresets(view);
    if (filled) {
        context.ready = [root] { return picturesShown(root); };
        auto* tile = view->findChild<QWidget*>("addNewPresetButton");
        context.afterShow.push_back([tile] { screenshotHover(tile); });
    }
    return root;
}
ORVANE_SCREENSHOT("image-presets-mine-empty", [](ScreenshotContext& c) { return imagePresetsMine(c, false); });
ORVANE_SCREENSHOT("image-presets-mine", [](ScreenshotContext& c) { return imagePresetsMine(c, true); });

QWidget* presetForm(ScreenshotContext& context, bool image, bool editing) {
    auto* form = new PresetFormModel;
    context.keep(form);
    form->reset(editing ? "Golden Noir" : "", editing ? "Dramatic side light, deep shadows, film grain" : "",
                editing ? bundlePicture("preset_dutch") : QImage(), editing);
    if (image)
        return new CreateImagePresetView(form, nullptr);
    return new CreatePresetView(form, nullptr);
}
ORVANE_SCREENSHOT("image-preset-form-new", [](ScreenshotContext& c) { return presetForm(c, true, false); });
ORVANE_SCREENSHOT("image-preset-form-edit", [](ScreenshotContext& c) { return presetForm(c, true, true); });
ORVANE_SCREENSHOT("prompt-preset-form-new", [](ScreenshotContext& c) { return presetForm(c, false, false); });
ORVANE_SCREENSHOT("prompt-preset-form-edit", [](ScreenshotContext& c) { return presetForm(c, false, true); });

QWidget* promptPresetsCamera(ScreenshotContext& context) {
    auto* view = new PromptPresetsView(*promptManager(context, false), "", false);
    context.ready = [] { return thumbnailsLoaded(CameraMovementPreset::allPresets()); };
    return framed(view, QSize(420, 760));
}
ORVANE_SCREENSHOT("prompt-presets-camera", promptPresetsCamera);

QWidget* promptPresetsMine(ScreenshotContext& context, bool filled) {
    auto* view = new PromptPresetsView(*promptManager(context, filled), "", false);
    view->browser()->selectTab(PromptPresetsBrowser::PresetsTab::myPresets);
    QWidget* root = framed(view, QSize(420, 760));
    if (filled) {
        context.ready = [root] { return picturesShown(root); };
        auto* tab = view->findChild<QWidget*>("cameraTab");
        context.afterShow.push_back([tab] { screenshotHover(tab); });
    }
    return root;
}
ORVANE_SCREENSHOT("prompt-presets-mine-empty", [](ScreenshotContext& c) { return promptPresetsMine(c, false); });
ORVANE_SCREENSHOT("prompt-presets-mine", [](ScreenshotContext& c) { return promptPresetsMine(c, true); });

QWidget* cinematicPresets(ScreenshotContext& context) {
    auto* backdrop = new ScreenshotBackdrop(ScreenshotBackdrop::Glow::diagonal);
    auto* layout = new QVBoxLayout(backdrop);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new CameraControlView(3, backdrop));
    context.ready = [] { return thumbnailsLoaded(CinematicPreset::allPresets()); };
    return backdrop;
}
ORVANE_SCREENSHOT("cinematic-presets", cinematicPresets);

// Rests the pointer on a card of a clip list, so the shared player plays its preview in the card.
void restOnCard(ScreenshotContext& context, ClipPresetListView* list, int row) {
    context.afterShow.push_back([list, row] {
        const QPoint at = list->cardRect(row).center();
        QMouseEvent move(QEvent::MouseMove, at, list->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &move);
    });
    context.ready = [list] {
        return list->previewLayer() && list->previewLayer()->isVisible() &&
               !list->previewLayer()->currentFrame().isNull();
    };
}

QWidget* promptPresetsCameraHover(ScreenshotContext& context) {
    auto* view = new PromptPresetsView(*promptManager(context, false), "", false);
    restOnCard(context, view->movementsList(), 0);
    return framed(view, QSize(420, 760));
}
ORVANE_SCREENSHOT("prompt-presets-camera-hover", promptPresetsCameraHover);

QWidget* cinematicPresetsHover(ScreenshotContext& context) {
    auto* backdrop = new ScreenshotBackdrop(ScreenshotBackdrop::Glow::diagonal);
    auto* layout = new QVBoxLayout(backdrop);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* sheet = new CameraControlView(3, backdrop);
    layout->addWidget(sheet);
    restOnCard(context, sheet->grid(), 4);
    return backdrop;
}
ORVANE_SCREENSHOT("cinematic-presets-hover", cinematicPresetsHover);

} // namespace
