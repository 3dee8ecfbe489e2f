#pragma once

#include "PersistentModel.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

template <class T>
struct FetchDescriptor {
    std::function<bool(const T&)> predicate;
    // Strict weak order; ties keep the store's order.
    std::function<bool(const T&, const T&)> sortedBefore;
};

// The object store's one context: records live in SQLite, one table per type, and each stored row is
// one object for the life of the context (identity map). Changes are kept until `save()`, which writes
// them in one transaction or, on failure, rolls the transaction back and reports. A fetch reads a table in
// one query without its picture columns; a record reads its pictures on first use, so a record that outlives
// its context has only the pictures it had read by then.
class ModelContext : public QObject {
    Q_OBJECT
public:
    // Opens (or creates) the store at `path` for the given record types. A file that is not a usable
    // store is moved aside (never deleted) and a new store is made; when even that fails the context
    // lives in memory. Either way the caller gets a working context and the console says what happened.
    static std::unique_ptr<ModelContext> open(const QString& path, std::vector<const EntityDescription*> entities);
    ~ModelContext() override;

    QString filePath() const { return path_; }
    bool isInMemory() const { return inMemory_; }
    // Where an unreadable store was moved when this context was opened; none when nothing was moved.
    std::optional<QString> keptAsidePath() const { return keptAside_; }

    template <class T>
    std::optional<QList<std::shared_ptr<T>>> fetch(const FetchDescriptor<T>& descriptor = {},
                                                   QString* error = nullptr);
    // The record with this identity (loaded from the store when not in memory yet), or null.
    template <class T>
    std::shared_ptr<T> object(const QString& identity);

    void insert(const std::shared_ptr<PersistentModel>& record);
    // Marks the record for deletion; links that point at it are cleared at once.
    void remove(const std::shared_ptr<PersistentModel>& record);
    void remove(PersistentModel* record);
    // Takes back a removal that has not been saved yet (after a failed save). Links the removal cleared stay
    // cleared until the next load.
    void restore(const std::shared_ptr<PersistentModel>& record);
    bool save(QString* error = nullptr);
    bool hasChanges() const;
    // Takes back every removal not saved yet.
    void discardRemovals();

    // When on, changes are saved on the next turn of the event loop; failures are logged.
    void setAutosaveEnabled(bool enabled);
    bool isAutosaveEnabled() const { return autosave_; }

    // For tests and diagnostics.
    QSqlDatabase database() const;

signals:
    void didSave();

private:
    friend class PersistentModel;
    ModelContext(const QString& connection, const QString& path, bool inMemory,
                 std::vector<const EntityDescription*> entities);

    static QString tryOpen(const QString& connection, const QString& path,
                           const std::vector<const EntityDescription*>& entities);
    static QString createSchema(QSqlDatabase& db, const std::vector<const EntityDescription*>& entities);

    std::optional<QList<std::shared_ptr<PersistentModel>>> fetchAll(const EntityDescription& entity, QString* error);
    std::shared_ptr<PersistentModel> loadOne(const EntityDescription& entity, const QString& identity);
    void loadLazyColumns(PersistentModel& record);
    void recordChanged(PersistentModel* record);
    void scheduleAutosave();
    static QString key(const EntityDescription& entity, const QString& identity);

    QString connection_;
    QString path_;
    bool inMemory_ = false;
    std::optional<QString> keptAside_;
    bool autosave_ = false;
    bool autosaveScheduled_ = false;
    quint64 sequence_ = 0;
    std::vector<const EntityDescription*> entities_;
    QHash<QString, std::shared_ptr<PersistentModel>> registry_;
    QSet<PersistentModel*> pending_; // registered records with unsaved changes
    QList<std::shared_ptr<PersistentModel>> deleted_;
};

template <class T>
std::optional<QList<std::shared_ptr<T>>> ModelContext::fetch(const FetchDescriptor<T>& descriptor, QString* error) {
    const auto all = fetchAll(T::description(), error);
    if (!all)
        return std::nullopt;
    QList<std::shared_ptr<T>> result;
    for (const auto& record : *all) {
        auto typed = std::static_pointer_cast<T>(record);
        if (!descriptor.predicate || descriptor.predicate(*typed))
            result.append(std::move(typed));
    }
    if (descriptor.sortedBefore) {
        std::stable_sort(result.begin(), result.end(),
                         [&](const auto& a, const auto& b) { return descriptor.sortedBefore(*a, *b); });
    }
    return result;
}

template <class T>
std::shared_ptr<T> ModelContext::object(const QString& identity) {
    return std::static_pointer_cast<T>(loadOne(T::description(), identity));
}
