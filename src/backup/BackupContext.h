#pragma once

#include "BackupLedger.h"
#include "BackupPictures.h"
#include "ModelContext.h"

#include <QFileDevice>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class BackupCarrier;
class ImagePreset;
class PromptPreset;
class VideoMetadata;

// Why a backup or one of its steps failed; the text is what the "❌" line shows.
class BackupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit BackupError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

// What a backup did besides replacing the previous one.
struct BackupResult {
    std::optional<QString> keptBackup; // the folder the previous backup was kept in
};

// Places where a test can make a step fail as the file system or the store would. `imageExchange` stands
// for a file system that cannot swap two folders in one step (NFS and other network file systems),
// `pictureLink` for one without hard links (FAT, exFAT, some network file systems).
enum class BackupStep {
    settingsFile,
    recordsFetch,
    recordsFile,
    imageFile,
    imageSwap,
    imageExchange,
    recordsSave,
    backupRemoval,
    pictureLink
};
using BackupFaultInjector = std::function<std::optional<QString>(BackupStep)>;

// What a backup covers and the reset deletes, as the store returned it.
struct BackupRecords {
    QList<std::shared_ptr<VideoMetadata>> videos;
    QList<std::shared_ptr<PromptPreset>> promptPresets;
    QList<std::shared_ptr<ImagePreset>> imagePresets;
};

// What the writer, the restorer and the reset share: where the backup lives, the store it reads, what the
// current backup's pictures are known to hold, the faults a test injects, and the removal of folders that are no
// longer wanted.
class BackupContext {
public:
    static constexpr QFileDevice::Permissions ownerOnlyFolder =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    static constexpr QFileDevice::Permissions ownerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

    // Work on threads of its own that waitForDiscardedFiles() waits for, as long as an object of this type lives.
    class BackgroundWork {
    public:
        BackgroundWork();
        ~BackgroundWork();
        BackgroundWork(const BackgroundWork&) = delete;
        BackgroundWork& operator=(const BackgroundWork&) = delete;
    };

    // The current backup's pictures linked into a folder of their own in the background, for the next backup.
    struct PreparedStaging {
        QString folder;
        QList<BackupPictures::Key> pictures; // linked, or copied
        QSet<BackupPictures::Key> missing;   // not in the backup any more
    };

    BackupContext();
    ~BackupContext();
    BackupContext(const BackupContext&) = delete;
    BackupContext& operator=(const BackupContext&) = delete;

    ModelContext* modelContext() const { return modelContext_; }
    void setModelContext(ModelContext* context);
    void setNoLocation(bool none) { noLocation_ = none; }
    void setFaultInjector(BackupFaultInjector injector) { faultInjector_ = std::move(injector); }

    // None when the system gives no data folder.
    std::optional<QString> applicationSupportDirectory() const;
    std::optional<QString> backupFolderURL() const;
    std::optional<QString> userImagesFolderURL() const;
    std::optional<QString> settingsBackupFile() const;
    // Where the ledger of the current backup's pictures is kept between processes.
    std::optional<QString> ledgerNotePath() const;
    BackupLedger& ledger() { return ledger_; }
    // Creates the backup folder (0700) and "UserImages" with "VideoMetadata" and "ImagePresets" when missing.
    // Returns false when the backup folder does not exist afterwards; `error` then says why, when there is a place
    // for it.
    bool createBackupFolderIfNeeded(QString* error = nullptr) const;

    // Throws the failure a test injected at `step`, if any.
    void fail(BackupStep step) const;
    // The failure a test injected at `step`, for steps that report it their own way.
    std::optional<QString> injectedFailure(BackupStep step) const;

    // Every record a backup covers; throws when there is no store or a fetch fails.
    BackupRecords fetchRecords() const;

    // Starts linking the current backup's pictures into a folder for the next backup's staging, on threads of
    // their own, unless that is under way; the next backup then only has to take in what changed.
    void prepareStaging();
    // The folder prepared for the pictures folder `images` as it stands, once its links are made; none when
    // there is none (or it was prepared for another one).
    std::optional<PreparedStaging> takePreparedStaging(const QString& images);
    void dropPreparedStaging();

    // Our pictures folders besides the current backup's: those being removed, those prepared for the next backup
    // and those of kept backups. A backup's picture may be linked into any of them under its own name.
    QStringList otherPictureFolders() const;

    // Whether the previous backup still has to be kept before it is replaced: the store it was made from was set
    // aside at this start or at an earlier one that could not keep it, and nothing was kept since.
    bool mustKeepPreviousBackup() const;
    void setPreviousBackupKept() { previousKept_ = true; }

    // Moves a folder out of the way at once and removes it in the background; throws when it stays.
    void discard(const QString& folder) const;
    // A new name in the data folder for something to be removed in the background; none without a data folder.
    std::optional<QString> discardPath() const;
    // Removes what an earlier process had no time to remove.
    void removeLeftovers() const;
    static void removeInBackground(const QString& path);
    // Waits until every removal and all other work in the background is done.
    static void waitForDiscardedFiles();

private:
    struct Preparing;

    QPointer<ModelContext> modelContext_;
    BackupLedger ledger_;
    std::unique_ptr<Preparing> preparing_;
    bool noLocation_ = false;
    bool previousKept_ = false;
    BackupFaultInjector faultInjector_;
};
