#include "ClipRecords.h"

#include "GalleryClip.h"
#include "ModelContext.h"
#include "VideoMetadata.h"

void ClipRecords::reload(ModelContext* context) {
    byName_.clear();
    nameOf_.clear();
    chosen_.clear();
    if (context) {
        if (const auto records = context->fetch<VideoMetadata>()) {
            for (const auto& record : *records) {
                byName_[record->fileName()].append(record);
                nameOf_.insert(record.get(), record->fileName());
            }
        }
    }
    for (auto it = byName_.cbegin(); it != byName_.cend(); ++it)
        choose(it.key());
}

QSet<QString> ClipRecords::applySaved(const QList<std::shared_ptr<PersistentModel>>& written,
                                      const QList<std::shared_ptr<PersistentModel>>& removed) {
    // Names whose record may have changed: a record's old and new name when it was renamed.
    QSet<QString> touched;
    const auto forget = [&](const VideoMetadata* record) {
        const auto at = record ? nameOf_.constFind(record) : nameOf_.cend();
        if (at == nameOf_.cend())
            return;
        const QString name = at.value();
        nameOf_.erase(at);
        auto& named = byName_[name];
        named.removeIf([record](const auto& candidate) { return candidate.get() == record; });
        if (named.isEmpty())
            byName_.remove(name);
        touched.insert(name);
    };
    for (const auto& record : removed)
        forget(qobject_cast<const VideoMetadata*>(record.get()));
    for (const auto& record : written) {
        auto video = std::dynamic_pointer_cast<VideoMetadata>(record);
        if (!video)
            continue;
        const QString name = video->fileName();
        if (const auto at = nameOf_.constFind(video.get()); at != nameOf_.cend() && at.value() == name) {
            touched.insert(name); // its date may have changed
            continue;
        }
        forget(video.get());
        // A new or renamed record joins the records of its name last.
        byName_[name].append(video);
        nameOf_.insert(video.get(), name);
        touched.insert(name);
    }
    for (const QString& name : std::as_const(touched))
        choose(name);
    return touched;
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
    std::shared_ptr<VideoMetadata> newest;
    for (const auto& record : byName_.value(fileName)) {
        if (!newest || record->createdAt() > newest->createdAt())
            newest = record;
    }
    if (newest)
        chosen_.insert(fileName, newest);
    else
        chosen_.remove(fileName);
}
