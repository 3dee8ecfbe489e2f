#include "AppPaths.h"

#include <QDir>
#include <QFile>
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

QString tempFolder() {
    if (!overrideRoot().isEmpty())
        return ensured(overrideRoot() + "/tmp");
    return QDir::tempPath();
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
