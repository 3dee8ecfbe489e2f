#include "DragOutCopies.h"

#include "AppPaths.h"
#include "Clock.h"
#include "FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fcntl.h>

namespace DragOutCopies {
namespace {

// The copies this run made: a later call of removeStaleCopies() in the same run leaves them.
QSet<QString>& madeThisRun() {
    static QSet<QString> made;
    return made;
}

} // namespace

QString folder() {
    return AppPaths::cacheFolder() + QStringLiteral("/Orvane_Temp");
}

QString copyName(const QString& fileName) {
    return QStringLiteral("temp_%1_").arg(Clock::current().now().toSecsSinceEpoch()) + fileName;
}

namespace {
bool copyFile(const QString& from, const QString& to) {
    // The clip is opened by its exact bytes; the copy's name is the one shown, which any receiver can take.
    QFile source;
    const int fd = ::open(FileNames::encode(from).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !source.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    QFile target(to);
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    qint64 got = 0;
    while ((got = source.read(chunk.data(), chunk.size())) > 0) {
        if (target.write(chunk.constData(), got) != got)
            break;
    }
    target.close();
    if (got == 0 && target.error() == QFileDevice::NoError)
        return true;
    target.remove();
    return false;
}
} // namespace

QString makeCopy(const QString& clipPath) {
    const QString dir = folder();
    if (!AppPaths::ensurePrivateFolder(dir))
        return clipPath;
    const QString target = dir + '/' + copyName(FileNames::displayName(QFileInfo(clipPath).fileName()));
    if (!copyFile(clipPath, target))
        return clipPath;
    madeThisRun().insert(target);
    return target;
}

int removeStaleCopies() {
    const QDir dir(folder());
    if (!dir.exists())
        return 0;
    int removed = 0;
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("temp_*")}, QDir::Files | QDir::Hidden)) {
        if (!madeThisRun().contains(info.absoluteFilePath()) && QFile::remove(info.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

} // namespace DragOutCopies
