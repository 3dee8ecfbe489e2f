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
    const QString socketFolder = AppPaths::socketFolder();
    if (socketFolder.isEmpty())
        return {};
    return QDir(socketFolder).filePath(QStringLiteral("orvane-%1.socket").arg(QString::fromLatin1(hash.left(24))));
}

// Whether a running copy listens on the socket. A socket file nobody listens on refuses the connection at once.
bool isAnswered(const QString& serverName) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    return socket.waitForConnected(1000);
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
    // A lock needs no write access: a read-only lock file, or a folder in its place, still takes one.
    if (lockFile_ < 0)
        lockFile_ = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
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
        locked_ = true;
        return true;
    }
    const int failure = errno;
    if (lockFile_ >= 0)
        ::close(lockFile_);
    lockFile_ = -1;
    if (failure == EWOULDBLOCK)
        return false;
    // No lock can be had here (no locks on this file system, a lock file that cannot be opened). The socket stands
    // in for it: a copy answering on it owns the profile, and this start takes the name only while nobody holds it,
    // at once, so a later start finds it while this one is still starting.
    Log::line(QStringLiteral("⚠️ [App] Could not lock the profile at %1: %2")
                  .arg(lockPath_, QString::fromLocal8Bit(std::strerror(failure))));
    if (serverName_.isEmpty())
        return true;
    if (startServer() || server_->serverError() != QAbstractSocket::AddressInUseError)
        return true;
    // Taken: by a running copy when it answers, else left by a copy that is gone.
    if (isAnswered(serverName_))
        return false;
    QLocalServer::removeServer(serverName_);
    return startServer() || server_->serverError() != QAbstractSocket::AddressInUseError || !isAnswered(serverName_);
}

void SingleInstance::listen() {
    if (server_ && server_->isListening())
        return;
    if (serverName_.isEmpty()) {
        Log::line(
            QStringLiteral("⚠️ [App] Other starts cannot reach this window: no private folder for its socket"));
        return;
    }
    // Without the lock the name was taken at the start or not at all: it is never taken later.
    if (!locked_)
        return;
    // With the lock held, a socket of that name that nobody answers on was left by a copy that is gone. One that
    // answers belongs to a copy that could not lock the profile, and its name is never taken from it.
    if (isAnswered(serverName_)) {
        Log::line(QStringLiteral("⚠️ [App] Other starts cannot reach this window: another copy answers on %1")
                      .arg(serverName_));
        return;
    }
    QLocalServer::removeServer(serverName_);
    startServer();
}

bool SingleInstance::startServer() {
    if (!server_) {
        server_ = new QLocalServer(this);
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
    // The folder is the user's own and private, so the socket needs no mode of its own; without options the
    // toolkit binds the name itself, which fails when the name is taken instead of replacing it.
    if (server_->listen(serverName_))
        return true;
    if (server_->serverError() != QAbstractSocket::AddressInUseError)
        Log::line(QStringLiteral("⚠️ [App] Other starts cannot reach this window: %1").arg(server_->errorString()));
    return false;
}

bool SingleInstance::activateRunning(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        if (serverName_.isEmpty())
            return false;
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
