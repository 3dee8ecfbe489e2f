#include "EngineTestSupport.h"

#include "APIManager.h"
#include "AppPaths.h"
#include "DiskFaults.h"
#include "FfmpegTool.h"
#include "FolderBookmark.h"
#include "MiniMaxAPIService.h"
#include "ModelSchema.h"
#include "QueueManager.h"
#include "SmallDisk.h"
#include "StoreFaults.h"
#include "VideoMetadata.h"
#include "VideoSettings.h"

#include <QDir>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>
#include <QThreadPool>

#include <sys/stat.h>

namespace {

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool sameColor(const QColor& a, const QColor& b) {
    return qAbs(a.red() - b.red()) < 12 && qAbs(a.green() - b.green()) < 12 && qAbs(a.blue() - b.blue()) < 12;
}

// Notes, at each sound, how many clip records another connection can already read from the store.
class StoreCheckingPlayer final : public SoundPlayer {
public:
    explicit StoreCheckingPlayer(QString storePath) : storePath_(std::move(storePath)) {
        SoundPlayer::setCurrent(this);
    }
    ~StoreCheckingPlayer() override { SoundPlayer::setCurrent(nullptr); }
    QList<qsizetype> recordsAtSound;
    bool play(const QString&) override {
        const auto reader = ModelSchema::openStore(storePath_);
        recordsAtSound.append(reader->fetch<VideoMetadata>().value_or(QList<std::shared_ptr<VideoMetadata>>()).size());
        return true;
    }

private:
    QString storePath_;
};

} // namespace

class VideoFilingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EngineWorld> world;
    std::unique_ptr<ModelContext> store;
    std::unique_ptr<QueueManager> queue;
    std::unique_ptr<ModelContext> reader;
    QString folder;

    QString storePath() const { return world->environment.path("store/Orvane.store"); }

    void chooseVideoFolder() {
        VideoSettings settings;
        settings.setVideoDirectoryBookmark(FolderBookmark::create(folder));
    }

    // A completed job whose clip lies in the temporary folder, as the download leaves it.
    GenerationTask finishedTask(const QString& prompt, const QList<QImage>& frames,
                                std::optional<VideoModel> model = VideoModel::hailuo23Fast) {
        static int counter = 0;
        const QString clip = AppPaths::downloadsFolder() + QStringLiteral("/minimax_video_%1.mp4").arg(++counter);
        QFile file(clip);
        file.open(QIODevice::WriteOnly);
        file.write(fixtureClip());
        GenerationTask task;
        task.prompt = prompt;
        task.referenceImages = frames;
        task.quality = VideoQuality::p1080;
        task.duration = VideoDuration::seconds6;
        task.promptOptimization = true;
        task.model = model;
        task.fastPretreatment = false;
        task.status = GenerationTaskStatus::completed;
        task.progress = 1.0;
        task.result = GenerationResult::video(clip);
        return task;
    }

    QStringList folderEntries() const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    static QString unfiledFolder() { return AppPaths::dataFolder() + "/Unfiled"; }

    static QStringList unfiledEntries() {
        return QDir(unfiledFolder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    static mode_t modeOf(const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
    }

    QStringList recordedNames() {
        QStringList names;
        for (const auto& record : storedRecords())
            names.append(record->fileName());
        names.sort();
        return names;
    }

    // Read through a second connection, kept open so the records can still read their pictures.
    QList<std::shared_ptr<VideoMetadata>> storedRecords() {
        reader = ModelSchema::openStore(storePath());
        return reader->fetch<VideoMetadata>().value_or(QList<std::shared_ptr<VideoMetadata>>());
    }

    bool runUntilSounds(int count) {
        return world->clock.runUntil([&] { return world->sounds.played.size() >= count; }, 1e6, 10000);
    }

    // A video folder, a key and a queue that sees it: jobs run against the fake service.
    void startQueueWithKey() {
        chooseVideoFolder();
        queue.reset();
        APIManager::shared().setMiniMaxAPIKey("test-key-1");
        queue = std::make_unique<QueueManager>();
        queue->setModelContext(store.get());
    }

    // Lets a filing that should do nothing more have every chance to do something.
    void settle() {
        world->clock.runUntil([] { return false; }, 5, 300);
    }

private slots:
    void initTestCase() { QVERIFY(!fixtureClip().isEmpty()); }

    void init() {
        world = std::make_unique<EngineWorld>();
        folder = world->environment.path("Videos");
        QDir().mkpath(folder);
        QDir().mkpath(world->environment.path("store"));
        store = ModelSchema::openStore(storePath());
        queue = std::make_unique<QueueManager>();
        queue->setModelContext(store.get());
    }

    void cleanup() {
        reader.reset();
        queue.reset();
        store.reset();
        world.reset();
    }

    void fileNames_data() {
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("slug");
        QTest::newRow("punctuation") << "A cat, jumping!"
                                     << "a_cat_jumping";
        QTest::newRow("spaces around") << "  Sunset over the sea \n"
                                       << "sunset_over_the_sea";
        QTest::newRow("ampersand and dash") << "Salt & pepper - fast"
                                            << "salt_pepper_fast";
        QTest::newRow("symbols") << "1+1 = two"
                                 << "11_two";
        QTest::newRow("accent") << "café au lait"
                                << "caf_au_lait";
        QTest::newRow("empty") << ""
                               << "video";
        QTest::newRow("punctuation only") << "!!!"
                                          << "video";
        QTest::newRow("another script") << "Кошка прыгает"
                                        << "video";
        QTest::newRow("long") << "hello world this is a long prompt"
                              << "hello_world_this_is_a_lon";
        QTest::newRow("cut after the trim") << "abcdefghijklmnopqrstuvwx yz"
                                            << "abcdefghijklmnopqrstuvwx_";
        QTest::newRow("camera tags") << "[Pan left] slow, (dolly-in)"
                                     << "pan_left_slow_dolly_in";
    }

    void fileNames() {
        QFETCH(QString, prompt);
        QFETCH(QString, slug);
        world->clock.advance(45);
        QCOMPARE(ClipFiler::makeVideoFileName(prompt), "Orvane_20260101_120045_" + slug + ".mp4");
    }

    void filesTheClipWithItsRecord() {
        chooseVideoFolder();
        const GenerationTask task = finishedTask("A cat, jumping!", {solidFrame(Qt::red), solidFrame(Qt::blue)});
        queue->saveVideoToFolder(task);
        QVERIFY(runUntilSounds(1));
        QCOMPARE(world->sounds.played, QStringList({"Glass"}));

        const QString name = "Orvane_20260101_120000_a_cat_jumping.mp4";
        QCOMPARE(folderEntries(), QStringList({name}));
        QCOMPARE(contentsOf(folder + "/" + name), fixtureClip());
        // The download has done its work.
        QVERIFY(!QFileInfo::exists(task.result->videoValue()->fileURL));
        QVERIFY(world->environment.logLines().contains("💾 ✅ Successfully saved video metadata to Swift Data: " + name));

        const auto records = storedRecords();
        QCOMPARE(records.size(), 1);
        const auto& record = records.first();
        QCOMPARE(record->fileName(), name);
        QCOMPARE(record->prompt(), "A cat, jumping!");
        QCOMPARE(record->quality(), "1080P");
        QCOMPARE(record->duration(), 6);
        QCOMPARE(record->videoMode(), "start_end_video");
        QCOMPARE(record->promptOptimization(), true);
        QCOMPARE(*record->model(), "2.3 Fast");
        QCOMPARE(*record->fastPretreatment(), false);
        QCOMPARE(record->createdAt(), world->clock.now());
        QVERIFY(!record->promptPreset() && !record->imagePreset());
        QVERIFY(record->firstFrameImageData()->startsWith("\xff\xd8"));
        QVERIFY(sameColor(record->firstFrameImage().pixelColor(10, 10), Qt::red));
        QVERIFY(sameColor(record->lastFrameImage().pixelColor(10, 10), Qt::blue));
    }

    void oneFrameAndTheModelLabels_data() {
        QTest::addColumn<int>("model"); // -1: none
        QTest::addColumn<QString>("label");
        QTest::newRow("2.0") << int(VideoModel::hailuo02) << "2.0";
        QTest::newRow("2.3") << int(VideoModel::hailuo23) << "2.3";
        QTest::newRow("none") << -1 << QString();
    }

    void oneFrameAndTheModelLabels() {
        QFETCH(int, model);
        QFETCH(QString, label);
        chooseVideoFolder();
        GenerationTask task =
            finishedTask("", {solidFrame(Qt::red)}, model < 0 ? std::nullopt : std::optional(VideoModel(model)));
        task.quality.reset();
        task.duration.reset();
        task.promptOptimization.reset();
        task.fastPretreatment.reset();
        queue->saveVideoToFolder(task);
        QVERIFY(runUntilSounds(1));
        const auto record = storedRecords().first();
        QCOMPARE(record->fileName(), "Orvane_20260101_120000_video.mp4");
        QCOMPARE(record->videoMode(), "image_to_video");
        QCOMPARE(record->model().value_or(QString()), label);
        QCOMPARE(record->model().has_value(), model >= 0);
        QCOMPARE(record->quality(), "768P");
        QCOMPARE(record->duration(), 6);
        QCOMPARE(record->promptOptimization(), false);
        QVERIFY(!record->fastPretreatment());
        QVERIFY(record->firstFrameImageData());
        QVERIFY(!record->lastFrameImageData());
    }

    void theSoundFollowsTheSavedRecord() {
        chooseVideoFolder();
        StoreCheckingPlayer player(storePath());
        queue->saveVideoToFolder(finishedTask("first", {solidFrame(Qt::red)}));
        QVERIFY(world->clock.runUntil([&] { return !player.recordsAtSound.isEmpty(); }, 1e6, 10000));
        QCOMPARE(player.recordsAtSound, QList<qsizetype>({1}));
    }

    // No folder chosen yet: the paid clip is kept and recorded like one the folder cannot take, the user is told,
    // and it moves into the folder chosen later.
    void withoutAFolderTheClipIsKeptUntilOneIsChosen() {
        ScriptedDialogs dialogs;
        const GenerationTask task = finishedTask("a cat", {solidFrame(Qt::red)});
        queue->saveVideoToFolder(task);
        QVERIFY(runUntilSounds(1));
        settle();
        const QString name = "Orvane_20260101_120000_a_cat.mp4";
        QCOMPARE(unfiledEntries(), QStringList({name}));
        QCOMPARE(contentsOf(unfiledFolder() + "/" + name), fixtureClip());
        QVERIFY(!QFileInfo::exists(task.result->videoValue()->fileURL));
        QCOMPARE(recordedNames(), QStringList({name}));
        QCOMPARE(dialogs.notices.size(), 1);
        QCOMPARE(dialogs.notices.first().message, "A finished clip could not be saved in your video folder");
        QVERIFY2(dialogs.notices.first().informativeText.contains("No video folder has been chosen"),
                 qPrintable(dialogs.notices.first().informativeText));

        chooseVideoFolder();
        queue->fileUnfiledClips();
        QVERIFY(world->clock.runUntil([&] { return unfiledEntries().isEmpty(); }, 1e6, 10000));
        QCOMPARE(folderEntries(), QStringList({name}));
        QCOMPARE(contentsOf(folder + "/" + name), fixtureClip());
        QCOMPARE(recordedNames(), QStringList({name}));
    }

    void withoutAStoreTheClipIsCopiedButNotRecorded() {
        chooseVideoFolder();
        queue->setModelContext(nullptr);
        queue->saveVideoToFolder(finishedTask("a cat", {solidFrame(Qt::red)}));
        QVERIFY(world->clock.runUntil([&] { return !folderEntries().isEmpty(); }, 1e6, 10000));
        settle();
        QCOMPARE(folderEntries(), QStringList({"Orvane_20260101_120000_a_cat.mp4"}));
        QVERIFY(storedRecords().isEmpty());
        QVERIFY(world->sounds.played.isEmpty());
    }

    void withSoundsOffTheRecordIsSavedSilently() {
        chooseVideoFolder();
        VideoSettings().setSoundNotificationEnabled(false);
        queue->saveVideoToFolder(finishedTask("a cat", {solidFrame(Qt::red)}));
        QVERIFY(world->clock.runUntil([&] { return !storedRecords().isEmpty(); }, 1e6, 10000));
        settle();
        QVERIFY(world->sounds.played.isEmpty());
    }

    void collidingNamesAreAllKept() {
        chooseVideoFolder();
        const QString taken = folder + "/Orvane_20260101_120000_a_cat.mp4";
        QFile existing(taken);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("someone else's clip");
        existing.close();

        queue->saveVideoToFolder(finishedTask("a cat", {solidFrame(Qt::red)}));
        queue->saveVideoToFolder(finishedTask("A cat!", {solidFrame(Qt::blue)}));
        QVERIFY(runUntilSounds(2));
        QCOMPARE(folderEntries(), QStringList({"Orvane_20260101_120000_a_cat.mp4", "Orvane_20260101_120000_a_cat_2.mp4",
                                               "Orvane_20260101_120000_a_cat_3.mp4"}));
        QCOMPARE(contentsOf(taken), "someone else's clip");
        QStringList recorded;
        for (const auto& record : storedRecords())
            recorded.append(record->fileName());
        recorded.sort();
        QCOMPARE(recorded, QStringList({"Orvane_20260101_120000_a_cat_2.mp4", "Orvane_20260101_120000_a_cat_3.mp4"}));
    }

    // Clips that finish together under one name race for it; each must end up whole under its own name.
    void simultaneousSameNamedFilingsKeepEveryClip() {
        chooseVideoFolder();
        constexpr int kRounds = 25;
        constexpr int kClipsPerRound = 8;
        QHash<QByteArray, QString> sources; // distinct bytes of each clip -> round stamp it was filed in
        int filed = 0;
        for (int round = 0; round < kRounds; ++round) {
            world->clock.advance(1); // a new stamp, so each round's clips share a fresh name
            const QString stamp = world->clock.now().toString("yyyyMMdd_HHmmss");
            for (int i = 0; i < kClipsPerRound; ++i) {
                GenerationTask task = finishedTask("race", {});
                // Large, distinct clips widen the window in which a replacing rename would lose one.
                const QByteArray bytes = QByteArray(512 << 10, char('a' + i)) + QByteArray::number(round);
                QFile clip(task.result->videoValue()->fileURL);
                QVERIFY(clip.open(QIODevice::WriteOnly | QIODevice::Truncate));
                clip.write(bytes);
                clip.close();
                sources.insert(bytes, stamp);
                queue->saveVideoToFolder(task);
            }
            filed += kClipsPerRound;
            QVERIFY(runUntilSounds(filed));
        }

        const QStringList entries = folderEntries();
        QCOMPARE(entries.size(), kRounds * kClipsPerRound);
        QSet<QByteArray> seen;
        for (const QString& name : entries) {
            const QByteArray bytes = contentsOf(folder + "/" + name);
            QVERIFY2(sources.contains(bytes), qPrintable(name + " holds no clip's bytes whole"));
            QVERIFY2(name.startsWith("Orvane_" + sources.value(bytes) + "_race"), qPrintable(name));
            QVERIFY2(!seen.contains(bytes), qPrintable(name + " repeats another clip"));
            seen.insert(bytes);
        }
        QStringList recorded;
        for (const auto& record : storedRecords())
            recorded.append(record->fileName());
        recorded.sort();
        QCOMPARE(recorded, entries);
    }

    void aFailedCopyIsLoggedAndRecordsNothing() {
        chooseVideoFolder();
        GenerationTask task = finishedTask("a cat", {solidFrame(Qt::red)});
        QFile::remove(task.result->videoValue()->fileURL);
        queue->saveVideoToFolder(task);
        QVERIFY(world->clock.runUntil(
            [&] { return world->environment.hasLineStartingWith("❌ Failed to copy video into the video folder: "); },
            1e6, 10000));
        settle();
        QVERIFY(folderEntries().isEmpty());
        QVERIFY(storedRecords().isEmpty());
        QVERIFY(world->sounds.played.isEmpty());
    }

    // The disk is full, or the folder is gone: the paid clip is kept in Orvane's own folder, recorded, and
    // the user is told where and why. Root ignores permissions, so the faults are ones root cannot pass.
    void aFolderThatCannotTakeTheClipLeavesItInUnfiled_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk") << "full"
                                   << "No space left on device";
        QTest::newRow("folder gone") << "gone"
                                     << "couldn’t be opened because it doesn’t exist";
        QTest::newRow("a file in its place") << "file"
                                             << "couldn’t be opened because it doesn’t exist";
    }

    void aFolderThatCannotTakeTheClipLeavesItInUnfiled() {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        ScriptedDialogs dialogs;
        chooseVideoFolder();
        if (fault == "full") {
            queue->filer().failCopiesIntoForTesting(folder, "No space left on device");
        } else {
            QVERIFY(QDir(folder).removeRecursively());
            if (fault == "file") {
                QFile file(folder);
                QVERIFY(file.open(QIODevice::WriteOnly));
            }
        }
        const GenerationTask task = finishedTask("A cat, jumping!", {solidFrame(Qt::red)});
        queue->saveVideoToFolder(task);
        QVERIFY(runUntilSounds(1));
        settle();

        const QString name = "Orvane_20260101_120000_a_cat_jumping.mp4";
        const QString kept = unfiledFolder() + "/" + name;
        QCOMPARE(unfiledEntries(), QStringList({name}));
        QCOMPARE(contentsOf(kept), fixtureClip());
        QCOMPARE(modeOf(unfiledFolder()), mode_t(0700));
        QCOMPARE(modeOf(kept), mode_t(0600));
        if (fault == "full")
            QVERIFY2(folderEntries().isEmpty(), qPrintable(folderEntries().join(", "))); // no half copy left
        QVERIFY(!QFileInfo::exists(task.result->videoValue()->fileURL));
        QCOMPARE(recordedNames(), QStringList({name}));

        QCOMPARE(dialogs.notices.size(), 1);
        const auto& notice = dialogs.notices.first();
        QCOMPARE(notice.style, Dialogs::AlertStyle::warning);
        QVERIFY2(notice.informativeText.contains("“" + kept + "”"), qPrintable(notice.informativeText));
        QVERIFY2(notice.informativeText.contains(reason), qPrintable(notice.informativeText));
        QVERIFY(dialogs.alerts.isEmpty());
    }

    // Kept clips go into the folder once it takes them again (at the next start); a clip whose name was taken
    // meanwhile gets another, and its record follows it.
    // A copy an earlier run was killed in the middle of is removed at the next start; one of this run stays.
    void copiesCutOffByAnEarlierRunAreRemoved() {
        chooseVideoFolder();
        const QString old = folder + "/.orvane-copy-earlier.part";
        const QString current = folder + "/.orvane-copy-current.part";
        for (const QString& path : {old, current}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("half a clip");
        }
        {
            QFile file(old);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(
                file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime));
        }
        queue.reset();
        queue = std::make_unique<QueueManager>();
        queue->setModelContext(store.get());
        // Written after this run started: a copy of its own.
        {
            QFile file(current);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(5), QFileDevice::FileModificationTime));
        }
        queue->fileUnfiledClips();
        QVERIFY(world->clock.runUntil([&] { return !QFileInfo::exists(old); }, 1e6, 10000));
        QCOMPARE(folderEntries(), QStringList({".orvane-copy-current.part"}));
    }

    void unfiledClipsMoveInOnceTheFolderTakesThem() {
        ScriptedDialogs dialogs;
        chooseVideoFolder();
        queue->filer().failCopiesIntoForTesting(folder, "No space left on device");
        queue->saveVideoToFolder(finishedTask("a cat", {solidFrame(Qt::red)}));
        world->clock.advance(1);
        queue->saveVideoToFolder(finishedTask("a dog", {solidFrame(Qt::blue)}));
        QVERIFY(runUntilSounds(2));
        const QStringList kept = {"Orvane_20260101_120000_a_cat.mp4", "Orvane_20260101_120001_a_dog.mp4"};
        QCOMPARE(unfiledEntries(), kept);
        QCOMPARE(dialogs.notices.size(), 2);

        // While the folder still refuses, nothing moves; each clip is tried.
        queue->fileUnfiledClips();
        QVERIFY(world->clock.runUntil(
            [&] {
                return world->environment.logLines()
                           .filter("❌ Failed to move an unfiled clip into the video folder: No space left on device")
                           .size() == 2;
            },
            1e6, 10000));
        QCOMPARE(unfiledEntries(), kept);
        QVERIFY2(folderEntries().isEmpty(), qPrintable(folderEntries().join(", ")));

        // The disk has room again, and another clip took the first name meanwhile. Next start:
        QFile other(folder + "/" + kept[0]);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("someone else's clip");
        other.close();
        queue.reset();
        store = ModelSchema::openStore(storePath());
        queue = std::make_unique<QueueManager>();
        queue->setModelContext(store.get());
        queue->fileUnfiledClips();
        QVERIFY(world->clock.runUntil([&] { return unfiledEntries().isEmpty(); }, 1e6, 10000));
        settle();

        const QString renamed = "Orvane_20260101_120000_a_cat_2.mp4";
        QCOMPARE(folderEntries(), QStringList({kept[0], renamed, kept[1]}));
        QCOMPARE(contentsOf(folder + "/" + kept[0]), "someone else's clip");
        QCOMPARE(contentsOf(folder + "/" + renamed), fixtureClip());
        QCOMPARE(contentsOf(folder + "/" + kept[1]), fixtureClip());
        QHash<QString, QString> promptOf;
        for (const auto& record : storedRecords())
            promptOf.insert(record->fileName(), record->prompt());
        QCOMPARE(promptOf, (QHash<QString, QString>{{renamed, "a cat"}, {kept[1], "a dog"}}));
        QCOMPARE(dialogs.notices.size(), 2); // told once per clip, not again
    }

    // Neither the folder nor Unfiled can take the clip: it waits among the downloads, named and recorded, outlives
    // the clean-up of stale downloads, and is filed at a later start once there is room.
    void whenNoFolderHasRoomTheClipWaitsAndIsFiledLater() {
        ScriptedDialogs dialogs;
        chooseVideoFolder();
        queue->filer().failCopiesIntoForTesting(folder, "No space left on device");
        QFile blocker(unfiledFolder()); // a file where the folder would go
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const GenerationTask task = finishedTask("a cat", {solidFrame(Qt::red)});
        queue->saveVideoToFolder(task);
        QVERIFY(runUntilSounds(1));
        settle();
        QVERIFY(world->environment.hasLineStartingWith("❌ Failed to keep video in the Unfiled folder: "));

        // Out of the runtime folder, which logout empties, into the cache's downloads.
        const QString name = "Orvane_20260101_120000_a_cat.mp4";
        const QString waiting = AppPaths::fallbackDownloadsFolder() + "/" + name;
        QVERIFY(!QFileInfo::exists(task.result->videoValue()->fileURL));
        QCOMPARE(contentsOf(waiting), fixtureClip());
        QVERIFY(folderEntries().isEmpty());
        QCOMPARE(recordedNames(), QStringList({name}));
        QCOMPARE(dialogs.notices.size(), 1);
        const QString text = dialogs.notices.first().informativeText;
        QVERIFY2(text.contains("“" + waiting + "”") && text.contains("No space left on device") &&
                     text.contains("File exists"),
                 qPrintable(text));

        // Two days on, the clean-up passes it over.
        world->clock.advance(2 * 24 * 3600);
        AppPaths::removeStaleDownloads();
        QVERIFY(QFileInfo::exists(waiting));

        // There is room again. Next start:
        QVERIFY(QFile::remove(unfiledFolder()));
        queue.reset();
        store = ModelSchema::openStore(storePath());
        queue = std::make_unique<QueueManager>();
        queue->setModelContext(store.get());
        queue->fileUnfiledClips();
        QVERIFY(world->clock.runUntil([&] { return !QFileInfo::exists(waiting); }, 1e6, 10000));
        settle();
        QCOMPARE(folderEntries(), QStringList({name}));
        QCOMPARE(contentsOf(folder + "/" + name), fixtureClip());
        QCOMPARE(recordedNames(), QStringList({name}));
        QCOMPARE(dialogs.notices.size(), 1);
    }

    // Without a folder, a waiting clip moves into Unfiled at the next start; when nothing can take it either, the
    // user learns where it is.
    void aWaitingClipMovesIntoUnfiledWithoutAFolder() {
        const QString name = "Orvane_20260101_110000_a_dog.mp4";
        const QString waiting = AppPaths::downloadsFolder() + "/" + name;
        QFile clip(waiting);
        QVERIFY(clip.open(QIODevice::WriteOnly) && clip.write(fixtureClip()) == fixtureClip().size());
        clip.close();
        queue->fileUnfiledClips();
        QVERIFY(world->clock.runUntil([&] { return !QFileInfo::exists(waiting); }, 1e6, 10000));
        QCOMPARE(unfiledEntries(), QStringList({name}));
        QCOMPARE(contentsOf(unfiledFolder() + "/" + name), fixtureClip());
    }

    // A whole clip an earlier run downloaded but never filed (it ended in between) outlives the clean-up and is
    // filed at the next start under the time it arrived; this run's own downloads are left to their filing.
    void aDownloadAnEarlierRunNeverFiledIsKeptAndFiled() {
        const QDir downloads(AppPaths::downloadsFolder());
        const auto leave = [&](const QString& name, const QByteArray& bytes, const QDateTime& at) {
            QFile file(downloads.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
                   (!at.isValid() || file.setFileTime(at, QFileDevice::FileModificationTime));
        };
        const QDateTime threeDaysAgo = world->clock.now().addDays(-3);
        QVERIFY(leave("minimax_video_orphan.mp4", fixtureClip(), threeDaysAgo));
        QVERIFY(leave("minimax_video_junk.mp4", "<html>gone</html>", threeDaysAgo));
        QCOMPARE(AppPaths::removeStaleDownloads(), 1);
        QVERIFY(downloads.exists("minimax_video_orphan.mp4"));

        chooseVideoFolder();
        queue.reset();
        queue = std::make_unique<QueueManager>();
        queue->setModelContext(store.get());
        QVERIFY(leave("minimax_video_fresh.mp4", fixtureClip(), {}));
        queue->fileUnfiledClips();
        QVERIFY(world->clock.runUntil([&] { return !downloads.exists("minimax_video_orphan.mp4"); }, 1e6, 10000));
        settle();
        QCOMPARE(folderEntries(), QStringList({"Orvane_20251229_120000_video.mp4"}));
        QCOMPARE(contentsOf(folder + "/Orvane_20251229_120000_video.mp4"), fixtureClip());
        QVERIFY(downloads.exists("minimax_video_fresh.mp4"));
        QVERIFY(storedRecords().isEmpty());
    }

    // A quit that stops waiting for a copy leaves no clip in the folder; the clip waits out of the runtime folder
    // under its name with its record saved, and the next start files it so, once.
    void aCopyTheQuitStopsWaitingForIsFiledWithItsRecordAtTheNextStart_data() {
        QTest::addColumn<int>("waitMs");
        QTest::newRow("the quit waited") << 100;
        QTest::newRow("the display went away: no wait") << 0;
    }
    void aCopyTheQuitStopsWaitingForIsFiledWithItsRecordAtTheNextStart() {
        QFETCH(int, waitMs);
        chooseVideoFolder();
        queue->filer().holdCopiesIntoForTesting(folder);
        const GenerationTask task = finishedTask("a cat", {solidFrame(Qt::red)});
        const QString download = task.result->videoValue()->fileURL;
        queue->saveVideoToFolder(task);
        QVERIFY(queue->isFiling());
        bool eventsRan = false;
        QMetaObject::invokeMethod(
            this, [&] { eventsRan = true; }, Qt::QueuedConnection);
        QVERIFY(!queue->finishFilingBeforeQuit(waitMs));
        QCOMPARE(eventsRan, waitMs > 0); // without a display no event loop may run
        QVERIFY(queue->isFiling());
        // The copy ends as it would while the process goes, with no event loop to go on after it.
        queue->filer().holdCopiesIntoForTesting({});
        QThreadPool::globalInstance()->waitForDone();
        const QString name = "Orvane_20260101_120000_a_cat.mp4";
        const QString waiting = AppPaths::fallbackDownloadsFolder() + "/" + name;
        QCOMPARE(folderEntries(), QStringList());
        QVERIFY(!QFileInfo::exists(download));
        QCOMPARE(contentsOf(waiting), fixtureClip());
        QCOMPARE(recordedNames(), QStringList({name}));

        queue = std::make_unique<QueueManager>();
        queue->setModelContext(store.get());
        queue->fileUnfiledClips();
        QVERIFY(world->clock.runUntil([&] { return !QFileInfo::exists(waiting); }, 1e6, 10000));
        settle();
        QCOMPARE(folderEntries(), QStringList({name}));
        QCOMPARE(contentsOf(folder + "/" + name), fixtureClip());
        QCOMPARE(recordedNames(), QStringList({name}));
        QVERIFY(storedRecords().first()->prompt() == "a cat" && storedRecords().first()->firstFrameImageData());
    }

    // A clip that cannot be read is passed over, the others are filed, and the user is told which one (once).
    void anUnreadableKeptClipIsPassedOver() {
        ScriptedDialogs dialogs;
        QVERIFY(QDir().mkpath(unfiledFolder()));
        // Reading this fails for every user, root included (nothing is mapped at its start).
        const QString unreadable = unfiledFolder() + "/Orvane_20250101_000000_broken.mp4";
        QVERIFY(QFile::link("/proc/self/mem", unreadable));
        const QStringList good = {"Orvane_20260101_120000_a_cat.mp4", "Orvane_20260101_120001_a_dog.mp4"};
        for (const QString& name : good) {
            QFile clip(unfiledFolder() + "/" + name);
            QVERIFY(clip.open(QIODevice::WriteOnly) && clip.write(fixtureClip()) == fixtureClip().size());
        }
        chooseVideoFolder();
        queue->fileUnfiledClips();
        QVERIFY(world->clock.runUntil([&] { return unfiledEntries().size() == 1; }, 1e6, 10000));
        settle();
        QCOMPARE(folderEntries(), good);
        QCOMPARE(unfiledEntries(), QStringList({"Orvane_20250101_000000_broken.mp4"}));
        QCOMPARE(dialogs.notices.size(), 1);
        const QString text = dialogs.notices.first().informativeText;
        QVERIFY2(text.contains("Orvane_20250101_000000_broken.mp4") && text.contains("Input/output error"),
                 qPrintable(text));

        queue->fileUnfiledClips();
        settle();
        QCOMPARE(dialogs.notices.size(), 1);
    }

    // A folder on a disk with less room than the clip: the user gets the system's reason, the folder no half copy.
    void aFolderThatRunsOutOfRoomMidCopyGivesTheSystemsReason() {
        ScriptedDialogs dialogs;
        SmallDisk disk(256 * 1024);
        QVERIFY2(disk.isMounted(), qPrintable(disk.error()));
        folder = disk.filePath("Videos");
        QVERIFY(QDir().mkpath(folder));
        chooseVideoFolder();
        disk.fill(fixtureClip().size() / 2);
        queue->saveVideoToFolder(finishedTask("a cat", {solidFrame(Qt::red)}));
        QVERIFY(runUntilSounds(1));
        settle();
        QVERIFY2(folderEntries().isEmpty(), qPrintable(folderEntries().join(", ")));
        QCOMPARE(unfiledEntries(), QStringList({"Orvane_20260101_120000_a_cat.mp4"}));
        QCOMPARE(dialogs.notices.size(), 1);
        const QString text = dialogs.notices.first().informativeText;
        QVERIFY2(text.contains("No space left on device") && !text.contains("Unknown error"), qPrintable(text));
    }

    void aFailedSaveIsLoggedAndSilent() {
        chooseVideoFolder();
        QSqlQuery trigger(store->database());
        QVERIFY(trigger.exec("CREATE TRIGGER refuse_clips BEFORE INSERT ON VideoMetadata "
                             "BEGIN SELECT RAISE(ABORT, 'disk says no'); END"));
        queue->saveVideoToFolder(finishedTask("a cat", {solidFrame(Qt::red)}));
        QVERIFY(world->clock.runUntil(
            [&] { return world->environment.hasLineStartingWith("💾 ❌ Failed to save video metadata: "); }, 1e6, 10000));
        settle();
        QCOMPARE(folderEntries(), QStringList({"Orvane_20260101_120000_a_cat.mp4"}));
        QVERIFY(world->sounds.played.isEmpty());
        // The record stays pending and is written with the store's next save; that save plays nothing.
        QVERIFY(trigger.exec("DROP TRIGGER refuse_clips"));
        QVERIFY(store->save());
        const auto records = storedRecords();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()->fileName(), "Orvane_20260101_120000_a_cat.mp4");
        QVERIFY(records.first()->firstFrameImageData());
        QVERIFY(world->sounds.played.isEmpty());
    }

    void aRecordLostToALockedStoreIsWrittenAtTheNextStart() {
        chooseVideoFolder();
        ScriptedDialogs dialogs;
        auto lock = std::make_unique<StoreLock>(storePath());
        QVERIFY2(lock->isHeld(), qPrintable(lock->error()));
        queue->saveVideoToFolder(finishedTask("first", {solidFrame(Qt::red), solidFrame(Qt::blue)}));
        queue->saveVideoToFolder(finishedTask("second", {solidFrame(Qt::green)}));
        QVERIFY(world->clock.runUntil([&] { return world->environment.logLines().size() >= 2; }, 1e6, 10000));
        settle();
        QCOMPARE(world->environment.logLines().filter("💾 ❌ Failed to save video metadata: database is locked").size(),
                 2);
        QVERIFY(world->sounds.played.isEmpty());
        // Told once, on screen, with the store's reason.
        QCOMPARE(dialogs.notices.size(), 1);
        QCOMPARE(dialogs.notices.first().style, Dialogs::AlertStyle::warning);
        QCOMPARE(dialogs.notices.first().message, "The clip's details could not be saved yet");
        QVERIFY(dialogs.notices.first().informativeText.contains("database is locked"));
        QVERIFY(storedRecords().isEmpty());

        // Quit while the other program still holds the store; it lets go before the next start.
        queue.reset();
        store.reset();
        lock.reset();
        store = ModelSchema::openStore(storePath());
        QVERIFY(!store->hasChanges());
        auto records = storedRecords();
        QCOMPARE(records.size(), 2);
        std::sort(records.begin(), records.end(),
                  [](const auto& a, const auto& b) { return a->prompt() < b->prompt(); });
        QCOMPARE(records[0]->fileName(), "Orvane_20260101_120000_first.mp4");
        QCOMPARE(records[0]->videoMode(), "start_end_video");
        QVERIFY(sameColor(records[0]->firstFrameImage().pixelColor(10, 10), Qt::red));
        QVERIFY(sameColor(records[0]->lastFrameImage().pixelColor(10, 10), Qt::blue));
        QCOMPARE(records[1]->fileName(), "Orvane_20260101_120000_second.mp4");
        QVERIFY(sameColor(records[1]->firstFrameImage().pixelColor(10, 10), Qt::green));
        QCOMPARE(dialogs.notices.size(), 1);
        QVERIFY(world->sounds.played.isEmpty());
    }

    // Refused by the server, or kept short by the disk: the job fails with the reason and nothing is filed.
    void aClipThatCannotBeFetchedIsNotFiled_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("lostBytes");
        QTest::addColumn<QString>("error");
        const qint64 size = fixtureClip().size();
        QTest::newRow("refused by the server") << 404 << qint64(0) << "Video download error: HTTP Error: 404";
        QTest::newRow("kept short by the disk")
            << 200 << qint64(1)
            << QString("Video download error: Only %1 of %2 bytes reached the disk").arg(size - 1).arg(size);
    }

    void aClipThatCannotBeFetchedIsNotFiled() {
        QFETCH(int, status);
        QFETCH(qint64, lostBytes);
        QFETCH(QString, error);
        startQueueWithKey();
        FakeMiniMaxService::TaskScript script;
        script.downloads = {FakeMiniMaxService::Reply::http(status, status == 200 ? fixtureClip() : "not found")};
        world->fake.scripts = {script};
        const FailingDisk disk(0, lostBytes);
        queue->addVideoTask(QString("a cat"), solidFrame(Qt::red), std::nullopt, VideoQuality::p768,
                            VideoDuration::seconds6);
        QVERIFY(world->clock.runUntil([&] { return !queue->completedTasks().isEmpty(); }, 1e6, 10000));
        settle();
        QCOMPARE(*queue->completedTasks().first().error, error);
        QVERIFY(folderEntries().isEmpty());
        QVERIFY(storedRecords().isEmpty());
        QVERIFY(world->sounds.played.isEmpty());
    }

    // A clip sent without a length looks whole to the network layer however early the connection closed: one cut
    // off halfway is fetched again, wherever its index lies, and only the whole clip is filed.
    void aClipCutShortWithoutALengthIsFetchedAgain_data() {
        QTest::addColumn<bool>("indexFirst");
        QTest::newRow("index at the end") << false;
        QTest::newRow("index first, as served for streaming") << true;
    }

    void aClipCutShortWithoutALengthIsFetchedAgain() {
        QFETCH(bool, indexFirst);
        const QString streamable = world->environment.path("streamable.mp4");
        QVERIFY(!indexFirst || FfmpegTool::run({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-t", "1",
                                                "-pix_fmt", "yuv420p", "-movflags", "+faststart"},
                                               streamable));
        const QByteArray clip = indexFirst ? contentsOf(streamable) : fixtureClip();
        QVERIFY(!indexFirst || clip.indexOf("moov") < clip.indexOf("mdat"));
        startQueueWithKey();
        FakeMiniMaxService::TaskScript script;
        script.downloads = {FakeMiniMaxService::Reply::untilClosed(clip.left(clip.size() / 2)),
                            FakeMiniMaxService::Reply::untilClosed(clip)};
        world->fake.scripts = {script};
        queue->addVideoTask(QString("a cat"), solidFrame(Qt::red), std::nullopt, VideoQuality::p768,
                            VideoDuration::seconds6);
        QVERIFY(runUntilSounds(1));
        const QStringList entries = folderEntries();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(contentsOf(folder + "/" + entries.first()), clip);
        QCOMPARE(recordedNames(), entries);
    }

    void aFinishedJobIsFiledThroughTheQueue() {
        startQueueWithKey();
        QueueManager::applySelectedModel(VideoModel::hailuo23Fast);
        queue->addVideoTask(QString("A cat, jumping!"), solidFrame(Qt::red), std::nullopt, VideoQuality::p768,
                            VideoDuration::seconds10);
        QVERIFY(runUntilSounds(1));
        QueueManager::applySelectedModel(VideoModel::hailuo02);

        const QStringList entries = folderEntries();
        QCOMPARE(entries.size(), 1);
        QVERIFY(QRegularExpression("^Orvane_20260101_\\d{6}_a_cat_jumping\\.mp4$").match(entries.first()).hasMatch());
        QCOMPARE(contentsOf(folder + "/" + entries.first()), fixtureClip());
        const auto record = storedRecords().first();
        QCOMPARE(record->fileName(), entries.first());
        QCOMPARE(record->quality(), "768P");
        QCOMPARE(record->duration(), 10);
        QCOMPARE(*record->model(), "2.3 Fast");
        QCOMPARE(queue->completedTasks().first().status, GenerationTaskStatus::completed);
    }
};

QTEST_GUILESS_MAIN(VideoFilingTest)
#include "tst_video_filing.moc"
