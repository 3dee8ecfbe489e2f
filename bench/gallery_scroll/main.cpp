// Scrolling through a gallery of 1,000 real clips with the pointer over the cards (hover previews start and stop
// as it rests and moves on) against the same scroll with the pointer on the scroll bar, in one run:
//   p95 gap between frames, pointer over the cards   vs the same with the pointer on the scroll bar   (<= 1.5x)
//   resident memory 10 s after the last preview      vs resident memory before the first such scroll  (<= 1.2x)
//                                                       (after a first preview loaded the media framework)
// The two kinds of scroll take turns stretch by stretch over the same part of the list, so that both meet the
// same load on a shared machine; each round goes through the whole list once, and the ratio is the median of
// the rounds'.
//
//   bench_gallery_scroll [--clips N] [--folder DIR] [--rounds R]

#include "../BenchSupport.h"
#include "GalleryClip.h"
#include "MediaPlayerPreviewBackend.h"
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

using BenchSupport::waitUntil;

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

// One stretch of going through a long gallery: a flick, single notches closer together than the hover delay (each
// card stays under the pointer about a third of a second), then a rest on the card under the pointer, long enough
// for its preview to start and play.
std::vector<FrameStep> stretch() {
    std::vector<FrameStep> steps;
    const auto turn = [&](int notches, int stillFrames) {
        steps.push_back({notches, true});
        for (int i = 0; i < stillFrames; ++i)
            steps.push_back({0, false});
    };
    for (int i = 0; i < 16; ++i)
        turn(10, 0);
    for (int i = 0; i < 8; ++i)
        turn(1, 4); // 80 ms apart
    for (int i = 0; i < 30; ++i)
        steps.push_back({0, false});
    return steps;
}

int notchesIn(const std::vector<FrameStep>& steps) {
    int notches = 0;
    for (const FrameStep& step : steps)
        notches += step.notches;
    return notches;
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

double longest(const std::vector<double>& gaps) {
    return gaps.empty() ? -1 : *std::max_element(gaps.begin(), gaps.end());
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
    QScrollBar* bar() const { return grid()->verticalScrollBar(); }
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
        QWidget* target = overCards ? static_cast<QWidget*>(grid()->viewport()) : bar();
        const QPoint local = overCards ? QPoint(target->width() / 4, target->height() / 2) : target->rect().center();
        return target->mapTo(view.get(), local);
    }
    // Puts the pointer at `at`, as the window system would after the hand moved it: the cursor position changes
    // and the pane gets the move (and the enter and leave events it causes).
    void movePointer(QPoint at) const { QCursor::setPos(view->mapToGlobal(at)); }
};

// The pointer goes to the scroll bar, any preview ends, and the list is put at `position`: the next stretch
// starts from the same state whichever kind it is.
bool settle(Pane& pane, int position) {
    pane.movePointer(pane.pointerIn(false));
    const bool stopped = waitUntil([] { return !MovementPlayer::shared().currentVideo(); }, 5000);
    pane.bar()->setValue(position);
    runFor(250);
    return stopped;
}

// Runs `steps` from where the list is, one frame every 16 ms (each painted at once), and adds the gaps between
// frames to `gaps`.
void runStretch(Pane& pane, const std::vector<FrameStep>& steps, bool overCards, std::vector<double>& gaps) {
    QWidget* wheelTarget = overCards ? static_cast<QWidget*>(pane.grid()->viewport()) : pane.bar();
    const QPoint pointer = pane.pointerIn(overCards);
    pane.movePointer(pointer);
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
        if (next >= steps.size()) {
            loop.quit();
            return;
        }
        const FrameStep step = steps[next++];
        if (step.notches > 0) {
            const QPoint local = wheelTarget->mapFrom(pane.view.get(), pointer);
            QWheelEvent wheel(QPointF(local), QPointF(wheelTarget->mapToGlobal(local)), QPoint(),
                              QPoint(0, -120 * step.notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(wheelTarget, &wheel);
        }
        if (step.handMoves) {
            jitter = !jitter;
            pane.movePointer(pointer + QPoint(jitter ? 1 : 0, 0));
        }
        pane.view->repaint();
    });
    clock.start();
    frames.start();
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const auto [count, folderPath] =
        BenchSupport::clipArgs(app.arguments(), 1000, QDir::temp().filePath("orvane-bench-gallery-scroll"));
    const int rounds = std::max(1, int(BenchSupport::numberArg(app.arguments(), "--rounds", 3)));
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
    const std::vector<FrameStep> steps = stretch();
    const int stretchPixels = notchesIn(steps) * 3 * pane.bar()->singleStep();
    const int stretches = pane.bar()->maximum() / stretchPixels + 1;
    std::printf("%d clips, %d px to scroll, %d stretches of %d frames a round\n", count, pane.bar()->maximum(),
                stretches, int(steps.size()));

    // Once through with the pointer on the scroll bar: every card has been made and every thumbnail read.
    std::vector<double> warmUp;
    for (int i = 0; i < stretches; ++i) {
        settle(pane, i * stretchPixels);
        runStretch(pane, steps, false, warmUp);
    }
    // Then one preview shown and stopped, so that "before" holds what the media framework keeps once loaded (its
    // libraries and registry, for the life of the process) and the goal weighs what previews keep.
    settle(pane, 0);
    runFor(500);
    const double unloaded = residentMB();
    pane.movePointer(pane.pointerIn(true));
    const bool firstPreview = waitUntil([] { return MovementPlayer::shared().isPlaying(); }, 20000);
    runFor(500);
    settle(pane, 0);
    runFor(int(MediaPlayerPreviewBackend::defaultReleaseAfter.count()) + 1000);
    const double before = residentMB();
    std::printf("the media framework loaded by a first preview keeps %.1f MB\n", before - unloaded);
    const int threadsBefore = threadCount();

    int previews = 0;
    const QMetaObject::Connection started =
        QObject::connect(&MovementPlayer::shared(), &MovementPlayer::currentVideoChanged, [&previews] {
            if (MovementPlayer::shared().currentVideo())
                ++previews;
        });
    bool settled = true;
    std::vector<double> ratios, cardsP95, barP95;
    for (int round = 0; round < rounds; ++round) {
        std::vector<double> cardsGaps, barGaps;
        for (int i = 0; i < stretches; ++i) {
            // Each kind goes first every other stretch.
            for (const bool overCards : {i % 2 == 0, i % 2 != 0}) {
                settled = settle(pane, i * stretchPixels) && settled;
                runStretch(pane, steps, overCards, overCards ? cardsGaps : barGaps);
            }
        }
        cardsP95.push_back(p95ByTime(cardsGaps));
        barP95.push_back(p95ByTime(barGaps));
        ratios.push_back(cardsP95.back() / barP95.back());
        std::printf("round %d: p95 frame gap %.1f ms over the cards (longest %.1f ms), %.1f ms on the scroll bar "
                    "(longest %.1f ms)\n",
                    round + 1, cardsP95.back(), longest(cardsGaps), barP95.back(), longest(barGaps));
        std::fflush(stdout);
    }
    QObject::disconnect(started);

    // The pointer leaves the cards; the last preview ends with its leave delay.
    settled = settle(pane, 0) && settled;
    runFor(10000);
    const double after = residentMB();
    std::printf("%d previews; threads: %d before the scroll, %d 10 s after the last preview\n", previews, threadsBefore,
                threadCount());

    BenchSupport::Verdict verdict("gallery_scroll");
    verdict.holds("a first preview played", firstPreview);
    verdict.holds("previews started while resting over the cards", previews >= rounds * stretches / 2);
    verdict.holds("every preview stopped when the pointer left the cards", settled);
    verdict.atMostTimesPaired("p95 frame gap, pointer over the cards vs on the scroll bar", median(cardsP95),
                              median(barP95), median(ratios), 1.5);
    verdict.atMostTimes("memory 10 s after the last preview vs before the scroll", after, before, 1.2, "MB");
    return verdict.exitCode();
}
