#pragma once

#include <QString>

// Moves a file onto a name that must not exist yet. QFile::rename() is not enough: when the target
// appears after its own existence check it copies over it with truncation and reports success. Here
// the name is claimed in one step, so of two movers racing for one name exactly one wins.
namespace NoReplaceMove {

enum class Outcome { moved, nameTaken, failed };

struct Result {
    Outcome outcome = Outcome::failed;
    QString error; // when failed
};

// Both paths on one file system (a rename, never a copy).
Result move(const QString& from, const QString& to);

} // namespace NoReplaceMove
