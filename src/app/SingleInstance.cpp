#include "SingleInstance.h"

#include "AppPaths.h"
#include "Log.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

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
}

bool SingleInstance::acquire() {
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // Never judged stale by age: a copy may run for weeks. A holder whose process is gone is stale at once.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        if (lock_->error() == QLockFile::LockFailedError)
            return false;
        // The data folder cannot hold a lock (read-only, full): nothing could be lost between two copies through
        // files that cannot be written, and refusing to start would help nobody.
        Log::line(QStringLiteral("⚠️ [App] Could not lock the profile at %1").arg(lockPath_));
    }
    listen();
    return true;
}

void SingleInstance::listen() {
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
