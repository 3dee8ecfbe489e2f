#include "ModelContext.h"

#include "Log.h"
#include "NoReplaceMove.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>

namespace {
int nextConnection = 0;

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
        def += " REFERENCES " + quoted(column.referencedTable) +
               "(id) ON DELETE SET NULL DEFERRABLE INITIALLY DEFERRED";
    }
    return def;
}

QString lastError(const QSqlQuery& query) {
    return query.lastError().text();
}
} // namespace

std::unique_ptr<ModelContext> ModelContext::open(const QString& path, std::vector<const EntityDescription*> entities) {
    const QString connection = QStringLiteral("orvane-store-%1").arg(++nextConnection);
    QDir().mkpath(QFileInfo(path).absolutePath());
    const auto make = [&](bool inMemory, std::optional<QString> aside) {
        std::unique_ptr<ModelContext> context(new ModelContext(connection, path, inMemory, std::move(entities)));
        context->keptAside_ = std::move(aside);
        return context;
    };

    QString error = tryOpen(connection, path, entities);
    if (error.isEmpty())
        return make(false, std::nullopt);

    Log::line(QStringLiteral("❌ [Store] The object store at %1 could not be opened: %2").arg(path, error));
    std::optional<QString> keptAside;
    if (QFileInfo::exists(path)) {
        const QString aside =
            path + ".unreadable-" + QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss-zzz");
        // Never over another kept-aside store: that would lose it.
        const bool moved = NoReplaceMove::move(path, aside).outcome == NoReplaceMove::Outcome::moved;
        if (moved) {
            keptAside = aside;
            for (const char* suffix : {"-wal", "-shm"}) {
                if (QFileInfo::exists(path + suffix))
                    NoReplaceMove::move(path + suffix, aside + suffix);
            }
            Log::line(QStringLiteral("⚠️ [Store] The unreadable store was kept at %1; a new store was created.")
                          .arg(aside));
            error = tryOpen(connection, path, entities);
            if (error.isEmpty())
                return make(false, keptAside);
            Log::line(QStringLiteral("❌ [Store] A new store could not be created at %1: %2").arg(path, error));
        } else {
            Log::line(
                QStringLiteral("⚠️ [Store] The unreadable store could not be moved aside; it was left in place."));
        }
    }
    Log::line(QStringLiteral("⚠️ [Store] Working with a store in memory: nothing will be kept after quitting."));
    error = tryOpen(connection, ":memory:", entities);
    if (!error.isEmpty())
        Log::line(QStringLiteral("❌ [Store] The in-memory store failed too: %1").arg(error));
    return make(true, keptAside);
}

QString ModelContext::tryOpen(const QString& connection, const QString& path,
                              const std::vector<const EntityDescription*>& entities) {
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", connection);
        db.setDatabaseName(path);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery query(db);
            const bool memory = path == ":memory:";
            if (!query.exec("PRAGMA quick_check(1)") || !query.next())
                error = lastError(query);
            else if (query.value(0).toString() != "ok")
                error = "integrity check failed: " + query.value(0).toString();
            else if (!memory && !query.exec("PRAGMA journal_mode=WAL"))
                error = lastError(query);
            else if (!query.exec("PRAGMA foreign_keys=ON"))
                error = lastError(query);
            else
                error = createSchema(db, entities);
            if (!error.isEmpty())
                db.close();
        }
    }
    if (!error.isEmpty())
        QSqlDatabase::removeDatabase(connection);
    return error.isEmpty() ? QString() : (error.trimmed().isEmpty() ? QStringLiteral("unknown error") : error);
}

QString ModelContext::createSchema(QSqlDatabase& db, const std::vector<const EntityDescription*>& entities) {
    QSqlQuery query(db);
    for (const EntityDescription* entity : entities) {
        QStringList defs;
        for (size_t i = 0; i < entity->columns.size(); ++i)
            defs << columnDefinition(entity->columns[i], i == 0);
        if (!query.exec("CREATE TABLE IF NOT EXISTS " + quoted(entity->table) + " (" + defs.join(", ") + ")"))
            return lastError(query);
        // Columns added in later versions are added to older stores.
        QSet<QString> existing;
        if (!query.exec("PRAGMA table_info(" + quoted(entity->table) + ")"))
            return lastError(query);
        while (query.next())
            existing.insert(query.value(1).toString());
        for (size_t i = 1; i < entity->columns.size(); ++i) {
            const EntityColumn& column = entity->columns[i];
            if (existing.contains(column.name))
                continue;
            if (!query.exec("ALTER TABLE " + quoted(entity->table) + " ADD COLUMN " + columnDefinition(column, false)))
                return lastError(query);
        }
    }
    return {};
}

ModelContext::ModelContext(const QString& connection, const QString& path, bool inMemory,
                           std::vector<const EntityDescription*> entities)
    : connection_(connection), path_(path), inMemory_(inMemory), entities_(std::move(entities)) {}

ModelContext::~ModelContext() {
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
    query.finish();
    for (const Link& link : std::as_const(links)) {
        link.record->loading_ = true;
        link.column->load(*link.record, link.value, *this);
        link.record->loading_ = false;
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
    if (!query.exec()) {
        // Still pending: a save leaves the stored pictures as they are rather than writing them empty.
        record.lazyPending_ = true;
        Log::line("❌ [Store] Pictures could not be read: " + lastError(query));
        return;
    }
    if (!query.next())
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
    if (!query.exec() || !query.next())
        return nullptr;
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
    scheduleAutosave();
}

void ModelContext::restore(const std::shared_ptr<PersistentModel>& record) {
    if (!record || record->context_ != this || !record->deleted_)
        return;
    deleted_.removeAll(record);
    record->deleted_ = false;
    if (record->dirty_)
        pending_.insert(record.get());
}

bool ModelContext::hasChanges() const {
    return !pending_.isEmpty() || !deleted_.isEmpty();
}

bool ModelContext::save(QString* error) {
    if (!hasChanges())
        return true;
    QSqlDatabase db = database();
    auto fail = [&](const QString& text) {
        db.rollback();
        if (error)
            *error = text.trimmed().isEmpty() ? QStringLiteral("the store refused the change") : text;
        return false;
    };
    if (!db.transaction())
        return fail(db.lastError().text());
    {
        QSqlQuery query(db);
        for (const auto& record : std::as_const(deleted_)) {
            query.prepare("DELETE FROM " + quoted(record->entity().table) + " WHERE id = ?");
            query.addBindValue(record->identity());
            if (!query.exec())
                return fail(lastError(query));
        }
        // Rows are written in the order the records were inserted or loaded, so the store's order follows it.
        QList<PersistentModel*> ordered(pending_.cbegin(), pending_.cend());
        std::sort(ordered.begin(), ordered.end(),
                  [](const PersistentModel* a, const PersistentModel* b) { return a->sequence_ < b->sequence_; });
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
                return fail(lastError(query));
        }
    }
    if (!db.commit())
        return fail(db.lastError().text());

    for (PersistentModel* record : std::as_const(pending_))
        record->dirty_ = false;
    pending_.clear();
    for (const auto& record : std::as_const(deleted_)) {
        registry_.remove(key(record->entity(), record->identity()));
        record->context_ = nullptr;
    }
    deleted_.clear();
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
