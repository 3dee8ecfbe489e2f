#pragma once

#include "PreviewBackend.h"

#include <QPointer>
#include <QSize>

#include <memory>
#include <optional>
#include <thread>

class PreviewFrameSink;
struct SilentPreviewShared;

// A preview backend that decodes the picture alone with the FFmpeg libraries the thumbnails already use: no
// media framework, no audio, no pipeline threads that outlive the preview. One worker thread per backend opens
// the newest item asked for, shows its first picture at once, paces the following ones by their timestamps
// while playing and loops at the end (reporting each end). Clearing the item frees the decoder and its buffers.
// The same thread makes each picture ready to paint at the size its sink asks for, so the view only draws it.
class SilentPreviewBackend final : public PreviewBackend {
    Q_OBJECT
public:
    explicit SilentPreviewBackend(QObject* parent = nullptr);
    ~SilentPreviewBackend() override;

    ItemId replaceCurrentItem(const QUrl& url) override;
    void clearCurrentItem() override;
    ItemId currentItem() const override { return current_; }
    ItemStatus status(ItemId item) const override;
    std::optional<double> duration(ItemId item) const override;
    void play() override;
    void pause() override;
    void seekToStart() override;
    // Kept for the interface: nothing is ever heard.
    void setVolume(double volume) override;
    double volume() const override { return volume_; }
    void setVideoOutput(PreviewFrameSink* output) override;

private:
    template <typename Change> void request(Change change);
    void statusReported(ItemId item, ItemStatus status, std::optional<double> duration);
    void takeFrame();
    void targetChanged();

    std::shared_ptr<SilentPreviewShared> shared_;
    std::thread worker_;
    QPointer<PreviewFrameSink> output_;
    QSize target_;
    ItemId current_ = 0;
    ItemId lastId_ = 0;
    ItemStatus status_ = ItemStatus::unknown;
    std::optional<double> duration_;
    double volume_ = 0;
};
