#include "ClipFileInfo.h"

#include "FileNames.h"

#include <fcntl.h>
#include <sys/stat.h>

ClipFileInfo ClipFileInfo::of(const QString& path) {
    ClipFileInfo info;
    struct statx facts {};
    if (::statx(AT_FDCWD, FileNames::encode(path).constData(), AT_STATX_SYNC_AS_STAT,
                STATX_TYPE | STATX_BTIME | STATX_MTIME | STATX_SIZE, &facts) != 0)
        return info;
    info.exists = true;
    info.isFile = S_ISREG(facts.stx_mode);
    info.size = qint64(facts.stx_size);
    if (facts.stx_mask & STATX_MTIME)
        info.modifiedSecs = qint64(facts.stx_mtime.tv_sec);
    const bool born = facts.stx_mask & STATX_BTIME;
    if (born || (facts.stx_mask & STATX_MTIME)) {
        const statx_timestamp& stamp = born ? facts.stx_btime : facts.stx_mtime;
        info.created = QDateTime::fromMSecsSinceEpoch(qint64(stamp.tv_sec) * 1000 + stamp.tv_nsec / 1000000, Qt::UTC);
    }
    return info;
}
