#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <optional>

class QAudioOutput;
class QMediaPlayer;

// The media player behind a shared preview player: one current item at a time. The preview players talk
// only to this, so their state tables run without a media backend in tests.
class PreviewBackend : public QObject {
    Q_OBJECT
public:
    enum class ItemStatus { unknown, readyToPlay, failed };
    // Each item made by `replaceCurrentItem` gets a new id; 0 is "no item".
    using ItemId = quint64;

    using QObject::QObject;

    // Makes a new item for the file the current one, dropping the previous item.
    virtual ItemId replaceCurrentItem(const QUrl& url) = 0;
    virtual void clearCurrentItem() = 0;
    virtual ItemId currentItem() const = 0;
    // What is known of an item; an item that is no longer current may report `unknown`.
    virtual ItemStatus status(ItemId item) const = 0;
    // The item's duration when it is known and finite.
    virtual std::optional<double> duration(ItemId item) const = 0;

    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void seekToStart() = 0;
    virtual void setVolume(double volume) = 0;
    virtual double volume() const = 0;
    // Where the picture goes: a QVideoSink, a QVideoWidget or a QGraphicsVideoItem; null detaches it.
    virtual void setVideoOutput(QObject* output) = 0;

signals:
    // The item's status or duration may have changed; may name an item that is no longer current.
    void itemStatusChanged(PreviewBackend::ItemId item);
    void itemDidPlayToEnd(PreviewBackend::ItemId item);
};

// The Qt Multimedia backend: a QMediaPlayer without audio output (silent unless a volume above zero is set
// and a device exists), looping, created on first use.
class MediaPlayerPreviewBackend final : public PreviewBackend {
    Q_OBJECT
public:
    explicit MediaPlayerPreviewBackend(QObject* parent = nullptr);
    ~MediaPlayerPreviewBackend() override;

    ItemId replaceCurrentItem(const QUrl& url) override;
    void clearCurrentItem() override;
    ItemId currentItem() const override { return current_; }
    ItemStatus status(ItemId item) const override;
    std::optional<double> duration(ItemId item) const override;
    void play() override;
    void pause() override;
    void seekToStart() override;
    void setVolume(double volume) override;
    double volume() const override { return volume_; }
    void setVideoOutput(QObject* output) override;

private:
    void ensurePlayer();
    void applyVolume();

    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    QPointer<QObject> output_;
    ItemId current_ = 0;
    ItemId lastId_ = 0;
    ItemStatus status_ = ItemStatus::unknown;
    double volume_ = 0;
};
