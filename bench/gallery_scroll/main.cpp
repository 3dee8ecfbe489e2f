// Scrolling through a gallery of real clips with the pointer over the cards (hover previews start and stop as it
// rests and moves on) against the same scroll with the pointer on the scroll bar, in a window on the X platform of a
// private X server, where the toolkit could draw with OpenGL as it would for a user. In one run:
//   p95 gap between frames, pointer over the cards   vs the same with the pointer on the scroll bar    (<= 1.5x)
//   processor time of one playing preview             vs decoding the same clip with the FFmpeg libraries
//     per second of clip played                          and scaling each frame to the preview's size,   (<= 1.5x)
//                                                        in this process, nothing else around it
//   resident memory 30 s after the last preview       vs the settled gallery before any preview          (<= 1.2x)
// The two kinds of scroll take turns stretch by stretch over the same part of the list, so that both meet the
// same load on a shared machine; each round goes through the whole list once, and the ratio is the median of
// the rounds'. The preview's processor time is measured in windows of a few seconds while it plays, each paired
// with a reference that decodes as many seconds of the clip; the ratio is the median of the pairs'.
//
//   bench_gallery_scroll [--clips N] [--folder DIR] [--rounds R]

#include "../BenchSupport.h"
#include "GalleryClip.h"
#include "MovementPlayer.h"
#include "PreviewFrameSink.h"
#include "VideoGalleryGrid.h"
#include "VideoGalleryLogicView.h"
#include "VideoGalleryViewModel.h"
#include "VideoItemLogicView.h"
#include "VideoPlayerView.h"
#include "VirtualDisplay.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>

#include <cstdio>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace {

using BenchSupport::processCpuSeconds;

using BenchSupport::median;

constexpr int kFrameMs = 16;
constexpr QSize kPane(900, 820);

QString clipName(int i) {
    return QStringLiteral("Orvane_20250101_%1_clip.mp4").arg(i, 6, 10, QChar('0'));
}

using BenchSupport::waitUntil;

// Runs the event loop for `ms` milliseconds.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double residentMB() {
    return double(BenchSupport::statusKiB("VmRSS:")) / 1024.0;
}

int threadCount() {
    return int(BenchSupport::statusKiB("Threads:"));
}

// Threads of the software OpenGL rasteriser, and whether a graphics driver was loaded at all.
int rasteriserThreads() {
    int count = 0;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("llvmpipe"))
            ++count;
    }
    return count;
}
bool graphicsDriverLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("_dri.so");
}

// Processor seconds to decode `seconds` of `clip` (looping it from the start, as a preview does) with the FFmpeg
// libraries and scale every frame to `size` as RGB, the way a preview's frames are made ready to paint; -1 when it
// cannot.
double referenceCpuSeconds(const QString& clip, double seconds, QSize size) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(clip).constData(), nullptr, nullptr) < 0)
        return -1;
    const auto closeFormat =
        std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)>(&format, avformat_close_input);
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream < 0 || !codec)
        return -1;
    const double rate = av_q2d(format->streams[stream]->avg_frame_rate);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    const auto freeDecoder =
        std::unique_ptr<AVCodecContext*, void (*)(AVCodecContext**)>(&decoder, avcodec_free_context);
    if (!decoder || rate <= 0 || avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) < 0)
        return -1;
    // One thread, as the preview decodes: more would cost more in all, and their memory would count as the preview's.
    decoder->thread_count = 1;
    if (avcodec_open2(decoder, codec, nullptr) < 0)
        return -1;
    AVPacket* packet = av_packet_alloc();
    const auto freePacket = std::unique_ptr<AVPacket*, void (*)(AVPacket**)>(&packet, av_packet_free);
    AVFrame* frame = av_frame_alloc();
    const auto freeFrame = std::unique_ptr<AVFrame*, void (*)(AVFrame**)>(&frame, av_frame_free);
    SwsContext* scaler = nullptr;
    const auto freeScaler = std::unique_ptr<SwsContext*, void (*)(SwsContext**)>(
        &scaler, [](SwsContext** context) { sws_freeContext(*context); });
    QImage image(size, QImage::Format_RGB32);

    const int wanted = int(std::lround(seconds * rate));
    int frames = 0;
    const double start = processCpuSeconds();
    const auto takeFrames = [&] {
        while (frames < wanted && avcodec_receive_frame(decoder, frame) >= 0) {
            scaler =
                sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format), size.width(),
                                     size.height(), AV_PIX_FMT_RGB32, SWS_AREA, nullptr, nullptr, nullptr);
            uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
            int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
            if (!scaler || sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides) <= 0)
                return false;
            ++frames;
        }
        return true;
    };
    while (frames < wanted) {
        // Once through the clip, then back to its start.
        if (av_seek_frame(format, stream, 0, AVSEEK_FLAG_BACKWARD) < 0)
            return -1;
        avcodec_flush_buffers(decoder);
        while (frames < wanted && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream)
                avcodec_send_packet(decoder, packet);
            av_packet_unref(packet);
            if (!takeFrames())
                return -1;
        }
        avcodec_send_packet(decoder, nullptr);
        if (!takeFrames())
            return -1;
    }
    return processCpuSeconds() - start;
}

// One frame of the scroll: how many wheel notches it turns, and whether the hand moves the pointer meanwhile.
struct FrameStep {
    int notches = 0;
    bool handMoves = false;
};

// One stretch of going through a long gallery: a flick, single notches closer together than the hover delay (each
// card stays under the pointer about a third of a second), then a rest on the card under the pointer, long enough
// for its preview to start and play.
std::vector<FrameStep> stretch() {
    std::vector<FrameStep> steps;
    const auto turn = [&](int notches, int stillFrames) {
        steps.push_back({notches, true});
        for (int i = 0; i < stillFrames; ++i)
            steps.push_back({0, false});
    };
    for (int i = 0; i < 16; ++i)
        turn(10, 0);
    for (int i = 0; i < 8; ++i)
        turn(1, 4); // 80 ms apart
    for (int i = 0; i < 30; ++i)
        steps.push_back({0, false});
    return steps;
}

int notchesIn(const std::vector<FrameStep>& steps) {
    int notches = 0;
    for (const FrameStep& step : steps)
        notches += step.notches;
    return notches;
}

// The gap that 95 % of the time lies in gaps no longer than: a freeze counts for as long as it lasts, as the eye
// sees it, not once among the many short gaps around it.
double p95ByTime(std::vector<double> gaps) {
    std::sort(gaps.begin(), gaps.end());
    double total = 0;
    for (double gap : gaps)
        total += gap;
    double covered = 0;
    for (double gap : gaps) {
        covered += gap;
        if (covered >= 0.95 * total)
            return gap;
    }
    return -1;
}

double longest(const std::vector<double>& gaps) {
    return gaps.empty() ? -1 : *std::max_element(gaps.begin(), gaps.end());
}

struct Pane {
    VideoGalleryViewModel gallery;
    std::unique_ptr<VideoGalleryLogicView> view;

    Pane() {
        gallery.setColumns(2);
        gallery.setPreferredGridMode(VideoGalleryViewModel::GridMode::comfortable);
        AppEnvironment env;
        env.galleryViewModel = &gallery;
        env.movementPlayer = &MovementPlayer::shared(); // as the window gives it to the gallery
        view = std::make_unique<VideoGalleryLogicView>(env);
        view->resize(kPane);
        view->show();
        QCoreApplication::processEvents();
    }
    VideoGalleryGrid* grid() const { return view->grid(); }
    QScrollBar* bar() const { return grid()->verticalScrollBar(); }
    bool firstScreenShown() const {
        const auto cards = grid()->cards();
        if (cards.isEmpty())
            return false;
        for (const VideoItemLogicView* card : cards) {
            if (!card->clip() || card->clip()->thumbnail().isNull())
                return false;
        }
        return true;
    }
    // Where the pointer rests: over the first column's cards, or on the scroll bar.
    QPoint pointerIn(bool overCards) const {
        QWidget* target = overCards ? static_cast<QWidget*>(grid()->viewport()) : bar();
        const QPoint local = overCards ? QPoint(target->width() / 4, target->height() / 2) : target->rect().center();
        return target->mapTo(view.get(), local);
    }
    // Puts the pointer at `at`, as the window system would after the hand moved it: the cursor position changes
    // and the pane gets the move (and the enter and leave events it causes).
    void movePointer(QPoint at) const { QCursor::setPos(view->mapToGlobal(at)); }
};

// The pointer goes to the scroll bar, any preview ends, and the list is put at `position`: the next stretch
// starts from the same state whichever kind it is.
bool settle(Pane& pane, int position) {
    pane.movePointer(pane.pointerIn(false));
    const bool stopped = waitUntil([] { return !MovementPlayer::shared().currentVideo(); }, 5000);
    pane.bar()->setValue(position);
    runFor(250);
    return stopped;
}

// Runs `steps` from where the list is, one frame every 16 ms (each painted at once), and adds the gaps between
// frames to `gaps`.
void runStretch(Pane& pane, const std::vector<FrameStep>& steps, bool overCards, std::vector<double>& gaps) {
    QWidget* wheelTarget = overCards ? static_cast<QWidget*>(pane.grid()->viewport()) : pane.bar();
    const QPoint pointer = pane.pointerIn(overCards);
    pane.movePointer(pointer);
    QElapsedTimer clock;
    qint64 last = -1;
    size_t next = 0;
    bool jitter = false;
    QEventLoop loop;
    QTimer frames;
    frames.setTimerType(Qt::PreciseTimer);
    frames.setInterval(kFrameMs);
    QObject::connect(&frames, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            gaps.push_back(double(now - last) / 1e6);
        last = now;
        if (next >= steps.size()) {
            loop.quit();
            return;
        }
        const FrameStep step = steps[next++];
        if (step.notches > 0) {
            const QPoint local = wheelTarget->mapFrom(pane.view.get(), pointer);
            QWheelEvent wheel(QPointF(local), QPointF(wheelTarget->mapToGlobal(local)), QPoint(),
                              QPoint(0, -120 * step.notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(wheelTarget, &wheel);
        }
        if (step.handMoves) {
            jitter = !jitter;
            pane.movePointer(pointer + QPoint(jitter ? 1 : 0, 0));
        }
        pane.view->repaint();
    });
    clock.start();
    frames.start();
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    // A private X server, before the application connects to a display: the window, its previews and whatever the
    // toolkit sets up to draw them are those of a user's session.
    VirtualDisplay display;
    QApplication app(argc, argv);
    BenchSupport::Verdict verdict("gallery_scroll");
    if (!verdict.holds("a private X server started (Xvfb)", display.started() && app.platformName() == "xcb"))
        return verdict.exitCode();
    QElapsedTimer wall;
    wall.start();
    const auto [count, folderPath] =
        BenchSupport::clipArgs(app.arguments(), 200, QDir::temp().filePath("orvane-bench-gallery-scroll-200"));
    const int rounds = std::max(1, int(BenchSupport::numberArg(app.arguments(), "--rounds", 3)));
    QDir folder(folderPath);
    // A private thumbnail cache, so the user's own is neither used nor filled. The media framework's list of its
    // plugins, which it would keep in the same cache, is kept with the clips instead: a user's is made once, not at
    // each start.
    QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome.path()));
    qputenv("GST_REGISTRY_1_0", QFile::encodeName(folder.filePath(QStringLiteral(".media-plugins.bin"))));
    // One-second clips of the service's picture size, made once and kept between runs.
    if (!QDir().mkpath(folderPath) ||
        BenchSupport::makeClips(folder, count, std::max(1, QThread::idealThreadCount() - 2), {"1280x720", 25, 1},
                                clipName) < 0) {
        std::fprintf(stderr, "could not make the clips (is the ffmpeg command-line tool installed?)\n");
        return 1;
    }

    Pane pane;
    pane.gallery.startMonitoring(folderPath);
    if (!waitUntil([&] { return pane.firstScreenShown() && pane.gallery.count() >= count; }, 120000)) {
        std::fprintf(stderr, "the gallery did not show its first screen\n");
        return 1;
    }
    const std::vector<FrameStep> steps = stretch();
    const int stretchPixels = notchesIn(steps) * 3 * pane.bar()->singleStep();
    const int stretches = pane.bar()->maximum() / stretchPixels + 1;
    std::printf("%d clips on %s, %d px to scroll, %d stretches of %d frames a round\n", pane.gallery.count(),
                qPrintable(app.platformName()), pane.bar()->maximum(), stretches, int(steps.size()));

    // Once through with the pointer on the scroll bar: every card has been made and every thumbnail read. No
    // preview has played yet: the media framework is not loaded.
    std::vector<double> warmUp;
    for (int i = 0; i < stretches; ++i) {
        settle(pane, i * stretchPixels);
        runStretch(pane, steps, false, warmUp);
    }
    settle(pane, 0);
    runFor(2000);
    const double before = residentMB();
    const int threadsBefore = threadCount();

    int previews = 0;
    const QMetaObject::Connection started =
        QObject::connect(&MovementPlayer::shared(), &MovementPlayer::currentVideoChanged, [&previews] {
            if (MovementPlayer::shared().currentVideo())
                ++previews;
        });
    bool settled = true;
    std::vector<double> ratios, cardsP95, barP95;
    for (int round = 0; round < rounds; ++round) {
        std::vector<double> cardsGaps, barGaps;
        for (int i = 0; i < stretches; ++i) {
            // Each kind goes first every other stretch.
            for (const bool overCards : {i % 2 == 0, i % 2 != 0}) {
                settled = settle(pane, i * stretchPixels) && settled;
                runStretch(pane, steps, overCards, overCards ? cardsGaps : barGaps);
            }
        }
        cardsP95.push_back(p95ByTime(cardsGaps));
        barP95.push_back(p95ByTime(barGaps));
        ratios.push_back(cardsP95.back() / barP95.back());
        std::printf("round %d: p95 frame gap %.1f ms over the cards (longest %.1f ms), %.1f ms on the scroll bar "
                    "(longest %.1f ms)\n",
                    round + 1, cardsP95.back(), longest(cardsGaps), barP95.back(), longest(barGaps));
        std::fflush(stdout);
    }
    QObject::disconnect(started);

    // One preview playing on: its processor time in windows of a few seconds, and the frames it shows.
    constexpr double kWindowSeconds = 3;
    settled = settle(pane, 0) && settled;
    pane.movePointer(pane.pointerIn(true));
    const bool playing = waitUntil([] { return MovementPlayer::shared().isPlaying(); }, 20000);
    VideoItem* const video = MovementPlayer::shared().currentVideo();
    const QString clip = video ? video->url().toLocalFile() : QString();
    VideoPlayerView* const view = pane.grid()->previewWidget();
    int shown = 0;
    const QMetaObject::Connection counted =
        view ? QObject::connect(view->videoSink(), &PreviewFrameSink::frameChanged, [&shown] { ++shown; })
             : QMetaObject::Connection();
    runFor(1000); // past the first frames of the source
    std::vector<double> previewCpu;
    shown = 0;
    for (int round = 0; round < rounds && playing; ++round) {
        const double start = processCpuSeconds();
        runFor(int(kWindowSeconds * 1000));
        previewCpu.push_back((processCpuSeconds() - start) / kWindowSeconds);
    }
    const double shownPerSecond = previewCpu.empty() ? 0 : shown / (kWindowSeconds * double(previewCpu.size()));
    const bool stillPlaying = MovementPlayer::shared().isPlaying() && MovementPlayer::shared().currentVideo() == video;
    const QSize previewSize = view ? (QSizeF(view->size()) * view->devicePixelRatioF()).toSize() : QSize();
    const int threadsWhilePlaying = threadCount();
    const int rasteriserWhilePlaying = rasteriserThreads();
    QObject::disconnect(counted);

    // The pointer leaves the cards; the last preview ends with its leave delay.
    settled = settle(pane, 0) && settled;
    QElapsedTimer sinceLast;
    sinceLast.start();
    // The reference, alone: as many seconds of the same clip decoded and scaled to the preview's size.
    std::vector<double> cpuRatios, referenceCpu;
    for (size_t round = 0; round < previewCpu.size(); ++round) {
        // Three windows' worth at a time: a few tenths of a second of processor time, long enough to read steadily.
        referenceCpu.push_back(referenceCpuSeconds(clip, 3 * kWindowSeconds, previewSize) / (3 * kWindowSeconds));
        cpuRatios.push_back(previewCpu[round] / referenceCpu.back());
        std::printf("preview window %d: %.1f %% of a core while playing, reference %.1f %%\n", int(round + 1),
                    previewCpu[round] * 100, referenceCpu.back() * 100);
    }
    runFor(std::max(0, 30000 - int(sinceLast.elapsed())));
    const double after = residentMB();
    std::printf("%d previews, one played on at %.1f frames a second at %d x %d; threads: %d before any preview, %d "
                "while one played (%d of them the software rasteriser), %d 30 s after the last; a graphics driver "
                "%s loaded\n",
                previews, shownPerSecond, previewSize.width(), previewSize.height(), threadsBefore, threadsWhilePlaying,
                rasteriserWhilePlaying, threadCount(), graphicsDriverLoaded() ? "was" : "was not");
    std::printf("(%.0f s in all)\n", wall.elapsed() / 1000.0);

    verdict.holds("previews started while resting over the cards", previews >= rounds * stretches / 2);
    verdict.holds("every preview stopped when the pointer left the cards", settled);
    verdict.holds("a preview played on while the pointer rested, frames shown",
                  playing && stillPlaying && shownPerSecond >= 15);
    verdict.atMostTimesPaired("p95 frame gap, pointer over the cards vs on the scroll bar", median(cardsP95),
                              median(barP95), median(ratios), 1.5);
    verdict.atMostTimesPaired("processor time of a playing preview vs decoding its clip alone, per second played",
                              median(previewCpu) * 1000, median(referenceCpu) * 1000, median(cpuRatios), 1.5, "ms");
    verdict.atMostTimes("memory 30 s after the last preview vs the settled gallery before any", after, before, 1.2,
                        "MB");
    return verdict.exitCode();
}
