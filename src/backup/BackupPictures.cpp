#include "BackupPictures.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kIdLength = 36;

void writeIdText(const QUuid& id, char* text) {
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = id.toRfc4122();
    int at = 0;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text[at++] = '-';
        text[at++] = hex[(uchar(bytes[i]) >> 4) & 0xf];
        text[at++] = hex[uchar(bytes[i]) & 0xf];
    }
}

qint64 modifiedOf(const struct stat& info) {
    return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

// The index in BackupPictures::folders of a column's folder.
int folderIndex(int column) {
    const char* folder = BackupPictures::columns[size_t(column)].folder;
    for (size_t i = 0; i < BackupPictures::folders.size(); ++i) {
        if (qstrcmp(BackupPictures::folders[i], folder) == 0)
            return int(i);
    }
    return 0;
}

} // namespace

QString BackupPictures::idText(const QUuid& id) {
    char text[kIdLength];
    writeIdText(id, text);
    return QString::fromLatin1(text, kIdLength);
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

std::optional<BackupPictures::Written> BackupPictures::writtenOf(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return Written{qint64(info.st_size), modifiedOf(info)};
}

BackupPictures::IntactCheck::IntactCheck(const QString& folder, const QStringList& others) : folder_(open(folder)) {
    others_.reserve(size_t(others.size()));
    for (const QString& other : others)
        others_.push_back(open(other));
}

BackupPictures::IntactCheck::~IntactCheck() {
    close(folder_);
    for (const Folders& other : others_)
        close(other);
}

BackupPictures::IntactCheck::Folders BackupPictures::IntactCheck::open(const QString& folder) {
    Folders fds;
    for (size_t i = 0; i < folders.size(); ++i) {
        fds[i] = ::open(QFile::encodeName(folder + '/' + folders[i]).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    return fds;
}

void BackupPictures::IntactCheck::close(const Folders& fds) {
    for (const int fd : fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool BackupPictures::IntactCheck::operator()(const Key& key, const Written& written) const {
    const size_t folder = size_t(folderIndex(key.column));
    // The file's name, built on the stack: the check runs for every picture of a backup.
    char name[64];
    writeIdText(key.id, name);
    qstrncpy(name + kIdLength, columns[size_t(key.column)].suffix, sizeof name - kIdLength);
    struct stat info {};
    if (::fstatat(folder_[folder], name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size != written.size || modifiedOf(info) != written.modified)
        return false;
    // The other links of a carried picture are the previous backup's and those of folders being removed or
    // prepared; a link anywhere else shares the file with something we do not control.
    nlink_t own = 1;
    for (size_t i = 0; i < others_.size() && own < info.st_nlink; ++i) {
        struct stat linked {};
        if (::fstatat(others_[i][folder], name, &linked, AT_SYMLINK_NOFOLLOW) == 0 && linked.st_dev == info.st_dev &&
            linked.st_ino == info.st_ino)
            ++own;
    }
    if (own >= info.st_nlink)
        return true;
    // A folder removed in the background meanwhile took its link with it: counted again, it is not missed.
    struct stat again {};
    return ::fstatat(folder_[folder], name, &again, AT_SYMLINK_NOFOLLOW) == 0 && again.st_ino == info.st_ino &&
           again.st_nlink <= own;
}
