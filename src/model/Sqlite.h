#pragma once

#include <QSqlError>
#include <QString>

// What the store needs to know of SQLite itself: its primary result codes and how names are quoted.
namespace Sqlite {

// Primary result codes.
constexpr int error = 1;
constexpr int internal = 2;
constexpr int permission = 3;
constexpr int busy = 5;
constexpr int locked = 6;
constexpr int readOnly = 8;
constexpr int ioError = 10;
constexpr int corrupt = 11;
constexpr int full = 13;
constexpr int cannotOpen = 14;
constexpr int tooBig = 18;
constexpr int constraint = 19;
constexpr int mismatch = 20;
constexpr int misuse = 21;
constexpr int range = 25;
constexpr int notADatabase = 26;

// The primary result code of a failure; 0 when unknown.
inline int resultCode(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? (code & 0xff) : 0;
}

inline QString quoted(const QString& name) {
    return '"' + name + '"';
}

} // namespace Sqlite
