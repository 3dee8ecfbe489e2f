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
//
// The kernel watches a folder's inode, not its path: a folder moved away or deleted would go on being watched
// (or not at all) without a word. So the parent folder is watched too, and each notice compares the folder's
// identity (device and inode) with the one kept: a folder gone, or a folder at the path again, is reported as
// `directoryChanged` once, and the watch follows whatever folder the path names now.
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
    // `listing`: the folder itself changed, so it is listed; otherwise only its identity is looked at.
    void scheduleCheck(bool listing);
    void checkForChanges();
    struct Comparison;
    void report(const Comparison& comparison);

    struct Identity {
        quint64 device = 0;
        quint64 inode = 0;
        friend bool operator==(const Identity&, const Identity&) = default;
    };
    static std::optional<Identity> identityOf(const QString& directory);
    void followFolder(const std::optional<Identity>& identity);

    QString directory_;
    QString parent_;
    EventHandler handler_;
    // The folder the path named at the last check; none while nothing (or no folder) is there.
    std::optional<Identity> identity_;
    QSet<QString> lastContents_;
    QFileSystemWatcher* watcher_ = nullptr;
    bool started_ = false;
    bool hasListing_ = false;
    bool checkPending_ = false;
    // The pending check lists the folder; a notice of the parent alone only looks at the folder's identity.
    bool listingWanted_ = false;
    bool checking_ = false;
    // A notice came while a check was running or before the first listing: one more check follows.
    bool checkAgain_ = false;
};
