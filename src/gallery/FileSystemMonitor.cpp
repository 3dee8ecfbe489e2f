#include "FileSystemMonitor.h"

#include "FileNames.h"
#include "WhenReady.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <dirent.h>
#include <sys/stat.h>

// What one check found: the listing, and how it differs from the kept one.
struct FileSystemMonitor::Comparison {
    std::optional<Identity> identity;
    bool identityChanged = false;
    bool looked = false; // listed, or tried to
    bool listed = false;
    QSet<QString> contents;
    QList<QString> added;
    QList<QString> removed;
};

FileSystemMonitor::FileSystemMonitor(const QString& directory, EventHandler handler, QObject* parent)
    : FileSystemMonitor(directory, std::move(handler), FirstListingLater{}, parent) {
    setFirstListing(listEntries(directory_).value_or(QSet<QString>{}));
}

FileSystemMonitor::FileSystemMonitor(const QString& directory, EventHandler handler, FirstListingLater, QObject* parent)
    : QObject(parent), directory_(QDir(directory).absolutePath()), handler_(std::move(handler)) {}

FileSystemMonitor::~FileSystemMonitor() {
    stopMonitoring();
}

std::optional<QSet<QString>> FileSystemMonitor::listEntries(const QString& directory) {
    // readdir rather than QDir: no stat per entry, and a failure to open is told apart from an empty folder.
    DIR* dir = ::opendir(FileNames::encode(directory).constData());
    if (!dir)
        return std::nullopt;
    QSet<QString> entries;
    entries.reserve(1024);
    const QString base = directory.endsWith('/') ? directory : directory + '/';
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue; // hidden, and "." and ".."
        entries.insert(base + FileNames::decode(QByteArray(entry->d_name)));
    }
    ::closedir(dir);
    return entries;
}

std::optional<FileSystemMonitor::Identity> FileSystemMonitor::identityOf(const QString& directory) {
    struct stat info {};
    if (::stat(FileNames::encode(directory).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    return Identity{quint64(info.st_dev), quint64(info.st_ino)};
}

void FileSystemMonitor::setFirstListing(QSet<QString> entries) {
    if (hasListing_)
        return;
    hasListing_ = true;
    lastContents_ = std::move(entries);
    if (std::exchange(checkAgain_, false))
        scheduleCheck(false); // what the notices asked for is kept
}

void FileSystemMonitor::startMonitoring() {
    if (started_)
        return;
    started_ = true;
    identity_ = identityOf(directory_);
    if (!identity_)
        return;
    auto* watcher = new QFileSystemWatcher(this);
    if (!watcher->addPath(directory_)) {
        delete watcher;
        return;
    }
    watcher_ = watcher;
    // A parent that cannot be watched leaves the folder's own notices.
    parent_ = QFileInfo(directory_).path();
    if (parent_ != directory_)
        watcher_->addPath(parent_);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this,
            [this](const QString& path) { scheduleCheck(path == directory_); });
}

void FileSystemMonitor::followFolder(const std::optional<Identity>& identity) {
    identity_ = identity;
    // The old watch may still follow the folder that moved away.
    if (watcher_->directories().contains(directory_))
        watcher_->removePath(directory_);
    if (identity)
        watcher_->addPath(directory_);
    if (parent_ != directory_ && !watcher_->directories().contains(parent_))
        watcher_->addPath(parent_);
}

void FileSystemMonitor::stopMonitoring() {
    delete watcher_;
    watcher_ = nullptr;
    checkPending_ = false;
    checkAgain_ = false;
    listingWanted_ = false;
}

void FileSystemMonitor::scheduleCheck(bool listing) {
    listingWanted_ = listingWanted_ || listing;
    // Notices that arrive together (a rename gives two) lead to one listing.
    if (checkPending_)
        return;
    checkPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (!checkPending_)
            return;
        checkPending_ = false;
        checkForChanges();
    });
}

void FileSystemMonitor::checkForChanges() {
    if (!watcher_)
        return;
    if (checking_ || !hasListing_) {
        checkAgain_ = true;
        return;
    }
    checking_ = true;
    // The kept listing is shared with the worker, not copied.
    auto compare = [directory = directory_, before = lastContents_, kept = identity_,
                    listing = std::exchange(listingWanted_, false)] {
        Comparison comparison;
        // A notice of the parent alone costs one stat, unless the folder itself came or went.
        comparison.identity = identityOf(directory);
        comparison.identityChanged = comparison.identity != kept;
        if (!listing && !comparison.identityChanged)
            return comparison;
        comparison.looked = true;
        auto current = listEntries(directory);
        if (!current)
            return comparison;
        comparison.listed = true;
        for (const QString& path : std::as_const(*current)) {
            if (!before.contains(path))
                comparison.added.append(path);
        }
        for (const QString& path : before) {
            if (!current->contains(path))
                comparison.removed.append(path);
        }
        comparison.contents = std::move(*current);
        return comparison;
    };
    whenReady(this, QtConcurrent::run(std::move(compare)), [this](const Comparison& comparison) {
        checking_ = false;
        report(comparison);
    });
}

void FileSystemMonitor::report(const Comparison& comparison) {
    if (!watcher_)
        return; // stopped meanwhile
    QPointer<FileSystemMonitor> self(this);
    if (comparison.identityChanged) {
        // The path names another folder now, or none: what is there replaces the kept listing whole, and the
        // owner reads it again.
        followFolder(comparison.identity);
        lastContents_ = comparison.listed ? comparison.contents : QSet<QString>{};
        handler_(FileSystemEvent::directoryChanged());
    } else if (!comparison.looked) {
        // The parent changed around a folder still in place.
    } else if (!comparison.listed) {
        handler_(FileSystemEvent::directoryChanged());
    } else {
        // The kept listing is up to date before the handler runs: it may stop this monitor.
        lastContents_ = comparison.contents;
        for (const QString& path : comparison.added) {
            if (!self || !watcher_)
                return;
            handler_(FileSystemEvent::fileAdded(path));
        }
        for (const QString& path : comparison.removed) {
            if (!self || !watcher_)
                return;
            handler_(FileSystemEvent::fileRemoved(path));
        }
    }
    if (self && watcher_ && std::exchange(checkAgain_, false))
        scheduleCheck(false);
}
