#include "MediaProbe.h"
#include "Sounds.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Whether a shared library whose file name starts with `name` is mapped into this process.
bool mapped(const char* name) {
    QFile maps("/proc/self/maps");
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    const QByteArray needle = QByteArray("/") + name + ".so";
    return maps.readAll().contains(needle);
}
} // namespace

// The FFmpeg libraries join the process with the first probe, and the media framework with the first sound: a start
// that shows no video and plays nothing never loads them.
class MediaLibrariesTest : public QObject {
    Q_OBJECT
private slots:
    void theFirstProbeLoadsTheLibraries() {
        QVERIFY(QFile::exists("/proc/self/maps"));
        for (const char* library : {"libavformat", "libavcodec", "libswscale", "libavutil"})
            QVERIFY2(!mapped(library), library);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QFile junk(folder.filePath("junk.mp4"));
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write(QByteArray(4096, 'x')) == 4096);
        junk.close();
        const MediaProbe::Result result = MediaProbe::probe(junk.fileName());
        QVERIFY(!result.ok());
        QVERIFY2(result.error.startsWith("the file could not be opened: "), qPrintable(result.error));

        for (const char* library : {"libavformat", "libavcodec", "libswscale", "libavutil"})
            QVERIFY2(mapped(library), library);
    }

    void theFirstSoundLoadsTheMediaFramework() {
        // Linked against the whole program: nothing in it may bring the framework in at start.
        QVERIFY(!mapped("libQt6Multimedia"));
        QVERIFY(!mapped("orvane-sound"));
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        Sounds::setFolder(folder.path());
        // A sound that is not there loads nothing.
        QVERIFY(!SoundPlayer::current().play("Glass"));
        QVERIFY(!mapped("orvane-sound"));
        QVERIFY(!mapped("libQt6Multimedia"));

        // A short silent WAV: whether it is heard depends on the machine's audio outputs, not on this test.
        QFile wav(folder.filePath("Glass.wav"));
        QVERIFY(wav.open(QIODevice::WriteOnly));
        QByteArray header(
            "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0data\0\0\0\0", 44);
        QCOMPARE(wav.write(header), qint64(44));
        wav.close();
        SoundPlayer::current().play("Glass");
        QVERIFY(mapped("orvane-sound"));
        QVERIFY(mapped("libQt6Multimedia"));
    }
};

QTEST_GUILESS_MAIN(MediaLibrariesTest)
#include "tst_media_libraries.moc"
