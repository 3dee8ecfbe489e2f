#include "MediaProbe.h"

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

// The FFmpeg libraries join the process with the first probe: a start that shows no video never loads them.
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
};

QTEST_GUILESS_MAIN(MediaLibrariesTest)
#include "tst_media_libraries.moc"
