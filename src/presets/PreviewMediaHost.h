#pragma once

#include "PreviewBackend.h"

#include <QMediaPlayer>
#include <QMutex>
#include <QObject>
#include <QUrl>
#include <QVideoFrame>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QAudioOutput;
class QTimer;
class QVideoSink;

// What the GUI thread asks of the preview's media player, and the newest picture on its way back. The GUI
// thread writes `wanted`; the media thread applies the newest state whenever it gets to it, so a quick run
// of switches loads only the last source.
struct PreviewMediaState {
    struct Wanted {
        PreviewBackend::ItemId item = 0;
        QUrl url;
        bool playing = false;
        double volume = 0;
        quint64 rewinds = 0; // seek-to-start requests so far
    };

    QMutex mutex;
    Wanted wanted;
    bool applyPosted = false;
    // The item whose pictures the sink receives now; 0 while the source changes.
    std::atomic<PreviewBackend::ItemId> shownItem{0};
    // The newest picture the GUI thread has not taken yet, and its item.
    QVideoFrame frame;
    PreviewBackend::ItemId frameItem = 0;
    bool framePosted = false;
};

// The sink the media player draws into, on a thread of its own: the media framework's streaming threads hand
// their pictures to it and wait for its thread, which never waits for anything itself. Each picture goes on
// to the GUI thread tagged with its item, the newest only.
class PreviewFrameRelay final : public QObject {
public:
    PreviewFrameRelay(std::shared_ptr<PreviewMediaState> state, std::function<void()> framePosted, QObject* parent);

    QVideoSink* sink() const { return sink_; }

private:
    std::shared_ptr<PreviewMediaState> state_;
    std::function<void()> framePosted_;
    QVideoSink* sink_;
};

// The QMediaPlayer behind a preview, on the media thread: loading a source, stopping and tearing down wait for
// the media framework (up to a second with GStreamer), and they wait here, never on the GUI thread. One player
// is reused from preview to preview; after `releaseAfter` with nothing loaded it is torn down with its decoder,
// its threads and its buffers, and made again for the next preview.
class PreviewMediaHost final : public QObject {
public:
    struct Reports {
        std::function<void(PreviewBackend::ItemId, PreviewBackend::ItemStatus, std::optional<double>)> status;
        std::function<void(PreviewBackend::ItemId)> ended;
        // Makes the sink on the frame thread (called on the media thread, which may wait for it).
        std::function<QVideoSink*()> makeSink;
    };

    PreviewMediaHost(std::shared_ptr<PreviewMediaState> state, Reports reports, std::chrono::milliseconds releaseAfter);
    ~PreviewMediaHost() override;

    // Brings the player to the newest wanted state.
    void apply();

private:
    // What the player is given for `url`: the media framework cannot open a local file whose name is not UTF-8
    // (it reads the name back as text), so such a file is opened here and handed over by its descriptor.
    QUrl playableUrl(const QUrl& url);
    void closeOpenedFile();
    void ensurePlayer();
    void release();
    void applyVolume(double volume);
    void mediaStatusChanged(QMediaPlayer::MediaStatus mediaStatus);
    void report();

    std::shared_ptr<PreviewMediaState> state_;
    Reports reports_;
    QTimer* idle_;
    QVideoSink* sink_ = nullptr;
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    PreviewBackend::ItemId item_ = 0;
    PreviewBackend::ItemStatus status_ = PreviewBackend::ItemStatus::unknown;
    quint64 rewinds_ = 0;
    double volume_ = -1;
    // The descriptor of the file the current item plays through /proc/self/fd, or -1.
    int openedFile_ = -1;
};
