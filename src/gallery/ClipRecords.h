#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

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
    // The same from the store's file, on the calling thread (a worker) through a connection of its own, reading
    // only what the cards show: never the pictures, whose pages make up nearly all of a large store. Records stay
    // rows until a clip of their name asks for one (on the thread that uses them); the store's own object is read
    // only for recreate. Nothing when the file cannot be read.
    static std::optional<ClipRecords> read(const QString& storePath);
    // A save's records written and removed; returns the names whose record may have changed.
    QSet<QString> applySaved(const QList<std::shared_ptr<PersistentModel>>& written,
                             const QList<std::shared_ptr<PersistentModel>>& removed);
    // What the card of a clip of this name shows; a copy of the stored record when it was read as a row.
    std::shared_ptr<VideoMetadata> recordFor(const QString& fileName) const;
    // The store's own record for this name, with its pictures and links (read from `context` for a row).
    std::shared_ptr<VideoMetadata> storedRecordFor(const QString& fileName, ModelContext* context) const;
    // Gives each clip its record; with `names`, only the clips of those names.
    void join(const QList<GalleryClip*>& clips) const;
    void join(const QList<GalleryClip*>& clips, const QSet<QString>& names) const;

private:
    // A record as read from its row: what the cards show of it.
    struct Row {
        QString fileName;
        QString prompt;
        QString quality;
        int duration = 0;
        QString videoMode;
        bool promptOptimization = false;
        std::optional<QString> model;
        std::optional<bool> fastPretreatment;
    };
    struct Entry {
        QString identity;
        QDateTime createdAt;
        // The store's object, or a copy of `row` made when first asked for.
        mutable std::shared_ptr<VideoMetadata> record;
        std::shared_ptr<const Row> row;
    };
    void add(Entry entry, const QString& fileName);
    void choose(const QString& fileName);

    // Every clip record by file name, in the store's order, and the one that counts for each name.
    QHash<QString, QList<Entry>> byName_;
    QHash<QString, QString> nameOf_; // by identity
    QHash<QString, Entry> chosen_;
};
