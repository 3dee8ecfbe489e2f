#include "BackupLedger.h"

#include "CheckedWrite.h"
#include "ModelContext.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <atomic>
#include <sys/stat.h>

namespace {

const QString kNoteMagic = QStringLiteral("orvane-backup-ledger");
constexpr qint32 kNoteVersion = 2;
// A note for 10,000 clips is about 1.5 MB; anything far bigger is not one.
constexpr qint64 kMaxNoteSize = 256 << 20;
// The records file of 10,000 clips is about 4 MB.
constexpr qint64 kMaxRecordsFileSize = 1LL << 30;

constexpr const char* kTables[BackupRecordsText::kTables] = {"VideoMetadata", "PromptPreset", "ImagePreset"};

QString quoted(const QString& name) {
    return '"' + name + '"';
}

// The picture columns of one table, by their index in BackupPictures::columns.
QList<int> pictureColumnsOf(const char* table) {
    QList<int> columns;
    for (size_t i = 0; i < BackupPictures::columns.size(); ++i) {
        if (qstrcmp(BackupPictures::columns[i].table, table) == 0)
            columns << int(i);
    }
    return columns;
}

QString columnName(int column) {
    return QString::fromLatin1(BackupPictures::columns[size_t(column)].column);
}

// What tells one version of the records file from another: it is replaced whole by each backup.
struct RecordsFileId {
    BackupPictures::FileId file;
    qint64 size = 0;
    qint64 modified = 0; // nanoseconds
    bool operator==(const RecordsFileId&) const = default;
};

std::optional<RecordsFileId> recordsFileId(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return RecordsFileId{{quint64(info.st_dev), quint64(info.st_ino)},
                         qint64(info.st_size),
                         qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

QDataStream& operator<<(QDataStream& out, const BackupPictures::FileId& id) {
    return out << id.device << id.inode;
}

QDataStream& operator>>(QDataStream& in, BackupPictures::FileId& id) {
    return in >> id.device >> id.inode;
}

} // namespace

BackupLedger::~BackupLedger() {
    attach(nullptr, std::nullopt);
}

void BackupLedger::attach(ModelContext* context, const std::optional<QString>& notePath) {
    if (context && context == context_ && stillWatching()) {
        notePath_ = notePath;
        return;
    }
    // A store that stays open may still be written once nobody watches it: a note about it could turn false.
    if (context_)
        removeNote();
    noteOnDisk_ = false;
    stopWatching();
    entries_.clear();
    folder_.reset();
    picturesUnchanged_ = false;
    records_.reset();
    changedRows_ = {};
    noteConsidered_ = false;
    cleanStart_ = false;
    changeReported_ = false;
    context_ = context;
    notePath_ = notePath;
    if (!context_)
        return;
    QSqlQuery query(context_->database());
    cleanStart_ = query.exec("SELECT total_changes()") && query.next() && query.value(0).toLongLong() == 0;
    startWatching();
}

bool BackupLedger::startWatching() {
    if (!context_)
        return false;
    QSqlDatabase db = context_->database();
    if (!db.isOpen())
        return false;
    static std::atomic<int> ledgers{0};
    const QString prefix = QStringLiteral("orvane_backup_ledger_%1").arg(++ledgers);
    connection_ = db.connectionName();
    log_ = prefix;
    QSqlQuery query(db);
    bool ok = query.exec("CREATE TEMP TABLE " + quoted(log_) +
                         " (tbl TEXT NOT NULL, id TEXT NOT NULL, pictures INTEGER NOT NULL)");
    for (const char* name : kTables) {
        if (!ok)
            break;
        const QString table = QString::fromLatin1(name);
        // A trigger's statements name their table without its schema; the log is found in the temporary one.
        const auto log = [&](const char* row, int pictures) {
            return QStringLiteral("INSERT INTO %1 VALUES ('%2', %3.id, %4); ")
                .arg(quoted(log_), table)
                .arg(row)
                .arg(pictures);
        };
        QStringList columns, differs;
        for (const int column : pictureColumnsOf(name)) {
            columns << quoted(columnName(column));
            differs << "old." + quoted(columnName(column)) + " IS NOT new." + quoted(columnName(column));
        }
        const QString on = " ON main." + quoted(table) + ' ';
        // A save writes every picture a record has read, changed or not: only different bytes count as a change
        // of its pictures.
        const QList<QPair<QString, QString>> triggers = {
            {"insert", "AFTER INSERT" + on + "BEGIN " + log("new", 1) + "END"},
            {"update", "AFTER UPDATE" + on + "BEGIN " + log("new", 0) + "END"},
            {"pictures", "AFTER UPDATE OF id, " + columns.join(", ") + on + "WHEN old.id IS NOT new.id OR " +
                             differs.join(" OR ") + " BEGIN " + log("old", 1) + log("new", 1) + "END"},
            {"delete", "AFTER DELETE" + on + "BEGIN " + log("old", 1) + "END"},
        };
        for (const auto& [what, body] : triggers) {
            const QString trigger = prefix + '_' + table + '_' + what;
            ok = query.exec("CREATE TEMP TRIGGER " + quoted(trigger) + ' ' + body);
            if (!ok)
                break;
            triggers_ << trigger;
        }
    }
    watching_ = true; // so that stopWatching() takes back what was made
    dataVersion_ = dataVersion();
    if (!ok || !dataVersion_) {
        stopWatching();
        return false;
    }
    saved_ = QObject::connect(context_, &ModelContext::didSave, context_, [this] { onSaved(); });
    return true;
}

void BackupLedger::stopWatching() {
    QObject::disconnect(saved_);
    if (watching_ && stillWatching()) {
        QSqlQuery query(context_->database());
        for (const QString& trigger : std::as_const(triggers_))
            query.exec("DROP TRIGGER IF EXISTS temp." + quoted(trigger));
        query.exec("DROP TABLE IF EXISTS temp." + quoted(log_));
    }
    triggers_.clear();
    watching_ = false;
    dataVersion_.reset();
}

bool BackupLedger::stillWatching() const {
    if (!watching_ || !context_)
        return false;
    const QSqlDatabase db = context_->database();
    return db.isOpen() && db.connectionName() == connection_;
}

std::optional<qint64> BackupLedger::dataVersion() const {
    QSqlQuery query(context_->database());
    if (!query.exec("PRAGMA data_version") || !query.next())
        return std::nullopt;
    return query.value(0).toLongLong();
}

bool BackupLedger::logIsEmpty() const {
    QSqlQuery query(context_->database());
    return stillWatching() && query.exec("SELECT 1 FROM temp." + quoted(log_) + " LIMIT 1") && !query.next();
}

bool BackupLedger::takeInChanges() {
    QSqlQuery query(context_->database());
    query.setForwardOnly(true);
    if (!query.exec("SELECT tbl, id, pictures FROM temp." + quoted(log_)))
        return false;
    bool any = false;
    while (query.next()) {
        any = true;
        const int table = BackupRecordsText::tableOf(query.value(0).toString());
        if (table < 0)
            return false;
        const QString identity = query.value(1).toString();
        changedRows_[size_t(table)].insert(identity);
        if (query.value(2).toInt() == 0)
            continue;
        picturesUnchanged_ = false;
        const QUuid id = QUuid::fromString(identity);
        if (id.isNull())
            return false;
        for (const int column : pictureColumnsOf(kTables[table]))
            entries_.remove({id, column});
    }
    query.finish();
    return !any || query.exec("DELETE FROM temp." + quoted(log_));
}

BackupLedger::Knowledge BackupLedger::knowledge(const QString& imagesFolder) {
    if (!context_) {
        clear();
        return {{}, false, nullptr, {}};
    }
    if (!stillWatching()) {
        // Another connection, or the log went: what was written meanwhile is unknown.
        clear();
        cleanStart_ = false;
        stopWatching();
        if (!startWatching())
            return {{}, false, nullptr, {}};
    }
    if (!noteConsidered_)
        adoptNote();
    // Written by another connection since: which rows is unknown. The backup about to be written starts anew.
    const auto version = dataVersion();
    const bool writtenElsewhere = !version || version != dataVersion_;
    dataVersion_ = version;
    if (!takeInChanges() || writtenElsewhere || !folder_ || BackupPictures::fileId(imagesFolder) != folder_)
        clear();
    return {entries_, picturesUnchanged_ && !entries_.isEmpty(), records_ ? &*records_ : nullptr, changedRows_};
}

void BackupLedger::record(const QString& imagesFolder, Entries entries, std::optional<BackupRecordsText> records,
                          const QString& recordsFile) {
    entries_ = std::move(entries);
    folder_ = BackupPictures::fileId(imagesFolder);
    picturesUnchanged_ = true;
    records_.reset();
    if (records && records->isIndexed())
        records_ = std::move(records);
    changedRows_ = {};
    changeReported_ = false;
    // Nothing is written to the store while a backup runs, but another connection could.
    const auto version = stillWatching() ? dataVersion() : std::nullopt;
    if (!version || version != dataVersion_ || !takeInChanges() || !folder_) {
        clear();
        return;
    }
    writeNote(recordsFile);
}

void BackupLedger::forget() {
    clear();
    if (notePath_)
        QFile::remove(*notePath_);
}

void BackupLedger::clear() {
    entries_.clear();
    folder_.reset();
    picturesUnchanged_ = false;
    records_.reset();
    changedRows_ = {};
    removeNote();
}

void BackupLedger::onSaved() {
    if (logIsEmpty())
        return;
    // The note is about to go: what it says is taken over first, while it is still true up to this save's
    // changes, which the log holds.
    if (!noteConsidered_)
        adoptNote();
    removeNote();
    if (!changeReported_ && !entries_.isEmpty()) {
        changeReported_ = true;
        if (changed_)
            changed_();
    }
}

void BackupLedger::removeNote() {
    if (noteOnDisk_ && notePath_)
        QFile::remove(*notePath_);
    noteOnDisk_ = false;
}

// ---- the note ------------------------------------------------------------------------------------------------

void BackupLedger::writeNote(const QString& recordsFile) {
    removeNote();
    if (!notePath_ || context_->isInMemory())
        return;
    const auto store = BackupPictures::fileId(context_->filePath());
    if (!store || !folder_)
        return;
    QByteArray bytes;
    bytes.reserve(entries_.size() * 48 + (records_ ? records_->entries()[0].size() * 100 : 0) + 1024);
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << kNoteMagic << kNoteVersion << *store << *folder_ << qint64(entries_.size());
        for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
            out << it.key().id << qint8(it.key().column) << it.value().size << it.value().modified;
        const auto file = records_ ? recordsFileId(recordsFile) : std::nullopt;
        out << file.has_value();
        if (file) {
            out << recordsFile << file->file << file->size << file->modified;
            records_->writeIndex(out);
        }
    }
    // A note lost to a crash or a full disk only costs the next backup its carrying over.
    QString error;
    if (!CheckedWrite::writeFile(*notePath_, bytes, &error, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return;
    noteOnDisk_ = true;
}

void BackupLedger::adoptNote() {
    noteConsidered_ = true;
    if (!cleanStart_ || !entries_.isEmpty() || records_ || !notePath_ || context_->isInMemory())
        return;
    QFile file(*notePath_);
    if (file.size() > kMaxNoteSize || !file.open(QIODevice::ReadOnly))
        return;
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_4);
    QString magic;
    qint32 version = 0;
    BackupPictures::FileId store, folder;
    qint64 count = 0;
    in >> magic >> version >> store >> folder >> count;
    if (in.status() != QDataStream::Ok || magic != kNoteMagic || version != kNoteVersion || count < 0 ||
        count > kMaxNoteSize || BackupPictures::fileId(context_->filePath()) != store)
        return;
    Entries entries;
    entries.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        QUuid id;
        qint8 column = 0;
        BackupPictures::Written written;
        in >> id >> column >> written.size >> written.modified;
        if (in.status() != QDataStream::Ok || column < 0 || size_t(column) >= BackupPictures::columns.size() ||
            written.size < 0)
            return;
        entries.insert({id, column}, written);
    }
    bool hasRecords = false;
    in >> hasRecords;
    std::optional<BackupRecordsText> records;
    if (hasRecords) {
        QString path;
        RecordsFileId noted;
        in >> path >> noted.file >> noted.size >> noted.modified;
        // The records file the note describes, unless something replaced it since.
        QFile recordsFile(path);
        if (in.status() == QDataStream::Ok && noted.size <= kMaxRecordsFileSize && recordsFileId(path) == noted &&
            recordsFile.open(QIODevice::ReadOnly))
            records = BackupRecordsText::readIndex(in, recordsFile.readAll());
    }

    // A picture whose stored size differs, or a row the records file does not know, was written by something
    // this process never saw (another program, or a save cut off before it could remove the note). Reading sizes
    // reads no picture (where `count(column)` would read every one); the totals of each column are read first,
    // and each row's sizes only when they differ. The rows are counted through the id's own index.
    std::array<QPair<qint64, qint64>, BackupPictures::columns.size()> noted{}; // pictures, bytes
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        ++noted[size_t(it.key().column)].first;
        noted[size_t(it.key().column)].second += it.value().size;
    }
    bool sameSizes = true;
    for (int table = 0; table < BackupRecordsText::kTables; ++table) {
        QStringList totals;
        for (const int column : pictureColumnsOf(kTables[table])) {
            const QString length = "length(" + quoted(columnName(column)) + ')';
            totals << "count(" + length + "), total(" + length + ')';
        }
        QSqlQuery query(context_->database());
        if (!query.exec("SELECT " + totals.join(", ") + " FROM main." + quoted(kTables[table])) || !query.next())
            return;
        int index = 0;
        for (const int column : pictureColumnsOf(kTables[table])) {
            sameSizes = sameSizes && query.value(index).toLongLong() == noted[size_t(column)].first &&
                        qint64(query.value(index + 1).toDouble()) == noted[size_t(column)].second;
            index += 2;
        }
        if (records) {
            const auto& rows = records->entries()[size_t(table)];
            if (!query.exec("SELECT count(*), max(rowid) FROM main." + quoted(kTables[table])) || !query.next() ||
                query.value(0).toLongLong() != rows.size() ||
                (!rows.isEmpty() && query.value(1).toLongLong() != rows.last().rowid))
                records.reset();
        }
    }
    Entries kept;
    if (sameSizes) {
        kept = std::move(entries);
        entries.clear();
    } else {
        kept.reserve(entries.size());
        for (int table = 0; table < BackupRecordsText::kTables; ++table) {
            const QList<int> columns = pictureColumnsOf(kTables[table]);
            QStringList lengths;
            for (const int column : columns)
                lengths << "length(" + quoted(columnName(column)) + ')';
            QSqlQuery query(context_->database());
            query.setForwardOnly(true);
            if (!query.exec("SELECT id, " + lengths.join(", ") + " FROM main." + quoted(kTables[table])))
                return;
            while (query.next()) {
                const QUuid id = QUuid::fromString(query.value(0).toString());
                for (qsizetype c = 0; c < columns.size(); ++c) {
                    const BackupPictures::Key key{id, columns[c]};
                    const auto it = entries.constFind(key);
                    const QVariant length = query.value(int(c) + 1);
                    if (it != entries.cend() && !length.isNull() && length.toLongLong() == it.value().size)
                        kept.insert(key, it.value());
                }
            }
        }
    }
    picturesUnchanged_ = sameSizes || kept.size() == entries.size();
    entries_ = std::move(kept);
    folder_ = folder;
    records_ = std::move(records);
    noteOnDisk_ = true;
}
