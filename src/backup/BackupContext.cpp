#include "BackupContext.h"

#include "AppPaths.h"
#include "BackupCarrier.h"
#include "BackupManager.h"
#include "ImagePreset.h"
#include "PromptPreset.h"
#include "SystemError.h"
#include "VideoMetadata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace {

// A folder that only the user can enter; an existing one is tightened. `error` gets the system's reason when it
// cannot be had.
bool makeOwnerOnlyFolder(const QString& path, QString* error = nullptr) {
    const QByteArray native = QFile::encodeName(path);
    // mkpath keeps no reason: the system's comes from making the folder itself. A file in its place is "Not a
    // directory", which says more than "File exists".
    if (!QFileInfo(path).isDir() && !QDir().mkpath(path) && ::mkdir(native.constData(), S_IRWXU) != 0) {
        if (error)
            *error = path + ": " + systemReason(errno == EEXIST ? ENOTDIR : errno);
        return false;
    }
    if (::chmod(native.constData(), S_IRWXU) != 0) {
        if (error)
            *error = path + ": " + systemReason(errno);
        return false;
    }
    return QFileInfo(path).isDir();
}

// Removing thousands of pictures takes seconds on some file systems (synchronous discard): a folder that is
// no longer wanted is first renamed out of the way, which is instant, and then removed on a thread of its own.
// Plain C++ only, so that a removal still running when the process ends needs nothing of Qt.
struct Discards {
    std::mutex mutex;
    std::condition_variable done;
    int running = 0;
};

Discards& discards() {
    static auto* state = new Discards; // never destroyed: a removal may outlive static destruction
    return *state;
}

const QString kDiscardPrefix = QStringLiteral(".backup-discarded-");
const QString kPreparedPrefix = QStringLiteral(".backup-prepared-");
const QString kLedgerNote = QStringLiteral(".backup-ledger");

} // namespace

struct BackupContext::Preparing {
    QString folder;
    BackupPictures::FileId basis; // the pictures folder the links were made from
    QList<BackupPictures::Key> pictures;
    std::unique_ptr<BackupCarrier> carrier;
};

BackupContext::BackgroundWork::BackgroundWork() {
    Discards& state = discards();
    std::lock_guard lock(state.mutex);
    ++state.running;
}

BackupContext::BackgroundWork::~BackgroundWork() {
    Discards& state = discards();
    std::lock_guard lock(state.mutex);
    --state.running;
    state.done.notify_all();
}

BackupContext::BackupContext() {
    ledger_.setChangeHandler([this] { prepareStaging(); });
}

BackupContext::~BackupContext() {
    dropPreparedStaging();
}

void BackupContext::setModelContext(ModelContext* context) {
    if (context != modelContext_)
        previousKept_ = false;
    modelContext_ = context;
    ledger_.attach(context, ledgerNotePath());
}

void BackupContext::prepareStaging() {
    if (preparing_)
        return;
    const auto images = userImagesFolderURL();
    const auto base = applicationSupportDirectory();
    const auto basis = images ? BackupPictures::fileId(*images) : std::nullopt;
    if (!base || !basis || ledger_.pictures().isEmpty() || ledger_.folder() != basis)
        return;
    const QString folder = *base + '/' + kPreparedPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool made = QDir().mkdir(folder, ownerOnlyFolder);
    for (const char* name : BackupPictures::folders)
        made = made && QDir().mkdir(folder + '/' + name, ownerOnlyFolder);
    if (!made) {
        QDir(folder).removeRecursively();
        return;
    }
    const bool links = !injectedFailure(BackupStep::pictureLink);
    preparing_ = std::make_unique<Preparing>();
    preparing_->folder = folder;
    preparing_->basis = *basis;
    preparing_->pictures = ledger_.pictures().keys();
    preparing_->carrier = std::make_unique<BackupCarrier>(*images, folder, preparing_->pictures, links);
}

std::optional<BackupContext::PreparedStaging> BackupContext::takePreparedStaging(const QString& images) {
    if (!preparing_)
        return std::nullopt;
    const std::unique_ptr<Preparing> prepared = std::move(preparing_);
    QSet<BackupPictures::Key> missing;
    try {
        missing = prepared->carrier->finish();
    } catch (const BackupError&) {
        missing = {};
        prepared->pictures.clear();
    }
    prepared->carrier.reset();
    if (prepared->pictures.isEmpty() || BackupPictures::fileId(images) != prepared->basis) {
        removeInBackground(prepared->folder);
        return std::nullopt;
    }
    return PreparedStaging{prepared->folder, prepared->pictures, missing};
}

void BackupContext::dropPreparedStaging() {
    if (!preparing_)
        return;
    preparing_->carrier.reset();
    removeInBackground(preparing_->folder);
    preparing_.reset();
}

std::optional<QString> BackupContext::applicationSupportDirectory() const {
    if (noLocation_)
        return std::nullopt;
    const QString folder = AppPaths::dataFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return std::nullopt;
    return folder;
}

std::optional<QString> BackupContext::backupFolderURL() const {
    const auto base = applicationSupportDirectory();
    if (!base)
        return std::nullopt;
    return *base + '/' + BackupManager::backupFolderName;
}

std::optional<QString> BackupContext::userImagesFolderURL() const {
    const auto folder = backupFolderURL();
    if (!folder)
        return std::nullopt;
    return *folder + '/' + BackupManager::userImagesFolder;
}

std::optional<QString> BackupContext::settingsBackupFile() const {
    const auto folder = backupFolderURL();
    if (!folder)
        return std::nullopt;
    return *folder + '/' + BackupManager::settingsFileName;
}

std::optional<QString> BackupContext::ledgerNotePath() const {
    const auto base = applicationSupportDirectory();
    if (!base)
        return std::nullopt;
    return *base + '/' + kLedgerNote;
}

bool BackupContext::createBackupFolderIfNeeded(QString* error) const {
    const auto folder = backupFolderURL();
    if (!folder || !makeOwnerOnlyFolder(*folder, error))
        return false;
    const QString images = *folder + '/' + BackupManager::userImagesFolder;
    if (!QFileInfo(images).isDir()) {
        for (const QString& path : {images, images + "/VideoMetadata", images + "/ImagePresets"}) {
            if (!makeOwnerOnlyFolder(path))
                break;
        }
    }
    return true;
}

void BackupContext::fail(BackupStep step) const {
    if (const auto text = injectedFailure(step))
        throw BackupError(*text);
}

std::optional<QString> BackupContext::injectedFailure(BackupStep step) const {
    if (!faultInjector_)
        return std::nullopt;
    return faultInjector_(step);
}

BackupRecords BackupContext::fetchRecords() const {
    if (!modelContext_)
        throw BackupError("no records store");
    fail(BackupStep::recordsFetch);
    BackupRecords records;
    QString error;
    auto videos = modelContext_->fetch<VideoMetadata>({}, &error);
    if (!videos)
        throw BackupError("fetching the clip records failed: " + error);
    auto prompts = modelContext_->fetch<PromptPreset>({}, &error);
    if (!prompts)
        throw BackupError("fetching the prompt presets failed: " + error);
    auto images = modelContext_->fetch<ImagePreset>({}, &error);
    if (!images)
        throw BackupError("fetching the image presets failed: " + error);
    records.videos = std::move(*videos);
    records.promptPresets = std::move(*prompts);
    records.imagePresets = std::move(*images);
    return records;
}

void BackupContext::discard(const QString& folder) const {
    const auto discarded = discardPath();
    if (discarded && QDir().rename(folder, *discarded))
        removeInBackground(*discarded);
    else
        QDir(folder).removeRecursively();
    if (QFileInfo::exists(folder))
        throw BackupError("could not remove " + folder);
}

QStringList BackupContext::otherPictureFolders() const {
    QStringList folders;
    if (const auto base = applicationSupportDirectory()) {
        const QDir dir(*base);
        for (const QString& name :
             dir.entryList({kDiscardPrefix + '*', kPreparedPrefix + '*'}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks))
            folders << dir.filePath(name);
    }
    if (const auto backups = backupFolderURL()) {
        const QDir dir(*backups);
        for (const QString& name : dir.entryList({BackupManager::keptBackupPrefix + '*'}, QDir::Dirs))
            folders << dir.filePath(name) + '/' + BackupManager::userImagesFolder;
    }
    return folders;
}

bool BackupContext::mustKeepPreviousBackup() const {
    // A store in memory stands in for one that could not be opened: its backup must not take the place of the
    // last backup of that one either.
    return !previousKept_ && modelContext_ && (modelContext_->setAsideOutstanding() || modelContext_->isInMemory());
}

std::optional<QString> BackupContext::discardPath() const {
    const auto base = applicationSupportDirectory();
    if (!base)
        return std::nullopt;
    return *base + '/' + kDiscardPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

void BackupContext::removeLeftovers() const {
    const auto base = applicationSupportDirectory();
    if (!base)
        return;
    const QDir dir(*base);
    for (const QString& name : dir.entryList({kDiscardPrefix + '*', kPreparedPrefix + '*'}, QDir::Dirs | QDir::Hidden))
        removeInBackground(dir.filePath(name));
}

void BackupContext::removeInBackground(const QString& path) {
    Discards& state = discards();
    {
        std::lock_guard lock(state.mutex);
        ++state.running;
    }
    std::thread([path = QFile::encodeName(path).toStdString(), &state] {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        std::lock_guard lock(state.mutex);
        --state.running;
        state.done.notify_all();
    }).detach();
}

void BackupContext::waitForDiscardedFiles() {
    Discards& state = discards();
    std::unique_lock lock(state.mutex);
    state.done.wait(lock, [&] { return state.running == 0; });
}
