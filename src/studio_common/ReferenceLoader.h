#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <limits>
#include <map>

class QThreadPool;

// Decodes reference pictures on worker threads and hands each one back on the owner's thread, in the order
// they were asked for, whatever order the workers finish in. Only raster pictures (PNG, JPEG, GIF, TIFF, BMP,
// WebP) are read, upright, and reduced to fit the reference bounds while they are decoded (ImageCoding).
class ReferenceLoader : public QObject {
    Q_OBJECT
public:
    // One picture to load: a file, encoded bytes or an already decoded picture (first given wins).
    struct Source {
        QString path;
        QByteArray bytes;
        QImage image;
    };
    struct Loaded {
        QImage image;         // null when the source is not a readable picture within the limit
        QImage thumbnail;     // a copy at most thumbnailBound on its longer side, for the strip's tiles
        QString error;        // why, when the image is null
        QStringList logLines; // the console lines of the work, printed by the receiver in order
    };
    using Done = std::function<void(const Loaded&)>;

    // The bounds every reference picture is scaled down to fit.
    static constexpr QSize maxSize{1920, 1080};
    static constexpr int thumbnailBound = 400;

    // Pictures kept at full size, with no thumbnail: for callers that need the original. One past Qt's allocation
    // limit (a phone photo) comes back as large as the limit allows.
    static constexpr QSize fullSize{std::numeric_limits<int>::max(), std::numeric_limits<int>::max()};

    explicit ReferenceLoader(QObject* parent = nullptr, QSize bounds = maxSize);
    ~ReferenceLoader() override;

    // `done` runs on this object's thread, after the `done` of every earlier request.
    void load(Source source, Done done);
    int pendingCount() const { return int(waiting_.size()); }

    // The decoding itself; safe on any thread.
    static Loaded decode(const Source& source, QSize bounds = maxSize);
    // Without the thumbnail.
    static Loaded decodeFull(const Source& source, QSize bounds);
    static QImage thumbnail(const QImage& image);

signals:
    // All requests so far have been handed back.
    void idle();

private:
    void deliver();

    struct Slot {
        Done done;
        bool ready = false;
        Loaded loaded;
    };
    QSize bounds_;
    quint64 nextTicket_ = 0;
    std::map<quint64, Slot> waiting_;
};
