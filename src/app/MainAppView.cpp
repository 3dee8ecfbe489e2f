#include "MainAppView.h"

#include "AppViewModel.h"
#include "BackupManager.h"
#include "ContentView.h"
#include "DeferredWidget.h"
#include "FirstPaint.h"
#include "GalleryClipModel.h"
#include "Log.h"
#include "QueueManager.h"
#include "ScenesView.h"
#include "Spinner.h"
#include "StudioStack.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"
#include "VideoGalleryViewModel.h"

#include <QLabel>
#include <QPointer>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>

MainAppView::MainAppView(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent), environment_(environment) {
    setObjectName("MainAppView");
    // The video studio, its gallery and its sheets are not on the first screen: built once the window has shown.
    videoStudioFactory_ = [](const AppEnvironment& env, QWidget* p) {
        return new DeferredWidget([env](QWidget* host) { return new ScenesView(env, host); }, p);
    };
    // Built at the width it shows at: this view's, laid out by the time the studios are built.
    imageStudioFactory_ = [this](const AppEnvironment& env, QWidget* p) { return new ContentView(env, p, width()); };

    layout_ = new QStackedLayout(this);
    loadingView_ = new QWidget(this);
    loadingView_->setObjectName("loadingView");
    auto* loadingLayout = new QVBoxLayout(loadingView_);
    auto* spinner = new Spinner({SpinnerLook::Style::spokes}, Spinner::standardDiameter, loadingView_);
    auto* label = new QLabel("Loading...", loadingView_);
    label->setObjectName("loadingLabel");
    label->setAlignment(Qt::AlignCenter);
    loadingLayout->addStretch();
    loadingLayout->addWidget(spinner, 0, Qt::AlignHCenter);
    loadingLayout->addWidget(label, 0, Qt::AlignHCenter);
    loadingLayout->addStretch();
    layout_->addWidget(loadingView_);
}

MainAppView::~MainAppView() = default;

void MainAppView::setStudioFactories(StudioFactory videoStudio, StudioFactory imageStudio) {
    videoStudioFactory_ = std::move(videoStudio);
    imageStudioFactory_ = std::move(imageStudio);
}

void MainAppView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // The window's launch work (attached outside this view) runs before the view's own appear work.
    emit appeared();
    initializeManagersOnce();
}

void MainAppView::initializeManagersOnce() {
    if (hasInitializedManagers_)
        return;
    ModelContext* context = environment_.modelContext;
    promptPresetsManager_ = new SwiftDataPromptPresetsManager(context, this);
    // Their thumbnails are shown by the video studio only, and making them loads the video decoder.
    promptPresetsManager_->holdThumbnails();
    imagePresetsManager_ = new SwiftDataImagePresetsManager(context, this);
    environment_.promptPresetsManager = promptPresetsManager_;
    environment_.imagePresetsManager = imagePresetsManager_;

    // Runs once the first screen is shown, so after this appear work returns: the queue and the backup already hold
    // the context.
    FirstPaint::of(window()).then(this, [this] { loadPresetManagers(); });

    if (environment_.queueManager)
        environment_.queueManager->setModelContext(context);
    BackupManager::shared().setModelContext(context);
    // The managers keep what they fetched: after a reset they would still list the deleted presets.
    connect(&BackupManager::shared(), &BackupManager::recordsDeleted, this, [this] {
        if (promptPresetsManager_)
            promptPresetsManager_->loadPresets();
        if (imagePresetsManager_)
            imagePresetsManager_->loadPresets();
    });
    hasInitializedManagers_ = true;
    Log::line("✅ Swift Data managers created ONCE");
    // Both managers exist now, so the studios replace the loading view.
    buildScreensStack();
}

void MainAppView::loadPresetManagers() {
    if (promptPresetsManager_)
        promptPresetsManager_->loadPresets();
    if (imagePresetsManager_) {
        imagePresetsManager_->createDefaultPresets();
        imagePresetsManager_->loadPresets();
        imagePresetsManager_->refreshDefaultPresets();
    }
    if (promptPresetsManager_)
        promptPresetsManager_->initializeBuiltInPresetsIfNeeded();
    Log::line("✅ Swift Data managers initialized and loaded ONCE");
}

void MainAppView::buildScreensStack() {
    QWidget* video = videoStudioFactory_(environment_, nullptr);
    QWidget* image = imageStudioFactory_(environment_, nullptr);
    if (auto* deferred = qobject_cast<DeferredWidget*>(video))
        FirstPaint::of(window()).then(deferred, [deferred] { deferred->build(); });
    screensStack_ = new StudioStack(video, image, this);
    layout_->addWidget(screensStack_);
    layout_->setCurrentWidget(screensStack_);
    // Sized now rather than on the next turn of the event loop: the studio shown next is laid out once, at its size.
    layout_->activate();
    showCurrentStudio(false);
    if (environment_.appViewModel) {
        connect(environment_.appViewModel, &AppViewModel::currentViewChanged, this,
                [this] { showCurrentStudio(true); });
    }
}

void MainAppView::showCurrentStudio(bool animated) {
    const bool video =
        environment_.appViewModel && environment_.appViewModel->currentView() == ViewMode::videoGeneration;
    screensStack_->showStudio(video ? screensStack_->videoStudio() : screensStack_->imageStudio(), animated);
    if (video)
        releaseVideoStudioWork();
}

void MainAppView::releaseVideoStudioWork() {
    // Held until the video studio is first seen: the gallery's pictures and the prompt presets' thumbnails.
    if (environment_.galleryViewModel)
        environment_.galleryViewModel->clipModel()->releaseMetadata();
    if (promptPresetsManager_)
        promptPresetsManager_->releaseThumbnails();
}
