#pragma once

#include "PersistentModel.h"

#include <QList>
#include <QString>

#include <optional>
#include <vector>

// Opens the object store's SQLite file for its context. It makes or extends the schema, reads a store that may not
// be written as it is, and moves a store that cannot be read aside (never deleting it) for a new one, into which it
// copies what can still be read. Notes beside the store carry to the next start what one start could not finish: a
// query that met damage (the next opening checks the whole file) and a store moved aside (the user is told, the last
// backup kept, and an interrupted copy made).
class StoreOpener {
public:
    using Entities = std::vector<const EntityDescription*>;

    // How many records of a table were copied from a store kept aside.
    struct RecoveredRecords {
        QString table;
        int count = 0;
    };

    // What opening `path` gave: the store on a new connection, read-only when it cannot be written, or, when not
    // even a new store could be made, one in memory.
    struct Outcome {
        QString connection;
        bool inMemory = false;
        bool readOnly = false;
        std::optional<QString> keptAside; // where an unreadable store was moved
        QList<RecoveredRecords> recovered;
    };
    // Opening reads the schema and the first entries of each table, never the whole file. The console says what
    // happened.
    static Outcome open(const QString& path, const Entities& entities);

    // What an earlier start that moved the store aside left in its note.
    struct EarlierSetAside {
        bool noted = false;
        std::optional<QString> store; // where that store lies, when it is still there
        bool recoveryUnfinished = false;
        QList<RecoveredRecords> recovered;
    };
    // Reads the note beside `path`; a copy that start left unfinished is made into the store open on
    // `connection` when `canWrite`.
    static EarlierSetAside takeSetAsideNote(const QString& path, const QString& connection, const Entities& entities,
                                            bool canWrite);
    static bool hasSetAsideNote(const QString& path);
    // True when the note is gone.
    static bool removeSetAsideNote(const QString& path);

    // A new connection to the store at `path`, opened before: without the checks of a first opening. None when it
    // cannot be opened or still cannot be written.
    static std::optional<QString> reconnect(const QString& path, const Entities& entities);
    static void close(const QString& connection);

    // The file itself is damaged, or is not a store.
    static bool isDamage(int code);
    // Where a query's report of damage waits for the next opening, which then checks the whole file.
    static QString damageNotePath(const QString& path);

    // Tests run as root, for whom no file is read-only: this opens every store as a read-only file would.
    static void setOpenReadOnlyForTesting(bool readOnly);

private:
    enum class Access { writable, readOnly, immutable };
    struct Opened {
        QString error; // empty when open
        int code = 0;  // SQLite's primary result code of the failure
        bool readOnly = false;
    };
    static QString newConnection();
    // A first opening checks the file and may wait for a schema change; reconnecting does neither.
    static Opened tryOpen(const QString& connection, const QString& path, const Entities& entities, Access access,
                          bool opening = true);
    // Copies the rows that can still be read from a damaged store into the new, empty store open on `connection`.
    static QList<RecoveredRecords> recoverRows(const QString& damaged, const QString& connection,
                                               const Entities& entities);
};
