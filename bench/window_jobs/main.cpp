// Four running jobs in the whole window: the process's CPU time (all threads) over 10 s while the main window
// stands on screen with four clips being made, once in the video studio (the gallery's job cards, the slot dots,
// the queue block) and once in the image studio (the header's queue capsule). The window is the application's
// own, built as a start builds it, on the xcb platform of a private X server, so every frame goes through the
// backing store to the X server as it does for a user. The same window with no job is measured first as the
// reference; the goal is absolute: the whole window with four running jobs costs at most 1 % of one core.
//
//   bench_window_jobs [--seconds S] [--rounds R]

#include "../BenchSupport.h"
#include "APIManager.h"
#include "FakeMiniMaxService.h"
#include "FolderBookmark.h"
#include "MainAppView.h"
#include "OrvaneApp.h"
#include "QueueManager.h"
#include "StudioStack.h"
#include "TestSupport.h"
#include "VideoSettings.h"
#include "VirtualClock.h"
#include "VirtualDisplay.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QTest>
#include <QWindow>

#include <cstdio>

namespace {

using BenchSupport::processCpuSeconds;
using BenchSupport::standBy;

constexpr int kJobs = 4;
constexpr double kGoalPercentOfCore = 1.0;

struct Reading {
    double percentOfCore = -1;
    double wakeupsPerSecond = -1;
};

Reading standing(double seconds) {
    const qint64 woke = BenchSupport::threadWakeups();
    const double start = processCpuSeconds();
    standBy(int(seconds * 1000));
    return {(processCpuSeconds() - start) / seconds * 100, double(BenchSupport::threadWakeups() - woke - 1) / seconds};
}

QImage frame(int i) {
    QImage image(1280, 720, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(i * 60, 200, 200));
    return image;
}

} // namespace

int main(int argc, char** argv) {
    VirtualDisplay display;
    QApplication app(argc, argv);
    BenchSupport::Verdict verdict("window_jobs");
    if (!verdict.holds("a private X server started (Xvfb)", display.started() && app.platformName() == "xcb"))
        return verdict.exitCode();
    const double seconds = std::max(1.0, BenchSupport::numberArg(app.arguments(), "--seconds", 10));
    const int rounds = std::max(1, int(BenchSupport::numberArg(app.arguments(), "--rounds", 3)));

    TestEnvironment environment;
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
    // The queue's polling sleeps on a clock that stands still: what costs while the window stands is the window.
    VirtualClock still;
    still.install();

    OrvaneApp orvane;
    const QString videos = environment.path("Videos");
    QDir().mkpath(videos);
    orvane.videoSettings().setVideoDirectoryBookmark(FolderBookmark::create(videos));
    QMainWindow* window = orvane.showMainWindow();
    window->resize(1600, 1000);
    const bool shown = QTest::qWaitForWindowExposed(window) && BenchSupport::waitUntil([&] {
                           MainAppView* root = orvane.rootView();
                           return root && root->hasInitializedManagers() && root->screensStack() &&
                                  root->screensStack()->currentStudio();
                       });
    if (!verdict.holds("the main window came up", shown))
        return verdict.exitCode();
    StudioStack* studios = orvane.rootView()->screensStack();

    const auto show = [&](QWidget* studio) {
        studios->showStudio(studio, false);
        standBy(1500); // what comes in with the studio settles
    };
    QList<double> idle[2], busy[2], idleWakeups[2], busyWakeups[2];
    QWidget* studioOf[2] = {studios->videoStudio(), studios->imageStudio()};
    for (int round = 0; round < rounds; ++round) {
        for (int s = 0; s < 2; ++s) {
            show(studioOf[s]);
            const Reading reading = standing(seconds);
            idle[s] << reading.percentOfCore;
            idleWakeups[s] << reading.wakeupsPerSecond;
        }
    }

    for (int i = 0; i < kJobs; ++i) {
        orvane.queueManager().addVideoTask(QStringLiteral("a lighthouse in a storm, take %1").arg(i + 1), frame(i),
                                           std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
    }
    const bool running = BenchSupport::waitUntil(
        [&] { return service.acceptedTasks() == kJobs && orvane.queueManager().activeVideoTasks().size() == kJobs; },
        30000);
    verdict.holds("four jobs running", running);
    for (int round = 0; round < rounds && running; ++round) {
        for (int s = 0; s < 2; ++s) {
            show(studioOf[s]);
            const Reading reading = standing(seconds);
            busy[s] << reading.percentOfCore;
            busyWakeups[s] << reading.wakeupsPerSecond;
            std::printf("round %d, %s studio: no job %.2f %% of a core (%.0f wakeups/s), four jobs %.2f %% "
                        "(%.0f wakeups/s)\n",
                        round + 1, s == 0 ? "video" : "image", idle[s][round], idleWakeups[s][round],
                        reading.percentOfCore, reading.wakeupsPerSecond);
        }
    }
    std::printf("main window 1600x1000 on X (%s), %d jobs, %d rounds of %.0f s\n", qPrintable(app.platformName()),
                kJobs, rounds, seconds);
    using BenchSupport::median;
    verdict.atMost("CPU of the whole window, video studio, four running jobs (median), share of one core",
                   running ? median(busy[0]) : -1, kGoalPercentOfCore, "%");
    verdict.atMost("CPU of the whole window, image studio, four running jobs (median), share of one core",
                   running ? median(busy[1]) : -1, kGoalPercentOfCore, "%");
    std::printf("reference, the same window with no job (median): video studio %.2f %%, image studio %.2f %%\n",
                median(idle[0]), median(idle[1]));
    return verdict.exitCode();
}
