#include "ModelContext.h"

#include "Log.h"
#include "Sqlite.h"
#include "StoreOpener.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>

namespace {
QString lastError(const QSqlQuery& query) {
    return query.lastError().text();
}
} // namespace

std::unique_ptr<ModelContext> ModelContext::open(const QString& path, std::vector<const EntityDescription*> entities) {
    StoreOpener::Outcome opened = StoreOpener::open(path, entities);
    std::unique_ptr<ModelContext> context(new ModelContext(opened.connection, path, opened.inMemory, entities));
    context->keptAside_ = std::move(opened.keptAside);
    context->recovered_ = std::move(opened.recovered);
    context->readOnly_ = opened.readOnly;
    if (!opened.inMemory)
        context->claimJournal();
    if (context->keptAside_) {
        context->setAsideNoted_ = StoreOpener::hasSetAsideNote(path);
    } else {
        StoreOpener::EarlierSetAside earlier = StoreOpener::takeSetAsideNote(
            path, context->connection_, context->entities_, !opened.inMemory && !opened.readOnly);
        context->setAsideNoted_ = earlier.noted;
        context->keptAsideEarlier_ = std::move(earlier.store);
        context->recoveryUnfinished_ = earlier.recoveryUnfinished;
        context->recovered_ = std::move(earlier.recovered);
    }
    return context;
}

void ModelContext::setAsideDutyDone(SetAsideDuty duty) {
    setAsideDutiesDone_ |= int(duty);
    if (!setAsideNoted_ || setAsideDutiesDone_ != (int(SetAsideDuty::told) | int(SetAsideDuty::backupKept)))
        return;
    if (StoreOpener::removeSetAsideNote(path_))
        setAsideNoted_ = false;
}

void ModelContext::setOpenReadOnlyForTesting(bool readOnly) {
    StoreOpener::setOpenReadOnlyForTesting(readOnly);
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
    StoreOpener::close(connection_);
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
            presence << "typeof(" + Sqlite::quoted(column.name) + ") <> 'null'";
            continue;
        }
        names << Sqlite::quoted(column.name);
        eager.push_back(&column);
    }
    const bool hasLazy = !presence.isEmpty();
    names += presence;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec("SELECT " + names.join(", ") + " FROM " + Sqlite::quoted(entity.table) + " ORDER BY rowid")) {
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
            names << Sqlite::quoted(column.name);
            lazy.push_back(&column);
        }
    }
    if (lazy.empty())
        return;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare("SELECT " + names.join(", ") + " FROM " + Sqlite::quoted(entity.table) + " WHERE id = ?");
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
    query.prepare("SELECT * FROM " + Sqlite::quoted(entity.table) + " WHERE id = ?");
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
        keepForLater(text, Sqlite::resultCode(failure));
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
            query.prepare("DELETE FROM " + Sqlite::quoted(record->entity().table) + " WHERE id = ?");
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
                names << Sqlite::quoted(written[i]->name);
                marks << "?";
                if (i > 0)
                    updates << Sqlite::quoted(written[i]->name) + " = excluded." + Sqlite::quoted(written[i]->name);
            }
            QString sql = "INSERT INTO " + Sqlite::quoted(entity.table) + " (" + names.join(", ") + ") VALUES (" +
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
    if (!StoreOpener::isDamage(Sqlite::resultCode(error)) || inMemory_ || damageNoted_)
        return;
    damageNoted_ = true;
    QFile note(StoreOpener::damageNotePath(path_));
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
    const std::optional<QString> candidate = StoreOpener::reconnect(path_, entities_);
    if (!candidate)
        return false;
    StoreOpener::close(connection_);
    connection_ = *candidate;
    readOnly_ = false;
    Log::line(QStringLiteral("💾 [Store] The store at %1 can be written again.").arg(path_));
    return true;
}
