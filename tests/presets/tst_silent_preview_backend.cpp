#include "PresetTestSupport.h"
#include "PreviewFrameSink.h"
#include "SilentPreviewBackend.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

using namespace PresetTestSupport;
using ItemStatus = PreviewBackend::ItemStatus;

namespace {

// The size the tests' sinks ask for: square, so every clip is cut to fill it.
constexpr QSize kTarget(96, 96);

// What a sink received: each picture's size, a fingerprint of its pixels and whether it is grey.
struct Pictures {
    QList<QSize> sizes;
    QList<QByteArray> prints;
    QList<bool> grey;

    void watch(PreviewFrameSink& sink, QObject* context) {
        QObject::connect(&sink, &PreviewFrameSink::frameChanged, context, [this](const QImage& shown) {
            if (shown.isNull())
                return;
            // Ready to paint as it is.
            QCOMPARE(shown.format(), QImage::Format_RGB32);
            QCryptographicHash hash(QCryptographicHash::Md5);
            for (int row = 0; row < shown.height(); ++row)
                hash.addData(QByteArrayView(shown.constScanLine(row), qsizetype(shown.width()) * 4));
            sizes << shown.size();
            prints << hash.result();
            grey << isGrey(shown);
        });
    }
    int count() const { return int(sizes.size()); }
    void clear() {
        sizes.clear();
        prints.clear();
        grey.clear();
    }
};

// A backend showing its pictures in a sink that asks for `target`, and what the sink received.
struct WatchedBackend {
    SilentPreviewBackend backend;
    PreviewFrameSink sink;
    Pictures pictures;

    WatchedBackend(QObject* context, QSize target) {
        sink.setTargetSize(target);
        pictures.watch(sink, context);
        backend.setVideoOutput(&sink);
    }
};

// Descriptors of this process open on `path`.
int openCount(const QString& path) {
    int open = 0;
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    const QString wanted = QFileInfo(path).canonicalFilePath();
    for (const QString& name : descriptors.entryList(QDir::Files | QDir::System)) {
        if (QFileInfo(descriptors.filePath(name)).symLinkTarget() == wanted)
            ++open;
    }
    return open;
}

} // namespace

// A library of the toolkit's media integration or of GStreamer mapped into this process, if any.
QString mediaFrameworkLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return QStringLiteral("no /proc/self/maps");
    for (const QByteArray& line : maps.readAll().split('\n')) {
        if (line.contains("libgstreamer") || line.contains("libQt6MultimediaGstreamer") ||
            line.contains("libgstreamermediaplugin"))
            return QString::fromLatin1(line.mid(line.lastIndexOf(' ') + 1));
    }
    return {};
}

// The FFmpeg preview backend against real clips made with the ffmpeg tool.
class SilentPreviewBackendTest : public QObject {
    Q_OBJECT
private slots:
    // A clip becomes ready with its length, shows its first picture before playing, shows pictures at the clip's
    // pace while playing, none while paused, and reports its end on time and goes on from the start by itself.
    void playsAtTheClipsPaceAndLoops() {
        TestEnvironment env;
        QVERIFY(haveFfmpeg());
        const QString clip = env.path("clip.mp4");
        QVERIFY(makeClip(clip, 320, 176, 1.0, 20));
        WatchedBackend watched(this, kTarget);
        auto& [backend, sink, pictures] = watched;
        QSignalSpy statuses(&backend, &PreviewBackend::itemStatusChanged);
        QSignalSpy ends(&backend, &PreviewBackend::itemDidPlayToEnd);

        const PreviewBackend::ItemId item = backend.replaceCurrentItem(QUrl::fromLocalFile(clip));
        QCOMPARE(backend.currentItem(), item);
        QCOMPARE(backend.status(item), ItemStatus::unknown);
        QTRY_COMPARE_WITH_TIMEOUT(backend.status(item), ItemStatus::readyToPlay, 5000);
        QCOMPARE(statuses.last().first().value<PreviewBackend::ItemId>(), item);
        QVERIFY(backend.duration(item).has_value());
        QVERIFY2(qAbs(*backend.duration(item) - 1.0) < 0.06, qPrintable(QString::number(*backend.duration(item))));
        // The first picture shows before anything plays, and nothing more.
        QTRY_COMPARE_WITH_TIMEOUT(pictures.count(), 1, 5000);
        QCOMPARE(pictures.sizes.first(), kTarget);
        QTest::qWait(200);
        QCOMPARE(pictures.count(), 1);

        // Twenty pictures a second: about ten in half a second, not the whole clip at once.
        QElapsedTimer played;
        played.start();
        backend.play();
        QTest::qWait(500);
        backend.pause();
        const double elapsed = played.elapsed() / 1000.0;
        QTest::qWait(50); // a picture already on its way when it paused
        const int shown = pictures.count() - 1;
        QVERIFY2(shown >= int(elapsed * 20 * 0.6) && shown <= int(elapsed * 20) + 2,
                 qPrintable(QStringLiteral("%1 pictures in %2 s").arg(shown).arg(elapsed)));
        QCOMPARE(QSet<QByteArray>(pictures.prints.begin(), pictures.prints.end()).size(), pictures.count());
        QTest::qWait(300);
        QCOMPARE(pictures.count(), shown + 1); // none while paused
        QVERIFY(ends.isEmpty());

        // The rest of the clip plays from where it stopped; its end is reported after the clip's time, once.
        pictures.clear();
        played.start();
        backend.play();
        QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, 5000);
        QVERIFY2(played.elapsed() >= 350, qPrintable(QStringLiteral("ended after %1 ms").arg(played.elapsed())));
        QCOMPARE(ends.first().first().value<PreviewBackend::ItemId>(), item);
        QVERIFY(pictures.count() >= 7 && pictures.count() <= 12);
        // Without being asked, it goes on from the first picture.
        pictures.clear();
        QTRY_VERIFY_WITH_TIMEOUT(pictures.count() >= 3, 3000);
        QCOMPARE(ends.size(), 1);
        backend.pause();
        backend.setVideoOutput(nullptr);
        // All of it without the media framework: once loaded, its libraries stay for the life of the process.
        QCOMPARE(mediaFrameworkLoaded(), QString());
    }

    // Back to the start shows the clip's first picture again, playing or paused.
    void seekToStartShowsTheFirstPictureAgain() {
        TestEnvironment env;
        QVERIFY(haveFfmpeg());
        const QString clip = env.path("clip.mp4");
        QVERIFY(makeClip(clip, 320, 176, 2.0, 20));
        WatchedBackend watched(this, kTarget);
        auto& [backend, sink, pictures] = watched;
        const PreviewBackend::ItemId item = backend.replaceCurrentItem(QUrl::fromLocalFile(clip));
        QTRY_COMPARE_WITH_TIMEOUT(pictures.count(), 1, 5000);
        const QByteArray first = pictures.prints.first();
        backend.play();
        QTRY_VERIFY_WITH_TIMEOUT(pictures.count() >= 8, 5000);
        QVERIFY(pictures.prints.last() != first);

        for (const bool playing : {true, false}) {
            if (!playing)
                backend.pause();
            QTest::qWait(100);
            pictures.clear();
            backend.seekToStart();
            // While playing, one picture may already have been on its way.
            QTRY_VERIFY_WITH_TIMEOUT(pictures.prints.contains(first), 3000);
            QVERIFY(pictures.prints.indexOf(first) <= (playing ? 1 : 0));
            if (playing) {
                QTRY_VERIFY_WITH_TIMEOUT(pictures.count() >= 3, 3000);
                // It plays on from the start: the third picture is the clip's third, not a later one.
                QVERIFY(pictures.count() < 8);
            } else {
                QTest::qWait(200);
                QCOMPARE(pictures.count(), 1);
            }
        }
        QCOMPARE(backend.status(item), ItemStatus::readyToPlay);
        backend.setVideoOutput(nullptr);
    }

    // A file that is missing, not a video or has no picture fails; nothing is shown for it.
    void unreadableFilesFail_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("not a video") << QByteArray(4096, 'x');
        QTest::newRow("a clip's first bytes") << QByteArray("trunc");
    }
    void unreadableFilesFail() {
        QFETCH(QByteArray, content);
        TestEnvironment env;
        QVERIFY(haveFfmpeg());
        const QString path = env.path("broken.mp4");
        if (content == "trunc") {
            const QString whole = env.path("whole.mp4");
            QVERIFY(makeClip(whole, 320, 176, 1.0, 20));
            QFile file(whole);
            QVERIFY(file.open(QIODevice::ReadOnly));
            content = file.read(file.size() / 20);
        }
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        WatchedBackend watched(this, kTarget);
        auto& [backend, sink, pictures] = watched;
        const PreviewBackend::ItemId item = backend.replaceCurrentItem(QUrl::fromLocalFile(path));
        backend.play();
        QTRY_COMPARE_WITH_TIMEOUT(backend.status(item), ItemStatus::failed, 5000);
        QVERIFY(!backend.duration(item).has_value());
        QTest::qWait(100);
        QCOMPARE(pictures.count(), 0);
        backend.setVideoOutput(nullptr);
    }

    // Once another clip is asked for, only its pictures show, and its status alone counts; clearing shows nothing
    // more, lets the last picture go and closes the file.
    void replacingAndClearingDropTheOldItem() {
        TestEnvironment env;
        QVERIFY(haveFfmpeg());
        const QString wide = env.path("wide.mp4");
        const QString tall = env.path("tall.mp4");
        QVERIFY(makeClip(wide, 320, 176, 2.0, 25));
        QVERIFY(makeGreyClip(tall, 160, 240, 2.0, 25));
        WatchedBackend watched(this, kTarget);
        auto& [backend, sink, pictures] = watched;
        QSignalSpy statuses(&backend, &PreviewBackend::itemStatusChanged);

        for (int round = 0; round < 3; ++round) {
            for (const auto& [path, grey] : {std::pair{wide, false}, std::pair{tall, true}}) {
                const PreviewBackend::ItemId item = backend.replaceCurrentItem(QUrl::fromLocalFile(path));
                backend.play();
                pictures.clear();
                statuses.clear();
                QTRY_VERIFY_WITH_TIMEOUT(pictures.grey.count(grey) >= 4, 5000);
                QCOMPARE(pictures.grey.count(grey), pictures.count());
                for (const QList<QVariant>& status : statuses)
                    QCOMPARE(status.first().value<PreviewBackend::ItemId>(), item);
                QCOMPARE(backend.status(item), ItemStatus::readyToPlay);
                QCOMPARE(backend.status(item - 1), ItemStatus::unknown);
            }
        }
        QCOMPARE(openCount(tall), 1);
        backend.clearCurrentItem();
        QCOMPARE(backend.currentItem(), PreviewBackend::ItemId(0));
        QVERIFY(sink.frame().isNull());
        pictures.clear();
        QTest::qWait(300);
        QCOMPARE(pictures.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(openCount(tall), 0, 3000);
        QCOMPARE(openCount(wide), 0);

        // And it plays again afterwards.
        const PreviewBackend::ItemId again = backend.replaceCurrentItem(QUrl::fromLocalFile(wide));
        backend.play();
        QTRY_VERIFY_WITH_TIMEOUT(pictures.count() >= 3, 5000);
        QCOMPARE(backend.status(again), ItemStatus::readyToPlay);
        backend.setVideoOutput(nullptr);
    }

    // Each picture comes ready at the size the sink asks for. A sink that asks for nothing (its view is hidden)
    // gets nothing while the clip plays on; asking again brings the picture on screen at once, at the new size.
    void picturesAreMadeAtTheSizeTheSinkAsksForAndOnlyThen() {
        TestEnvironment env;
        QVERIFY(haveFfmpeg());
        const QString clip = env.path("clip.mp4");
        QVERIFY(makeClip(clip, 320, 176, 1.0, 20));
        WatchedBackend watched(this, QSize());
        auto& [backend, sink, pictures] = watched;
        QSignalSpy ends(&backend, &PreviewBackend::itemDidPlayToEnd);
        const PreviewBackend::ItemId item = backend.replaceCurrentItem(QUrl::fromLocalFile(clip));
        QTRY_COMPARE_WITH_TIMEOUT(backend.status(item), ItemStatus::readyToPlay, 5000);
        backend.play();
        QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, 5000); // it played, and on time
        QCOMPARE(pictures.count(), 0);
        backend.pause();
        QTest::qWait(50);

        // One picture for each size asked for, of the same moment of the clip while paused.
        const QSize wide(120, 90), square(60, 60);
        QList<QByteArray> prints;
        for (const QSize& size : {wide, square, wide}) {
            sink.setTargetSize(size);
            QTRY_COMPARE_WITH_TIMEOUT(pictures.count(), 1, 3000);
            QTest::qWait(100);
            QCOMPARE(pictures.count(), 1);
            QCOMPARE(pictures.sizes.first(), size);
            prints << pictures.prints.first();
            pictures.clear();
        }
        QCOMPARE(prints.last(), prints.first()); // the same picture made again, not a later one

        // Playing, a new size holds from the next picture on (one may already have been on its way).
        backend.play();
        QTRY_VERIFY_WITH_TIMEOUT(pictures.count() >= 3, 3000);
        QCOMPARE(pictures.sizes.count(wide), pictures.count());
        sink.setTargetSize(square);
        pictures.clear();
        QTRY_VERIFY_WITH_TIMEOUT(pictures.count() >= 4, 3000);
        QVERIFY(pictures.sizes.indexOf(wide) <= 0);
        QVERIFY(pictures.sizes.count(square) >= pictures.count() - 1);

        // Hidden again: nothing more, though it plays on.
        sink.setTargetSize(QSize());
        QTest::qWait(50);
        pictures.clear();
        ends.clear();
        QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, 3000);
        QCOMPARE(pictures.count(), 0);
        backend.setVideoOutput(nullptr);
    }
};

QTEST_MAIN(SilentPreviewBackendTest)
#include "tst_silent_preview_backend.moc"
