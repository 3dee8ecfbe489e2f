#include "BackupCarrier.h"
#include "SystemError.h"

#include "BackupContext.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Links into one folder hardly scale past two threads: the folder is locked for each new name.
constexpr int kThreads = 2;

// Errors of a file system that has no hard links (or not for this file): the picture is copied instead.
bool linksUnsupported(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == EXDEV || error == EMLINK || error == ENOSYS;
}

// Not carried over: what the folder holds under the name is no longer a picture the backup wrote.
constexpr int kNotAPicture = -1;

// Copies `name` from one folder to the other into a new file: a shared clone of the data where the file system
// has them (a later write to either never reaches the other), else the bytes, synced. Returns 0, errno or
// kNotAPicture for a symlink, a folder or a file linked from elsewhere.
int copy(int from, int to, const char* name) {
    const int in = ::openat(from, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return errno == ELOOP ? kNotAPicture : errno;
    struct stat info {};
    // Where the file system has no links, a second one only comes from outside.
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        ::close(in);
        return kNotAPicture;
    }
    const int out = ::openat(to, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    if (::ioctl(out, FICLONE, in) != 0) {
        bool kernelCopies = true;
        std::vector<char> buffer;
        for (;;) {
            ssize_t copied = -1;
            if (kernelCopies) {
                copied = ::copy_file_range(in, nullptr, out, nullptr, 1 << 20, 0);
                if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                    kernelCopies = false;
                    continue;
                }
            } else {
                buffer.resize(1 << 16);
                copied = ::read(in, buffer.data(), buffer.size());
                for (ssize_t written = 0; copied > 0 && written < copied;) {
                    const ssize_t step = ::write(out, buffer.data() + written, size_t(copied - written));
                    if (step < 0 && errno != EINTR) {
                        copied = -1;
                        break;
                    }
                    written += std::max<ssize_t>(step, 0);
                }
            }
            if (copied == 0)
                break;
            if (copied < 0 && errno != EINTR) {
                error = errno;
                break;
            }
        }
    }
    // The copy keeps the time the picture was written: the next backup tells an untouched copy by it.
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (error == 0 && ::futimens(out, times) != 0)
        error = errno;
    if (error == 0 && ::fsync(out) != 0 && errno != EINVAL)
        error = errno;
    if (::close(out) != 0 && error == 0)
        error = errno;
    ::close(in);
    if (error != 0)
        ::unlinkat(to, name, 0);
    return error;
}

int openFolder(const QString& path) {
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

BackupCarrier::BackupCarrier(const QString& from, const QString& to, const QList<BackupPictures::Key>& pictures,
                             bool links)
    : links_(links) {
    for (const char* folder : BackupPictures::folders) {
        fromFolders_.push_back(openFolder(from + '/' + folder));
        toFolders_.push_back(openFolder(to + '/' + folder));
    }
    items_.reserve(size_t(pictures.size()));
    for (const BackupPictures::Key& key : pictures) {
        const auto& column = BackupPictures::columns[size_t(key.column)];
        const auto folder = std::find_if(BackupPictures::folders.begin(), BackupPictures::folders.end(),
                                         [&](const char* name) { return qstrcmp(name, column.folder) == 0; });
        items_.push_back({int(folder - BackupPictures::folders.begin()),
                          BackupPictures::idText(key.id).toStdString() + column.suffix, key});
    }
    missing_.assign(items_.size(), 0);
    // Counted as work in the background until the last thread is done.
    auto work = std::make_shared<BackupContext::BackgroundWork>();
    const int threads = items_.size() < 64 ? 1 : kThreads;
    for (int i = 0; i < threads; ++i)
        threads_.emplace_back([this, work] { run(); });
}

BackupCarrier::~BackupCarrier() {
    stop_ = true;
    join();
    for (const int fd : fromFolders_) {
        if (fd >= 0)
            ::close(fd);
    }
    for (const int fd : toFolders_) {
        if (fd >= 0)
            ::close(fd);
    }
}

QSet<BackupPictures::Key> BackupCarrier::finish() {
    join();
    if (!failure_.isEmpty())
        throw BackupError(failure_);
    QSet<BackupPictures::Key> missing;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (missing_[i])
            missing.insert(items_[i].key);
    }
    return missing;
}

void BackupCarrier::run() {
    for (size_t i = next_++; i < items_.size() && !stop_; i = next_++) {
        const Item& item = items_[i];
        const int from = fromFolders_[size_t(item.folder)];
        const int to = toFolders_[size_t(item.folder)];
        if (from < 0) {
            missing_[i] = 1;
            continue;
        }
        if (to < 0)
            return fail(item, ENOENT);
        if (links_) {
            if (::linkat(from, item.name.c_str(), to, item.name.c_str(), 0) == 0)
                continue;
            const int error = errno;
            struct stat info {};
            // Gone, or something else in its place (a folder cannot be linked): written again.
            if (error == ENOENT ||
                (::fstatat(from, item.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode))) {
                missing_[i] = 1;
                continue;
            }
            if (!linksUnsupported(error))
                return fail(item, error);
            links_ = false;
        }
        const int error = copy(from, to, item.name.c_str());
        if (error == ENOENT || error == kNotAPicture)
            missing_[i] = 1;
        else if (error != 0)
            return fail(item, error);
    }
}

void BackupCarrier::fail(const Item& item, int error) {
    stop_ = true;
    std::lock_guard lock(mutex_);
    if (failure_.isEmpty()) {
        failure_ = QStringLiteral("carrying over %1: %2").arg(BackupPictures::path(item.key), systemReason(error));
    }
}

void BackupCarrier::join() {
    for (auto& thread : threads_) {
        if (thread.joinable())
            thread.join();
    }
}
