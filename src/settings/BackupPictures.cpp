#include "BackupPictures.h"

#include <QFile>

#include <sys/stat.h>

QString BackupPictures::idText(const QUuid& id) {
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = id.toRfc4122();
    char text[36];
    int at = 0;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text[at++] = '-';
        text[at++] = hex[(uchar(bytes[i]) >> 4) & 0xf];
        text[at++] = hex[uchar(bytes[i]) & 0xf];
    }
    return QString::fromLatin1(text, 36);
}

QString BackupPictures::path(const Key& key) {
    const Column& column = columns[size_t(key.column)];
    return QLatin1String(column.folder) + '/' + idText(key.id) + QLatin1String(column.suffix);
}

std::optional<BackupPictures::Key> BackupPictures::keyOf(const char* folder, QByteArrayView name) {
    constexpr qsizetype idLength = 36;
    if (name.size() <= idLength)
        return std::nullopt;
    const QByteArrayView suffix = name.sliced(idLength);
    for (size_t i = 0; i < columns.size(); ++i) {
        if (qstrcmp(columns[i].folder, folder) != 0 || suffix != QByteArrayView(columns[i].suffix))
            continue;
        // Only the canonical form (upper case): another spelling of the same id is another file.
        const QByteArrayView id = name.first(idLength);
        for (const char c : id) {
            if (c >= 'a' && c <= 'f')
                return std::nullopt;
        }
        const QUuid uuid = QUuid::fromString(QLatin1StringView(id.data(), id.size()));
        if (uuid.isNull())
            return std::nullopt;
        return Key{uuid, int(i)};
    }
    return std::nullopt;
}

std::optional<BackupPictures::FileId> BackupPictures::fileId(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileId{quint64(info.st_dev), quint64(info.st_ino)};
}

namespace {

qint64 modifiedOf(const struct stat& info) {
    return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

} // namespace

std::optional<BackupPictures::Written> BackupPictures::writtenOf(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return Written{qint64(info.st_size), modifiedOf(info)};
}

bool BackupPictures::isIntact(const QString& folder, const QString& relative, const Written& written,
                              const QStringList& ownFolders) {
    const QByteArray path = QFile::encodeName(folder + '/' + relative);
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size != written.size ||
        modifiedOf(info) != written.modified)
        return false;
    if (info.st_nlink == 1)
        return true;
    // The other links of a carried picture are the previous backup's and those of folders being removed or
    // prepared; a link anywhere else shares the file with something we do not control.
    nlink_t own = 0;
    for (const QString& other : ownFolders) {
        struct stat linked {};
        if (::lstat(QFile::encodeName(other + '/' + relative).constData(), &linked) == 0 &&
            linked.st_dev == info.st_dev && linked.st_ino == info.st_ino)
            ++own;
    }
    if (own >= info.st_nlink)
        return true;
    // A folder removed in the background meanwhile took its link with it: counted again, it is not missed.
    struct stat again {};
    return ::lstat(path.constData(), &again) == 0 && again.st_ino == info.st_ino && again.st_nlink <= own;
}
