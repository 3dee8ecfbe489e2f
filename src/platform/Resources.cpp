#include "Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef ORVANE_SOURCE_RESOURCES_DIR
#define ORVANE_SOURCE_RESOURCES_DIR ""
#endif

namespace Resources {
namespace {
QString& overrideRoot() {
    static QString root;
    return root;
}

QString searchRoot() {
    const QString appDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    const QStringList candidates = {
        appDir + "/../share/orvane/resources",       // installed
        appDir + "/resources",                       // beside the binary
        QStringLiteral(ORVANE_SOURCE_RESOURCES_DIR), // the build tree
    };
    for (const QString& candidate : candidates) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir())
            return QDir(candidate).canonicalPath();
    }
    return {};
}
} // namespace

QString root() {
    if (!overrideRoot().isEmpty())
        return overrideRoot();
    static const QString found = searchRoot();
    return found;
}

void setRoot(const QString& folder) {
    overrideRoot() = folder;
}

std::optional<QString> path(const QString& name, const QString& extension) {
    const QString base = root();
    if (base.isEmpty() || name.isEmpty() || name.contains('/') || name.contains(".."))
        return std::nullopt;
    const QString fileName = extension.isEmpty() ? name : name + '.' + extension;
    // Resources sit at the top of the bundle or in one level of sub-folders.
    QFileInfo direct(base + '/' + fileName);
    if (direct.isFile())
        return direct.absoluteFilePath();
    const QStringList subfolders = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& sub : subfolders) {
        QFileInfo nested(base + '/' + sub + '/' + fileName);
        if (nested.isFile())
            return nested.absoluteFilePath();
    }
    return std::nullopt;
}

std::optional<QString> folder(const QString& name) {
    const QString base = root();
    if (base.isEmpty() || name.isEmpty() || name.contains(".."))
        return std::nullopt;
    QFileInfo info(base + '/' + name);
    if (!info.isDir())
        return std::nullopt;
    return info.absoluteFilePath();
}

} // namespace Resources
