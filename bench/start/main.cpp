// Start and memory against the toolkit's floor: the application and the smallest Qt Widgets window (built in the
// same tree: same build type, Qt and link style) are started one after the other, many times, each as its own
// process on a private X server and session bus, with a home whose settings point every service at the loopback.
// Measured for each start:
// - the time from launching the process to its first painted window (the program prints the moment, on the steady
//   clock, when ORVANE_REPORT_FIRST_PAINT is set);
// - its resident memory once it has settled (no CPU time used for a while after the first paint), so what loads
//   after the first paint counts too.
// Three kinds of start, each paired round by round with a start of the floor:
// - warm: a user with an empty store whose settings and store exist (time and memory);
// - first run: an empty home, where the store, the settings and the presets are created (memory);
// - a video folder of clips whose pictures are not in the thumbnail cache yet (memory): the gallery is not on the
//   first screen, so its pictures cost nothing until it is.
// Goals: the start at most 1.7 times the floor's time (the median of the rounds' ratios), and in every kind the
// memory at most twice the floor's.
//
//   bench_start [--rounds N] [--memory-rounds N] [--folder DIR]   (DIR keeps the clips between runs)

#include "../BenchSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#ifndef ORVANE_START_APPLICATION
#define ORVANE_START_APPLICATION ""
#endif
#ifndef ORVANE_START_REFERENCE
#define ORVANE_START_REFERENCE ""
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kPaintGoal = 1.7;
constexpr double kMemoryGoal = 2.0;
constexpr int kWarmUps = 2;
// Enough clips to fill the gallery's first screen and more.
constexpr int kClips = 24;

struct Start {
    double paintMs = -1; // launch to first painted window
    double rssMB = -1;   // once settled
};

// The first line `program` prints on its standard output, within `timeoutMs`.
QByteArray firstLine(QProcess& program, int timeoutMs) {
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (!out.contains('\n') && program.waitForReadyRead(int(deadline.remainingTime())))
        out += program.readAllStandardOutput();
    return out.left(out.indexOf('\n')).trimmed();
}

// A helper process the benchmark runs beside the starts: a display or a session bus.
class Helper {
public:
    ~Helper() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    // Starts `program` and returns the first line it prints (the display number, the bus address).
    std::optional<QByteArray> start(const QString& program, const QStringList& arguments) {
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(program, arguments);
        if (!process_.waitForStarted(10000))
            return std::nullopt;
        QByteArray line = firstLine(process_, 10000);
        if (line.isEmpty())
            return std::nullopt;
        return line;
    }

private:
    QProcess process_;
};

// utime + stime of a process, in clock ticks; -1 when it is gone.
qint64 cpuTicks(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold spaces: state is the first.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

double rssMB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// Waits until the process has used no CPU time for a while: half a second at least after its first paint, ten
// seconds at most. What it prints meanwhile is read and dropped, so it never waits on a full pipe.
void settle(QProcess& process) {
    constexpr int pollMs = 100, quietPolls = 4, minimumMs = 500, limitMs = 10000;
    const auto wait = [&process](int ms) {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired() && process.state() == QProcess::Running) {
            process.waitForReadyRead(int(deadline.remainingTime()));
            process.readAllStandardOutput();
        }
    };
    wait(minimumMs);
    qint64 last = cpuTicks(process.processId());
    int quiet = 0;
    for (int waited = minimumMs; waited < limitMs && quiet < quietPolls; waited += pollMs) {
        wait(pollMs);
        const qint64 now = cpuTicks(process.processId());
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
}

Start launch(const QString& program, const QProcessEnvironment& environment) {
    Start start;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setProgram(program);
    const Clock::time_point launched = Clock::now();
    process.start();
    if (!process.waitForStarted(10000))
        return start;
    // The application prints its log as well: the report is the line with the marker.
    QByteArray out;
    QDeadlineTimer deadline(30000);
    qint64 paintedNs = -1;
    while (paintedNs < 0 && process.waitForReadyRead(int(deadline.remainingTime()))) {
        out += process.readAllStandardOutput();
        for (const QByteArray& line : out.split('\n')) {
            if (line.startsWith("first-paint ") && line.size() > 12)
                paintedNs = line.mid(12).trimmed().toLongLong();
        }
    }
    if (paintedNs > 0) {
        const auto launchedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(launched.time_since_epoch());
        start.paintMs = double(paintedNs - launchedNs.count()) / 1e6;
        settle(process);
        start.rssMB = rssMB(process.processId());
    }
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return start;
}

int rounds(const QStringList& arguments, const char* name, int fallback) {
    return std::max(1, int(BenchSupport::numberArg(arguments, name, fallback)));
}

QString clipName(int i) {
    return QStringLiteral("Orvane_20250101_%1_clip.mp4").arg(i, 6, 10, QChar('0'));
}

// A home as a user's: the folders a desktop session has, and settings that send every service to the loopback,
// where nobody answers. With `videoFolder`, the gallery watches it.
bool makeHome(const QString& root, const QString& videoFolder = {}) {
    for (const char* folder : {".config/Orvane", ".local/share", ".cache", "runtime"}) {
        if (!QDir().mkpath(root + "/" + folder))
            return false;
    }
    QFile::setPermissions(root + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QSettings settings(root + "/.config/Orvane/Orvane.ini", QSettings::IniFormat);
    settings.setValue("Services/geminiBaseURL", "http://127.0.0.1:9");
    settings.setValue("Services/miniMaxBaseURL", "http://127.0.0.1:9");
    settings.setValue("Services/updateFeedURL", "http://127.0.0.1:9/appcast.xml");
    if (!videoFolder.isEmpty())
        settings.setValue("videoDirectoryBookmark", QFile::encodeName(videoFolder));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QProcessEnvironment inHome(QProcessEnvironment environment, const QString& root) {
    environment.insert("HOME", root);
    environment.insert("XDG_CONFIG_HOME", root + "/.config");
    environment.insert("XDG_DATA_HOME", root + "/.local/share");
    environment.insert("XDG_CACHE_HOME", root + "/.cache");
    environment.insert("XDG_RUNTIME_DIR", root + "/runtime");
    return environment;
}

// Memory rounds of one kind: each start of the application paired with a start of the floor, which goes first
// every other round. `prepare` runs before each start of the application.
struct MemoryRounds {
    std::vector<double> app, floor;
    bool measured = true;
    std::string text;
};
MemoryRounds memoryRounds(int count, const QString& application, const QString& reference,
                          const std::function<QProcessEnvironment()>& prepare, const QProcessEnvironment& floorHome) {
    MemoryRounds result;
    for (int round = 0; round < count; ++round) {
        Start measured, floor;
        if (round % 2 == 0) {
            measured = launch(application, prepare());
            floor = launch(reference, floorHome);
        } else {
            floor = launch(reference, floorHome);
            measured = launch(application, prepare());
        }
        if (measured.rssMB <= 0 || floor.rssMB <= 0) {
            result.measured = false;
            continue;
        }
        result.app.push_back(measured.rssMB);
        result.floor.push_back(floor.rssMB);
        char text[48];
        std::snprintf(text, sizeof text, "%s%.1f/%.1f", result.text.empty() ? "" : " ", measured.rssMB, floor.rssMB);
        result.text += text;
    }
    return result;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    BenchSupport::Verdict verdict("start");
    const QString application = QStringLiteral(ORVANE_START_APPLICATION);
    const QString reference = QStringLiteral(ORVANE_START_REFERENCE);

    Helper display;
    const auto number =
        display.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1600x1000x24", "-nolisten", "tcp", "-noreset"});
    if (!verdict.holds("a private X server started (Xvfb)", number.has_value()))
        return verdict.exitCode();
    // A desktop session has a session bus; without one, the first program would start one by X11 autolaunch.
    Helper bus;
    const auto address = bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});

    QTemporaryDir homes;
    const QString home = homes.filePath("warm");
    const QString clipsHome = homes.filePath("clips");
    const qsizetype folderAt = app.arguments().indexOf("--folder");
    const QString clipFolder =
        folderAt > 0 ? app.arguments().value(folderAt + 1) : QDir::temp().filePath("orvane-bench-start-clips");
    if (!verdict.holds("the clips are there (made with the ffmpeg tool)",
                       QDir().mkpath(clipFolder) &&
                           BenchSupport::makeClips(QDir(clipFolder), kClips, 2, {"1280x720", 10, 1}, clipName) >= 0) ||
        !verdict.holds("the homes were made", makeHome(home) && makeHome(clipsHome, clipFolder)))
        return verdict.exitCode();
    QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString& name : system.keys()) {
        if (name.startsWith("QT_") || name.startsWith("XDG_") || name.startsWith("WAYLAND"))
            system.remove(name);
    }
    system.insert("DISPLAY", ":" + QString::fromLatin1(*number));
    system.insert("QT_QPA_PLATFORM", "xcb");
    system.insert("ORVANE_REPORT_FIRST_PAINT", "1");
    // Without a bus of our own, none at all: X11 autolaunch would leave a bus behind for the display.
    system.insert("DBUS_SESSION_BUS_ADDRESS", address ? QString::fromUtf8(*address) : QStringLiteral("disabled:"));
    const QProcessEnvironment environment = inHome(system, home);

    bool allPainted = true;
    // The first start creates the store and the settings; then the page cache holds both programs.
    for (int i = 0; i < kWarmUps; ++i) {
        allPainted = launch(application, environment).paintMs > 0 && allPainted;
        allPainted = launch(reference, environment).paintMs > 0 && allPainted;
    }

    const int count = rounds(app.arguments(), "--rounds", 31);
    std::vector<double> appPaint, refPaint, paintRatios, appRss, refRss;
    std::string ratios;
    for (int round = 0; round < count; ++round) {
        // Which one goes first alternates, so a disturbance of the machine falls on both alike.
        Start measured, floor;
        if (round % 2 == 0) {
            measured = launch(application, environment);
            floor = launch(reference, environment);
        } else {
            floor = launch(reference, environment);
            measured = launch(application, environment);
        }
        if (measured.paintMs <= 0 || floor.paintMs <= 0 || measured.rssMB <= 0 || floor.rssMB <= 0) {
            allPainted = false;
            continue;
        }
        appPaint.push_back(measured.paintMs);
        refPaint.push_back(floor.paintMs);
        paintRatios.push_back(measured.paintMs / floor.paintMs);
        appRss.push_back(measured.rssMB);
        refRss.push_back(floor.rssMB);
        char text[32];
        std::snprintf(text, sizeof text, "%s%.2f", ratios.empty() ? "" : " ", paintRatios.back());
        ratios += text;
    }
    std::printf("start: %d rounds on display :%s, %s session bus; ratios of the rounds: %s\n", count,
                number->constData(), address ? "a private" : "no", ratios.c_str());

    // A first run each round: a home nobody has started in.
    const int memoryCount = rounds(app.arguments(), "--memory-rounds", 5);
    int firstRuns = 0;
    const MemoryRounds first = memoryRounds(
        memoryCount, application, reference,
        [&] {
            const QString fresh = homes.filePath(QStringLiteral("first-%1").arg(++firstRuns));
            makeHome(fresh);
            return inHome(system, fresh);
        },
        environment);
    std::printf("first run, MB of the rounds (application/floor): %s\n", first.text.c_str());
    // The clips' pictures dropped from the thumbnail caches before each start; the store and settings stay.
    const QProcessEnvironment clipsEnvironment = inHome(system, clipsHome);
    allPainted = launch(application, clipsEnvironment).paintMs > 0 && allPainted;
    const MemoryRounds uncached = memoryRounds(
        memoryCount, application, reference,
        [&] {
            for (const char* cache : {".cache/thumbnails", ".cache/Orvane/thumbnails"})
                QDir(clipsHome + "/" + cache).removeRecursively();
            return clipsEnvironment;
        },
        environment);
    std::printf("clips not in the thumbnail cache, MB of the rounds (application/floor): %s\n", uncached.text.c_str());

    using BenchSupport::median;
    verdict.holds("every start painted its window and was measured", allPainted && first.measured && uncached.measured);
    verdict.atMostTimesPaired("start to the first painted window", median(appPaint), median(refPaint),
                              paintRatios.empty() ? NAN : median(paintRatios), kPaintGoal);
    verdict.atMostTimes("resident memory after a warm start", median(appRss), median(refRss), kMemoryGoal, "MB");
    verdict.atMostTimes("resident memory after a first run", median(first.app), median(first.floor), kMemoryGoal, "MB");
    verdict.atMostTimes("resident memory after a start with clips not in the thumbnail cache", median(uncached.app),
                        median(uncached.floor), kMemoryGoal, "MB");
    return verdict.exitCode();
}
