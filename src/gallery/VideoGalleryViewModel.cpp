#include "VideoGalleryViewModel.h"

#include "AppSettings.h"
#include "ClipFileInfo.h"
#include "FileNames.h"
#include "FileSystemMonitor.h"
#include "FolderBookmark.h"
#include "GalleryVideoItem.h"
#include "Log.h"
#include "ModelContext.h"
#include "VideoMetadata.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Called for every entry of a folder of thousands: no allocation for the common case.
bool hasVideoExtension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf('.');
    if (dot < 0)
        return false;
    const QStringView suffix = QStringView(fileName).mid(dot + 1);
    for (const QString& format : VideoGalleryViewModel::supportedFormats()) {
        if (suffix.compare(format, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// A download or copy still in progress: "clip.part.mp4", "clip.mp4.part", "x.part".
bool isPartialName(const QString& fileName) {
    const QStringView name(fileName);
    for (qsizetype at = name.indexOf(QLatin1String(".part"), 0, Qt::CaseInsensitive); at >= 0;
         at = name.indexOf(QLatin1String(".part"), at + 1, Qt::CaseInsensitive)) {
        const qsizetype end = at + 5;
        if (at > 0 && (end == name.size() || name.at(end) == '.'))
            return true;
    }
    return false;
}

} // namespace

VideoGalleryViewModel::VideoGalleryViewModel(QObject* parent) : QObject(parent) {
    qRegisterMetaType<VideoMetadata*>();
    const QScreen* screen = QGuiApplication::primaryScreen();
    updateColumns(screen ? screen->geometry().width() : 1920);
}

VideoGalleryViewModel::~VideoGalleryViewModel() {
    delete fileSystemMonitor_;
    fileSystemMonitor_ = nullptr;
}

const QSet<QString>& VideoGalleryViewModel::supportedFormats() {
    static const QSet<QString> formats{QStringLiteral("mp4")};
    return formats;
}

void VideoGalleryViewModel::setColumns(int columns) {
    if (columns_ == columns)
        return;
    columns_ = columns;
    emit columnsChanged();
}

void VideoGalleryViewModel::setPreferredGridMode(GridMode mode) {
    if (preferredGridMode_ == mode)
        return;
    preferredGridMode_ = mode;
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
        saveConnection_ = connect(context, &ModelContext::didSave, this, &VideoGalleryViewModel::reloadRecords);
    reloadRecords();
}

void VideoGalleryViewModel::loadViewModeSettings() {
    if (!modelContext_)
        return;
    QString error;
    const auto records = modelContext_->fetch<AppSettings>({}, &error);
    if (!records) {
        Log::line(QStringLiteral("❌ Error loading view mode settings: ") + error);
        return;
    }
    if (records->isEmpty())
        return;
    const QString name = records->first()->videoGalleryViewMode();
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
    if (!modelContext_)
        return;
    QString error;
    const auto records = modelContext_->fetch<AppSettings>({}, &error);
    if (!records) {
        Log::line(QStringLiteral("❌ Error saving view mode settings: ") + error);
        return;
    }
    std::shared_ptr<AppSettings> settings = records->isEmpty() ? nullptr : records->first();
    if (!settings) {
        settings = AppSettings::make();
        modelContext_->insert(settings);
    }
    settings->setVideoGalleryViewMode(name);
    if (!modelContext_->save(&error))
        Log::line(QStringLiteral("❌ Error saving view mode settings: ") + error);
}

bool VideoGalleryViewModel::passesFilter(const QString& fileName) const {
    return hasVideoExtension(fileName) && fileName.startsWith(filePrefix()) && !isPartialName(fileName);
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
    auto* monitor = new FileSystemMonitor(
        directory,
        [self](const FileSystemEvent& event) {
            if (self)
                self->handleFileSystemEvent(event);
        },
        this);
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
    replaceAll({});
    Log::line(QStringLiteral("🧹 [VideoGallery] Cache cleared: thumbnails and video list"));
    if (hadFolder)
        emit monitoredDirectoryChanged();
}

void VideoGalleryViewModel::setIsLoading(bool loading) {
    if (isLoading_ == loading)
        return;
    isLoading_ = loading;
    emit isLoadingChanged();
}

void VideoGalleryViewModel::loadVideos(const QString& directory) {
    setIsLoading(true);
    if (!securityScopedResource_) {
        Log::line(QStringLiteral("❌ [VideoGallery] Security-scoped resource not initialized for: ") + directory);
        setIsLoading(false);
        return;
    }
    errno = 0;
    if (DIR* probe = ::opendir(FileNames::encode(directory).constData())) {
        ::closedir(probe);
    } else {
        const int code = errno;
        const QString description = qt_error_string(code);
        Log::line(QStringLiteral("❌ [VideoGallery] Error loading videos from directory: ") + description);
        Log::line(QStringLiteral("   Directory: ") + directory);
        Log::line(QStringLiteral("   Error details: ") +
                  QStringLiteral("Error Domain=POSIX Code=%1 \"%2\"").arg(code).arg(description));
        setIsLoading(false);
        return;
    }
    struct Listed {
        QString path;
        qint64 created; // ms since 1970; -1 when unknown
        qint64 size;
        QString name;
    };
    std::vector<Listed> kept;
    QStringList rejected;
    int found = 0;
    const QString prefix = filePrefix();
    const QString base = directory.endsWith('/') ? directory : directory + '/';
    // readdir and one statx per candidate: names are filtered before anything is read from the disk.
    if (DIR* dir = ::opendir(FileNames::encode(directory).constData())) {
        const int dirFd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            ++found;
            // Every byte of the name is kept, so a name that is not UTF-8 still reaches its file.
            const QString name = FileNames::decode(QByteArray(entry->d_name));
            const bool prefixed = name.startsWith(prefix);
            const bool video = hasVideoExtension(name);
            if (!prefixed || !video) {
                rejected << FileNames::displayName(name) +
                                (prefixed ? QStringLiteral(" (has ") + prefix + QStringLiteral(" prefix but not .mp4)")
                                 : video  ? QStringLiteral(" (no ") + prefix + QStringLiteral(" prefix)")
                                          : QStringLiteral(" (no ") + prefix + QStringLiteral(" prefix and not .mp4)"));
                continue;
            }
            if (isPartialName(name) || entry->d_type == DT_DIR)
                continue; // a partial file or a folder: never a clip, not worth a line
            struct statx info {};
            if (::statx(dirFd, entry->d_name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_BTIME | STATX_MTIME | STATX_SIZE,
                        &info) != 0 ||
                !S_ISREG(info.stx_mode))
                continue;
            const statx_timestamp& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
            const qint64 created = (info.stx_mask & (STATX_BTIME | STATX_MTIME))
                                       ? qint64(stamp.tv_sec) * 1000 + stamp.tv_nsec / 1000000
                                       : -1;
            kept.push_back({base + name, created, qint64(info.stx_size), name});
        }
        ::closedir(dir);
    }
    Log::line(QStringLiteral("📂 [VideoGallery] Found %1 total files in directory").arg(found));
    for (const QString& line : std::as_const(rejected))
        Log::line(QStringLiteral("🚫 [VideoGallery] Filtered out: ") + line);
    // Newest first; undated entries last; equal dates by name, newest name first (names carry the time).
    std::sort(kept.begin(), kept.end(), [](const Listed& a, const Listed& b) {
        if (a.created != b.created)
            return a.created > b.created;
        return a.name > b.name;
    });
    QList<GalleryVideoItem*> items;
    items.reserve(qsizetype(kept.size()));
    for (const Listed& entry : kept) {
        const QDateTime created =
            entry.created >= 0 ? QDateTime::fromMSecsSinceEpoch(entry.created, Qt::UTC) : QDateTime();
        auto* item = new GalleryVideoItem(entry.path, created, entry.size, this);
        item->setRecord(recordFor(item->fileName()));
        items.append(item);
    }
    replaceAll(items);
    Log::line(QStringLiteral("✅ [VideoGallery] Loaded %1 videos matching '").arg(items.size()) + prefix +
              QStringLiteral("*.mp4' pattern"));
    // Thumbnails, durations and sizes are read when a card comes near the view: the top of a fresh list is.
    for (int row = 0; row < firstScreenCount_ && row < videos_.size(); ++row)
        videos_[row]->ensureMetadata();
    setIsLoading(false);
}

GalleryVideoItem* VideoGalleryViewModel::makeItem(const QString& path) {
    auto* item = new GalleryVideoItem(path, this);
    item->setRecord(recordFor(item->fileName()));
    return item;
}

void VideoGalleryViewModel::replaceAll(QList<GalleryVideoItem*> items) {
    const QList<GalleryVideoItem*> old = videos_;
    for (GalleryVideoItem* item : old)
        item->setIsHovered(false);
    videos_ = std::move(items);
    emit videosReset();
    emit videosChanged();
    for (GalleryVideoItem* item : old)
        item->deleteLater();
}

void VideoGalleryViewModel::insertAt(int row, GalleryVideoItem* item) {
    videos_.insert(row, item);
    emit videoInserted(row);
    emit videosChanged();
}

void VideoGalleryViewModel::removeAt(int row) {
    GalleryVideoItem* item = videos_.takeAt(row);
    emit videoRemoved(row);
    emit videosChanged();
    item->setIsHovered(false);
    item->deleteLater();
}

int VideoGalleryViewModel::indexOfPath(const QString& path) const {
    for (int i = 0; i < videos_.size(); ++i) {
        if (videos_[i]->path() == path)
            return i;
    }
    return -1;
}

QCoro::Task<> VideoGalleryViewModel::handleFileSystemEvent(FileSystemEvent event) {
    if (!monitoredDirectory_)
        co_return;
    switch (event.kind) {
    case FileSystemEvent::Kind::fileAdded:
        co_await addFile(event.path);
        break;
    case FileSystemEvent::Kind::fileRemoved:
        for (int row = int(videos_.size()) - 1; row >= 0; --row) {
            if (videos_[row]->path() == event.path)
                removeAt(row);
        }
        break;
    case FileSystemEvent::Kind::fileRenamed:
        co_await renameFile(event.oldPath, event.path);
        break;
    case FileSystemEvent::Kind::directoryChanged:
        loadVideos(*monitoredDirectory_);
        break;
    }
}

QCoro::Task<> VideoGalleryViewModel::addFile(QString path) {
    const QString name = QFileInfo(path).fileName();
    if (!passesFilter(name)) {
        const bool prefixed = name.startsWith(filePrefix());
        const bool video = hasVideoExtension(name);
        if (video && !prefixed)
            Log::line(QStringLiteral("🚫 [VideoGallery] Ignoring file (no ") + filePrefix() +
                      QStringLiteral(" prefix): ") + FileNames::displayName(name));
        else if (prefixed && !video)
            Log::line(QStringLiteral("🚫 [VideoGallery] Ignoring file (has ") + filePrefix() +
                      QStringLiteral(" prefix but not .mp4): ") + FileNames::displayName(name));
        co_return;
    }
    if (!ClipFileInfo::of(path).isFile)
        co_return;
    Log::line(QStringLiteral("➕ [VideoGallery] Adding new video: ") + FileNames::displayName(name));
    QPointer<VideoGalleryViewModel> self(this);
    const quint64 generation = generation_;
    QPointer<GalleryVideoItem> item = makeItem(path);
    co_await item->loadMetadata();
    if (!self || !item)
        co_return;
    // Only if this is still the folder it was found in, it is not listed already and it is still there.
    if (generation_ != generation || indexOfPath(path) >= 0 || !ClipFileInfo::of(path).isFile) {
        item->deleteLater();
        co_return;
    }
    // Its record may have been stored while it was being read.
    item->setRecord(recordFor(item->fileName()));
    insertAt(0, item);
}

QCoro::Task<> VideoGalleryViewModel::renameFile(QString oldPath, QString newPath) {
    const int row = indexOfPath(oldPath);
    if (row < 0)
        co_return;
    if (!passesFilter(QFileInfo(newPath).fileName()) || indexOfPath(newPath) >= 0) {
        removeAt(row);
        co_return;
    }
    GalleryVideoItem* old = videos_[row];
    GalleryVideoItem* item = makeItem(newPath);
    videos_[row] = item;
    emit videoReplaced(row);
    emit videosChanged();
    old->setIsHovered(false);
    old->deleteLater();
    co_await item->loadMetadata();
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
    records_.clear();
    if (modelContext_) {
        FetchDescriptor<VideoMetadata> newestFirst;
        newestFirst.sortedBefore = [](const VideoMetadata& a, const VideoMetadata& b) {
            return a.createdAt() > b.createdAt();
        };
        if (const auto records = modelContext_->fetch<VideoMetadata>(newestFirst)) {
            for (const auto& record : *records) {
                if (!records_.contains(record->fileName()))
                    records_.insert(record->fileName(), record);
            }
        }
    }
    for (GalleryVideoItem* item : std::as_const(videos_))
        item->setRecord(recordFor(item->fileName()));
}

std::shared_ptr<VideoMetadata> VideoGalleryViewModel::recordFor(const QString& fileName) const {
    return records_.value(fileName);
}

void VideoGalleryViewModel::recreate(GalleryVideoItem* item) {
    if (!item)
        return;
    const auto record = recordFor(item->fileName());
    if (!record) {
        Log::line(QStringLiteral("❌ No metadata found for ") + item->fileName());
        return;
    }
    emit recreateRequested(record.get());
}

void VideoGalleryViewModel::dismissFailedJob(const QUuid& taskId) {
    if (taskId.isNull() || dismissedFailedJobs_.contains(taskId))
        return;
    dismissedFailedJobs_.insert(taskId);
    emit failedJobDismissed(taskId);
}
