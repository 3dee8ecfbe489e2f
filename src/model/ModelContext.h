#pragma once

#include "PersistentModel.h"
#include "StoreOpener.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

template <class T> struct FetchDescriptor {
    std::function<bool(const T&)> predicate;
    // Strict weak order; ties keep the store's order.
    std::function<bool(const T&, const T&)> sortedBefore;
};

// The object store's one context: records live in SQLite, one table per type, and each stored row is
// one object for the life of the context (identity map). Changes are kept until `save()`, which writes
// them in one transaction or, on failure, rolls the transaction back and reports. A fetch reads a table in
// one query without its picture columns; a record reads its pictures on first use, so a record that outlives
// its context has only the pictures it had read by then.
//
// A save that fails because the store cannot be written for now (locked by another program, read-only, disk
// full, an I/O error) keeps its changes: they stay pending, are written to a journal beside the store, and
// are tried again by a retry with back-off, by the next save, or at the next start, when the journal is
// replayed. Store writes wait at most a few milliseconds for a lock, so a locked store never freezes the
// window. The user is told once per kind of record and cause that changes could not be saved yet.
class ModelContext : public QObject {
    Q_OBJECT
public:
    // Opens (or creates) the store at `path` for the given record types. A file that is not a usable
    // store is moved aside (never deleted) and a new store is made; when even that fails the context
    // lives in memory. Either way the caller gets a working context and the console says what happened.
    // Opening reads the schema and the first entries of each table, never the whole file. Damage that a later
    // query meets is noted beside the store; the next opening then checks the whole file and moves it aside
    // when the check confirms the damage.
    static std::unique_ptr<ModelContext> open(const QString& path, std::vector<const EntityDescription*> entities);
    ~ModelContext() override;

    QString filePath() const { return path_; }
    bool isInMemory() const { return inMemory_; }
    // Where an unreadable store was moved when this context was opened; none when nothing was moved.
    std::optional<QString> keptAsidePath() const { return keptAside_; }
    // A note beside the store is written before an unreadable store is moved aside and stays until the user was
    // told and the last backup, the only whole copy of the records, was kept. A start that was ended, or could not
    // keep the backup, leaves it to the next one.
    enum class SetAsideDuty { told = 1, backupKept = 2 };
    bool setAsideOutstanding() const { return setAsideNoted_; }
    void setAsideDutyDone(SetAsideDuty duty);
    // The store an earlier start moved aside without seeing to all that follows; recoveredRecords() then says what
    // was copied from it. A start ended while it copied leaves the copy to this opening; recoveryUnfinished() says
    // when this one could not do it either (the store is read-only or in memory).
    std::optional<QString> keptAsideEarlier() const { return keptAsideEarlier_; }
    bool recoveryUnfinished() const { return recoveryUnfinished_; }
    // What was copied from the store kept aside into the new one, by table in the order of the record types;
    // tables of which nothing could be read are left out. Empty when nothing was kept aside or nothing could be
    // read from it.
    using RecoveredRecords = StoreOpener::RecoveredRecords;
    QList<RecoveredRecords> recoveredRecords() const { return recovered_; }
    // Journals of earlier changes that were not (all) restored at opening, kept aside for the user.
    struct KeptJournal {
        enum class Why { unreadable, partlyRead, refused };
        Why why = Why::unreadable;
        QString path;    // the kept copy
        int leftOut = 0; // for partlyRead: the entries that could not be read
    };
    QList<KeptJournal> keptJournals() const { return keptJournals_; }
    // The store opened but cannot be written (its file, its folder or the disk is read-only). The application
    // announces this at start, so a failed save for this cause is not announced again.
    bool isReadOnly() const { return readOnly_; }

    template <class T>
    std::optional<QList<std::shared_ptr<T>>> fetch(const FetchDescriptor<T>& descriptor = {}, QString* error = nullptr);
    // The record with this identity (loaded from the store when not in memory yet), or null.
    template <class T> std::shared_ptr<T> object(const QString& identity);

    void insert(const std::shared_ptr<PersistentModel>& record);
    // Marks the record for deletion; links that point at it are cleared at once.
    void remove(const std::shared_ptr<PersistentModel>& record);
    void remove(PersistentModel* record);
    // Takes back a removal that has not been saved yet (after a failed save). Links the removal cleared stay
    // cleared until the next load.
    void restore(const std::shared_ptr<PersistentModel>& record);
    bool save(QString* error = nullptr);
    bool hasChanges() const;
    // True while changes wait for a store that cannot be written for now: they are kept and a retry is
    // scheduled. Callers keep such changes instead of taking them back.
    bool keepsChangesForLater() const { return journalActive_; }
    // Whether the changes that wait are all in a journal on disk, so that they survive quitting. False when
    // neither journal could be written (a full disk): they live in memory only then.
    bool journalHoldsChanges() const { return journalActive_ && journalOnDisk_ && journalFailure_.isEmpty(); }
    // The delay of the scheduled retry in milliseconds, or -1 when none is scheduled.
    int retryDelayMs() const { return retryTimer_.isActive() ? retryTimer_.interval() : -1; }
    // What the retry does: reopens a read-only store in case it can be written now, then saves.
    bool retryPendingChanges();
    // The journal beside the store, and where it goes when the store's folder cannot be written.
    QString journalPath() const;
    QString fallbackJournalPath() const;
    // Takes back every removal not saved yet.
    void discardRemovals();

    // When on, changes are saved on the next turn of the event loop; failures are logged.
    void setAutosaveEnabled(bool enabled);
    bool isAutosaveEnabled() const { return autosave_; }

    // For tests and diagnostics.
    QSqlDatabase database() const;
    // Tests run as root, for whom no file is read-only: this opens every store as a read-only file would.
    static void setOpenReadOnlyForTesting(bool readOnly);

signals:
    // After a successful save, just before didSave(): the records it wrote (inserted or changed) and those it
    // removed, so that a listener keeps its own view of them current without fetching whole tables again.
    void recordsSaved(const QList<std::shared_ptr<PersistentModel>>& written,
                      const QList<std::shared_ptr<PersistentModel>>& removed);
    void didSave();

private:
    friend class PersistentModel;
    ModelContext(const QString& connection, const QString& path, bool inMemory,
                 std::vector<const EntityDescription*> entities);

    // Journal of changes that could not be saved yet.
    void claimJournal();
    void releaseJournal();
    void replayJournal();
    // Returns how many entries could not be read and were left out.
    int applyJournal(const QJsonObject& journal);
    bool writeJournal();
    void clearJournal();
    void scheduleJournalWrite();
    void keepForLater(const QString& error, int code);
    void tellNotSaved(const QString& error, int code, bool kept);
    void scheduleRetry();
    bool reconnect();
    // Nothing waits any more: the journal goes and the retry stops.
    void settle();
    // A query met damage in the store's file. It is noted beside the store, and the next opening checks the whole
    // file and keeps it aside when the check confirms the damage; this session goes on with what can be read.
    void noteDamage(const QSqlError& error);

    std::optional<QList<std::shared_ptr<PersistentModel>>> fetchAll(const EntityDescription& entity, QString* error);
    std::shared_ptr<PersistentModel> loadOne(const EntityDescription& entity, const QString& identity);
    void loadLazyColumns(PersistentModel& record);
    void recordChanged(PersistentModel* record);
    void scheduleAutosave();
    static QString key(const EntityDescription& entity, const QString& identity);

    QString connection_;
    QString path_;
    bool inMemory_ = false;
    bool readOnly_ = false;
    bool ownsJournal_ = false;   // the first context of a store in this process replays and writes its journal
    bool journalActive_ = false; // changes wait in the journal
    bool journalOnDisk_ = false;
    bool journalElsewhere_ = false; // in the fallback folder, the store's own cannot be written
    bool journalWriteScheduled_ = false;
    bool quiet_ = false; // no notices while the journal is replayed at opening
    bool damageNoted_ = false;
    int lastFailureCode_ = 0;
    QString lastFailure_;    // the store's words for the last failed save
    QString journalFailure_; // why the last journal write failed; empty when it landed
    QByteArray journalBody_; // what the journal on disk holds, to skip writing it again unchanged
    QSet<QString> told_;     // notices already shown, by text and cause
    QTimer retryTimer_;
    int nextRetryDelayMs_ = 0;
    std::optional<QString> keptAside_;
    std::optional<QString> keptAsideEarlier_;
    bool recoveryUnfinished_ = false;
    bool setAsideNoted_ = false;
    int setAsideDutiesDone_ = 0;
    QList<RecoveredRecords> recovered_;
    QList<KeptJournal> keptJournals_;
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

template <class T> std::shared_ptr<T> ModelContext::object(const QString& identity) {
    return std::static_pointer_cast<T>(loadOne(T::description(), identity));
}
