#pragma once

#include "ModelContext.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

// Faults of the object store that tests inject from outside the context under test.

// Another program's lock: a second connection on the store's file holds the write lock until released.
class StoreLock {
public:
    explicit StoreLock(const QString& path) : name_(QStringLiteral("test-store-lock-%1").arg(++counter())) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name_);
        db.setDatabaseName(path);
        QSqlQuery query(db);
        held_ = db.open() && query.exec("BEGIN EXCLUSIVE");
        if (!held_)
            error_ = query.lastError().text() + db.lastError().text();
    }
    ~StoreLock() { release(); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    bool isHeld() const { return held_; }
    QString error() const { return error_; }
    void release() {
        if (name_.isEmpty())
            return;
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            if (held_)
                QSqlQuery(db).exec("ROLLBACK");
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
        name_.clear();
        held_ = false;
    }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    QString name_;
    QString error_;
    bool held_ = false;
};

// While it lives, stores open as a read-only file does (tests run as root, who may write any file).
class ReadOnlyStores {
public:
    ReadOnlyStores() { ModelContext::setOpenReadOnlyForTesting(true); }
    ~ReadOnlyStores() { ModelContext::setOpenReadOnlyForTesting(false); }
    ReadOnlyStores(const ReadOnlyStores&) = delete;
    ReadOnlyStores& operator=(const ReadOnlyStores&) = delete;
};
