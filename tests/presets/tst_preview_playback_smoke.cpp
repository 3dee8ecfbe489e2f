#include "FileNames.h"
#include "MovementPlayer.h"
#include "PresetTestSupport.h"
#include "PreviewFrameSink.h"
#include "Resources.h"
#include "TestSupport.h"
#include "VideoItem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace PresetTestSupport;

namespace {
// The size the tests' sinks ask their pictures at.
constexpr QSize kTarget(128, 72);
} // namespace

// Plays real clips through the preview players' own backend.
class PreviewPlaybackSmokeTest : public QObject {
    Q_OBJECT
private slots:
    void movementClipReallyPlays() {
        TestEnvironment env;
        Resources::setRoot(bundleRoot());
        MovementPlayer player; // the FFmpeg backend
        PreviewFrameSink sink;
        sink.setTargetSize(kTarget);
        int frames = 0;
        QSize frameSize;
        connect(&sink, &PreviewFrameSink::frameChanged, this, [&](const QImage& frame) {
            if (!frame.isNull()) {
                ++frames;
                frameSize = frame.size();
            }
        });
        player.player().setVideoOutput(&sink);

        CameraMovementPreset push("Push In", "[Push in]", "push_in");
        player.play(&push);
        QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(frames > 2, 15000);
        QCOMPARE(frameSize, kTarget);
        QCOMPARE(player.player().volume(), 0.0);

        player.stop();
        QVERIFY(!player.isPlaying());
        QVERIFY(!push.isHovered());
        player.player().setVideoOutput(nullptr); // detach the sink before it goes
        drainMediaWork();
    }

    // Moving the preview on from a clip that plays returns at once: the media framework's waits (up to a second
    // with GStreamer) happen on the player's own thread. Once a clip is asked for, only its pictures show.
    void switchingClipsNeverWaitsForTheMediaFramework() {
        TestEnvironment env;
        QVERIFY(haveFfmpeg());
        const QString wide = env.path("wide.mp4");
        const QString tall = env.path("tall.mp4");
        QVERIFY(makeClip(wide, 320, 176, 2, 25));
        QVERIFY(makeGreyClip(tall, 160, 240, 2, 25));
        MovementPlayer player;
        PreviewFrameSink sink;
        sink.setTargetSize(kTarget);
        QList<bool> grey;
        connect(&sink, &PreviewFrameSink::frameChanged, this, [&](const QImage& frame) {
            if (!frame.isNull())
                grey << isGrey(frame);
        });
        player.player().setVideoOutput(&sink);
        VideoItem first(QUrl::fromLocalFile(wide));
        VideoItem second(QUrl::fromLocalFile(tall));

        qint64 longest = 0;
        QElapsedTimer call;
        for (int round = 0; round < 3; ++round) {
            for (VideoItem* video : {&first, &second}) {
                const bool isTall = video == &second; // the grey clip
                call.start();
                player.playVideo(video);
                longest = std::max(longest, call.elapsed());
                grey.clear();
                // It plays before the next switch, so that each switch stops a clip that really plays.
                QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying() && grey.count(isTall) >= 3, 15000);
                QCOMPARE(grey.count(isTall), grey.size());
                QVERIFY(video->isHovered());
            }
        }
        call.start();
        player.stop();
        longest = std::max(longest, call.elapsed());
        QVERIFY2(longest < 100, qPrintable(QStringLiteral("a switch kept the caller waiting %1 ms").arg(longest)));
        QVERIFY(!player.isPlaying());
        QVERIFY(!second.isHovered());
        player.player().setVideoOutput(nullptr);
    }

    // A clip whose file name is not UTF-8 (bytes a file system allows in any name) plays like any other, and
    // nothing of it stays open once it is let go.
    void aClipWhoseNameIsNotUtf8Plays() {
        TestEnvironment env;
        QVERIFY(haveFfmpeg());
        const QString made = env.path("made.mp4");
        QVERIFY(makeClip(made, 320, 176, 2, 25));
        const QByteArray raw = QFile::encodeName(env.root()) + "/Orvane_\xff\xfe.mp4";
        QCOMPARE(std::rename(QFile::encodeName(made).constData(), raw.constData()), 0);
        const QString path = FileNames::decode(raw);
        QVERIFY(FileNames::hasRawBytes(path));

        MovementPlayer player;
        PreviewFrameSink sink;
        sink.setTargetSize(kTarget);
        QList<QSize> sizes;
        connect(&sink, &PreviewFrameSink::frameChanged, this, [&](const QImage& frame) {
            if (!frame.isNull())
                sizes << frame.size();
        });
        player.player().setVideoOutput(&sink);
        VideoItem video(FileNames::url(path));
        player.playVideo(&video);
        QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying() && sizes.count(kTarget) >= 3, 15000);

        const auto filesOpen = [&raw] {
            int open = 0;
            const QDir descriptors(QStringLiteral("/proc/self/fd"));
            for (const QString& name : descriptors.entryList(QDir::Files | QDir::System)) {
                char target[4096];
                const QByteArray link = QFile::encodeName(descriptors.filePath(name));
                const ssize_t length = ::readlink(link.constData(), target, sizeof target);
                if (length > 0 && QByteArray(target, int(length)) == raw)
                    ++open;
            }
            return open;
        };
        QVERIFY(filesOpen() > 0);
        player.stop();
        QTRY_COMPARE_WITH_TIMEOUT(filesOpen(), 0, 5000);
        player.player().setVideoOutput(nullptr);
    }

    // Once stopped, the decoder is let go; the next preview opens it again and plays as before, into the same
    // picture.
    void aPreviewAfterARestPlaysAsBefore() {
        TestEnvironment env;
        QVERIFY(haveFfmpeg());
        const QString clip = env.path("clip.mp4");
        QVERIFY(makeClip(clip, 320, 176, 2, 25));
        MovementPlayer player;
        PreviewFrameSink sink;
        sink.setTargetSize(kTarget);
        int frames = 0;
        connect(&sink, &PreviewFrameSink::frameChanged, this, [&](const QImage& frame) {
            if (!frame.isNull())
                ++frames;
        });
        player.player().setVideoOutput(&sink);
        VideoItem video(QUrl::fromLocalFile(clip));

        for (int rest = 0; rest < 2; ++rest) {
            frames = 0;
            player.playVideo(&video);
            QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying() && frames >= 3, 15000);
            player.stop();
            QVERIFY(!player.isPlaying());
            // The last picture is let go with its item, and nothing more shows while stopped.
            QVERIFY(sink.frame().isNull());
            const int shown = frames;
            QTest::qWait(300);
            QCOMPARE(frames, shown);
        }
        player.player().setVideoOutput(nullptr);
    }
};

QTEST_MAIN(PreviewPlaybackSmokeTest)
#include "tst_preview_playback_smoke.moc"
