#include "VideoGalleryViewModel.h"

#include "APIManager.h"
#include "AppSettings.h"
#include "ClipFileInfo.h"
#include "Clock.h"
#include "Dialogs.h"
#include "FileNames.h"
#include "FileSystemMonitor.h"
#include "FolderBookmark.h"
#include "GalleryClip.h"
#include "GalleryClipModel.h"
#include "GalleryFolderListing.h"
#include "Log.h"
#include "ModelContext.h"
#include "TaskOwner.h"
#include "VideoMetadata.h"
#include "Workspace.h"

#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <cerrno>

namespace {

// Stores a value; true when it differs from the one before, so that its change is announced.
template <class T> bool assign(T& field, const T& value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

VideoGalleryViewModel::VideoGalleryViewModel(QObject* parent) : QObject(parent), clips_(new GalleryClipModel(this)) {
    qRegisterMetaType<VideoMetadata*>();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(clips_, signal, this, &VideoGalleryViewModel::countChanged);
    connect(clips_, &QAbstractItemModel::modelReset, this, &VideoGalleryViewModel::countChanged);
    connect(&APIManager::shared(), &APIManager::miniMaxAPIKeyChanged, this, &VideoGalleryViewModel::hasVideoKeyChanged);
}

VideoGalleryViewModel::~VideoGalleryViewModel() {
    delete fileSystemMonitor_;
    fileSystemMonitor_ = nullptr;
}

const QList<GalleryClip*>& VideoGalleryViewModel::videos() const {
    return clips_->clips();
}

int VideoGalleryViewModel::count() const {
    return clips_->rowCount();
}

void VideoGalleryViewModel::setColumns(int columns) {
    if (assign(columns_, columns))
        emit columnsChanged();
}

void VideoGalleryViewModel::setPreferredGridMode(GridMode mode) {
    if (assign(preferredGridMode_, mode))
        emit preferredGridModeChanged();
}

QString VideoGalleryViewModel::currentGridModeName() const {
    if (columns_ == 1)
        return QStringLiteral("Solo");
    if (columns_ == 3)
        return QStringLiteral("Compact");
    return QStringLiteral("Comfort");
}

QList<VideoGalleryViewModel::GridModeChoice> VideoGalleryViewModel::gridModeChoices() {
    return {{QStringLiteral("Solo"), 1, GridMode::automatic},
            {QStringLiteral("Comfort"), 2, GridMode::comfortable},
            {QStringLiteral("Compact"), 3, GridMode::compact}};
}

void VideoGalleryViewModel::selectGridMode(const GridModeChoice& choice) {
    setColumns(choice.columns);
    setPreferredGridMode(choice.mode);
    saveViewModeSettings(choice.name);
}

int VideoGalleryViewModel::columnsFor(GridMode mode, double width) {
    switch (mode) {
    case GridMode::automatic:
        return 1;
    case GridMode::compact:
        return 3;
    case GridMode::comfortable:
        return width < 1200 ? 1 : 2;
    }
    return 1;
}

void VideoGalleryViewModel::updateColumns(double width) {
    setColumns(columnsFor(preferredGridMode_, width));
}

void VideoGalleryViewModel::setModelContext(ModelContext* context) {
    if (modelContext_ == context)
        return;
    disconnect(saveConnection_);
    modelContext_ = context;
    if (context)
        saveConnection_ = connect(context, &ModelContext::recordsSaved, this, &VideoGalleryViewModel::recordsSaved);
    reloadRecords();
}

std::optional<std::shared_ptr<AppSettings>> VideoGalleryViewModel::storedSettings(const QString& failure) const {
    if (!modelContext_)
        return std::nullopt;
    QString error;
    const auto records = modelContext_->fetch<AppSettings>({}, &error);
    if (!records) {
        Log::line(failure + error);
        return std::nullopt;
    }
    return records->isEmpty() ? nullptr : records->first();
}

void VideoGalleryViewModel::loadViewModeSettings() {
    const auto settings = storedSettings(QStringLiteral("❌ Error loading view mode settings: "));
    if (!settings || !*settings)
        return;
    const QString name = (*settings)->videoGalleryViewMode();
    for (const GridModeChoice& choice : gridModeChoices()) {
        if (choice.name == name) {
            setColumns(choice.columns);
            setPreferredGridMode(choice.mode);
            return;
        }
    }
    setColumns(1);
    setPreferredGridMode(GridMode::automatic);
}

void VideoGalleryViewModel::saveViewModeSettings(const QString& name) {
    const QString failure = QStringLiteral("❌ Error saving view mode settings: ");
    const auto stored = storedSettings(failure);
    if (!stored)
        return;
    std::shared_ptr<AppSettings> settings = *stored;
    if (!settings) {
        settings = AppSettings::make();
        modelContext_->insert(settings);
    }
    settings->setVideoGalleryViewMode(name);
    QString error;
    if (!modelContext_->save(&error))
        Log::line(failure + error);
}

bool VideoGalleryViewModel::passesFilter(const QString& fileName) const {
    return GalleryFolderListing::passesFilter(fileName, filePrefix());
}

void VideoGalleryViewModel::startMonitoring(const QString& directory) {
    stopMonitoring();
    ++generation_;
    Log::line(QStringLiteral("📁 [VideoGallery] Starting to monitor directory: ") + directory);
    Log::line(QStringLiteral("🔍 [VideoGallery] Will show only files: '") + filePrefix() + QStringLiteral("*.mp4'"));
    monitoredDirectory_ = directory;
    securityScopedResource_ = directory;

    // Events reach the model through the monitor's own thread (this one); each becomes its own task.
    QPointer<VideoGalleryViewModel> self(this);
    // Its first listing is the full load's, read on a worker.
    auto* monitor = new FileSystemMonitor(
        directory,
        [self](const FileSystemEvent& event) {
            if (self)
                TaskOwner::own(self.data(), self->handleFileSystemEvent(event));
        },
        FileSystemMonitor::FirstListingLater{}, this);
    monitor->startMonitoring();
    fileSystemMonitor_ = monitor;
    emit monitoredDirectoryChanged();
    loadVideos(directory);
}

void VideoGalleryViewModel::stopMonitoring() {
    ++generation_;
    if (monitoredDirectory_)
        Log::line(QStringLiteral("🛑 [VideoGallery] Stopping monitoring of: ") + *monitoredDirectory_);
    if (fileSystemMonitor_) {
        fileSystemMonitor_->stopMonitoring();
        delete fileSystemMonitor_;
        fileSystemMonitor_ = nullptr;
    }
    if (securityScopedResource_) {
        FolderBookmark::stopAccessing(*securityScopedResource_);
        Log::line(QStringLiteral("🔒 [VideoGallery] Closed security-scoped resource for: ") + *securityScopedResource_);
    }
    const bool hadFolder = monitoredDirectory_.has_value();
    securityScopedResource_.reset();
    monitoredDirectory_.reset();
    listing_.forget();
    listingPending_ = false;
    listingWaiting_.reset(); // its clips, never shown, go with it
    heldEvents_.clear();
    setIsLoading(false);
    clips_->resetClips({});
    Log::line(QStringLiteral("🧹 [VideoGallery] Cache cleared: thumbnails and video list"));
    if (hadFolder)
        emit monitoredDirectoryChanged();
}

void VideoGalleryViewModel::setIsLoading(bool loading) {
    if (assign(isLoading_, loading))
        emit isLoadingChanged();
}

void VideoGalleryViewModel::loadVideos(const QString& directory) {
    setIsLoading(true);
    if (!securityScopedResource_) {
        Log::line(QStringLiteral("❌ [VideoGallery] Security-scoped resource not initialized for: ") + directory);
        setIsLoading(false);
        return;
    }
    listingPending_ = true;
    listing_.run(
        this,
        [directory, prefix = filePrefix(),
         firstScreen = GalleryFolderListing::FirstScreen{clips_->readsMetadata() ? firstScreenCount_ : 0,
                                                         firstScreenPictureSize_},
         owner = thread(), now = Clock::current().now()] {
            return GalleryFolderListing::read(directory, prefix, firstScreen, owner, now);
        },
        [this](const GalleryFolderListing& listing) { showListing(listing); });
}

void VideoGalleryViewModel::showListing(const GalleryFolderListing& listing) {
    if (recordsPending_) {
        // Shown with the records, so no card changes its title a moment later.
        listingWaiting_ = listing;
        return;
    }
    listingPending_ = false;
    // The watcher compares later changes with this same listing, so nothing falls between the two.
    if (fileSystemMonitor_)
        fileSystemMonitor_->setFirstListing(listing.entries);
    if (!listing.opened) {
        const QString description = qt_error_string(listing.error);
        Log::line(QStringLiteral("❌ [VideoGallery] Error loading videos from directory: ") + description);
        Log::line(QStringLiteral("   Directory: ") + listing.directory);
        Log::line(QStringLiteral("   Error details: ") +
                  QStringLiteral("Error Domain=POSIX Code=%1 \"%2\"").arg(listing.error).arg(description));
        // A folder moved away or deleted holds nothing any more; one that is only unreadable for now keeps its list.
        if (listing.error == ENOENT || listing.error == ENOTDIR)
            clips_->resetClips({});
    } else {
        Log::line(QStringLiteral("📂 [VideoGallery] Found %1 total files in directory").arg(listing.found));
        for (const QString& line : listing.rejected)
            Log::line(QStringLiteral("🚫 [VideoGallery] Filtered out: ") + line);
        QList<GalleryClip*> clips = std::exchange(*listing.clips, {});
        records_.join(clips);
        const qsizetype loaded = clips.size();
        clips_->resetClips(std::move(clips));
        Log::line(QStringLiteral("✅ [VideoGallery] Loaded %1 videos matching '").arg(loaded) + filePrefix() +
                  QStringLiteral("*.mp4' pattern"));
        // Thumbnails, durations and sizes are read when a card comes near the view: the top of a fresh list is.
        for (int row = 0; row < firstScreenCount_ && row < count(); ++row)
            clips_->ensureMetadata(row);
    }
    setIsLoading(false);
    // Changes reported while the folder was read, in the order they came.
    QPointer<VideoGalleryViewModel> self(this);
    for (const FileSystemEvent& event : std::exchange(heldEvents_, {})) {
        if (!self)
            return;
        TaskOwner::own(this, handleFileSystemEvent(event));
    }
}

GalleryClip* VideoGalleryViewModel::makeClip(const QString& path) {
    auto* clip = new GalleryClip(path, clips_);
    clip->setRecord(recordFor(clip->fileName()));
    return clip;
}

int VideoGalleryViewModel::indexOfPath(const QString& path) const {
    return clips_->rowOfPath(path);
}

QCoro::Task<> VideoGalleryViewModel::handleFileSystemEvent(FileSystemEvent event) {
    if (!monitoredDirectory_)
        co_return;
    if (listingPending_ && event.kind != FileSystemEvent::Kind::directoryChanged) {
        // The list being read may or may not have this change: it is applied once that list is shown.
        heldEvents_.append(event);
        co_return;
    }
    switch (event.kind) {
    case FileSystemEvent::Kind::fileAdded:
        co_await addFile(event.path);
        break;
    case FileSystemEvent::Kind::fileRemoved:
        for (int row = count() - 1; row >= 0; --row) {
            if (videos()[row]->path() == event.path)
                clips_->removeClip(row);
        }
        break;
    case FileSystemEvent::Kind::fileRenamed:
        co_await renameFile(event.oldPath, event.path);
        break;
    case FileSystemEvent::Kind::directoryChanged:
        emit watchedFolderChanged();
        loadVideos(*monitoredDirectory_);
        break;
    }
}

QCoro::Task<> VideoGalleryViewModel::addFile(QString path) {
    const QString name = QFileInfo(path).fileName();
    if (!passesFilter(name)) {
        const bool prefixed = name.startsWith(filePrefix());
        const bool video = GalleryFolderListing::hasVideoExtension(name);
        if (video && !prefixed)
            Log::line(QStringLiteral("🚫 [VideoGallery] Ignoring file (no ") + filePrefix() +
                      QStringLiteral(" prefix): ") + FileNames::displayName(name));
        else if (prefixed && !video)
            Log::line(QStringLiteral("🚫 [VideoGallery] Ignoring file (has ") + filePrefix() +
                      QStringLiteral(" prefix but not .mp4): ") + FileNames::displayName(name));
        co_return;
    }
    QPointer<VideoGalleryViewModel> self(this);
    const quint64 generation = generation_;
    // The file's facts are read on a worker, like everything else of it.
    QFuture<ClipFileInfo> reading = QtConcurrent::run(&ClipFileInfo::of, path);
    const ClipFileInfo info = co_await reading;
    if (!self || generation_ != generation || !info.isFile)
        co_return;
    Log::line(QStringLiteral("➕ [VideoGallery] Adding new video: ") + FileNames::displayName(name));
    QPointer<GalleryClip> clip = new GalleryClip(path, info.created, info.size, clips_);
    co_await clip->loadMetadata();
    if (!self || !clip)
        co_return;
    QFuture<bool> checking = QtConcurrent::run([path] { return ClipFileInfo::of(path).isFile; });
    const bool stillThere = co_await checking;
    if (!self || !clip)
        co_return;
    // Only if this is still the folder it was found in, it is not listed already and it is still there.
    if (generation_ != generation || indexOfPath(path) >= 0 || !stillThere) {
        clip->deleteLater();
        co_return;
    }
    if (listingPending_) {
        // A full list is on its way and may not have it: it comes again after that list.
        heldEvents_.append(FileSystemEvent::fileAdded(path));
        clip->deleteLater();
        co_return;
    }
    // Its record may have been stored while it was being read.
    clip->setRecord(recordFor(clip->fileName()));
    clips_->insertClip(0, clip);
}

QCoro::Task<> VideoGalleryViewModel::renameFile(QString oldPath, QString newPath) {
    const int row = indexOfPath(oldPath);
    if (row < 0)
        co_return;
    if (!passesFilter(QFileInfo(newPath).fileName()) || indexOfPath(newPath) >= 0) {
        clips_->removeClip(row);
        co_return;
    }
    GalleryClip* clip = makeClip(newPath);
    clips_->replaceClip(row, clip);
    co_await clip->loadMetadata();
}

void VideoGalleryViewModel::refreshVideos() {
    if (!monitoredDirectory_)
        return;
    // Not inside the caller's own work: the reload runs on the next turn of the event loop.
    QPointer<VideoGalleryViewModel> self(this);
    const quint64 generation = generation_;
    QTimer::singleShot(0, this, [self, generation] {
        if (self && self->generation_ == generation && self->monitoredDirectory_)
            self->loadVideos(*self->monitoredDirectory_);
    });
}

void VideoGalleryViewModel::reloadRecords() {
    savedMeanwhile_.clear();
    const QString path = modelContext_ && !modelContext_->isInMemory() ? modelContext_->filePath() : QString();
    if (path.isEmpty()) {
        recordsRead_.forget();
        ClipRecords records;
        records.reload(modelContext_);
        showRecords(std::move(records));
        return;
    }
    // Thousands of records cost a cold store seconds of reading: never on the GUI thread.
    recordsPending_ = true;
    recordsRead_.run(
        this, [path] { return ClipRecords::read(path); },
        [this](const std::optional<ClipRecords>& read) {
            if (read) {
                showRecords(*read);
                return;
            }
            // A store that cannot be read from its file says why through the context.
            ClipRecords records;
            records.reload(modelContext_);
            showRecords(std::move(records));
        });
}

void VideoGalleryViewModel::showRecords(ClipRecords records) {
    recordsPending_ = false;
    records_ = std::move(records);
    for (const auto& [written, removed] : std::exchange(savedMeanwhile_, {}))
        records_.applySaved(written, removed);
    records_.join(videos());
    if (auto waiting = std::exchange(listingWaiting_, std::nullopt))
        showListing(*waiting);
}

void VideoGalleryViewModel::recordsSaved(const QList<std::shared_ptr<PersistentModel>>& written,
                                         const QList<std::shared_ptr<PersistentModel>>& removed) {
    if (recordsPending_)
        savedMeanwhile_.append({written, removed});
    records_.join(videos(), records_.applySaved(written, removed));
}

std::shared_ptr<VideoMetadata> VideoGalleryViewModel::recordFor(const QString& fileName) const {
    return records_.recordFor(fileName);
}

void VideoGalleryViewModel::recreate(GalleryClip* clip) {
    if (!clip)
        return;
    // The store's own record: the card's may be a copy without its pictures.
    const auto record = records_.storedRecordFor(clip->fileName(), modelContext_);
    if (!record) {
        Log::line(QStringLiteral("❌ No metadata found for ") + clip->fileName());
        return;
    }
    emit recreateRequested(record.get());
}

void VideoGalleryViewModel::showInFileManager(GalleryClip* clip) {
    if (clip)
        Workspace::current().revealInFileManager({clip->path()});
}

void VideoGalleryViewModel::confirmMoveToTrash(GalleryClip* clip) {
    if (!clip)
        return;
    // The clip may leave the list while the question is open.
    const QString path = clip->path();
    const QString name = clip->fileName();
    QPointer<VideoGalleryViewModel> self(this);
    const int answer =
        Dialogs::current().alert(Dialogs::AlertStyle::warning, QStringLiteral("Move Video to Trash"),
                                 QStringLiteral("Are you sure you want to move '") + name +
                                     QStringLiteral("' to the Trash? You can restore it from the Trash later."),
                                 {QStringLiteral("Move to Trash"), QStringLiteral("Cancel")});
    if (!self || answer != 0)
        return;
    QString reason;
    if (!Workspace::current().moveToTrash(path, &reason)) {
        // The system's own reason, as its error alert would give it.
        Dialogs::current().alert(
            Dialogs::AlertStyle::critical, QStringLiteral("“%1” couldn’t be moved to the Trash.").arg(name),
            reason.isEmpty() ? QStringLiteral("The file may be in use, or the Trash cannot be reached from its folder.")
                             : reason,
            {QStringLiteral("OK")});
        return;
    }
    if (self)
        refreshVideos();
}

bool VideoGalleryViewModel::hasVideoKey() const {
    return APIManager::shared().hasMiniMaxAPIKey();
}

VideoGalleryViewModel::EmptyState VideoGalleryViewModel::emptyState() const {
    if (hasVideoKey())
        return {QStringLiteral("play.rectangle.on.rectangle"), false,
                QStringLiteral("Ready for parallel motion generation"),
                QStringLiteral("Up to 4 videos can be generated simultaneously")};
    return {QStringLiteral("exclamationmark.triangle"), true, QStringLiteral("MiniMax API key not set"),
            QStringLiteral("Please go to API settings to configure your key")};
}

void VideoGalleryViewModel::dismissFailedJob(const QUuid& taskId) {
    if (taskId.isNull() || dismissedFailedJobs_.contains(taskId))
        return;
    dismissedFailedJobs_.insert(taskId);
    emit failedJobDismissed(taskId);
}
