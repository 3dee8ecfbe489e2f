#include "Trash.h"
#include "SystemError.h"

#include "FileNames.h"
#include "NoReplaceMove.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Trash {
namespace {

// A folder of ours: made (0700) when missing; never one that is a link or belongs to someone else. 0 or errno.
int ownFolder(const QString& path) {
    const QByteArray name = FileNames::encode(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ENOTDIR;
    return info.st_uid == ::getuid() ? 0 : EACCES;
}

// Makes the folder and its missing parents. 0 or errno of the first step that failed.
int makePath(const QString& path) {
    struct stat info {};
    if (::stat(FileNames::encode(path).constData(), &info) == 0)
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    const QString parent = QFileInfo(path).path();
    if (parent != path) {
        if (const int error = makePath(parent))
            return error;
    }
    return ::mkdir(FileNames::encode(path).constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

// The device a path is on, or would be on once made: that of its nearest existing ancestor.
std::optional<dev_t> deviceOf(QString path) {
    struct stat info {};
    while (::stat(FileNames::encode(path).constData(), &info) != 0) {
        const QString up = QFileInfo(path).path();
        if (up == path)
            return std::nullopt;
        path = up;
    }
    return info.st_dev;
}

struct TrashFolder {
    QString path;
    QString topdir; // empty for the home trash, whose records hold absolute paths
    QString problem;
};

TrashFolder unusable(const QString& folder, int error) {
    return {{}, {}, folder + QStringLiteral(": ") + systemReason(error)};
}

// The trash for a file on `device`, with its "files" and "info" folders made.
TrashFolder trashFolderFor(const QString& file, dev_t device) {
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString home = dataHome + QStringLiteral("/Trash");
    TrashFolder trash;
    if (deviceOf(home) == device) {
        // The home trash serves its own file system; when it cannot be used, nothing else may stand in.
        if (const int error = makePath(dataHome))
            return unusable(dataHome, error);
        if (const int error = ownFolder(home))
            return unusable(home, error);
        trash.path = home;
    } else {
        QString topdir = QFileInfo(file).absolutePath();
        struct stat info {};
        for (QString up = QFileInfo(topdir).path(); up != topdir; up = QFileInfo(topdir).path()) {
            if (::stat(FileNames::encode(up).constData(), &info) != 0 || info.st_dev != device)
                break;
            topdir = up;
        }
        const QString uid = QString::number(::getuid());
        const QString shared = topdir + QStringLiteral("/.Trash");
        const QString own = topdir + QStringLiteral("/.Trash-") + uid;
        // The shared folder counts only when it is a real sticky folder, not a link.
        if (::lstat(FileNames::encode(shared).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
            (info.st_mode & S_ISVTX) && ownFolder(shared + '/' + uid) == 0)
            trash.path = shared + '/' + uid;
        else if (const int error = ownFolder(own))
            return unusable(own, error);
        else
            trash.path = own;
        trash.topdir = topdir;
    }
    for (const QString& part : {QStringLiteral("/files"), QStringLiteral("/info")}) {
        if (const int error = ownFolder(trash.path + part))
            return unusable(trash.path + part, error);
    }
    return trash;
}

} // namespace

bool move(const QString& path, QString* reason) {
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    const QString file = QFileInfo(path).absoluteFilePath();
    struct stat info {};
    if (::lstat(FileNames::encode(file).constData(), &info) != 0)
        return fail(systemReason(errno));
    const TrashFolder trash = trashFolderFor(file, info.st_dev);
    if (trash.path.isEmpty())
        return fail(trash.problem);
    const QString recorded = trash.topdir.isEmpty() ? file : QDir(trash.topdir).relativeFilePath(file);
    const QByteArray record =
        "[Trash Info]\nPath=" + FileNames::percentEncoded(FileNames::encode(recorded)) +
        "\nDeletionDate=" + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
        "\n";
    // The record is claimed first under a free name, then the file takes the same name in "files".
    const QString name = QFileInfo(file).fileName();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString trashed = attempt == 1 ? name : name + '.' + QString::number(attempt);
        const QByteArray infoFile =
            FileNames::encode(trash.path + QStringLiteral("/info/") + trashed + QStringLiteral(".trashinfo"));
        const int fd = ::open(infoFile.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return fail(systemReason(errno));
        }
        const ssize_t written = ::write(fd, record.constData(), size_t(record.size()));
        const int writeError = written < 0 ? errno : ENOSPC;
        if (::close(fd) != 0 || written != record.size()) {
            const int error = written == record.size() ? errno : writeError;
            ::unlink(infoFile.constData());
            return fail(systemReason(error));
        }
        const auto moved = NoReplaceMove::move(file, trash.path + QStringLiteral("/files/") + trashed);
        if (moved.outcome == NoReplaceMove::Outcome::moved)
            return true;
        ::unlink(infoFile.constData());
        if (moved.outcome == NoReplaceMove::Outcome::failed)
            return fail(moved.error);
    }
    return fail(systemReason(EEXIST));
}

} // namespace Trash
