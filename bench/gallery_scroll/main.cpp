// Scrolling a gallery of 1,000 real clips with the pointer resting over the cards (hover previews start and
// stop as it rests and moves on) against the same scroll with the pointer on the scroll bar, in one run:
//   p95 gap between frames, pointer over the cards   vs the same with the pointer on the scroll bar   (<= 1.5x)
//   resident memory 10 s after the last preview      vs resident memory before the first such scroll  (<= 1.2x)
//
//   bench_gallery_scroll [--clips N] [--folder DIR] [--rounds R]

#include "../BenchSupport.h"
#include "GalleryClip.h"
#include "MovementPlayer.h"
#include "VideoGalleryGrid.h"
#include "VideoGalleryLogicView.h"
#include "VideoGalleryViewModel.h"
#include "VideoItemLogicView.h"

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
#include <vector>

namespace {

using BenchSupport::median;

constexpr int kFrameMs = 16;
constexpr QSize kPane(900, 820);

QString clipName(int i) {
    return QStringLiteral("Orvane_20250101_%1_clip.mp4").arg(i, 6, 10, QChar('0'));
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

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

// One frame of the scroll: how many wheel notches it turns, and whether the hand moves the pointer meanwhile.
struct FrameStep {
    int notches = 0;
    bool handMoves = false;
};

// How a person goes through a long gallery: a flick, a stretch of single notches closer together than the hover
// delay (each card stays under the pointer about a third of a second), then a rest on the card under the pointer,
// long enough for its preview to start and play.
std::vector<FrameStep> scrollScript(int notchesToEnd) {
    std::vector<FrameStep> steps;
    int turned = 0;
    const auto turn = [&](int notches, int stillFrames) {
        steps.push_back({notches, true});
        turned += notches;
        for (int i = 0; i < stillFrames; ++i)
            steps.push_back({0, false});
    };
    while (turned < notchesToEnd) {
        for (int i = 0; i < 10; ++i)
            turn(10, 0);
        for (int i = 0; i < 8; ++i)
            turn(1, 4); // 80 ms apart
        for (int i = 0; i < 30; ++i)
            steps.push_back({0, false});
    }
    return steps;
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
        QWidget* target = overCards ? static_cast<QWidget*>(grid()->viewport()) : grid()->verticalScrollBar();
        const QPoint local = overCards ? QPoint(target->width() / 4, target->height() / 2) : target->rect().center();
        return target->mapTo(view.get(), local);
    }
};

// Puts the pointer at `at` in the pane, as the window system would after the hand moved it: the cursor position
// changes and the pane gets the move (and the enter and leave events it causes).
void movePointer(const Pane& pane, QPoint at) {
    QCursor::setPos(pane.view->mapToGlobal(at));
}

struct PassResult {
    double p95Ms = -1;
    double longestMs = -1;
    int previewsStarted = 0;
};

// Scrolls the whole gallery from the top by `script`, one frame every 16 ms (each painted at once), and measures
// the gaps between frames.
PassResult scrollPass(Pane& pane, const std::vector<FrameStep>& script, bool overCards) {
    QWidget* wheelTarget =
        overCards ? static_cast<QWidget*>(pane.grid()->viewport()) : pane.grid()->verticalScrollBar();
    const QPoint pointer = pane.pointerIn(overCards);
    pane.grid()->verticalScrollBar()->setValue(0);
    movePointer(pane, pointer);
    runFor(400);

    PassResult result;
    const auto countStart = [&result] {
        if (MovementPlayer::shared().currentVideo())
            ++result.previewsStarted;
    };
    const QMetaObject::Connection started =
        QObject::connect(&MovementPlayer::shared(), &MovementPlayer::currentVideoChanged, countStart);

    std::vector<double> gaps;
    gaps.reserve(script.size());
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
        if (next >= script.size()) {
            loop.quit();
            return;
        }
        const FrameStep step = script[next++];
        if (step.notches > 0) {
            const QPoint local = wheelTarget->mapFrom(pane.view.get(), pointer);
            QWheelEvent wheel(QPointF(local), QPointF(wheelTarget->mapToGlobal(local)), QPoint(),
                              QPoint(0, -120 * step.notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(wheelTarget, &wheel);
        }
        if (step.handMoves) {
            jitter = !jitter;
            movePointer(pane, pointer + QPoint(jitter ? 1 : 0, 0));
        }
        pane.view->repaint();
    });
    clock.start();
    frames.start();
    loop.exec();
    frames.stop();
    QObject::disconnect(started);

    if (!gaps.empty()) {
        result.p95Ms = p95ByTime(gaps);
        result.longestMs = *std::max_element(gaps.begin(), gaps.end());
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const auto [count, folderPath] =
        BenchSupport::clipArgs(app.arguments(), 1000, QDir::temp().filePath("orvane-bench-gallery-scroll"));
    int rounds = 3;
    for (int i = 1; i + 1 < app.arguments().size(); ++i) {
        if (app.arguments()[i] == "--rounds")
            rounds = std::max(1, app.arguments()[i + 1].toInt());
    }
    // A private thumbnail cache, so the user's own is neither used nor filled.
    QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome.path()));

    QDir folder(folderPath);
    // One-second clips of the service's picture size, made once and kept between runs.
    if (!QDir().mkpath(folderPath) ||
        BenchSupport::makeClips(folder, count, std::max(1, QThread::idealThreadCount() - 2), {"1280x720", 25, 1},
                                clipName) < 0) {
        std::fprintf(stderr, "could not make the clips (is the ffmpeg command-line tool installed?)\n");
        return 1;
    }

    Pane pane;
    pane.gallery.startMonitoring(folderPath);
    if (!waitUntil([&] { return pane.firstScreenShown() && pane.gallery.count() == count; }, 120000)) {
        std::fprintf(stderr, "the gallery did not show its first screen\n");
        return 1;
    }
    QScrollBar* bar = pane.grid()->verticalScrollBar();
    const int notchesToEnd = bar->maximum() / (3 * bar->singleStep()) + 1;
    const std::vector<FrameStep> script = scrollScript(notchesToEnd);
    std::printf("%d clips, %d px to scroll, %d frames a pass\n", count, bar->maximum(), int(script.size()));

    // Once through with the pointer on the scroll bar: every card has been made and every thumbnail read.
    scrollPass(pane, script, false);
    runFor(500);

    std::vector<double> ratios, cardsP95, barP95;
    double before = -1;
    int threadsBefore = 0;
    int previews = 0;
    for (int round = 0; round < rounds; ++round) {
        const PassResult reference = scrollPass(pane, script, false);
        if (round == 0) {
            runFor(500);
            before = residentMB();
            threadsBefore = threadCount();
        }
        const PassResult measured = scrollPass(pane, script, true);
        previews += measured.previewsStarted;
        ratios.push_back(measured.p95Ms / reference.p95Ms);
        cardsP95.push_back(measured.p95Ms);
        barP95.push_back(reference.p95Ms);
        std::printf("round %d: p95 frame gap %.1f ms over the cards (longest %.1f ms, %d previews), %.1f ms on the "
                    "scroll bar (longest %.1f ms)\n",
                    round + 1, measured.p95Ms, measured.longestMs, measured.previewsStarted, reference.p95Ms,
                    reference.longestMs);
        std::fflush(stdout);
    }

    // The pointer leaves the cards; the last preview ends with its leave delay.
    movePointer(pane, pane.pointerIn(false));
    const bool stopped = waitUntil([] { return !MovementPlayer::shared().currentVideo(); }, 5000);
    runFor(10000);
    const double after = residentMB();
    std::printf("threads: %d before the scroll, %d 10 s after the last preview\n", threadsBefore, threadCount());

    BenchSupport::Verdict verdict("gallery_scroll");
    verdict.holds("previews started while resting over the cards", previews > 0);
    verdict.holds("the last preview stopped when the pointer left", stopped);
    verdict.atMostTimesPaired("p95 frame gap, pointer over the cards vs on the scroll bar", median(cardsP95),
                              median(barP95), median(ratios), 1.5);
    verdict.atMostTimes("memory 10 s after the last preview vs before the scroll", after, before, 1.2, "MB");
    return verdict.exitCode();
}
