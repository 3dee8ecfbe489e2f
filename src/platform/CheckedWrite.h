#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QSaveFile>
#include <QString>

#include <optional>

// Writes that are called kept only once they are on disk. QSaveFile alone is not enough: its buffered write only
// fills a buffer, the flush inside commit() can fail (a full disk) and commit() still renames the short file into
// place and returns true. Here every step is checked (write, flush, sync, size) before the name is replaced, and a
// failure leaves the previous file as it was, with the system's own reason in the error.
namespace CheckedWrite {

// The whole file in one go, through a temporary name in the same folder.
bool writeFile(const QString& path, const QByteArray& bytes, QString* error,
               std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// A new file inside a folder that is synced as a whole afterwards (syncFileSystem), such as a staging folder that
// is swapped in only once complete: every byte is checked as written, but the file is not synced on its own. Any
// file under the name is replaced by a new one, never written into (it may be linked from elsewhere). On failure
// nothing is left under the name.
bool writeNewFile(const QString& path, const QByteArray& bytes, QString* error,
                  std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// Syncs every write made so far to the file system that holds `path`: one call for a folder of new files, where
// syncing them one by one costs a disk flush each.
bool syncFileSystem(const QString& path, QString* error);

// Writes all of `size` bytes to an open file, trying again after a short write: the second attempt gives the
// reason (a full disk says so). On false `error` holds the system's words.
bool writeAll(QFileDevice& file, const char* data, qint64 size, QString* error);

// Syncs a file or folder that is already written (a folder: its entries, after files were renamed into it).
bool syncPath(const QString& path, QString* error);

// The two last checks of every write here: the open file's data synced to the disk, and the file holding all
// `expected` bytes. On false `error` says why.
bool syncDescriptor(int fd, QString* error);
bool holdsAll(int fd, qint64 expected, QString* error);

// Tests: the disk fails every sync with `syncError` (an errno value; 0 for none) and keeps `lostBytes` fewer
// bytes of each file than were written. Both 0: the real disk.
void setDiskFaultsForTesting(int syncError, qint64 lostBytes);

// A file written piece by piece. Each write goes straight to the file, so the first failure is seen where it
// happens; commit() syncs and checks the size before the file takes its real name.
class SaveFile {
public:
    explicit SaveFile(const QString& path);
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;

    bool open(QString* error, std::optional<QFileDevice::Permissions> permissions = std::nullopt);
    bool write(const QByteArray& bytes);
    bool write(const char* data, qint64 size);
    // On false nothing under the real name changed; `error` says why (the first failure, in the system's words).
    bool commit(QString* error);
    void cancel();

    qint64 written() const { return written_; }
    QString errorString() const;
    QSaveFile& device() { return file_; }

private:
    QSaveFile file_;
    qint64 written_ = 0;
    QString failure_;
};

} // namespace CheckedWrite
