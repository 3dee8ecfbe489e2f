#include "StoreOpener.h"

#include "CheckedWrite.h"
#include "Log.h"
#include "NoReplaceMove.h"
#include "Sqlite.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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

// Opening failures that come from not being allowed to write, not from an unreadable file.
bool cannotWrite(int code) {
    using namespace Sqlite;
    return code == permission || code == busy || code == locked || code == readOnly || code == ioError ||
           code == cannotOpen;
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

QString columnDefinition(const EntityColumn& column, bool isId) {
    QString def = Sqlite::quoted(column.name) + ' ' + sqlType(column.type);
    if (isId)
        def += " PRIMARY KEY NOT NULL";
    if (column.type == EntityColumn::Type::Reference) {
        def += " REFERENCES " + Sqlite::quoted(column.referencedTable) +
               "(id) ON DELETE SET NULL DEFERRABLE INITIALLY DEFERRED";
    }
    return def;
}

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
        const QString table = Sqlite::quoted(entity->table);
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

QJsonArray recoveredJson(const QList<StoreOpener::RecoveredRecords>& recovered) {
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
        if (!info.exec("PRAGMA table_info(" + Sqlite::quoted(entity.table) + ")"))
            return 0;
        while (info.next())
            present.insert(info.value(1).toString());
        QStringList names;
        for (const EntityColumn& column : entity.columns) {
            if (present.contains(column.name))
                names << Sqlite::quoted(column.name);
        }
        if (names.isEmpty() || !present.contains(entity.columns.front().name))
            return 0;
        table_ = Sqlite::quoted(entity.table);
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

QSqlError createSchema(QSqlDatabase& db, const std::vector<const EntityDescription*>& entities) {
    QSqlQuery query(db);
    for (const EntityDescription* entity : entities) {
        QStringList defs;
        for (size_t i = 0; i < entity->columns.size(); ++i)
            defs << columnDefinition(entity->columns[i], i == 0);
        if (!query.exec("CREATE TABLE IF NOT EXISTS " + Sqlite::quoted(entity->table) + " (" + defs.join(", ") + ")"))
            return query.lastError();
        // Columns added in later versions are added to older stores.
        QSet<QString> existing;
        if (!query.exec("PRAGMA table_info(" + Sqlite::quoted(entity->table) + ")"))
            return query.lastError();
        while (query.next())
            existing.insert(query.value(1).toString());
        for (size_t i = 1; i < entity->columns.size(); ++i) {
            const EntityColumn& column = entity->columns[i];
            if (existing.contains(column.name))
                continue;
            if (!query.exec("ALTER TABLE " + Sqlite::quoted(entity->table) + " ADD COLUMN " +
                            columnDefinition(column, false)))
                return query.lastError();
        }
    }
    return {};
}
} // namespace

QString StoreOpener::newConnection() {
    return QStringLiteral("orvane-store-%1").arg(++nextConnection);
}

void StoreOpener::close(const QString& connection) {
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

bool StoreOpener::isDamage(int code) {
    return code == Sqlite::corrupt || code == Sqlite::notADatabase;
}

QString StoreOpener::damageNotePath(const QString& path) {
    return path + QStringLiteral(".damaged");
}

bool StoreOpener::hasSetAsideNote(const QString& path) {
    return QFileInfo::exists(setAsideNotePath(path));
}

bool StoreOpener::removeSetAsideNote(const QString& path) {
    return QFile::remove(setAsideNotePath(path)) || !hasSetAsideNote(path);
}

void StoreOpener::setOpenReadOnlyForTesting(bool readOnly) {
    openReadOnlyForTesting = readOnly;
}

StoreOpener::Outcome StoreOpener::open(const QString& path, const Entities& entities) {
    const QString connection = newConnection();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const auto made = [&connection](bool inMemory, std::optional<QString> aside, bool readOnly,
                                    QList<RecoveredRecords> recovered = {}) {
        return Outcome{connection, inMemory, readOnly, std::move(aside), std::move(recovered)};
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
        close(connection);
        candidate.error = "integrity check failed: " + problem;
        candidate.code = Sqlite::corrupt;
        return true;
    };

    Opened opened = tryOpen(connection, path, entities, Access::writable);
    const bool damaged = confirmedDamage(opened);
    if (opened.error.isEmpty()) {
        if (opened.readOnly)
            Log::line(
                QStringLiteral("⚠️ [Store] The object store at %1 cannot be written; it was opened read-only.")
                    .arg(path));
        return made(false, std::nullopt, opened.readOnly);
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
                return made(false, std::nullopt, true);
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
                QList<RecoveredRecords> recovered;
                if (!opened.readOnly)
                    recovered = recoverRows(aside, connection, entities);
                writeSetAsideNote(path, {{"store", aside}, {"recovered", recoveredJson(recovered)}});
                return made(false, keptAside, opened.readOnly, recovered);
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
    return made(true, keptAside, false);
}

StoreOpener::Opened StoreOpener::tryOpen(const QString& connection, const QString& path, const Entities& entities,
                                         Access access, bool opening) {
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
    const bool memory = path == ":memory:";
    if (access == Access::writable && !memory)
        makeSideFilesWritable(path);
    Opened result;
    const auto failed = [&result](const QSqlError& error) {
        result.error = error.text();
        result.code = Sqlite::resultCode(error);
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
                            result.readOnly = Sqlite::resultCode(query.lastError()) == Sqlite::readOnly;
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

QList<StoreOpener::RecoveredRecords> StoreOpener::recoverRows(const QString& damaged, const QString& connection,
                                                              const Entities& entities) {
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
                    unlink.exec("UPDATE " + Sqlite::quoted(entity->table) + " SET " + Sqlite::quoted(column.name) +
                                " = NULL WHERE " + Sqlite::quoted(column.name) + " NOT IN (SELECT id FROM " +
                                Sqlite::quoted(column.referencedTable) + ")");
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

StoreOpener::EarlierSetAside StoreOpener::takeSetAsideNote(const QString& path, const QString& connection,
                                                           const Entities& entities, bool canWrite) {
    EarlierSetAside earlier;
    QFile file(setAsideNotePath(path));
    if (!file.exists())
        return earlier;
    earlier.noted = true;
    constexpr qint64 kMaxNote = 64 * 1024;
    const QJsonObject note =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.read(kMaxNote)).object() : QJsonObject();
    QString store = note.value("store").toString();
    if (store.isEmpty()) {
        // Written empty on a full disk: the store moved right after is the newest one kept aside.
        const QFileInfo info(path);
        const QDir folder(info.absolutePath());
        for (const QString& name : folder.entryList({info.fileName() + ".unreadable-*"}, QDir::Files, QDir::Name)) {
            if (!name.endsWith("-wal") && !name.endsWith("-shm"))
                store = folder.filePath(name);
        }
    }
    if (store.isEmpty() || !QFileInfo::exists(store))
        return earlier;
    earlier.store = store;
    earlier.recoveryUnfinished = !note.value("recovered").isArray();
    if (earlier.recoveryUnfinished && canWrite) {
        // That start was ended while it copied: rows it copied already are not copied twice.
        earlier.recovered = recoverRows(store, connection, entities);
        writeSetAsideNote(path, {{"store", store}, {"recovered", recoveredJson(earlier.recovered)}});
        earlier.recoveryUnfinished = false;
        return earlier;
    }
    for (const QJsonValue& table : note.value("recovered").toArray()) {
        const QJsonObject entry = table.toObject();
        earlier.recovered.append({entry.value("table").toString(), entry.value("count").toInt()});
    }
    return earlier;
}

std::optional<QString> StoreOpener::reconnect(const QString& path, const Entities& entities) {
    const QString candidate = newConnection();
    const Opened opened = tryOpen(candidate, path, entities, Access::writable, false);
    if (!opened.error.isEmpty())
        return std::nullopt;
    if (opened.readOnly) {
        close(candidate);
        return std::nullopt;
    }
    return candidate;
}
