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
#include <QSet>
#include <QSqlQuery>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

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
                {"hasFirstFrame", video.hasFirstFrameImageData()},
                {"hasLastFrame", video.hasLastFrameImageData()}};
}

BackupWriter::Json BackupWriter::encodePromptPreset(const PromptPreset& preset) {
    return Json{{"id", utf8(uuidString(preset.id()))},
                {"name", utf8(preset.name())},
                {"prompt", utf8(preset.prompt())},
                {"category", utf8(preset.category())},
                {"createdAt", utf8(iso8601(preset.createdAt()))},
                {"isBuiltIn", preset.isBuiltIn()},
                {"hasUserImage", preset.hasUserImageData()}};
}

BackupWriter::Json BackupWriter::encodeImagePreset(const ImagePreset& preset) {
    return Json{{"id", utf8(uuidString(preset.id()))},
                {"title", utf8(preset.title())},
                {"prompt", utf8(preset.prompt())},
                {"createdAt", utf8(iso8601(preset.createdAt()))},
                {"hasImage", preset.hasImageData()}};
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

// ---- pictures -----------------------------------------------------------------------------------------------

namespace {

// Links or copies pictures of the previous backup into the staging folder on threads of their own, while the
// GUI thread reads the records. A carried file is only ever linked or copied, never opened for writing.
class PictureCarrier {
public:
    PictureCarrier(const QString& from, const QString& to, const QStringList& paths, bool links) : links_(links) {
        for (const QString& folder : kImageFolders) {
            fromFolders_.push_back(
                ::open(QFile::encodeName(from + '/' + folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            toFolders_.push_back(
                ::open(QFile::encodeName(to + '/' + folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        }
        items_.reserve(size_t(paths.size()));
        for (const QString& path : paths) {
            const qsizetype slash = path.indexOf('/');
            const int folder = int(kImageFolders.indexOf(path.left(slash)));
            if (folder >= 0)
                items_.push_back({folder, QFile::encodeName(path.mid(slash + 1)).toStdString(), path});
        }
        missing_.assign(items_.size(), 0);
        const int threads = items_.size() < 64 ? 1 : kCarryThreads;
        for (int i = 0; i < threads; ++i)
            threads_.emplace_back([this] { run(); });
    }

    ~PictureCarrier() {
        stop_ = true;
        join();
        for (const int fd : fromFolders_) {
            if (fd >= 0)
                ::close(fd);
        }
        for (const int fd : toFolders_) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    PictureCarrier(const PictureCarrier&) = delete;
    PictureCarrier& operator=(const PictureCarrier&) = delete;

    // Waits until every picture is carried over; returns the ones the previous backup did not hold. Throws
    // BackupError when one could not be carried over.
    QStringList finish() {
        join();
        if (!failure_.isEmpty())
            throw BackupError(failure_);
        QStringList missing;
        for (size_t i = 0; i < items_.size(); ++i) {
            if (missing_[i])
                missing << items_[i].path;
        }
        return missing;
    }

private:
    static constexpr int kCarryThreads = 2;

    struct Item {
        int folder;
        std::string name;
        QString path;
    };

    // Errors of a file system that has no hard links (or not for this file): the picture is copied instead.
    static bool linksUnsupported(int error) {
        return error == EPERM || error == EOPNOTSUPP || error == EXDEV || error == EMLINK || error == ENOSYS;
    }

    // Copies `name` from one folder to the other into a new file: a shared clone of the data where the file
    // system has them (later writes to either never reach the other), else the bytes. Returns 0 or errno.
    static int copy(int from, int to, const char* name) {
        const int in = ::openat(from, name, O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return errno;
        const int out = ::openat(to, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (out < 0) {
            const int error = errno;
            ::close(in);
            return error;
        }
        int error = 0;
        if (::ioctl(out, FICLONE, in) != 0) {
            bool kernelCopies = true;
            std::vector<char> buffer;
            for (;;) {
                ssize_t copied = -1;
                if (kernelCopies) {
                    copied = ::copy_file_range(in, nullptr, out, nullptr, 1 << 20, 0);
                    if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                        kernelCopies = false;
                        continue;
                    }
                } else {
                    buffer.resize(1 << 16);
                    copied = ::read(in, buffer.data(), buffer.size());
                    for (ssize_t written = 0; copied > 0 && written < copied;) {
                        const ssize_t step = ::write(out, buffer.data() + written, size_t(copied - written));
                        if (step < 0 && errno != EINTR) {
                            copied = -1;
                            break;
                        }
                        written += std::max<ssize_t>(step, 0);
                    }
                }
                if (copied == 0)
                    break;
                if (copied < 0 && errno != EINTR) {
                    error = errno;
                    break;
                }
            }
        }
        if (::close(out) != 0 && error == 0)
            error = errno;
        ::close(in);
        if (error != 0)
            ::unlinkat(to, name, 0);
        return error;
    }

    void run() {
        for (size_t i = next_++; i < items_.size() && !stop_; i = next_++) {
            const Item& item = items_[i];
            const int from = fromFolders_[size_t(item.folder)];
            const int to = toFolders_[size_t(item.folder)];
            if (from < 0) {
                missing_[i] = 1;
                continue;
            }
            if (links_) {
                if (::linkat(from, item.name.c_str(), to, item.name.c_str(), 0) == 0)
                    continue;
                const int error = errno;
                if (error == ENOENT) {
                    missing_[i] = 1;
                    continue;
                }
                if (!linksUnsupported(error))
                    return fail(item, error);
                links_ = false;
            }
            const int error = copy(from, to, item.name.c_str());
            if (error == ENOENT)
                missing_[i] = 1;
            else if (error != 0)
                return fail(item, error);
        }
    }

    void fail(const Item& item, int error) {
        stop_ = true;
        std::lock_guard lock(mutex_);
        if (failure_.isEmpty())
            failure_ =
                QStringLiteral("carrying over %1: %2").arg(item.path, QString::fromLocal8Bit(std::strerror(error)));
    }

    void join() {
        for (auto& thread : threads_) {
            if (thread.joinable())
                thread.join();
        }
    }

    std::vector<int> fromFolders_;
    std::vector<int> toFolders_;
    std::vector<Item> items_;
    std::vector<char> missing_; // each written by the one thread that took the item
    std::atomic<size_t> next_{0};
    std::atomic<bool> links_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    QString failure_;
    std::vector<std::thread> threads_;
};

// Whether `images` holds exactly these pictures, by name: nothing missing, nothing else.
template <class Pictures> bool folderHolds(const QString& images, const Pictures& pictures) {
    QList<QSet<QString>> expected(kImageFolders.size());
    for (const auto& picture : pictures) {
        const qsizetype slash = picture.path.indexOf('/');
        const qsizetype folder = kImageFolders.indexOf(picture.path.left(slash));
        if (folder < 0)
            return false;
        expected[folder].insert(picture.path.mid(slash + 1));
    }
    for (qsizetype folder = 0; folder < kImageFolders.size(); ++folder) {
        DIR* dir = ::opendir(QFile::encodeName(images + '/' + kImageFolders[folder]).constData());
        if (!dir)
            return false;
        qsizetype count = 0;
        bool known = true;
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            ++count;
            if (!expected[folder].contains(QFile::decodeName(entry->d_name))) {
                known = false;
                break;
            }
        }
        ::closedir(dir);
        if (!known || count != expected[folder].size())
            return false;
    }
    return true;
}

} // namespace

struct BackupWriter::Picture {
    QString path; // relative to the pictures folder
    std::shared_ptr<PersistentModel> record;
    const BackupPictures::Column* column;
    std::optional<QByteArray> (*inMemory)(const PersistentModel&);
};

struct BackupWriter::Plan {
    QList<Picture> carried; // still as the previous backup holds them
    QList<Picture> fresh;   // new, changed, or not known to be unchanged
};

BackupWriter::Plan BackupWriter::planPictures(const BackupRecords& records, const QHash<QString, qint64>& carried) {
    using Getter = std::optional<QByteArray> (*)(const PersistentModel&);
    const Getter getters[] = {
        [](const PersistentModel& r) { return static_cast<const VideoMetadata&>(r).firstFrameImageData(); },
        [](const PersistentModel& r) { return static_cast<const VideoMetadata&>(r).lastFrameImageData(); },
        [](const PersistentModel& r) { return static_cast<const PromptPreset&>(r).userImageData(); },
        [](const PersistentModel& r) { return static_cast<const ImagePreset&>(r).imageData(); },
    };
    Plan plan;
    const auto add = [&](const std::shared_ptr<PersistentModel>& record, const QUuid& id, size_t column, bool present) {
        if (!present)
            return;
        const auto& where = BackupPictures::columns[column];
        Picture picture{BackupPictures::path(where, id), record, &where, getters[column]};
        // A record with unsaved changes may hold pictures the store does not have yet.
        if (carried.contains(picture.path) && !record->hasChanges())
            plan.carried.append(std::move(picture));
        else
            plan.fresh.append(std::move(picture));
    };
    for (const auto& video : records.videos) {
        add(video, video->id(), 0, video->hasFirstFrameImageData());
        add(video, video->id(), 1, video->hasLastFrameImageData());
    }
    // Built-in presets' pictures are written too, although their entries are left out of the records file.
    for (const auto& preset : records.promptPresets)
        add(preset, preset->id(), 2, preset->hasUserImageData());
    for (const auto& preset : records.imagePresets)
        add(preset, preset->id(), 3, preset->hasImageData());
    return plan;
}

std::optional<qint64> BackupWriter::writePicture(const Picture& picture, const QString& staging) const {
    // Read from the store rather than through the record, which would keep every picture in memory afterwards.
    std::optional<QByteArray> bytes;
    bool fromStore = false;
    if (!picture.record->hasChanges() && context_.modelContext()) {
        QSqlQuery query(context_.modelContext()->database());
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT \"%1\" FROM main.\"%2\" WHERE id = ?")
                          .arg(QLatin1String(picture.column->column), QLatin1String(picture.column->table)));
        query.addBindValue(picture.record->identity());
        if (query.exec() && query.next() && !query.value(0).isNull()) {
            bytes = query.value(0).toByteArray();
            fromStore = true;
        }
    }
    if (!bytes)
        bytes = picture.inMemory(*picture.record);
    if (!bytes)
        return std::nullopt;

    const QString path = staging + '/' + picture.path;
    QFile file(path);
    // The staging folder is new and private; a picture is whole once the folder is swapped in.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, BackupContext::ownerOnlyFile))
        throw BackupError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    if (file.write(*bytes) != bytes->size())
        throw BackupError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    context_.fail(BackupStep::imageFile);
    if (!file.flush())
        throw BackupError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return fromStore ? std::optional<qint64>(bytes->size()) : std::nullopt;
}

// ---- files ---------------------------------------------------------------------------------------------------

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
    const QString images = folder + '/' + BackupManager::userImagesFolder;
    const QString staging = folder + '/' + kStagingFolder;
    const auto notePath = context_.ledgerNotePath();
    BackupLedger& ledger = context_.ledger();
    const BackupLedger::Entries vouched = ledger.carryOver(images, notePath);
    const bool maybeUnchanged = ledger.unchangedSinceLastBackup() && !vouched.isEmpty();
    const bool links = !context_.injectedFailure(BackupStep::pictureLink);

    if (QFileInfo::exists(staging))
        context_.discard(staging);
    bool staged = false;
    std::unique_ptr<PictureCarrier> carrier;
    const auto stage = [&](const QStringList& carry) {
        if (!QDir().mkdir(staging, BackupContext::ownerOnlyFolder))
            throw BackupError("could not create " + staging);
        staged = true;
        for (const QString& name : kImageFolders) {
            if (!QDir().mkdir(staging + '/' + name, BackupContext::ownerOnlyFolder))
                throw BackupError("could not create " + staging + '/' + name);
        }
        carrier = std::make_unique<PictureCarrier>(images, staging, carry, links);
    };

    // Every file is prepared first (the pictures in a hidden folder); a failure leaves the previous backup.
    try {
        // When pictures changed, carrying the others over takes most of the backup: it runs while the records are
        // read and encoded.
        if (!maybeUnchanged && !vouched.isEmpty())
            stage(vouched.keys());
        const BackupRecords records = context_.fetchRecords();
        const QByteArray settings = pretty(settingsDictionary());
        const QByteArray recordsText = recordsDocument(records);
        const Plan plan = planPictures(records, vouched);

        PreparedFile settingsFile(folder + '/' + BackupManager::settingsFileName, settings);
        context_.fail(BackupStep::settingsFile);
        PreparedFile recordsFile(folder + '/' + BackupManager::swiftDataFileName, recordsText);
        context_.fail(BackupStep::recordsFile);

        if (!staged && maybeUnchanged && plan.fresh.isEmpty() && plan.carried.size() == vouched.size() &&
            folderHolds(images, plan.carried)) {
            // No picture changed since the last backup: its pictures folder is this one's as it stands.
            recordsFile.commit();
            settingsFile.commit();
            ledger.record(images, vouched, notePath);
            return;
        }
        if (!staged) {
            QStringList carry;
            for (const Picture& picture : plan.carried)
                carry << picture.path;
            stage(carry);
        }

        BackupLedger::Entries entries;
        const auto write = [&](const Picture& picture) {
            if (const auto size = writePicture(picture, staging))
                entries.insert(picture.path, *size);
        };
        // What the carrier may be linking under the same name waits until it is done.
        QList<const Picture*> afterCarrying;
        for (const Picture& picture : plan.fresh) {
            if (vouched.contains(picture.path))
                afterCarrying << &picture;
            else
                write(picture);
        }
        QSet<QString> missing;
        for (const QString& path : carrier->finish())
            missing.insert(path);
        QSet<QString> kept;
        for (const Picture& picture : plan.carried) {
            kept.insert(picture.path);
            if (missing.contains(picture.path))
                afterCarrying << &picture;
            else
                entries.insert(picture.path, vouched.value(picture.path));
        }
        // Carried over before the records were read, but changed since or gone with their record.
        for (auto it = vouched.cbegin(); it != vouched.cend(); ++it) {
            if (!kept.contains(it.key()) && !missing.contains(it.key()))
                QFile::remove(staging + '/' + it.key());
        }
        for (const Picture* picture : std::as_const(afterCarrying))
            write(*picture);
        carrier.reset();

        // Nothing has replaced the previous backup up to here.
        swapInImages(staging, images);
        recordsFile.commit();
        settingsFile.commit();
        ledger.record(images, std::move(entries), notePath);
    } catch (...) {
        carrier.reset();
        if (staged) {
            try {
                context_.discard(staging);
            } catch (const BackupError&) {
                // The backup's own failure is the one to report.
            }
        }
        throw;
    }
}
