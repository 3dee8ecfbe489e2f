#include "FileSystemMonitor.h"

#include "FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QTimer>

#include <dirent.h>

FileSystemMonitor::FileSystemMonitor(const QString& directory, EventHandler handler, QObject* parent)
    : QObject(parent), directory_(QDir(directory).absolutePath()), handler_(std::move(handler)) {
    lastContents_ = listEntries(directory_).value_or(QSet<QString>{});
}

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
    const auto current = listEntries(directory_);
    if (!current) {
        handler_(FileSystemEvent::directoryChanged());
        return;
    }
    const QSet<QString> added = *current - lastContents_;
    const QSet<QString> removed = lastContents_ - *current;
    lastContents_ = *current;
    // The handler may stop this monitor; the kept listing is already up to date by then.
    QPointer<FileSystemMonitor> self(this);
    for (const QString& path : added) {
        if (!self || !watcher_)
            return;
        handler_(FileSystemEvent::fileAdded(path));
    }
    for (const QString& path : removed) {
        if (!self || !watcher_)
            return;
        handler_(FileSystemEvent::fileRemoved(path));
    }
}
