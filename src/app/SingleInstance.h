#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One running copy per profile. The first start holds a lock file in the profile's data folder for its whole life
// and listens on a local socket named after that folder; a later start finds the lock, asks the holder to bring
// its window forward, and ends before it opens or writes anything of the profile. A lock left by a process that
// is gone (a crash, SIGKILL) is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process now owns the profile; false when another running copy does.
    bool acquire();
    // Asks the running copy to show its window, trying for up to `timeoutMs` while it may still be starting.
    // True when it answered.
    bool activateRunning(int timeoutMs = 5000);

    QString lockFilePath() const { return lockPath_; }
    // The local socket's full name: in the user's runtime folder, named after the data folder.
    QString serverName() const { return serverName_; }

signals:
    // Another start on this profile asked for the window.
    void activationRequested();

private:
    void listen();

    QString lockPath_;
    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};
