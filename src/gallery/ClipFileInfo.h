#pragma once

#include <QDateTime>
#include <QString>

// What the gallery reads of a file, reached through its exact name bytes (FileNames), so a clip whose name
// is not UTF-8 is read like any other.
struct ClipFileInfo {
    bool exists = false;
    bool isFile = false;
    qint64 size = 0;
    QDateTime created;       // creation time, else the last modification; invalid when unknown
    qint64 modifiedSecs = 0; // since 1970

    static ClipFileInfo of(const QString& path);
};
