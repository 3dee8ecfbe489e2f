#pragma once

#include <QMetaType>
#include <QString>

// One change of the watched folder, as absolute file paths.
struct FileSystemEvent {
    enum class Kind { fileAdded, fileRemoved, fileRenamed, directoryChanged };

    Kind kind = Kind::directoryChanged;
    QString path;    // the entry (for a rename: its new path)
    QString oldPath; // a rename's old path

    static FileSystemEvent fileAdded(const QString& path) { return {Kind::fileAdded, path, {}}; }
    static FileSystemEvent fileRemoved(const QString& path) { return {Kind::fileRemoved, path, {}}; }
    static FileSystemEvent fileRenamed(const QString& oldPath, const QString& newPath) {
        return {Kind::fileRenamed, newPath, oldPath};
    }
    static FileSystemEvent directoryChanged() { return {}; }

    friend bool operator==(const FileSystemEvent&, const FileSystemEvent&) = default;
};
Q_DECLARE_METATYPE(FileSystemEvent)
