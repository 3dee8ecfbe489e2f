#include "AppPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace AppPaths {
namespace {
QString& overrideRoot() {
    static QString root;
    return root;
}
QString ensured(const QString& path) {
    QDir().mkpath(path);
    return path;
}
} // namespace

QString dataFolder() {
    if (!overrideRoot().isEmpty())
        return ensured(overrideRoot() + "/data");
    return ensured(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Orvane");
}

QString cacheFolder() {
    if (!overrideRoot().isEmpty())
        return ensured(overrideRoot() + "/cache");
    return ensured(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/Orvane");
}

QString tempFolder() {
    if (!overrideRoot().isEmpty())
        return ensured(overrideRoot() + "/tmp");
    return QDir::tempPath();
}

QString storeFile() {
    return dataFolder() + "/Orvane.store";
}

void setRoot(const QString& root) {
    overrideRoot() = root;
}

} // namespace AppPaths
