// Four running job cards on screen after the gallery's first screen: the process's CPU time (all threads) over
// 10 s while a gallery pane with four running jobs stands on screen, once its first screen has settled. The pane
// is a window shown on the X platform (a private Xvfb), so every spinner frame goes through the backing store to
// the X server as it does for a user. An idle gallery costs next to nothing there (it is measured too, for
// comparison), so the goal is absolute: the running cards cost at most 1 % of one core.
//
// The pane shows the gallery benchmark's folder of 1,000 clips (made by the ffmpeg tool and kept between runs),
// two columns, from a warm thumbnail cache, with four jobs of the queue, each with a full-size first frame,
// running at the fake MiniMax service. The queue's polling waits on a clock that stands still while the pane is
// measured, so what costs is the cards.
//
//   bench_gallery_jobs [--clips N] [--folder DIR] [--seconds S] [--rounds R]

#include "../BenchSupport.h"
#include "APIManager.h"
#include "AppEnvironment.h"
#include "ClipMetadataLoader.h"
#include "FakeMiniMaxService.h"
#include "FolderBookmark.h"
#include "GalleryClip.h"
#include "QueueManager.h"
#include "Spinner.h"
#include "TestSupport.h"
#include "VideoGalleryGrid.h"
#include "VideoGalleryLogicView.h"
#include "VideoGalleryViewModel.h"
#include "VideoItemLogicView.h"
#include "VideoSettings.h"
#include "VirtualClock.h"
#include "VirtualDisplay.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {

using BenchSupport::processCpuSeconds;
using BenchSupport::standBy;

using BenchSupport::median;

constexpr QSize kPane(900, 820);
constexpr int kJobs = 4;
constexpr QSize kFirstFrame(2560, 1440);
// The first screen is there well within this.
constexpr double kFirstScreenSeconds = 10;
// After the first screen, before the measured seconds: the read-ahead of the cards just out of view.
constexpr int kSettleMs = 1500;
// The goal: the share of one core the pane costs while it stands.
constexpr double kGoalPercentOfCore = 1.0;

QString clipName(int i) {
    return QStringLiteral("Orvane_20250101_%1_clip.mp4").arg(i, 6, 10, QChar('0'));
}

using BenchSupport::waitUntil;

// A photograph-like picture: gradients with noise.
QImage photograph(QSize size, int seed) {
    QImage image(size, QImage::Format_RGB32);
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 27);
            line[x] = qRgb((x * 255 / size.width() + noise + seed * 40) & 255, (y * 255 / size.height() + noise) & 255,
                           ((x + y) * 128 / (size.width() + size.height()) + noise * 2) & 255);
        }
    }
    return image;
}

// Counts the paints of the widgets it watches.
class PaintCounter final : public QObject {
public:
    void watch(QObject* object) { object->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// One gallery pane, two columns, over its own gallery model of the folder; with the queue's jobs when given one.
struct Pane {
    VideoGalleryViewModel gallery;
    std::unique_ptr<VideoGalleryLogicView> view;

    Pane(VideoSettings* settings, QueueManager* queue) {
        gallery.setColumns(2);
        gallery.setPreferredGridMode(VideoGalleryViewModel::GridMode::comfortable);
        AppEnvironment env;
        env.galleryViewModel = &gallery;
        env.videoSettings = settings;
        env.queueManager = queue;
        view = std::make_unique<VideoGalleryLogicView>(env);
        view->resize(kPane);
    }
    // The clip cards still without their picture.
    int cardsWithoutPicture() const {
        const auto cards = view->grid()->cards();
        return int(std::count_if(cards.begin(), cards.end(), [](const VideoItemLogicView* card) {
            return !card->isPlaceholder() && !(card->clip() && !card->clip()->thumbnail().isNull());
        }));
    }
    // There are cards, and every clip card has its picture.
    bool settled() const { return !view->grid()->cards().isEmpty() && cardsWithoutPicture() == 0; }
    // The spinners of the running jobs' cards wholly in view.
    QList<Spinner*> runningSpinnersInView() const {
        QList<Spinner*> spinners;
        const QRect shown = view->grid()->viewport()->rect();
        for (const VideoItemLogicView* card : view->grid()->cards()) {
            auto* spinner = card->findChild<Spinner*>(QStringLiteral("jobSpinner"));
            if (card->isPlaceholder() && card->statusText() == QLatin1String("Generating...") && spinner &&
                spinner->isSpinning() && shown.contains(card->geometry()))
                spinners << spinner;
        }
        return spinners;
    }
};

// What one pane costs standing on screen once its first screen has settled.
struct Session {
    bool settled = false;  // the first screen came in time, with every job running in view, in an exposed window
    QString unsettled;     // what was missing when it did not
    double cpuMs = 0;      // process CPU time (all threads) over the measured seconds
    int spinnerPaints = 0; // of the running cards' spinners
    int cardPaints = 0;    // of the running jobs' cards themselves
};

Session standing(VideoSettings* settings, QueueManager* queue, double seconds) {
    Session session;
    PaintCounter spinnerPaints;
    PaintCounter cardPaints;
    {
        Pane pane(settings, queue);
        pane.view->show();
        const int jobs = queue ? kJobs : 0;
        const auto firstScreen = [&] {
            QWindow* window = pane.view->windowHandle();
            return window && window->isExposed() && pane.settled() && pane.runningSpinnersInView().size() == jobs;
        };
        // The cards just out of view are read a moment after those in view; their pictures and cache writes are
        // part of the first screen too.
        session.settled = waitUntil(firstScreen, int(kFirstScreenSeconds * 1000));
        standBy(kSettleMs);
        ClipMetadataLoader::waitForCacheWrites();
        session.settled = session.settled && firstScreen();
        if (!session.settled) {
            int unread = 0;
            for (const VideoItemLogicView* card : pane.view->grid()->cards())
                unread += !card->isPlaceholder() && card->clip() &&
                          card->clip()->metadataState() == GalleryClip::MetadataState::notLoaded;
            session.unsettled = QStringLiteral("window %1, %2 cards, %3 without their picture (%4 never asked for), "
                                               "%5 running jobs in view")
                                    .arg(pane.view->windowHandle() && pane.view->windowHandle()->isExposed()
                                             ? QStringLiteral("exposed")
                                             : QStringLiteral("not exposed"))
                                    .arg(pane.view->grid()->cards().size())
                                    .arg(pane.cardsWithoutPicture())
                                    .arg(unread)
                                    .arg(pane.runningSpinnersInView().size());
        }
        for (Spinner* spinner : pane.runningSpinnersInView()) {
            spinnerPaints.watch(spinner);
            cardPaints.watch(spinner->parentWidget());
        }
        // The loop sleeps between events: nothing of the benchmark runs while the pane stands.
        const double start = processCpuSeconds();
        standBy(int(seconds * 1000));
        session.cpuMs = (processCpuSeconds() - start) * 1e3;
        session.spinnerPaints = spinnerPaints.count;
        session.cardPaints = cardPaints.count;
    }
    QCoreApplication::processEvents();
    return session;
}

} // namespace

int main(int argc, char** argv) {
    // A private X server, before the application connects to a display: the spinners' frames go through the X
    // platform's backing store to a real window, as they do for a user.
    VirtualDisplay display;
    QApplication app(argc, argv);
    BenchSupport::Verdict verdict("gallery_jobs");
    if (!verdict.holds("a private X server started (Xvfb)", display.started() && app.platformName() == "xcb"))
        return verdict.exitCode();
    TestEnvironment environment;
    QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome.path()));

    const auto [count, folderPath] =
        BenchSupport::clipArgs(app.arguments(), 1000, QDir::temp().filePath("orvane-bench-gallery-720p"));
    const double seconds = std::max(1.0, BenchSupport::numberArg(app.arguments(), "--seconds", 10));
    const int rounds = std::max(1, int(BenchSupport::numberArg(app.arguments(), "--rounds", 3)));
    QDir folder(folderPath);
    if (!QDir().mkpath(folderPath) ||
        BenchSupport::makeClips(folder, count, QThread::idealThreadCount(), {"1280x720", 10, 1}, clipName) < 0) {
        std::fprintf(stderr, "could not make the clips (is the ffmpeg command-line tool installed?)\n");
        return 1;
    }

    // Four clients, each running one job that stays at "Processing".
    FakeMiniMaxService service;
    service.acceptedKeys = {"key-1", "key-2", "key-3", "key-4"};
    for (int i = 0; i < kJobs; ++i)
        service.scripts << FakeMiniMaxService::TaskScript::processingForever();
    service.install();
    APIManager& keys = APIManager::shared();
    keys.setMiniMaxAPIKey("key-1");
    keys.setMiniMaxAPIKey2("key-2");
    keys.setMiniMaxAPIKey3("key-3");
    keys.setMiniMaxAPIKey4("key-4");

    // The gallery follows its folder's parent for renames: the clips are reached through a link in a parent of
    // their own, so files that other programs write to the shared temporary folder do not wake it.
    QTemporaryDir quietParent;
    const QString clipsLink = quietParent.filePath("clips");
    if (!QFile::link(QDir(folderPath).absolutePath(), clipsLink)) {
        std::fprintf(stderr, "could not link the clips' folder\n");
        return 1;
    }
    VideoSettings settings;
    settings.setVideoDirectoryBookmark(FolderBookmark::create(clipsLink));
    QueueManager queue;
    {
        // The clips' thumbnails are made once, before anything is measured: the panes open warm.
        Pane warm(&settings, nullptr);
        warm.view->show();
        // The cards just out of view are read a moment after those in view: their pictures are made too.
        const bool shown = waitUntil([&] { return warm.settled(); });
        standBy(500);
        if (!shown || !waitUntil([&] { return warm.settled(); })) {
            std::fprintf(stderr, "the gallery's first screen did not come\n");
            return 1;
        }
    }
    ClipMetadataLoader::waitForCacheWrites();
    // The jobs start, their generation requests answered; the polling then sleeps on a clock that stands still.
    VirtualClock still;
    still.install();
    for (int i = 0; i < kJobs; ++i) {
        queue.addVideoTask(QStringLiteral("a lighthouse in a storm, take %1").arg(i + 1), photograph(kFirstFrame, i),
                           std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
    }
    const bool running = waitUntil([&] {
        return service.acceptedTasks() == kJobs && still.pendingSleepers() >= kJobs &&
               queue.activeVideoTasks().size() == kJobs;
    });

    // Share of one core, in percent, of `cpuMs` over the measured seconds.
    const auto share = [seconds](double cpuMs) { return cpuMs / (seconds * 1000) * 100; };
    QList<double> idleShares, jobsShares;
    bool settled = running;
    int spinnerPaints = 0;
    int cardPaints = 0;
    for (int round = 0; round < rounds && running; ++round) {
        const Session idle = standing(&settings, nullptr, seconds);
        const Session jobs = standing(&settings, &queue, seconds);
        settled = settled && idle.settled && jobs.settled;
        for (const Session* pane : {&idle, &jobs}) {
            if (!pane->settled)
                std::printf("round %d: the pane %s did not settle: %s\n", round + 1,
                            pane == &idle ? "with no job" : "with four jobs", qPrintable(pane->unsettled));
        }
        spinnerPaints += jobs.spinnerPaints;
        cardPaints += jobs.cardPaints;
        idleShares << share(idle.cpuMs);
        jobsShares << share(jobs.cpuMs);
        std::printf("round %d: CPU over %.0f s on screen after the first screen: no job %.1f ms (%.2f %% of a core), "
                    "four running jobs %.1f ms (%.2f %%); %d spinner paints, %d paints of their cards\n",
                    round + 1, seconds, idle.cpuMs, idleShares.last(), jobs.cpuMs, jobsShares.last(),
                    jobs.spinnerPaints, jobs.cardPaints);
    }
    Spinner probe({SpinnerLook::Style::spokes}, Spinner::standardDiameter);
    const int frames = int(rounds * seconds * 1000 / probe.frameInterval()) * kJobs;

    std::printf("gallery of %d clips (1280x720), window %dx%d on X (%s), two columns; %d jobs with %dx%d first "
                "frames; %d rounds of %.0f s; %d spinner paints of %d frames\n",
                count, kPane.width(), kPane.height(), qPrintable(app.platformName()), kJobs, kFirstFrame.width(),
                kFirstFrame.height(), rounds, seconds, spinnerPaints, frames);
    std::printf("the same gallery with no job (median): %.2f %% of one core\n", median(idleShares));
    verdict.holds("four jobs running, every first screen settled with the running cards in view", settled);
    // Painting for real: the spinners' frames reached the window.
    verdict.holds("the running cards' spinners painted their frames", running && spinnerPaints >= frames * 3 / 4);
    verdict.atMost("CPU of four running job cards on screen after the first screen (median), share of one core",
                   median(jobsShares), kGoalPercentOfCore, "%");
    return verdict.exitCode();
}
