#include "GalleryFolderListing.h"

#include "ClipMetadataLoader.h"
#include "FileNames.h"
#include "GalleryClip.h"
#include "MediaProbe.h"
#include "SharedWork.h"

#include <QDir>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// A download or copy still in progress: "clip.part.mp4", "clip.mp4.part", "x.part".
bool isPartialName(const QString& fileName) {
    const QStringView name(fileName);
    for (qsizetype at = name.indexOf(QLatin1String(".part"), 0, Qt::CaseInsensitive); at >= 0;
         at = name.indexOf(QLatin1String(".part"), at + 1, Qt::CaseInsensitive)) {
        const qsizetype end = at + 5;
        if (at > 0 && (end == name.size() || name.at(end) == '.'))
            return true;
    }
    return false;
}

} // namespace

const QSet<QString>& GalleryFolderListing::supportedFormats() {
    static const QSet<QString> formats{QStringLiteral("mp4")};
    return formats;
}

// Called for every entry of a folder of thousands: no allocation for the common case.
bool GalleryFolderListing::hasVideoExtension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf('.');
    if (dot < 0)
        return false;
    const QStringView suffix = QStringView(fileName).mid(dot + 1);
    for (const QString& format : supportedFormats()) {
        if (suffix.compare(format, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool GalleryFolderListing::passesFilter(const QString& fileName, const QString& prefix) {
    return hasVideoExtension(fileName) && fileName.startsWith(prefix) && !isPartialName(fileName);
}

GalleryFolderListing GalleryFolderListing::read(const QString& directory, const QString& prefix,
                                                FirstScreen firstScreen, QThread* owner, const QDateTime& undated) {
    GalleryFolderListing listing;
    listing.directory = directory;
    errno = 0;
    DIR* dir = ::opendir(FileNames::encode(directory).constData());
    if (!dir) {
        listing.error = errno;
        return listing;
    }
    listing.opened = true;
    const QString base = directory.endsWith('/') ? directory : directory + '/';
    const QString watched = QDir(directory).absolutePath() + '/';
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        ++listing.found;
        const QString name = FileNames::decode(QByteArray(entry->d_name));
        listing.entries.insert(watched + name);
        const bool prefixed = name.startsWith(prefix);
        const bool video = hasVideoExtension(name);
        if (!prefixed || !video) {
            listing.rejected << FileNames::displayName(name) +
                                    (prefixed
                                         ? QStringLiteral(" (has ") + prefix + QStringLiteral(" prefix but not .mp4)")
                                     : video
                                         ? QStringLiteral(" (no ") + prefix + QStringLiteral(" prefix)")
                                         : QStringLiteral(" (no ") + prefix + QStringLiteral(" prefix and not .mp4)"));
            continue;
        }
        if (isPartialName(name) || entry->d_type == DT_DIR)
            continue; // a partial file or a folder: never a clip, not worth a line
        struct statx info {};
        if (::statx(dirFd, entry->d_name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_BTIME | STATX_MTIME | STATX_SIZE,
                    &info) != 0 ||
            !S_ISREG(info.stx_mode))
            continue;
        const statx_timestamp& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
        const qint64 created =
            (info.stx_mask & (STATX_BTIME | STATX_MTIME)) ? qint64(stamp.tv_sec) * 1000 + stamp.tv_nsec / 1000000 : -1;
        listing.kept.push_back({base + name, created, qint64(info.stx_size), name});
    }
    ::closedir(dir);
    // Newest first; undated entries last; equal dates by name, newest name first (names carry the time).
    std::sort(listing.kept.begin(), listing.kept.end(), [](const Clip& a, const Clip& b) {
        if (a.created != b.created)
            return a.created > b.created;
        return a.name > b.name;
    });
    listing.clips = std::shared_ptr<QList<GalleryClip*>>(new QList<GalleryClip*>, [](QList<GalleryClip*>* clips) {
        for (GalleryClip* clip : std::as_const(*clips))
            clip->deleteLater();
        delete clips;
    });
    // The first screen's pictures come with the list when the thumbnail cache has them: one trip to the GUI
    // thread, one layout. The rest are read when a view comes near them.
    struct Picture {
        ClipMetadataLoader::Result read;
        QImage onCard;
    };
    QStringList shownFirst;
    for (size_t i = 0; i < listing.kept.size() && i < size_t(std::max(0, firstScreen.count)); ++i)
        shownFirst << listing.kept[i].path;
    auto cached = std::make_shared<SharedWork<Picture>>(int(shownFirst.size()));
    cached->start(MediaProbe::pool(), [shownFirst, size = firstScreen.pictureSize](int i) {
        Picture picture{ClipMetadataLoader::loadCached(shownFirst[i]), {}};
        if (picture.read.ok)
            picture.onCard = GalleryClip::coverPicture(picture.read.thumbnail, size);
        return picture;
    });
    // The clips are made while their pictures are read; then this thread reads what is left.
    listing.clips->reserve(qsizetype(listing.kept.size()));
    for (const Clip& entry : listing.kept) {
        const QDateTime created = entry.created >= 0 ? QDateTime::fromMSecsSinceEpoch(entry.created, Qt::UTC) : undated;
        listing.clips->append(new GalleryClip(entry.path, created, entry.size));
    }
    const QList<Picture> pictures = cached->finish();
    for (qsizetype i = 0; i < listing.clips->size(); ++i) {
        GalleryClip* clip = listing.clips->at(i);
        if (i < pictures.size() && pictures[i].read.ok)
            clip->takeMetadata(pictures[i].read, pictures[i].onCard);
        clip->moveToThread(owner);
    }
    return listing;
}
