#include "DragOutCopies.h"

#include "AppPaths.h"
#include "Clock.h"
#include "FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>

namespace DragOutCopies {
namespace {

QCoro::Task<> removeLater(QString path) {
    co_await Clock::current().sleep(kLifetimeSeconds);
    QFile::remove(path);
}

// The copy's age from the time in its name, else from its modification time.
std::optional<double> ageOf(const QFileInfo& info, const QDateTime& now) {
    const QString name = info.fileName();
    const qsizetype end = name.indexOf('_', 5);
    bool ok = false;
    const qint64 made = end > 5 ? name.mid(5, end - 5).toLongLong(&ok) : 0;
    if (ok)
        return double(now.toSecsSinceEpoch() - made);
    if (!info.lastModified().isValid())
        return std::nullopt;
    return info.lastModified().msecsTo(now) / 1000.0;
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
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly))
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
    if (!QDir().mkpath(dir))
        return clipPath;
    const QString target = dir + '/' + copyName(FileNames::displayName(QFileInfo(clipPath).fileName()));
    if (!copyFile(clipPath, target))
        return clipPath;
    removeLater(target);
    return target;
}

int removeStaleCopies() {
    const QDir dir(folder());
    if (!dir.exists())
        return 0;
    const QDateTime now = Clock::current().now();
    int removed = 0;
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("temp_*")}, QDir::Files | QDir::Hidden)) {
        const auto age = ageOf(info, now);
        if (age && *age > kLifetimeSeconds && QFile::remove(info.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

} // namespace DragOutCopies
