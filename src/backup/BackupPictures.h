#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <array>
#include <optional>
#include <vector>

// Where each stored picture goes in a backup's pictures folder, and which file a path names.
namespace BackupPictures {

struct Column {
    const char* table;  // the record type's table in the store
    const char* column; // its picture column
    const char* folder; // the folder under "UserImages"
    const char* suffix; // what follows the record's id in the file name
};

inline constexpr std::array<Column, 4> columns = {{
    {"VideoMetadata", "firstFrameImageData", "VideoMetadata", "_first_frame.jpg"},
    {"VideoMetadata", "lastFrameImageData", "VideoMetadata", "_last_frame.jpg"},
    {"PromptPreset", "userImageData", "PromptPresets", "_user_image.jpg"},
    {"ImagePreset", "imageData", "ImagePresets", "_image.jpg"},
}};
// The folders under "UserImages", in the order a backup makes them.
inline constexpr std::array<const char*, 3> folders = {"VideoMetadata", "PromptPresets", "ImagePresets"};

// One stored picture: its record's id and its column's index in `columns`.
struct Key {
    QUuid id;
    int column = 0;
    bool operator==(const Key&) const = default;
};
inline size_t qHash(const Key& key, size_t seed = 0) {
    return qHashMulti(seed, key.id, key.column);
}

// The canonical upper-case form of a record's id that file names use.
QString idText(const QUuid& id);
// "VideoMetadata/<ID>_first_frame.jpg": the picture's path relative to the pictures folder.
QString path(const Key& key);
// The picture a file of `folder` holds, by the file's name; none for a name no picture has.
std::optional<Key> keyOf(const char* folder, QByteArrayView name);

// Which file or folder a path names: a replaced one is another, a renamed one the same.
struct FileId {
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileId&) const = default;
};
std::optional<FileId> fileId(const QString& path);

// A picture file as a backup wrote it: its size and when it was last written (nanoseconds since the epoch). A link
// or a rename keeps both; a copy is given the same time.
struct Written {
    qint64 size = 0;
    qint64 modified = 0;
    bool operator==(const Written&) const = default;
};
// None when there is no file of its own at `path` (nothing, a symlink, a folder).
std::optional<Written> writtenOf(const QString& path);

// Tells whether the pictures of a pictures folder are still what a backup wrote: each a file of its own (not a
// symlink or anything else), as written, whose every other hard link is the same name in one of our own pictures
// folders. Anything else may have been changed from outside and is written again. Works on open folders, so that
// checking every picture of a large backup costs one short lookup or two each.
class IntactCheck {
public:
    // `others`: our pictures folders besides `folder` that may share its files (the previous backup's, those being
    // removed or prepared, those of kept backups).
    IntactCheck(const QString& folder, const QStringList& others);
    ~IntactCheck();
    IntactCheck(const IntactCheck&) = delete;
    IntactCheck& operator=(const IntactCheck&) = delete;

    bool operator()(const Key& key, const Written& written) const;

private:
    using Folders = std::array<int, folders.size()>; // descriptors of the three folders, -1 when missing
    static Folders open(const QString& folder);
    static void close(const Folders& fds);

    Folders folder_;
    std::vector<Folders> others_;
};

} // namespace BackupPictures
