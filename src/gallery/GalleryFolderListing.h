#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class GalleryClip;
class QThread;

// One full read of the gallery's folder, done on a worker: readdir and one statx per candidate, so names are
// filtered before anything is read from the disk, then sorted. Every byte of a name is kept, so a name that is
// not UTF-8 still reaches its file.
struct GalleryFolderListing {
    struct Clip {
        QString path;
        qint64 created; // ms since 1970; -1 when unknown
        qint64 size;
        QString name;
    };
    QString directory;
    bool opened = false;
    int error = 0;         // errno when the folder could not be opened
    int found = 0;         // non-hidden entries
    QSet<QString> entries; // every non-hidden entry, as the watcher names them
    QStringList rejected;  // what the log says of each entry that is not a clip
    std::vector<Clip> kept;
    // The clips, made here and handed to `owner`'s thread; those never shown are deleted there.
    std::shared_ptr<QList<GalleryClip*>> clips;

    // The first screen: how many clips, and the size of their pictures on the cards.
    struct FirstScreen {
        int count = 0;
        QSize pictureSize;
    };
    static GalleryFolderListing read(const QString& directory, const QString& prefix, FirstScreen firstScreen,
                                     QThread* owner, const QDateTime& undated);

    static const QSet<QString>& supportedFormats();
    static bool hasVideoExtension(const QString& fileName);
    // A clip's name starts with the prefix (case-sensitive), its extension is a supported one in any case and
    // it is not a partial download (a ".part" piece in its name).
    static bool passesFilter(const QString& fileName, const QString& prefix);
};
