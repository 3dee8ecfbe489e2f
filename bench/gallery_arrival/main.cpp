// Clips landing in an open gallery as the queue files them, in a folder of a long-time user (10,000 clips, each
// with its record in the store). Each clip is copied under a hidden name into the watched folder and claimed
// under its own name on a worker, then its record is saved on the GUI thread; the next one lands once the card
// of the one before shows its picture. A GUI-thread timer ticking every millisecond measures the longest gap
// between turns of the event loop, from the first landing until a little after the last card is painted with
// its picture. The same window left alone is printed beside it (what an idle loop shows on this machine).
// The same gap is measured while the gallery fills its first screens with no thumbnails cached yet.
//   longest GUI-thread gap while 8 clips land, one and two columns                    (<= 50 ms)
//   longest GUI-thread gap while the gallery fills, one and two columns               (<= 50 ms)
//
//   bench_gallery_arrival [--clips N] [--folder DIR] [--rounds N]

#include "../BenchSupport.h"
#include "../image_studio/StallMeter.h"
#include "ClipMetadataLoader.h"
#include "GalleryClip.h"
#include "MediaProbe.h"
#include "ModelSchema.h"
#include "NoReplaceMove.h"
#include "ThumbnailCache.h"
#include "VideoGalleryGrid.h"
#include "VideoGalleryLogicView.h"
#include "VideoGalleryViewModel.h"
#include "VideoItemLogicView.h"
#include "VideoMetadata.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <cstdio>
#include <functional>

namespace {

using BenchSupport::median;

constexpr int kArrivals = 8;
constexpr double kGoalMs = 50;
constexpr QSize kPane(900, 820);
// After the last card shows its picture, the window keeps being watched this long: reads ahead, cache writes.
constexpr int kTailMs = 300;

QString sourceName(int i) {
    return QStringLiteral("Orvane_20250101_%1_source.mp4").arg(i, 4, 10, QChar('0'));
}

QString clipName(int i) {
    return QStringLiteral("Orvane_20250102_%1_clip.mp4").arg(i, 6, 10, QChar('0'));
}

using BenchSupport::waitUntil;

void runFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    waitUntil([&] { return timer.elapsed() >= ms; }, ms + 1000);
}

// The folder of a long-time user: a few hundred distinct clips, each present many times over as hard links, so
// that a large folder costs little disk.
bool makeFolder(const QString& folderPath, int count, int distinct) {
    const QString sources = folderPath + "-sources";
    QDir().mkpath(sources);
    QDir().mkpath(folderPath);
    if (BenchSupport::makeClips(QDir(sources), distinct, std::max(1, QThread::idealThreadCount()), {"1280x720", 24, 1},
                                sourceName) < 0)
        return false;
    for (int i = 0; i < count; ++i) {
        const QString target = QDir(folderPath).filePath(clipName(i));
        if (QFile::exists(target))
            continue;
        const QString source = QDir(sources).filePath(sourceName(i % distinct));
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0 &&
            !QFile::copy(source, target))
            return false;
    }
    return true;
}

// The clips that land: six seconds at the service's picture size.
bool makeIncoming(const QString& incoming) {
    QDir().mkpath(incoming);
    return BenchSupport::makeClips(QDir(incoming), kArrivals, kArrivals, {"1280x720", 24, 1},
                                   [](int i) { return QStringLiteral("incoming_%1.mp4").arg(i); }) >= 0;
}

void fillStore(ModelContext& store, int count) {
    for (int i = 0; i < count; ++i) {
        auto video =
            VideoMetadata::make(clipName(i), QStringLiteral("A lighthouse in a storm at night, take %1").arg(i),
                                "1080P", 6, "image_to_video", true, QStringLiteral("2.3"), false);
        store.insert(video);
    }
    QString error;
    if (!store.save(&error))
        std::fprintf(stderr, "could not fill the store: %s\n", qPrintable(error));
}

// The gallery pane as the studio shows it, joined with the store, on screen (offscreen).
struct OpenPane {
    VideoGalleryViewModel gallery;
    std::unique_ptr<VideoGalleryLogicView> view;
    explicit OpenPane(ModelContext* store, int columns) {
        gallery.setModelContext(store);
        gallery.setColumns(columns);
        gallery.setPreferredGridMode(columns == 1 ? VideoGalleryViewModel::GridMode::automatic
                                                  : VideoGalleryViewModel::GridMode::comfortable);
        AppEnvironment env;
        env.galleryViewModel = &gallery;
        env.modelContext = store;
        view = std::make_unique<VideoGalleryLogicView>(env);
        view->resize(kPane);
        view->show();
        QCoreApplication::processEvents();
    }
    bool firstScreenShown() const {
        const auto cards = view->grid()->cards();
        if (cards.isEmpty())
            return false;
        for (const VideoItemLogicView* card : cards) {
            if (!card->clip() || card->clip()->thumbnail().isNull())
                return false;
        }
        return true;
    }
    bool shows(const QString& fileName) const {
        const VideoItemLogicView* card = view->grid()->cardForRow(0);
        return card && card->clip() && card->clip()->fileName() == fileName && !card->clip()->thumbnail().isNull();
    }
};

// Files one clip as the queue does: copied under a hidden name, claimed under its own name, on a worker; then
// its record is saved here.
bool fileClip(ModelContext& store, const QString& source, const QString& folder, const QString& name) {
    const auto copy = [source, folder, name] {
        const QString hidden = QDir(folder).filePath(
            QStringLiteral(".orvane-copy-%1.part").arg(QUuid::createUuid().toString(QUuid::Id128)));
        if (!QFile::copy(source, hidden))
            return false;
        const bool moved =
            NoReplaceMove::move(hidden, QDir(folder).filePath(name)).outcome == NoReplaceMove::Outcome::moved;
        if (!moved)
            QFile::remove(hidden);
        return moved;
    };
    QFuture<bool> copying = QtConcurrent::run(copy);
    if (!waitUntil([&] { return copying.isFinished(); }) || !copying.result())
        return false;
    store.insert(VideoMetadata::make(name, QStringLiteral("A new clip filed now"), "768P", 6, "image_to_video", false,
                                     QStringLiteral("2.3 Fast"), true));
    return store.save();
}

struct Round {
    double longestMs = -1;
    bool allShown = false;
};

Round landClips(OpenPane& pane, ModelContext& store, const QString& folder, const QString& incoming, int round) {
    Round result;
    StallMeter meter;
    meter.start();
    bool shown = true;
    for (int i = 0; i < kArrivals && shown; ++i) {
        const QString name = QStringLiteral("Orvane_20991231_%1%2_arrival.mp4").arg(round, 3, 10, QChar('0')).arg(i);
        shown = fileClip(store, QDir(incoming).filePath(QStringLiteral("incoming_%1.mp4").arg(i)), folder, name) &&
                waitUntil([&] { return pane.shows(name); }, 10000);
        pane.view->grid()->viewport()->repaint(); // the card is painted with its picture
    }
    runFor(kTailMs);
    result.longestMs = meter.stopMs();
    result.allShown = shown;
    return result;
}

void clearThumbnails() {
    for (const auto flavor :
         {ThumbnailCache::Flavor::large, ThumbnailCache::Flavor::card, ThumbnailCache::Flavor::xlarge})
        QDir(ThumbnailCache::folder(flavor)).removeRecursively();
}

// Nothing left running from the round before.
void settle() {
    QCoreApplication::processEvents();
    MediaProbe::pool().waitForDone();
    ClipMetadataLoader::waitForCacheWrites();
    runFor(200);
}

// The arrived clips leave again, with their records, so every round starts from the same folder.
void removeArrivals(OpenPane& pane, ModelContext& store, const QString& folder) {
    for (const QString& name : QDir(folder).entryList({QStringLiteral("Orvane_20991231_*")}, QDir::Files))
        QFile::remove(QDir(folder).filePath(name));
    if (const auto records = store.fetch<VideoMetadata>()) {
        for (const auto& record : *records) {
            if (record->fileName().startsWith(QLatin1String("Orvane_20991231_")))
                store.remove(record);
        }
    }
    store.save();
    waitUntil(
        [&] { return pane.gallery.count() > 0 && !pane.gallery.videos().first()->fileName().contains("20991231"); });
    settle();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const auto [count, folderPath] =
        BenchSupport::clipArgs(app.arguments(), 10000, QDir::temp().filePath("orvane-bench-arrival"));
    const int rounds = std::max(1, int(BenchSupport::numberArg(app.arguments(), "--rounds", 5)));
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath("cache")));
    const QString incoming = folderPath + "-incoming";
    if (!makeFolder(folderPath, count, std::min(count, 200)) || !makeIncoming(incoming)) {
        std::fprintf(stderr, "could not make the clips (is the ffmpeg command-line tool installed?)\n");
        return 1;
    }
    for (const QString& name : QDir(folderPath).entryList({QStringLiteral("Orvane_20991231_*")}, QDir::Files))
        QFile::remove(QDir(folderPath).filePath(name));
    MediaProbe::probe(QDir(incoming).filePath("incoming_0.mp4"), {0.0, QSize(256, 256)}); // loads the codecs

    auto store = ModelSchema::openStore(home.filePath("store.sqlite"));
    fillStore(*store, count);

    BenchSupport::Verdict verdict("gallery_arrival");
    std::printf("clips: %d in the folder, each with its record; %d clips land (1280x720 H.264, 6 s); pane %dx%d; "
                "%d rounds, %d cores\n",
                count, kArrivals, kPane.width(), kPane.height(), rounds, QThread::idealThreadCount());
    for (const int columns : {1, 2}) {
        const QString layout = QStringLiteral("%1 column%2").arg(columns).arg(columns == 1 ? "" : "s");
        // The gallery opened on the folder with no thumbnails yet, until its first screen and the screen after
        // it have their pictures.
        QList<double> filling;
        bool filled = true;
        for (int round = 0; round < std::max(3, rounds / 2); ++round) {
            clearThumbnails();
            OpenPane pane(store.get(), columns);
            StallMeter meter;
            meter.start();
            pane.gallery.startMonitoring(folderPath);
            filled = filled && waitUntil([&] { return pane.firstScreenShown(); });
            waitUntil([] { return MediaProbe::pool().activeThreadCount() == 0; });
            runFor(kTailMs);
            filling << meter.stopMs();
            pane.gallery.stopMonitoring();
            settle();
        }

        OpenPane pane(store.get(), columns);
        pane.gallery.startMonitoring(folderPath);
        filled = filled && waitUntil([&] { return pane.firstScreenShown(); });
        settle();
        QList<double> idle, landing;
        bool allShown = true;
        for (int round = 0; round < rounds; ++round) {
            // The reference: the same window left alone for about as long.
            StallMeter meter;
            meter.start();
            runFor(kArrivals * 60 + kTailMs);
            idle << meter.stopMs();
            const Round landed = landClips(pane, *store, folderPath, incoming, columns * 100 + round);
            allShown = allShown && landed.allShown;
            landing << landed.longestMs;
            removeArrivals(pane, *store, folderPath);
        }
        pane.gallery.stopMonitoring();
        std::printf("%s: longest gap of each round: filling", qPrintable(layout));
        for (const double ms : filling)
            std::printf(" %.1f", ms);
        std::printf(" ms; landing");
        for (const double ms : landing)
            std::printf(" %.1f", ms);
        std::printf(" ms; the window left alone %.1f ms (median)\n", median(idle));
        verdict.holds(qPrintable(layout + ": the first screen and every landed clip shown with their pictures"),
                      filled && allShown);
        verdict.atMost(
            qPrintable(layout + QStringLiteral(": longest GUI-thread gap while %1 clips land").arg(kArrivals)),
            median(landing), kGoalMs, "ms");
        verdict.atMost(
            qPrintable(layout + ": longest GUI-thread gap while the gallery fills with no thumbnails cached"),
            median(filling), kGoalMs, "ms");
    }
    return verdict.exitCode();
}
