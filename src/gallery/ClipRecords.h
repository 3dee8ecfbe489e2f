#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>

class GalleryClip;
class ModelContext;
class PersistentModel;
class VideoMetadata;

// The join of the gallery's clips with their stored records, by file name. Records come newest first; for
// each name the newest counts (of equally new ones the one listed first), for the card and for recreate alike.
class ClipRecords {
public:
    // Reads every record again from `context` (none without one).
    void reload(ModelContext* context);
    // A save's records written and removed; returns the names whose record may have changed.
    QSet<QString> applySaved(const QList<std::shared_ptr<PersistentModel>>& written,
                             const QList<std::shared_ptr<PersistentModel>>& removed);
    std::shared_ptr<VideoMetadata> recordFor(const QString& fileName) const { return chosen_.value(fileName); }
    // Gives each clip its record; with `names`, only the clips of those names.
    void join(const QList<GalleryClip*>& clips) const;
    void join(const QList<GalleryClip*>& clips, const QSet<QString>& names) const;

private:
    void choose(const QString& fileName);

    // Every clip record by file name, in the store's order, and the one that counts for each name.
    QHash<QString, QList<std::shared_ptr<VideoMetadata>>> byName_;
    QHash<const VideoMetadata*, QString> nameOf_;
    QHash<QString, std::shared_ptr<VideoMetadata>> chosen_;
};
