#pragma once

#include "ModelContext.h"

#include <QFile>
#include <QList>
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

// Damage on disk: the first page of `table`, which opening reads, the page holding its last rows or one holding rows
// in the middle, where opening does not look (its rows must fill more than one page then), or the file's first page,
// which holds the schema. The store must be closed, so that its file holds every change. Keeps what was there, to
// repair it.
class DamagedPage {
public:
    enum class Where { first, last, middle, schema };
    DamagedPage(const QString& path, const QString& table, Where where = Where::last) : path_(path) {
        int pageSize = 0;
        qint64 root = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "test-damaged-page");
            db.setDatabaseName(path);
            QSqlQuery query(db);
            if (db.open() && query.exec("PRAGMA page_size") && query.next())
                pageSize = query.value(0).toInt();
            query.prepare("SELECT rootpage FROM sqlite_master WHERE type = 'table' AND name = ?");
            query.addBindValue(table);
            if (query.exec() && query.next())
                root = query.value(0).toLongLong();
            query.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("test-damaged-page");
        QFile file(path);
        if (pageSize <= 0 || root <= 0 || !file.open(QIODevice::ReadWrite) || !file.seek((root - 1) * pageSize))
            return;
        const QByteArray top = file.read(pageSize);
        const auto* bytes = reinterpret_cast<const uchar*>(top.constData());
        const auto number = [&](int at) {
            return (qint64(bytes[at]) << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
        };
        if (where == Where::schema) {
            offset_ = 0;
        } else if (where == Where::first) {
            offset_ = (root - 1) * pageSize;
        } else {
            if (top.size() != pageSize || top.at(0) != 0x05)
                return; // a table on one page: its first page is its last
            // An interior page of a table names its right-most child at offset 8, big-endian, and the others in its
            // cells (a 4-byte page number first), whose offsets follow the 12-byte header.
            const int cells = (bytes[3] << 8) | bytes[4];
            if (where == Where::last || cells < 2) {
                offset_ = (number(8) - 1) * pageSize;
            } else {
                const int at = 12 + 2 * (cells / 2);
                offset_ = (number((bytes[at] << 8) | bytes[at + 1]) - 1) * pageSize;
            }
        }
        if (!file.seek(offset_) || (original_ = file.read(pageSize)).size() != pageSize || !file.seek(offset_) ||
            file.write(QByteArray(pageSize, '\xff')) != pageSize)
            offset_ = -1;
    }

    bool isDone() const { return offset_ >= 0; }
    // The rowids of the rows the damaged page held, when it was a leaf of a table.
    QList<qint64> rowids() const {
        QList<qint64> ids;
        const auto* bytes = reinterpret_cast<const uchar*>(original_.constData());
        if (original_.size() < 8 || bytes[0] != 0x0d)
            return ids;
        const auto varint = [&](int& at) {
            qint64 value = 0;
            for (int i = 0; i < 9 && at < original_.size(); ++i) {
                const uchar byte = bytes[at++];
                if (i == 8)
                    return (value << 8) | byte;
                value = (value << 7) | (byte & 0x7f);
                if (!(byte & 0x80))
                    break;
            }
            return value;
        };
        const int cells = (bytes[3] << 8) | bytes[4];
        for (int i = 0; i < cells; ++i) {
            int at = (bytes[8 + 2 * i] << 8) | bytes[9 + 2 * i];
            varint(at); // the payload's size
            ids << varint(at);
        }
        return ids;
    }
    bool repair() {
        QFile file(path_);
        return isDone() && file.open(QIODevice::ReadWrite) && file.seek(offset_) &&
               file.write(original_) == original_.size();
    }

private:
    QString path_;
    qint64 offset_ = -1;
    QByteArray original_;
};
