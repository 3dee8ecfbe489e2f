#include "NoReplaceMove.h"
#include "SystemError.h"

#include "FileNames.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace NoReplaceMove {
namespace {

Result failed(int error) {
    return {Outcome::failed, systemReason(error)};
}

// File systems without renameat2 flags or hard links: claim the name by creating it exclusively,
// then replace our own empty claim. The folder shows an empty file under the name for that moment.
Result claimThenReplace(const QByteArray& from, const QByteArray& to) {
    const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST ? Result{Outcome::nameTaken, {}} : failed(errno);
    ::close(fd);
    if (::rename(from.constData(), to.constData()) != 0) {
        const int error = errno;
        ::unlink(to.constData());
        return failed(error);
    }
    return {Outcome::moved, {}};
}

} // namespace

Result move(const QString& from, const QString& to) {
    const QByteArray source = FileNames::encode(from);
    const QByteArray target = FileNames::encode(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return {Outcome::moved, {}};
    if (errno == EEXIST)
        return {Outcome::nameTaken, {}};
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return failed(errno);
    // link() refuses an existing name too; the temporary name is dropped afterwards.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return {Outcome::moved, {}};
    }
    if (errno == EEXIST)
        return {Outcome::nameTaken, {}};
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return failed(errno);
    return claimThenReplace(source, target);
}

} // namespace NoReplaceMove
