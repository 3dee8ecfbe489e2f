#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A folder the user chose, kept as persistent bookmark data: the folder's absolute path in UTF-8.
// There are no security scopes here, so starting access only checks that the folder can be read.
namespace FolderBookmark {

std::optional<QByteArray> create(const QString& folderPath, QString* error = nullptr);
// The folder's path, when the data names an existing folder.
std::optional<QString> resolve(const QByteArray& data, QString* error = nullptr);
bool startAccessing(const QString& folderPath);
void stopAccessing(const QString& folderPath);

} // namespace FolderBookmark

namespace FolderBookmark {
// Resolves stored bookmark data and starts access, as every user of a chosen folder does: a failed
// resolution prints `failurePrefix` and the error; refused access gives none without a message.
// The caller stops access when done.
std::optional<QString> resolveForUse(const std::optional<QByteArray>& data, const QString& failurePrefix);
} // namespace FolderBookmark
