#include "MediaPlayerPreviewBackend.h"

#include "PreviewMediaHost.h"

#include <QThread>
#include <QVideoSink>

#include <algorithm>

MediaPlayerPreviewBackend::MediaPlayerPreviewBackend(QObject* parent, std::chrono::milliseconds releaseAfter)
    : PreviewBackend(parent), state_(std::make_shared<PreviewMediaState>()), releaseAfter_(releaseAfter) {}

MediaPlayerPreviewBackend::~MediaPlayerPreviewBackend() {
    if (!mediaThread_)
        return;
    // The player goes first, while the frame thread still answers its sink's last calls; then the sink.
    QMetaObject::invokeMethod(
        host_,
        [host = host_] {
            delete host;
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    mediaThread_->wait();
    QMetaObject::invokeMethod(
        frameContext_,
        [context = frameContext_] {
            delete context;
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    frameThread_->wait();
}

void MediaPlayerPreviewBackend::startThreads() {
    if (mediaThread_)
        return;
    // Started with the first item: the media framework is loaded on the media thread, which start-up does not need.
    frameThread_ = new QThread(this);
    frameThread_->setObjectName(QStringLiteral("Preview frames"));
    frameContext_ = new QObject;
    frameContext_->moveToThread(frameThread_);
    frameThread_->start();

    state_->wanted.volume = volume_;
    const std::shared_ptr<PreviewMediaState> state = state_;
    const auto framePosted = [this] {
        QMetaObject::invokeMethod(
            this, [this] { takeFrame(); }, Qt::QueuedConnection);
    };
    PreviewMediaHost::Reports reports;
    reports.status = [this](ItemId item, ItemStatus status, std::optional<double> duration) {
        QMetaObject::invokeMethod(
            this, [this, item, status, duration] { statusReported(item, status, duration); }, Qt::QueuedConnection);
    };
    reports.ended = [this](ItemId item) {
        QMetaObject::invokeMethod(
            this,
            [this, item] {
                if (item == current_)
                    emit itemDidPlayToEnd(item);
            },
            Qt::QueuedConnection);
    };
    reports.makeSink = [context = frameContext_, state, framePosted]() {
        QVideoSink* sink = nullptr;
        QMetaObject::invokeMethod(
            context, [&] { sink = (new PreviewFrameRelay(state, framePosted, context))->sink(); },
            Qt::BlockingQueuedConnection);
        return sink;
    };

    mediaThread_ = new QThread(this);
    mediaThread_->setObjectName(QStringLiteral("Preview media"));
    host_ = new PreviewMediaHost(state_, std::move(reports), releaseAfter_);
    host_->moveToThread(mediaThread_);
    mediaThread_->start();
}

void MediaPlayerPreviewBackend::request(const std::function<void(PreviewMediaState&)>& change) {
    startThreads();
    QMutexLocker lock(&state_->mutex);
    change(*state_);
    if (std::exchange(state_->applyPosted, true))
        return; // the media thread has not read the previous change yet: it will read this one with it
    QMetaObject::invokeMethod(
        host_, [host = host_] { host->apply(); }, Qt::QueuedConnection);
}

PreviewBackend::ItemId MediaPlayerPreviewBackend::replaceCurrentItem(const QUrl& url) {
    current_ = ++lastId_;
    status_ = ItemStatus::unknown;
    duration_.reset();
    request([item = current_, &url](PreviewMediaState& state) {
        state.wanted.item = item;
        state.wanted.url = url;
    });
    return current_;
}

void MediaPlayerPreviewBackend::clearCurrentItem() {
    current_ = 0;
    status_ = ItemStatus::unknown;
    duration_.reset();
    // The last picture shown keeps the decoder's buffer alive.
    if (output_)
        output_->setVideoFrame(QVideoFrame());
    if (!mediaThread_)
        return;
    request([](PreviewMediaState& state) {
        state.wanted.item = 0;
        state.wanted.url = QUrl();
        state.wanted.playing = false;
    });
}

void MediaPlayerPreviewBackend::statusReported(ItemId item, ItemStatus status, std::optional<double> duration) {
    if (item == 0 || item != current_)
        return;
    status_ = status;
    duration_ = duration;
    emit itemStatusChanged(item);
}

void MediaPlayerPreviewBackend::takeFrame() {
    QVideoFrame frame;
    ItemId item = 0;
    {
        QMutexLocker lock(&state_->mutex);
        frame = std::exchange(state_->frame, QVideoFrame());
        item = state_->frameItem;
        state_->framePosted = false;
    }
    // A picture of an item that was replaced or stopped meanwhile is never shown.
    if (output_ && item != 0 && item == current_)
        output_->setVideoFrame(frame);
}

PreviewBackend::ItemStatus MediaPlayerPreviewBackend::status(ItemId item) const {
    return item != 0 && item == current_ ? status_ : ItemStatus::unknown;
}

std::optional<double> MediaPlayerPreviewBackend::duration(ItemId item) const {
    if (item == 0 || item != current_ || !duration_ || *duration_ <= 0)
        return std::nullopt;
    return duration_;
}

void MediaPlayerPreviewBackend::play() {
    if (!current_)
        return;
    request([](PreviewMediaState& state) { state.wanted.playing = true; });
}

void MediaPlayerPreviewBackend::pause() {
    if (!mediaThread_)
        return;
    request([](PreviewMediaState& state) { state.wanted.playing = false; });
}

void MediaPlayerPreviewBackend::seekToStart() {
    if (!mediaThread_)
        return;
    request([](PreviewMediaState& state) { ++state.wanted.rewinds; });
}

void MediaPlayerPreviewBackend::setVolume(double volume) {
    volume_ = std::clamp(volume, 0.0, 1.0);
    if (!mediaThread_)
        return;
    request([volume = volume_](PreviewMediaState& state) { state.wanted.volume = volume; });
}

void MediaPlayerPreviewBackend::setVideoOutput(QObject* output) {
    auto* sink = qobject_cast<QVideoSink*>(output);
    if (!sink && output)
        QMetaObject::invokeMethod(output, "videoSink", Q_RETURN_ARG(QVideoSink*, sink));
    output_ = sink;
}
