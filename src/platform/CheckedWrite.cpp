#include "CheckedWrite.h"
#include "SystemError.h"

#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace CheckedWrite {
namespace {
std::atomic<int> injectedSyncError{0};
std::atomic<qint64> injectedLostBytes{0};
} // namespace

void setDiskFaultsForTesting(int syncError, qint64 lostBytes) {
    injectedSyncError = syncError;
    injectedLostBytes = lostBytes;
}

bool syncDescriptor(int fd, QString* error) {
    int code = injectedSyncError.load();
    if (code == 0 && ::fsync(fd) != 0 && errno != EINVAL) // EINVAL: the file system has nothing to sync
        code = errno;
    if (code != 0 && error)
        *error = systemReason(code);
    return code == 0;
}

bool holdsAll(int fd, qint64 expected, QString* error) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        if (error)
            *error = systemReason(errno);
        return false;
    }
    const qint64 size = qint64(status.st_size) - injectedLostBytes.load();
    if (size == expected)
        return true;
    if (error)
        *error = QStringLiteral("Only %1 of %2 bytes reached the disk").arg(size).arg(expected);
    return false;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error,
               std::optional<QFileDevice::Permissions> permissions) {
    SaveFile file(path);
    if (!file.open(error, permissions))
        return false;
    if (!file.write(bytes)) {
        if (error)
            *error = file.errorString();
        file.cancel();
        return false;
    }
    if (!file.commit(error))
        return false;
    // The new name itself lives in the folder's entries.
    QString ignored;
    syncPath(QFileInfo(path).absolutePath(), &ignored);
    return true;
}

bool writeNewFile(const QString& path, const QByteArray& bytes, QString* error,
                  std::optional<QFileDevice::Permissions> permissions) {
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        QFile::remove(path);
        return false;
    };
    if (!QFile::remove(path) && QFileInfo::exists(path))
        return fail(QStringLiteral("The earlier file could not be replaced"));
    QFile file(path);
    // Created with the permissions asked for, so that it is never readable by others meanwhile.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
    if (!(permissions ? file.open(mode, *permissions) : file.open(mode))) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QString why;
    if (!writeAll(file, bytes.constData(), bytes.size(), &why) || !holdsAll(file.handle(), bytes.size(), &why))
        return fail(why);
    file.close();
    return true;
}

bool syncFileSystem(const QString& path, QString* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = systemReason(errno);
        return false;
    }
    const bool synced = ::syncfs(fd) == 0;
    const int code = errno;
    ::close(fd);
    if (!synced && error)
        *error = systemReason(code);
    return synced;
}

bool writeAll(QFileDevice& file, const char* data, qint64 size, QString* error) {
    // A short write is tried again for the rest: the second attempt gives the reason (a full disk says so).
    qint64 left = size;
    while (left > 0) {
        const qint64 done = file.write(data + (size - left), left);
        if (done <= 0) {
            const QString why = done < 0 && file.error() != QFileDevice::NoError
                                    ? file.errorString()
                                    : QStringLiteral("Only %1 of %2 bytes could be written").arg(size - left).arg(size);
            if (error)
                *error = why;
            return false;
        }
        left -= done;
    }
    return true;
}

bool syncPath(const QString& path, QString* error) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = systemReason(errno);
        return false;
    }
    const bool synced = syncDescriptor(fd, error);
    ::close(fd);
    return synced;
}

SaveFile::SaveFile(const QString& path) : file_(path) {}

bool SaveFile::open(QString* error, std::optional<QFileDevice::Permissions> permissions) {
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = file_.errorString();
        return false;
    }
    if (permissions)
        file_.setPermissions(*permissions);
    return true;
}

bool SaveFile::write(const QByteArray& bytes) {
    return write(bytes.constData(), bytes.size());
}

bool SaveFile::write(const char* data, qint64 size) {
    if (!failure_.isEmpty())
        return false;
    const qint64 before = file_.pos();
    const bool whole = writeAll(file_, data, size, &failure_);
    written_ += file_.pos() - before;
    return whole;
}

QString SaveFile::errorString() const {
    return failure_.isEmpty() ? file_.errorString() : failure_;
}

bool SaveFile::commit(QString* error) {
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        file_.cancelWriting();
        file_.commit(); // with writing cancelled: removes the temporary file, leaves the real name alone
        return false;
    };
    if (!file_.isOpen())
        return fail(failure_.isEmpty() ? QStringLiteral("The file was not open") : failure_);
    if (!failure_.isEmpty())
        return fail(failure_);
    if (!file_.flush())
        return fail(file_.errorString());
    const int fd = file_.handle();
    QString why;
    if (fd >= 0 && (!syncDescriptor(fd, &why) || !holdsAll(fd, written_, &why)))
        return fail(why);
    if (!file_.commit()) {
        if (error)
            *error = file_.errorString();
        return false;
    }
    return true;
}

void SaveFile::cancel() {
    if (!file_.isOpen())
        return;
    file_.cancelWriting();
    file_.commit();
}

} // namespace CheckedWrite
