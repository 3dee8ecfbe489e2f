#include "BackupLedger.h"

#include "ModelContext.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <atomic>
#include <cstdio>
#include <sys/stat.h>

namespace {

const QByteArray kNoteHeader = "orvane-backup-ledger 1";
// A note for 10,000 clips is about 1.3 MB; anything far bigger is not one.
constexpr qint64 kMaxNoteSize = 256 << 20;

QString quoted(const QString& name) {
    return '"' + name + '"';
}

// The picture columns of one table, in the order of BackupPictures::columns.
QStringList pictureColumnsOf(const QString& table) {
    QStringList names;
    for (const auto& column : BackupPictures::columns) {
        if (table == QLatin1String(column.table))
            names << QString::fromLatin1(column.column);
    }
    return names;
}

QStringList pictureTables() {
    QStringList tables;
    for (const auto& column : BackupPictures::columns) {
        if (!tables.contains(QLatin1String(column.table)))
            tables << QString::fromLatin1(column.table);
    }
    return tables;
}

} // namespace

QString BackupPictures::path(const Column& column, const QUuid& id) {
    return QLatin1String(column.folder) + '/' + id.toString(QUuid::WithoutBraces).toUpper() +
           QLatin1String(column.suffix);
}

BackupLedger::~BackupLedger() {
    attach(nullptr);
}

std::optional<BackupLedger::FileId> BackupLedger::fileId(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileId{quint64(info.st_dev), quint64(info.st_ino)};
}

void BackupLedger::attach(ModelContext* context) {
    if (context && context == context_ && stillWatching())
        return;
    // A store that stays open may still be written once nobody watches it: a note about it could turn false.
    if (context_)
        removeNote();
    noteOnDisk_.reset();
    stopWatching();
    entries_.clear();
    folder_.reset();
    whole_ = false;
    noteConsidered_ = false;
    cleanStart_ = false;
    context_ = context;
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
    bool ok = query.exec("CREATE TEMP TABLE " + quoted(log_) + " (tbl TEXT NOT NULL, id TEXT NOT NULL)");
    for (const QString& table : pictureTables()) {
        if (!ok)
            break;
        // A trigger's statements name their table without its schema; the log is found in the temporary one.
        const QString into = "INSERT INTO " + quoted(log_) + " VALUES ('" + table + "', ";
        const QString on = " ON main." + quoted(table) + " BEGIN ";
        QStringList columns, differs;
        for (const QString& column : pictureColumnsOf(table)) {
            columns << quoted(column);
            differs << "old." + quoted(column) + " IS NOT new." + quoted(column);
        }
        // A save writes every picture a record has read, changed or not: only different bytes count.
        const QString update = "AFTER UPDATE OF id, " + columns.join(", ") + " ON main." + quoted(table) +
                               " WHEN old.id IS NOT new.id OR " + differs.join(" OR ") + " BEGIN ";
        const QList<QPair<QString, QString>> triggers = {
            {"insert", "AFTER INSERT" + on + into + "new.id); END"},
            {"update", update + into + "old.id); " + into + "new.id); END"},
            {"delete", "AFTER DELETE" + on + into + "old.id); END"},
        };
        for (const auto& [what, body] : triggers) {
            const QString name = prefix + '_' + table + '_' + what;
            ok = query.exec("CREATE TEMP TRIGGER " + quoted(name) + ' ' + body);
            if (!ok)
                break;
            triggers_ << name;
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

bool BackupLedger::takeInChanges() {
    QSqlQuery query(context_->database());
    query.setForwardOnly(true);
    if (!query.exec("SELECT tbl, id FROM temp." + quoted(log_)))
        return false;
    bool any = false;
    while (query.next()) {
        any = true;
        const QString table = query.value(0).toString();
        const QUuid id = QUuid::fromString(query.value(1).toString());
        if (id.isNull())
            return false;
        for (const auto& column : BackupPictures::columns) {
            if (table == QLatin1String(column.table))
                entries_.remove(BackupPictures::path(column, id));
        }
    }
    query.finish();
    if (any) {
        whole_ = false;
        if (!query.exec("DELETE FROM temp." + quoted(log_)))
            return false;
    }
    return true;
}

BackupLedger::Entries BackupLedger::carryOver(const QString& imagesFolder, const std::optional<QString>& notePath) {
    if (!context_) {
        clear();
        return {};
    }
    if (!stillWatching()) {
        // Another connection, or the log went: what was written meanwhile is unknown.
        clear();
        cleanStart_ = false;
        stopWatching();
        if (!startWatching())
            return {};
    }
    if (!noteConsidered_) {
        noteConsidered_ = true;
        if (cleanStart_ && entries_.isEmpty() && notePath)
            adoptNote(*notePath);
    }
    // Written by another connection since: which rows is unknown. The backup about to be written starts anew.
    const auto version = dataVersion();
    const bool writtenElsewhere = !version || version != dataVersion_;
    dataVersion_ = version;
    if (!takeInChanges() || writtenElsewhere || !folder_ || fileId(imagesFolder) != folder_)
        clear();
    return entries_;
}

void BackupLedger::record(const QString& imagesFolder, Entries entries, const std::optional<QString>& notePath) {
    entries_ = std::move(entries);
    folder_ = fileId(imagesFolder);
    whole_ = true;
    // Nothing is written to the store while a backup runs on its thread, but another connection could.
    const auto version = stillWatching() ? dataVersion() : std::nullopt;
    if (!version || version != dataVersion_ || !takeInChanges() || !folder_) {
        clear();
        return;
    }
    if (notePath)
        writeNote(*notePath);
    else
        removeNote();
}

void BackupLedger::forget(const std::optional<QString>& notePath) {
    clear();
    if (notePath)
        QFile::remove(*notePath);
}

void BackupLedger::clear() {
    entries_.clear();
    folder_.reset();
    whole_ = false;
    removeNote();
}

void BackupLedger::onSaved() {
    if (!noteOnDisk_)
        return;
    QSqlQuery query(context_->database());
    if (!stillWatching() || !query.exec("SELECT 1 FROM temp." + quoted(log_) + " LIMIT 1") || query.next())
        removeNote();
}

void BackupLedger::removeNote() {
    if (noteOnDisk_)
        QFile::remove(*noteOnDisk_);
    noteOnDisk_.reset();
}

// ---- the note ------------------------------------------------------------------------------------------------
//
//   orvane-backup-ledger 1
//   store <device> <inode>
//   folder <device> <inode>
//   <size> <picture path>          one line per picture

void BackupLedger::writeNote(const QString& notePath) {
    removeNote();
    if (context_->isInMemory())
        return;
    const auto store = fileId(context_->filePath());
    if (!store || !folder_)
        return;
    QByteArray text = kNoteHeader + '\n';
    text += "store " + QByteArray::number(store->device) + ' ' + QByteArray::number(store->inode) + '\n';
    text += "folder " + QByteArray::number(folder_->device) + ' ' + QByteArray::number(folder_->inode) + '\n';
    text.reserve(text.size() + entries_.size() * 64);
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
        text += QByteArray::number(it.value()) + ' ' + it.key().toUtf8() + '\n';
    // Replaced whole by a rename; a note lost to a crash only costs the next backup its carry-over.
    const QString temporary = notePath + ".new";
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(text) != text.size() || !file.flush()) {
        file.remove();
        return;
    }
    file.close();
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(notePath).constData()) != 0) {
        QFile::remove(temporary);
        return;
    }
    noteOnDisk_ = notePath;
}

void BackupLedger::adoptNote(const QString& notePath) {
    if (context_->isInMemory())
        return;
    QFile file(notePath);
    if (file.size() > kMaxNoteSize || !file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    const auto idOn = [&](int line, const char* tag) -> std::optional<FileId> {
        const QList<QByteArray> fields = lines.value(line).split(' ');
        bool device = false, inode = false;
        FileId id{fields.value(1).toULongLong(&device), fields.value(2).toULongLong(&inode)};
        if (fields.size() != 3 || fields[0] != tag || !device || !inode)
            return std::nullopt;
        return id;
    };
    const auto store = idOn(1, "store");
    const auto folder = idOn(2, "folder");
    if (lines.value(0) != kNoteHeader || !store || !folder || fileId(context_->filePath()) != store)
        return;
    Entries entries;
    for (qsizetype i = 3; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.isEmpty())
            continue;
        const qsizetype space = line.indexOf(' ');
        bool ok = false;
        const qint64 size = line.left(space).toLongLong(&ok);
        if (space <= 0 || !ok || size < 0)
            return;
        entries.insert(QString::fromUtf8(line.mid(space + 1)), size);
    }

    // A picture whose stored size differs was written by something this process never saw (another program, or
    // a save cut off before it could remove the note); reading the sizes reads no picture.
    Entries kept;
    for (const QString& table : pictureTables()) {
        const QStringList columns = pictureColumnsOf(table);
        QStringList lengths;
        for (const QString& column : columns)
            lengths << "length(" + quoted(column) + ')';
        QSqlQuery query(context_->database());
        query.setForwardOnly(true);
        if (!query.exec("SELECT id, " + lengths.join(", ") + " FROM main." + quoted(table)))
            return;
        while (query.next()) {
            const QUuid id = QUuid::fromString(query.value(0).toString());
            int index = 0;
            for (const auto& column : BackupPictures::columns) {
                if (table != QLatin1String(column.table))
                    continue;
                ++index;
                const QString path = BackupPictures::path(column, id);
                const auto it = entries.constFind(path);
                const QVariant length = query.value(index);
                if (it != entries.cend() && !length.isNull() && length.toLongLong() == it.value())
                    kept.insert(path, it.value());
            }
        }
    }
    whole_ = kept.size() == entries.size();
    entries_ = std::move(kept);
    folder_ = folder;
    noteOnDisk_ = notePath;
}
