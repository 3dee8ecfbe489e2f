#include "SilentPreviewBackend.h"

#include "ClipInput.h"
#include "MediaProbe.h"
#include "PreviewFrameSink.h"
#include "VideoFrameScaler.h"

#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <pthread.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using SteadyClock = std::chrono::steady_clock;

// What the GUI thread asks of the worker, and the newest picture on its way back.
struct SilentPreviewShared {
    struct Wanted {
        PreviewBackend::ItemId item = 0;
        QByteArray path; // the file's name as bytes, whatever its encoding
        bool playing = false;
        quint64 rewinds = 0; // seek-to-start requests so far
        QSize target;        // the size the view paints at, in device pixels; empty while it shows nothing
    };

    std::mutex mutex;
    std::condition_variable changed;
    Wanted wanted;
    quint64 changes = 0;
    // Read by the reader's interrupt check, so a slow read stops as soon as its item is no longer wanted.
    std::atomic<PreviewBackend::ItemId> wantedItem{0};
    std::atomic<bool> quitting{false};

    QImage frame;
    PreviewBackend::ItemId frameItem = 0;
    bool framePosted = false;
};

namespace {

struct Interrupt {
    SilentPreviewShared* shared;
    PreviewBackend::ItemId item;
};

int interrupted(void* opaque) {
    const auto* interrupt = static_cast<const Interrupt*>(opaque);
    return interrupt->shared->quitting.load() || interrupt->shared->wantedItem.load() != interrupt->item ? 1 : 0;
}

// One open clip: its reader, its decoder, the picture decoded next and the one shown last.
class Clip {
public:
    explicit Clip(SilentPreviewShared* shared, PreviewBackend::ItemId item) : interrupt_{shared, item} {}
    ~Clip() {
        av_frame_free(&shown_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&decoder_);
        if (format_)
            avformat_close_input(&format_);
    }
    Clip(const Clip&) = delete;
    Clip& operator=(const Clip&) = delete;

    bool open(const QByteArray& path) {
        AVFormatContext* raw = avformat_alloc_context();
        if (!raw)
            return false;
        raw->interrupt_callback.callback = interrupted;
        raw->interrupt_callback.opaque = &interrupt_;
        const int opened = ClipInput::open(&raw, path);
        if (opened < 0)
            return false; // the library has freed the context
        format_ = raw;
        stream_ = ClipInput::videoStream(format_);
        if (stream_ < 0)
            return false;
        const AVCodecParameters* par = format_->streams[stream_]->codecpar;
        if (par->width > MediaProbe::kMaxVideoSide || par->height > MediaProbe::kMaxVideoSide ||
            qint64(par->width) * par->height > MediaProbe::kMaxVideoPixels)
            return false;
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            if (int(i) != stream_)
                format_->streams[i]->discard = AVDISCARD_ALL; // sound is never read, let alone decoded
        }
        AVStream* stream = format_->streams[stream_];
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec)
            return false;
        decoder_ = avcodec_alloc_context3(codec);
        if (!decoder_ || avcodec_parameters_to_context(decoder_, stream->codecpar) < 0)
            return false;
        // One thread: a preview is small, and frame threads would each hold pictures of their own.
        decoder_->thread_count = 1;
        decoder_->max_pixels = MediaProbe::kMaxVideoPixels;
        decoder_->pkt_timebase = stream->time_base;
        if (avcodec_open2(decoder_, codec, nullptr) < 0)
            return false;
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        shown_ = av_frame_alloc();
        if (!packet_ || !frame_ || !shown_)
            return false;
        start_ = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        duration_ = ClipInput::duration(format_, stream);
        return true;
    }

    std::optional<double> duration() const { return duration_; }

    // Decodes the next picture into frame(); false at the end of the clip or when it cannot be read.
    bool next() {
        ready_ = QImage();
        av_frame_unref(frame_);
        for (;;) {
            const int received = avcodec_receive_frame(decoder_, frame_);
            if (received >= 0) {
                const AVStream* stream = format_->streams[stream_];
                int64_t pts = frame_->best_effort_timestamp;
                if (pts == AV_NOPTS_VALUE)
                    pts = frame_->pts;
                at_ = pts == AV_NOPTS_VALUE ? at_ + lastLength_ : double(pts - start_) * av_q2d(stream->time_base);
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
                const int64_t length = frame_->duration;
#else
                const int64_t length = frame_->pkt_duration;
#endif
                if (length > 0)
                    lastLength_ = double(length) * av_q2d(stream->time_base);
                else if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0)
                    lastLength_ = 1.0 / av_q2d(stream->avg_frame_rate);
                return true;
            }
            if (received == AVERROR_EOF || drained_)
                return false;
            if (received != AVERROR(EAGAIN))
                return false;
            const int read = av_read_frame(format_, packet_);
            if (read < 0) {
                drained_ = true;
                avcodec_send_packet(decoder_, nullptr); // the pictures the decoder still holds come out
                continue;
            }
            if (packet_->stream_index == stream_)
                avcodec_send_packet(decoder_, packet_); // a damaged packet is skipped
            av_packet_unref(packet_);
        }
    }

    // Back to the first picture; false when the clip cannot be read from its start.
    bool rewind() {
        av_seek_frame(format_, stream_, start_, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(decoder_);
        drained_ = false;
        at_ = 0;
        lastLength_ = 0;
        return next();
    }

    // Where the picture in frame() belongs, in seconds from the start, and how long it lasts.
    double at() const {
        return at_;
    }
    double length() const {
        return lastLength_;
    }

    // Makes the picture decoded next ready to paint at `target` ahead of its time, while the decoder's writes to it
    // are still in the processor's cache.
    void prepare(QSize target) {
        ready_ = target.isEmpty() ? QImage() : scaler_.filled(*frame_, target);
    }

    // The picture decoded next, now shown: ready to paint at `target` (none for an empty target). It is kept, to be
    // made again at another size.
    QImage show(QSize target) {
        QImage picture = !ready_.isNull() && ready_.size() == target ? std::exchange(ready_, QImage())
                         : target.isEmpty()                          ? QImage()
                                                                     : scaler_.filled(*frame_, target);
        ready_ = QImage();
        av_frame_unref(shown_);
        av_frame_move_ref(shown_, frame_);
        return picture;
    }

    // The picture shown last, ready to paint at `target`.
    QImage shownAgain(QSize target) {
        return target.isEmpty() || !shown_->data[0] ? QImage() : scaler_.filled(*shown_, target);
    }

private:
    Interrupt interrupt_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* shown_ = nullptr;
    VideoFrameScaler scaler_;
    QImage ready_;
    int stream_ = -1;
    int64_t start_ = 0;
    std::optional<double> duration_;
    double at_ = 0;
    double lastLength_ = 0;
    bool drained_ = false;
};

SteadyClock::duration seconds(double value) {
    return std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(value));
}

// The worker thread's loop: brings the open clip to the newest wanted state and shows its pictures on time.
class Worker {
public:
    Worker(std::shared_ptr<SilentPreviewShared> shared,
           std::function<void(PreviewBackend::ItemId, PreviewBackend::ItemStatus, std::optional<double>)> status,
           std::function<void(PreviewBackend::ItemId)> ended, std::function<void()> framePosted)
        : shared_(std::move(shared)), status_(std::move(status)), ended_(std::move(ended)),
          framePosted_(std::move(framePosted)) {}

    void run() {
        pthread_setname_np(pthread_self(), "Preview decode");
        for (;;) {
            SilentPreviewShared::Wanted wanted;
            quint64 changes = 0;
            {
                std::unique_lock lock(shared_->mutex);
                if (shared_->quitting)
                    break;
                wanted = shared_->wanted;
                changes = shared_->changes;
            }
            if (wanted.item != item_) {
                load(wanted);
                continue;
            }
            if (wanted.target != target_) {
                // The view was resized, or shown again: the picture on screen at its new size.
                target_ = wanted.target;
                if (clip_)
                    post(clip_->shownAgain(target_));
            }
            if (!clip_ || (!wanted.playing && wanted.rewinds == rewinds_ && playing_ == wanted.playing)) {
                playing_ = wanted.playing;
                waitFor(changes, std::nullopt);
                continue;
            }
            if (wanted.rewinds != rewinds_) {
                rewinds_ = wanted.rewinds;
                if (!clip_->rewind()) {
                    fail();
                    continue;
                }
                show();
                origin_ = SteadyClock::now() - seconds(clip_->at());
                pending_ = false;
            }
            if (wanted.playing != playing_) {
                playing_ = wanted.playing;
                // Resumes where it stopped: a picture waiting is due now, else the next one a picture's length on.
                origin_ = SteadyClock::now() - seconds(clip_->at());
            }
            if (!playing_)
                continue;
            if (!pending_) {
                const double lastEnd = clip_->at() + clip_->length();
                if (!clip_->next()) {
                    ended_(item_);
                    // Loops by itself after the last picture's time; the player may also ask for the start.
                    const double loop = std::max(lastEnd, clip_->duration().value_or(0.0));
                    if (!clip_->rewind()) {
                        fail();
                        continue;
                    }
                    origin_ += seconds(loop);
                }
                pending_ = true;
                clip_->prepare(target_);
            }
            if (!waitFor(changes, origin_ + seconds(clip_->at())))
                continue; // something changed before the picture was due
            show();
            pending_ = false;
        }
        close();
    }

private:
    // Waits until the wanted state changes or `until` passes; true when the time came with nothing changed.
    bool waitFor(quint64 changes, std::optional<SteadyClock::time_point> until) {
        std::unique_lock lock(shared_->mutex);
        const auto changed = [&] { return shared_->quitting || shared_->changes != changes; };
        if (!until) {
            shared_->changed.wait(lock, changed);
            return false;
        }
        return !shared_->changed.wait_until(lock, *until, changed);
    }

    void load(const SilentPreviewShared::Wanted& wanted) {
        close();
        item_ = wanted.item;
        rewinds_ = wanted.rewinds;
        target_ = wanted.target;
        playing_ = false;
        pending_ = false;
        if (!item_)
            return; // closing freed the clip and gave its memory back
        clip_ = std::make_unique<Clip>(shared_.get(), item_);
        if (!clip_->open(wanted.path) || !clip_->next()) {
            fail();
            return;
        }
        show();
        status_(item_, PreviewBackend::ItemStatus::readyToPlay, clip_->duration());
    }

    void fail() {
        close();
        if (shared_->wantedItem.load() == item_)
            status_(item_, PreviewBackend::ItemStatus::failed, std::nullopt);
    }

    void close() {
        if (!clip_)
            return;
        clip_.reset();
        trim();
    }

    static void trim() {
#ifdef __GLIBC__
        // The decoder's buffers went back to this thread's allocator arena, which keeps them until trimmed.
        malloc_trim(0);
#endif
    }

    void show() {
        post(clip_->show(target_));
    }

    // Hands a picture to the GUI thread, in place of one it has not taken yet.
    void post(QImage picture) {
        if (picture.isNull())
            return;
        bool post = false;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->frame = std::move(picture);
            shared_->frameItem = item_;
            post = !std::exchange(shared_->framePosted, true);
        }
        if (post)
            framePosted_();
    }

    std::shared_ptr<SilentPreviewShared> shared_;
    std::function<void(PreviewBackend::ItemId, PreviewBackend::ItemStatus, std::optional<double>)> status_;
    std::function<void(PreviewBackend::ItemId)> ended_;
    std::function<void()> framePosted_;
    std::unique_ptr<Clip> clip_;
    PreviewBackend::ItemId item_ = 0;
    quint64 rewinds_ = 0;
    QSize target_;
    bool playing_ = false;
    // A decoded picture waits in the clip for its time.
    bool pending_ = false;
    SteadyClock::time_point origin_;
};

} // namespace

SilentPreviewBackend::SilentPreviewBackend(QObject* parent)
    : PreviewBackend(parent), shared_(std::make_shared<SilentPreviewShared>()) {}

SilentPreviewBackend::~SilentPreviewBackend() {
    if (!worker_.joinable())
        return;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->quitting = true;
    }
    shared_->changed.notify_all();
    worker_.join();
}

template <typename Change> void SilentPreviewBackend::request(Change change) {
    {
        std::lock_guard lock(shared_->mutex);
        change(shared_->wanted);
        shared_->wantedItem = shared_->wanted.item;
        ++shared_->changes;
    }
    shared_->changed.notify_all();
    if (worker_.joinable() || !current_)
        return;
    // Started with the first item: nothing runs for a program that never shows a preview.
    auto status = [this](ItemId item, ItemStatus status, std::optional<double> duration) {
        QMetaObject::invokeMethod(
            this, [this, item, status, duration] { statusReported(item, status, duration); }, Qt::QueuedConnection);
    };
    auto ended = [this](ItemId item) {
        QMetaObject::invokeMethod(
            this,
            [this, item] {
                if (item == current_)
                    emit itemDidPlayToEnd(item);
            },
            Qt::QueuedConnection);
    };
    auto framePosted = [this] {
        QMetaObject::invokeMethod(
            this, [this] { takeFrame(); }, Qt::QueuedConnection);
    };
    worker_ = std::thread([worker = std::make_shared<Worker>(shared_, std::move(status), std::move(ended),
                                                             std::move(framePosted))] { worker->run(); });
}

PreviewBackend::ItemId SilentPreviewBackend::replaceCurrentItem(const QUrl& url) {
    current_ = ++lastId_;
    status_ = ItemStatus::unknown;
    duration_.reset();
    // The name's bytes as they are on disk, also for a name that is not UTF-8.
    const QByteArray path =
        url.isLocalFile() ? QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()) : QByteArray();
    request([item = current_, &path](SilentPreviewShared::Wanted& wanted) {
        wanted.item = item;
        wanted.path = path;
        wanted.playing = false;
    });
    return current_;
}

void SilentPreviewBackend::clearCurrentItem() {
    current_ = 0;
    status_ = ItemStatus::unknown;
    duration_.reset();
    // The last picture shown would keep its buffer alive.
    if (output_)
        output_->setFrame(QImage());
    request([](SilentPreviewShared::Wanted& wanted) {
        wanted.item = 0;
        wanted.path.clear();
        wanted.playing = false;
    });
}

void SilentPreviewBackend::statusReported(ItemId item, ItemStatus status, std::optional<double> duration) {
    if (item == 0 || item != current_)
        return;
    status_ = status;
    duration_ = duration;
    emit itemStatusChanged(item);
}

void SilentPreviewBackend::takeFrame() {
    QImage frame;
    ItemId item = 0;
    {
        std::lock_guard lock(shared_->mutex);
        frame = std::exchange(shared_->frame, QImage());
        item = shared_->frameItem;
        shared_->framePosted = false;
    }
    // A picture of an item that was replaced or stopped meanwhile is never shown.
    if (output_ && item != 0 && item == current_ && !frame.isNull())
        output_->setFrame(frame);
}

PreviewBackend::ItemStatus SilentPreviewBackend::status(ItemId item) const {
    return item != 0 && item == current_ ? status_ : ItemStatus::unknown;
}

std::optional<double> SilentPreviewBackend::duration(ItemId item) const {
    if (item == 0 || item != current_ || !duration_ || *duration_ <= 0)
        return std::nullopt;
    return duration_;
}

void SilentPreviewBackend::play() {
    if (!current_)
        return;
    request([](SilentPreviewShared::Wanted& wanted) { wanted.playing = true; });
}

void SilentPreviewBackend::pause() {
    request([](SilentPreviewShared::Wanted& wanted) { wanted.playing = false; });
}

void SilentPreviewBackend::seekToStart() {
    if (!current_)
        return;
    request([](SilentPreviewShared::Wanted& wanted) { ++wanted.rewinds; });
}

void SilentPreviewBackend::setVolume(double volume) {
    volume_ = std::clamp(volume, 0.0, 1.0);
}

void SilentPreviewBackend::setVideoOutput(PreviewFrameSink* output) {
    if (output_)
        disconnect(output_, nullptr, this, nullptr);
    output_ = output;
    if (output_) {
        connect(output_, &PreviewFrameSink::targetSizeChanged, this, &SilentPreviewBackend::targetChanged);
        // Gone without being detached: no pictures are made for it any more.
        connect(output_, &QObject::destroyed, this, &SilentPreviewBackend::targetChanged);
    }
    targetChanged();
}

void SilentPreviewBackend::targetChanged() {
    const QSize target = output_ ? output_->targetSize() : QSize();
    if (target == target_)
        return;
    target_ = target;
    request([target](SilentPreviewShared::Wanted& wanted) { wanted.target = target; });
}
