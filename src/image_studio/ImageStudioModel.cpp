#include "ImageStudioModel.h"

#include "DownloadSettings.h"
#include "FolderBookmark.h"
#include "Graphemes.h"
#include "ImagePreset.h"
#include "ImageProcessor.h"
#include "ImageServiceFactory.h"
#include "Log.h"
#include "ModelContext.h"
#include "OrvaneAPIService.h"
#include "PhotoSaver.h"
#include "QueueManager.h"
#include "SwiftDataImagePresetsManager.h"
#include "TaskOwner.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {
bool isBlank(const QString& text) {
    return text.trimmed().isEmpty();
}

QString trimmedSpacesAndTabs(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && (text[start] == u' ' || text[start] == u'\t'))
        ++start;
    while (end > start && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(start, end - start);
}

QString viewModeName(ViewMode mode) {
    return mode == ViewMode::imageGeneration ? QStringLiteral("imageGeneration") : QStringLiteral("videoGeneration");
}

} // namespace

ImageStudioModel::ImageStudioModel(const AppEnvironment& environment, QObject* parent)
    : QObject(parent), environment_(environment), factory_(new ImageServiceFactory(this)),
      loader_(new ReferenceLoader(this)), photos_(new PhotoSaver(environment.downloadSettings, this)) {
    connect(photos_, &PhotoSaver::revealed, this, &ImageStudioModel::revealRequested);
    connect(photos_, &PhotoSaver::workFinished, this, &ImageStudioModel::fileWorkFinished);
    connect(factory_, &ImageServiceFactory::stateChanged, this, [this] {
        emit serviceStateChanged();
        emit generateStateChanged();
        emit resultActionsChanged();
    });
    if (AppViewModel* app = environment_.appViewModel) {
        connect(app, &AppViewModel::savedPhotoPromptChanged, this, [this, app] { setPrompt(app->savedPhotoPrompt()); });
        connect(app, &AppViewModel::textToInsertIntoPhotoPromptChanged, this, &ImageStudioModel::onPendingTextChanged);
        connect(app, &AppViewModel::currentViewChanged, this, [app] {
            if (app->currentView() == ViewMode::videoGeneration)
                app->setTextToInsertIntoPhotoPrompt(std::nullopt);
        });
        connect(app, &AppViewModel::videoModeChanged, this, &ImageStudioModel::resultActionsChanged);
    }
    if (QueueManager* queue = environment_.queueManager) {
        photoTaskActive_ = queue->activePhotoTask().has_value();
        connect(queue, &QueueManager::tasksChanged, this, [this, queue] {
            const bool active = queue->activePhotoTask().has_value();
            if (active == photoTaskActive_)
                return;
            photoTaskActive_ = active;
            emit photoTaskChanged();
        });
    }
    if (DownloadSettings* settings = environment_.downloadSettings)
        connect(settings, &DownloadSettings::bookmarkDataChanged, this, &ImageStudioModel::folderChanged);
}

ImageStudioModel::~ImageStudioModel() = default;

ImageGenerationService* ImageStudioModel::service() const {
    return factory_->currentService();
}

// --- image settings ---

void ImageStudioModel::setSelectedImageModel(ImageModel model) {
    if (factory_->selectedImageModel() != model)
        factory_->setSelectedImageModel(model);
}

void ImageStudioModel::setTemperature(double temperature) {
    if (factory_->temperature() != temperature)
        factory_->setTemperature(temperature);
}

// --- composer ---

void ImageStudioModel::setPrompt(const QString& text) {
    const QString limited = Graphemes::truncated(text, promptLimit);
    if (limited == prompt_)
        return;
    const bool blankBefore = isBlank(prompt_);
    prompt_ = limited;
    promptLength_ = Graphemes::count(prompt_);
    emit promptChanged();
    if (blankBefore != isBlank(prompt_))
        emit generateStateChanged();
}

QString ImageStudioModel::counterText() const {
    return QStringLiteral("%1/%2").arg(promptLength_).arg(promptLimit);
}

bool ImageStudioModel::isGenerateDisabled() const {
    const ImageGenerationService* current = service();
    return isBlank(prompt_) || generatePending_ || (current && current->isLoading());
}

bool ImageStudioModel::isRequestInFlight() const {
    const OrvaneAPIService* generator = factory_->orvaneService();
    return generatePending_ || (generator && generator->isLoading());
}

void ImageStudioModel::handleReturnKey() {
    if (isGenerateDisabled())
        return;
    generate();
}

void ImageStudioModel::generate() {
    // Every request is paid for: a second press before the first one has started sends nothing.
    if (generatePending_)
        return;
    generatePending_ = true;
    emit generateStateChanged();
    // Like a task started from the button: it reads the composer when it runs, a turn later.
    QTimer::singleShot(0, this, [this] {
        OrvaneAPIService* generator = factory_->orvaneService();
        TaskOwner::own(generator, generator->generateImage(prompt_, referenceImages_, std::nullopt,
                                                           OrvaneAPIService::ResizeMode::fill));
        // The service is loading by now, and its change reaches the studio through the factory a turn later,
        // together with the result panel; a request refused at once (no key) frees the button here.
        generatePending_ = false;
        const ImageGenerationService* current = service();
        if (!current || !current->isLoading())
            emit generateStateChanged();
    });
}

void ImageStudioModel::addToComposer(const QString& text, const QImage& image, bool append) {
    if (append && !prompt_.isEmpty())
        setPrompt(trimmedSpacesAndTabs(prompt_) + u' ' + text);
    else
        setPrompt(text);
    if (!image.isNull() && referenceImages_.size() < maxReferenceImages) {
        QList<QImage> images = referenceImages_;
        images.append(ImageProcessor::resizeForUI(image, QSizeF(ReferenceLoader::maxSize)));
        setReferenceImages(images);
        saveReferencesToAppViewModel();
    }
}

void ImageStudioModel::setReferenceImages(const QList<QImage>& images) {
    referenceImages_ = images;
    QHash<qint64, QImage> kept;
    for (const QImage& image : images) {
        if (const auto it = thumbnails_.constFind(image.cacheKey()); it != thumbnails_.cend())
            kept.insert(it.key(), it.value());
    }
    thumbnails_.swap(kept);
    emit referenceImagesChanged();
}

void ImageStudioModel::saveReferencesToAppViewModel() {
    if (environment_.appViewModel)
        environment_.appViewModel->setSavedPhotoReferenceImages(referenceImages_);
}

QStringList ImageStudioModel::openPanelFilters() {
    return {QStringLiteral("Images (*.png *.jpg *.jpeg *.gif *.tif *.tiff *.bmp)")};
}

void ImageStudioModel::addReferenceFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    auto remaining = std::make_shared<int>(int(paths.size()));
    for (const QString& path : paths) {
        ReferenceLoader::Source source;
        source.path = path;
        loader_->load(std::move(source), [this, remaining](const ReferenceLoader::Loaded& loaded) {
            for (const QString& line : loaded.logLines)
                Log::line(line);
            if (!loaded.image.isNull() && referenceImages_.size() < maxReferenceImages) {
                thumbnails_.insert(loaded.image.cacheKey(), loaded.thumbnail);
                QList<QImage> images = referenceImages_;
                images.append(loaded.image);
                setReferenceImages(images);
            }
            if (--*remaining == 0)
                saveReferencesToAppViewModel();
        });
    }
}

bool ImageStudioModel::handleDrop(const QMimeData& data) {
    AppViewModel* app = environment_.appViewModel;
    const ViewMode view = app ? app->currentView() : ViewMode::imageGeneration;
    if (view != ViewMode::imageGeneration)
        return false;

    // Each dropped file is one item; picture data without files is one more.
    QList<ReferenceLoader::Source> items;
    QList<bool> loadable;
    for (const QUrl& url : data.urls()) {
        ReferenceLoader::Source source;
        source.path = url.isLocalFile() ? url.toLocalFile() : QString();
        items.append(source);
        loadable.append(url.isLocalFile());
    }
    if (data.urls().isEmpty()) {
        // Encoded bytes are decoded on a worker like files; only an in-process picture comes decoded.
        ReferenceLoader::Source source;
        for (const QString& format : data.formats()) {
            if (format.startsWith(QLatin1String("image/"))) {
                source.bytes = data.data(format);
                break;
            }
        }
        if (source.bytes.isEmpty() && data.hasImage())
            source.image = qvariant_cast<QImage>(data.imageData());
        if (!source.bytes.isEmpty() || !source.image.isNull()) {
            items.append(source);
            loadable.append(true);
        }
    }

    const int count = int(items.size());
    const int savedCount = app ? int(app->savedPhotoReferenceImages().size()) : 0;
    Log::line(QStringLiteral("🔵 LeftPanel onDrop - processing %1 providers").arg(count));
    Log::line(QStringLiteral("🔵 handleDrop called with %1 providers").arg(count));
    Log::line(QStringLiteral("🔵 Current app view: ") + viewModeName(view));
    Log::line(QStringLiteral("🔵 Reference images before drop: %1").arg(referenceImages_.size()));
    Log::line(QStringLiteral("🔵 Saved reference images: %1").arg(savedCount));

    for (int i = 0; i < count; ++i) {
        if (!loadable[i]) {
            Log::line(QStringLiteral("🔵 Provider cannot load NSImage"));
            continue;
        }
        Log::line(QStringLiteral("🔵 Loading image from provider..."));
        loader_->load(items[i], [this](const ReferenceLoader::Loaded& loaded) {
            for (const QString& line : loaded.logLines)
                Log::line(line);
            if (loaded.image.isNull()) {
                Log::line(QStringLiteral("❌ Error loading image: ") + loaded.error);
                return;
            }
            if (referenceImages_.size() < maxReferenceImages) {
                Log::line(
                    QStringLiteral("🔵 Adding image to referenceImages. Count before: %1").arg(referenceImages_.size()));
                thumbnails_.insert(loaded.image.cacheKey(), loaded.thumbnail);
                QList<QImage> images = referenceImages_;
                images.append(loaded.image);
                setReferenceImages(images);
                saveReferencesToAppViewModel();
                Log::line(
                    QStringLiteral("🔵 Added image to referenceImages. Count after: %1").arg(referenceImages_.size()));
                const int saved =
                    environment_.appViewModel ? int(environment_.appViewModel->savedPhotoReferenceImages().size()) : 0;
                Log::line(QStringLiteral("🔵 Saved to appViewModel: %1").arg(saved));
            } else {
                Log::line(QStringLiteral("🔵 Failed to add image: nsImage=true, count=%1, maxImages=%2")
                              .arg(referenceImages_.size())
                              .arg(maxReferenceImages));
            }
        });
    }
    return true;
}

void ImageStudioModel::removeReferenceImage(int index) {
    // A second click during the tile's fade can name a position that is already gone.
    if (index < 0 || index >= referenceImages_.size())
        return;
    QList<QImage> images = referenceImages_;
    images.removeAt(index);
    setReferenceImages(images);
    saveReferencesToAppViewModel();
}

// --- flags ---

void ImageStudioModel::setDragOver(bool value) {
    if (isDragOver_ == value)
        return;
    isDragOver_ = value;
    emit isDragOverChanged();
}

void ImageStudioModel::setShowUserImagePresets(bool value) {
    if (showUserImagePresets_ == value)
        return;
    showUserImagePresets_ = value;
    emit showUserImagePresetsChanged();
}

void ImageStudioModel::setShowTextPopup(bool value) {
    if (showTextPopup_ == value)
        return;
    showTextPopup_ = value;
    emit showTextPopupChanged();
}

void ImageStudioModel::setPopupText(const QString& value) {
    if (popupText_ == value)
        return;
    popupText_ = value;
    emit popupTextChanged();
}

// --- header ---

double ImageStudioModel::scaleForWidth(double width) {
    return std::max(std::min(width / 1000.0, 1.6), 0.9);
}

bool ImageStudioModel::isSessionEmpty() const {
    const ImageGenerationService* current = service();
    if (!current)
        return true;
    return current->generatedImage().isNull() && !current->isLoading() && !current->errorMessage() &&
           !current->textResponse();
}

double ImageStudioModel::usagePercent() const {
    const auto* orvane = qobject_cast<const OrvaneAPIService*>(service());
    const double percent = orvane ? orvane->contextUsagePercent() : 0.0;
    if (!(percent > 0.0))
        return 0.0;
    return std::min(percent, 100.0);
}

QString ImageStudioModel::contextHelp() const {
    const QLocale locale = QLocale::system();
    const qint64 used = factory_->sessionTokensUsed();
    const qint64 limit = factory_->sessionTokenLimit();
    return QStringLiteral("Context used this chat: %1 / %2 tokens (%3%)")
        .arg(locale.toString(used), locale.toString(limit))
        .arg(qint64(usagePercent()));
}

bool ImageStudioModel::hasFolderName() const {
    const DownloadSettings* settings = environment_.downloadSettings;
    if (!settings || !settings->bookmarkData())
        return false;
    return FolderBookmark::resolve(*settings->bookmarkData()).has_value();
}

QString ImageStudioModel::folderLabel() const {
    if (hasFolderName()) {
        const auto path = FolderBookmark::resolve(*environment_.downloadSettings->bookmarkData());
        return QFileInfo(QDir::cleanPath(*path)).fileName();
    }
    return QStringLiteral("Choose Folder");
}

QString ImageStudioModel::folderHelp() const {
    const DownloadSettings* settings = environment_.downloadSettings;
    return settings && settings->bookmarkData() ? QStringLiteral("Change photo save folder")
                                                : QStringLiteral("Choose folder to save photos");
}

void ImageStudioModel::chooseFolder() {
    if (environment_.downloadSettings)
        environment_.downloadSettings->selectFolder();
}

// --- result panel ---

std::optional<ImageStudioModel::Result> ImageStudioModel::result() const {
    const ImageGenerationService* current = service();
    if (!current)
        return std::nullopt;
    Result shown;
    shown.state = StudioRules::resultState(*current);
    if (shown.state == StudioRules::ResultState::completed)
        shown.image = current->generatedImage();
    shown.textTone = StudioRules::textButtonTone(*current);
    shown.textButtonEnabled = StudioRules::isTextButtonEnabled(*current);
    shown.error = current->errorMessage().value_or(QString());
    shown.text = current->textResponse().value_or(QString());
    return shown;
}

bool ImageStudioModel::showsBubble() const {
    const ImageGenerationService* current = service();
    return current && StudioRules::showsBubble(*current, showTextPopup_);
}

bool ImageStudioModel::isGenerating() const {
    const ImageGenerationService* current = service();
    return current && current->isLoading();
}

StudioRules::ResultActions ImageStudioModel::resultActions() const {
    const ImageGenerationService* current = service();
    const AppViewModel* app = environment_.appViewModel;
    return StudioRules::resultActions(current && !current->generatedImage().isNull(),
                                      app ? app->videoMode() : VideoGenerationMode::imageToVideo);
}

// --- result actions ---

void ImageStudioModel::imageToImage() {
    const ImageGenerationService* current = service();
    if (!current || current->generatedImage().isNull() || referenceImages_.size() >= maxReferenceImages)
        return;
    QList<QImage> images = referenceImages_;
    images.append(current->generatedImage());
    setReferenceImages(images);
    saveReferencesToAppViewModel();
}

void ImageStudioModel::imageToVideo() {
    handOver(std::nullopt);
}

void ImageStudioModel::imageToFrame(ImageType type) {
    handOver(type);
}

void ImageStudioModel::handOver(std::optional<ImageType> frame) {
    const ImageGenerationService* current = service();
    if (!current || current->generatedImage().isNull())
        return;
    const QImage image = current->generatedImage();
    if (AppViewModel* app = environment_.appViewModel) {
        app->setCurrentView(ViewMode::videoGeneration);
        if (frame)
            app->setSharedImageType(*frame);
        app->setSharedImage(image);
    }
    saveImageToFolder(image);
}

int ImageStudioModel::pendingFileWork() const {
    return photos_->pendingWork();
}

void ImageStudioModel::saveImageToFolder(const QImage& image) {
    photos_->saveToFolder(image);
}

void ImageStudioModel::showImageInFinder() {
    const ImageGenerationService* current = service();
    if (!current || current->generatedImage().isNull())
        return;
    photos_->saveAndReveal(current->generatedImage());
}

void ImageStudioModel::saveImageAsPNG(const QImage& image) {
    photos_->saveAndReveal(image);
}

void ImageStudioModel::startNewChat() {
    if (environment_.queueManager)
        environment_.queueManager->clearPhotoSession();
    setReferenceImages({});
    if (environment_.appViewModel)
        environment_.appViewModel->setSavedPhotoReferenceImages({});
    setPrompt(QString());
    setShowTextPopup(false);
    setPopupText(QString());
    if (auto* orvane = qobject_cast<OrvaneAPIService*>(service())) {
        orvane->endWaitingGenerations();
        orvane->resetSession();
    }
}

// --- presets ---

void ImageStudioModel::applyPreset(const QString& text, const QImage& image, bool append) {
    addToComposer(text, image, append);
    setShowUserImagePresets(false);
}

bool ImageStudioModel::saveNewPreset(const QString& title, const QImage& image) {
    const QString trimmed = title.trimmed();
    if (trimmed.isEmpty())
        return false;
    SwiftDataImagePresetsManager* manager = environment_.imagePresetsManager;
    if (!manager || !manager->modelContext())
        return false;
    manager->modelContext()->insert(ImagePreset::make(trimmed, prompt_, image));
    manager->modelContext()->save(); // a failed save is dropped; the list is reloaded either way
    manager->loadPresets();
    return true;
}

// --- lifecycle ---

void ImageStudioModel::appear() {
    if (AppViewModel* app = environment_.appViewModel) {
        setReferenceImages(app->savedPhotoReferenceImages());
        setPrompt(app->savedPhotoPrompt());
    }
}

void ImageStudioModel::disappear() {
    if (AppViewModel* app = environment_.appViewModel) {
        app->setSavedPhotoReferenceImages(referenceImages_);
        app->setSavedPhotoPrompt(prompt_);
    }
}

void ImageStudioModel::onPendingTextChanged() {
    AppViewModel* app = environment_.appViewModel;
    const auto text = app->textToInsertIntoPhotoPrompt();
    if (!text)
        return;
    if (app->currentView() == ViewMode::imageGeneration)
        addToComposer(*text, QImage(), false);
    app->setTextToInsertIntoPhotoPrompt(std::nullopt);
}
