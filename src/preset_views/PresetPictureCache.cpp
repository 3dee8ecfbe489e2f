#include "PresetPictureCache.h"

#include "PresetPicture.h"

namespace {
// Kilobytes of decoded pictures kept; enough for a few screens of cards.
constexpr int kCacheKilobytes = 64 * 1024;
} // namespace

PresetPictureCache::PresetPictureCache(QSize pictureSize, QObject* parent)
    : QObject(parent), pictureSize_(pictureSize), cache_(kCacheKilobytes) {}

PresetPictureCache::~PresetPictureCache() = default;

qint64 PresetPictureCache::keyOf(const QByteArray& data) {
    // The data of a record changes as a whole; its size and hash tell two versions apart.
    return (qint64(data.size()) << 32) ^ qint64(qHash(data));
}

PresetPictureCache::State PresetPictureCache::peek(const QUuid& id, const QByteArray& data) const {
    if (const Entry* entry = cache_.object(id); entry && entry->dataKey == keyOf(data))
        return entry->failed ? State::failed : State::ready;
    return State::loading;
}

PresetPictureCache::State PresetPictureCache::request(const QUuid& id, const QByteArray& data, QImage* picture) {
    const qint64 key = keyOf(data);
    if (const Entry* entry = cache_.object(id); entry && entry->dataKey == key) {
        if (entry->failed)
            return State::failed;
        if (picture)
            *picture = entry->picture;
        return State::ready;
    }
    if (pending_.value(id, 0) == key && pending_.contains(id))
        return State::loading;
    pending_.insert(id, key);
    ++decodesStarted_;
    const QSize box = pictureSize_;
    // Only the decode of a record's newest data counts; the cache's end drops whatever is still running.
    decodes_[id].run(
        this,
        [data, box] {
            // Fill the card: decode at least as large as the box on its shorter side.
            return PresetPicture::readData(data, box);
        },
        [this, id, key](const QImage& picture) {
            pending_.remove(id);
            auto* entry = new Entry{picture, key, picture.isNull()};
            const int cost = std::max<qint64>(1, picture.sizeInBytes() / 1024);
            cache_.insert(id, entry, cost);
            emit pictureReady(id);
        });
    return State::loading;
}
