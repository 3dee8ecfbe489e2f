#pragma once

#include "PreviewBackend.h"

#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class PreviewMediaHost;
class QThread;
class QVideoSink;
struct PreviewMediaState;

// The Qt Multimedia backend: a QMediaPlayer without audio output (silent unless a volume above zero is set
// and a device exists), looping. The player lives on a media thread of its own and every call here returns at
// once: the media thread loads the newest source asked for, and reports back the status of that item only.
// Nothing is started before the first item; once nothing has been shown for `releaseAfter`, the player and
// its decoder are torn down (off the GUI thread) until the next item.
class MediaPlayerPreviewBackend final : public PreviewBackend {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultReleaseAfter{3000};

    explicit MediaPlayerPreviewBackend(QObject* parent = nullptr,
                                       std::chrono::milliseconds releaseAfter = defaultReleaseAfter);
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
    void request(const std::function<void(PreviewMediaState&)>& change);
    void startThreads();
    void statusReported(ItemId item, ItemStatus status, std::optional<double> duration);
    void takeFrame();

    std::shared_ptr<PreviewMediaState> state_;
    std::chrono::milliseconds releaseAfter_;
    QThread* mediaThread_ = nullptr;
    QThread* frameThread_ = nullptr;
    PreviewMediaHost* host_ = nullptr;
    // Lives on the frame thread; the sink is made as its child.
    QObject* frameContext_ = nullptr;
    QPointer<QVideoSink> output_;
    ItemId current_ = 0;
    ItemId lastId_ = 0;
    ItemStatus status_ = ItemStatus::unknown;
    std::optional<double> duration_;
    double volume_ = 0;
};
