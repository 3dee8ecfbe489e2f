// MediaProbe against the FFmpeg libraries used directly in the same process: the first frame of 500 clips of
// 1080p H.264, scaled to 320 x 180, on MediaProbe's worker pool for both. The reference opens each clip with
// libavformat, decodes its first frame with libavcodec and scales it with libswscale, with nothing around it.
// Reports the time of both, their ratio and the peak memory.
//
//   bench_media_probe [--clips N] [--folder DIR]

#include "../BenchSupport.h"
#include "MediaProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <cstdio>
#include <memory>

#include <sys/resource.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace {

using BenchSupport::median;

constexpr QSize kBound(320, 180);
constexpr int kRounds = 5;

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QString clipName(const QDir& folder, int i) {
    return folder.filePath(QStringLiteral("clip_%1.mp4").arg(i, 3, 10, QChar('0')));
}

// The first frame the plainest fast way: opened with the MP4 reader, no stream analysis (MP4 describes its tracks in
// its header), the first video packet decoded on its own (it is a key frame) and scaled with a scaler kept per
// thread.
QImage firstFrameDirect(const QString& path) {
    static const AVInputFormat* const mp4 = av_find_input_format("mp4");
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(path).constData(), mp4, nullptr) < 0)
        return {};
    const auto closeFormat =
        std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)>(&format, avformat_close_input);
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream < 0 || !codec)
        return {};
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    const auto freeDecoder =
        std::unique_ptr<AVCodecContext*, void (*)(AVCodecContext**)>(&decoder, avcodec_free_context);
    if (!decoder || avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) < 0)
        return {};
    decoder->thread_count = 1; // one clip per worker, as MediaProbe does
    if (avcodec_open2(decoder, codec, nullptr) < 0)
        return {};
    AVPacket* packet = av_packet_alloc();
    const auto freePacket = std::unique_ptr<AVPacket*, void (*)(AVPacket**)>(&packet, av_packet_free);
    AVFrame* frame = av_frame_alloc();
    const auto freeFrame = std::unique_ptr<AVFrame*, void (*)(AVFrame**)>(&frame, av_frame_free);
    while (av_read_frame(format, packet) >= 0) {
        const bool ours = packet->stream_index == stream;
        if (ours)
            avcodec_send_packet(decoder, packet);
        av_packet_unref(packet);
        if (ours)
            break;
    }
    avcodec_send_packet(decoder, nullptr);
    if (avcodec_receive_frame(decoder, frame) < 0)
        return {};

    thread_local struct Scaler {
        SwsContext* context = nullptr;
        ~Scaler() { sws_freeContext(context); }
    } scaler;
    scaler.context =
        sws_getCachedContext(scaler.context, frame->width, frame->height, AVPixelFormat(frame->format), kBound.width(),
                             kBound.height(), AV_PIX_FMT_RGB32, SWS_AREA, nullptr, nullptr, nullptr);
    if (!scaler.context)
        return {};
    // The clips are HD: their colours are BT.709, as MediaProbe reads them.
    sws_setColorspaceDetails(scaler.context, sws_getCoefficients(SWS_CS_ITU709), 0, sws_getCoefficients(SWS_CS_DEFAULT),
                             1, 0, 1 << 16, 1 << 16);
    QImage image(kBound, QImage::Format_RGB32);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.context, frame->data, frame->linesize, 0, frame->height, planes, strides) <= 0)
        return {};
    return image;
}

// Seconds for every clip's first still on the probe pool; `failures` counts clips without the right still.
template <class Still> double allStills(const QStringList& clips, const Still& still, int* failures) {
    QElapsedTimer timer;
    timer.start();
    QList<QFuture<QImage>> futures;
    for (const QString& clip : clips)
        futures << QtConcurrent::run(&MediaProbe::pool(), [&still, clip] { return still(clip); });
    for (auto& future : futures) {
        if (future.result().size() != kBound)
            ++*failures;
        future = {}; // a gallery keeps its stills elsewhere; count only the probe's own memory
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const auto [count, folderPath] =
        BenchSupport::clipArgs(app.arguments(), 500, QDir::temp().filePath("orvane-bench-media-probe"));
    const int cores = std::max(1, QThread::idealThreadCount());
    QDir folder(folderPath);
    // One-second 1080p clips with B-frames.
    const int made = QDir().mkpath(folderPath)
                         ? BenchSupport::makeClips(folder, count, cores, {"1920x1080", 25, 2},
                                                   [&](int i) { return QFileInfo(clipName(folder, i)).fileName(); })
                         : -1;
    if (made < 0) {
        std::fprintf(stderr, "could not make the clips (is the ffmpeg command-line tool installed?)\n");
        return 1;
    }
    QStringList clips;
    for (int i = 0; i < count; ++i)
        clips << clipName(folder, i);
    // Both contenders read from a warm file cache.
    for (const QString& clip : clips) {
        QFile file(clip);
        if (file.open(QIODevice::ReadOnly))
            file.readAll();
    }

    MediaProbe::Request request;
    request.stillAt = 0.0;
    request.bound = kBound;
    const auto probed = [&request](const QString& clip) {
        const MediaProbe::Result result = MediaProbe::probe(clip, request);
        return result.ok() ? result.still : QImage();
    };
    // First use loads the codecs and starts the pool's threads.
    int warmUpFailures = 0;
    allStills(clips.mid(0, cores), probed, &warmUpFailures);

    // Alternating rounds, so that a busy moment of the machine falls on both alike.
    const long baseline = peakKilobytes();
    QList<double> probeRounds, directRounds;
    int probeFailures = 0, directFailures = 0;
    for (int round = 0; round < kRounds; ++round) {
        directRounds << allStills(clips, firstFrameDirect, &directFailures);
        probeRounds << allStills(clips, probed, &probeFailures);
    }
    const long peak = peakKilobytes();

    QElapsedTimer timer;
    timer.start();
    const int sequential = std::min(count, 50);
    for (int i = 0; i < sequential; ++i)
        MediaProbe::probe(clips[i], request);
    const double oneAtATimeMs = double(timer.nsecsElapsed()) / 1e6 / sequential;

    const double probeMs = median(probeRounds), directMs = median(directRounds);
    std::printf("clips: %d x 1080p H.264, first frame scaled to %dx%d, %d workers, median of %d rounds\n", count,
                kBound.width(), kBound.height(), MediaProbe::pool().maxThreadCount(), kRounds);
    std::printf("  MediaProbe %.0f stills/s, FFmpeg libraries directly %.0f stills/s\n", count / probeMs * 1e3,
                count / directMs * 1e3);
    std::printf("  one at a time: %.2f ms per still (MediaProbe on the calling thread)\n", oneAtATimeMs);
    std::printf("  peak memory: %.1f MB for the whole benchmark process (%.1f MB before the rounds)\n", peak / 1024.0,
                baseline / 1024.0);
    BenchSupport::Verdict verdict("media_probe");
    verdict.holds("every clip's still made by both", probeFailures == 0 && directFailures == 0);
    verdict.atMostTimes("MediaProbe against the FFmpeg libraries directly", probeMs, directMs, 1.25);
    return verdict.exitCode();
}
