#include "MediaProbe.h"

#include "BackgroundPool.h"
#include "ClipInput.h"

#include "FileNames.h"
#include "VideoFrameScaler.h"

#include <QThread>
#include <QThreadPool>
#include <QTransform>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>
#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

namespace MediaProbe {
namespace {

using SteadyClock = std::chrono::steady_clock;
// A file that takes longer than this to open or decode (a stalled mount, a pathological stream) is given up.
constexpr auto kTimeLimit = std::chrono::seconds(20);
// Packets of the video track read while looking for the frame at the asked time.
constexpr int kMaxPackets = 4000;

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecCloser {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

// One scaler per worker thread, reused while the frame format and the sizes stay the same.
struct ThreadScaler {
    SwsContext* context = nullptr;
    ~ThreadScaler() { sws_freeContext(context); }
};

QString avError(int code) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buffer, sizeof buffer);
    return QString::fromUtf8(buffer);
}

int interruptWhenLate(void* opaque) {
    return SteadyClock::now() > *static_cast<SteadyClock::time_point*>(opaque) ? 1 : 0;
}

// The stream's display matrix, if it has one. FFmpeg 6.1 (libavcodec 60.30.100) moved stream side data to
// codecpar->coded_side_data and stopped filling the old per-stream list; FFmpeg 8 removed the old call.
// Debian 12 ships FFmpeg 5.1, which has only the old call: both branches are kept, chosen at build time.
const int32_t* displayMatrix(const AVStream* stream) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100)
    const AVPacketSideData* data = av_packet_side_data_get(
        stream->codecpar->coded_side_data, stream->codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    if (!data || data->size < 9 * sizeof(int32_t))
        return nullptr;
    return reinterpret_cast<const int32_t*>(data->data);
#else
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!data || size < 9 * sizeof(int32_t))
        return nullptr;
    return reinterpret_cast<const int32_t*>(data);
#endif
}

int clockwiseRotation(const AVStream* stream) {
    const int32_t* matrix = displayMatrix(stream);
    if (!matrix)
        return 0;
    const double theta = -av_display_rotation_get(matrix);
    if (!std::isfinite(theta))
        return 0;
    int quarters = int(std::lround(theta / 90.0) % 4);
    if (quarters < 0)
        quarters += 4;
    return quarters * 90;
}

bool isQuarterTurn(int rotation) {
    return rotation == 90 || rotation == 270;
}

QSize storedDisplaySize(int width, int height, AVRational sampleAspect) {
    double shownWidth = width;
    if (sampleAspect.num > 0 && sampleAspect.den > 0)
        shownWidth = width * av_q2d(sampleAspect);
    return QSize(std::max(1, int(std::lround(std::min(shownWidth, double(kMaxVideoSide) * 4)))), height);
}

QSize fitted(QSize size, QSize bound) {
    const QSize cap(kMaxStillSide, kMaxStillSide);
    const QSize limit = bound.isEmpty() ? cap : bound.boundedTo(cap);
    if (size.width() <= limit.width() && size.height() <= limit.height())
        return size;
    return size.scaled(limit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// The frame as an upright picture of `shown` size (the display size after rotation).
QImage toImage(const AVFrame* frame, QSize shown, int rotation) {
    thread_local ThreadScaler scaler;
    const QSize scaled = isQuarterTurn(rotation) ? shown.transposed() : shown;
    const auto format = AVPixelFormat(frame->format);
    const bool shrinking = scaled.width() <= frame->width && scaled.height() <= frame->height;
    SwsContext* context =
        sws_getCachedContext(scaler.context, frame->width, frame->height, format, scaled.width(), scaled.height(),
                             AV_PIX_FMT_RGB32, shrinking ? SWS_AREA : SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!context)
        return {};
    scaler.context = context;
    VideoFrameScaler::setColours(context, *frame);
    QImage image(scaled, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(context, frame->data, frame->linesize, 0, frame->height, planes, strides) <= 0)
        return {};
    if (rotation != 0)
        image = image.transformed(QTransform().rotate(rotation));
    return image;
}

// Decodes from the current read position to the frame shown at `target` (in the stream's time base): the
// last frame that starts at or before it, or the first one after it when none does.
class FrameFinder {
public:
    FrameFinder(AVFormatContext* format, AVCodecContext* decoder, int streamIndex, int64_t target)
        : format_(format), decoder_(decoder), streamIndex_(streamIndex), target_(target), packet_(av_packet_alloc()),
          frame_(av_frame_alloc()), kept_(av_frame_alloc()) {}

    // `alone`: the first packet is a key frame at or after the target, so it is decoded on its own
    // without waiting for the frames that follow it (the common first-frame case).
    bool run(bool alone, QString* error) {
        if (!packet_ || !frame_ || !kept_) {
            *error = "out of memory";
            return false;
        }
        int lastError = 0;
        bool draining = false;
        bool first = true;
        int packets = 0;
        for (;;) {
            for (;;) {
                const int rc = avcodec_receive_frame(decoder_, frame_.get());
                if (rc == AVERROR(EAGAIN))
                    break;
                if (rc == AVERROR_EOF)
                    return finish(lastError, error);
                if (rc < 0) {
                    lastError = rc;
                    break;
                }
                if (take())
                    return finish(lastError, error);
            }
            if (draining)
                return finish(lastError, error);
            const int read = av_read_frame(format_, packet_.get());
            if (read < 0) {
                if (read != AVERROR_EOF)
                    lastError = read;
                avcodec_send_packet(decoder_, nullptr);
                draining = true;
                continue;
            }
            if (packet_->stream_index != streamIndex_) {
                av_packet_unref(packet_.get());
                continue;
            }
            if (++packets > kMaxPackets) {
                av_packet_unref(packet_.get());
                avcodec_send_packet(decoder_, nullptr);
                draining = true;
                continue;
            }
            const bool decodeAlone = alone && first && (packet_->flags & AV_PKT_FLAG_KEY) &&
                                     packet_->pts != AV_NOPTS_VALUE && packet_->pts >= target_;
            if (alone && first && !decodeAlone) {
                av_packet_unref(packet_.get());
                *error = QString();
                return false; // the caller starts again without the shortcut
            }
            first = false;
            shortcut_ = decodeAlone;
            const int sent = avcodec_send_packet(decoder_, packet_.get());
            av_packet_unref(packet_.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                lastError = sent; // a damaged packet: go on with the next one
            if (decodeAlone) {
                avcodec_send_packet(decoder_, nullptr);
                draining = true;
            }
        }
    }

    const AVFrame* frame() const { return kept_.get(); }

private:
    // True when the search is over.
    bool take() {
        int64_t pts = frame_->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE)
            pts = frame_->pts;
        if (pts == AV_NOPTS_VALUE || pts <= target_) {
            keep();
            return pts == AV_NOPTS_VALUE || pts == target_;
        }
        if (!haveKept_)
            keep();
        else
            av_frame_unref(frame_.get());
        return true;
    }

    void keep() {
        av_frame_unref(kept_.get());
        av_frame_move_ref(kept_.get(), frame_.get());
        haveKept_ = true;
    }

    bool finish(int lastError, QString* error) {
        if (haveKept_)
            return true;
        if (shortcut_) {
            error->clear(); // the key frame did not decode on its own: the caller reads normally
            return false;
        }
        *error = lastError ? "no frame could be decoded: " + avError(lastError) : QStringLiteral("no frame found");
        return false;
    }

    AVFormatContext* format_;
    AVCodecContext* decoder_;
    int streamIndex_;
    int64_t target_;
    std::unique_ptr<AVPacket, PacketFree> packet_;
    FramePtr frame_;
    FramePtr kept_;
    bool haveKept_ = false;
    bool shortcut_ = false;
};

void readStill(AVFormatContext* format, int streamIndex, const Request& request, Result& result) {
    AVStream* stream = format->streams[streamIndex];
    const AVCodecParameters* par = stream->codecpar;
    const double at = *request.stillAt;
    if (!std::isfinite(at) || at < 0) {
        result.error = "invalid still time";
        return;
    }
    if (result.duration && at >= *result.duration) {
        result.error = QStringLiteral("no frame at %1 s: the video lasts %2 s").arg(at).arg(*result.duration);
        return;
    }
    if (par->width > kMaxVideoSide || par->height > kMaxVideoSide ||
        qint64(par->width) * par->height > kMaxVideoPixels) {
        result.error = QStringLiteral("the video is too large to decode (%1 x %2)").arg(par->width).arg(par->height);
        return;
    }
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) {
        result.error = QStringLiteral("no decoder for %1").arg(avcodec_get_name(par->codec_id));
        return;
    }
    std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), par) < 0) {
        result.error = "the decoder could not be set up";
        return;
    }
    decoder->thread_count = 1; // the pool already runs one probe per core
    decoder->max_pixels = kMaxVideoPixels;
    decoder->pkt_timebase = stream->time_base;
    if (const int rc = avcodec_open2(decoder.get(), codec, nullptr); rc < 0) {
        result.error = "the decoder could not be opened: " + avError(rc);
        return;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (int(i) != streamIndex)
            format->streams[i]->discard = AVDISCARD_ALL;
    }

    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const int64_t target = start + int64_t(std::llround(at / av_q2d(stream->time_base)));
    auto seek = [&] {
        if (at > 0)
            av_seek_frame(format, streamIndex, target, AVSEEK_FLAG_BACKWARD); // a failed seek reads from the start
        else
            av_seek_frame(format, streamIndex, start, AVSEEK_FLAG_BACKWARD);
    };
    if (at > 0)
        seek();

    QString error;
    auto finder = std::make_unique<FrameFinder>(format, decoder.get(), streamIndex, target);
    bool found = finder->run(true, &error);
    if (!found && error.isEmpty()) {
        avcodec_flush_buffers(decoder.get());
        seek();
        finder = std::make_unique<FrameFinder>(format, decoder.get(), streamIndex, target);
        found = finder->run(false, &error);
    }
    if (!found) {
        result.error = QStringLiteral("no frame at %1 s: %2").arg(at).arg(error);
        return;
    }
    const AVFrame* frame = finder->frame();
    const AVRational aspect = av_guess_sample_aspect_ratio(format, stream, const_cast<AVFrame*>(frame));
    QSize shown = storedDisplaySize(frame->width, frame->height, aspect);
    if (isQuarterTurn(result.rotation))
        shown.transpose();
    result.still = toImage(frame, fitted(shown, request.bound), result.rotation);
    if (result.still.isNull())
        result.error = QStringLiteral("the frame at %1 s could not be converted").arg(at);
}

} // namespace

Result probe(const QString& path, const Request& request) {
    Result result;
    SteadyClock::time_point deadline = SteadyClock::now() + kTimeLimit;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) {
        result.error = "out of memory";
        return result;
    }
    raw->interrupt_callback.callback = interruptWhenLate;
    raw->interrupt_callback.opaque = &deadline;
    const int opened = ClipInput::open(&raw, FileNames::encode(path));
    if (opened < 0) {
        result.error = "the file could not be opened: " + avError(opened);
        return result; // the library has freed the context
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);

    int streamIndex = ClipInput::videoStream(format.get());
    if (streamIndex < 0) {
        // Containers that describe their tracks only inside the stream itself.
        format->max_analyze_duration = 5 * AV_TIME_BASE;
        if (const int rc = avformat_find_stream_info(format.get(), nullptr); rc < 0) {
            result.error = "the file could not be read: " + avError(rc);
            return result;
        }
        streamIndex = ClipInput::videoStream(format.get());
    }
    if (streamIndex < 0) {
        result.error = "the file has no video track";
        return result;
    }
    const AVStream* stream = format->streams[streamIndex];
    result.duration = ClipInput::duration(format.get(), stream);
    result.rotation = clockwiseRotation(stream);
    result.displaySize =
        storedDisplaySize(stream->codecpar->width, stream->codecpar->height,
                          av_guess_sample_aspect_ratio(format.get(), format->streams[streamIndex], nullptr));
    if (isQuarterTurn(result.rotation))
        result.displaySize.transpose();

    if (request.stillAt)
        readStill(format.get(), streamIndex, request, result);
    return result;
}

QFuture<Result> probeAsync(const QString& path, const Request& request) {
    return QtConcurrent::run(&pool(), [path, request] { return probe(path, request); });
}

QThreadPool& pool() {
    struct Pool : QThreadPool {
        Pool() {
            setObjectName("MediaProbe");
            setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
            BackgroundPool::finishBeforeTheApplicationGoes(*this);
        }
    };
    static Pool instance;
    return instance;
}

} // namespace MediaProbe
