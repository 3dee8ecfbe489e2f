#include "APIManager.h"
#include "AppSettings.h"
#include "ClipMetadataLoader.h"
#include "ClipRecords.h"
#include "FileNames.h"
#include "FileSystemMonitor.h"
#include "FolderBookmark.h"
#include "GalleryClip.h"
#include "GalleryClipModel.h"
#include "GalleryJobModel.h"
#include "GalleryTestSupport.h"
#include "QueueManager.h"
#include "ThumbnailCache.h"
#include "VideoGalleryItem.h"
#include "VideoGalleryItemModel.h"
#include "VideoGalleryViewModel.h"
#include "VideoMetadata.h"
#include "VideoSettings.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace GalleryTestSupport;

namespace {
QStringList namesOf(const VideoGalleryViewModel& gallery) {
    QStringList names;
    for (const GalleryClip* item : gallery.videos())
        names << item->fileName();
    return names;
}

QStringList titlesOf(const QAbstractItemModel& model) {
    QStringList titles;
    for (int row = 0; row < model.rowCount(); ++row)
        titles << model.index(row, 0).data().toString();
    return titles;
}

QList<int> rolesOf(const QList<QVariant>& dataChanged) {
    return dataChanged.at(2).value<QList<int>>();
}

std::unique_ptr<QAbstractItemModelTester> testerOf(QAbstractItemModel* model) {
    return std::make_unique<QAbstractItemModelTester>(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
}
} // namespace

class GalleryModelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<World> world;
    std::unique_ptr<VideoGalleryViewModel> gallery;
    // Every change of the list runs under the item model checks, on its own and joined after the jobs.
    std::unique_ptr<VideoGalleryItemModel> cells;
    std::unique_ptr<QAbstractItemModelTester> clipsTester;
    std::unique_ptr<QAbstractItemModelTester> cellsTester;
    QString folder;

    QString path(const QString& name) const { return folder + '/' + name; }
    bool addClip(const QString& name, const QString& into = {}) {
        return writeFile((into.isEmpty() ? folder : into) + '/' + name, clipBytes());
    }
    // Generous: under valgrind a probe takes a good part of a second.
    bool waitForAll(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 20000); }

private slots:
    void initTestCase() { QVERIFY2(!clipBytes().isEmpty(), "the ffmpeg tool could not make a clip"); }

    void init() {
        world = std::make_unique<World>();
        folder = world->folder("Videos");
        gallery = std::make_unique<VideoGalleryViewModel>();
        gallery->setModelContext(world->store.get());
        cells = std::make_unique<VideoGalleryItemModel>(gallery.get(), nullptr);
        clipsTester = testerOf(gallery->clipModel());
        cellsTester = testerOf(cells.get());
    }
    void cleanup() {
        cellsTester.reset();
        clipsTester.reset();
        cells.reset();
        gallery.reset();
        world.reset();
    }

    void listsOnlyVisibleClipsNewestFirstAndSaysWhy() {
        QVERIFY(writeFile(path("Orvane_20250101_120000_a.mp4"), "a"));
        QVERIFY(writeFile(path("clip.mp4"), "c"));
        QVERIFY(writeFile(path("Orvane_notes.txt"), "n"));
        QVERIFY(writeFile(path(".Orvane_y.mp4"), "y"));
        QVERIFY(writeFile(path("orvane_lower.mp4"), "l"));
        QVERIFY(writeFile(path("Orvane_half.part.mp4"), "p"));
        QVERIFY(QDir(folder).mkdir("subfolder"));
        QTest::qWait(5);
        QVERIFY(writeFile(path("Orvane_x.MP4"), "x"));

        world->environment.clearLog();
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(namesOf(*gallery), (QStringList{"Orvane_x.MP4", "Orvane_20250101_120000_a.mp4"}));
        QVERIFY(!gallery->isLoading());

        const QStringList expected{
            "📁 [VideoGallery] Starting to monitor directory: " + folder,
            "🔍 [VideoGallery] Will show only files: 'Orvane_*.mp4'",
            "📂 [VideoGallery] Found 7 total files in directory",
            "✅ [VideoGallery] Loaded 2 videos matching 'Orvane_*.mp4' pattern",
        };
        QStringList lines = world->environment.logLines();
        QStringList filtered;
        for (const QString& line : lines) {
            if (line.startsWith("🚫"))
                filtered << line;
        }
        lines.removeIf([](const QString& line) { return line.startsWith("🚫") || line.startsWith("🧹"); });
        QCOMPARE(lines, expected);
        filtered.sort();
        QCOMPARE(filtered,
                 (QStringList{"🚫 [VideoGallery] Filtered out: Orvane_notes.txt (has Orvane_ prefix but not .mp4)",
                              "🚫 [VideoGallery] Filtered out: clip.mp4 (no Orvane_ prefix)",
                              "🚫 [VideoGallery] Filtered out: orvane_lower.mp4 (no Orvane_ prefix)",
                              "🚫 [VideoGallery] Filtered out: subfolder (no Orvane_ prefix and not .mp4)"}));
        // Listing reads no pictures: that waits until a card is near the view.
        for (const GalleryClip* item : gallery->videos())
            QCOMPARE(item->metadataState(), GalleryClip::MetadataState::notLoaded);
    }

    // Starting returns before the folder is read: the list follows from a worker, and changes reported
    // meanwhile are applied to it, in order, once it is shown.
    void theFolderIsReadOffTheGuiThread() {
        QVERIFY(addClip("Orvane_a.mp4"));
        QVERIFY(addClip("Orvane_b.mp4"));
        QSignalSpy loading(gallery.get(), &VideoGalleryViewModel::isLoadingChanged);
        BusyWorkers busy(*QThreadPool::globalInstance()); // the folder cannot be read before the checks below
        QVERIFY(busy.holdsAll());
        gallery->startMonitoring(folder);
        QVERIFY(gallery->isLoading());
        QCOMPARE(gallery->count(), 0);
        QVERIFY(!world->environment.hasLineStartingWith("📂"));
        QVERIFY(QFile::remove(path("Orvane_a.mp4")));
        gallery->handleFileSystemEvent(FileSystemEvent::fileRemoved(path("Orvane_a.mp4")));
        QVERIFY(addClip("Orvane_c.mp4"));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_c.mp4")));
        QCOMPARE(gallery->count(), 0);
        busy.release();

        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(loading.size(), 2);
        QVERIFY(world->environment.hasLineStartingWith("📂 [VideoGallery] Found"));
        QVERIFY(waitForAll([&] { return namesOf(*gallery).contains("Orvane_c.mp4"); }));
        world->drain();
        QCOMPARE(namesOf(*gallery), (QStringList{"Orvane_c.mp4", "Orvane_b.mp4"}));

        // A read that is no longer wanted never shows: stopping drops it.
        BusyWorkers stillBusy(*QThreadPool::globalInstance());
        QVERIFY(stillBusy.holdsAll());
        gallery->loadVideos(folder);
        QVERIFY(gallery->isLoading());
        gallery->stopMonitoring();
        stillBusy.release();
        QVERIFY(!gallery->isLoading());
        world->drain();
        QTest::qWait(20);
        QCOMPARE(gallery->count(), 0);
    }

    // With a warm thumbnail cache the first screen's pictures come with the list, nothing further down does; a
    // clip the cache does not know is read as before, once the list is shown.
    void theFirstScreenComesWithItsCachedPictures() {
        for (const char* name : {"Orvane_a.mp4", "Orvane_b.mp4", "Orvane_c.mp4"}) {
            QVERIFY(addClip(name));
            QTest::qWait(5); // distinct creation times: c is the newest
        }
        gallery->setFirstScreenCount(2);
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QVERIFY(
            waitForAll([&] { return gallery->videos().at(1)->metadataState() == GalleryClip::MetadataState::loaded; }));
        world->drain(); // the thumbnails are in the cache now
        QVERIFY(QFile::remove(ThumbnailCache::thumbnailPath(path("Orvane_b.mp4"), ThumbnailCache::Flavor::card)));

        gallery->stopMonitoring();
        // What each clip holds at the moment the list is shown.
        QList<GalleryClip::MetadataState> shown;
        connect(gallery->clipModel(), &QAbstractItemModel::modelReset, this, [&] {
            for (const GalleryClip* clip : gallery->videos())
                shown << clip->metadataState();
        });
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(namesOf(*gallery), (QStringList{"Orvane_c.mp4", "Orvane_b.mp4", "Orvane_a.mp4"}));
        QCOMPARE(shown, (QList<GalleryClip::MetadataState>{GalleryClip::MetadataState::loaded,
                                                           GalleryClip::MetadataState::notLoaded,
                                                           GalleryClip::MetadataState::notLoaded}));
        const GalleryClip* first = gallery->videos().at(0);
        QCOMPARE(first->thumbnail().size(), QSize(160, 90));
        QCOMPARE(first->resolution(), QSize(160, 90));
        QVERIFY(first->duration() && qAbs(*first->duration() - 1.0) < 0.2);
        QCOMPARE(gallery->videos().at(2)->metadataState(), GalleryClip::MetadataState::notLoaded);
        QVERIFY(
            waitForAll([&] { return gallery->videos().at(1)->metadataState() == GalleryClip::MetadataState::loaded; }));
        QVERIFY(!gallery->videos().at(1)->thumbnail().isNull());
    }

    // Each save brings only the records it wrote or removed; for each name the newest counts, and of equally
    // new ones the first stored.
    void recordsFollowEachSave() {
        QVERIFY(addClip("Orvane_a.mp4"));
        QVERIFY(addClip("Orvane_b.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        GalleryClip* a = gallery->videos().at(gallery->indexOfPath(path("Orvane_a.mp4")));
        GalleryClip* b = gallery->videos().at(gallery->indexOfPath(path("Orvane_b.mp4")));
        QSignalSpy aChanged(a, &GalleryClip::recordChanged);
        QSignalSpy bChanged(b, &GalleryClip::recordChanged);
        const QDateTime now = world->clock.now();
        const auto prompt = [](const GalleryClip* clip) { return clip->prompt().value_or("none"); };

        const auto first = addRecord(*world->store, "Orvane_a.mp4", "first", now.addSecs(-60));
        QCOMPARE(prompt(a), "first");
        QCOMPARE(bChanged.size(), 0);
        const auto newer = addRecord(*world->store, "Orvane_a.mp4", "newer", now);
        QCOMPARE(prompt(a), "newer");
        addRecord(*world->store, "Orvane_a.mp4", "older", now.addSecs(-120));
        addRecord(*world->store, "Orvane_a.mp4", "as new, stored later", now);
        QCOMPARE(prompt(a), "newer");
        QCOMPARE(aChanged.size(), 2);

        // Renamed to the other clip: each clip now has the newest record of its own name.
        newer->setFileName("Orvane_b.mp4");
        QVERIFY(world->store->save());
        QCOMPARE(prompt(b), "newer");
        QCOMPARE(prompt(a), "as new, stored later");
        world->store->remove(newer);
        QVERIFY(world->store->save());
        QCOMPARE(prompt(b), "none");
        // A changed date counts at once.
        first->setCreatedAt(now.addSecs(60));
        QVERIFY(world->store->save());
        QCOMPARE(prompt(a), "first");
        QSignalSpy recreated(gallery.get(), &VideoGalleryViewModel::recreateRequested);
        gallery->recreate(a);
        QCOMPARE(recreated.first().first().value<VideoMetadata*>(), first.get());
    }

    // A large store takes seconds to read cold: a worker reads it, the list waits for it, and a save meanwhile counts.
    void readingTheRecordsNeverHoldsTheGuiThread() {
        const QDateTime now = world->clock.now();
        const auto stored = addRecord(*world->store, "Orvane_a.mp4", "stored", now);
        QVERIFY(addClip("Orvane_a.mp4"));
        QVERIFY(addClip("Orvane_b.mp4"));
        VideoGalleryViewModel fresh;
        fresh.setModelContext(world->store.get());
        QVERIFY(!fresh.recordFor("Orvane_a.mp4"));
        addRecord(*world->store, "Orvane_b.mp4", "saved meanwhile", now);
        fresh.startMonitoring(folder);
        QVERIFY(waitUntilListed(fresh));
        const auto prompt = [&](const char* name) {
            return fresh.videos().at(fresh.indexOfPath(path(name)))->prompt().value_or("none");
        };
        QCOMPARE(prompt("Orvane_a.mp4"), "stored");
        QCOMPARE(prompt("Orvane_b.mp4"), "saved meanwhile");
        QSignalSpy recreated(&fresh, &VideoGalleryViewModel::recreateRequested);
        fresh.recreate(fresh.videos().at(fresh.indexOfPath(path("Orvane_a.mp4"))));
        QCOMPARE(recreated.first().first().value<VideoMetadata*>(), stored.get());
    }

    // The join on its own: a save names the file names it touched, and only their clips take a record again.
    void clipRecordsNameWhatASaveTouched() {
        const QDateTime now = world->clock.now();
        const auto kept = addRecord(*world->store, "Orvane_c.mp4", "kept", now);
        ClipRecords records;
        records.reload(world->store.get());
        QSet<QString> touched;
        connect(world->store.get(), &ModelContext::recordsSaved, this,
                [&](const QList<std::shared_ptr<PersistentModel>>& written,
                    const QList<std::shared_ptr<PersistentModel>>& removed) {
                    touched = records.applySaved(written, removed);
                });
        GalleryClip a(path("Orvane_a.mp4"), now, 1);
        GalleryClip b(path("Orvane_b.mp4"), now, 1);
        GalleryClip c(path("Orvane_c.mp4"), now, 1);
        const QList<GalleryClip*> clips{&a, &b, &c};
        const auto prompt = [](const GalleryClip& clip) { return clip.prompt().value_or("none"); };
        records.join(clips);
        QCOMPARE(prompt(c), "kept");

        const auto moving = addRecord(*world->store, "Orvane_a.mp4", "moving", now);
        QCOMPARE(touched, QSet<QString>{"Orvane_a.mp4"});
        QCOMPARE(records.recordFor("Orvane_a.mp4"), moving);
        moving->setFileName("Orvane_b.mp4");
        QVERIFY(world->store->save());
        QCOMPARE(touched, (QSet<QString>{"Orvane_a.mp4", "Orvane_b.mp4"}));
        QVERIFY(!records.recordFor("Orvane_a.mp4"));
        QCOMPARE(records.recordFor("Orvane_b.mp4"), moving);
        // Only the named clips are joined again.
        world->store->remove(kept);
        QVERIFY(world->store->save());
        QCOMPARE(touched, QSet<QString>{"Orvane_c.mp4"});
        records.join(clips, {"Orvane_b.mp4"});
        QCOMPARE(prompt(a), "none");
        QCOMPARE(prompt(b), "moving");
        QCOMPARE(prompt(c), "kept");
        records.join(clips, touched);
        QCOMPARE(prompt(c), "none");
    }

    void startStopAndIdleBehaviour() {
        world->environment.clearLog();
        gallery->loadVideos(folder);
        QCOMPARE(world->environment.logLines(),
                 QStringList{"❌ [VideoGallery] Security-scoped resource not initialized for: " + folder});
        QVERIFY(!gallery->isLoading());

        QVERIFY(addClip("Orvane_1.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(gallery->count(), 1);
        world->environment.clearLog();
        gallery->stopMonitoring();
        QCOMPARE(world->environment.logLines(),
                 (QStringList{"🛑 [VideoGallery] Stopping monitoring of: " + folder,
                              "🔒 [VideoGallery] Closed security-scoped resource for: " + folder,
                              "🧹 [VideoGallery] Cache cleared: thumbnails and video list"}));
        QCOMPARE(gallery->count(), 0);
        QVERIFY(!gallery->monitoredDirectory());
        QVERIFY(!gallery->fileSystemMonitor());

        // Idle: neither events nor refreshes change anything.
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_1.mp4")));
        gallery->refreshVideos();
        QVERIFY(addClip("Orvane_2.mp4"));
        QTest::qWait(100);
        world->drain();
        QCOMPARE(gallery->count(), 0);
    }

    void addedFilesThatAreNoClipsAreNamedInTheLog() {
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring();
        world->environment.clearLog();
        for (const char* name : {"clip.mp4", "Orvane_notes.txt", "notes.txt"}) {
            QVERIFY(writeFile(path(name), "x"));
            gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path(name)));
        }
        QCOMPARE(world->environment.logLines(),
                 (QStringList{"🚫 [VideoGallery] Ignoring file (no Orvane_ prefix): clip.mp4",
                              "🚫 [VideoGallery] Ignoring file (has Orvane_ prefix but not .mp4): Orvane_notes.txt"}));
        QCOMPARE(gallery->count(), 0);
    }

    void anUnreadableFolderKeepsTheListAndSaysWhy() {
        const QString missing = world->environment.path("gone");
        world->environment.clearLog();
        gallery->startMonitoring(missing);
        QVERIFY(waitUntilListed(*gallery));
        const QStringList lines = world->environment.logLines();
        const int at =
            int(lines.indexOf("❌ [VideoGallery] Error loading videos from directory: No such file or directory"));
        QVERIFY2(at >= 0, qPrintable(lines.join("\n")));
        QCOMPARE(lines.at(at + 1), "   Directory: " + missing);
        QVERIFY(lines.at(at + 2).startsWith("   Error details: "));
        QVERIFY(!gallery->isLoading());
        QCOMPARE(gallery->count(), 0);
        QVERIFY(!gallery->fileSystemMonitor()->isMonitoring());
    }

    // The watched folder moved away shows an empty gallery and says why; back at its path, its clips return.
    void aFolderMovedAwayEmptiesTheGalleryUntilItComesBack() {
        QVERIFY(addClip("Orvane_a.mp4"));
        QVERIFY(addClip("Orvane_b.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(gallery->count(), 2);
        world->environment.clearLog();

        const QString away = folder + "_away";
        QVERIFY(QDir().rename(folder, away));
        QVERIFY(waitForAll([&] { return gallery->count() == 0 && !gallery->isLoading(); }));
        const QStringList lines = world->environment.logLines();
        const int at =
            int(lines.indexOf("❌ [VideoGallery] Error loading videos from directory: No such file or directory"));
        QVERIFY2(at >= 0, qPrintable(lines.join("\n")));
        QCOMPARE(lines.at(at + 1), "   Directory: " + folder);

        world->environment.clearLog();
        QVERIFY(QDir().rename(away, folder));
        QVERIFY(waitForAll([&] { return gallery->count() == 2 && !gallery->isLoading(); }));
        QVERIFY(
            world->environment.logLines().contains("✅ [VideoGallery] Loaded 2 videos matching 'Orvane_*.mp4' pattern"));
        QVERIFY(addClip("Orvane_c.mp4")); // watched again
        QVERIFY(waitForAll([&] { return gallery->count() == 3; }));
    }

    void aClipFiledByTheQueueAppearsWithItsBadges() {
        RecordingSoundPlayer sounds;
        VideoSettings().setVideoDirectoryBookmark(FolderBookmark::create(folder));
        QueueManager queue;
        queue.setModelContext(world->store.get());
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(gallery->count(), 0);

        const QString download = world->environment.path("download.mp4");
        QVERIFY(writeFile(download, clipBytes()));
        GenerationTask task;
        task.prompt = "a red fox in snow";
        task.quality = VideoQuality::p768;
        task.duration = VideoDuration::seconds6;
        task.model = VideoModel::hailuo23Fast;
        task.promptOptimization = true;
        task.fastPretreatment = false;
        task.status = GenerationTaskStatus::completed;
        task.result = GenerationResult::video(download);
        queue.saveVideoToFolder(task);

        QVERIFY2(waitForAll([&] { return gallery->count() == 1 && gallery->videos().first()->record(); }),
                 qPrintable(world->environment.logLines().join("\n")));
        GalleryClip* item = gallery->videos().first();
        QVERIFY(item->fileName().startsWith("Orvane_"));
        QVERIFY(item->fileName().endsWith("_a_red_fox_in_snow.mp4"));
        QCOMPARE(item->metadataState(), GalleryClip::MetadataState::loaded);
        QVERIFY(!item->thumbnail().isNull());
        QCOMPARE(item->resolution(), QSize(160, 90));
        QVERIFY(item->duration() && qAbs(*item->duration() - 1.0) < 0.2);

        const auto cell = VideoGalleryItem::video(item);
        QCOMPARE(cell.title(), "a red fox in snow");
        QCOMPARE(cardBadges(cell.overlayMetadata(), 1),
                 (QList<CardBadge>{{CardBadge::Kind::quality, "768P", {}},
                                   {CardBadge::Kind::model, "2.3 Fast", {}},
                                   {CardBadge::Kind::promptOptimization, "AI", "sparkles"}}));
        // The filing step's hidden temporary copy never showed up.
        QVERIFY(world->environment.hasLineStartingWith("➕ [VideoGallery] Adding new video: Orvane_"));
        QVERIFY(!world->environment.hasLineStartingWith("➕ [VideoGallery] Adding new video: ."));
    }

    void aRecordStoredWhileItsClipIsReadIsJoined() {
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring();
        QVERIFY(addClip("Orvane_fox.mp4"));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_fox.mp4")));
        addRecord(*world->store, "Orvane_fox.mp4", "a fox", world->clock.now()); // while the read runs
        QVERIFY(waitForAll([&] { return gallery->count() == 1; }));
        QCOMPARE(gallery->videos().first()->prompt(), "a fox");
    }

    void renamesAndDeletionsFromOutside() {
        QVERIFY(addClip("Orvane_a.mp4"));
        QVERIFY(addClip("Orvane_b.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(gallery->count(), 2);

        QVERIFY(QFile::rename(path("Orvane_a.mp4"), path("Orvane_c.mp4")));
        QVERIFY(waitForAll([&] { return namesOf(*gallery).contains("Orvane_c.mp4"); }));
        QCOMPARE(namesOf(*gallery), (QStringList{"Orvane_c.mp4", "Orvane_b.mp4"}));

        QVERIFY(QFile::rename(path("Orvane_b.mp4"), path("renamed.mp4")));
        QVERIFY(waitForAll([&] { return gallery->count() == 1; }));
        QCOMPARE(namesOf(*gallery), QStringList{"Orvane_c.mp4"});

        const QString outside = world->folder("Elsewhere");
        QVERIFY(addClip("Orvane_in.mp4", outside));
        QVERIFY(QFile::rename(outside + "/Orvane_in.mp4", path("Orvane_in.mp4")));
        QVERIFY(waitForAll([&] { return gallery->count() == 2; }));
        QCOMPARE(namesOf(*gallery).first(), "Orvane_in.mp4");

        QVERIFY(QFile::remove(path("Orvane_c.mp4")));
        QVERIFY(waitForAll([&] { return gallery->count() == 1; }));
        QCOMPARE(namesOf(*gallery), QStringList{"Orvane_in.mp4"});
    }

    void renameEventsKeepThePosition() {
        QVERIFY(addClip("Orvane_a.mp4"));
        QTest::qWait(5);
        QVERIFY(addClip("Orvane_b.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring(); // only the events this test sends
        QCOMPARE(namesOf(*gallery), (QStringList{"Orvane_b.mp4", "Orvane_a.mp4"}));

        QVERIFY(QFile::rename(path("Orvane_a.mp4"), path("Orvane_z.mp4")));
        gallery->handleFileSystemEvent(FileSystemEvent::fileRenamed(path("Orvane_a.mp4"), path("Orvane_z.mp4")));
        QCOMPARE(namesOf(*gallery), (QStringList{"Orvane_b.mp4", "Orvane_z.mp4"}));
        gallery->handleFileSystemEvent(FileSystemEvent::fileRenamed(path("Orvane_q.mp4"), path("Orvane_r.mp4")));
        QCOMPARE(gallery->count(), 2);
        gallery->handleFileSystemEvent(FileSystemEvent::fileRenamed(path("Orvane_b.mp4"), path("b.mp4")));
        QCOMPARE(namesOf(*gallery), QStringList{"Orvane_z.mp4"});
    }

    void aFolderSwitchDropsWorkOfTheOldFolder() {
        const QString other = world->folder("Other");
        QVERIFY(addClip("Orvane_old.mp4"));
        QVERIFY(addClip("Orvane_new.mp4", other));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(namesOf(*gallery), QStringList{"Orvane_old.mp4"});

        // A clip of the old folder whose probe is still running when the folder changes.
        QVERIFY(addClip("Orvane_late.mp4"));
        gallery->fileSystemMonitor()->stopMonitoring();
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_late.mp4")));
        world->environment.clearLog();
        gallery->startMonitoring(other);
        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(world->environment.logLines().first(), "🛑 [VideoGallery] Stopping monitoring of: " + folder);
        world->drain();
        QTest::qWait(50);
        QCOMPARE(namesOf(*gallery), QStringList{"Orvane_new.mp4"});
        QCOMPARE(*gallery->monitoredDirectory(), other);
    }

    void noDuplicateAndNoGhostCards() {
        QVERIFY(addClip("Orvane_a.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring();
        // Reported although already listed (made between the watcher's first look and the load).
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_a.mp4")));
        // Reported twice.
        QVERIFY(addClip("Orvane_b.mp4"));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_b.mp4")));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_b.mp4")));
        // Gone again before its probe ends.
        QVERIFY(addClip("Orvane_gone.mp4"));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_gone.mp4")));
        QVERIFY(QFile::remove(path("Orvane_gone.mp4")));

        QVERIFY(waitForAll([&] { return gallery->count() >= 2; }));
        world->drain();
        world->clock.runUntil([] { return false; }, 5, 200);
        QCOMPARE(namesOf(*gallery), (QStringList{"Orvane_b.mp4", "Orvane_a.mp4"}));
    }

    void namesKeepEveryByte_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("raw");
        QTest::newRow("plain") << QByteArray("Orvane_a.mp4") << false;
        QTest::newRow("accents") << QByteArray("Orvane_caf\xc3\xa9.mp4") << false;
        QTest::newRow("emoji") << QByteArray("Orvane_\xf0\x9f\x98\x80.mp4") << false;
        QTest::newRow("latin-1") << QByteArray("Orvane_\xe9t\xe9.mp4") << true;
        QTest::newRow("lone bytes") << QByteArray("Orvane_\xff\xfe.mp4") << true;
        QTest::newRow("cut sequence") << QByteArray("Orvane_\xe2\x82.mp4") << true;
        QTest::newRow("overlong") << QByteArray("Orvane_\xc0\xaf.mp4") << true;
        QTest::newRow("encoded surrogate") << QByteArray("Orvane_\xed\xb2\x80.mp4") << true;
        QTest::newRow("emoji then stray byte") << QByteArray("\xf0\x9f\x98\x80\xff") << true;
    }
    void namesKeepEveryByte() {
        QFETCH(QByteArray, name);
        QFETCH(bool, raw);
        const QString decoded = FileNames::decode(name);
        QCOMPARE(FileNames::encode(decoded), name);
        QCOMPARE(FileNames::hasRawBytes(decoded), raw);
        QCOMPARE(FileNames::displayName(decoded), QFile::decodeName(name));
        const QByteArray url = FileNames::url("/videos/" + decoded).toEncoded();
        QCOMPARE(QByteArray::fromPercentEncoding(url.mid(int(qstrlen("file://")))), "/videos/" + name);
    }

    // A name that is not UTF-8 is listed, read and reached under its exact bytes, whether it was there at the
    // start or arrived while the folder was watched.
    void aClipWhoseNameIsNotUtf8IsListedAndRead() {
        const QByteArray first = QFile::encodeName(folder) + "/Orvane_\xff\xfe_first.mp4";
        QVERIFY(writeRawName(first, clipBytes()));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QCOMPARE(gallery->count(), 1);
        GalleryClip* listed = gallery->videos().first();
        QCOMPARE(FileNames::encode(listed->path()), first);
        QCOMPARE(listed->fileName(), QStringLiteral("Orvane_\uFFFD\uFFFD_first.mp4"));
        QCOMPARE(listed->title(), QStringLiteral("Orvane_\uFFFD\uFFFD_first"));
        QVERIFY(listed->url().toEncoded().endsWith("/Orvane_%FF%FE_first.mp4"));
        QVERIFY(listed->isAvailable());
        QCOMPARE(listed->fileSize(), clipBytes().size());
        listed->ensureMetadata();
        QVERIFY(waitForAll([&] { return listed->metadataState() == GalleryClip::MetadataState::loaded; }));
        QVERIFY(!listed->thumbnail().isNull());
        QCOMPARE(listed->resolution(), QSize(160, 90));
        QVERIFY(listed->duration() && qAbs(*listed->duration() - 1.0) < 0.2);
        // The thumbnail is filed under the URI of the exact bytes, and read back from there.
        ClipMetadataLoader::waitForCacheWrites();
        QVERIFY(QFile::exists(ThumbnailCache::thumbnailPath(listed->path(), ThumbnailCache::Flavor::card)));
        QVERIFY(ThumbnailCache::read(listed->path(), ThumbnailCache::Flavor::card));

        const QByteArray second = QFile::encodeName(folder) + "/Orvane_\xe9t\xe9.mp4";
        QVERIFY(writeRawName(second, clipBytes()));
        QVERIFY(waitForAll([&] { return gallery->count() == 2; }));
        QCOMPARE(FileNames::encode(gallery->videos().first()->path()), second);
        QVERIFY(!gallery->videos().first()->thumbnail().isNull());

        QCOMPARE(::unlink(first.constData()), 0);
        QVERIFY(waitForAll([&] { return gallery->count() == 1; }));
        QCOMPARE(FileNames::encode(gallery->videos().first()->path()), second);
    }

    void partialAndHiddenFilesAreNeverListed() {
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        QVERIFY(writeFile(path(".orvane-copy-1.part"), clipBytes()));
        QVERIFY(writeFile(path("Orvane_a.mp4.part"), clipBytes()));
        QVERIFY(writeFile(path("Orvane_b.part.mp4"), clipBytes()));
        QVERIFY(writeFile(path(".Orvane_c.mp4"), clipBytes()));
        QTest::qWait(150);
        world->drain();
        QCOMPARE(gallery->count(), 0);
        gallery->refreshVideos();
        QTest::qWait(20);
        QCOMPARE(gallery->count(), 0);
        QVERIFY(gallery->passesFilter("Orvane_ok.Mp4"));
        QVERIFY(!gallery->passesFilter("Orvane_x.PART.mp4"));
    }

    void aClipStillBeingWrittenIsReadAgainOnceItsSizeSettles() {
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring();
        const QByteArray& bytes = clipBytes();
        QVERIFY(writeFile(path("Orvane_grow.mp4"), bytes.left(bytes.size() / 2)));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_grow.mp4")));
        // The first read fails; the item waits for the size to hold still.
        QVERIFY(waitForAll([&] { return world->clock.pendingSleepers() == 1; }));
        QCOMPARE(gallery->count(), 0);
        QFile file(path("Orvane_grow.mp4"));
        QVERIFY(file.open(QIODevice::Append));
        file.write(bytes.mid(bytes.size() / 2));
        file.close();
        world->clock.advance(GalleryClip::kSettleSeconds); // grew: look again later
        QVERIFY(waitForAll([&] { return world->clock.pendingSleepers() == 1; }));
        world->clock.advance(GalleryClip::kSettleSeconds); // settled: read again
        QVERIFY(waitForAll([&] { return gallery->count() == 1; }));
        const GalleryClip* item = gallery->videos().first();
        QVERIFY(!item->thumbnail().isNull());
        QCOMPARE(item->resolution(), QSize(160, 90));
    }

    void aBrokenClipThatDoesNotGrowIsShownWithoutPicture() {
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring();
        QVERIFY(writeFile(path("Orvane_broken.mp4"), "not a video at all"));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_broken.mp4")));
        QVERIFY(waitForAll([&] { return world->clock.pendingSleepers() == 1; }));
        world->clock.advance(GalleryClip::kSettleSeconds);
        QVERIFY(waitForAll([&] { return gallery->count() == 1; }));
        const GalleryClip* item = gallery->videos().first();
        QVERIFY(item->thumbnail().isNull());
        QVERIFY(!item->resolution());
        QCOMPARE(VideoGalleryItem::video(gallery->videos().first()).title(), "Orvane_broken");
    }

    void aClipGoneWhileItsSizeSettlesLeavesNoWaitBehind() {
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring();
        QVERIFY(writeFile(path("Orvane_grow.mp4"), clipBytes().left(200)));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_grow.mp4")));
        QVERIFY(waitForAll([&] { return world->clock.pendingSleepers() == 1; }));
        gallery.reset();
        QCOMPARE(world->clock.pendingSleepers(), 0);
    }

    void workInFlightOutlivedByItsObjectsEndsQuietly() {
        QVERIFY(addClip("Orvane_a.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->videos().first()->ensureMetadata();
        // A clip still being read when its list and then the whole model go away.
        QVERIFY(writeFile(path("Orvane_grow.mp4"), clipBytes().left(200)));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_grow.mp4")));
        gallery->stopMonitoring();
        gallery.reset();
        world->drain();
        world->clock.advance(GalleryClip::kSettleSeconds * 4);
        world->drain();
        QCOMPARE(world->clock.pendingSleepers(), 0);
    }

    void theNewestOfSeveralRecordsWinsForCardAndRecreate() {
        const QDateTime now = world->clock.now();
        addRecord(*world->store, "Orvane_a.mp4", "older", now.addSecs(-60));
        const auto newest = addRecord(*world->store, "Orvane_a.mp4", "newest", now);
        addRecord(*world->store, "Orvane_a.mp4", "oldest", now.addSecs(-120));
        QVERIFY(addClip("Orvane_a.mp4"));
        QVERIFY(addClip("Orvane_none.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        GalleryClip* withRecords = gallery->videos().at(gallery->indexOfPath(path("Orvane_a.mp4")));
        GalleryClip* without = gallery->videos().at(gallery->indexOfPath(path("Orvane_none.mp4")));
        QCOMPARE(withRecords->prompt(), "newest");
        QCOMPARE(VideoGalleryItem::video(without).title(), "Orvane_none");
        QVERIFY(!VideoGalleryItem::video(without).overlayMetadata());

        QSignalSpy recreated(gallery.get(), &VideoGalleryViewModel::recreateRequested);
        gallery->recreate(withRecords);
        QCOMPARE(recreated.size(), 1);
        QCOMPARE(recreated.first().first().value<VideoMetadata*>(), newest.get());
        world->environment.clearLog();
        gallery->recreate(without);
        QCOMPARE(recreated.size(), 1);
        QCOMPARE(world->environment.logLines(), QStringList{"❌ No metadata found for Orvane_none.mp4"});
    }

    void aRotatedClipReportsAPositiveSize() {
        QVERIFY(writeFile(path("Orvane_turned.mp4"), rotatedClipBytes()));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        GalleryClip* item = gallery->videos().first();
        item->ensureMetadata();
        QVERIFY(waitForAll([&] { return item->metadataState() == GalleryClip::MetadataState::loaded; }));
        QCOMPARE(item->resolution(), QSize(90, 160));
        QCOMPARE(item->thumbnail().size(), QSize(90, 160)); // upright, never scaled up
    }

    void storedViewModes_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("columns");
        QTest::addColumn<VideoGalleryViewModel::GridMode>("mode");
        QTest::newRow("Solo") << "Solo" << 1 << VideoGalleryViewModel::GridMode::automatic;
        QTest::newRow("Comfort ignores the width") << "Comfort" << 2 << VideoGalleryViewModel::GridMode::comfortable;
        QTest::newRow("Compact") << "Compact" << 3 << VideoGalleryViewModel::GridMode::compact;
        QTest::newRow("unknown") << "compact" << 1 << VideoGalleryViewModel::GridMode::automatic;
    }
    void storedViewModes() {
        QFETCH(QString, stored);
        QFETCH(int, columns);
        QFETCH(VideoGalleryViewModel::GridMode, mode);
        gallery->setColumns(3);
        gallery->setPreferredGridMode(VideoGalleryViewModel::GridMode::compact);
        gallery->updateColumns(1000);
        gallery->saveViewModeSettings(stored);
        VideoGalleryViewModel fresh;
        fresh.setModelContext(world->store.get());
        fresh.updateColumns(1000);
        fresh.loadViewModeSettings();
        QCOMPARE(fresh.columns(), columns);
        QCOMPARE(fresh.preferredGridMode(), mode);
    }

    void viewModeRoundTripThroughTheMenu() {
        VideoGalleryViewModel unchanged;
        unchanged.setColumns(3);
        unchanged.setModelContext(world->store.get());
        unchanged.loadViewModeSettings(); // no record yet
        QCOMPARE(unchanged.columns(), 3);

        const auto compact = VideoGalleryViewModel::gridModeChoices().at(2);
        QCOMPARE(compact.name, "Compact");
        gallery->selectGridMode(compact);
        QCOMPARE(gallery->columns(), 3);
        QCOMPARE(gallery->currentGridModeName(), "Compact");
        const auto records = world->store->fetch<AppSettings>();
        QCOMPARE(records->size(), 1);
        QCOMPARE(records->first()->videoGalleryViewMode(), "Compact");
        gallery->selectGridMode(VideoGalleryViewModel::gridModeChoices().at(1));
        QCOMPARE(world->store->fetch<AppSettings>()->size(), 1);
        QCOMPARE(world->store->fetch<AppSettings>()->first()->videoGalleryViewMode(), "Comfort");

        VideoGalleryViewModel noStore;
        noStore.saveViewModeSettings("Compact"); // nothing to write to: nothing happens
        QCOMPARE(world->store->fetch<AppSettings>()->first()->videoGalleryViewMode(), "Comfort");
    }

    void columnRules_data() {
        QTest::addColumn<VideoGalleryViewModel::GridMode>("mode");
        QTest::addColumn<double>("width");
        QTest::addColumn<int>("columns");
        using M = VideoGalleryViewModel::GridMode;
        QTest::newRow("auto wide") << M::automatic << 3000.0 << 1;
        QTest::newRow("compact narrow") << M::compact << 800.0 << 3;
        QTest::newRow("comfortable below 1200") << M::comfortable << 1199.0 << 1;
        QTest::newRow("comfortable at 1200") << M::comfortable << 1200.0 << 2;
    }
    void columnRules() {
        QFETCH(VideoGalleryViewModel::GridMode, mode);
        QFETCH(double, width);
        QFETCH(int, columns);
        gallery->setPreferredGridMode(mode);
        gallery->updateColumns(width);
        QCOMPARE(gallery->columns(), columns);
    }

    // Listing resets the rows once; after that every change is a row of its own.
    void clipRowsChangeOneAtATime() {
        QVERIFY(addClip("Orvane_a.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring(); // only the events this test sends
        GalleryClipModel* clips = gallery->clipModel();
        QSignalSpy resets(clips, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(clips, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(clips, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(clips, &QAbstractItemModel::dataChanged);

        QVERIFY(addClip("Orvane_b.mp4"));
        gallery->handleFileSystemEvent(FileSystemEvent::fileAdded(path("Orvane_b.mp4")));
        QVERIFY(waitForAll([&] { return inserted.size() == 1; }));
        QCOMPARE(inserted.first().at(1).toInt(), 0);
        QCOMPARE(clips->index(0).data(GalleryClipModel::FileNameRole).toString(), "Orvane_b.mp4");
        QCOMPARE(cells->index(0, 0).data(VideoGalleryItemModel::PathRole).toString(), path("Orvane_b.mp4"));
        QVERIFY(!clips->index(0).data(Qt::DecorationRole).isNull()); // read before it was listed

        // A record stored for the clip: its title and badges change, nothing else.
        changed.clear();
        addRecord(*world->store, "Orvane_b.mp4", "a fox", world->clock.now());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).value<QModelIndex>().row(), 0);
        QCOMPARE(rolesOf(changed.first()), (QList<int>{Qt::DisplayRole, GalleryClipModel::OverlayRole}));
        QCOMPARE(clips->index(0).data().toString(), "a fox");
        QCOMPARE(clips->index(0).data(GalleryClipModel::OverlayRole).value<VideoOverlayMetadata>().quality, "768P");

        // A picture read on request arrives in its row.
        changed.clear();
        QVERIFY(!clips->index(1).data(GalleryClipModel::MetadataLoadedRole).toBool());
        clips->ensureMetadata(1);
        QVERIFY(waitForAll([&] { return !changed.isEmpty(); }));
        QCOMPARE(changed.first().at(0).value<QModelIndex>().row(), 1);
        QVERIFY(rolesOf(changed.first()).contains(Qt::DecorationRole));
        QVERIFY(clips->index(1).data(GalleryClipModel::MetadataLoadedRole).toBool());

        // A rename keeps the row, a removal takes one.
        QVERIFY(QFile::rename(path("Orvane_a.mp4"), path("Orvane_c.mp4")));
        gallery->handleFileSystemEvent(FileSystemEvent::fileRenamed(path("Orvane_a.mp4"), path("Orvane_c.mp4")));
        QCOMPARE(clips->index(1).data(GalleryClipModel::FileNameRole).toString(), "Orvane_c.mp4");
        QVERIFY(QFile::remove(path("Orvane_b.mp4")));
        gallery->handleFileSystemEvent(FileSystemEvent::fileRemoved(path("Orvane_b.mp4")));
        QCOMPARE(titlesOf(*cells), QStringList{"Orvane_c"});
        QCOMPARE(removed.size(), 1);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(resets.size(), 0);
        world->drain();
    }

    // A held gallery reads no pictures: the rows asked for meanwhile are read on release, those gone are not.
    void heldRowsAreReadOnRelease() {
        for (const char* name : {"Orvane_a.mp4", "Orvane_b.mp4", "Orvane_c.mp4"})
            QVERIFY(addClip(name));
        GalleryClipModel* clips = gallery->clipModel();
        clips->holdMetadata();
        gallery->setFirstScreenCount(3); // the listing asks for the first screen itself
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring(); // only the events this test sends
        QCOMPARE(clips->rowCount(), 3);
        clips->ensureMetadata(1);
        world->drain();
        const auto stateOf = [clips](int row) { return clips->clips().at(row)->metadataState(); };
        for (int row = 0; row < 3; ++row)
            QCOMPARE(stateOf(row), GalleryClip::MetadataState::notLoaded);

        // One of them leaves the folder before the gallery is seen.
        const QString gone = clips->clips().at(2)->path();
        QPointer<GalleryClip> goneClip = clips->clips().at(2);
        QVERIFY(QFile::remove(gone));
        gallery->handleFileSystemEvent(FileSystemEvent::fileRemoved(gone));
        QCOMPARE(clips->rowCount(), 2);
        if (goneClip)
            QCOMPARE(goneClip->metadataState(), GalleryClip::MetadataState::notLoaded);

        QSignalSpy released(clips, &GalleryClipModel::metadataReleased);
        clips->releaseMetadata();
        QCOMPARE(released.size(), 1);
        QVERIFY(!clips->isMetadataHeld());
        QVERIFY(waitForAll([&] {
            return stateOf(0) == GalleryClip::MetadataState::loaded && stateOf(1) == GalleryClip::MetadataState::loaded;
        }));
        if (goneClip)
            QCOMPARE(goneClip->metadataState(), GalleryClip::MetadataState::notLoaded);
        clips->releaseMetadata(); // once only
        QCOMPARE(released.size(), 1);
        world->drain();
    }

    // What the thumbnail cache has of a held clip is taken at once: nothing is decoded for it.
    void aHeldClipTakesItsCachedPicture() {
        QVERIFY(addClip("Orvane_a.mp4"));
        QVERIFY(addClip("Orvane_b.mp4"));
        QVERIFY(ClipMetadataLoader::load(path("Orvane_a.mp4")).ok);
        ClipMetadataLoader::waitForCacheWrites();
        GalleryClipModel* clips = gallery->clipModel();
        clips->holdMetadata();
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        const int cachedRow = clips->rowOfPath(path("Orvane_a.mp4"));
        const int newRow = clips->rowOfPath(path("Orvane_b.mp4"));
        clips->ensureMetadata(cachedRow);
        clips->ensureMetadata(newRow);
        QVERIFY(waitForAll(
            [&] { return clips->clips().at(cachedRow)->metadataState() == GalleryClip::MetadataState::loaded; }));
        QVERIFY(!clips->clips().at(cachedRow)->thumbnail().isNull());
        world->drain();
        QCOMPARE(clips->clips().at(newRow)->metadataState(), GalleryClip::MetadataState::notLoaded);
        QCOMPARE(clips->heldPaths(), (QStringList{path("Orvane_a.mp4"), path("Orvane_b.mp4")}));
        QVERIFY(clips->isMetadataHeld());
    }

    void jobRowsChangeOneAtATime() {
        GalleryJobModel jobs;
        const auto tester = testerOf(&jobs);
        QSignalSpy resets(&jobs, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&jobs, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&jobs, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&jobs, &QAbstractItemModel::dataChanged);
        GenerationTask a, b, c;
        a.prompt = "a";
        b.prompt = "b";
        c.prompt = "c";
        jobs.setJobs({a, b});
        QCOMPARE(titlesOf(jobs), (QStringList{"a", "b"}));
        QCOMPARE(inserted.size(), 2);

        // A job starts: its row says what changed, no row comes or goes.
        b.status = GenerationTaskStatus::active;
        jobs.setJobs({a, b});
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).value<QModelIndex>().row(), 1);
        QVERIFY(rolesOf(changed.first()).contains(GalleryJobModel::StatusTextRole));
        QVERIFY(!rolesOf(changed.first()).contains(Qt::DisplayRole));
        QCOMPARE(jobs.index(1).data(GalleryJobModel::StatusTextRole).toString(), "Generating...");
        jobs.setJobs({a, b}); // nothing new: nothing said
        QCOMPARE(changed.size(), 1);
        QCOMPARE(inserted.size(), 2);
        QCOMPARE(removed.size(), 0);

        // One leaves, one comes; then the order turns.
        jobs.setJobs({b, c});
        QCOMPARE(titlesOf(jobs), (QStringList{"b", "c"}));
        QCOMPARE(removed.size(), 1);
        QCOMPARE(inserted.size(), 3);
        jobs.setJobs({c, b});
        QCOMPARE(titlesOf(jobs), (QStringList{"c", "b"}));
        QCOMPARE(jobs.rowOfId(b.id), 1);
        QCOMPARE(jobs.index(1).data(GalleryJobModel::IdRole).toUuid(), b.id);
        jobs.setJobs({});
        QCOMPARE(jobs.rowCount(), 0);
        QCOMPARE(resets.size(), 0);
    }

    void theTrashAsksFirstAndKeepsTheRecord() {
        ScriptedDialogs dialogs;
        RecordingWorkspace workspace;
        addRecord(*world->store, "Orvane_fox.mp4", "a fox", world->clock.now());
        QVERIFY(addClip("Orvane_fox.mp4"));
        QVERIFY(addClip("Orvane_b.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring(); // only the trash's own reload changes the list
        GalleryClip* fox = gallery->videos().at(gallery->indexOfPath(path("Orvane_fox.mp4")));

        dialogs.alertAnswer = 1; // Cancel
        gallery->confirmMoveToTrash(fox);
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts.first().style, Dialogs::AlertStyle::warning);
        QCOMPARE(dialogs.alerts.first().message, "Move Video to Trash");
        QCOMPARE(
            dialogs.alerts.first().informativeText,
            "Are you sure you want to move 'Orvane_fox.mp4' to the Trash? You can restore it from the Trash later.");
        QCOMPARE(dialogs.alerts.first().buttons, (QStringList{"Move to Trash", "Cancel"}));
        QVERIFY(workspace.trashed.isEmpty());

        // The trash refuses: the user is told, the list stays.
        dialogs.alertAnswer = 0;
        workspace.trashAnswer = false;
        gallery->confirmMoveToTrash(fox);
        QCOMPARE(workspace.trashed, QStringList{path("Orvane_fox.mp4")});
        QCOMPARE(dialogs.alerts.size(), 3);
        QCOMPARE(dialogs.alerts.last().style, Dialogs::AlertStyle::critical);
        QCOMPARE(dialogs.alerts.last().message, "“Orvane_fox.mp4” couldn’t be moved to the Trash.");
        QCOMPARE(dialogs.alerts.last().informativeText, workspace.trashRefusal);
        QTest::qWait(20);
        QCOMPARE(gallery->count(), 2);

        // Moved: the list is read again on the next turn of the event loop; the record stays.
        workspace.trashAnswer = true;
        workspace.removeFiles = true;
        gallery->confirmMoveToTrash(fox);
        QCOMPARE(workspace.trashed.size(), 2);
        QCOMPARE(gallery->count(), 2);
        QTRY_COMPARE(namesOf(*gallery), QStringList{"Orvane_b.mp4"});
        QCOMPARE(dialogs.alerts.size(), 4);
        QCOMPARE(world->store->fetch<VideoMetadata>()->size(), 1);

        gallery->confirmMoveToTrash(nullptr);
        QCOMPARE(dialogs.alerts.size(), 4);
    }

    // The desktop's own trash: when the home trash cannot be used, the clip stays, the user is told why and
    // nothing lands anywhere else (such as the working folder); a usable one takes the clip with its record.
    void theRealTrashKeepsTheClipWhenItCannotTakeIt() {
        ScriptedDialogs dialogs;
        const QString workingFolder = world->folder("working");
        const QString previousWorkingFolder = QDir::currentPath();
        const QByteArray previousDataHome = qgetenv("XDG_DATA_HOME");
        const QString readOnly = world->folder("read-only");
        bool mounted = false;
        const auto restore = qScopeGuard([&] {
            if (mounted)
                ::umount2(QFile::encodeName(readOnly).constData(), MNT_DETACH);
            QDir::setCurrent(previousWorkingFolder);
            if (previousDataHome.isEmpty())
                qunsetenv("XDG_DATA_HOME");
            else
                qputenv("XDG_DATA_HOME", previousDataHome);
        });
        QVERIFY(QDir::setCurrent(workingFolder));
        const auto useDataHome = [](const QString& dataHome) { qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome)); };
        const auto workingFolderIsEmpty = [&] {
            return QDir(workingFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
        };

        QVERIFY(addClip("Orvane_fox.mp4"));
        gallery->startMonitoring(folder);
        QVERIFY(waitUntilListed(*gallery));
        gallery->fileSystemMonitor()->stopMonitoring(); // only the trash's own reload changes the list
        GalleryClip* fox = gallery->videos().first();
        dialogs.alertAnswer = 0;

        // The home trash is a plain file.
        const QString plain = world->folder("data-plain");
        QVERIFY(writeFile(plain + "/Trash", "not a folder"));
        useDataHome(plain);
        gallery->confirmMoveToTrash(fox);
        QCOMPARE(dialogs.alerts.size(), 2);
        QCOMPARE(dialogs.alerts.last().style, Dialogs::AlertStyle::critical);
        QCOMPARE(dialogs.alerts.last().message, "“Orvane_fox.mp4” couldn’t be moved to the Trash.");
        QCOMPARE(dialogs.alerts.last().informativeText, plain + "/Trash: Not a directory");
        QVERIFY(QFile::exists(path("Orvane_fox.mp4")));
        QVERIFY(workingFolderIsEmpty());

        // Its folder cannot be made: a read-only place on the clip's own file system.
        const QByteArray readOnlyName = QFile::encodeName(readOnly);
        mounted = ::mount(readOnlyName.constData(), readOnlyName.constData(), "none", MS_BIND, nullptr) == 0;
        QVERIFY2(mounted, "tests need root to mount");
        QVERIFY(::mount("none", readOnlyName.constData(), "none", MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);
        useDataHome(readOnly + "/data");
        gallery->confirmMoveToTrash(fox);
        QCOMPARE(dialogs.alerts.size(), 4);
        QCOMPARE(dialogs.alerts.last().informativeText, readOnly + "/data: Read-only file system");
        QVERIFY(QFile::exists(path("Orvane_fox.mp4")));
        QVERIFY(workingFolderIsEmpty());
        QTest::qWait(20);
        QCOMPARE(namesOf(*gallery), QStringList{"Orvane_fox.mp4"});

        // A usable trash, made on first use.
        const QString dataHome = world->environment.path("data");
        useDataHome(dataHome);
        gallery->confirmMoveToTrash(fox);
        QCOMPARE(dialogs.alerts.size(), 5);
        QVERIFY(!QFile::exists(path("Orvane_fox.mp4")));
        QVERIFY(QFile::exists(dataHome + "/Trash/files/Orvane_fox.mp4"));
        QFile record(dataHome + "/Trash/info/Orvane_fox.mp4.trashinfo");
        QVERIFY(record.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(record.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0), "[Trash Info]");
        QCOMPARE(lines.at(1), "Path=" + QString::fromLatin1(QUrl::toPercentEncoding(path("Orvane_fox.mp4"), "/")));
        QVERIFY2(QRegularExpression("^DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$")
                     .match(lines.at(2))
                     .hasMatch(),
                 qPrintable(lines.at(2)));
        QTRY_VERIFY(namesOf(*gallery).isEmpty());
        QVERIFY(workingFolderIsEmpty());
    }

    void theEmptyStateFollowsTheVideoKey_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("warning");
        QTest::addColumn<QStringList>("shown"); // symbol, title, subtitle
        const QStringList missing{"exclamationmark.triangle", "MiniMax API key not set",
                                  "Please go to API settings to configure your key"};
        QTest::newRow("none") << "" << true << missing;
        QTest::newRow("blank") << " \n\t" << true << missing;
        QTest::newRow("set") << "key-1" << false
                             << QStringList{"play.rectangle.on.rectangle", "Ready for parallel motion generation",
                                            "Up to 4 videos can be generated simultaneously"};
    }
    void theEmptyStateFollowsTheVideoKey() {
        QFETCH(QString, key);
        QFETCH(bool, warning);
        QFETCH(QStringList, shown);
        APIManager::shared().setMiniMaxAPIKey("other");
        QSignalSpy told(gallery.get(), &VideoGalleryViewModel::hasVideoKeyChanged);
        APIManager::shared().setMiniMaxAPIKey(key);
        QCOMPARE(told.size(), 1);
        QCOMPARE(gallery->hasVideoKey(), !warning);
        const auto state = gallery->emptyState();
        QCOMPARE(state.warning, warning);
        QCOMPARE((QStringList{state.symbol, state.title, state.subtitle}), shown);
    }

    void gridModeNameFollowsTheColumns() {
        const QList<std::pair<int, QString>> cases{{1, "Solo"}, {2, "Comfort"}, {3, "Compact"}, {4, "Comfort"}};
        gallery->setPreferredGridMode(VideoGalleryViewModel::GridMode::compact);
        for (const auto& [columns, name] : cases) {
            gallery->setColumns(columns);
            QCOMPARE(gallery->currentGridModeName(), name);
        }
    }
};

QTEST_GUILESS_MAIN(GalleryModelTest)
#include "tst_gallery_model.moc"
