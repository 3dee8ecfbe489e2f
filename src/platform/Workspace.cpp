#include "Workspace.h"

#include "FileNames.h"
#include "Trash.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {
Workspace*& installedWorkspace() {
    static Workspace* workspace = nullptr;
    return workspace;
}

void openFolders(const QStringList& paths) {
    for (const QString& folder : DesktopWorkspace::foldersOf(paths))
        QDesktopServices::openUrl(FileNames::url(folder));
}

} // namespace

Workspace& Workspace::current() {
    static DesktopWorkspace desktop;
    return installedWorkspace() ? *installedWorkspace() : desktop;
}

void Workspace::setCurrent(Workspace* workspace) {
    installedWorkspace() = workspace;
}

DesktopWorkspace::DesktopWorkspace(QString service) : service_(std::move(service)) {}

QStringList DesktopWorkspace::foldersOf(const QStringList& paths) {
    QStringList folders;
    for (const QString& path : paths) {
        if (path.isEmpty())
            continue;
        const QString folder = QFileInfo(path).absolutePath();
        if (!folders.contains(folder))
            folders << folder;
    }
    return folders;
}

void DesktopWorkspace::revealInFileManager(const QStringList& paths) {
    QStringList uris;
    for (const QString& path : paths) {
        if (!path.isEmpty())
            uris << FileNames::url(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    }
    if (uris.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolders(paths);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service_, QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, paths] {
        const QDBusPendingReply<> reply = *watcher;
        if (reply.isError())
            openFolders(paths);
        watcher->deleteLater();
    });
}

bool DesktopWorkspace::moveToTrash(const QString& path, QString* reason) {
    // Not QFile::moveToTrash(): where the home trash cannot be made it puts the file under the working folder.
    return Trash::move(path, reason);
}
