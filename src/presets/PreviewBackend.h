#pragma once

#include <QObject>
#include <QUrl>

#include <optional>

class PreviewFrameSink;

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
    // Where the pictures go; null detaches it.
    virtual void setVideoOutput(PreviewFrameSink* output) = 0;

signals:
    // The item's status or duration may have changed; may name an item that is no longer current.
    void itemStatusChanged(PreviewBackend::ItemId item);
    void itemDidPlayToEnd(PreviewBackend::ItemId item);
};
