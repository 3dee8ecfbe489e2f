// Four running jobs in the gallery against the same gallery with no job, in the same run: the process's CPU time
// (all threads) while a gallery pane is on screen for 10 s, from its creation through its first screen to the
// end of the 10 s (goal: the pane with four running job cards at most 2x the pane with none).
//
// Both panes show the same folder of clips (the gallery benchmark's 1,000, made by the ffmpeg tool and kept
// between runs), two columns, from a warm thumbnail cache; the jobs' pane also has four jobs of the queue, each
// with a full-size first frame, running at the fake MiniMax service. The queue's polling waits on a clock that
// stands still while the panes are measured, so both have the same background and what differs is the job cards.
// The cost after the first screen is printed too: an idle gallery costs next to nothing there, and the spinners'
// frames are what the running cards add.
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

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

namespace {

using BenchSupport::median;

constexpr QSize kPane(900, 820);
constexpr int kJobs = 4;
constexpr QSize kFirstFrame(2560, 1440);
// The first screen is there well within this; what follows is the pane standing on screen.
constexpr double kFirstScreenSeconds = 2;

double processCpuSeconds() {
    timespec spent{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &spent);
    return double(spent.tv_sec) + double(spent.tv_nsec) / 1e9;
}

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

// What one pane costs on screen.
struct Session {
    double totalMs = 0;    // from its creation to the end
    double standingMs = 0; // after the first screen
    bool settled = false;  // the first screen was there in time, with every job running in view
    QString unsettled;     // what was missing when it was not
    int spinnerPaints = 0; // while standing
};

Session onScreen(VideoSettings* settings, QueueManager* queue, double seconds) {
    Session session;
    PaintCounter paints;
    const double start = processCpuSeconds();
    double standing = start;
    {
        Pane pane(settings, queue);
        pane.view->show();
        // The loop sleeps between events: nothing of the benchmark runs while the pane works.
        QEventLoop loop;
        QTimer::singleShot(int(kFirstScreenSeconds * 1000), &loop, [&] {
            standing = processCpuSeconds();
            const QList<Spinner*> spinners = pane.runningSpinnersInView();
            session.settled = pane.settled() && spinners.size() == (queue ? kJobs : 0);
            if (!session.settled) {
                session.unsettled = QStringLiteral("%1 cards, %2 without their picture, %3 running jobs in view")
                                        .arg(pane.view->grid()->cards().size())
                                        .arg(pane.cardsWithoutPicture())
                                        .arg(spinners.size());
                // Whether those were read at all, or are still being read.
                int unread = 0;
                for (const VideoItemLogicView* card : pane.view->grid()->cards())
                    unread += !card->isPlaceholder() && card->clip() &&
                              card->clip()->metadataState() == GalleryClip::MetadataState::notLoaded;
                session.unsettled += QStringLiteral(" (%1 never asked for)").arg(unread);
            }
            for (Spinner* spinner : spinners)
                paints.watch(spinner);
        });
        QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
        loop.exec();
        const double end = processCpuSeconds();
        session.totalMs = (end - start) * 1e3;
        session.standingMs = (end - standing) * 1e3;
        session.spinnerPaints = paints.count;
    }
    QCoreApplication::processEvents();
    return session;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestEnvironment environment;
    QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome.path()));

    const auto [count, folderPath] =
        BenchSupport::clipArgs(app.arguments(), 1000, QDir::temp().filePath("orvane-bench-gallery-720p"));
    const double seconds = std::max(kFirstScreenSeconds + 1, BenchSupport::numberArg(app.arguments(), "--seconds", 10));
    const int rounds = std::max(1, int(BenchSupport::numberArg(app.arguments(), "--rounds", 7)));
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

    VideoSettings settings;
    settings.setVideoDirectoryBookmark(FolderBookmark::create(folderPath));
    QueueManager queue;
    {
        // The clips' thumbnails are made once, before anything is measured: the panes open warm.
        Pane warm(&settings, nullptr);
        warm.view->show();
        // The cards just out of view are read a moment after those in view: their pictures are made too.
        const bool shown = waitUntil([&] { return warm.settled(); });
        QEventLoop moment;
        QTimer::singleShot(500, &moment, &QEventLoop::quit);
        moment.exec();
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

    QList<double> idleTotal, jobsTotal, ratios, idleStanding, jobsStanding;
    bool settled = running;
    int spinnerPaints = 0;
    for (int round = 0; round < rounds && running; ++round) {
        const Session idle = onScreen(&settings, nullptr, seconds);
        const Session jobs = onScreen(&settings, &queue, seconds);
        settled = settled && idle.settled && jobs.settled;
        for (const Session* pane : {&idle, &jobs}) {
            if (!pane->settled)
                std::printf("round %d: the pane %s at 2 s: %s\n", round + 1,
                            pane == &idle ? "with no job" : "with four jobs", qPrintable(pane->unsettled));
        }
        spinnerPaints += jobs.spinnerPaints;
        idleTotal << idle.totalMs;
        jobsTotal << jobs.totalMs;
        ratios << (idle.totalMs > 0 ? jobs.totalMs / idle.totalMs : NAN);
        idleStanding << idle.standingMs;
        jobsStanding << jobs.standingMs;
        std::printf("round %d: CPU of %.0f s on screen: no job %.1f ms, four running jobs %.1f ms, ratio %.2f; after "
                    "the first screen %.1f ms and %.1f ms\n",
                    round + 1, seconds, idle.totalMs, jobs.totalMs, ratios.last(), idle.standingMs, jobs.standingMs);
    }
    Spinner probe({SpinnerLook::Style::spokes}, Spinner::standardDiameter);
    const int frames = int(rounds * (seconds - kFirstScreenSeconds) * 1000 / probe.frameInterval()) * kJobs;

    std::printf("gallery of %d clips (1280x720), pane %dx%d, two columns; %d jobs with %dx%d first frames; %d rounds "
                "of %.0f s; %d spinner paints after the first screen, of %d frames\n",
                count, kPane.width(), kPane.height(), kJobs, kFirstFrame.width(), kFirstFrame.height(), rounds, seconds,
                spinnerPaints, frames);
    std::printf("after the first screen (median): no job %.1f ms, four running jobs %.1f ms in %.0f s\n",
                median(idleStanding), median(jobsStanding), seconds - kFirstScreenSeconds);
    BenchSupport::Verdict verdict("gallery_jobs");
    verdict.holds("four jobs running, every first screen shown within 2 s", settled);
    // Painting for real: the spinners' frames reached the screen.
    verdict.holds("the running cards' spinners painted their frames", running && spinnerPaints >= frames * 3 / 4);
    verdict.atMostTimesPaired("CPU of a pane on screen with four running jobs, against the same gallery with no job",
                              median(jobsTotal), median(idleTotal), median(ratios), 2.0);
    return verdict.exitCode();
}
