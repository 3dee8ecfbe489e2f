// The gallery's pictures while it is hidden: made by a helper process of the program into the thumbnail cache,
// never decoded in the program itself.
#include "ClipMetadataLoader.h"
#include "GalleryClip.h"
#include "GalleryClipModel.h"
#include "HeldThumbnailMaker.h"
#include "ThumbnailCache.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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

private slots:
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

    // The program as the helper: the clip's thumbnails land in the shared cache, in both sizes.
    void theProgramMakesTheThumbnailsIntoTheCache() {
        const QString clip = dir_.filePath("Orvane_clip.mp4");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                "testsrc2=size=640x360:rate=10:duration=1", "-pix_fmt", "yuv420p", clip});
        QVERIFY2(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0, "the ffmpeg tool could not make a clip");
        const QString cache = dir_.filePath("cache");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
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
