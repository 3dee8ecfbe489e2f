#include "ClipRecords.h"

#include "GalleryClip.h"
#include "ModelContext.h"
#include "VideoMetadata.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include <atomic>

namespace {

QDateTime dateOf(const auto& entry) {
    // The store's own object may have been given another date since it was read.
    return entry.record && entry.record->modelContext() ? entry.record->createdAt() : entry.createdAt;
}

} // namespace

void ClipRecords::reload(ModelContext* context) {
    byName_.clear();
    nameOf_.clear();
    chosen_.clear();
    if (context) {
        if (const auto records = context->fetch<VideoMetadata>()) {
            for (const auto& record : *records)
                add({record->identity(), record->createdAt(), record, nullptr}, record->fileName());
        }
    }
    for (auto it = byName_.cbegin(); it != byName_.cend(); ++it)
        choose(it.key());
}

std::optional<ClipRecords> ClipRecords::read(const QString& storePath) {
    static std::atomic<int> connections{0};
    const QString connection = QStringLiteral("ClipRecords-%1").arg(++connections);
    std::optional<ClipRecords> records;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(storePath);
        // A store busy for more than a moment is read through the context instead: the list waits for these.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=250"));
        if (db.open()) {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            // The columns stored before the pictures: a row's later columns lie behind its pictures' pages.
            if (query.exec(QStringLiteral("SELECT id, fileName, prompt, quality, duration, createdAt, videoMode, "
                                          "promptOptimization, model, fastPretreatment FROM VideoMetadata "
                                          "ORDER BY rowid"))) {
                ClipRecords read;
                while (query.next()) {
                    auto row = std::make_shared<Row>();
                    row->fileName = query.value(1).toString();
                    row->prompt = query.value(2).toString();
                    row->quality = query.value(3).toString();
                    row->duration = int(query.value(4).toLongLong());
                    row->videoMode = query.value(6).toString();
                    row->promptOptimization = query.value(7).toLongLong() != 0;
                    if (!query.isNull(8))
                        row->model = query.value(8).toString();
                    if (!query.isNull(9))
                        row->fastPretreatment = query.value(9).toLongLong() != 0;
                    const QString identity =
                        QUuid::fromString(query.value(0).toString()).toString(QUuid::WithoutBraces);
                    const QDateTime createdAt = QDateTime::fromMSecsSinceEpoch(query.value(5).toLongLong(), Qt::UTC);
                    const QString name = row->fileName;
                    read.add({identity, createdAt, nullptr, std::move(row)}, name);
                }
                if (!query.lastError().isValid()) {
                    for (auto it = read.byName_.cbegin(); it != read.byName_.cend(); ++it)
                        read.choose(it.key());
                    records = std::move(read);
                }
            }
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return records;
}

void ClipRecords::add(Entry entry, const QString& fileName) {
    nameOf_.insert(entry.identity, fileName);
    byName_[fileName].append(std::move(entry));
}

QSet<QString> ClipRecords::applySaved(const QList<std::shared_ptr<PersistentModel>>& written,
                                      const QList<std::shared_ptr<PersistentModel>>& removed) {
    // Names whose record may have changed: a record's old and new name when it was renamed.
    QSet<QString> touched;
    const auto forget = [&](const QString& identity) {
        const auto at = nameOf_.constFind(identity);
        if (at == nameOf_.cend())
            return;
        const QString name = at.value();
        nameOf_.erase(at);
        auto& named = byName_[name];
        named.removeIf([&identity](const Entry& candidate) { return candidate.identity == identity; });
        if (named.isEmpty())
            byName_.remove(name);
        touched.insert(name);
    };
    for (const auto& record : removed) {
        if (const auto* video = qobject_cast<const VideoMetadata*>(record.get()))
            forget(video->identity());
    }
    for (const auto& record : written) {
        auto video = std::dynamic_pointer_cast<VideoMetadata>(record);
        if (!video)
            continue;
        const QString name = video->fileName();
        const QString identity = video->identity();
        if (const auto at = nameOf_.constFind(identity); at != nameOf_.cend() && at.value() == name) {
            // Its date or settings may have changed: the store's object holds them now.
            for (Entry& entry : byName_[name]) {
                if (entry.identity == identity) {
                    entry.record = video;
                    entry.row.reset();
                }
            }
            touched.insert(name);
            continue;
        }
        forget(identity);
        // A new or renamed record joins the records of its name last.
        add({identity, video->createdAt(), video, nullptr}, name);
        touched.insert(name);
    }
    for (const QString& name : std::as_const(touched))
        choose(name);
    return touched;
}

std::shared_ptr<VideoMetadata> ClipRecords::recordFor(const QString& fileName) const {
    const auto at = chosen_.constFind(fileName);
    if (at == chosen_.cend())
        return nullptr;
    if (!at->record && at->row) {
        const Row& row = *at->row;
        at->record = VideoMetadata::make(row.fileName, row.prompt, row.quality, row.duration, row.videoMode,
                                         row.promptOptimization, row.model, row.fastPretreatment);
        at->record->setCreatedAt(at->createdAt);
    }
    return at->record;
}

std::shared_ptr<VideoMetadata> ClipRecords::storedRecordFor(const QString& fileName, ModelContext* context) const {
    const auto at = chosen_.constFind(fileName);
    if (at == chosen_.cend())
        return nullptr;
    if (at->record && at->record->modelContext())
        return at->record;
    return context ? context->object<VideoMetadata>(at->identity) : recordFor(fileName);
}

void ClipRecords::join(const QList<GalleryClip*>& clips) const {
    for (GalleryClip* clip : clips)
        clip->setRecord(recordFor(clip->fileName()));
}

void ClipRecords::join(const QList<GalleryClip*>& clips, const QSet<QString>& names) const {
    for (GalleryClip* clip : clips) {
        if (names.contains(clip->fileName()))
            clip->setRecord(recordFor(clip->fileName()));
    }
}

void ClipRecords::choose(const QString& fileName) {
    const auto named = byName_.constFind(fileName);
    const Entry* newest = nullptr;
    if (named != byName_.cend()) {
        for (const Entry& entry : named.value()) {
            if (!newest || dateOf(entry) > dateOf(*newest))
                newest = &entry;
        }
    }
    if (!newest) {
        chosen_.remove(fileName);
        return;
    }
    // A copy already made for the same row stays, so the card keeps its record.
    const auto current = chosen_.constFind(fileName);
    if (current != chosen_.cend() && current->identity == newest->identity && !newest->record)
        return;
    chosen_.insert(fileName, *newest);
}
