#pragma once

// What the benchmarks measure with: resident memory from /proc, the median of the rounds, the clips the media
// benchmarks are run on, and the verdict every benchmark gives on its goals.

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>

namespace BenchSupport {

// Runs the event loop as the application does, asleep between events, looking at `done` at least every
// millisecond. A waiting loop that spun would take a processor from the work it waits for.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 120000) {
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        loop.exec();
    }
    return true;
}

// The goals of one benchmark run. Each check prints its figures and whether the goal was met; exitCode() prints
// the overall result and is non-zero when any goal was missed, so `make bench` fails. A figure that could not be
// measured (negative, zero reference, not finite) misses its goal.
class Verdict {
public:
    explicit Verdict(const char* benchmark) : benchmark_(benchmark) {}

    // A cost (time, memory) against the reference's cost for the same work: met when measured / reference is at
    // most `goal`.
    bool atMostTimes(const char* what, double measured, double reference, double goal, const char* unit = "ms") {
        const bool valid = measurable(measured) && measurable(reference) && reference > 0;
        return atMostTimesPaired(what, measured, reference, valid ? measured / reference : NAN, goal, unit);
    }

    // The same, when every round's measurement was paired with a reference of its own: `ratio` is the median of
    // the rounds' ratios, `measured` and `reference` the medians of the two.
    bool atMostTimesPaired(const char* what, double measured, double reference, double ratio, double goal,
                           const char* unit = "ms") {
        const bool valid = measurable(measured) && measurable(reference) && measurable(ratio);
        return record(what, valid && ratio <= goal,
                      figure(measured, unit) + ", reference " + figure(reference, unit) + ", ratio " + fixed(ratio, 3) +
                          " (goal at most " + fixed(goal) + ")");
    }

    // A cost against a reference it must beat: met when reference / measured (how many times faster) is at least
    // `goal`.
    bool atLeastTimesFaster(const char* what, double measured, double reference, double goal, const char* unit = "ms") {
        const bool valid = measurable(measured) && measurable(reference) && measured > 0;
        const double speed = valid ? reference / measured : NAN;
        return record(what, valid && speed >= goal,
                      figure(measured, unit) + ", reference " + figure(reference, unit) + ", reference / measured " +
                          fixed(speed, 3) + " (goal at least " + fixed(goal) + ")");
    }

    // A bound that has no reference (a stall, a latency, memory, a count): met when `measured` is at most `limit`.
    bool atMost(const char* what, double measured, double limit, const char* unit) {
        return record(what, measurable(measured) && measured <= limit,
                      figure(measured, unit) + " (goal at most " + figure(limit, unit) + ")");
    }

    // Something that must hold for the figures to mean anything (every clip decoded, every file written).
    bool holds(const char* what, bool ok) { return record(what, ok, ok ? "yes" : "no"); }

    int exitCode() const {
        if (missed_.empty()) {
            std::printf("%s: PASS, %d of %d goals met\n", benchmark_, checked_, checked_);
        } else {
            std::string list;
            for (const std::string& what : missed_)
                list += (list.empty() ? "" : "; ") + what;
            std::printf("%s: FAIL, %d of %d goals missed: %s\n", benchmark_, int(missed_.size()), checked_,
                        list.c_str());
        }
        std::fflush(stdout);
        return missed_.empty() ? 0 : 1;
    }

private:
    static bool measurable(double value) { return std::isfinite(value) && value >= 0; }

    static std::string fixed(double value, int decimals = 2) {
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
        return text;
    }

    // Whole numbers as they are, small figures with enough digits to compare.
    static std::string figure(double value, const char* unit) {
        const double size = std::fabs(value);
        const int decimals = (value == std::floor(value) && size < 1e9) ? 0 : size < 10 ? 2 : size < 1000 ? 1 : 0;
        char text[96];
        std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
        return text;
    }

    bool record(const char* what, bool met, const std::string& figures) {
        ++checked_;
        if (!met)
            missed_.emplace_back(what);
        std::printf("  %s  %s: %s\n", met ? "PASS" : "FAIL", what, figures.c_str());
        std::fflush(stdout);
        return met;
    }

    const char* benchmark_;
    int checked_ = 0;
    std::vector<std::string> missed_;
};

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

// CPU time of the whole process (all its threads) so far, in seconds.
inline double processCpuSeconds() {
    timespec spent{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &spent);
    return double(spent.tv_sec) + double(spent.tv_nsec) / 1e9;
}

// How often the calling thread has gone to sleep and woken so far (its voluntary context switches), or -1.
inline qint64 threadWakeups() {
    QFile file(QStringLiteral("/proc/self/task/%1/status").arg(long(::syscall(SYS_gettid))));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(24).trimmed().toLongLong();
    }
    return -1;
}

// Runs the event loop, asleep between events, for `ms`.
inline void standBy(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

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

// The number after `name` on the command line (`--rounds 5`), else `fallback`.
inline double numberArg(const QStringList& args, const QString& name, double fallback) {
    const qsizetype at = args.indexOf(name);
    return at >= 1 && at + 1 < args.size() ? args[at + 1].toDouble() : fallback;
}

// One-second H.264 test clips, each a little different, made with the ffmpeg tool and kept between runs (a clip
// already there is not made again). Returns how many were made now, -1 when one could not be made.
struct ClipSpec {
    QString size;  // "1920x1080"
    int rate = 25; // frames per second
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
        ffmpeg.start(
            "ffmpeg",
            {"-nostdin",     "-v",
             "error",        "-y",
             "-f",           "lavfi",
             "-i",           QStringLiteral("testsrc2=size=%1:rate=%2:duration=1").arg(kind.size).arg(kind.rate),
             "-vf",          QStringLiteral("hue=h=%1").arg(i * 7 % 360),
             "-c:v",         "libx264",
             "-preset",      "veryfast",
             "-pix_fmt",     "yuv420p",
             "-threads",     QString::number(kind.ffmpegThreads),
             "-f",           "mp4",
             target + ".tmp"});
        if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0 || !QFile::rename(target + ".tmp", target))
            ok = false;
        ++made;
    });
    if (made > 0)
        std::printf("made %d clips in %s\n", made.load(), qPrintable(folder.path()));
    return ok ? made.load() : -1;
}

} // namespace BenchSupport
