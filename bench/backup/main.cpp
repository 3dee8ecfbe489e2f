// A backup of 1,000 clip records with both frame pictures and 1,000 presets with pictures (500 prompt
// presets, 500 image presets), against writing the same bytes as plain files in the same run. The backup is
// timed from a freshly opened store (the records are read from disk, as at a quit after the gallery let go of
// them) and with the records already loaded. The quit runs exactly this backup after saving the store.

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
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

using BenchSupport::median;

namespace {

constexpr int kVideos = 1000;
constexpr int kPromptPresets = 500;
constexpr int kImagePresets = 500;
constexpr int kRounds = 5;
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

// Every file of a finished backup (relative path and bytes), to be written again as plain files.
QList<QPair<QString, QByteArray>> filesOf(const QString& folder) {
    QList<QPair<QString, QByteArray>> files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.append({QDir(folder).relativeFilePath(path), file.readAll()});
    }
    return files;
}

// Every phase starts with nothing waiting to be written back, so no phase pays for another's writes.
void settle() {
    BackupManager::waitForDiscardedFiles();
    ::sync();
}

double plainWrite(const QList<QPair<QString, QByteArray>>& files, const QString& folder) {
    QDir(folder).removeRecursively();
    settle();
    QElapsedTimer timer;
    timer.start();
    for (const char* sub : {"UserImages/VideoMetadata", "UserImages/PromptPresets", "UserImages/ImagePresets"})
        QDir().mkpath(folder + '/' + sub);
    for (const auto& [name, bytes] : files) {
        QFile file(folder + '/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "plain write failed: %s\n", qPrintable(file.fileName()));
            std::exit(1);
        }
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    AppPaths::setRoot(root.path());
    Defaults::setFilePath(root.filePath("config/Orvane.ini"));
    const QString storePath = root.filePath("data/bench.store");

    {
        auto store = ModelSchema::openStore(storePath);
        fillStore(*store);
    }

    BackupManager manager;
    const QString backupFolder = *manager.backupFolderURL();
    std::vector<double> cold, warm, plain;
    qint64 totalBytes = 0;
    int fileCount = 0;
    for (int round = 0; round < kRounds; ++round) {
        // From a store opened afresh: the records and their pictures are read from disk.
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

        const auto files = filesOf(backupFolder);
        fileCount = int(files.size());
        totalBytes = 0;
        for (const auto& file : files)
            totalBytes += file.second.size();
        plain.push_back(plainWrite(files, root.filePath("plain")));
    }

    const double coldMs = median(cold), warmMs = median(warm), plainMs = median(plain);
    std::printf("backup of %d clip records (2 frames each) and %d presets with pictures: %d files, %.1f MB\n", kVideos,
                kPromptPresets + kImagePresets, fileCount, double(totalBytes) / (1024.0 * 1024.0));
    std::printf("  plain files, same bytes:           %8.1f ms (reference)\n", plainMs);
    std::printf("  backup, records read from disk:    %8.1f ms  ratio %.2f\n", coldMs, coldMs / plainMs);
    std::printf("  backup, records already loaded:    %8.1f ms  ratio %.2f\n", warmMs, warmMs / plainMs);
    std::printf("  the quit (store already saved) takes about %.0f ms on this machine\n", coldMs);
    const bool ok = coldMs <= 2.0 * plainMs && warmMs <= 2.0 * plainMs;
    std::printf("%s: the backup within 2x of plain writes of the same bytes\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
