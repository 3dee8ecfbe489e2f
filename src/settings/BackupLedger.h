#pragma once

#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>

class ModelContext;

// Where each stored picture goes in a backup's pictures folder.
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

// "VideoMetadata/<ID>_first_frame.jpg": the picture's path relative to the pictures folder.
QString path(const Column& column, const QUuid& id);

} // namespace BackupPictures

// Which pictures of the current backup still hold their record's stored bytes, so that the next backup carries
// them over instead of writing them again.
//
// A picture is vouched for when a backup took it from the store (or carried it over) and its row has not changed
// since. Changes are seen on the store's own connection: triggers of this ledger log every row of the picture
// tables that is inserted, deleted or has a picture column written, and the connection's data version tells
// when another connection wrote. Nothing else is trusted: a new connection, a folder that is not the one the
// ledger describes, or an unreadable log leaves nothing vouched for, and the next backup writes every picture.
//
// Across processes the ledger is kept in a note in the data folder. The next process takes it over only when
// nothing was written through its store connection before the ledger began to watch it, and only for pictures
// whose stored size still matches; the first save that touches a picture row removes the note, so a process
// that ends without a backup after such a save leaves none behind.
class BackupLedger {
public:
    // A picture's path relative to the pictures folder → its size in bytes.
    using Entries = QHash<QString, qint64>;

    BackupLedger() = default;
    ~BackupLedger();
    BackupLedger(const BackupLedger&) = delete;
    BackupLedger& operator=(const BackupLedger&) = delete;

    // Starts watching the store of `context`; none stops. Giving the same context again changes nothing.
    void attach(ModelContext* context);

    // The pictures in `imagesFolder` that still hold their record's stored bytes, once every change the store
    // saw since the last backup is taken in. `notePath` is where an earlier process may have left its ledger.
    Entries carryOver(const QString& imagesFolder, const std::optional<QString>& notePath);
    // Whether the last carryOver() gave every picture of the last backup: as far as the store shows, no picture
    // row was added, removed or written since.
    bool unchangedSinceLastBackup() const { return whole_; }
    // `imagesFolder` now holds a whole backup, of which `entries` hold their record's stored bytes.
    void record(const QString& imagesFolder, Entries entries, const std::optional<QString>& notePath);
    // The backup is gone: nothing is vouched for any more, here or in the note at `notePath`.
    void forget(const std::optional<QString>& notePath);

private:
    struct FileId {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileId&) const = default;
    };
    static std::optional<FileId> fileId(const QString& path);

    bool startWatching();
    void stopWatching();
    bool stillWatching() const;
    std::optional<qint64> dataVersion() const;
    // Drops every picture whose row the log holds, then empties the log; false when the log cannot be read.
    bool takeInChanges();
    void adoptNote(const QString& notePath);
    void writeNote(const QString& notePath);
    void removeNote();
    void clear();
    void onSaved();

    QPointer<ModelContext> context_;
    QString connection_;
    QString log_; // this ledger's log table in the connection's temporary schema
    QStringList triggers_;
    QMetaObject::Connection saved_;
    bool watching_ = false;
    bool cleanStart_ = false;     // nothing had been written through the connection when watching began
    bool noteConsidered_ = false; // an earlier process's note is taken over at most once
    std::optional<qint64> dataVersion_;
    std::optional<FileId> folder_; // the pictures folder the entries describe
    Entries entries_;
    bool whole_ = false;
    std::optional<QString> noteOnDisk_; // a note this ledger wrote or took over, still true
};
