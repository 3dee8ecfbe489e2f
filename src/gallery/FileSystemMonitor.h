#pragma once

#include "FileSystemEvent.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

class QFileSystemWatcher;

// Watches one folder and reports which non-hidden entries appeared or vanished since it last looked. The
// kernel only says "something changed"; each notice leads to a fresh listing compared with the kept one. The
// listing and the comparison run on a worker thread, so a folder of thousands never holds up the owner's;
// events are delivered on the thread that owns the monitor (the GUI thread), one check at a time.
class FileSystemMonitor : public QObject {
    Q_OBJECT
public:
    using EventHandler = std::function<void(const FileSystemEvent&)>;

    // Takes the first listing at once; nothing present now is ever reported as added.
    FileSystemMonitor(const QString& directory, EventHandler handler, QObject* parent = nullptr);
    // For an owner that lists the folder itself, off this thread: the first listing comes later through
    // setFirstListing(). Notices that arrive before it are answered once it is there.
    struct FirstListingLater {};
    FileSystemMonitor(const QString& directory, EventHandler handler, FirstListingLater, QObject* parent = nullptr);
    ~FileSystemMonitor() override;

    QString directory() const { return directory_; }
    bool isMonitoring() const { return watcher_ != nullptr; }
    const QSet<QString>& lastContents() const { return lastContents_; }

    // Starts watching; a folder that cannot be watched gives no events, silently. A monitor starts once.
    void startMonitoring();
    void stopMonitoring();
    // The listing later changes are compared with (absolute paths of the non-hidden entries). Only the first
    // call counts.
    void setFirstListing(QSet<QString> entries);

    // The folder's immediate non-hidden entries as absolute paths; none when it cannot be listed.
    static std::optional<QSet<QString>> listEntries(const QString& directory);

private:
    void scheduleCheck();
    void checkForChanges();
    struct Comparison;
    void report(const Comparison& comparison);

    QString directory_;
    EventHandler handler_;
    QSet<QString> lastContents_;
    QFileSystemWatcher* watcher_ = nullptr;
    bool started_ = false;
    bool hasListing_ = false;
    bool checkPending_ = false;
    bool checking_ = false;
    // A notice came while a check was running or before the first listing: one more check follows.
    bool checkAgain_ = false;
};
