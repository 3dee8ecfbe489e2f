#pragma once

#include "LatestResult.h"

#include <QByteArray>
#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QUuid>

// Decoded preset pictures for the cards that are on screen. A card asks when it is painted; the picture is
// decoded on the worker pool at the card's size and handed back through `pictureReady`. Data that does not
// decode is remembered as such, so its card keeps its spinner without decoding again.
class PresetPictureCache final : public QObject {
    Q_OBJECT
public:
    explicit PresetPictureCache(QSize pictureSize, QObject* parent = nullptr);
    ~PresetPictureCache() override;

    enum class State { loading, ready, failed };
    // The picture when it is decoded; otherwise starts decoding (once) and says so.
    State request(const QUuid& id, const QByteArray& data, QImage* picture);
    // The same answer without starting anything: `loading` also for a picture not asked for yet.
    State peek(const QUuid& id, const QByteArray& data) const;

    // Decodes started so far (each distinct picture once, unless evicted).
    int decodesStarted() const { return decodesStarted_; }
    int pending() const { return int(pending_.size()); }

signals:
    void pictureReady(const QUuid& id);

private:
    struct Entry {
        QImage picture;
        qint64 dataKey = 0;
        bool failed = false;
    };
    static qint64 keyOf(const QByteArray& data);

    QSize pictureSize_;
    QCache<QUuid, Entry> cache_;
    QHash<QUuid, qint64> pending_;
    QHash<QUuid, LatestResult> decodes_;
    int decodesStarted_ = 0;
};
