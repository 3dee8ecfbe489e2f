#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy per profile. The first start holds a lock on a file in the profile's data folder for its whole
// life and listens on a local socket named after that folder; a later start finds the lock held, asks the holder to
// bring its window forward, and ends before it opens or writes anything of the profile. The lock is the kernel's:
// it ends with its process however that ends (a crash, SIGKILL), so a lock is never left behind. Where no lock can
// be had, the socket's name is the lock: held from the start, never taken from a copy that answers on it.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process now owns the profile; false when another running copy does.
    bool acquire();
    // Starts answering later starts. Called once the window is up: until then a later start keeps asking.
    void listen();
    // Asks the running copy to show its window, trying for up to `timeoutMs` while it may still be starting.
    // True when it answered.
    bool activateRunning(int timeoutMs = 5000);

    QString lockFilePath() const { return lockPath_; }
    // The local socket's full name: in a private folder of the user's own (AppPaths::socketFolder), named after the
    // data folder. Empty when there is no such folder: then no start can reach another.
    QString serverName() const { return serverName_; }

signals:
    // Another start on this profile asked for the window.
    void activationRequested();

private:
    // Listens on the socket's name without taking it from anyone; false when it could not.
    bool startServer();

    QString lockPath_;
    QString serverName_;
    int lockFile_ = -1;
    bool locked_ = false;
    QLocalServer* server_ = nullptr;
};
