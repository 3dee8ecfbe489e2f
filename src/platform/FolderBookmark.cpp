#include "FolderBookmark.h"

#include <QDir>
#include <QFileInfo>

namespace FolderBookmark {

std::optional<QByteArray> create(const QString& folderPath, QString* error) {
    const QFileInfo info(folderPath);
    if (folderPath.isEmpty() || !info.exists()) {
        if (error)
            *error = QStringLiteral("The folder “%1” doesn’t exist.").arg(folderPath);
        return std::nullopt;
    }
    if (!info.isDir()) {
        if (error)
            *error = QStringLiteral("“%1” is not a folder.").arg(folderPath);
        return std::nullopt;
    }
    return QDir(info.absoluteFilePath()).absolutePath().toUtf8();
}

std::optional<QString> resolve(const QByteArray& data, QString* error) {
    const QString path = QString::fromUtf8(data);
    if (data.isEmpty() || data.contains('\0') || !QDir::isAbsolutePath(path)) {
        if (error)
            *error = QStringLiteral("The bookmark data isn’t in the correct format.");
        return std::nullopt;
    }
    const QFileInfo info(path);
    if (!info.exists() || !info.isDir()) {
        if (error)
            *error = QStringLiteral("The folder “%1” couldn’t be opened because it doesn’t exist.").arg(path);
        return std::nullopt;
    }
    return QDir(path).absolutePath();
}

bool startAccessing(const QString& folderPath) {
    const QFileInfo info(folderPath);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

void stopAccessing(const QString&) {}

} // namespace FolderBookmark

#include "Log.h"

namespace FolderBookmark {

std::optional<QString> resolveForUse(const std::optional<QByteArray>& data, const QString& failurePrefix) {
    if (!data)
        return std::nullopt;
    QString error;
    const auto path = resolve(*data, &error);
    if (!path) {
        Log::line(failurePrefix + error);
        return std::nullopt;
    }
    // A stale bookmark is used as resolved; it is never re-created here.
    if (!startAccessing(*path))
        return std::nullopt;
    return path;
}

} // namespace FolderBookmark
