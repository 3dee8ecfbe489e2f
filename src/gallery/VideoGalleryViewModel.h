#pragma once

#include "ClipRecords.h"
#include "FileSystemEvent.h"
#include "GalleryFolderListing.h"

#include "LatestResult.h"
#include "ModelContext.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

class AppSettings;
class FileSystemMonitor;
class GalleryClip;
class GalleryClipModel;
class VideoMetadata;

// The gallery's state: the clips of the watched video folder newest first (listed by GalleryFolderListing), each
// joined with its stored record (ClipRecords), as an item model; the grid mode and column count with their
// persistence; the folder watcher that keeps the list in step with the folder; and the rules of the pane around
// them (the empty state, the card actions). Lives on the GUI thread.
class VideoGalleryViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(int columns READ columns WRITE setColumns NOTIFY columnsChanged)
    Q_PROPERTY(double gridSpacing READ gridSpacing CONSTANT)
    Q_PROPERTY(
        GridMode preferredGridMode READ preferredGridMode WRITE setPreferredGridMode NOTIFY preferredGridModeChanged)
    Q_PROPERTY(QString currentGridModeName READ currentGridModeName NOTIFY columnsChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(bool hasVideoKey READ hasVideoKey NOTIFY hasVideoKeyChanged)
public:
    enum class GridMode { automatic, compact, comfortable };
    Q_ENUM(GridMode)

    explicit VideoGalleryViewModel(QObject* parent = nullptr);
    ~VideoGalleryViewModel() override;

    // The clips, one row each; the list owns them.
    GalleryClipModel* clipModel() const { return clips_; }
    const QList<GalleryClip*>& videos() const;
    int count() const;
    bool isLoading() const { return isLoading_; }
    int columns() const { return columns_; }
    void setColumns(int columns);
    double gridSpacing() const { return 16; }
    GridMode preferredGridMode() const { return preferredGridMode_; }
    void setPreferredGridMode(GridMode mode);
    // From the column count alone: 1 "Solo", 3 "Compact", anything else "Comfort".
    QString currentGridModeName() const;
    QString filePrefix() const { return QStringLiteral("Orvane_"); }
    std::optional<QString> monitoredDirectory() const { return monitoredDirectory_; }
    FileSystemMonitor* fileSystemMonitor() const { return fileSystemMonitor_; }

    // The grid modes of the menu: name, column count and mode, in menu order.
    struct GridModeChoice {
        QString name;
        int columns;
        GridMode mode;
    };
    static QList<GridModeChoice> gridModeChoices();
    // The menu action: columns, then mode, then the stored name.
    void selectGridMode(const GridModeChoice& choice);

    // Object store: the view mode and the clips' records.
    void setModelContext(ModelContext* context);
    ModelContext* modelContext() const { return modelContext_; }
    void loadViewModeSettings();
    void saveViewModeSettings(const QString& name);
    static int columnsFor(GridMode mode, double width);
    void updateColumns(double width);

    // The caller has started access to the folder; this model ends it when it stops watching. The folder is
    // listed off the GUI thread: the list follows once it has been read (isLoading() until then).
    void startMonitoring(const QString& directory);
    void stopMonitoring();
    void loadVideos(const QString& directory);
    QCoro::Task<> handleFileSystemEvent(FileSystemEvent event);
    void refreshVideos();

    // A clip passes when its name starts with the prefix (case-sensitive), its extension is "mp4" in any case
    // and it is not a partial download (a ".part" piece in its name). Hidden files never get this far.
    bool passesFilter(const QString& fileName) const;

    // Records, newest first; for each file name the first one wins, for the card and for recreate alike. Read
    // whole when the store is given, on a worker for a store in a file (a full load's list waits for them); after
    // that each save brings only the records it wrote or removed.
    void reloadRecords();
    bool isReadingRecords() const { return recordsPending_; }
    std::shared_ptr<VideoMetadata> recordFor(const QString& fileName) const;

    // The card actions. Recreate hands the clip's record to the workspace, which refills its inputs from it.
    void recreate(GalleryClip* clip);
    void showInFileManager(GalleryClip* clip);
    // Asks first; only "Move to Trash" goes on. The clip's record stays in the store, since the clip can come
    // back from the Trash; the list is reloaded on the next turn of the event loop.
    void confirmMoveToTrash(GalleryClip* clip);

    // The first video key, which decides what the empty pane says.
    bool hasVideoKey() const;
    struct EmptyState {
        QString symbol;
        bool warning; // no key: the symbol and title in red
        QString title;
        QString subtitle;
    };
    EmptyState emptyState() const;

    // A failed job shows as a card until the user removes it; the queue keeps it among its finished jobs, so
    // the removal is remembered here, for this run only like the failure itself.
    void dismissFailedJob(const QUuid& taskId);
    bool isFailedJobDismissed(const QUuid& taskId) const { return dismissedFailedJobs_.contains(taskId); }

    int indexOfPath(const QString& path) const;

    // How many clips from the top a view shows at once. A full load starts reading those at once, since a
    // fresh list is shown from its top; everything further down waits until a view asks.
    void setFirstScreenCount(int count) { firstScreenCount_ = std::max(0, count); }
    // The size of a card's picture in device pixels: the first screen's pictures come made to it.
    void setFirstScreenPictureSize(QSize pixels) { firstScreenPictureSize_ = pixels; }

signals:
    void columnsChanged();
    void preferredGridModeChanged();
    void isLoadingChanged();
    void monitoredDirectoryChanged();
    // The watched folder went, came back or could not be listed: what names it may read otherwise now.
    void watchedFolderChanged();
    void countChanged();
    void hasVideoKeyChanged();
    void recreateRequested(VideoMetadata* record);
    void failedJobDismissed(const QUuid& taskId);

private:
    void setIsLoading(bool loading);
    // The stored settings record (null when there is none yet); nothing, and `failure` with the error in
    // the log, when there is no store or it cannot be read.
    std::optional<std::shared_ptr<AppSettings>> storedSettings(const QString& failure) const;
    GalleryClip* makeClip(const QString& path);
    void showListing(const GalleryFolderListing& listing);
    QCoro::Task<> addFile(QString path);
    QCoro::Task<> renameFile(QString oldPath, QString newPath);

    GalleryClipModel* clips_ = nullptr;
    bool isLoading_ = false;
    int columns_ = 1;
    GridMode preferredGridMode_ = GridMode::automatic;
    QPointer<ModelContext> modelContext_;
    QMetaObject::Connection saveConnection_;
    FileSystemMonitor* fileSystemMonitor_ = nullptr;
    std::optional<QString> monitoredDirectory_;
    std::optional<QString> securityScopedResource_;
    // Bumped by every start and stop: work begun for an earlier folder sees it changed and drops its result.
    quint64 generation_ = 0;
    int firstScreenCount_ = 0;
    QSize firstScreenPictureSize_;
    // The folder being read for a full load; changes reported meanwhile wait for it, so the new list never
    // undoes them.
    LatestResult listing_;
    bool listingPending_ = false;
    QList<FileSystemEvent> heldEvents_;
    void recordsSaved(const QList<std::shared_ptr<PersistentModel>>& written,
                      const QList<std::shared_ptr<PersistentModel>>& removed);
    void showRecords(ClipRecords records);
    ClipRecords records_;
    LatestResult recordsRead_;
    bool recordsPending_ = false;
    // Saves made while the records are read: applied again to what the read brings, which may predate them.
    QList<std::pair<QList<std::shared_ptr<PersistentModel>>, QList<std::shared_ptr<PersistentModel>>>> savedMeanwhile_;
    // A full load's list that came before the records.
    std::optional<GalleryFolderListing> listingWaiting_;
    QSet<QUuid> dismissedFailedJobs_;
};
