#include "BackupManager.h"

#include "AppPaths.h"
#include "Clock.h"
#include "Defaults.h"
#include "ImagePreset.h"
#include "Log.h"
#include "PromptPreset.h"
#include "VideoMetadata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace {

constexpr QFileDevice::Permissions kOwnerOnlyFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
// A settings file is a few hundred bytes; anything far bigger is not ours.
constexpr qint64 kMaxSettingsFileSize = 1 << 20;

const QString kStagingFolder = QStringLiteral(".UserImages.staging");
const QStringList kImageFolders = {"VideoMetadata", "PromptPresets", "ImagePresets"};

std::string utf8(const QString& text) {
    return text.toStdString();
}

// A folder that only the user can enter; an existing one is tightened.
bool makeOwnerOnlyFolder(const QString& path) {
    QDir dir;
    if (!QFileInfo(path).isDir() && !dir.mkpath(path))
        return false;
    return QFile::setPermissions(path, kOwnerOnlyFolder) && QFileInfo(path).isDir();
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A file written whole through a temporary file, readable by the user only; it replaces the real name
// only on commit(), so a backup can prepare every file before it replaces any.
class PreparedFile {
public:
    PreparedFile(const QString& path, const QByteArray& bytes) : file_(path) {
        if (!file_.open(QIODevice::WriteOnly))
            throw BackupError(utf8(QStringLiteral("%1: %2").arg(path, file_.errorString())));
        if (::fchmod(file_.handle(), S_IRUSR | S_IWUSR) != 0)
            throw BackupError(utf8(QStringLiteral("%1: %2").arg(path, systemError())));
        if (file_.write(bytes) != bytes.size())
            throw BackupError(utf8(QStringLiteral("%1: %2").arg(path, file_.errorString())));
    }
    ~PreparedFile() {
        if (file_.isOpen())
            file_.cancelWriting();
    }
    void commit() {
        if (!file_.commit())
            throw BackupError(utf8(QStringLiteral("%1: %2").arg(file_.fileName(), file_.errorString())));
    }

private:
    QSaveFile file_;
};

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

void removeInBackground(const QString& path) {
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

QString discardName(const QString& dataFolder) {
    return dataFolder + "/.backup-discarded-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray pretty(const nlohmann::ordered_json& json) {
    const std::string text = json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

const QStringList BackupManager::resetKeys = {
    "videoQuality",      "videoDuration",          "defaultPromptOptimization", "soundNotificationEnabled",
    "selectedSoundName", "videoDirectoryBookmark", "downloadFolderBookmark",    "outputPreset",
    "lastBackupDate",    "lastRestoreDate",
};

struct BackupManager::Records {
    QList<std::shared_ptr<VideoMetadata>> videos;
    QList<std::shared_ptr<PromptPreset>> promptPresets;
    QList<std::shared_ptr<ImagePreset>> imagePresets;
};

BackupManager& BackupManager::shared() {
    static BackupManager* instance = new BackupManager;
    return *instance;
}

BackupManager::BackupManager(ModelContext* context, QObject* parent) : QObject(parent), modelContext_(context) {
    createBackupFolderIfNeeded();
    // What an earlier process had no time to remove.
    if (const auto base = applicationSupportDirectory()) {
        const QDir dir(*base);
        for (const QString& name : dir.entryList({".backup-discarded-*"}, QDir::Dirs | QDir::Hidden))
            removeInBackground(dir.filePath(name));
    }
    lastBackupDate_ = Defaults::standard().date("lastBackupDate");
    lastRestoreDate_ = Defaults::standard().date("lastRestoreDate");
}

std::optional<QString> BackupManager::applicationSupportDirectory() const {
    if (noLocationForTesting_)
        return std::nullopt;
    const QString folder = AppPaths::dataFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return std::nullopt;
    return folder;
}

std::optional<QString> BackupManager::backupFolderURL() const {
    const auto base = applicationSupportDirectory();
    if (!base)
        return std::nullopt;
    return *base + '/' + backupFolderName;
}

std::optional<QString> BackupManager::userImagesFolderURL() const {
    const auto folder = backupFolderURL();
    if (!folder)
        return std::nullopt;
    return *folder + '/' + userImagesFolder;
}

std::optional<QString> BackupManager::settingsBackupFile() const {
    const auto folder = backupFolderURL();
    if (!folder)
        return std::nullopt;
    return *folder + '/' + settingsFileName;
}

bool BackupManager::createBackupFolderIfNeeded() {
    const auto folder = backupFolderURL();
    if (!folder || !makeOwnerOnlyFolder(*folder))
        return false;
    const QString images = *folder + '/' + userImagesFolder;
    if (!QFileInfo(images).isDir()) {
        for (const QString& path : {images, images + "/VideoMetadata", images + "/ImagePresets"}) {
            if (!makeOwnerOnlyFolder(path))
                break;
        }
    }
    return true;
}

// ---- encoding ------------------------------------------------------------------------------------------------

QString BackupManager::uuidString(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString BackupManager::iso8601(const QDateTime& date) {
    QDateTime utc = date.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    return utc.toString(Qt::ISODate);
}

BackupManager::Json BackupManager::settingsDictionary() const {
    const Defaults& defaults = Defaults::standard();
    const auto text = [&](const char* key, const char* fallback) {
        return utf8(defaults.string(key).value_or(QString::fromUtf8(fallback)));
    };
    Json settings = Json::object();
    for (const char* key : {"googleAPIKey", "miniMaxAPIKey", "miniMaxAPIKey2", "miniMaxAPIKey3", "miniMaxAPIKey4"})
        settings[key] = text(key, "");
    settings["videoQuality"] = text("videoQuality", "1080p");
    settings["videoDuration"] = text("videoDuration", "6s");
    settings["defaultPromptOptimization"] = defaults.boolValue("defaultPromptOptimization");
    settings["soundNotificationEnabled"] = defaults.boolValue("soundNotificationEnabled");
    settings["selectedSoundName"] = text("selectedSoundName", "Glass");
    settings["outputPreset"] = text("outputPreset", "hd1080");
    settings["backupVersion"] = utf8(backupVersion);
    settings["backupDate"] = utf8(iso8601(Clock::current().now()));
    const QString version = QCoreApplication::applicationVersion();
    settings["appVersion"] = version.isEmpty() ? std::string("unknown") : utf8(version);
    return settings;
}

BackupManager::Json BackupManager::encodeVideoMetadata(const VideoMetadata& video) {
    return Json{{"id", utf8(uuidString(video.id()))},
                {"fileName", utf8(video.fileName())},
                {"prompt", utf8(video.prompt())},
                {"quality", utf8(video.quality())},
                {"duration", video.duration()},
                {"videoMode", utf8(video.videoMode())},
                {"promptOptimization", video.promptOptimization()},
                {"createdAt", utf8(iso8601(video.createdAt()))},
                {"hasFirstFrame", video.firstFrameImageData().has_value()},
                {"hasLastFrame", video.lastFrameImageData().has_value()}};
}

BackupManager::Json BackupManager::encodePromptPreset(const PromptPreset& preset) {
    return Json{{"id", utf8(uuidString(preset.id()))},
                {"name", utf8(preset.name())},
                {"prompt", utf8(preset.prompt())},
                {"category", utf8(preset.category())},
                {"createdAt", utf8(iso8601(preset.createdAt()))},
                {"isBuiltIn", preset.isBuiltIn()},
                {"hasUserImage", preset.userImageData().has_value()}};
}

BackupManager::Json BackupManager::encodeImagePreset(const ImagePreset& preset) {
    return Json{{"id", utf8(uuidString(preset.id()))},
                {"title", utf8(preset.title())},
                {"prompt", utf8(preset.prompt())},
                {"createdAt", utf8(iso8601(preset.createdAt()))},
                {"hasImage", preset.imageData().has_value()}};
}

// ---- backup --------------------------------------------------------------------------------------------------

void BackupManager::fail(Step step) const {
    if (!faultInjector_)
        return;
    if (const auto text = faultInjector_(step))
        throw BackupError(utf8(*text));
}

BackupManager::Records BackupManager::fetchRecords() const {
    if (!modelContext_)
        throw BackupError("no records store");
    fail(Step::recordsFetch);
    Records records;
    QString error;
    auto videos = modelContext_->fetch<VideoMetadata>({}, &error);
    if (!videos)
        throw BackupError(utf8("fetching the clip records failed: " + error));
    auto prompts = modelContext_->fetch<PromptPreset>({}, &error);
    if (!prompts)
        throw BackupError(utf8("fetching the prompt presets failed: " + error));
    auto images = modelContext_->fetch<ImagePreset>({}, &error);
    if (!images)
        throw BackupError(utf8("fetching the image presets failed: " + error));
    records.videos = std::move(*videos);
    records.promptPresets = std::move(*prompts);
    records.imagePresets = std::move(*images);
    return records;
}

void BackupManager::writeImages(const Records& records, const QString& folder) const {
    for (const QString& name : kImageFolders) {
        if (!QDir().mkdir(folder + '/' + name, kOwnerOnlyFolder))
            throw BackupError(utf8("could not create " + folder + '/' + name));
    }
    const auto write = [this](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        // The staging folder is new and private; a picture is whole once the folder is swapped in.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnlyFile))
            throw BackupError(utf8(QStringLiteral("%1: %2").arg(path, file.errorString())));
        if (file.write(bytes) != bytes.size())
            throw BackupError(utf8(QStringLiteral("%1: %2").arg(path, file.errorString())));
        fail(Step::imageFile);
        if (!file.flush())
            throw BackupError(utf8(QStringLiteral("%1: %2").arg(path, file.errorString())));
    };
    for (const auto& video : records.videos) {
        const QString stem = folder + "/VideoMetadata/" + uuidString(video->id());
        if (const auto data = video->firstFrameImageData())
            write(stem + "_first_frame.jpg", *data);
        if (const auto data = video->lastFrameImageData())
            write(stem + "_last_frame.jpg", *data);
    }
    // Built-in presets' pictures are written too, although their entries are left out of the records file.
    for (const auto& preset : records.promptPresets) {
        if (const auto data = preset->userImageData())
            write(folder + "/PromptPresets/" + uuidString(preset->id()) + "_user_image.jpg", *data);
    }
    for (const auto& preset : records.imagePresets) {
        if (const auto data = preset->imageData())
            write(folder + "/ImagePresets/" + uuidString(preset->id()) + "_image.jpg", *data);
    }
}

bool BackupManager::exchangeFolders(const QByteArray& from, const QByteArray& to) const {
    if (faultInjector_ && faultInjector_(Step::imageExchange)) {
        errno = EINVAL;
        return false;
    }
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0;
}

void BackupManager::swapInImages(const QString& staging, const QString& target) const {
    fail(Step::imageSwap);
    const QByteArray from = QFile::encodeName(staging);
    const QByteArray to = QFile::encodeName(target);
    if (QFileInfo(target).isDir()) {
        // One atomic exchange: readers see either the old pictures or the new ones.
        if (exchangeFolders(from, to)) {
            // The staging folder now holds the previous pictures; one left behind is cleared by the next backup.
            try {
                discard(staging);
            } catch (const BackupError&) {
            }
            return;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            throw BackupError(utf8("replacing " + target + " failed: " + systemError()));
        // The file system cannot exchange folders: the previous pictures step aside for the new ones, and come
        // back when the new ones cannot take their place.
        const auto base = applicationSupportDirectory();
        if (!base)
            throw BackupError("no backup location");
        const QString aside = discardName(*base);
        if (!QDir().rename(target, aside))
            throw BackupError(utf8("replacing " + target + " failed"));
        if (!QDir().rename(staging, target)) {
            QDir().rename(aside, target);
            throw BackupError(utf8("moving the pictures to " + target + " failed"));
        }
        removeInBackground(aside);
        return;
    }
    if (QFileInfo::exists(target) && !QFile::remove(target))
        throw BackupError(utf8("replacing " + target + " failed"));
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) != 0)
        throw BackupError(utf8("moving the pictures to " + target + " failed: " + systemError()));
}

void BackupManager::createBackupNow() {
    // Re-created when something outside removed it.
    if (!createBackupFolderIfNeeded())
        throw BackupError("no backup location");
    const QString folder = *backupFolderURL();
    const Records records = fetchRecords();

    const QByteArray settings = pretty(settingsDictionary());

    Json videos = Json::array();
    for (const auto& video : records.videos)
        videos.push_back(encodeVideoMetadata(*video));
    Json prompts = Json::array();
    for (const auto& preset : records.promptPresets) {
        if (!preset->isBuiltIn())
            prompts.push_back(encodePromptPreset(*preset));
    }
    Json images = Json::array();
    for (const auto& preset : records.imagePresets)
        images.push_back(encodeImagePreset(*preset));
    Json data = Json::object();
    data["videoMetadata"] = std::move(videos);
    data["promptPresets"] = std::move(prompts);
    data["imagePresets"] = std::move(images);
    data["backupVersion"] = utf8(backupVersion);
    data["backupDate"] = utf8(iso8601(Clock::current().now()));
    const QByteArray recordsText = pretty(data);

    // Every file is prepared first (the pictures in a hidden folder); a failure leaves the previous backup.
    const QString staging = folder + '/' + kStagingFolder;
    if (QFileInfo::exists(staging))
        discard(staging);
    if (!QDir().mkdir(staging, kOwnerOnlyFolder))
        throw BackupError(utf8("could not create " + staging));
    try {
        PreparedFile settingsFile(folder + '/' + settingsFileName, settings);
        fail(Step::settingsFile);
        PreparedFile recordsFile(folder + '/' + swiftDataFileName, recordsText);
        fail(Step::recordsFile);
        writeImages(records, staging);
        // Nothing has replaced the previous backup up to here.
        swapInImages(staging, folder + '/' + userImagesFolder);
        recordsFile.commit();
        settingsFile.commit();
    } catch (...) {
        try {
            discard(staging);
        } catch (const BackupError&) {
            // The backup's own failure is the one to report.
        }
        throw;
    }

    const QDateTime now = Clock::current().now();
    setLastBackupDate(now);
    Defaults::standard().set("lastBackupDate", now);
}

QCoro::Task<> BackupManager::createBackup() {
    createBackupNow();
    co_return;
}

// ---- restore -------------------------------------------------------------------------------------------------

bool BackupManager::settingsBackupExists() const {
    const auto file = settingsBackupFile();
    return file && QFileInfo(*file).isFile();
}

bool BackupManager::needsSettingsRestore() {
    const Defaults& defaults = Defaults::standard();
    const bool noImageKey = defaults.string("googleAPIKey").value_or(QString()).isEmpty();
    const bool noVideoKey = defaults.string("miniMaxAPIKey").value_or(QString()).isEmpty();
    return noImageKey && noVideoKey && !defaults.contains("videoQuality");
}

bool BackupManager::restoreSettingsAtLaunch() {
    launchRestoreDecided_ = true;
    return autoRestoreIfNeeded();
}

QCoro::Task<> BackupManager::restoreSettingsIfNeeded() {
    // The decision was made when the process started, before the settings objects stored their defaults.
    if (!launchRestoreDecided_) {
        launchRestoreDecided_ = true;
        autoRestoreIfNeeded();
    }
    co_return;
}

bool BackupManager::autoRestoreIfNeeded() {
    if (!settingsBackupExists() || !needsSettingsRestore())
        return false;
    restoreSettings();
    const QDateTime now = Clock::current().now();
    setLastRestoreDate(now);
    Defaults::standard().set("lastRestoreDate", now);
    emit storedSettingsChanged();
    return true;
}

void BackupManager::restoreSettings() {
    const auto path = settingsBackupFile();
    if (!path)
        return;
    QFile file(*path);
    if (file.size() > kMaxSettingsFileSize || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.read(kMaxSettingsFileSize + 1);
    if (bytes.size() > kMaxSettingsFileSize)
        return;
    const auto parsed = nlohmann::json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return;
    applySettings(parsed);
}

void BackupManager::applySettings(const nlohmann::json& object) {
    if (!object.is_object())
        return;
    Defaults& defaults = Defaults::standard();
    const auto stringMember = [&](const char* key) -> std::optional<QString> {
        const auto it = object.find(key);
        if (it == object.end() || !it->is_string())
            return std::nullopt;
        return QString::fromStdString(it->get<std::string>());
    };
    for (const char* key : {"googleAPIKey", "miniMaxAPIKey", "miniMaxAPIKey2", "miniMaxAPIKey3", "miniMaxAPIKey4"}) {
        if (const auto value = stringMember(key); value && !value->isEmpty())
            defaults.set(key, *value);
    }
    for (const char* key : {"videoQuality", "videoDuration"}) {
        if (const auto value = stringMember(key))
            defaults.set(key, *value);
    }
    for (const char* key : {"defaultPromptOptimization", "soundNotificationEnabled"}) {
        const auto it = object.find(key);
        if (it != object.end() && it->is_boolean())
            defaults.set(key, it->get<bool>());
    }
    for (const char* key : {"selectedSoundName", "outputPreset"}) {
        if (const auto value = stringMember(key))
            defaults.set(key, *value);
    }
}

// ---- reset ---------------------------------------------------------------------------------------------------

void BackupManager::deleteAllSwiftData() {
    if (!modelContext_)
        return;
    ModelContext& context = *modelContext_;
    QString error;
    // Earlier changes are saved on their own, so the deletion's transaction holds nothing else.
    if (context.hasChanges() && !context.save(&error))
        throw BackupError(utf8("saving earlier changes failed: " + error));
    const Records records = fetchRecords();
    for (const auto& video : records.videos)
        context.remove(video);
    for (const auto& preset : records.promptPresets) {
        if (!preset->isBuiltIn())
            context.remove(preset);
    }
    for (const auto& preset : records.imagePresets)
        context.remove(preset);

    std::optional<QString> injected;
    if (faultInjector_)
        injected = faultInjector_(Step::recordsSave);
    if (injected || !context.save(&error)) {
        context.discardRemovals();
        throw BackupError(utf8("deleting the records failed: " + injected.value_or(error)));
    }
    emit recordsDeleted();
}

void BackupManager::resetSettings() {
    Defaults& defaults = Defaults::standard();
    for (const QString& key : resetKeys)
        defaults.remove(key);
}

void BackupManager::deleteBackup() {
    const auto folder = backupFolderURL();
    if (!folder)
        return;
    if (QFileInfo::exists(*folder)) {
        fail(Step::backupRemoval);
        discard(*folder);
    }
    createBackupFolderIfNeeded();
}

bool BackupManager::resetEverything() {
    try {
        deleteAllSwiftData();
        resetSettings();
        emit storedSettingsChanged();
        deleteBackup();
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("❌ Reset failed: %1").arg(QString::fromUtf8(error.what())));
        return false;
    }
    setLastBackupDate(std::nullopt);
    setLastRestoreDate(std::nullopt);
    return true;
}

void BackupManager::discard(const QString& folder) const {
    const auto base = applicationSupportDirectory();
    const QString discarded = base ? discardName(*base) : QString();
    if (base && QDir().rename(folder, discarded))
        removeInBackground(discarded);
    else
        QDir(folder).removeRecursively();
    if (QFileInfo::exists(folder))
        throw BackupError(utf8("could not remove " + folder));
}

void BackupManager::waitForDiscardedFiles() {
    Discards& state = discards();
    std::unique_lock lock(state.mutex);
    state.done.wait(lock, [&] { return state.running == 0; });
}

void BackupManager::setLastBackupDate(const std::optional<QDateTime>& date) {
    if (date == lastBackupDate_)
        return;
    lastBackupDate_ = date;
    emit lastBackupDateChanged();
}

void BackupManager::setLastRestoreDate(const std::optional<QDateTime>& date) {
    if (date == lastRestoreDate_)
        return;
    lastRestoreDate_ = date;
    emit lastRestoreDateChanged();
}
