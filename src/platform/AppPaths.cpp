#include "AppPaths.h"

#include "Clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AppPaths {
namespace {
QString& overrideRoot() {
    static QString root;
    return root;
}
QString ensured(const QString& path) {
    ensurePrivateFolder(path);
    return path;
}

// A folder of the user's own (the runtime folder the session gives, the cache) at an absolute path, that no one
// else may enter or write.
bool isPrivateRuntimeFolder(const QString& path) {
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return false;
    struct stat info {};
    const QByteArray name = QFile::encodeName(path);
    return ::stat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & (S_IRWXG | S_IRWXO)) == 0 && ::access(name.constData(), W_OK | X_OK) == 0;
}

// A folder of the user's own, not a link, that only the user may enter.
bool isPrivateFolder(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 0777) == S_IRWXU;
}
} // namespace

QString dataFolder() {
    if (!overrideRoot().isEmpty())
        return ensured(overrideRoot() + "/data");
    return ensured(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Orvane");
}

QString cacheFolder() {
    if (!overrideRoot().isEmpty())
        return ensured(overrideRoot() + "/cache");
    return ensured(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/Orvane");
}

QString downloadsFolder() {
    if (!overrideRoot().isEmpty())
        return ensured(overrideRoot() + "/downloads");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateRuntimeFolder(runtime)) {
        const QString folder = runtime + "/orvane";
        if (ensurePrivateFolder(folder) && isPrivateFolder(folder))
            return folder;
    }
    return ensured(cacheFolder() + "/downloads");
}

QString fallbackDownloadsFolder() {
    return ensured(cacheFolder() + "/downloads");
}

QStringList downloadFolders() {
    QStringList folders{downloadsFolder()};
    const QString fallback = fallbackDownloadsFolder();
    if (!folders.contains(fallback))
        folders.append(fallback);
    // A runtime folder used by an earlier session may still hold clips even when this one does not use it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (overrideRoot().isEmpty() && isPrivateRuntimeFolder(runtime) && isPrivateFolder(runtime + "/orvane") &&
        !folders.contains(runtime + "/orvane"))
        folders.append(runtime + "/orvane");
    return folders;
}

bool isWaitingClip(const QString& fileName) {
    return fileName.startsWith(QLatin1String("Orvane_")) && fileName.endsWith(QLatin1String(".mp4"));
}

bool startsLikeClip(const QByteArray& head) {
    return head.size() >= 8 && head.mid(4, 4) == "ftyp";
}

bool isUnfiledDownload(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    if (!name.startsWith(QLatin1String("minimax_video_")) || !name.endsWith(QLatin1String(".mp4")))
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && startsLikeClip(file.read(8));
}

int removeStaleDownloads(double maxAgeSeconds) {
    const QDateTime cutoff = Clock::current().now().addMSecs(-qint64(maxAgeSeconds * 1000.0));
    int removed = 0;
    for (const QString& path : downloadFolders()) {
        const QDir folder(path);
        const auto entries = folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& entry : entries) {
            // A link is judged and removed as itself, never through what it points to.
            struct stat info {};
            if (::lstat(QFile::encodeName(entry.absoluteFilePath()).constData(), &info) != 0)
                continue;
            // A paid clip waiting for a folder goes only when it is filed.
            if (S_ISREG(info.st_mode) &&
                (isWaitingClip(entry.fileName()) || isUnfiledDownload(entry.absoluteFilePath())))
                continue;
            const QDateTime modified = QDateTime::fromSecsSinceEpoch(info.st_mtime, Qt::UTC);
            if (modified < cutoff && ::unlink(QFile::encodeName(entry.absoluteFilePath()).constData()) == 0)
                ++removed;
        }
    }
    return removed;
}

QString socketFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateRuntimeFolder(runtime))
        return runtime;
    // Not the toolkit's fallback in the temporary folder: its name is known to every user, and when another user
    // holds it the socket would go to the temporary folder itself.
    const QString cache = cacheFolder();
    return isPrivateRuntimeFolder(cache) ? cache : QString();
}

QString storeFile() {
    return dataFolder() + "/Orvane.store";
}

QString unfiledFolder() {
    return dataFolder() + "/Unfiled";
}

void setRoot(const QString& root) {
    overrideRoot() = root;
}

bool ensurePrivateFolder(const QString& path) {
    if (!QDir().mkpath(path))
        return false;
    return ::chmod(QFile::encodeName(path).constData(), S_IRWXU) == 0;
}

bool ensurePrivateFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    const bool tightened = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    ::close(fd);
    return tightened;
}

} // namespace AppPaths
