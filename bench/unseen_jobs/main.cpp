// Four running jobs in a window no one sees: how often the GUI thread wakes while the window is unmapped for 10 s
// (goal: at most once a second). The window holds what moves while jobs run: the video studio's scenes (slot
// dots, the generate button's and the queue block's spinners), the image studio's queue capsule and the gallery
// with the jobs' cards. It runs on the xcb platform of a virtual X server of its own, and is unmapped at the
// server behind the toolkit's back, as a window manager does when it is minimised or its workspace is left: no
// hide event comes, only the server's word that the window is no longer exposed.
//
// Wakeups are the main thread's voluntary context switches (it sleeps in the event loop between events); the
// timer events delivered in the same time are printed beside them. The jobs answer from the fake video service
// and their polling waits on a clock that stands still, so nothing else wakes the thread. The same window mapped
// is measured first: it must wake often, or the figure means nothing.
//
//   bench_unseen_jobs [--seconds S]

#include "../BenchSupport.h"
#include "FolderBookmark.h"
#include "QueueStatusIndicator.h"
#include "ScenesView.h"
#include "Spinner.h"
#include "VideoGalleryLogicView.h"
#include "VideoStudioTestSupport.h"
#include "VirtualDisplay.h"
#include "WorkspaceWidgets.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QHBoxLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <atomic>
#include <cstdio>

namespace {

constexpr int kJobs = 4;

// Counts the timer events delivered on the thread it lives on.
class TimerCounter final : public QObject {
public:
    std::atomic<qint64> count{0};

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer)
            ++count;
        return false;
    }
};

struct Reading {
    double wakeupsPerSecond = -1;
    double timersPerSecond = -1;
};

// The loop asleep for `seconds`: one timer ends it, and its own wakeup and event are taken off.
Reading measure(TimerCounter& timers, double seconds) {
    const qint64 switches = BenchSupport::threadWakeups();
    const qint64 events = timers.count;
    BenchSupport::standBy(int(seconds * 1000));
    const qint64 woke = BenchSupport::threadWakeups() - switches;
    return {std::max<qint64>(0, woke - 1) / seconds, std::max<qint64>(0, timers.count - events - 1) / seconds};
}

} // namespace

int main(int argc, char** argv) {
    VirtualDisplay display;
    if (!display.started()) {
        std::fprintf(stderr, "Xvfb did not start (is the xvfb package installed?)\n");
        return 1;
    }
    QApplication app(argc, argv);
    const double seconds = std::max(1.0, BenchSupport::numberArg(app.arguments(), "--seconds", 10));
    BenchSupport::Verdict verdict("unseen_jobs");

    // The gallery watches its folder and the folder above it: both of the benchmark's own, kept quiet.
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("Videos"));
    QDir().mkpath(folder);
    StudioWorld world;
    for (int i = 0; i < kJobs; ++i)
        world.fake.scripts << FakeMiniMaxService::TaskScript::processingForever();
    world.videoSettings->setVideoDirectoryBookmark(FolderBookmark::create(folder));
    world.gallery->setColumns(kJobs); // every job's card in view

    QWidget window;
    window.resize(1500, 900);
    auto* row = new QHBoxLayout(&window);
    auto* scenes = new ScenesView(world.env(), &window);
    auto* capsule = new QueueStatusIndicator(world.queue.get(), StudioRules::IndicatorTab::photo, &window);
    auto* gallery = new VideoGalleryLogicView(world.env(), &window);
    row->addWidget(scenes, 1);
    row->addWidget(capsule, 0, Qt::AlignTop);
    row->addWidget(gallery, 1);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }

    // The jobs start, their generation requests answered; the polling then sleeps on a clock that stands still.
    for (int i = 0; i < kJobs; ++i) {
        world.queue->addVideoTask(QStringLiteral("a lighthouse in a storm, take %1").arg(i + 1),
                                  solidFrame(QColor::fromHsv(i * 60, 200, 200), QSize(640, 360)), std::nullopt,
                                  VideoQuality::p768, VideoDuration::seconds6);
    }
    const bool running = BenchSupport::waitUntil(
        [&] {
            return world.fake.acceptedTasks() == kJobs && world.clock.pendingSleepers() >= kJobs &&
                   world.queue->activeVideoTasks().size() == kJobs;
        },
        30000);
    verdict.holds("four jobs running", running);
    BenchSupport::standBy(1000); // the cards and the capsule come in

    auto* dots = scenes->findChild<SlotDots*>("videoSlotDots");
    int spinning = 0;
    for (const Spinner* spinner : gallery->findChildren<Spinner*>(QStringLiteral("jobSpinner")))
        spinning += spinner->isSpinning();
    std::printf("  seen: slot dots %s, capsule %s, %d job cards spinning\n",
                dots && dots->isPulsing() ? "pulse" : "still", capsule->isAnimating() ? "moves" : "still", spinning);
    verdict.holds("the slot dots pulse, the capsule moves and the four job cards spin while seen",
                  dots && dots->isPulsing() && capsule->isAnimating() && spinning == kJobs);

    TimerCounter timers;
    app.installEventFilter(&timers);
    const Reading seen = measure(timers, std::min(seconds, 3.0));
    std::printf("  mapped: %.1f wakeups/s, %.1f timer events/s\n", seen.wakeupsPerSecond, seen.timersPerSecond);
    verdict.holds("the window seen wakes the thread for its frames (at least 10 a second)",
                  seen.wakeupsPerSecond >= 10);

    VirtualDisplay::setMapped(window.windowHandle(), false);
    const bool unmapped = BenchSupport::waitUntil([&] { return !window.windowHandle()->isExposed(); }, 5000);
    verdict.holds("the window is unmapped and still shown to the widgets", unmapped && window.isVisible());
    BenchSupport::standBy(200); // what was under way when it went
    const Reading unseen = measure(timers, seconds);
    std::printf("  unmapped: %.2f timer events/s\n", unseen.timersPerSecond);
    verdict.atMost("GUI-thread wakeups while unmapped", unseen.wakeupsPerSecond, 1, "per s");

    // Seen again, it moves again.
    VirtualDisplay::setMapped(window.windowHandle(), true);
    BenchSupport::waitUntil([&] { return window.windowHandle()->isExposed(); }, 5000);
    verdict.holds("mapped again, the slot dots pulse and the capsule moves",
                  dots && dots->isPulsing() && capsule->isAnimating());
    app.removeEventFilter(&timers);
    return verdict.exitCode();
}
