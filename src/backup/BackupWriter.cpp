#include "BackupWriter.h"
#include "SystemError.h"

#include "BackupCarrier.h"
#include "BackupManager.h"
#include "BackupRecordsText.h"
#include "CheckedWrite.h"
#include "Clock.h"
#include "Defaults.h"
#include "ImagePreset.h"
#include "PromptPreset.h"
#include "VideoMetadata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace {

const QString kStagingFolder = QStringLiteral(".UserImages.staging");

QString systemError() {
    return systemReason(errno);
}

// A file written whole and checked on disk under a hidden name beside its own; it takes its real name only on
// commit(), so a backup can prepare every file before it replaces any. A failure leaves the real name alone.
class PreparedFile {
public:
    PreparedFile(const QString& path, const QByteArray& bytes)
        : path_(path), prepared_(QFileInfo(path).absolutePath() + "/." + QFileInfo(path).fileName() + ".new") {
        QString error;
        if (!CheckedWrite::writeFile(prepared_, bytes, &error, BackupContext::ownerOnlyFile))
            throw BackupError(QStringLiteral("%1: %2").arg(path_, error));
        pending_ = true;
    }
    ~PreparedFile() {
        if (pending_)
            QFile::remove(prepared_);
    }
    PreparedFile(const PreparedFile&) = delete;
    PreparedFile& operator=(const PreparedFile&) = delete;

    // Replaces the real name in one step; the caller syncs the folder.
    void commit() {
        if (std::rename(QFile::encodeName(prepared_).constData(), QFile::encodeName(path_).constData()) != 0)
            throw BackupError(QStringLiteral("%1: %2").arg(path_, systemError()));
        pending_ = false;
    }

private:
    QString path_;
    QString prepared_;
    bool pending_ = false;
};

void syncFolder(const QString& folder) {
    QString error;
    if (!CheckedWrite::syncPath(folder, &error))
        throw BackupError(QStringLiteral("%1: %2").arg(folder, error));
}

QByteArray pretty(const nlohmann::ordered_json& json) {
    const std::string text = json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size()));
}

// Whether `images` holds exactly these pictures, each still as the backup wrote it: nothing missing, changed or
// else.
bool folderHolds(const QString& images, const BackupLedger::Entries& pictures, const QStringList& others) {
    const BackupPictures::IntactCheck intact(images, others);
    qsizetype found = 0;
    for (const char* folder : BackupPictures::folders) {
        DIR* dir = ::opendir(QFile::encodeName(images + '/' + folder).constData());
        if (!dir)
            return false;
        bool known = true;
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            const auto key = BackupPictures::keyOf(folder, entry->d_name);
            const auto written = key ? pictures.constFind(*key) : pictures.cend();
            if (written == pictures.cend() || !intact(*key, written.value())) {
                known = false;
                break;
            }
            ++found;
        }
        ::closedir(dir);
        if (!known)
            return false;
    }
    return found == pictures.size();
}

using Getter = std::optional<QByteArray> (*)(const PersistentModel&);
// Each picture column's getter, by its index in BackupPictures::columns.
const Getter kGetters[] = {
    [](const PersistentModel& r) { return static_cast<const VideoMetadata&>(r).firstFrameImageData(); },
    [](const PersistentModel& r) { return static_cast<const VideoMetadata&>(r).lastFrameImageData(); },
    [](const PersistentModel& r) { return static_cast<const PromptPreset&>(r).userImageData(); },
    [](const PersistentModel& r) { return static_cast<const ImagePreset&>(r).imageData(); },
};

} // namespace

// ---- encoding ------------------------------------------------------------------------------------------------

QString BackupWriter::uuidString(const QUuid& id) {
    return BackupPictures::idText(id);
}

QString BackupWriter::iso8601(const QDateTime& date) {
    // Whole seconds in UTC: computed from the instant for the years every record has, by the calendar otherwise.
    constexpr qint64 kYear10000 = 253402300800000;
    const qint64 msecs = date.isValid() ? date.toMSecsSinceEpoch() : -1;
    if (msecs >= 0 && msecs < kYear10000) {
        const qint64 seconds = msecs / 1000;
        // Days since 1970-01-01 to a civil date (proleptic Gregorian), by eras of 400 years.
        const qint64 days = seconds / 86400 + 719468;
        const qint64 era = days / 146097;
        const qint64 dayOfEra = days - era * 146097;
        const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153;
        const int day = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
        const int month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
        const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
        const int time = int(seconds % 86400);
        char text[64];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, time / 3600,
                      time / 60 % 60, time % 60);
        return QString::fromLatin1(text);
    }
    QDateTime utc = date.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    return utc.toString(Qt::ISODate);
}

BackupWriter::Json BackupWriter::settingsDictionary() {
    const Defaults& defaults = Defaults::standard();
    const auto text = [&](const char* key, const char* fallback) {
        return defaults.string(key).value_or(QString::fromUtf8(fallback)).toStdString();
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
    settings["backupVersion"] = BackupManager::backupVersion.toStdString();
    settings["backupDate"] = iso8601(Clock::current().now()).toStdString();
    const QString version = QCoreApplication::applicationVersion();
    settings["appVersion"] = version.isEmpty() ? std::string("unknown") : version.toStdString();
    return settings;
}

// ---- pictures -----------------------------------------------------------------------------------------------

struct BackupWriter::Picture {
    BackupPictures::Key key;
    QString identity;                        // the record's id as the store holds it
    std::shared_ptr<PersistentModel> record; // none when the records were not read
};

struct BackupWriter::Plan {
    QList<Picture> carried; // still as the previous backup holds them
    QList<Picture> fresh;   // new, changed, or not known to be unchanged
};

BackupWriter::Plan BackupWriter::planPictures(const BackupRecords* records, const BackupRecordsText& text,
                                              const BackupLedger::Entries& carried) {
    Plan plan;
    plan.carried.reserve(carried.size());
    const auto add = [&](Picture picture) {
        // A record with unsaved changes may hold pictures the store does not have yet.
        if (carried.contains(picture.key) && !(picture.record && picture.record->hasChanges()))
            plan.carried.append(std::move(picture));
        else
            plan.fresh.append(std::move(picture));
    };
    if (records) {
        for (const auto& video : records->videos) {
            if (video->hasFirstFrameImageData())
                add({{video->id(), 0}, video->identity(), video});
            if (video->hasLastFrameImageData())
                add({{video->id(), 1}, video->identity(), video});
        }
        // Built-in presets' pictures are written too, although their entries are left out of the records file.
        for (const auto& preset : records->promptPresets) {
            if (preset->hasUserImageData())
                add({{preset->id(), 2}, preset->identity(), preset});
        }
        for (const auto& preset : records->imagePresets) {
            if (preset->hasImageData())
                add({{preset->id(), 3}, preset->identity(), preset});
        }
        return plan;
    }
    for (const auto& table : text.entries()) {
        for (const BackupRecordsText::Entry& entry : table) {
            for (int column = 0; column < int(BackupPictures::columns.size()); ++column) {
                if (entry.pictures & (1 << column))
                    add({{QUuid::fromString(entry.identity), column}, entry.identity, nullptr});
            }
        }
    }
    return plan;
}

BackupPictures::Written BackupWriter::writePicture(const Picture& picture, const QByteArray& bytes,
                                                   const QString& staging) const {
    const QString path = staging + '/' + BackupPictures::path(picture.key);
    // A new file takes the name: one already there may be shared with the previous backup. The staging folder is
    // synced as a whole before it is swapped in.
    context_.fail(BackupStep::imageFile);
    QString error;
    if (!CheckedWrite::writeNewFile(path, bytes, &error, BackupContext::ownerOnlyFile))
        throw BackupError(QStringLiteral("%1: %2").arg(path, error));
    const auto written = BackupPictures::writtenOf(path);
    if (!written)
        throw BackupError(QStringLiteral("%1: %2").arg(path, systemError()));
    return *written;
}

void BackupWriter::writePictures(const QList<const Picture*>& pictures, const QString& staging,
                                 BackupLedger::Entries& fromStore) const {
    // Pictures of records without unsaved changes are read from the store itself: read through their records
    // they would stay in memory afterwards. Many of one table are read in one pass over it, a few one by one.
    constexpr qsizetype kOnePassFrom = 64;
    ModelContext* store = context_.modelContext();
    QList<const Picture*> fromRecords;
    QHash<QString, QHash<BackupPictures::Key, const Picture*>> byTable;
    for (const Picture* picture : pictures) {
        if (store && !(picture->record && picture->record->hasChanges())) {
            const QString table = QLatin1String(BackupPictures::columns[size_t(picture->key.column)].table);
            byTable[table].insert(picture->key, picture);
        } else {
            fromRecords << picture;
        }
    }
    const auto stored = [&](const Picture& picture, const QVariant& value) {
        if (value.isNull()) {
            fromRecords << &picture; // gone from the store meanwhile: the record says what it holds
            return;
        }
        fromStore.insert(picture.key, writePicture(picture, value.toByteArray(), staging));
    };
    for (auto table = byTable.begin(); table != byTable.end(); ++table) {
        auto& wanted = table.value();
        QSqlQuery query(store->database());
        query.setForwardOnly(true);
        if (wanted.size() >= kOnePassFrom) {
            QStringList names;
            QList<int> columns;
            for (size_t i = 0; i < BackupPictures::columns.size(); ++i) {
                if (table.key() == QLatin1String(BackupPictures::columns[i].table)) {
                    names << QStringLiteral("\"%1\"").arg(QLatin1String(BackupPictures::columns[i].column));
                    columns << int(i);
                }
            }
            if (query.exec("SELECT id, " + names.join(", ") + " FROM main.\"" + table.key() + '"')) {
                while (query.next() && !wanted.isEmpty()) {
                    const QUuid id = QUuid::fromString(query.value(0).toString());
                    for (qsizetype c = 0; c < columns.size(); ++c) {
                        if (const Picture* picture = wanted.take({id, columns[c]}))
                            stored(*picture, query.value(int(c) + 1));
                    }
                }
            }
        } else {
            for (const Picture* picture : std::as_const(wanted)) {
                query.prepare(
                    QStringLiteral("SELECT \"%1\" FROM main.\"%2\" WHERE id = ?")
                        .arg(QLatin1String(BackupPictures::columns[size_t(picture->key.column)].column), table.key()));
                query.addBindValue(picture->identity);
                if (query.exec() && query.next())
                    stored(*picture, query.value(0));
                else
                    fromRecords << picture;
                query.finish();
            }
            wanted.clear();
        }
        for (const Picture* picture : std::as_const(wanted))
            fromRecords << picture;
    }
    for (const Picture* picture : std::as_const(fromRecords)) {
        // The records file lists the picture: a backup without it would be called whole and is not.
        const auto bytes = picture->record ? kGetters[picture->key.column](*picture->record) : std::nullopt;
        if (!bytes)
            throw BackupError("the picture " + BackupPictures::path(picture->key) +
                              " could not be read from the data store, which may be damaged");
        writePicture(*picture, *bytes, staging);
    }
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
    const QString recordsPath = folder + '/' + BackupManager::swiftDataFileName;
    BackupLedger& ledger = context_.ledger();
    const BackupLedger::Knowledge known = ledger.knowledge(images);
    const BackupLedger::Entries& vouched = known.pictures;
    const bool links = !context_.injectedFailure(BackupStep::pictureLink);

    if (QFileInfo::exists(staging))
        context_.discard(staging);
    bool staged = false;
    std::unique_ptr<BackupCarrier> carrier;
    QList<BackupPictures::Key> linked; // put into the staging folder before the records were read
    QSet<BackupPictures::Key> missing; // of those, the ones the previous backup did not hold
    // The staging folder: prepared in the background since the last backup when it could be, else made now.
    const auto stage = [&](const QList<BackupPictures::Key>& carry) {
        if (auto prepared = context_.takePreparedStaging(images)) {
            if (QDir().rename(prepared->folder, staging)) {
                staged = true;
                linked = std::move(prepared->pictures);
                missing = std::move(prepared->missing);
                return;
            }
            BackupContext::removeInBackground(prepared->folder);
        }
        if (!QDir().mkdir(staging, BackupContext::ownerOnlyFolder))
            throw BackupError("could not create " + staging);
        staged = true;
        for (const char* name : BackupPictures::folders) {
            if (!QDir().mkdir(staging + '/' + name, BackupContext::ownerOnlyFolder))
                throw BackupError("could not create " + staging + '/' + name);
        }
        linked = carry;
        carrier = std::make_unique<BackupCarrier>(images, staging, carry, links);
    };

    // Every file is prepared first (the pictures in a hidden folder); a failure leaves the previous backup.
    try {
        // When pictures changed, carrying the others over takes most of the backup: it runs while the records are
        // read.
        if (!known.picturesUnchanged && !vouched.isEmpty())
            stage(vouched.keys());

        // The records: from the rows that changed since the last backup when the store holds nothing unsaved,
        // else every record as the store gives them.
        ModelContext* store = context_.modelContext();
        const QString date = iso8601(Clock::current().now());
        std::optional<BackupRecords> records;
        std::optional<BackupRecordsText> text;
        if (known.records && store && !store->hasChanges()) {
            context_.fail(BackupStep::recordsFetch);
            text = known.records->withChanges(*store, known.changedRows, date);
        }
        if (!text) {
            records = context_.fetchRecords();
            const auto rowids = store->hasChanges() ? std::nullopt : BackupRecordsText::rowids(*store);
            text = BackupRecordsText::fromRecords(*records, date, rowids);
        }
        const Plan plan = planPictures(records ? &*records : nullptr, *text, vouched);

        PreparedFile settingsFile(folder + '/' + BackupManager::settingsFileName, pretty(settingsDictionary()));
        context_.fail(BackupStep::settingsFile);
        PreparedFile recordsFile(recordsPath, text->text());
        context_.fail(BackupStep::recordsFile);

        // A picture carried over must still be the file the backup wrote: what was changed, replaced or linked
        // from outside since is written again.
        const QStringList otherFolders = context_.otherPictureFolders();
        if (!staged && known.picturesUnchanged && plan.fresh.isEmpty() && plan.carried.size() == vouched.size() &&
            folderHolds(images, vouched, otherFolders)) {
            // No picture changed since the last backup: its pictures folder is this one's as it stands.
            recordsFile.commit();
            settingsFile.commit();
            syncFolder(folder);
            ledger.record(images, vouched, std::move(text), recordsPath);
            return;
        }
        if (!staged) {
            QList<BackupPictures::Key> carry;
            carry.reserve(plan.carried.size());
            for (const Picture& picture : plan.carried)
                carry << picture.key;
            stage(carry);
        }

        BackupLedger::Entries entries;
        entries.reserve(plan.carried.size() + plan.fresh.size());
        const QSet<BackupPictures::Key> linkedSet(linked.cbegin(), linked.cend());
        // What is being linked under the same name waits until the linking is done.
        QList<const Picture*> now, afterLinking;
        for (const Picture& picture : plan.fresh)
            (linkedSet.contains(picture.key) ? afterLinking : now) << &picture;
        writePictures(now, staging, entries);
        if (carrier) {
            missing += carrier->finish();
            carrier.reset();
        }
        const BackupPictures::IntactCheck intact(staging, QStringList{images} + otherFolders);
        for (const Picture& picture : plan.carried) {
            const BackupPictures::Written written = vouched.value(picture.key);
            if (missing.contains(picture.key) || !linkedSet.contains(picture.key) || !intact(picture.key, written))
                afterLinking << &picture;
            else
                entries.insert(picture.key, written);
        }
        // Linked before the records were read, but changed since (in the store or in the backup) or gone with
        // their record.
        for (const BackupPictures::Key& key : std::as_const(linked)) {
            if (!entries.contains(key) && !missing.contains(key))
                QFile::remove(staging + '/' + BackupPictures::path(key));
        }
        writePictures(afterLinking, staging, entries);
        // The pictures written, then their names and the links of those carried over, which are in the folders.
        QString unsynced;
        if (!CheckedWrite::syncFileSystem(staging, &unsynced))
            throw BackupError(QStringLiteral("%1: %2").arg(staging, unsynced));
        for (const char* name : BackupPictures::folders)
            syncFolder(staging + '/' + name);
        syncFolder(staging);

        // Nothing has replaced the previous backup up to here.
        swapInImages(staging, images);
        recordsFile.commit();
        settingsFile.commit();
        syncFolder(folder);
        ledger.record(images, std::move(entries), std::move(text), recordsPath);
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

std::optional<QString> BackupWriter::keepPrevious(const QString& folder) const {
    const QString images = folder + '/' + BackupManager::userImagesFolder;
    const QStringList documents = {BackupManager::settingsFileName, BackupManager::swiftDataFileName};
    QList<BackupPictures::Key> pictures;
    for (const char* name : BackupPictures::folders) {
        const QDir dir(images + '/' + name);
        for (const QString& file : dir.entryList(QDir::Files | QDir::Hidden)) {
            if (const auto key = BackupPictures::keyOf(name, QFile::encodeName(file)))
                pictures << *key;
        }
    }
    QDateTime date;
    for (const QString& name : documents) {
        const QFileInfo info(folder + '/' + name);
        if (info.isFile() && (!date.isValid() || info.lastModified() > date))
            date = info.lastModified();
    }
    if (!date.isValid() && pictures.isEmpty())
        return std::nullopt;
    if (!date.isValid())
        date = QFileInfo(images).lastModified();

    // A new folder each time: a kept backup is never written over.
    const QString stem = folder + '/' + BackupManager::keptBackupPrefix + date.toString("yyyy-MM-dd HH.mm.ss");
    QString kept = stem;
    for (int n = 2; ::mkdir(QFile::encodeName(kept).constData(), S_IRWXU) != 0; ++n) {
        if (errno != EEXIST || n > 1000)
            throw BackupError(QStringLiteral("%1: %2").arg(kept, systemError()));
        kept = stem + QStringLiteral(" (%1)").arg(n);
    }
    try {
        for (const QString& name : documents) {
            QFile file(folder + '/' + name);
            if (!file.exists())
                continue;
            if (!file.open(QIODevice::ReadOnly))
                throw BackupError(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
            QString error;
            if (!CheckedWrite::writeFile(kept + '/' + name, file.readAll(), &error, BackupContext::ownerOnlyFile))
                throw BackupError(QStringLiteral("%1: %2").arg(kept + '/' + name, error));
        }
        // The pictures are never written again once in a backup: links keep them at no cost.
        const QString keptImages = kept + '/' + BackupManager::userImagesFolder;
        if (!QDir().mkdir(keptImages, BackupContext::ownerOnlyFolder))
            throw BackupError(QStringLiteral("%1: %2").arg(keptImages, systemError()));
        for (const char* name : BackupPictures::folders) {
            if (!QDir().mkdir(keptImages + '/' + name, BackupContext::ownerOnlyFolder))
                throw BackupError(QStringLiteral("%1/%2: %3").arg(keptImages, name, systemError()));
        }
        const bool links = !context_.injectedFailure(BackupStep::pictureLink);
        BackupCarrier(images, keptImages, pictures, links).finish();
        for (const char* name : BackupPictures::folders)
            syncFolder(keptImages + '/' + name);
        syncFolder(keptImages);
        syncFolder(kept);
        syncFolder(folder);
    } catch (...) {
        QDir(kept).removeRecursively();
        throw;
    }
    return kept;
}
