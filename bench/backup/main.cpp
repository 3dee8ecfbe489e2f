// Backups at a real user's scale: 10,000 clip records with both frame pictures (about 880 MB in 20,000 files)
// and a few presets with pictures. Each round, in one run:
//
//   first    a backup into an empty backup folder, from a freshly opened store: every picture is written;
//   second   one new record is saved, then a backup: the unchanged pictures are carried over from the first. The
//            save starts linking the first backup's pictures for the next one in the background (off the GUI
//            thread); the time that takes until it is done is printed beside, and the backup waits for whatever
//            is left of it;
//   quit     the store is closed and opened again (a new process), and the quit runs as the application runs it:
//            save the store, then the backup, with nothing changed since the last one;
//   plain    the first backup's work done the plainest way: the two JSON documents through QSaveFile and the
//            pictures of a bare QtSql SELECT written with QFile into a fresh folder.
//
// Goals: the second backup at most 0.1x the first; the quit under 300 ms of GUI-thread time (the backup is
// synchronous: the GUI thread waits for every thread it starts, so the call's wall time is its GUI-thread time);
// the first backup at most 2x the plain writes.
//
// Everything lives in a RAM-backed folder (/dev/shm) when there is one: the figures then measure the work of
// the backup and of its reference, not a disk shared with other processes.
//
//   bench_backup [--folder DIR]   (where the store, the backup and the reference's files go)

#include "../BenchSupport.h"
#include "AppPaths.h"
#include "BackupManager.h"
#include "Defaults.h"
#include "ImagePreset.h"
#include "ModelSchema.h"
#include "PromptPreset.h"
#include "VideoMetadata.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using BenchSupport::median;

namespace {

constexpr int kVideos = 10000;
constexpr int kPromptPresets = 2;
constexpr int kImagePresets = 2;
constexpr int kRounds = 5;
constexpr double kSecondGoal = 0.1;
constexpr double kQuitGoalMs = 300;
// Measured at 1.35 to 1.5 on a busy machine before pictures were carried over: twice as slow misses.
constexpr double kFirstGoal = 2.0;
// Typical JPEG sizes: a 1280-wide frame and a preset thumbnail.
constexpr int kFrameBytes = 43 * 1024;
constexpr int kPresetBytes = 45 * 1024;

QByteArray pictureBytes(QRandomGenerator& random, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    bytes[0] = char(0xff);
    bytes[1] = char(0xd8);
    return bytes;
}

[[noreturn]] void failed(const QString& what) {
    std::fprintf(stderr, "%s\n", qPrintable(what));
    std::exit(1);
}

void save(ModelContext& store) {
    QString error;
    if (!store.save(&error))
        failed("saving the store failed: " + error);
}

std::shared_ptr<VideoMetadata> makeVideo(QRandomGenerator& random, int i) {
    auto video = VideoMetadata::make(QStringLiteral("Orvane_20260101_%1_clip.mp4").arg(i, 6, 10, QChar('0')),
                                     QStringLiteral("A slow dolly over the harbour at dawn, take %1").arg(i), "1080P",
                                     10, "start_end_video", true, QStringLiteral("2.3"), false);
    video->setFirstFrameImageData(pictureBytes(random, kFrameBytes));
    video->setLastFrameImageData(pictureBytes(random, kFrameBytes));
    return video;
}

// Filled a thousand records at a time, each batch by a context of its own, so the pictures do not all stay in
// memory.
void fillStore(const QString& path) {
    QRandomGenerator random(7);
    for (int first = 0; first < kVideos; first += 1000) {
        auto store = ModelSchema::openStore(path);
        for (int i = first; i < std::min(kVideos, first + 1000); ++i)
            store->insert(makeVideo(random, i));
        save(*store);
    }
    auto store = ModelSchema::openStore(path);
    for (int i = 0; i < kPromptPresets; ++i) {
        auto preset =
            PromptPreset::make(QStringLiteral("Preset %1").arg(i), "crane up, then orbit left", "Custom", false);
        preset->setUserImageData(pictureBytes(random, kPresetBytes));
        store->insert(preset);
    }
    for (int i = 0; i < kImagePresets; ++i) {
        auto preset = ImagePreset::make(QStringLiteral("Look %1").arg(i), "warm film grain, soft light");
        preset->setImageData(pictureBytes(random, kPresetBytes));
        store->insert(preset);
    }
    save(*store);
}

using Files = QList<QPair<QString, QByteArray>>;

// Every file in `folder` (relative path → bytes); the documents are the files directly in it.
Files filesIn(const QString& folder, QDirIterator::IteratorFlags flags = QDirIterator::Subdirectories) {
    Files files;
    QDirIterator it(folder, QDir::Files, flags);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.append({QDir(folder).relativeFilePath(path), file.readAll()});
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return files;
}

int countFiles(const QString& folder) {
    int count = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

quint64 inodeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? quint64(info.st_ino) : 0;
}

// Every phase starts with nothing being removed in the background and nothing waiting to be written back.
void settle(const QString& folder) {
    BackupManager::waitForDiscardedFiles();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

using PictureSink = std::function<void(const QString& name, const QByteArray& bytes)>;

// The reference: the documents through QSaveFile (replacing the previous ones on commit) and every picture the
// SELECT gives written with QFile into a pictures folder made afresh.
double plainWrite(const Files& documents, const QString& folder, const QString& storePath) {
    const QString pictures = folder + '/' + BackupManager::userImagesFolder;
    QDir(pictures).removeRecursively();
    QDir().mkpath(folder);
    settle(folder);
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "plain");
    db.setDatabaseName(storePath);
    if (!db.open())
        failed("the reference could not open the store");
    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<QSaveFile>> saved;
    for (const auto& [name, bytes] : documents) {
        auto& file = saved.emplace_back(std::make_unique<QSaveFile>(folder + '/' + name));
        if (!file->open(QIODevice::WriteOnly) || file->write(bytes) != bytes.size())
            failed("the reference failed: " + file->fileName());
    }
    for (const char* sub : {"/VideoMetadata", "/PromptPresets", "/ImagePresets"})
        QDir().mkpath(pictures + sub);
    struct Source {
        const char* sql;
        QStringList names; // one per picture column
    };
    const Source sources[] = {
        {"SELECT id, firstFrameImageData, lastFrameImageData FROM VideoMetadata",
         {"VideoMetadata/%1_first_frame.jpg", "VideoMetadata/%1_last_frame.jpg"}},
        {"SELECT id, userImageData FROM PromptPreset", {"PromptPresets/%1_user_image.jpg"}},
        {"SELECT id, imageData FROM ImagePreset", {"ImagePresets/%1_image.jpg"}},
    };
    for (const Source& source : sources) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QString::fromLatin1(source.sql)))
            failed(QString::fromLatin1(source.sql));
        while (query.next()) {
            const QString id = query.value(0).toString().toUpper();
            for (int column = 0; column < source.names.size(); ++column) {
                const QVariant picture = query.value(column + 1);
                if (picture.isNull())
                    continue;
                const QByteArray bytes = picture.toByteArray();
                QFile file(pictures + '/' + source.names[column].arg(id));
                if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                    failed("the reference failed: " + file.fileName());
            }
        }
    }
    for (const auto& file : saved) {
        if (!file->commit())
            failed("the reference failed: " + file->fileName());
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("plain");
    return ms;
}

template <class Work> double timed(const Work& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

QString dataFolder(const QStringList& args) {
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--folder")
            return args[i + 1];
    }
    return QFileInfo("/dev/shm").isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir root(dataFolder(app.arguments()) + "/orvane-bench-backup-XXXXXX");
    if (!root.isValid())
        failed("could not make a folder to work in: " + root.errorString());
    AppPaths::setRoot(root.path());
    Defaults::setFilePath(root.filePath("config/Orvane.ini"));
    const QString storePath = root.filePath("data/bench.store");
    std::printf("filling a store with %d clip records (2 frames each) and %d presets with pictures...\n", kVideos,
                kPromptPresets + kImagePresets);
    std::fflush(stdout);
    fillStore(storePath);

    const QString plainFolder = root.filePath("plain");
    std::vector<double> first, second, secondRatios, quit, plain, firstRatios, prepared;
    bool sameFiles = true;
    bool whole = true;
    bool quitCarried = true;
    int pictures = 0;
    QRandomGenerator random(11);
    for (int round = 0; round < kRounds; ++round) {
        auto store = ModelSchema::openStore(storePath);
        auto manager = std::make_unique<BackupManager>(store.get());
        manager->deleteBackup();
        const QString backupFolder = *manager->backupFolderURL();
        const QString images = backupFolder + '/' + BackupManager::userImagesFolder;
        settle(root.path());
        first.push_back(timed([&] { manager->createBackupNow(); }));
        pictures = countFiles(images);

        auto added = makeVideo(random, kVideos + round);
        store->insert(added);
        save(*store);
        prepared.push_back(timed([&] { settle(root.path()); }));
        second.push_back(timed([&] { manager->createBackupNow(); }));
        secondRatios.push_back(second.back() / first.back());
        whole = whole && countFiles(images) == pictures + 2;

        // The process ends (its store closes first) and the next one quits with nothing changed.
        store.reset();
        manager.reset();
        store = ModelSchema::openStore(storePath);
        manager = std::make_unique<BackupManager>(store.get());
        const quint64 folderBefore = inodeOf(images);
        settle(root.path());
        quit.push_back(timed([&] {
            if (store->hasChanges())
                save(*store);
            manager->createBackupNow();
        }));
        quitCarried = quitCarried && inodeOf(images) == folderBefore && countFiles(images) == pictures + 2;

        // The round's record goes again, so every round backs up the same records.
        const auto videos = *store->fetch<VideoMetadata>();
        for (const auto& video : videos) {
            if (video->id() == added->id())
                store->remove(video);
        }
        save(*store);
        manager.reset();
        store.reset();

        const Files documents = filesIn(backupFolder, QDirIterator::NoIteratorFlags);
        plain.push_back(plainWrite(documents, plainFolder, storePath));
        firstRatios.push_back(first.back() / plain.back());
        if (round == 0) {
            // The backup holds what the store holds (the quit's backup, with the round's record), byte for byte.
            const Files backedUp = filesIn(images);
            const Files reference = filesIn(plainFolder + '/' + BackupManager::userImagesFolder);
            sameFiles = backedUp.size() == reference.size() + 2;
            for (qsizetype i = 0, j = 0; sameFiles && i < reference.size(); ++i, ++j) {
                while (j < backedUp.size() && backedUp[j].first != reference[i].first)
                    ++j;
                sameFiles = j < backedUp.size() && backedUp[j].second == reference[i].second;
            }
        }
        std::printf("  round %d: first %.1f ms, second (one new record) %.1f ms, ratio %.3f (links made in the "
                    "background before it: %.1f ms); quit (nothing changed) %.1f ms; plain writes %.1f ms\n",
                    round + 1, first.back(), second.back(), secondRatios.back(), prepared.back(), quit.back(),
                    plain.back());
        std::fflush(stdout);
    }

    std::printf("backup of %d clip records (2 frames each) and %d presets with pictures: %d picture files, in %s\n",
                kVideos, kPromptPresets + kImagePresets, pictures, qPrintable(QFileInfo(root.path()).absolutePath()));
    BenchSupport::Verdict verdict("backup");
    verdict.holds("every backup holds every picture, the same bytes as the store", sameFiles && whole);
    verdict.holds("the quit carried every picture over", quitCarried);
    verdict.atMostTimesPaired("second backup with one new record, against the first", median(second), median(first),
                              median(secondRatios), kSecondGoal);
    verdict.atMostTimes("quit with nothing changed, GUI-thread time, against the 300 ms goal", median(quit),
                        kQuitGoalMs, 1.0);
    verdict.atMostTimesPaired("first backup, every picture written, against a bare SELECT written as plain files",
                              median(first), median(plain), median(firstRatios), kFirstGoal);
    return verdict.exitCode();
}
