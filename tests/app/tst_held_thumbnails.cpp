// The gallery's pictures while it is hidden: made by a helper process of the program into the thumbnail cache,
// never decoded in the program itself.
#include "ClipFileInfo.h"
#include "ClipMetadataLoader.h"
#include "GalleryClip.h"
#include "GalleryClipModel.h"
#include "HeldThumbnailMaker.h"
#include "MediaProbe.h"
#include "ThumbnailCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using ThumbnailCache::Flavor;

// The two sizes a gallery card may show: the grid's and the one-column one.
constexpr int kGrid = 400, kSolo = 512;

QByteArray line(int side, const QString& path) {
    return QByteArray::number(side) + ' ' + QFile::encodeName(path) + '\n';
}

bool makeFile(const QString& path, const QByteArray& bytes = "clip") {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A current thumbnail of `path` for cards of `side`.
bool cache(const QString& path, int side, QSize picture = {160, 90}) {
    QImage image(picture, QImage::Format_RGB888);
    image.fill(Qt::darkCyan);
    return ThumbnailCache::write(path, ClipMetadataLoader::flavorFor(side), {image, 4.0, {1280, 720}});
}

// The thumbnail of `path` for cards of `side` is a named pipe: whoever opens it to read waits until a writer
// comes, as on a disk that does not answer.
bool stallingThumbnail(const QString& path, int side) {
    const QString thumbnail = ThumbnailCache::thumbnailPath(path, ClipMetadataLoader::flavorFor(side));
    QFile::remove(thumbnail);
    return QDir().mkpath(QFileInfo(thumbnail).path()) && ::mkfifo(QFile::encodeName(thumbnail), 0600) == 0;
}

// The pipe's writing end, when someone waits to read it (-1 when nobody does). The reader then waits for what is
// written, until the end is closed.
int writerFor(const QString& fifo) {
    return ::open(QFile::encodeName(fifo), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

void answer(int writer, const QByteArray& bytes = "not a picture") {
    [[maybe_unused]] const auto written = ::write(writer, bytes.constData(), size_t(bytes.size()));
    ::close(writer);
}

// Should the GUI thread itself wait on a pipe, this answers it after a while, so that the test fails rather than
// hangs.
class PipeWatchdog {
public:
    explicit PipeWatchdog(QStringList fifos) : fifos_(std::move(fifos)), thread_([this] { watch(); }) {}
    ~PipeWatchdog() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
        // Nobody is left waiting, whatever the test found.
        answerWaiting();
    }

private:
    void watch() {
        using namespace std::chrono_literals;
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, 10s, [this] { return done_; }))
            return;
        while (!wake_.wait_for(lock, 100ms, [this] { return done_; }))
            answerWaiting();
    }
    void answerWaiting() const {
        for (const QString& fifo : fifos_) {
            if (const int writer = writerFor(fifo); writer >= 0)
                answer(writer);
        }
    }
    QStringList fifos_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};
} // namespace

class HeldThumbnailsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;

    QList<GalleryClip*> clips(int count) const {
        QList<GalleryClip*> made;
        for (int i = 0; i < count; ++i)
            made << new GalleryClip(dir_.filePath(QStringLiteral("Orvane_%1.mp4").arg(i, 2, 10, QChar('0'))),
                                    QDateTime::currentDateTimeUtc(), 1000);
        return made;
    }
    // A helper that writes what it was handed to `file`.
    QStringList recorder(const QString& file) const { return {"-c", "cat > '" + file + "'"}; }
    // `count` clips on disk, named after `name`.
    QList<GalleryClip*> clipFiles(const QString& name, int count) const {
        QList<GalleryClip*> made;
        for (int i = 0; i < count; ++i) {
            const QString path = dir_.filePath(QStringLiteral("%1_%2.mp4").arg(name).arg(i, 2, 10, QChar('0')));
            if (!makeFile(path))
                return {};
            made << new GalleryClip(path, QDateTime::currentDateTimeUtc(), 1000);
        }
        return made;
    }

private slots:
    void initTestCase() {
        // Every test's thumbnails go to a cache of its own.
        QVERIFY(dir_.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir_.filePath("cache")));
    }

    void theTopOfTheListAndTheRowsAskedForGoToOneHelper() {
        GalleryClipModel model;
        model.holdMetadata();
        const QString out = dir_.filePath("request");
        HeldThumbnailMaker maker(&model, "/bin/sh", recorder(out));
        QSignalSpy finished(&maker, &HeldThumbnailMaker::helperFinished);
        model.resetClips(clips(15));
        model.ensureMetadata(14); // a row further down that the hidden grid asked for
        model.ensureMetadata(3);  // one of the top rows: sent once
        QVERIFY(finished.wait(5000));
        QStringList expected;
        for (int row = 0; row < 12; ++row)
            expected << model.clips().at(row)->path();
        expected << model.clips().at(14)->path();
        QFile request(out);
        QVERIFY(request.open(QIODevice::ReadOnly));
        QCOMPARE(request.readAll(), HeldThumbnailMaker::requestFor(expected));
        // Each clip in both sizes a card may show.
        QCOMPARE(HeldThumbnailMaker::requestFor({"/v/a.mp4"}), QByteArray("400 /v/a.mp4\n512 /v/a.mp4\n"));

        // Nothing is sent twice; a row asked for later goes in a helper of its own.
        request.close();
        QFile::remove(out);
        model.ensureMetadata(13);
        QVERIFY(finished.wait(5000));
        QVERIFY(request.open(QIODevice::ReadOnly));
        QCOMPARE(request.readAll(), HeldThumbnailMaker::requestFor({model.clips().at(13)->path()}));
    }

    void aGalleryNotHeldStartsNoHelper() {
        GalleryClipModel model;
        const QString out = dir_.filePath("unheld");
        HeldThumbnailMaker maker(&model, "/bin/sh", recorder(out));
        QSignalSpy finished(&maker, &HeldThumbnailMaker::helperFinished);
        model.resetClips(clips(3));
        QVERIFY(!finished.wait(1000));
        QVERIFY(!QFile::exists(out));
    }

    // Only the thumbnails the cache lacks go to the helper; with none lacking, no helper runs.
    void onlyWhatTheCacheLacksIsMade() {
        GalleryClipModel model;
        model.holdMetadata();
        const QString out = dir_.filePath("lacking");
        HeldThumbnailMaker maker(&model, "/bin/sh", recorder(out));
        QSignalSpy checked(&maker, &HeldThumbnailMaker::cacheChecked);
        QSignalSpy finished(&maker, &HeldThumbnailMaker::helperFinished);
        const QList<GalleryClip*> made = clipFiles("lacking", 15);
        QCOMPARE(made.size(), 15);
        QStringList path;
        for (GalleryClip* clip : made)
            path << clip->path();
        // What the cache has of each clip of the first screen and of a row further down the hidden grid asked for.
        struct Cached {
            int row;
            bool grid, solo;
        };
        const Cached table[] = {{0, true, true},   {1, true, true},   {2, true, false}, {3, true, true},
                                {4, true, true},   {5, false, false}, {6, true, true},  {7, true, true},
                                {8, false, true},  {9, true, true},   {10, true, true}, {11, true, true},
                                {14, false, false}};
        for (const Cached& row : table) {
            QVERIFY(!row.grid || cache(path[row.row], kGrid));
            QVERIFY(!row.solo || cache(path[row.row], kSolo));
        }
        // A clip changed since its thumbnails were made needs new ones.
        QVERIFY(cache(path[7], kGrid) && cache(path[7], kSolo));
        QVERIFY(makeFile(path[7], "a longer clip than before"));

        model.resetClips(made);
        model.ensureMetadata(14);
        QVERIFY(finished.wait(5000));
        const QByteArray expected = line(kSolo, path[2]) + line(kGrid, path[5]) + line(kSolo, path[5]) +
                                    line(kGrid, path[7]) + line(kSolo, path[7]) + line(kGrid, path[8]) +
                                    line(kGrid, path[14]) + line(kSolo, path[14]);
        QCOMPARE(checked.size(), 1);
        QCOMPARE(checked.at(0).at(0).toByteArray(), expected);
        QFile request(out);
        QVERIFY(request.open(QIODevice::ReadOnly));
        QCOMPARE(request.readAll(), expected);
        request.close();
        QFile::remove(out);

        // The helper made nothing (it only recorded), so rows the cache has, asked for later, start none.
        QVERIFY(cache(path[13], kGrid) && cache(path[13], kSolo));
        model.ensureMetadata(13);
        QVERIFY(checked.wait(5000));
        QCOMPARE(checked.last().at(0).toByteArray(), QByteArray());
        // The cache is told before any helper starts: only the first helper has finished.
        QCOMPARE(finished.size(), 1);
        QVERIFY(!QFile::exists(out));
    }

    void aWarmCacheStartsNoHelper() {
        const QList<GalleryClip*> made = clipFiles("warm", 14);
        QCOMPARE(made.size(), 14);
        for (GalleryClip* clip : made)
            QVERIFY(cache(clip->path(), kGrid) && cache(clip->path(), kSolo));
        GalleryClipModel model;
        model.holdMetadata();
        const QString out = dir_.filePath("warm");
        HeldThumbnailMaker maker(&model, "/bin/sh", recorder(out));
        QSignalSpy checked(&maker, &HeldThumbnailMaker::cacheChecked);
        QSignalSpy finished(&maker, &HeldThumbnailMaker::helperFinished);
        model.resetClips(made);
        model.ensureMetadata(13);
        // The cache is told before any helper starts.
        QVERIFY(!checked.isEmpty() || checked.wait(5000));
        QCOMPARE(finished.size(), 0);
        QVERIFY(!QFile::exists(out));
        QCOMPARE(checked.size(), 1);
        QCOMPARE(checked.at(0).at(0).toByteArray(), QByteArray());
    }

    // A lookup that waits on the disk keeps the GUI thread free: its event loop runs on meanwhile.
    void theCacheIsLookedAtOffTheGuiThread() {
        const QList<GalleryClip*> made = clipFiles("stalled", 2);
        QCOMPARE(made.size(), 2);
        const QString first = made[0]->path();
        QVERIFY(cache(first, kSolo) && cache(made[1]->path(), kGrid) && cache(made[1]->path(), kSolo));
        QVERIFY(stallingThumbnail(first, kGrid));
        const QString fifo = ThumbnailCache::thumbnailPath(first, ClipMetadataLoader::flavorFor(kGrid));
        const PipeWatchdog watchdog({fifo});
        GalleryClipModel model;
        model.holdMetadata();
        const QString out = dir_.filePath("stalled");
        HeldThumbnailMaker maker(&model, "/bin/sh", recorder(out));
        QSignalSpy checked(&maker, &HeldThumbnailMaker::cacheChecked);
        QSignalSpy finished(&maker, &HeldThumbnailMaker::helperFinished);
        model.resetClips(made);
        // Polled from this thread's event loop while the lookup waits in the pipe.
        int writer = -1;
        QTRY_VERIFY_WITH_TIMEOUT(writer >= 0 || (writer = writerFor(fifo)) >= 0, 5000);
        answer(writer);
        QVERIFY(checked.wait(5000));
        // What the pipe held is no thumbnail: that one size is made.
        QCOMPARE(checked.at(0).at(0).toByteArray(), line(kGrid, first));
        QVERIFY(finished.wait(5000));
        QFile request(out);
        QVERIFY(request.open(QIODevice::ReadOnly));
        QCOMPARE(request.readAll(), line(kGrid, first));
    }

    // A quit while the cache is looked at: the lookup stops at the next clip, reports to nobody, starts nothing.
    void quittingWhileTheCacheIsLookedAtIsSafe() {
        const QList<GalleryClip*> made = clipFiles("quit", 2);
        QCOMPARE(made.size(), 2);
        QStringList fifos;
        for (GalleryClip* clip : made) {
            QVERIFY(stallingThumbnail(clip->path(), kGrid));
            fifos << ThumbnailCache::thumbnailPath(clip->path(), ClipMetadataLoader::flavorFor(kGrid));
        }
        auto* model = new GalleryClipModel;
        model->holdMetadata();
        const QString out = dir_.filePath("quit");
        auto* maker = new HeldThumbnailMaker(model, "/bin/sh", recorder(out));
        model->resetClips(made);
        const PipeWatchdog watchdog(fifos);
        int writer = -1;
        QTRY_VERIFY_WITH_TIMEOUT(writer >= 0 || (writer = writerFor(fifos[0])) >= 0, 5000);
        // The application goes the way it does at a quit: the gallery's list first, then the maker.
        delete model;
        delete maker;
        answer(writer);
        // The first lookup ends; the second pipe is never opened: the pool empties before the watchdog would answer.
        QVERIFY(MediaProbe::pool().waitForDone(5000));
        // What the lookup sent back to this thread is handed on.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(!QFile::exists(out));
    }

    // The lookup the helper is spared by tells a current thumbnail as reading it would, without the picture.
    void theCacheTellsWhatItHasAsItWouldReadIt() {
        const QString clip = dir_.filePath("told.mp4");
        const QString other = dir_.filePath("other.mp4");
        QVERIFY(makeFile(clip) && makeFile(other));
        const auto thumbnail = [](const QString& path, Flavor flavor) {
            return ThumbnailCache::thumbnailPath(path, flavor);
        };
        struct Case {
            const char* name;
            std::function<bool()> arrange;
            Flavor flavor;
            bool has;
        };
        const Case cases[] = {
            {"current", [&] { return cache(clip, kGrid); }, Flavor::card, true},
            {"none", [&] { return QFile::remove(thumbnail(clip, Flavor::card)); }, Flavor::card, false},
            {"the clip changed size", [&] { return cache(clip, kGrid) && makeFile(clip, "a clip of another size"); },
             Flavor::card, false},
            {"the clip changed time",
             [&] {
                 QFile file(clip);
                 return cache(clip, kGrid) && file.open(QIODevice::ReadWrite) &&
                        file.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime);
             },
             Flavor::card, false},
            {"another file's thumbnail",
             [&] {
                 QFile::remove(thumbnail(clip, Flavor::card));
                 return cache(other, kGrid) &&
                        QFile::copy(thumbnail(other, Flavor::card), thumbnail(clip, Flavor::card));
             },
             Flavor::card, false},
            {"larger than its size keeps",
             [&] {
                 QFile::remove(thumbnail(clip, Flavor::card));
                 return cache(clip, kSolo, {480, 270}) &&
                        QFile::copy(thumbnail(clip, Flavor::xlarge), thumbnail(clip, Flavor::card));
             },
             Flavor::card, false},
            {"made by another program",
             [&] {
                 QImage image(256, 144, QImage::Format_RGB32);
                 image.fill(Qt::darkRed);
                 const ClipFileInfo info = ClipFileInfo::of(clip);
                 image.setText("Thumb::URI", QString::fromLatin1(ThumbnailCache::uriOf(clip)));
                 image.setText("Thumb::MTime", QString::number(info.modifiedSecs));
                 const QString file = thumbnail(clip, Flavor::large);
                 return QDir().mkpath(QFileInfo(file).path()) && image.save(file, "png", 9);
             },
             Flavor::large, true},
            {"not a picture", [&] { return makeFile(thumbnail(clip, Flavor::card), "not a picture"); }, Flavor::card,
             false},
        };
        for (const Case& c : cases) {
            QVERIFY2(c.arrange(), c.name);
            const ClipFileInfo info = ClipFileInfo::of(clip);
            QVERIFY2(ThumbnailCache::has(clip, info, c.flavor) == c.has, c.name);
            QVERIFY2(ThumbnailCache::read(clip, info, c.flavor).has_value() == c.has, c.name);
        }
    }

    // The program as the helper: the clip's thumbnails land in the shared cache, in both sizes.
    void theProgramMakesTheThumbnailsIntoTheCache() {
        const QString clip = dir_.filePath("Orvane_clip.mp4");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                "testsrc2=size=640x360:rate=10:duration=1", "-pix_fmt", "yuv420p", clip});
        QVERIFY2(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0, "the ffmpeg tool could not make a clip");
        const QString cache = dir_.filePath("cache");
        QProcess helper;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CACHE_HOME", cache);
        helper.setProcessEnvironment(env);
        helper.start(QStringLiteral(ORVANE_BINARY), {HeldThumbnailMaker::kArgument});
        QVERIFY(helper.waitForStarted());
        helper.write(HeldThumbnailMaker::requestFor({clip}));
        helper.closeWriteChannel();
        QVERIFY(helper.waitForFinished(60000));
        QCOMPARE(helper.exitCode(), 0);
        for (const int side : {ClipMetadataLoader::kThumbnailSide, GalleryClip::kSoloSide}) {
            const auto entry = ThumbnailCache::read(clip, ClipMetadataLoader::flavorFor(side));
            QVERIFY2(entry, qPrintable(QString::number(side)));
            QVERIFY(!entry->image.isNull());
            QCOMPARE(entry->displaySize, QSize(640, 360));
        }
    }
};

QTEST_GUILESS_MAIN(HeldThumbnailsTest)
#include "tst_held_thumbnails.moc"
