#include "MediaProbe.h"
#include "PresetTestSupport.h"

#include <QFile>
#include <QFutureSynchronizer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

#include <cmath>

using namespace PresetTestSupport;

namespace {
double meanGrey(const QImage& image) {
    double sum = 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x)
            sum += qGray(rgb.pixel(x, y));
    }
    return sum / (rgb.width() * rgb.height());
}

// The frame the ffmpeg tool shows at the start of a clip, turned as it turns it.
QImage referenceFirstFrame(const QString& clip, QSize size, const QString& scratch) {
    if (!ffmpeg({"-i", clip, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24"}, scratch))
        return {};
    QFile file(scratch);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.size() != size.width() * size.height() * 3)
        return {};
    return QImage(reinterpret_cast<const uchar*>(bytes.constData()), size.width(), size.height(), size.width() * 3,
                  QImage::Format_RGB888)
        .copy();
}

MediaProbe::Request stillAt(double seconds, QSize bound = {}) {
    MediaProbe::Request request;
    request.stillAt = seconds;
    request.bound = bound;
    return request;
}

// Awaits a probe the way the application does and notes the thread it resumed on.
QCoro::Task<> probeAndNote(QString path, MediaProbe::Request request, MediaProbe::Result* result, QThread** thread) {
    auto probed = co_await MediaProbe::probeAsync(path, request);
    *result = probed;
    *thread = QThread::currentThread();
}
} // namespace

class MediaProbeTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString file(const QString& name) const { return dir_.filePath(name); }

private slots:
    void initTestCase() {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command-line tool is needed to make the fixture clips");
        QVERIFY(makeClip(file("good.mp4"), 320, 240, 2.0));
        // Frame N has the grey level 16 + 10 N; key frames every 5 frames, with B-frames.
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "color=c=black:s=64x48:r=10:d=2", "-vf", "geq=lum='16+N*10':cb=128:cr=128",
                        "-c:v", "libx264", "-preset", "veryfast", "-crf", "8", "-g", "5", "-bf", "2", "-pix_fmt",
                        "yuv420p"},
                       file("frames.mp4")));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "color=c=black:s=160x90:r=10:d=1", "-vf",
                        "geq=lum='if(lt(Y,H/2),235,if(lt(X,W/4),120,16))':cb=128:cr=128", "-c:v", "libx264", "-preset",
                        "ultrafast", "-pix_fmt", "yuv420p"},
                       file("upright.mp4")));
        QVERIFY(ffmpeg({"-i", file("upright.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=90"}, file("rotated.mp4")));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=160x90:rate=10:duration=1", "-vf", "setsar=2", "-c:v",
                        "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"},
                       file("wide-pixels.mp4")));
        QVERIFY(makeClip(file("short.mp4"), 160, 90, 0.3));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "aac"}, file("audio.m4a")));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "color=c=gray:s=20000x8:r=1:d=1", "-c:v", "rawvideo", "-pix_fmt", "gray",
                        "-f", "nut"},
                       file("huge.nut")));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "color=c=gray:s=20000x8:r=1:d=1", "-c:v", "rawvideo", "-pix_fmt", "gray",
                        "-f", "mov"},
                       file("huge.mov")));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=10:duration=4", "-c:v", "libx264", "-preset",
                        "ultrafast", "-pix_fmt", "yuv420p", "-movflags", "+faststart"},
                       file("faststart.mp4")));

        QFile(file("empty.mp4")).open(QIODevice::WriteOnly);
        QFile text(file("text.mp4"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("This is a text file that only claims to be a video.\n");
        text.close();
        // Cut a clip whose index sits at its end: the index is gone.
        QFile good(file("good.mp4"));
        QVERIFY(good.open(QIODevice::ReadOnly));
        QFile cut(file("no-index.mp4"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(good.read(good.size() / 2));
        cut.close();
        // Cut a clip whose index comes first: the frames stop half way.
        QFile fast(file("faststart.mp4"));
        QVERIFY(fast.open(QIODevice::ReadOnly));
        QFile half(file("half-frames.mp4"));
        QVERIFY(half.open(QIODevice::WriteOnly));
        half.write(fast.read(fast.size() / 2));
        half.close();
    }

    // --- good clips ---

    void readsDurationAndSizeWithoutDecoding() {
        const auto result = MediaProbe::probe(file("good.mp4"));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QVERIFY(result.duration);
        QCOMPARE(std::round(*result.duration * 10) / 10, 2.0);
        QCOMPARE(result.displaySize, QSize(320, 240));
        QCOMPARE(result.rotation, 0);
        QVERIFY(result.still.isNull());
    }

    void stillShowsTheFrameOnScreenAtTheAskedTime_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("frame");
        QTest::newRow("start") << 0.0 << 0;
        QTest::newRow("inside the first frame") << 0.05 << 0;
        QTest::newRow("exactly on a frame") << 0.3 << 3;
        QTest::newRow("after a key frame, before the next frame") << 0.55 << 5;
        QTest::newRow("one second") << 1.0 << 10;
        QTest::newRow("between B-frames") << 1.27 << 12;
        QTest::newRow("last frame") << 1.95 << 19;
    }
    void stillShowsTheFrameOnScreenAtTheAskedTime() {
        QFETCH(double, seconds);
        QFETCH(int, frame);
        const auto result = MediaProbe::probe(file("frames.mp4"), stillAt(seconds));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.still.size(), QSize(64, 48));
        // Limited-range luma 16 + 10 N shows as grey 255 / 219 * 10 N.
        const double expected = 10.0 * frame * 255.0 / 219.0;
        QVERIFY2(std::abs(meanGrey(result.still) - expected) < 4,
                 qPrintable(QStringLiteral("grey %1, expected %2").arg(meanGrey(result.still)).arg(expected)));
    }

    void stillFitsTheBoundKeepingTheAspect() {
        const auto result = MediaProbe::probe(file("good.mp4"), stillAt(0.5, QSize(300, 169)));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.still.size(), QSize(225, 169));
    }

    void stillIsNeverEnlarged() {
        const auto result = MediaProbe::probe(file("good.mp4"), stillAt(0, QSize(1920, 1080)));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.still.size(), QSize(320, 240));
    }

    void rotatedClipGivesAnUprightStill() {
        const auto result = MediaProbe::probe(file("rotated.mp4"), stillAt(0));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.displaySize, QSize(90, 160));
        QCOMPARE(result.still.size(), QSize(90, 160));
        QVERIFY(result.rotation == 90 || result.rotation == 270);
        const QImage reference = referenceFirstFrame(file("rotated.mp4"), QSize(90, 160), file("reference.rgb"));
        QVERIFY(!reference.isNull());
        // Each quarter as bright as the one the ffmpeg tool shows (it turns by the same track matrix).
        for (const QRect& part :
             {QRect(0, 0, 45, 80), QRect(45, 0, 45, 80), QRect(0, 80, 45, 80), QRect(45, 80, 45, 80)})
            QVERIFY(std::abs(meanGrey(result.still.copy(part)) - meanGrey(reference.copy(part))) < 12);
    }

    void everyQuarterTurnIsRead_data() {
        QTest::addColumn<int>("clockwise");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("90") << 90 << QSize(90, 160);
        QTest::newRow("180") << 180 << QSize(160, 90);
        QTest::newRow("270") << 270 << QSize(90, 160);
    }

    // The turn comes from the stream's display matrix, read through whichever API the library has.
    void everyQuarterTurnIsRead() {
        QFETCH(int, clockwise);
        QFETCH(QSize, shown);
        const QString clip = file(QStringLiteral("turned-%1.mp4").arg(clockwise));
        // The ffmpeg tool of Debian 12 takes the old rotate tag (which it writes counter-clockwise); newer ones
        // take a display rotation (counter-clockwise degrees) on the input. The quarters checked against the
        // tool's own upright frame below show which way is right.
        const QString tag = QStringLiteral("rotate=%1").arg((360 - clockwise) % 360);
        const bool made = ffmpeg({"-i", file("upright.mp4"), "-c", "copy", "-metadata:s:v:0", tag}, clip) &&
                          MediaProbe::probe(clip, stillAt(0)).rotation != 0;
        if (!made)
            QVERIFY(ffmpeg(
                {"-display_rotation:v:0", QString::number(-clockwise), "-i", file("upright.mp4"), "-c", "copy"}, clip));
        const auto result = MediaProbe::probe(clip, stillAt(0));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.rotation, clockwise);
        QCOMPARE(result.displaySize, shown);
        QCOMPARE(result.still.size(), shown);
        const QImage reference =
            referenceFirstFrame(clip, shown, file(QStringLiteral("reference-%1.rgb").arg(clockwise)));
        QVERIFY(!reference.isNull());
        const int w = shown.width() / 2;
        const int h = shown.height() / 2;
        for (const QRect& part : {QRect(0, 0, w, h), QRect(w, 0, w, h), QRect(0, h, w, h), QRect(w, h, w, h)})
            QVERIFY(std::abs(meanGrey(result.still.copy(part)) - meanGrey(reference.copy(part))) < 12);
    }

    void sampleAspectWidensTheDisplaySize() {
        const auto result = MediaProbe::probe(file("wide-pixels.mp4"), stillAt(0));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.displaySize, QSize(320, 90));
        QCOMPARE(result.still.size(), QSize(320, 90));
    }

    void asyncProbesResumeOnTheAwaitingThread() {
        MediaProbe::Result result;
        QThread* resumedOn = nullptr;
        probeAndNote(file("good.mp4"), stillAt(0, QSize(100, 100)), &result, &resumedOn);
        QTRY_VERIFY_WITH_TIMEOUT(resumedOn != nullptr, 20000);
        QCOMPARE(resumedOn, QThread::currentThread());
        QCOMPARE(result.still.size(), QSize(100, 75));
    }

    void manyProbesAtOnceAllSucceed() {
        QList<QFuture<MediaProbe::Result>> futures;
        for (int i = 0; i < 40; ++i)
            futures << MediaProbe::probeAsync(file("frames.mp4"), stillAt((i % 20) / 10.0));
        for (int i = 0; i < futures.size(); ++i) {
            const auto result = futures[i].result();
            QVERIFY2(result.ok(), qPrintable(result.error));
            QVERIFY(std::abs(meanGrey(result.still) - 10.0 * (i % 20) * 255.0 / 219.0) < 4);
        }
    }

    // --- broken input: an error, no still, no crash, no hang ---

    void brokenFilesGiveAnErrorAndNoStill_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "missing.mp4";
        QTest::newRow("empty") << "empty.mp4";
        QTest::newRow("text") << "text.mp4";
        QTest::newRow("index cut off") << "no-index.mp4";
        QTest::newRow("audio only") << "audio.m4a";
    }
    void brokenFilesGiveAnErrorAndNoStill() {
        QFETCH(QString, name);
        const auto result = MediaProbe::probe(file(name), stillAt(0, QSize(300, 169)));
        QVERIFY(!result.ok());
        QVERIFY(result.still.isNull());
        QVERIFY(!result.displaySize.isValid());
    }

    // Files under a clip's name that would make the library read other local files, or another container.
    void onlyQuickTimeFilesAreRead_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("concat script") << "concat.mp4" << QByteArray("ffconcat version 1.0\nfile 'good.mp4'\n");
        QTest::newRow("HLS playlist")
            << "playlist.mp4"
            << QByteArray(
                   "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\ngood.mp4\n#EXT-X-ENDLIST\n");
        QTest::newRow("other container") << "huge.nut" << QByteArray();
    }
    void onlyQuickTimeFilesAreRead() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QVERIFY(MediaProbe::probe(file("good.mp4")).ok());
        if (!content.isEmpty()) {
            QFile script(file(name));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(content);
            script.close();
        }
        const auto result = MediaProbe::probe(file(name), stillAt(0, QSize(300, 169)));
        QVERIFY(!result.ok());
        QVERIFY(result.still.isNull());
        QVERIFY(!result.displaySize.isValid());
        QVERIFY(!result.duration);
    }

    void framesCutHalfWayStillGiveTheEarlyFrames() {
        const auto early = MediaProbe::probe(file("half-frames.mp4"), stillAt(0));
        QVERIFY2(early.ok(), qPrintable(early.error));
        QCOMPARE(early.still.size(), QSize(320, 240));
        // The index still promises four seconds; the last frames are gone.
        const auto late = MediaProbe::probe(file("half-frames.mp4"), stillAt(3.9));
        QCOMPARE(late.ok(), !late.still.isNull());
    }

    void timeAtOrAfterTheEndHasNoFrame() {
        const auto result = MediaProbe::probe(file("short.mp4"), stillAt(0.5));
        QVERIFY(!result.ok());
        QVERIFY(result.still.isNull());
        QVERIFY(result.duration && *result.duration < 0.5);
        QCOMPARE(result.displaySize, QSize(160, 90));
    }

    void invalidTimesAreRefused() {
        QVERIFY(!MediaProbe::probe(file("good.mp4"), stillAt(-1)).ok());
        QVERIFY(!MediaProbe::probe(file("good.mp4"), stillAt(std::nan(""))).ok());
    }

    void hugeVideosAreMeasuredButNotDecoded() {
        const auto info = MediaProbe::probe(file("huge.mov"));
        QVERIFY2(info.ok(), qPrintable(info.error));
        QCOMPARE(info.displaySize, QSize(20000, 8));
        const auto still = MediaProbe::probe(file("huge.mov"), stillAt(0));
        QVERIFY(!still.ok());
        QVERIFY(still.error.contains("too large"));
        QVERIFY(still.still.isNull());
    }
};

QTEST_GUILESS_MAIN(MediaProbeTest)
#include "tst_media_probe.moc"
