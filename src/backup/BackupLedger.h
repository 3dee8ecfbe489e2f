#pragma once

#include "BackupPictures.h"
#include "BackupRecordsText.h"

#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class ModelContext;

// What the current backup holds, and what changed in the store since it was written: so that the next backup
// carries over the pictures whose stored bytes did not change instead of writing them again, and writes again
// only the records file's entries of the rows that changed.
//
// A picture is vouched for when a backup took it from the store (or carried it over) and its row has not changed
// since. Changes are seen on the store's own connection: triggers of this ledger log every row of the record
// tables that is inserted, deleted or updated (and whether its pictures changed), and the connection's data
// version tells when another connection wrote. Nothing else is trusted: a new connection, a folder that is not
// the one the ledger describes, or an unreadable log leaves nothing vouched for, and the next backup writes
// everything.
//
// Across processes the ledger is kept in a note in the data folder. The next process takes it over only when
// nothing was written through its store connection before the ledger began to watch it: the pictures whose
// stored size still matches, and the records file when it is the one the note describes and each table still
// holds its rows. The first save that changes a row removes the note, so a process that ends without a backup
// after such a save leaves none behind. Another program writing the store between two runs is not looked for
// beyond those sizes and row counts.
class BackupLedger {
public:
    // A picture → its file as the backup wrote it (the size is the stored picture's).
    using Entries = QHash<BackupPictures::Key, BackupPictures::Written>;

    // What a backup may rely on.
    struct Knowledge {
        Entries pictures;       // still holding their record's stored bytes
        bool picturesUnchanged; // no picture was added, removed or written since the last backup
        // The last records file, when the rows changed since are known exactly; they are in `changedRows`.
        const BackupRecordsText* records;
        BackupRecordsText::Changes changedRows;
    };

    BackupLedger() = default;
    ~BackupLedger();
    BackupLedger(const BackupLedger&) = delete;
    BackupLedger& operator=(const BackupLedger&) = delete;

    // Starts watching the store of `context` (none: stops); `notePath` is where the ledger is kept between
    // processes. Giving the same context again changes nothing.
    void attach(ModelContext* context, const std::optional<QString>& notePath);
    // Called on the first save after a backup that changed a row: the next backup is going to need its pictures.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

    // What the next backup of the pictures folder `imagesFolder` may rely on, once every change the store saw
    // since the last backup is taken in.
    Knowledge knowledge(const QString& imagesFolder);
    // The pictures vouched for now, without taking in changes (for preparing the next backup).
    const Entries& pictures() const { return entries_; }
    std::optional<BackupPictures::FileId> folder() const { return folder_; }

    // `imagesFolder` and `recordsFile` now hold a whole backup, of which `entries` hold their record's stored
    // bytes; `records` is the records file's text when it was written from a store without unsaved changes.
    void record(const QString& imagesFolder, Entries entries, std::optional<BackupRecordsText> records,
                const QString& recordsFile);
    // The backup is gone: nothing is vouched for any more, here or in the note.
    void forget();

private:
    bool startWatching();
    void stopWatching();
    bool stillWatching() const;
    std::optional<qint64> dataVersion() const;
    // Moves what the log holds into what the ledger knows, then empties the log; false when it cannot be read.
    bool takeInChanges();
    bool logIsEmpty() const;
    void adoptNote();
    void writeNote(const QString& recordsFile);
    void removeNote();
    void clear();
    void onSaved();

    QPointer<ModelContext> context_;
    std::optional<QString> notePath_;
    QString connection_;
    QString log_; // this ledger's log table in the connection's temporary schema
    QStringList triggers_;
    QMetaObject::Connection saved_;
    std::function<void()> changed_;
    bool watching_ = false;
    bool cleanStart_ = false;     // nothing had been written through the connection when watching began
    bool noteConsidered_ = false; // an earlier process's note is taken over at most once
    std::optional<qint64> dataVersion_;
    std::optional<BackupPictures::FileId> folder_; // the pictures folder the entries describe
    Entries entries_;
    bool picturesUnchanged_ = false;
    std::optional<BackupRecordsText> records_;
    BackupRecordsText::Changes changedRows_;
    bool noteOnDisk_ = false; // the note this ledger wrote or took over is there and still true
    bool changeReported_ = false;
};
