#include "GalleryTestSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include "ClipMetadataLoader.h"
#include "FfmpegTool.h"
#include "MediaProbe.h"
#include "ModelSchema.h"
#include "VideoGalleryViewModel.h"
#include "VideoMetadata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

namespace GalleryTestSupport {

bool waitUntilListed(const VideoGalleryViewModel& gallery) {
    return QTest::qWaitFor([&] { return !gallery.isLoading(); }, 20000);
}

BusyWorkers::BusyWorkers(QThreadPool& pool) : pool_(pool), workers_(pool.maxThreadCount()) {
    for (int i = 0; i < workers_; ++i) {
        pool_.start([this] {
            ++waiting_;
            gate_.acquire();
        });
    }
}

BusyWorkers::~BusyWorkers() {
    release();
}

bool BusyWorkers::holdsAll() {
    return QTest::qWaitFor([this] { return waiting_ == workers_; }, 5000);
}

void BusyWorkers::release() {
    gate_.release(std::exchange(workers_, 0));
    pool_.waitForDone(5000);
}

bool writeRawName(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

namespace {
QByteArray makeClip(bool rotated, const QString& size = QStringLiteral("160x90")) {
    QTemporaryDir dir;
    const QString upright = dir.filePath("upright.mp4");
    if (!FfmpegTool::run({"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=10:duration=1", "-c:v", "libx264",
                          "-preset", "ultrafast", "-pix_fmt", "yuv420p"},
                         upright))
        return {};
    QString target = upright;
    if (rotated) {
        target = dir.filePath("rotated.mp4");
        if (!FfmpegTool::run({"-i", upright, "-c", "copy", "-metadata:s:v:0", "rotate=90"}, target))
            return {};
    }
    QFile file(target);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

const QByteArray& clipBytes() {
    static const QByteArray bytes = makeClip(false);
    return bytes;
}

const QByteArray& rotatedClipBytes() {
    static const QByteArray bytes = makeClip(true);
    return bytes;
}

const QByteArray& largeClipBytes() {
    static const QByteArray bytes = makeClip(false, QStringLiteral("1024x576"));
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::shared_ptr<VideoMetadata> addRecord(ModelContext& store, const QString& fileName, const QString& prompt,
                                         const QDateTime& createdAt, const QString& quality,
                                         const std::optional<QString>& model, bool promptOptimization,
                                         const std::optional<bool>& fastPretreatment) {
    auto record = VideoMetadata::make(fileName, prompt, quality, 6, QStringLiteral("image_to_video"),
                                      promptOptimization, model, fastPretreatment);
    record->setCreatedAt(createdAt);
    store.insert(record);
    store.save();
    return record;
}

World::World() {
    clock.install();
    previousCacheHome = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(environment.path("xdg-cache")));
    QDir().mkpath(environment.path("store"));
    store = ModelSchema::openStore(environment.path("store/Orvane.store"));
}

World::~World() {
    drain();
    clock.runUntil([this] { return clock.pendingSleepers() == 0; }, 1e6, 3000);
    store.reset();
    Clock::setCurrent(nullptr);
    if (previousCacheHome.isEmpty())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", previousCacheHome);
}

QString World::folder(const QString& name) const {
    const QString path = environment.path(name);
    QDir().mkpath(path);
    return path;
}

void World::drain() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        MediaProbe::pool().waitForDone();
        ClipMetadataLoader::waitForCacheWrites();
        QCoreApplication::processEvents();
    }
}

} // namespace GalleryTestSupport
