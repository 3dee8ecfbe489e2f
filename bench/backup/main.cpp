// A backup of 1,000 clip records with both frame pictures and 1,000 presets with pictures (500 prompt
// presets, 500 image presets), against writing the same files the plainest way in the same run: the two JSON
// documents through QSaveFile, the pictures with QFile into a fresh folder, in one pass. The backup is timed
// from a freshly opened store (the records are read from the store file, as at a quit after the gallery let go of
// them), against a bare QtSql SELECT of the pictures written as they come, and with the records already loaded, against
// the pictures written from memory. The quit runs exactly this backup after saving the store.
//
// Everything lives in a RAM-backed folder (/dev/shm) when there is one: the figures then measure the work of
// the backup and of its reference, not a disk shared with other processes, which made the same writes vary
// tenfold between rounds.
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

#include <unistd.h>

using BenchSupport::median;

namespace {

constexpr int kVideos = 1000;
constexpr int kPromptPresets = 500;
constexpr int kImagePresets = 500;
constexpr int kRounds = 5;
// Each backup against the plain way of doing the same work. Measured at 1.35 to 1.5 (from the store) and 1.05 to
// 1.35 (records loaded) on a busy machine: a backup twice as slow misses either goal.
constexpr double kColdGoal = 2.0;
constexpr double kLoadedGoal = 1.75;
// Sizes of typical JPEG pictures: a 1280-wide frame and a preset thumbnail.
constexpr int kFrameBytes = 90 * 1024;
constexpr int kPresetBytes = 45 * 1024;

QByteArray pictureBytes(QRandomGenerator& random, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    bytes[0] = char(0xff);
    bytes[1] = char(0xd8);
    return bytes;
}

void fillStore(ModelContext& store) {
    QRandomGenerator random(7);
    for (int i = 0; i < kVideos; ++i) {
        auto video = VideoMetadata::make(QStringLiteral("Orvane_20260101_%1_clip.mp4").arg(i, 6, 10, QChar('0')),
                                         QStringLiteral("A slow dolly over the harbour at dawn, take %1").arg(i),
                                         "1080P", 10, "start_end_video", true, QStringLiteral("2.3"), false);
        video->setFirstFrameImageData(pictureBytes(random, kFrameBytes));
        video->setLastFrameImageData(pictureBytes(random, kFrameBytes));
        store.insert(video);
    }
    for (int i = 0; i < kPromptPresets; ++i) {
        auto preset =
            PromptPreset::make(QStringLiteral("Preset %1").arg(i), "crane up, then orbit left", "Custom", false);
        preset->setUserImageData(pictureBytes(random, kPresetBytes));
        store.insert(preset);
    }
    for (int i = 0; i < kImagePresets; ++i) {
        auto preset = ImagePreset::make(QStringLiteral("Look %1").arg(i), "warm film grain, soft light");
        preset->setImageData(pictureBytes(random, kPresetBytes));
        store.insert(preset);
    }
    QString error;
    if (!store.save(&error)) {
        std::fprintf(stderr, "saving the store failed: %s\n", qPrintable(error));
        std::exit(1);
    }
}

using Files = QList<QPair<QString, QByteArray>>;

// The files of a finished backup: the JSON documents (relative to its folder) and the pictures (relative to its
// pictures folder).
struct BackupFiles {
    Files documents;
    Files pictures;
};

// Every file in `folder`, by its path relative to it.
Files filesIn(const QString& folder, QDirIterator::IteratorFlags flags = QDirIterator::Subdirectories) {
    Files files;
    QDirIterator it(folder, QDir::Files, flags);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.append({QDir(folder).relativeFilePath(path), file.readAll()});
    }
    return files;
}

BackupFiles filesOf(const QString& folder) {
    return {filesIn(folder, QDirIterator::NoIteratorFlags), filesIn(folder + '/' + BackupManager::userImagesFolder)};
}

// How many files and bytes.
QString tally(const Files& files) {
    qint64 bytes = 0;
    for (const auto& file : files)
        bytes += file.second.size();
    return QStringLiteral("%1 files, %2 bytes").arg(files.size()).arg(bytes);
}

// Every phase starts with nothing waiting to be written back, so no phase pays for another's writes.
void settle() {
    BackupManager::waitForDiscardedFiles();
    ::sync();
}

[[noreturn]] void plainWriteFailed(const QString& what) {
    std::fprintf(stderr, "the reference failed: %s\n", qPrintable(what));
    std::exit(1);
}

using PictureSink = std::function<void(const QString& name, const QByteArray& bytes)>;

// The reference: the backup's documents and pictures written in one pass, as plainly as they can be written
// whole. The documents go through QSaveFile and replace the previous ones on commit; `eachPicture` hands every
// picture to a sink that writes it with QFile into a pictures folder made afresh.
double plainWrite(const Files& documents, const QString& folder,
                  const std::function<void(const PictureSink&)>& eachPicture) {
    const QString pictures = folder + '/' + BackupManager::userImagesFolder;
    QDir(pictures).removeRecursively();
    QDir().mkpath(folder);
    settle();
    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<QSaveFile>> saved;
    for (const auto& [name, bytes] : documents) {
        auto& file = saved.emplace_back(std::make_unique<QSaveFile>(folder + '/' + name));
        if (!file->open(QIODevice::WriteOnly) || file->write(bytes) != bytes.size())
            plainWriteFailed(file->fileName());
    }
    for (const char* sub : {"/VideoMetadata", "/PromptPresets", "/ImagePresets"})
        QDir().mkpath(pictures + sub);
    eachPicture([&pictures](const QString& name, const QByteArray& bytes) {
        QFile file(pictures + '/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            plainWriteFailed(file.fileName());
    });
    for (const auto& file : saved) {
        if (!file->commit())
            plainWriteFailed(file->fileName());
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

// The pictures as a bare QtSql SELECT reads them from the store, each under the name the backup gives it.
void selectPictures(QSqlDatabase& db, const PictureSink& write) {
    struct Source {
        const char* sql;
        QStringList names; // one per picture column: folder and suffix
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
            plainWriteFailed(QString::fromLatin1(source.sql));
        while (query.next()) {
            const QString id = query.value(0).toString().toUpper();
            for (int column = 0; column < source.names.size(); ++column) {
                const QVariant picture = query.value(column + 1);
                if (!picture.isNull())
                    write(source.names[column].arg(id), picture.toByteArray());
            }
        }
    }
}

Files sorted(Files files) {
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return files;
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
    if (!root.isValid()) {
        std::fprintf(stderr, "could not make a folder to work in: %s\n", qPrintable(root.errorString()));
        return 1;
    }
    AppPaths::setRoot(root.path());
    Defaults::setFilePath(root.filePath("config/Orvane.ini"));
    const QString storePath = root.filePath("data/bench.store");

    {
        auto store = ModelSchema::openStore(storePath);
        fillStore(*store);
    }

    BackupManager manager;
    const QString backupFolder = *manager.backupFolderURL();
    const QString plainFolder = root.filePath("plain");
    std::vector<double> cold, warm, plainSelected, plainInMemory;
    BackupFiles files;
    bool sameFiles = true;
    for (int round = 0; round < kRounds; ++round) {
        // From a store opened afresh: the records and their pictures are read from the store file.
        auto store = ModelSchema::openStore(storePath);
        manager.setModelContext(store.get());
        settle();
        QElapsedTimer timer;
        timer.start();
        manager.createBackupNow();
        cold.push_back(double(timer.nsecsElapsed()) / 1e6);

        // Again with every record already loaded.
        settle();
        timer.restart();
        manager.createBackupNow();
        warm.push_back(double(timer.nsecsElapsed()) / 1e6);
        manager.setModelContext(nullptr);
        store.reset();
        files = filesOf(backupFolder);

        // The same pictures read with a bare SELECT from a connection opened afresh, and from memory.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "plain");
            db.setDatabaseName(storePath);
            if (!db.open())
                plainWriteFailed("opening the store");
            plainSelected.push_back(plainWrite(files.documents, plainFolder,
                                               [&db](const PictureSink& write) { selectPictures(db, write); }));
        }
        QSqlDatabase::removeDatabase("plain");
        if (round == 0)
            sameFiles = sorted(filesIn(plainFolder + '/' + BackupManager::userImagesFolder)) == sorted(files.pictures);
        plainInMemory.push_back(plainWrite(files.documents, plainFolder, [&files](const PictureSink& write) {
            for (const auto& [name, bytes] : files.pictures)
                write(name, bytes);
        }));
        std::printf("  round %d: records read from the store: backup %.1f ms, plain %.1f ms; records loaded: backup "
                    "%.1f ms, plain %.1f ms\n",
                    round + 1, cold.back(), plainSelected.back(), warm.back(), plainInMemory.back());
        std::fflush(stdout);
    }

    std::printf("backup of %d clip records (2 frames each) and %d presets with pictures: %s of pictures, %d documents, "
                "in %s\n",
                kVideos, kPromptPresets + kImagePresets, qPrintable(tally(files.pictures)), int(files.documents.size()),
                qPrintable(QFileInfo(root.path()).absolutePath()));
    BenchSupport::Verdict verdict("backup");
    verdict.holds("the reference writes the backup's pictures", sameFiles);
    verdict.atMostTimes("backup, records read from the store, against a bare SELECT written as plain files",
                        median(cold), median(plainSelected), kColdGoal);
    verdict.atMostTimes("backup, records already loaded, against plain files from memory", median(warm),
                        median(plainInMemory), kLoadedGoal);
    return verdict.exitCode();
}
