#include "ModelContext.h"

#include "CheckedWrite.h"
#include "Log.h"
#include "NoReplaceMove.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>
#include <QUrl>

#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {
int nextConnection = 0;
bool openReadOnlyForTesting = false;

// A write waits this long for another program's lock: less than one frame, so the window never stalls.
constexpr int kBusyTimeoutMs = 10;
// The first opening may have to change the schema once; it runs before the window is shown.
constexpr int kOpeningBusyTimeoutMs = 1000;

// Opening failures that come from not being allowed to write (permission, busy, locked, read-only, I/O error,
// cannot open), not from an unreadable file.
bool cannotWrite(int code) {
    return code == 3 || code == 5 || code == 6 || code == 8 || code == 10 || code == 14;
}

// SQLite makes the side files of a store it opened read-only as read-only as the store. Once the store itself may
// be written again they must be too, or it stays read-only for good.
void makeSideFilesWritable(const QString& path) {
    const QFileInfo store(path);
    if (!store.isFile() || !store.isWritable())
        return;
    for (const char* suffix : {"-wal", "-shm"}) {
        const QFileInfo side(path + suffix);
        if (side.isFile() && !side.isWritable() && side.ownerId() == uint(::geteuid()))
            QFile::setPermissions(side.filePath(),
                                  side.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}

QString sqlType(EntityColumn::Type type) {
    switch (type) {
    case EntityColumn::Type::Integer:
        return "INTEGER";
    case EntityColumn::Type::Real:
        return "REAL";
    case EntityColumn::Type::Blob:
        return "BLOB";
    case EntityColumn::Type::Text:
    case EntityColumn::Type::Reference:
        return "TEXT";
    }
    return "TEXT";
}

QString quoted(const QString& name) {
    return '"' + name + '"';
}

QString columnDefinition(const EntityColumn& column, bool isId) {
    QString def = quoted(column.name) + ' ' + sqlType(column.type);
    if (isId)
        def += " PRIMARY KEY NOT NULL";
    if (column.type == EntityColumn::Type::Reference) {
        def +=
            " REFERENCES " + quoted(column.referencedTable) + "(id) ON DELETE SET NULL DEFERRABLE INITIALLY DEFERRED";
    }
    return def;
}

QString lastError(const QSqlQuery& query) {
    return query.lastError().text();
}

// SQLite's primary result codes saying the file itself is damaged or is not a store.
constexpr int kCorrupt = 11;
constexpr int kNotADatabase = 26;

// Opening reads the schema and the first entry of each stored table and of its identity index, not the rest: a
// start with thousands of clips and their pictures must not read them all. Damage elsewhere in the file is reported
// by the query that meets it.
QSqlError firstLook(QSqlDatabase& db, const std::vector<const EntityDescription*>& entities) {
    QSqlQuery query(db);
    QSet<QString> tables;
    if (!query.exec("SELECT name FROM sqlite_master WHERE type = 'table'"))
        return query.lastError();
    while (query.next())
        tables.insert(query.value(0).toString());
    if (query.lastError().type() != QSqlError::NoError)
        return query.lastError();
    for (const EntityDescription* entity : entities) {
        if (!tables.contains(entity->table))
            continue; // a store opened read-only may predate a table
        const QString table = quoted(entity->table);
        for (const QString& look : {"SELECT typeof(id) FROM " + table + " NOT INDEXED LIMIT 1",
                                    "SELECT id FROM " + table + " ORDER BY id LIMIT 1"}) {
            if (!query.exec(look))
                return query.lastError();
            query.next();
            if (query.lastError().type() != QSqlError::NoError)
                return query.lastError();
        }
    }
    query.finish();
    return {};
}

// Where a query's report of damage waits for the next opening, which then checks the whole file.
QString damageNotePath(const QString& storePath) {
    return storePath + QStringLiteral(".damaged");
}

QString setAsideNotePath(const QString& storePath) {
    return storePath + QStringLiteral(".set-aside");
}

// On disk before the store moves: with what it says when there is room, else empty, since a full disk still
// takes a new name. False when not even that could be written.
bool writeSetAsideNote(const QString& storePath, const QJsonObject& note) {
    const QString path = setAsideNotePath(storePath);
    QString error;
    if (CheckedWrite::writeFile(path, QJsonDocument(note).toJson(QJsonDocument::Compact), &error,
                                QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return true;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        Log::line(QStringLiteral("❌ [Store] The note for the unreadable store could not be written: %1").arg(error));
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced && CheckedWrite::syncPath(QFileInfo(path).absolutePath(), &error);
}

QJsonArray recoveredJson(const QList<ModelContext::RecoveredRecords>& recovered) {
    QJsonArray tables;
    for (const auto& table : recovered)
        tables.append(QJsonObject{{"table", table.table}, {"count", table.count}});
    return tables;
}

// The full check, run only when a query reported damage: its first finding, or empty when the file is sound.
QString integrityProblem(const QString& connection) {
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.exec("PRAGMA quick_check(1)") || !query.next())
        return query.lastError().text().trimmed().isEmpty() ? QStringLiteral("the check could not run")
                                                            : query.lastError().text();
    const QString finding = query.value(0).toString();
    return finding == "ok" ? QString() : finding;
}

// Reading a damaged store for what is left, the way SQLite's own recovery does: table by table, row by row in rowid
// order. A page that cannot be read costs its own rows; reading goes on after it.
class RowRescue {
public:
    explicit RowRescue(QSqlDatabase damaged) : damaged_(std::move(damaged)) {}

    // Copies the readable rows of `entity`'s table into the same table of `target`, keeping their rowids (so the
    // store's order stays). Returns how many were copied.
    int copy(const EntityDescription& entity, QSqlDatabase& target) {
        QSqlQuery info(damaged_);
        QSet<QString> present;
        if (!info.exec("PRAGMA table_info(" + quoted(entity.table) + ")"))
            return 0;
        while (info.next())
            present.insert(info.value(1).toString());
        QStringList names;
        for (const EntityColumn& column : entity.columns) {
            if (present.contains(column.name))
                names << quoted(column.name);
        }
        if (names.isEmpty() || !present.contains(entity.columns.front().name))
            return 0;
        table_ = quoted(entity.table);
        QSqlQuery insert(target);
        if (!insert.prepare("INSERT OR IGNORE INTO " + table_ + " (rowid, " + names.join(", ") + ") VALUES (?" +
                            QString(", ?").repeated(names.size()) + ")"))
            return 0;
        QSqlQuery read(damaged_);
        read.setForwardOnly(true);
        read.prepare("SELECT rowid, " + names.join(", ") + " FROM " + table_ + " WHERE rowid >= ? ORDER BY rowid");
        int copied = 0;
        qint64 from = std::numeric_limits<qint64>::min();
        for (;;) {
            read.bindValue(0, from);
            if (read.exec()) {
                while (read.next()) {
                    const qint64 rowid = read.value(0).toLongLong();
                    for (int i = 0; i <= int(names.size()); ++i)
                        insert.bindValue(i, read.value(i));
                    if (insert.exec() && insert.numRowsAffected() > 0)
                        ++copied;
                    if (rowid == std::numeric_limits<qint64>::max())
                        return copied;
                    from = rowid + 1;
                }
                if (read.lastError().type() == QSqlError::NoError)
                    break; // the end of the table
            }
            read.finish();
            const std::optional<qint64> next = readableFrom(from);
            if (!next)
                break;
            from = *next;
            ++skipped_;
        }
        return copied;
    }

    // How many times reading had to skip damage.
    int skipped() const { return skipped_; }

private:
    // Whether a seek to the first row at or after `from` can be read, and that row's rowid (none at the table's
    // end). A seek reads the page where `from` would be, so it fails from the end of the last whole page up to the
    // end of the damaged ones.
    std::optional<std::optional<qint64>> probe(qint64 from) {
        QSqlQuery query(damaged_);
        query.setForwardOnly(true);
        query.prepare("SELECT rowid FROM " + table_ + " WHERE rowid >= ? ORDER BY rowid LIMIT 1");
        query.addBindValue(from);
        if (!query.exec())
            return std::nullopt;
        const bool found = query.next();
        if (query.lastError().type() != QSqlError::NoError)
            return std::nullopt;
        return found ? std::optional<qint64>(query.value(0).toLongLong()) : std::optional<qint64>();
    }

    // Where reading can go on after it failed at or after `from`: past the row that failed when only its contents
    // could not be read (a picture's overflow page), else the least point past the damaged pages from which a seek
    // succeeds. None when nothing readable follows.
    std::optional<qint64> readableFrom(qint64 from) {
        constexpr qint64 top = std::numeric_limits<qint64>::max();
        if (const auto row = probe(from)) {
            if (!*row || **row == top)
                return std::nullopt;
            return **row + 1;
        }
        // Ever larger steps until a seek lands past the damage, then halving back to where the damage ends.
        qint64 failing = from;
        qint64 succeeding = from;
        qint64 step = 1;
        for (;;) {
            if (failing == top)
                return std::nullopt;
            // Rowids may be negative: top - failing is only asked where it cannot overflow.
            succeeding = failing >= 0 && step > top - failing ? top : failing + step;
            if (probe(succeeding))
                break;
            failing = succeeding;
            step = step > top / 2 ? top : step * 2;
        }
        // The distance between two rowids may exceed the signed range: it is taken unsigned.
        while (quint64(succeeding) - quint64(failing) > 1) {
            const qint64 middle = failing + qint64((quint64(succeeding) - quint64(failing)) / 2);
            if (probe(middle))
                succeeding = middle;
            else
                failing = middle;
        }
        return succeeding;
    }

    QSqlDatabase damaged_;
    QString table_;
    int skipped_ = 0;
};
} // namespace

QList<ModelContext::RecoveredRecords> ModelContext::recoverRows(const QString& damaged, const QString& connection,
                                                                const std::vector<const EntityDescription*>& entities) {
    QList<RecoveredRecords> recovered;
    const QString source = connection + QStringLiteral("-rescue");
    int skipped = 0;
    {
        // The kept file stays as it is, and gains no side files: without a log of its own it is read as it lies.
        QSqlDatabase from = QSqlDatabase::addDatabase("QSQLITE", source);
        if (QFileInfo::exists(damaged + QStringLiteral("-wal"))) {
            from.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            from.setDatabaseName(damaged);
        } else {
            from.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
            from.setDatabaseName(
                QUrl::fromLocalFile(QFileInfo(damaged).absoluteFilePath()).toString(QUrl::FullyEncoded) +
                QStringLiteral("?immutable=1"));
        }
        QSqlDatabase into = QSqlDatabase::database(connection, false);
        QSqlQuery setup(into);
        // Links to rows that were lost are cleared below, before the copy is committed.
        if (from.open() && setup.exec("PRAGMA foreign_keys=OFF") && into.transaction()) {
            RowRescue rescue(from);
            for (const EntityDescription* entity : entities) {
                if (const int count = rescue.copy(*entity, into); count > 0)
                    recovered.append({entity->table, count});
            }
            skipped = rescue.skipped();
            QSqlQuery unlink(into);
            for (const EntityDescription* entity : entities) {
                for (const EntityColumn& column : entity->columns) {
                    if (column.type != EntityColumn::Type::Reference)
                        continue;
                    unlink.exec("UPDATE " + quoted(entity->table) + " SET " + quoted(column.name) + " = NULL WHERE " +
                                quoted(column.name) + " NOT IN (SELECT id FROM " + quoted(column.referencedTable) +
                                ")");
                }
            }
            if (!into.commit()) {
                Log::line("❌ [Store] What could be read from the kept store could not be copied: " +
                          into.lastError().text());
                into.rollback();
                recovered.clear();
            }
        }
        setup.exec("PRAGMA foreign_keys=ON");
        from.close();
    }
    QSqlDatabase::removeDatabase(source);
    QStringList counts;
    for (const RecoveredRecords& table : std::as_const(recovered))
        counts << QStringLiteral("%1 %2").arg(table.count).arg(table.table);
    if (recovered.isEmpty())
        Log::line(QStringLiteral("⚠️ [Store] Nothing could be read back from the kept store %1.").arg(damaged));
    else
        Log::line(QStringLiteral("💾 [Store] Read back from the kept store into the new one: %1 (%2 damaged parts "
                                 "skipped).")
                      .arg(counts.join(", "))
                      .arg(skipped));
    return recovered;
}

void ModelContext::takeSetAsideNote() {
    QFile file(setAsideNotePath(path_));
    if (!file.exists())
        return;
    setAsideNoted_ = true;
    constexpr qint64 kMaxNote = 64 * 1024;
    const QJsonObject note =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.read(kMaxNote)).object() : QJsonObject();
    QString store = note.value("store").toString();
    if (store.isEmpty()) {
        // Written empty on a full disk: the store moved right after is the newest one kept aside.
        const QFileInfo info(path_);
        const QDir folder(info.absolutePath());
        for (const QString& name : folder.entryList({info.fileName() + ".unreadable-*"}, QDir::Files, QDir::Name)) {
            if (!name.endsWith("-wal") && !name.endsWith("-shm"))
                store = folder.filePath(name);
        }
    }
    if (store.isEmpty() || !QFileInfo::exists(store))
        return;
    keptAsideEarlier_ = store;
    recoveryUnfinished_ = !note.value("recovered").isArray();
    if (recoveryUnfinished_ && !inMemory_ && !readOnly_) {
        // That start was ended while it copied: rows it copied already are not copied twice.
        recovered_ = recoverRows(store, connection_, entities_);
        writeSetAsideNote(path_, {{"store", store}, {"recovered", recoveredJson(recovered_)}});
        recoveryUnfinished_ = false;
        return;
    }
    for (const QJsonValue& table : note.value("recovered").toArray()) {
        const QJsonObject entry = table.toObject();
        recovered_.append({entry.value("table").toString(), entry.value("count").toInt()});
    }
}

void ModelContext::setAsideDutyDone(SetAsideDuty duty) {
    setAsideDutiesDone_ |= int(duty);
    if (!setAsideNoted_ || setAsideDutiesDone_ != (int(SetAsideDuty::told) | int(SetAsideDuty::backupKept)))
        return;
    if (QFile::remove(setAsideNotePath(path_)) || !QFileInfo::exists(setAsideNotePath(path_)))
        setAsideNoted_ = false;
}

int ModelContext::resultCode(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? (code & 0xff) : 0;
}

void ModelContext::setOpenReadOnlyForTesting(bool readOnly) {
    openReadOnlyForTesting = readOnly;
}

std::unique_ptr<ModelContext> ModelContext::open(const QString& path, std::vector<const EntityDescription*> entities) {
    const QString connection = QStringLiteral("orvane-store-%1").arg(++nextConnection);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QList<RecoveredRecords> recovered;
    const auto make = [&](bool inMemory, std::optional<QString> aside, bool readOnly) {
        std::unique_ptr<ModelContext> context(new ModelContext(connection, path, inMemory, entities));
        context->keptAside_ = std::move(aside);
        context->recovered_ = recovered;
        context->readOnly_ = readOnly;
        if (!inMemory)
            context->claimJournal();
        if (context->keptAside_)
            context->setAsideNoted_ = QFileInfo::exists(setAsideNotePath(path));
        else
            context->takeSetAsideNote();
        return context;
    };

    // A query of an earlier session met damage: the whole file is checked before it is used again. True when
    // the check confirmed it; the connection is closed then.
    const QString damageNote = damageNotePath(path);
    const auto confirmedDamage = [&](Opened& candidate) {
        if (!candidate.error.isEmpty() || !QFileInfo::exists(damageNote))
            return false;
        Log::line(
            QStringLiteral("🔎 [Store] Damage was reported in the store at %1; checking the whole file.").arg(path));
        const QString problem = integrityProblem(connection);
        if (problem.isEmpty()) {
            Log::line(QStringLiteral("✅ [Store] The store at %1 passed the check; it is used as it is.").arg(path));
            QFile::remove(damageNote);
            return false;
        }
        {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        candidate.error = "integrity check failed: " + problem;
        candidate.code = kCorrupt;
        return true;
    };

    Opened opened = tryOpen(connection, path, entities, Access::writable);
    const bool damaged = confirmedDamage(opened);
    if (opened.error.isEmpty()) {
        if (opened.readOnly)
            Log::line(
                QStringLiteral("⚠️ [Store] The object store at %1 cannot be written; it was opened read-only.")
                    .arg(path));
        return make(false, std::nullopt, opened.readOnly);
    }

    Log::line(QStringLiteral("❌ [Store] The object store at %1 could not be opened: %2").arg(path, opened.error));
    // A store that may not be written (a read-only file or folder, another program's lock during a schema
    // change) is read as it is, never treated as unreadable.
    if (!damaged && QFileInfo::exists(path) && cannotWrite(opened.code)) {
        for (const Access access : {Access::readOnly, Access::immutable}) {
            Opened readable = tryOpen(connection, path, entities, access);
            if (confirmedDamage(readable)) {
                Log::line(QStringLiteral("❌ [Store] The object store at %1 is damaged: %2").arg(path, readable.error));
                break;
            }
            if (readable.error.isEmpty()) {
                Log::line(QStringLiteral("⚠️ [Store] The object store at %1 was opened read-only.").arg(path));
                return make(false, std::nullopt, true);
            }
        }
    }

    QString error = opened.error;
    std::optional<QString> keptAside;
    if (QFileInfo::exists(path)) {
        const QString aside = path + ".unreadable-" + QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss-zzz");
        // Never over another kept-aside store: that would lose it. Never without the note either: a start ended
        // after the move would leave the last backup unprotected and the user untold.
        const bool noted = writeSetAsideNote(path, {{"store", aside}});
        const bool moved = noted && NoReplaceMove::move(path, aside).outcome == NoReplaceMove::Outcome::moved;
        if (noted && !moved)
            QFile::remove(setAsideNotePath(path));
        if (moved) {
            keptAside = aside;
            QFile::remove(damageNote); // it was about the store kept aside
            for (const char* suffix : {"-wal", "-shm"}) {
                if (QFileInfo::exists(path + suffix))
                    NoReplaceMove::move(path + suffix, aside + suffix);
            }
            Log::line(QStringLiteral("⚠️ [Store] The unreadable store was kept at %1; a new store was created.")
                          .arg(aside));
            opened = tryOpen(connection, path, entities, Access::writable);
            if (opened.error.isEmpty()) {
                if (!opened.readOnly)
                    recovered = recoverRows(aside, connection, entities);
                writeSetAsideNote(path, {{"store", aside}, {"recovered", recoveredJson(recovered)}});
                return make(false, keptAside, opened.readOnly);
            }
            error = opened.error;
            Log::line(QStringLiteral("❌ [Store] A new store could not be created at %1: %2").arg(path, error));
        } else {
            Log::line(
                QStringLiteral("⚠️ [Store] The unreadable store could not be moved aside; it was left in place."));
        }
    }
    Log::line(QStringLiteral("⚠️ [Store] Working with a store in memory: nothing will be kept after quitting."));
    opened = tryOpen(connection, ":memory:", entities, Access::writable);
    if (!opened.error.isEmpty())
        Log::line(QStringLiteral("❌ [Store] The in-memory store failed too: %1").arg(opened.error));
    return make(true, keptAside, false);
}

ModelContext::Opened ModelContext::tryOpen(const QString& connection, const QString& path,
                                           const std::vector<const EntityDescription*>& entities, Access access,
                                           bool opening) {
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
    const bool memory = path == ":memory:";
    if (access == Access::writable && !memory)
        makeSideFilesWritable(path);
    Opened result;
    const auto failed = [&result](const QSqlError& error) {
        result.error = error.text();
        result.code = resultCode(error);
    };
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", connection);
        QStringList options{QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs)};
        if (access != Access::writable || (openReadOnlyForTesting && !memory))
            options << QStringLiteral("QSQLITE_OPEN_READONLY");
        QString name = path;
        if (access == Access::immutable) {
            // Where even the shared-memory file cannot be made (a read-only folder), the file is read as it is.
            options << QStringLiteral("QSQLITE_OPEN_URI");
            name = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded) +
                   QStringLiteral("?immutable=1");
        }
        db.setConnectOptions(options.join(';'));
        db.setDatabaseName(name);
        if (!db.open()) {
            failed(db.lastError());
        } else {
            QSqlQuery query(db);
            if (access != Access::writable) {
                result.readOnly = true;
                if (!query.exec("PRAGMA foreign_keys=ON"))
                    failed(query.lastError());
            } else {
                if (opening)
                    query.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(kOpeningBusyTimeoutMs));
                if (!memory && !query.exec("PRAGMA journal_mode=WAL"))
                    failed(query.lastError());
                else if (!query.exec("PRAGMA foreign_keys=ON"))
                    failed(query.lastError());
                else if (const QSqlError schema = createSchema(db, entities); schema.type() != QSqlError::NoError)
                    failed(schema);
                query.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(kBusyTimeoutMs));
                // A read-only file opens without complaint; a write taken back at once tells. A lock held by
                // another program only means the store is busy now.
                if (result.error.isEmpty() && !memory && query.exec("BEGIN")) {
                    if (query.exec("PRAGMA user_version") && query.next()) {
                        const qint64 version = query.value(0).toLongLong();
                        query.finish();
                        if (!query.exec(QStringLiteral("PRAGMA user_version=%1").arg(version)))
                            result.readOnly = resultCode(query.lastError()) == 8; // read-only
                    }
                    query.exec("ROLLBACK");
                }
            }
            if (opening && result.error.isEmpty()) {
                if (const QSqlError look = firstLook(db, entities); look.type() != QSqlError::NoError)
                    failed(look);
            }
            if (!result.error.isEmpty())
                db.close();
        }
    }
    if (!result.error.isEmpty()) {
        QSqlDatabase::removeDatabase(connection);
        if (result.error.trimmed().isEmpty())
            result.error = QStringLiteral("unknown error");
    }
    return result;
}

QSqlError ModelContext::createSchema(QSqlDatabase& db, const std::vector<const EntityDescription*>& entities) {
    QSqlQuery query(db);
    for (const EntityDescription* entity : entities) {
        QStringList defs;
        for (size_t i = 0; i < entity->columns.size(); ++i)
            defs << columnDefinition(entity->columns[i], i == 0);
        if (!query.exec("CREATE TABLE IF NOT EXISTS " + quoted(entity->table) + " (" + defs.join(", ") + ")"))
            return query.lastError();
        // Columns added in later versions are added to older stores.
        QSet<QString> existing;
        if (!query.exec("PRAGMA table_info(" + quoted(entity->table) + ")"))
            return query.lastError();
        while (query.next())
            existing.insert(query.value(1).toString());
        for (size_t i = 1; i < entity->columns.size(); ++i) {
            const EntityColumn& column = entity->columns[i];
            if (existing.contains(column.name))
                continue;
            if (!query.exec("ALTER TABLE " + quoted(entity->table) + " ADD COLUMN " + columnDefinition(column, false)))
                return query.lastError();
        }
    }
    return {};
}

ModelContext::ModelContext(const QString& connection, const QString& path, bool inMemory,
                           std::vector<const EntityDescription*> entities)
    : connection_(connection), path_(path), inMemory_(inMemory), entities_(std::move(entities)) {
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, [this] { retryPendingChanges(); });
}

ModelContext::~ModelContext() {
    retryTimer_.stop();
    // Changes made since the journal was last written are kept too.
    if (journalActive_ && journalWriteScheduled_)
        writeJournal();
    if (journalActive_ && !journalHoldsChanges())
        Log::line(QStringLiteral("❌ [Store] %1 unsaved changes could be written neither to the store nor to a "
                                 "journal and are lost: %2")
                      .arg(pending_.size() + deleted_.size())
                      .arg(journalFailure_));
    releaseJournal();
    for (const auto& record : std::as_const(registry_))
        record->context_ = nullptr;
    registry_.clear();
    deleted_.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

QSqlDatabase ModelContext::database() const {
    return QSqlDatabase::database(connection_, false);
}

QString ModelContext::key(const EntityDescription& entity, const QString& identity) {
    return entity.table + QChar(0x1f) + identity;
}

std::optional<QList<std::shared_ptr<PersistentModel>>> ModelContext::fetchAll(const EntityDescription& entity,
                                                                              QString* error) {
    // One query for the whole table. Picture columns stay in the store until a record's getter asks for them,
    // so a list of thousands of clips costs what its texts and numbers cost.
    QStringList names;
    QStringList presence; // whether each lazy column holds a value: read from the row header, not the value
    std::vector<const EntityColumn*> eager;
    for (const EntityColumn& column : entity.columns) {
        if (column.lazy) {
            presence << "typeof(" + quoted(column.name) + ") <> 'null'";
            continue;
        }
        names << quoted(column.name);
        eager.push_back(&column);
    }
    const bool hasLazy = !presence.isEmpty();
    names += presence;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec("SELECT " + names.join(", ") + " FROM " + quoted(entity.table) + " ORDER BY rowid")) {
        noteDamage(query.lastError());
        if (error)
            *error = lastError(query);
        return std::nullopt;
    }

    struct Link {
        PersistentModel* record;
        const EntityColumn* column;
        QVariant value;
    };
    QList<Link> links; // resolved once the table has been read: a link may point into this same table
    QList<std::shared_ptr<PersistentModel>> result;
    QSet<PersistentModel*> seen;
    while (query.next()) {
        const QString identity = query.value(0).toString();
        const QString recordKey = key(entity, identity);
        if (auto it = registry_.constFind(recordKey); it != registry_.cend()) {
            if (!it.value()->deleted_) { // a record deleted but not saved yet stays out
                seen.insert(it.value().get());
                result.append(it.value());
            }
            continue;
        }
        auto record = entity.make();
        record->context_ = this;
        record->loading_ = true;
        record->sequence_ = ++sequence_;
        record->lazyPending_ = hasLazy;
        for (qsizetype i = 0; i < presence.size() && i < 64; ++i) {
            if (query.value(int(eager.size() + i)).toBool())
                record->lazyPresent_ |= quint64(1) << i;
        }
        registry_.insert(recordKey, record);
        for (size_t i = 0; i < eager.size(); ++i) {
            QVariant value = query.value(int(i));
            if (value.isNull())
                value = QVariant();
            if (eager[i]->type == EntityColumn::Type::Reference && value.isValid())
                links.append({record.get(), eager[i], value});
            else
                eager[i]->load(*record, value, *this);
        }
        record->loading_ = false;
        seen.insert(record.get());
        result.append(std::move(record));
    }
    // A row that cannot be read ends the scan: the table is not listed as if it ended there.
    const QSqlError scan = query.lastError();
    query.finish();
    for (const Link& link : std::as_const(links)) {
        link.record->loading_ = true;
        link.column->load(*link.record, link.value, *this);
        link.record->loading_ = false;
    }
    if (scan.type() != QSqlError::NoError) {
        noteDamage(scan);
        if (error)
            *error = scan.text();
        return std::nullopt;
    }

    // Then records inserted since the last save, oldest first.
    QList<std::shared_ptr<PersistentModel>> unsaved;
    for (const auto& record : std::as_const(registry_)) {
        if (&record->entity() == &entity && !record->deleted_ && !seen.contains(record.get()))
            unsaved.append(record);
    }
    std::sort(unsaved.begin(), unsaved.end(), [](const auto& a, const auto& b) { return a->sequence_ < b->sequence_; });
    result.append(unsaved);
    return result;
}

void ModelContext::loadLazyColumns(PersistentModel& record) {
    const EntityDescription& entity = record.entity();
    QStringList names;
    std::vector<const EntityColumn*> lazy;
    for (const EntityColumn& column : entity.columns) {
        if (column.lazy) {
            names << quoted(column.name);
            lazy.push_back(&column);
        }
    }
    if (lazy.empty())
        return;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare("SELECT " + names.join(", ") + " FROM " + quoted(entity.table) + " WHERE id = ?");
    query.addBindValue(record.identity());
    const bool found = query.exec() && query.next();
    if (query.lastError().type() != QSqlError::NoError) {
        // Still pending: a save leaves the stored pictures as they are rather than writing them empty.
        record.lazyPending_ = true;
        Log::line("❌ [Store] Pictures could not be read: " + lastError(query));
        noteDamage(query.lastError());
        return;
    }
    if (!found)
        return; // the row has gone (deleted through another context): nothing to read
    record.loading_ = true;
    for (size_t i = 0; i < lazy.size(); ++i) {
        QVariant value = query.value(int(i));
        lazy[i]->load(record, value.isNull() ? QVariant() : value, *this);
    }
    record.loading_ = false;
}

std::shared_ptr<PersistentModel> ModelContext::loadOne(const EntityDescription& entity, const QString& identity) {
    if (auto it = registry_.constFind(key(entity, identity)); it != registry_.cend())
        return it.value()->deleted_ ? nullptr : it.value();
    QSqlQuery query(database());
    query.prepare("SELECT * FROM " + quoted(entity.table) + " WHERE id = ?");
    query.addBindValue(identity);
    if (!query.exec() || !query.next()) {
        noteDamage(query.lastError());
        return nullptr;
    }
    const QSqlRecord row = query.record();
    auto record = entity.make();
    record->context_ = this;
    record->loading_ = true;
    record->sequence_ = ++sequence_;
    // Register before loading links, so a record that links back to itself finds this object.
    registry_.insert(key(entity, identity), record);
    for (const EntityColumn& column : entity.columns) {
        const int index = row.indexOf(column.name);
        QVariant value = index >= 0 ? row.value(index) : QVariant();
        if (value.isNull())
            value = QVariant();
        column.load(*record, value, *this);
    }
    record->loading_ = false;
    return record;
}

void ModelContext::insert(const std::shared_ptr<PersistentModel>& record) {
    if (!record || record->context_ == this)
        return;
    const QString k = key(record->entity(), record->identity());
    if (auto it = registry_.find(k); it != registry_.end() && it.value() != record) {
        // A second record with a stored identity replaces the first (upsert on save).
        pending_.remove(it.value().get());
        it.value()->context_ = nullptr;
        registry_.erase(it);
    }
    record->context_ = this;
    record->deleted_ = false;
    record->dirty_ = true;
    record->sequence_ = ++sequence_;
    registry_.insert(k, record);
    pending_.insert(record.get());
    scheduleJournalWrite();
    scheduleAutosave();
}

void ModelContext::remove(PersistentModel* record) {
    if (!record || record->context_ != this || record->deleted_)
        return;
    const QString k = key(record->entity(), record->identity());
    auto it = registry_.find(k);
    if (it == registry_.end())
        return;
    remove(it.value());
}

void ModelContext::remove(const std::shared_ptr<PersistentModel>& record) {
    if (!record || record->context_ != this || record->deleted_)
        return;
    record->loadLazyColumns(); // a removed record keeps its pictures once it has left the store
    record->deleted_ = true;
    pending_.remove(record.get());
    deleted_.append(record);

    // Nullify every link that points at the deleted record.
    const QString table = record->entity().table;
    const QString identity = record->identity();
    for (const auto& other : std::as_const(registry_)) {
        if (other->deleted_)
            continue;
        for (const EntityColumn& column : other->entity().columns) {
            if (column.type != EntityColumn::Type::Reference || column.referencedTable != table)
                continue;
            if (column.read(*other).toString() == identity) {
                column.load(*other, QVariant(), *this);
                other->dirty_ = true;
                pending_.insert(other.get());
                emit other->changed();
            }
        }
    }
    scheduleJournalWrite();
    scheduleAutosave();
}

void ModelContext::restore(const std::shared_ptr<PersistentModel>& record) {
    if (!record || record->context_ != this || !record->deleted_)
        return;
    deleted_.removeAll(record);
    record->deleted_ = false;
    if (record->dirty_)
        pending_.insert(record.get());
    scheduleJournalWrite();
}

bool ModelContext::hasChanges() const {
    return !pending_.isEmpty() || !deleted_.isEmpty();
}

bool ModelContext::save(QString* error) {
    if (!hasChanges()) {
        settle();
        return true;
    }
    QSqlDatabase db = database();
    auto fail = [&](const QSqlError& failure) {
        db.rollback();
        noteDamage(failure);
        const QString text =
            failure.text().trimmed().isEmpty() ? QStringLiteral("the store refused the change") : failure.text();
        if (error)
            *error = text;
        keepForLater(text, resultCode(failure));
        return false;
    };
    if (!db.transaction())
        return fail(db.lastError());
    // Rows are written in the order the records were inserted or loaded, so the store's order follows it.
    QList<PersistentModel*> ordered(pending_.cbegin(), pending_.cend());
    std::sort(ordered.begin(), ordered.end(),
              [](const PersistentModel* a, const PersistentModel* b) { return a->sequence_ < b->sequence_; });
    {
        QSqlQuery query(db);
        for (const auto& record : std::as_const(deleted_)) {
            query.prepare("DELETE FROM " + quoted(record->entity().table) + " WHERE id = ?");
            query.addBindValue(record->identity());
            if (!query.exec())
                return fail(query.lastError());
        }
        for (PersistentModel* record : std::as_const(ordered)) {
            const EntityDescription& entity = record->entity();
            // Pictures never read are still as stored: they are left out rather than written back.
            std::vector<const EntityColumn*> written;
            for (const EntityColumn& column : entity.columns) {
                if (!column.lazy || !record->lazyPending_)
                    written.push_back(&column);
            }
            QStringList names, marks, updates;
            for (size_t i = 0; i < written.size(); ++i) {
                names << quoted(written[i]->name);
                marks << "?";
                if (i > 0)
                    updates << quoted(written[i]->name) + " = excluded." + quoted(written[i]->name);
            }
            QString sql = "INSERT INTO " + quoted(entity.table) + " (" + names.join(", ") + ") VALUES (" +
                          marks.join(", ") + ") ON CONFLICT(id) DO ";
            sql += updates.isEmpty() ? QStringLiteral("NOTHING") : "UPDATE SET " + updates.join(", ");
            query.prepare(sql);
            for (const EntityColumn* column : written) {
                QVariant value = column->read(*record);
                if (!value.isValid())
                    value = QVariant(column->type == EntityColumn::Type::Blob ? QMetaType::fromType<QByteArray>()
                                                                              : QMetaType::fromType<QString>());
                query.addBindValue(value);
            }
            if (!query.exec())
                return fail(query.lastError());
        }
    }
    if (!db.commit())
        return fail(db.lastError());

    QList<std::shared_ptr<PersistentModel>> written;
    written.reserve(ordered.size());
    for (PersistentModel* record : std::as_const(ordered)) {
        record->dirty_ = false;
        if (auto kept = registry_.value(key(record->entity(), record->identity())))
            written.append(std::move(kept));
    }
    pending_.clear();
    for (const auto& record : std::as_const(deleted_)) {
        registry_.remove(key(record->entity(), record->identity()));
        record->context_ = nullptr;
    }
    const QList<std::shared_ptr<PersistentModel>> removed = std::exchange(deleted_, {});
    settle();
    emit recordsSaved(written, removed);
    emit didSave();
    return true;
}

void ModelContext::discardRemovals() {
    const auto removed = deleted_;
    for (const auto& record : removed)
        restore(record);
}

void ModelContext::setAutosaveEnabled(bool enabled) {
    autosave_ = enabled;
    if (enabled && hasChanges())
        scheduleAutosave();
}

void ModelContext::recordChanged(PersistentModel* record) {
    if (record->deleted_)
        return;
    pending_.insert(record);
    scheduleJournalWrite();
    scheduleAutosave();
}

void ModelContext::scheduleAutosave() {
    if (!autosave_ || autosaveScheduled_)
        return;
    autosaveScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        autosaveScheduled_ = false;
        QString error;
        if (hasChanges() && !save(&error))
            Log::line("❌ [Store] Autosave failed: " + error);
    });
}

void ModelContext::noteDamage(const QSqlError& error) {
    const int code = resultCode(error);
    if ((code != kCorrupt && code != kNotADatabase) || inMemory_ || damageNoted_)
        return;
    damageNoted_ = true;
    QFile note(damageNotePath(path_));
    if (!note.open(QIODevice::WriteOnly | QIODevice::Truncate) || note.write(error.text().toUtf8() + '\n') < 0) {
        Log::line(QStringLiteral("❌ [Store] The store at %1 reported damage (%2), and the note for the next start "
                                 "could not be written: %3")
                      .arg(path_, error.text(), note.errorString()));
        return;
    }
    Log::line(
        QStringLiteral("⚠️ [Store] The store at %1 reported damage (%2); it is checked when Orvane next starts.")
            .arg(path_, error.text()));
}

bool ModelContext::reconnect() {
    const QString candidate = QStringLiteral("orvane-store-%1").arg(++nextConnection);
    const Opened opened = tryOpen(candidate, path_, entities_, Access::writable, false);
    if (!opened.error.isEmpty())
        return false;
    if (opened.readOnly) {
        {
            QSqlDatabase db = QSqlDatabase::database(candidate, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(candidate);
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
    connection_ = candidate;
    readOnly_ = false;
    Log::line(QStringLiteral("💾 [Store] The store at %1 can be written again.").arg(path_));
    return true;
}
