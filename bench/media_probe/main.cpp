// MediaProbe against the ffmpeg command-line tool: the first frame of 500 clips of 1080p H.264, scaled to
// 320 x 180, on all cores. Reports stills per second of both, their ratio and the peak memory.
//
//   bench_media_probe [--clips N] [--folder DIR]

#include "../BenchSupport.h"
#include "MediaProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr QSize kBound(320, 180);

long peakKilobytes(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

QString clipName(const QDir& folder, int i) {
    return folder.filePath(QStringLiteral("clip_%1.mp4").arg(i, 3, 10, QChar('0')));
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
    MediaProbe::probe(clips.first(), request); // first use loads the codecs

    const long baseline = peakKilobytes(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    QList<QFuture<MediaProbe::Result>> futures;
    for (const QString& clip : clips)
        futures << MediaProbe::probeAsync(clip, request);
    int failures = 0;
    for (auto& future : futures) {
        const auto result = future.result();
        if (!result.ok() || result.still.size() != kBound)
            ++failures;
        future = {}; // a gallery keeps its stills elsewhere; count only the probe's own memory
    }
    const double probeSeconds = timer.nsecsElapsed() / 1e9;
    const long probePeak = peakKilobytes(RUSAGE_SELF);
    futures.clear();

    timer.restart();
    const int sequential = std::min(count, 50);
    for (int i = 0; i < sequential; ++i)
        MediaProbe::probe(clips[i], request);
    const double oneAtATimeMs = timer.nsecsElapsed() / 1e6 / sequential;

    std::atomic<int> ffmpegFailures{0};
    timer.restart();
    BenchSupport::parallelFor(count, cores, [&](int i) {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-nostdin", "-v", "error", "-i", clips[i], "-frames:v", "1", "-vf",
                                QStringLiteral("scale=%1:%2").arg(kBound.width()).arg(kBound.height()), "-f",
                                "rawvideo", "-pix_fmt", "bgra", "-"});
        const bool finished = ffmpeg.waitForFinished(-1);
        if (!finished || ffmpeg.exitCode() != 0 ||
            ffmpeg.readAllStandardOutput().size() != kBound.width() * kBound.height() * 4)
            ++ffmpegFailures;
    });
    const double ffmpegSeconds = timer.nsecsElapsed() / 1e9;
    const long ffmpegPeak = peakKilobytes(RUSAGE_CHILDREN);

    const double probeRate = count / probeSeconds;
    const double ffmpegRate = count / ffmpegSeconds;
    const double ratio = probeRate / ffmpegRate;
    std::printf("clips: %d x 1080p H.264, first frame scaled to %dx%d, %d cores\n", count, kBound.width(),
                kBound.height(), cores);
    std::printf("MediaProbe:         %8.1f stills/s  (%.2f s, %d failed)\n", probeRate, probeSeconds, failures);
    std::printf("ffmpeg tool:        %8.1f stills/s  (%.2f s, one process per clip, %d failed)\n", ffmpegRate,
                ffmpegSeconds, ffmpegFailures.load());
    std::printf("ratio:              %8.1f x faster  (goal: at least 5x) %s\n", ratio, ratio >= 5 ? "PASS" : "FAIL");
    std::printf("one at a time:      %8.2f ms per still (MediaProbe on the calling thread)\n", oneAtATimeMs);
    std::printf("peak memory:        %8.1f MB for the whole benchmark process (%.1f MB before the run)\n",
                probePeak / 1024.0, baseline / 1024.0);
    std::printf("                    %8.1f MB for the largest ffmpeg process%s\n", ffmpegPeak / 1024.0,
                made > 0 ? " (this run also made clips: the encoders count too)" : "");
    return failures == 0 && ffmpegFailures == 0 ? 0 : 1;
}
