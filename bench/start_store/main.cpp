// The start of the program with a user's collection against its start with an empty store, measured in the same
// run: from launching a process until its main window has painted the root view, once with a store of 10,000 clip
// records carrying their frame pictures (about 900 MB) and once with an empty store. Each process runs the start
// the program runs (main.cpp's steps, OrvaneApp, showMainWindow) in a home of its own. Before each cold round both
// stores' files are dropped from the page cache, as after a reboot.
// Goal: cold, the start with the collection at most 1.3x the start with an empty store. Warm rounds follow for
// reference (how much of the difference is reading the disk).
//
//   bench_start_store [--records N] [--rounds N] [--folder DIR]   (DIR keeps the filled store between runs)

#include "../BenchSupport.h"
#include "Dialogs.h"
#include "ImageCoding.h"
#include "MainAppView.h"
#include "ModelSchema.h"
#include "OrvaneApp.h"
#include "VideoMetadata.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using BenchSupport::median;

constexpr double kGoal = 1.3;
constexpr int kStartTimeoutMs = 120000;

// ---- the started process ------------------------------------------------------------------------------------

// Alerts answered at once with their first button and passed on to the measuring process: a start that alerts
// did not open the store as it was, and its time would not mean anything.
class ReportingDialogs final : public Dialogs {
public:
    std::optional<QString> chooseFolder(const FolderRequest&) override { return std::nullopt; }
    QStringList openFiles(const OpenRequest&) override { return {}; }
    std::optional<QString> saveFile(const SaveRequest&) override { return std::nullopt; }
    int alert(AlertStyle, const QString& message, const QString&, const QStringList&, int, int) override {
        std::fprintf(stderr, "alert: %s\n", qPrintable(message));
        return 0;
    }
    void notify(AlertStyle, const QString&, const QString&) override {}
};

// Reports the moment the root view's first paint is done: the window shows it. Work the start queued for later
// does not count, work done before the paint does.
class ShownProbe final : public QObject {
public:
    explicit ShownProbe(OrvaneApp& app) : app_(app) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (reported_)
            return false;
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            MainAppView* root = app_.rootView();
            auto* widget = static_cast<QWidget*>(watched);
            if (!rootPainted_ && root && (widget == root || root->isAncestorOf(widget))) {
                rootPainted_ = true;
                // In case the paint came some other way than the window's own, the report comes next turn.
                QTimer::singleShot(0, this, [this] { report(); });
            }
            return false;
        }
        // The window paints its widgets while it handles these: handled here, the paint is over on return.
        const bool drivesPaint = event->type() == QEvent::Expose || event->type() == QEvent::UpdateRequest;
        QWidget* window = app_.mainWindow();
        if (!drivesPaint || delivering_ || !window || (watched != window && watched != window->windowHandle()))
            return false;
        delivering_ = true;
        watched->event(event);
        delivering_ = false;
        if (rootPainted_)
            report();
        return true;
    }

private:
    void report() {
        if (reported_)
            return;
        reported_ = true;
        std::printf("shown\n");
        std::fflush(stdout);
        // Not timed: what the start saw, so the parent knows the figures are about the collection.
        const auto records = app_.modelContext().fetch<VideoMetadata>();
        std::printf("records %lld\n", records ? static_cast<long long>(records->size()) : -1LL);
        std::fflush(stdout);
        // Quitting would back up the whole collection; the measurement is over.
        ::_exit(0);
    }

    OrvaneApp& app_;
    bool rootPainted_ = false;
    bool delivering_ = false;
    bool reported_ = false;
};

int runStart(int argc, char** argv) {
    // The steps of main.cpp, in its order.
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Orvane");
    QApplication::setApplicationName("Orvane");
    QApplication::setApplicationDisplayName("Orvane");
    QApplication::setDesktopFileName("orvane");
    QApplication::setWindowIcon(QIcon::fromTheme("orvane", QIcon(":/icons/orvane.svg")));
    ReportingDialogs dialogs;
    Dialogs::setCurrent(&dialogs);

    OrvaneApp orvane;
    ShownProbe probe(orvane);
    app.installEventFilter(&probe);
    orvane.showMainWindow();
    QTimer::singleShot(kStartTimeoutMs, [] {
        std::fprintf(stderr, "the root view was never painted\n");
        ::_exit(3);
    });
    return app.exec();
}

// ---- the measuring process ----------------------------------------------------------------------------------

// A home of its own for each started process: its data, settings, caches and runtime folder.
struct Home {
    QString root;
    QString storePath() const { return root + "/data/Orvane/Orvane.store"; }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root);
        env.insert("XDG_DATA_HOME", root + "/data");
        env.insert("XDG_CONFIG_HOME", root + "/config");
        env.insert("XDG_CACHE_HOME", root + "/cache");
        env.insert("XDG_RUNTIME_DIR", root + "/runtime");
        if (!env.contains("QT_QPA_PLATFORM"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
    bool make() const {
        for (const char* sub : {"/data/Orvane", "/config", "/cache", "/runtime"}) {
            if (!QDir().mkpath(root + sub))
                return false;
        }
        return QFile::setPermissions(root + "/runtime",
                                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
};

// A frame with texture and some noise, so its JPEG is the size of a real frame's (about 45 KB).
QByteArray framePicture(int seed) {
    QImage image(512, 288, QImage::Format_RGB32);
    QRandomGenerator noiseSource{quint32(seed)};
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(noiseSource.bounded(48));
            line[x] = qRgb((x * 3 + seed + noise) & 255, (y * 2 + noise) & 255, ((x ^ y) + seed * 5) & 255);
        }
    }
    return ImageCoding::jpegData(image, 0.7).value_or(QByteArray());
}

qint64 storedClips(const QString& path) {
    if (!QFileInfo::exists(path))
        return -1;
    qint64 count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "count");
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_OPEN_READONLY");
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec("SELECT count(*) FROM VideoMetadata") && query.next())
                count = query.value(0).toLongLong();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("count");
    return count;
}

// The collection: clips as the queue records them, both frames stored. Kept between runs.
bool fillStore(const QString& path, int records) {
    if (storedClips(path) == records)
        return true;
    for (const char* suffix : {"", "-wal", "-shm", ".pending.json"})
        QFile::remove(path + suffix);
    std::printf("Filling a store with %d clips, two frame pictures each...\n", records);
    std::fflush(stdout);
    const QByteArray first = framePicture(1);
    const QByteArray last = framePicture(2);
    std::printf("frame pictures of %lld and %lld bytes\n", static_cast<long long>(first.size()),
                static_cast<long long>(last.size()));
    auto store = ModelSchema::openStore(path);
    for (int i = 0; i < records; ++i) {
        auto video =
            VideoMetadata::make(QStringLiteral("Orvane_20260101_%1_a_cat_jumping.mp4").arg(i, 6, 10, QChar('0')),
                                QStringLiteral("A cat jumping over a fence at dusk, take %1").arg(i), "1080P", 6,
                                "start_end_video", true, QStringLiteral("2.3"), false);
        video->setFirstFrameImageData(first);
        video->setLastFrameImageData(last);
        store->insert(video);
        QString error;
        if ((i % 500 == 499 || i + 1 == records) && !store->save(&error)) {
            std::fprintf(stderr, "could not fill the store: %s\n", qPrintable(error));
            return false;
        }
    }
    store.reset();
    return storedClips(path) == records;
}

// The store's files: written out, then dropped from the page cache. Returns the share of the store's pages
// still resident afterwards (0 when all went), or -1 when it could not be measured.
double dropFromPageCache(const QString& storePath) {
    double resident = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const QByteArray name = QFile::encodeName(storePath + suffix);
        const int fd = ::open(name.constData(), O_RDONLY);
        if (fd < 0)
            continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        if (*suffix == '\0') {
            const off_t size = ::lseek(fd, 0, SEEK_END);
            const long pageSize = ::sysconf(_SC_PAGESIZE);
            void* map = size > 0 ? ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
            if (map == MAP_FAILED) {
                resident = size > 0 ? -1 : 0;
            } else {
                std::vector<unsigned char> pages(size_t((size + pageSize - 1) / pageSize));
                if (::mincore(map, size_t(size), pages.data()) == 0) {
                    const auto in = std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; });
                    resident = double(in) / double(pages.size());
                } else {
                    resident = -1;
                }
                ::munmap(map, size_t(size));
            }
        }
        ::close(fd);
    }
    return resident;
}

struct Start {
    double ms = -1;
    qint64 records = -1;
    int alerts = -1;
};

// Launches the program's start in `home` and times it until the root view is shown.
Start timeStart(const Home& home) {
    Start start;
    QProcess process;
    process.setProcessEnvironment(home.environment());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(QCoreApplication::applicationFilePath(), {"--start"});
    QByteArray out;
    while (!out.contains("shown\n")) {
        if (!process.waitForReadyRead(kStartTimeoutMs)) {
            std::fprintf(stderr, "the start gave no sign: %s\n", process.readAllStandardError().constData());
            process.kill();
            process.waitForFinished();
            return start;
        }
        out += process.readAllStandardOutput();
    }
    start.ms = double(timer.nsecsElapsed()) / 1e6;
    process.waitForFinished(kStartTimeoutMs);
    out += process.readAllStandardOutput();
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith("records "))
            start.records = line.mid(8).toLongLong();
    }
    start.alerts = 0;
    for (const QByteArray& line : process.readAllStandardError().split('\n')) {
        if (line.startsWith("alert: ")) {
            ++start.alerts;
            std::fprintf(stderr, "%s\n", line.constData());
        }
    }
    return start;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--start") == 0)
            return runStart(argc, argv);
    }
    QCoreApplication app(argc, argv);
    int records = 10000;
    int rounds = 9;
    QString folder = QDir::temp().filePath("orvane-bench-start-store");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--records")
            records = args[i + 1].toInt();
        else if (args[i] == "--rounds")
            rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--folder")
            folder = args[i + 1];
    }

    const Home full{folder + "/full"};
    const Home empty{folder + "/empty"};
    // The empty home starts afresh each run; the full one keeps its collection.
    QDir(empty.root).removeRecursively();
    if (!full.make() || !empty.make() || !fillStore(full.storePath(), records)) {
        std::fprintf(stderr, "could not prepare %s\n", qPrintable(folder));
        return 2;
    }
    std::printf("store with %d clips: %.0f MB in %s\n", records,
                double(QFileInfo(full.storePath()).size()) / (1024.0 * 1024.0), qPrintable(full.storePath()));
    std::fflush(stdout);

    // One start in each home first: the first start of a home seeds its presets and settings.
    const Start seedFull = timeStart(full);
    const Start seedEmpty = timeStart(empty);
    if (seedFull.ms < 0 || seedEmpty.ms < 0)
        return 2;

    bool alwaysDropped = true;
    bool alwaysShown = true;
    bool sawCollection = true;
    bool noAlert = true;
    const auto timed = [&](const Home& home, bool cold) {
        if (cold) {
            const double resident = dropFromPageCache(home.storePath());
            alwaysDropped = alwaysDropped && resident >= 0 && resident < 0.01;
        }
        const Start start = timeStart(home);
        const bool withCollection = &home == &full;
        alwaysShown = alwaysShown && start.ms > 0;
        sawCollection = sawCollection && start.records == (withCollection ? records : 0);
        noAlert = noAlert && start.alerts == 0;
        return start.ms;
    };
    // Paired rounds, alternating which start goes first, so both see the same machine; the median of the pairs'
    // ratios is the figure.
    struct Rounds {
        std::vector<double> full, empty, ratios;
    };
    const auto measure = [&](bool cold) {
        Rounds result;
        for (int round = 0; round < rounds; ++round) {
            const bool fullFirst = round % 2 == 0;
            const double first = timed(fullFirst ? full : empty, cold);
            const double second = timed(fullFirst ? empty : full, cold);
            const double withCollection = fullFirst ? first : second;
            const double without = fullFirst ? second : first;
            result.full.push_back(withCollection);
            result.empty.push_back(without);
            result.ratios.push_back(withCollection / without);
            std::printf("  %s round %d: %.0f ms with the collection, %.0f ms empty, ratio %.3f\n",
                        cold ? "cold" : "warm", round + 1, withCollection, without, withCollection / without);
            std::fflush(stdout);
        }
        return result;
    };
    const Rounds cold = measure(true);
    const Rounds warm = measure(false);
    std::printf("warm, for reference: %.0f ms with the collection, %.0f ms empty, ratio %.3f (medians)\n",
                median(warm.full), median(warm.empty), median(warm.ratios));

    BenchSupport::Verdict verdict("start_store");
    verdict.holds("every start showed the root view", alwaysShown);
    verdict.holds("the store's files left the page cache before each cold start", alwaysDropped);
    verdict.holds("every start listed the store's clips as they are", sawCollection);
    verdict.holds("no start alerted about the store", noAlert);
    verdict.atMostTimesPaired("cold start with the collection against an empty store", median(cold.full),
                              median(cold.empty), median(cold.ratios), kGoal);
    return verdict.exitCode();
}
