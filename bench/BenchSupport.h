#pragma once

// What the benchmarks measure with: resident memory from /proc, the median of the rounds, and the clips the
// media benchmarks are run on.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace BenchSupport {

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), or -1.
inline qint64 statusKiB(const char* field) {
    QFile file("/proc/self/status");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Peak resident memory of one phase above what was resident when it started.
struct PeakMeter {
    qint64 baseline = 0;
    void start() {
        QFile refs("/proc/self/clear_refs");
        if (refs.open(QIODevice::WriteOnly))
            refs.write("5"); // resets the high-water mark
        baseline = statusKiB("VmRSS:");
    }
    double extraMB() const { return double(statusKiB("VmHWM:") - baseline) / 1024.0; }
};

template <class List> double median(List values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs `job(i)` for i in [0, count) on `workers` threads.
template <class Job> void parallelFor(int count, int workers, const Job& job) {
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&] {
            for (int i = next++; i < count; i = next++)
                job(i);
        });
    }
    for (auto& thread : threads)
        thread.join();
}

// "--clips N --folder DIR" with defaults.
struct ClipArgs {
    int count;
    QString folder;
};
inline ClipArgs clipArgs(const QStringList& args, int count, const QString& folder) {
    ClipArgs parsed{count, folder};
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--clips")
            parsed.count = args[i + 1].toInt();
        else if (args[i] == "--folder")
            parsed.folder = args[i + 1];
    }
    return parsed;
}

// One-second H.264 test clips, each a little different, made with the ffmpeg tool and kept between runs (a clip
// already there is not made again). Returns how many were made now, -1 when one could not be made.
struct ClipSpec {
    QString size;        // "1920x1080"
    int rate = 25;       // frames per second
    int ffmpegThreads = 1;
};
inline int makeClips(const QDir& folder, int count, int workers, const ClipSpec& kind,
                     const std::function<QString(int)>& fileName) {
    std::atomic<bool> ok{true};
    std::atomic<int> made{0};
    parallelFor(count, workers, [&](int i) {
        const QString target = folder.filePath(fileName(i));
        if (QFile::exists(target))
            return;
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                QStringLiteral("testsrc2=size=%1:rate=%2:duration=1").arg(kind.size).arg(kind.rate),
                                "-vf", QStringLiteral("hue=h=%1").arg(i * 7 % 360), "-c:v", "libx264", "-preset",
                                "veryfast", "-pix_fmt", "yuv420p", "-threads", QString::number(kind.ffmpegThreads),
                                "-f", "mp4", target + ".tmp"});
        if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0 || !QFile::rename(target + ".tmp", target))
            ok = false;
        ++made;
    });
    if (made > 0)
        std::printf("made %d clips in %s\n", made.load(), qPrintable(folder.path()));
    return ok ? made.load() : -1;
}

} // namespace BenchSupport
