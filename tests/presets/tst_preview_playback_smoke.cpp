#include "MovementPlayer.h"
#include "PresetTestSupport.h"
#include "Resources.h"
#include "TestSupport.h"

#include <QMediaPlayer>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>

using namespace PresetTestSupport;

// Plays a real bundle clip through Qt Multimedia, when this machine has a media backend that can.
class PreviewPlaybackSmokeTest : public QObject {
    Q_OBJECT
private slots:
    void movementClipReallyPlays() {
        TestEnvironment env;
        Resources::setRoot(bundleRoot());
        {
            QMediaPlayer probe;
            if (!probe.isAvailable())
                QSKIP("no Qt Multimedia backend could be loaded on this machine");
        }
        MovementPlayer player; // the Qt Multimedia backend
        QVideoSink sink;
        int frames = 0;
        QSize frameSize;
        connect(&sink, &QVideoSink::videoFrameChanged, this, [&](const QVideoFrame& frame) {
            if (frame.isValid()) {
                ++frames;
                frameSize = frame.size();
            }
        });
        player.player().setVideoOutput(&sink);

        CameraMovementPreset push("Push In", "[Push in]", "push_in");
        player.play(&push);
        QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying() || player.player().status(player.player().currentItem()) ==
                                                           PreviewBackend::ItemStatus::failed,
                                 15000);
        if (!player.isPlaying())
            QSKIP("the media backend cannot decode H.264 here (missing GStreamer plugins?)");
        QTRY_VERIFY_WITH_TIMEOUT(frames > 2, 15000);
        QCOMPARE(frameSize, QSize(512, 288));
        QCOMPARE(player.player().volume(), 0.0);

        player.stop();
        QVERIFY(!player.isPlaying());
        QVERIFY(!push.isHovered());
        player.player().setVideoOutput(nullptr); // detach the sink before it goes
        drainMediaWork();
    }
};

QTEST_MAIN(PreviewPlaybackSmokeTest)
#include "tst_preview_playback_smoke.moc"
