#include "Workspace.h"

#include "FileNames.h"
#include "NoReplaceMove.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <optional>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
Workspace*& installedWorkspace() {
    static Workspace* workspace = nullptr;
    return workspace;
}

void openFolders(const QStringList& paths) {
    for (const QString& folder : DesktopWorkspace::foldersOf(paths))
        QDesktopServices::openUrl(FileNames::url(folder));
}

// A folder of ours: made (0700) when missing; never one that is a link or belongs to someone else.
bool ownFolder(const QByteArray& path) {
    ::mkdir(path.constData(), 0700);
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

struct TrashFolder {
    QString path;
    QString topdir; // empty for the home trash, whose records hold absolute paths
};

// The trash for a file on `device`, as the freedesktop trash layout places it: the home trash on its
// own file system, else one at the top of the file's mount, in the shared sticky ".Trash" or in ".Trash-$uid".
std::optional<TrashFolder> trashFolderFor(const QString& file, dev_t device) {
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QDir().mkpath(dataHome);
    struct stat info {};
    if (::stat(QFile::encodeName(dataHome).constData(), &info) == 0 && info.st_dev == device) {
        const QString home = dataHome + QStringLiteral("/Trash");
        if (ownFolder(QFile::encodeName(home)))
            return TrashFolder{home, {}};
        return std::nullopt;
    }
    QString topdir = QFileInfo(file).absolutePath();
    for (QString up = QFileInfo(topdir).path(); up != topdir; up = QFileInfo(topdir).path()) {
        if (::stat(FileNames::encode(up).constData(), &info) != 0 || info.st_dev != device)
            break;
        topdir = up;
    }
    const QString uid = QString::number(::getuid());
    const QString shared = topdir + QStringLiteral("/.Trash");
    if (::lstat(FileNames::encode(shared).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        (info.st_mode & S_ISVTX) && ownFolder(FileNames::encode(shared + '/' + uid)))
        return TrashFolder{shared + '/' + uid, topdir};
    const QString own = topdir + QStringLiteral("/.Trash-") + uid;
    if (ownFolder(FileNames::encode(own)))
        return TrashFolder{own, topdir};
    return std::nullopt;
}

// QFile::moveToTrash() needs a name Qt can encode; a name that is not UTF-8 has none, so such a file goes
// to the trash here, by its bytes: first its record, claimed under a free name, then the file itself.
bool moveBytesToTrash(const QString& path, QString* reason) {
    const auto fail = [reason](int error) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(error));
        return false;
    };
    const QString file = QFileInfo(path).absoluteFilePath();
    struct stat info {};
    if (::lstat(FileNames::encode(file).constData(), &info) != 0)
        return fail(errno);
    const auto trash = trashFolderFor(file, info.st_dev);
    if (!trash || !ownFolder(FileNames::encode(trash->path + QStringLiteral("/files"))) ||
        !ownFolder(FileNames::encode(trash->path + QStringLiteral("/info"))))
        return fail(errno ? errno : EACCES);
    const QString recorded = trash->topdir.isEmpty() ? file : QDir(trash->topdir).relativeFilePath(file);
    const QByteArray record = "[Trash Info]\nPath=" + FileNames::percentEncoded(FileNames::encode(recorded)) +
                              "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + "\n";
    const QString name = QFileInfo(file).fileName();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString trashed = attempt == 1 ? name : name + '.' + QString::number(attempt);
        const QByteArray infoFile =
            FileNames::encode(trash->path + QStringLiteral("/info/") + trashed + QStringLiteral(".trashinfo"));
        const int fd = ::open(infoFile.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return fail(errno);
        }
        const bool written = ::write(fd, record.constData(), size_t(record.size())) == record.size();
        if (::close(fd) != 0 || !written) {
            const int error = errno ? errno : EIO;
            ::unlink(infoFile.constData());
            return fail(error);
        }
        const auto moved = NoReplaceMove::move(file, trash->path + QStringLiteral("/files/") + trashed);
        if (moved.outcome == NoReplaceMove::Outcome::moved)
            return true;
        ::unlink(infoFile.constData());
        if (moved.outcome == NoReplaceMove::Outcome::failed) {
            if (reason)
                *reason = moved.error;
            return false;
        }
    }
    return fail(EEXIST);
}
} // namespace

Workspace& Workspace::current() {
    static DesktopWorkspace desktop;
    return installedWorkspace() ? *installedWorkspace() : desktop;
}

void Workspace::setCurrent(Workspace* workspace) {
    installedWorkspace() = workspace;
}

DesktopWorkspace::DesktopWorkspace(QString service) : service_(std::move(service)) {}

QStringList DesktopWorkspace::foldersOf(const QStringList& paths) {
    QStringList folders;
    for (const QString& path : paths) {
        if (path.isEmpty())
            continue;
        const QString folder = QFileInfo(path).absolutePath();
        if (!folders.contains(folder))
            folders << folder;
    }
    return folders;
}

void DesktopWorkspace::revealInFileManager(const QStringList& paths) {
    QStringList uris;
    for (const QString& path : paths) {
        if (!path.isEmpty())
            uris << FileNames::url(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    }
    if (uris.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolders(paths);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service_, QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, paths] {
        const QDBusPendingReply<> reply = *watcher;
        if (reply.isError())
            openFolders(paths);
        watcher->deleteLater();
    });
}

bool DesktopWorkspace::moveToTrash(const QString& path, QString* reason) {
    if (FileNames::hasRawBytes(path))
        return moveBytesToTrash(path, reason);
    QFile file(path);
    if (file.moveToTrash())
        return true;
    if (reason)
        *reason = file.errorString();
    return false;
}
