#include "SingleInstance.h"

#include "AppPaths.h"
#include "Log.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray kShowRequest = "show\n";
const QByteArray kShownAnswer = "shown\n";

QString socketNameFor(const QString& dataFolder) {
    const QString folder = QFileInfo(dataFolder).absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(folder), QCryptographicHash::Sha256).toHex();
    const QString name = QStringLiteral("orvane-%1.socket").arg(QString::fromLatin1(hash.left(24)));
    // The runtime folder is the user's own; without one the name goes to the temporary folder, still private to
    // the user through the socket's mode.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? name : QDir(runtime).filePath(name);
}
} // namespace

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent)
    : QObject(parent), lockPath_(QDir(dataFolder).filePath(QStringLiteral("Orvane.lock"))),
      serverName_(socketNameFor(dataFolder)) {
    AppPaths::ensurePrivateFolder(dataFolder);
}

SingleInstance::~SingleInstance() {
    if (server_)
        server_->close();
    // The file stays: removing it could let two later starts each lock a file of that name.
    if (lockFile_ >= 0)
        ::close(lockFile_);
}

bool SingleInstance::acquire() {
    const QByteArray path = QFile::encodeName(lockPath_);
    lockFile_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFile_ >= 0 && ::flock(lockFile_, LOCK_EX | LOCK_NB) == 0) {
        // Who holds it, in the form the toolkit's lock files use, for a person or an older copy that reads it.
        // Nothing depends on it reaching the disk, so it is not synced.
        const QByteArray holder = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                                  QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName()) +
                                  '\n' + QSysInfo::machineHostName().toUtf8() + '\n';
        // Written over the last holder's note, and cut only where that was longer: truncating costs a metadata
        // update even when nothing changes.
        struct stat file {};
        if (::pwrite(lockFile_, holder.constData(), size_t(holder.size()), 0) == holder.size() &&
            ::fstat(lockFile_, &file) == 0 && file.st_size > holder.size() &&
            ::ftruncate(lockFile_, holder.size()) != 0) {
            // Only the note is off; the lock holds.
        }
        return true;
    }
    const int failure = errno;
    if (lockFile_ >= 0 && failure == EWOULDBLOCK) {
        ::close(lockFile_);
        lockFile_ = -1;
        return false;
    }
    // The data folder cannot hold a lock (read-only, full, no locks on this file system): nothing could be lost
    // between two copies through files that cannot be written, and refusing to start would help nobody.
    Log::line(QStringLiteral("⚠️ [App] Could not lock the profile at %1: %2")
                  .arg(lockPath_, QString::fromLocal8Bit(std::strerror(failure))));
    return true;
}

void SingleInstance::listen() {
    if (server_)
        return;
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // This process owns the profile now, so a socket of that name was left by a copy that is gone.
    QLocalServer::removeServer(serverName_);
    if (!server_->listen(serverName_)) {
        Log::line(QStringLiteral("⚠️ [App] Other starts cannot reach this window: %1").arg(server_->errorString()));
        return;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->canReadLine())
                    return;
                if (peer->readLine(64) == kShowRequest) {
                    emit activationRequested();
                    peer->write(kShownAnswer);
                }
                peer->disconnectFromServer();
            });
        }
    });
}

bool SingleInstance::activateRunning(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(serverName_);
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(kShowRequest);
            if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
                continue;
            while (!socket.canReadLine() && socket.waitForReadyRead(int(deadline.remainingTime()))) {
            }
            return socket.canReadLine() && socket.readLine(64) == kShownAnswer;
        }
        // The running copy may not be listening yet.
        QThread::msleep(50);
    }
    return false;
}
