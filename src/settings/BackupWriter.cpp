#include "BackupWriter.h"

#include "BackupManager.h"
#include "Clock.h"
#include "Defaults.h"
#include "ImagePreset.h"
#include "PromptPreset.h"
#include "VideoMetadata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString kStagingFolder = QStringLiteral(".UserImages.staging");
const QStringList kImageFolders = {"VideoMetadata", "PromptPresets", "ImagePresets"};

std::string utf8(const QString& text) {
    return text.toStdString();
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
            throw BackupError(QStringLiteral("%1: %2").arg(path, file_.errorString()));
        if (::fchmod(file_.handle(), S_IRUSR | S_IWUSR) != 0)
            throw BackupError(QStringLiteral("%1: %2").arg(path, systemError()));
        if (file_.write(bytes) != bytes.size())
            throw BackupError(QStringLiteral("%1: %2").arg(path, file_.errorString()));
    }
    ~PreparedFile() {
        if (file_.isOpen())
            file_.cancelWriting();
    }
    void commit() {
        if (!file_.commit())
            throw BackupError(QStringLiteral("%1: %2").arg(file_.fileName(), file_.errorString()));
    }

private:
    QSaveFile file_;
};

QByteArray pretty(const nlohmann::ordered_json& json) {
    const std::string text = json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

// ---- encoding ------------------------------------------------------------------------------------------------

QString BackupWriter::uuidString(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString BackupWriter::iso8601(const QDateTime& date) {
    QDateTime utc = date.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    return utc.toString(Qt::ISODate);
}

BackupWriter::Json BackupWriter::settingsDictionary() {
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
    settings["backupVersion"] = utf8(BackupManager::backupVersion);
    settings["backupDate"] = utf8(iso8601(Clock::current().now()));
    const QString version = QCoreApplication::applicationVersion();
    settings["appVersion"] = version.isEmpty() ? std::string("unknown") : utf8(version);
    return settings;
}

BackupWriter::Json BackupWriter::encodeVideoMetadata(const VideoMetadata& video) {
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

BackupWriter::Json BackupWriter::encodePromptPreset(const PromptPreset& preset) {
    return Json{{"id", utf8(uuidString(preset.id()))},
                {"name", utf8(preset.name())},
                {"prompt", utf8(preset.prompt())},
                {"category", utf8(preset.category())},
                {"createdAt", utf8(iso8601(preset.createdAt()))},
                {"isBuiltIn", preset.isBuiltIn()},
                {"hasUserImage", preset.userImageData().has_value()}};
}

BackupWriter::Json BackupWriter::encodeImagePreset(const ImagePreset& preset) {
    return Json{{"id", utf8(uuidString(preset.id()))},
                {"title", utf8(preset.title())},
                {"prompt", utf8(preset.prompt())},
                {"createdAt", utf8(iso8601(preset.createdAt()))},
                {"hasImage", preset.imageData().has_value()}};
}

QByteArray BackupWriter::recordsDocument(const BackupRecords& records) {
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
    data["backupVersion"] = utf8(BackupManager::backupVersion);
    data["backupDate"] = utf8(iso8601(Clock::current().now()));
    return pretty(data);
}

// ---- files ---------------------------------------------------------------------------------------------------

void BackupWriter::writeImages(const BackupRecords& records, const QString& folder) const {
    for (const QString& name : kImageFolders) {
        if (!QDir().mkdir(folder + '/' + name, BackupContext::ownerOnlyFolder))
            throw BackupError("could not create " + folder + '/' + name);
    }
    const auto write = [this](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        // The staging folder is new and private; a picture is whole once the folder is swapped in.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, BackupContext::ownerOnlyFile))
            throw BackupError(QStringLiteral("%1: %2").arg(path, file.errorString()));
        if (file.write(bytes) != bytes.size())
            throw BackupError(QStringLiteral("%1: %2").arg(path, file.errorString()));
        context_.fail(BackupStep::imageFile);
        if (!file.flush())
            throw BackupError(QStringLiteral("%1: %2").arg(path, file.errorString()));
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

bool BackupWriter::exchangeFolders(const QByteArray& from, const QByteArray& to) const {
    if (context_.injectedFailure(BackupStep::imageExchange)) {
        errno = EINVAL;
        return false;
    }
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0;
}

void BackupWriter::swapInImages(const QString& staging, const QString& target) const {
    context_.fail(BackupStep::imageSwap);
    const QByteArray from = QFile::encodeName(staging);
    const QByteArray to = QFile::encodeName(target);
    if (QFileInfo(target).isDir()) {
        // One atomic exchange: readers see either the old pictures or the new ones.
        if (exchangeFolders(from, to)) {
            // The staging folder now holds the previous pictures; one left behind is cleared by the next backup.
            try {
                context_.discard(staging);
            } catch (const BackupError&) {
            }
            return;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            throw BackupError("replacing " + target + " failed: " + systemError());
        // The file system cannot exchange folders: the previous pictures step aside for the new ones, and come
        // back when the new ones cannot take their place.
        const auto aside = context_.discardPath();
        if (!aside)
            throw BackupError("no backup location");
        if (!QDir().rename(target, *aside))
            throw BackupError("replacing " + target + " failed");
        if (!QDir().rename(staging, target)) {
            QDir().rename(*aside, target);
            throw BackupError("moving the pictures to " + target + " failed");
        }
        BackupContext::removeInBackground(*aside);
        return;
    }
    if (QFileInfo::exists(target) && !QFile::remove(target))
        throw BackupError("replacing " + target + " failed");
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) != 0)
        throw BackupError("moving the pictures to " + target + " failed: " + systemError());
}

void BackupWriter::write(const QString& folder) const {
    const BackupRecords records = context_.fetchRecords();
    const QByteArray settings = pretty(settingsDictionary());
    const QByteArray recordsText = recordsDocument(records);

    // Every file is prepared first (the pictures in a hidden folder); a failure leaves the previous backup.
    const QString staging = folder + '/' + kStagingFolder;
    if (QFileInfo::exists(staging))
        context_.discard(staging);
    if (!QDir().mkdir(staging, BackupContext::ownerOnlyFolder))
        throw BackupError("could not create " + staging);
    try {
        PreparedFile settingsFile(folder + '/' + BackupManager::settingsFileName, settings);
        context_.fail(BackupStep::settingsFile);
        PreparedFile recordsFile(folder + '/' + BackupManager::swiftDataFileName, recordsText);
        context_.fail(BackupStep::recordsFile);
        writeImages(records, staging);
        // Nothing has replaced the previous backup up to here.
        swapInImages(staging, folder + '/' + BackupManager::userImagesFolder);
        recordsFile.commit();
        settingsFile.commit();
    } catch (...) {
        try {
            context_.discard(staging);
        } catch (const BackupError&) {
            // The backup's own failure is the one to report.
        }
        throw;
    }
}
