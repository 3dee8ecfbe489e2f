#pragma once

#include "ClipMetadataLoader.h"
#include "LatestResult.h"
#include "VideoItem.h"

#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <memory>
#include <optional>

class VideoMetadata;

// One clip file of the video folder as the gallery shows it: the file's facts, the picture and timing read
// from the file on demand, and the settings joined in from the clip's stored record.
class GalleryClip : public VideoItem {
    Q_OBJECT
    Q_PROPERTY(QImage thumbnail READ thumbnail NOTIFY metadataChanged)
    Q_PROPERTY(bool isAvailable READ isAvailable NOTIFY metadataChanged)
    Q_PROPERTY(QString title READ title NOTIFY recordChanged)
public:
    enum class MetadataState { notLoaded, loading, loaded };

    // Reads the file's attributes at once; creation date falls back to the modification time, then to now.
    explicit GalleryClip(const QString& path, QObject* parent = nullptr);
    ~GalleryClip() override;
    // With the facts a listing has already read.
    GalleryClip(const QString& path, const QDateTime& createdAt, qint64 fileSize, QObject* parent = nullptr);

    // The exact path: bytes of a name that is not UTF-8 are kept (FileNames); hand it to the system only
    // through FileNames::encode() or url().
    QString path() const { return path_; }
    // The name as shown to people.
    QString fileName() const { return fileName_; }
    QDateTime createdAt() const { return createdAt_; }
    qint64 fileSize() const { return fileSize_; }

    QImage thumbnail() const { return thumbnail_; }
    std::optional<double> duration() const { return duration_; }
    std::optional<QSize> resolution() const { return resolution_; }
    bool isAvailable() const { return isAvailable_; }
    MetadataState metadataState() const { return metadataState_; }
    // The sharper picture of a one-column card: read (from the cache or the clip) only while such a card
    // shows this clip, and given up once it does not, so a long folder keeps only a screenful of them.
    QImage soloThumbnail() const { return soloThumbnail_; }
    void ensureSoloThumbnail();
    // Its longer side at most: the shared cache's x-large size.
    static constexpr int kSoloSide = 512;
    void releaseSoloThumbnail();

    // Settings from the joined record; none without a record.
    const std::shared_ptr<VideoMetadata>& record() const { return record_; }
    void setRecord(const std::shared_ptr<VideoMetadata>& record);
    std::optional<QString> prompt() const;
    std::optional<QString> videoMode() const;
    std::optional<QString> quality() const;
    std::optional<bool> promptOptimization() const;
    std::optional<QString> model() const;
    std::optional<bool> fastPretreatment() const;
    // The card's title: the prompt when there is one, else the file name without ".mp4".
    QString title() const;

    // Reads thumbnail, duration and resolution once. A file that cannot be read while its size still
    // changes (a copy in progress) is read again once its size has settled.
    QCoro::Task<> loadMetadata();
    // Starts `loadMetadata()` unless it has started already.
    void ensureMetadata();
    // The same from the thumbnail cache only, so nothing is decoded: taken when the cache has the clip (and no read
    // has started), else nothing happens.
    void readCachedMetadata();
    // What was read of the clip elsewhere (a full load reads the first screen's cached pictures with the list),
    // with the picture made ready for the cards: taken unless a read has started already.
    void takeMetadata(const ClipMetadataLoader::Result& read, const QImage& cardPicture = {});
    // A clip far out of view lets its pictures go: a view asking again reads them from the thumbnail cache, so a
    // long folder keeps only the pictures near the view. Duration and size stay.
    void releasePicture();
    bool holdsPicture() const { return !thumbnail_.isNull(); }
    // The thumbnail scaled and cut to the size the cards show it at, when it came made so; else none.
    QImage cardPicture() const { return cardPicture_; }
    // `picture` scaled to fill `pixels` and cut to it about its centre, with 32-bit pixels, as cards show it.
    static QImage coverPicture(const QImage& picture, QSize pixels);

    // Between size checks of a file that is still being written.
    static constexpr double kSettleSeconds = 0.5;
    static constexpr int kMaxSettleChecks = 600;

signals:
    void metadataChanged();
    // The sharper picture has arrived (giving it up says nothing: no card shows it then).
    void soloThumbnailLoaded();
    void recordChanged();

private:
    void showMetadata(const ClipMetadataLoader::Result& read);

    QString path_;
    QString fileName_;
    QDateTime createdAt_;
    qint64 fileSize_ = 0;
    QImage thumbnail_;
    QImage cardPicture_;
    std::optional<double> duration_;
    std::optional<QSize> resolution_;
    bool isAvailable_ = false;
    MetadataState metadataState_ = MetadataState::notLoaded;
    QImage soloThumbnail_;
    bool soloWanted_ = false;
    // A read that finishes after it was given up is dropped.
    LatestResult soloRead_;
    LatestResult cachedRead_;
    std::shared_ptr<VideoMetadata> record_;
    // Set when the item goes away: its reads still waiting for a worker are skipped.
    std::shared_ptr<std::atomic<bool>> gone_ = std::make_shared<std::atomic<bool>>(false);
};
