// The gallery on 1,000 small H.264 clips against MediaProbe alone, in the same run:
//   first screen with thumbnails, cold cache      vs MediaProbe for those clips' thumbnails   (<= 2x)
//   first screen, warm cache                       vs the cold first screen                    (>= 10x faster)
//   whole folder listed, sorted, with metadata     vs MediaProbe for all clips                 (<= 1.3x)
//   peak memory with the gallery open                                                          (< 250 MB)
//   a clip renamed into the folder until its card has its thumbnail                            (<= 500 ms)
//
//   bench_gallery [--clips N] [--folder DIR]

#include "../BenchSupport.h"
#include "ClipMetadataLoader.h"
#include "GalleryClip.h"
#include "MediaProbe.h"
#include "ThumbnailCache.h"
#include "VideoGalleryGrid.h"
#include "VideoGalleryLogicView.h"
#include "VideoGalleryViewModel.h"
#include "VideoItemLogicView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

using BenchSupport::median;

long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

long currentMegabytes() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    }
    return -1;
}

QString clipName(int i) {
    return QStringLiteral("Orvane_20250101_%1_clip.mp4").arg(i, 6, 10, QChar('0'));
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs = 120000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

bool loaded(const VideoGalleryViewModel& gallery, int rows) {
    const auto& videos = gallery.videos();
    if (videos.size() < rows)
        return false;
    for (int i = 0; i < rows; ++i) {
        if (videos[i]->metadataState() != GalleryClip::MetadataState::loaded)
            return false;
    }
    return true;
}

constexpr QSize kPane(900, 820);

// The gallery pane as the studio shows it, two columns, on screen (offscreen).
struct OpenPane {
    VideoGalleryViewModel gallery;
    std::unique_ptr<VideoGalleryLogicView> view;
    OpenPane() {
        gallery.setColumns(2);
        gallery.setPreferredGridMode(VideoGalleryViewModel::GridMode::comfortable);
        AppEnvironment env;
        env.galleryViewModel = &gallery;
        view = std::make_unique<VideoGalleryLogicView>(env);
        view->resize(kPane);
        view->show();
        QCoreApplication::processEvents();
    }
    // Every card on screen has its picture.
    bool firstScreenShown() const {
        const auto cards = view->grid()->cards();
        if (cards.isEmpty())
            return false;
        for (const VideoItemLogicView* card : cards) {
            const GalleryClip* item = card->clip();
            if (!item || item->thumbnail().isNull())
                return false;
        }
        return true;
    }
};

// From starting to watch the folder until every card on screen shows its thumbnail. Returns seconds.
double openFirstScreen(OpenPane& pane, const QString& folder) {
    QElapsedTimer timer;
    timer.start();
    pane.gallery.startMonitoring(folder);
    waitUntil([&] { return pane.firstScreenShown(); });
    return timer.nsecsElapsed() / 1e9;
}

double probeAll(const QStringList& paths) {
    MediaProbe::Request request;
    request.stillAt = 0.0;
    const int side = ThumbnailCache::maxSide(ThumbnailCache::Flavor::large);
    request.bound = QSize(side, side);
    QElapsedTimer timer;
    timer.start();
    QList<QFuture<MediaProbe::Result>> futures;
    for (const QString& path : paths)
        futures << MediaProbe::probeAsync(path, request);
    for (auto& future : futures) {
        if (!future.result().ok())
            std::fprintf(stderr, "probe failed\n");
        future = {}; // the reference keeps no pictures: only the gallery's memory counts
    }
    return timer.nsecsElapsed() / 1e9;
}

void clearThumbnails() {
    QDir(ThumbnailCache::folder(ThumbnailCache::Flavor::large)).removeRecursively();
}

// Every round starts from an idle machine: no reads or cache writes left from the round before.
void settle() {
    QCoreApplication::processEvents();
    MediaProbe::pool().waitForDone();
    ClipMetadataLoader::waitForCacheWrites();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const auto [count, folderPath] =
        BenchSupport::clipArgs(app.arguments(), 1000, QDir::temp().filePath("orvane-bench-gallery-720p"));
    // A private thumbnail cache, so the user's own is neither used nor filled.
    QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome.path()));

    const int cores = std::max(1, QThread::idealThreadCount());
    QDir folder(folderPath);
    // One-second clips of the service's picture size.
    if (!QDir().mkpath(folderPath) ||
        BenchSupport::makeClips(folder, count, cores, {"1280x720", 10, 1}, clipName) < 0) {
        std::fprintf(stderr, "could not make the clips (is the ffmpeg command-line tool installed?)\n");
        return 1;
    }
    const QString outside = folderPath + "-outside";
    QDir().mkpath(outside);
    QFile::remove(outside + "/Orvane_99999999_renamed.mp4");
    QFile::remove(folder.filePath("Orvane_99999999_renamed.mp4"));
    QFile::copy(folder.filePath(clipName(0)), outside + "/Orvane_99999999_renamed.mp4");
    // Everything reads from a warm file cache.
    for (const QString& name : folder.entryList(QDir::Files)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            file.readAll();
    }
    MediaProbe::probe(folder.filePath(clipName(0)), {0.0, QSize(256, 256)}); // first use loads the codecs

    // The clips the first screen shows.
    QStringList firstPaths;
    {
        OpenPane pane;
        openFirstScreen(pane, folderPath);
        for (const VideoItemLogicView* card : pane.view->grid()->cards())
            firstPaths << card->clip()->path();
        pane.gallery.stopMonitoring();
    }
    ClipMetadataLoader::waitForCacheWrites();
    const int firstScreenCards = int(firstPaths.size());
    QStringList allPaths;
    for (int i = 0; i < count; ++i)
        allPaths << folder.filePath(clipName(i));

    double listing = 1e9; // the best of five
    for (int round = 0; round < 5; ++round) {
        VideoGalleryViewModel gallery;
        QElapsedTimer timer;
        timer.start();
        gallery.startMonitoring(folderPath);
        listing = std::min(listing, timer.nsecsElapsed() / 1e9);
    }
    QCoreApplication::processEvents();
    // Each figure is the median of several rounds, so a busy machine disturbs one round, not the result.
    constexpr int kRounds = 5;
    QList<double> probeFirstRounds, coldRounds, warmRounds;
    for (int round = 0; round < kRounds; ++round) {
        probeFirstRounds << probeAll(firstPaths);
        settle();
        clearThumbnails();
        {
            OpenPane pane;
            coldRounds << openFirstScreen(pane, folderPath);
        }
        settle();
        {
            OpenPane pane;
            warmRounds << openFirstScreen(pane, folderPath);
        }
        settle();
    }
    const double probeFirst = median(probeFirstRounds);
    const double cold = median(coldRounds);
    const double warm = median(warmRounds);

    long openMemory = 0;
    double renameMs = 0;
    {
        OpenPane pane;
        openFirstScreen(pane, folderPath);
        openMemory = currentMegabytes();

        // A clip renamed into the open gallery, until its card shows its thumbnail.
        QElapsedTimer timer;
        timer.start();
        QFile::rename(outside + "/Orvane_99999999_renamed.mp4", folder.filePath("Orvane_99999999_renamed.mp4"));
        const bool shown = waitUntil(
            [&] {
                const VideoItemLogicView* card = pane.view->grid()->cardForRow(0);
                return card && card->clip() && card->clip()->fileName() == "Orvane_99999999_renamed.mp4" &&
                       !card->clip()->thumbnail().isNull();
            },
            10000);
        renameMs = shown ? timer.nsecsElapsed() / 1e6 : -1;
        QFile::rename(folder.filePath("Orvane_99999999_renamed.mp4"), outside + "/Orvane_99999999_renamed.mp4");
        pane.gallery.stopMonitoring();
    }
    QCoreApplication::processEvents();

    QList<double> probeAllRounds, wholeRounds;
    long wholeMemory = 0;
    for (int round = 0; round < 3; ++round) {
        probeAllRounds << probeAll(allPaths);
        ClipMetadataLoader::waitForCacheWrites();
        clearThumbnails();
        VideoGalleryViewModel gallery;
        QElapsedTimer timer;
        timer.start();
        gallery.startMonitoring(folderPath);
        for (GalleryClip* item : gallery.videos())
            item->ensureMetadata();
        waitUntil([&] { return loaded(gallery, gallery.count()); });
        wholeRounds << timer.nsecsElapsed() / 1e9;
        wholeMemory = std::max(wholeMemory, currentMegabytes());
        gallery.stopMonitoring();
        QCoreApplication::processEvents();
    }
    const double probeEverything = median(probeAllRounds);
    const double whole = median(wholeRounds);
    ClipMetadataLoader::waitForCacheWrites();
    const long peak = peakMegabytes();

    std::printf("clips: %d x 1280x720 H.264 (1 s), first screen %d cards (pane %dx%d, two columns), %d cores\n", count,
                firstScreenCards, kPane.width(), kPane.height(), cores);
    std::printf("folder listed and sorted, no pictures: %6.1f ms\n", listing * 1e3);
    std::printf("memory, every thumbnail loaded:    %8ld MB; peak of the run %ld MB\n", wholeMemory, peak);
    BenchSupport::Verdict verdict("gallery");
    verdict.atMostTimes("first screen, cold cache, against MediaProbe for its clips", cold * 1e3, probeFirst * 1e3,
                        2.0);
    verdict.atLeastTimesFaster("first screen, warm cache, against the cold cache", warm * 1e3, cold * 1e3, 10.0);
    verdict.atMostTimes("whole folder listed with metadata, against MediaProbe for all clips", whole * 1e3,
                        probeEverything * 1e3, 1.3);
    verdict.atMost("memory with the gallery open (first screen)", double(openMemory), 250, "MB");
    verdict.atMost("a clip renamed into the folder until its card has its thumbnail", renameMs, 500, "ms");
    return verdict.exitCode();
}
