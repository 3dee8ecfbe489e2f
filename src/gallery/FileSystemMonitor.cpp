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

// What one check found: the listing, and how it differs from the kept one.
struct FileSystemMonitor::Comparison {
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

void FileSystemMonitor::setFirstListing(QSet<QString> entries) {
    if (hasListing_)
        return;
    hasListing_ = true;
    lastContents_ = std::move(entries);
    if (std::exchange(checkAgain_, false))
        scheduleCheck();
}

void FileSystemMonitor::startMonitoring() {
    if (started_)
        return;
    started_ = true;
    if (!QFileInfo(directory_).isDir())
        return;
    auto* watcher = new QFileSystemWatcher(this);
    if (!watcher->addPath(directory_)) {
        delete watcher;
        return;
    }
    watcher_ = watcher;
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &FileSystemMonitor::scheduleCheck);
}

void FileSystemMonitor::stopMonitoring() {
    delete watcher_;
    watcher_ = nullptr;
    checkPending_ = false;
    checkAgain_ = false;
}

void FileSystemMonitor::scheduleCheck() {
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
    auto compare = [directory = directory_, before = lastContents_] {
        Comparison comparison;
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
    if (!comparison.listed) {
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
        scheduleCheck();
}
