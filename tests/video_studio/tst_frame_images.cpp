#include "VideoStudioTestSupport.h"

#include "PhonePhoto.h"

#include "FolderBookmark.h"
#include "FrameImageIntake.h"
#include "FrameImageSaver.h"
#include "SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>
#include <QtEndian>

#include <cstring>

namespace {

quint32 crc32(const QByteArray& data) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG whose header announces a picture far over Qt's allocation limit (no pixel data follows).
QByteArray oversizedPngHeader() {
    QByteArray ihdr("IHDR");
    const auto append32 = [](QByteArray& out, quint32 v) {
        const quint32 be = qToBigEndian(v);
        out.append(reinterpret_cast<const char*>(&be), 4);
    };
    append32(ihdr, 40000);
    append32(ihdr, 40000);
    ihdr.append(char(8)).append(char(6)).append(char(0)).append(char(0)).append(char(0));
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    append32(png, 13);
    png.append(ihdr);
    append32(png, crc32(ihdr));
    return png;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class FrameImagesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<StudioWorld> world;

    QString folder(const QString& name) {
        QDir(world->environment.root()).mkpath(name);
        return world->environment.path(name);
    }

private slots:
    void init() { world = std::make_unique<StudioWorld>(); }
    void cleanup() { world.reset(); }

    void whatADragBrings_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("picture");
        QTest::newRow("picture data") << "data" << true;
        QTest::newRow("PNG file") << "fox.png" << true;
        QTest::newRow("JPEG file, upper case") << "FOX.JPG" << true;
        QTest::newRow("PNG without a suffix") << "fox" << true;
        QTest::newRow("text file") << "notes.txt" << false;
        QTest::newRow("text without a suffix") << "notes" << false;
        QTest::newRow("text and a picture") << "notes.txt+fox.png" << true;
        QTest::newRow("picture on the web") << "https://example.com/fox.png" << false;
        QTest::newRow("plain text") << "text" << false;
    }
    void whatADragBrings() {
        QFETCH(QString, what);
        QFETCH(bool, picture);
        QMimeData mime;
        if (what == "data") {
            mime.setImageData(solidFrame(Qt::red));
        } else if (what == "text") {
            mime.setText("a fox");
        } else if (what.startsWith("https:")) {
            mime.setUrls({QUrl(what)});
        } else {
            QList<QUrl> urls;
            for (const QString& name : what.split('+')) {
                const QString path = world->environment.path(name);
                writeFile(path, name.startsWith("fox") || name.startsWith("FOX") ? pngBytes(solidFrame(Qt::red))
                                                                                 : QByteArray("a fox"));
                urls << QUrl::fromLocalFile(path);
            }
            mime.setUrls(urls);
        }
        QCOMPARE(FrameImageIntake::carriesPicture(mime), picture);
    }

    void namesAreUtcWhateverTheZone() {
        // 01:30 on 2 January three hours east of UTC is still 1 January in UTC.
        const QDateTime east(QDate(2026, 1, 2), QTime(1, 30, 5), QTimeZone(3 * 3600));
        QCOMPARE(FrameImageSaver::timestampedFileName("REF", "png", east), "REF_20260101_223005.png");
        QVERIFY(FrameImageSaver::isJpegName("/a/b.JPG"));
        QVERIFY(FrameImageSaver::isJpegName("b.jpeg"));
        QVERIFY(!FrameImageSaver::isJpegName("b.png"));
        QVERIFY(!FrameImageSaver::isJpegName("jpg"));
    }

    void aTakenNameIsNeverReplaced() {
        const QString dir = folder("photos");
        writeFile(dir + "/REF_20260101_120000.png", "someone else's");
        const auto second = FrameImageSaver::saveIntoFolder(solidFrame(Qt::red), dir, "REF_20260101_120000.png");
        QVERIFY2(second.ok(), qPrintable(second.error));
        QCOMPARE(second.path, dir + "/REF_20260101_120000_2.png");
        const auto third = FrameImageSaver::saveIntoFolder(solidFrame(Qt::blue), dir, "REF_20260101_120000.png");
        QCOMPARE(third.path, dir + "/REF_20260101_120000_3.png");
        QFile original(dir + "/REF_20260101_120000.png");
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), QByteArray("someone else's"));
        QCOMPARE(centreColor(QImage(second.path)), QColor(Qt::red));
        QCOMPARE(centreColor(QImage(third.path)), QColor(Qt::blue));
        QCOMPARE(QDir(dir).entryList(QDir::Files).size(), 3);
    }

    void theFormatFollowsTheChosenName() {
        const QString dir = folder("out");
        for (const QString& name : {QString("a.jpg"), QString("b.JPEG"), QString("c.png"), QString("d")}) {
            const auto outcome = FrameImageSaver::saveToPath(solidFrame(Qt::green), dir + "/" + name);
            QVERIFY2(outcome.ok(), qPrintable(outcome.error));
            QFile file(outcome.path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray head = file.read(8);
            if (FrameImageSaver::isJpegName(name))
                QVERIFY2(head.startsWith("\xFF\xD8\xFF"), qPrintable(name));
            else
                QVERIFY2(head == QByteArray("\x89PNG\r\n\x1a\n", 8), qPrintable(name));
        }
    }

    // A name typed without a picture's extension is written as PNG under that name with ".png" added, and never over
    // a file that already had the longer name.
    void aNameWithoutAnExtensionGetsPng() {
        const QString dir = folder("typed");
        writeFile(dir + "/taken.png", "someone else's");
        const QList<QPair<QString, QString>> names{
            {"frame", "frame.png"},   {"frame.v2", "frame.v2.png"}, {"notes.txt", "notes.txt.png"},
            {"SHOT.PNG", "SHOT.PNG"}, {"still.jpeg", "still.jpeg"}, {"taken", "taken_2.png"},
        };
        for (const auto& [typed, written] : names) {
            const auto outcome = FrameImageSaver::saveToPath(solidFrame(Qt::green), dir + "/" + typed);
            QVERIFY2(outcome.ok(), qPrintable(typed + ": " + outcome.error));
            QCOMPARE(outcome.path, dir + "/" + written);
            QFile file(outcome.path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray head = file.read(8);
            QVERIFY2(FrameImageSaver::isJpegName(written) ? head.startsWith("\xFF\xD8\xFF")
                                                          : head == QByteArray("\x89PNG\r\n\x1a\n", 8),
                     qPrintable(typed));
        }
        QVERIFY(!QFileInfo::exists(dir + "/frame"));
        QVERIFY(!QFileInfo::exists(dir + "/frame.v2"));
        QFile taken(dir + "/taken.png");
        QVERIFY(taken.open(QIODevice::ReadOnly));
        QCOMPARE(taken.readAll(), QByteArray("someone else's"));

        // The same through the tiles' save panel.
        FrameImageIntake intake;
        QSignalSpy done(&intake, &FrameImageIntake::saveFinished);
        world->dialogs.saveAnswer = dir + "/from panel";
        intake.saveFrameImage(solidFrame(Qt::red), world->downloadSettings.get());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().at(0).toString(), dir + "/from panel.png");
        QCOMPARE(centreColor(QImage(dir + "/from panel.png")), QColor(Qt::red));
    }

    void failuresLeaveNoFile() {
        const QString missing = world->environment.path("nowhere");
        const auto intoFolder = FrameImageSaver::saveIntoFolder(solidFrame(Qt::red), missing, "REF.png");
        QVERIFY(!intoFolder.ok());
        const auto toPath = FrameImageSaver::saveToPath(solidFrame(Qt::red), missing + "/x.png");
        QVERIFY(!toPath.ok());
        QVERIFY(!toPath.error.isEmpty());
        QVERIFY(!QFileInfo::exists(missing));
        QVERIFY(!FrameImageSaver::saveToPath(QImage(), world->environment.path("empty.png")).ok());
        QVERIFY(!QFileInfo::exists(world->environment.path("empty.png")));
    }

    // On a full disk the picture is refused with the system's reason, the file written before stays whole, and the
    // user is told.
    void aFullDiskKeepsTheEarlierPictureAndTellsTheUser() {
        SmallDisk disk(64 * 1024);
        QVERIFY2(disk.isMounted(), qPrintable(disk.error()));
        const QString photos = disk.filePath("Photos");
        QVERIFY(QDir().mkpath(photos));
        const QString path = disk.filePath("frame.png");
        QVERIFY(FrameImageSaver::saveToPath(solidFrame(Qt::red), path).ok());
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        const QByteArray before = earlier.readAll();
        QVERIFY(!before.isEmpty());
        disk.fill();

        const auto outcome = FrameImageSaver::saveToPath(solidFrame(Qt::blue), path);
        QVERIFY(!outcome.ok());
        QCOMPARE(outcome.error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
        QVERIFY(earlier.seek(0));
        QCOMPARE(earlier.readAll(), before);

        world->downloadSettings->setBookmarkData(FolderBookmark::create(photos));
        FrameImageIntake intake;
        QSignalSpy done(&intake, &FrameImageIntake::saveFinished);
        intake.saveFrameImage(solidFrame(Qt::green), world->downloadSettings.get());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().at(0).toString(), QString());
        QCOMPARE(QDir(photos).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(world->dialogs.notices.size(), 1);
        QVERIFY2(world->dialogs.notices.first().informativeText.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
                 qPrintable(world->dialogs.notices.first().informativeText));
    }

    // The tiles' save action: straight into the photo folder, no panel.
    void savingIntoThePhotoFolder() {
        const QString dir = folder("Downloads");
        world->downloadSettings->setBookmarkData(FolderBookmark::create(dir));
        FrameImageIntake intake;
        QSignalSpy done(&intake, &FrameImageIntake::saveFinished);
        intake.saveFrameImage(solidFrame(Qt::red), world->downloadSettings.get());
        intake.saveFrameImage(solidFrame(Qt::blue), world->downloadSettings.get());
        QTRY_COMPARE(done.count(), 2);
        QVERIFY(world->dialogs.saveRequests.isEmpty());
        const QString stamp = world->clock.now().toUTC().toString("yyyyMMdd_HHmmss");
        QCOMPARE(QDir(dir).entryList(QDir::Files, QDir::Name),
                 QStringList({"REF_" + stamp + ".png", "REF_" + stamp + "_2.png"}));
    }

    void savingThroughThePanel() {
        FrameImageIntake intake;
        QSignalSpy done(&intake, &FrameImageIntake::saveFinished);
        // Cancelled: nothing is written.
        intake.saveFrameImage(solidFrame(Qt::red), world->downloadSettings.get());
        QCOMPARE(world->dialogs.saveRequests.size(), 1);
        const auto request = world->dialogs.saveRequests.first();
        QCOMPARE(request.suggestedName, "REF_" + world->clock.now().toUTC().toString("yyyyMMdd_HHmmss") + ".png");
        QVERIFY(request.nameFilters.first().contains("*.png"));
        QVERIFY(request.nameFilters.last().contains("*.jpg"));
        QCOMPARE(intake.pendingSaves(), 0);

        const QString dir = folder("picked");
        world->dialogs.saveAnswer = dir + "/frame.jpg";
        intake.saveFrameImage(solidFrame(Qt::red), world->downloadSettings.get());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().at(0).toString(), dir + "/frame.jpg");
        QFile file(dir + "/frame.jpg");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(3).startsWith("\xFF\xD8\xFF"));

        // A photo folder that no longer resolves leads to the panel too; a failed write is logged.
        world->downloadSettings->setBookmarkData(FolderBookmark::create(folder("gone")));
        QDir(world->environment.path("gone")).removeRecursively();
        world->dialogs.saveAnswer = world->environment.path("gone/x.png");
        world->environment.clearLog();
        intake.saveFrameImage(solidFrame(Qt::red), world->downloadSettings.get());
        QCOMPARE(world->dialogs.saveRequests.size(), 3);
        QTRY_COMPARE(done.count(), 2);
        QVERIFY(world->environment.hasLineStartingWith("Resolve bookmark error: "));
        QVERIFY(world->environment.hasLineStartingWith("❌ Failed to save frame image: "));
        QVERIFY(world->environment.logLines().last().size() > QString("❌ Failed to save frame image: ").size());
    }

    // Decoded on a worker, delivered in the order asked; what is not a picture, or is too big, is skipped.
    void loadingKeepsOrderAndSkipsWhatIsNotAPicture() {
        const QString dir = folder("in");
        solidFrame(Qt::red).save(dir + "/red.png");
        solidFrame(Qt::blue, QSize(400, 300)).save(dir + "/blue.jpg");
        writeFile(dir + "/notes.png", "not a picture");
        writeFile(dir + "/huge.png", oversizedPngHeader());
        QVERIFY(FrameImageIntake::readImage(dir + "/huge.png").isNull());

        FrameImageIntake intake;
        QList<QPair<ImageType, QColor>> delivered;
        connect(&intake, &FrameImageIntake::imageLoaded, this, [&](ImageType slot, const QImage& image) {
            delivered.append({slot, centreColor(image)});
        });
        intake.loadFiles(ImageType::last, {dir + "/huge.png", dir + "/red.png", dir + "/notes.png",
                                           dir + "/missing.png", dir + "/blue.jpg"});
        intake.deliverImage(ImageType::first, solidFrame(Qt::green));
        QTRY_COMPARE(intake.pendingLoads(), 0);
        QCOMPARE(delivered.size(), 3);
        QCOMPARE(delivered[0].first, ImageType::last);
        QCOMPARE(delivered[0].second, QColor(Qt::red));
        QCOMPARE(delivered[1].first, ImageType::last);
        QVERIFY(delivered[1].second.blue() > 200 && delivered[1].second.red() < 40);
        QCOMPARE(delivered[2].first, ImageType::first);
        QCOMPARE(delivered[2].second, QColor(Qt::green));
    }

    // A phone photo is over Qt's allocation limit at full size: it comes into the slot upright and as large as the
    // limit allows, rather than being skipped.
    void aPhonePhotoIsTakenAsLargeAsMayBeHeld() {
        const QString photo = folder("card") + "/IMG_0001.JPG";
        QVERIFY(PhonePhoto::write(photo, 6));
        FrameImageIntake intake;
        QList<QImage> delivered;
        connect(&intake, &FrameImageIntake::imageLoaded, this,
                [&](ImageType, const QImage& image) { delivered.append(image); });
        intake.loadFiles(ImageType::first, {photo});
        QTRY_COMPARE_WITH_TIMEOUT(intake.pendingLoads(), 0, 15000);
        QCOMPARE(delivered.size(), 1);
        const QImage image = delivered.first();
        const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
        QVERIFY(image.sizeInBytes() <= limit);
        QVERIFY(image.sizeInBytes() > limit / 2);
        QVERIFY(std::abs(image.width() * 4 - image.height() * 3) <= 8); // upright: 3 wide for 4 high
        QVERIFY(image.pixelColor(image.width() - 10, image.height() / 2).red() > 200);
        QVERIFY(image.pixelColor(10, image.height() / 2).blue() > 200);

        // The same photo dropped as data rather than as a file is read from its own bytes, reduced alike.
        QFile file(photo);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QMimeData mime;
        mime.setData("image/jpeg", file.readAll());
        intake.loadDroppedData(ImageType::last, mime);
        QTRY_COMPARE_WITH_TIMEOUT(intake.pendingLoads(), 0, 15000);
        QCOMPARE(delivered.size(), 2);
        QCOMPARE(delivered.last().size(), image.size());
    }
};

QTEST_GUILESS_MAIN(FrameImagesTest)
#include "tst_frame_images.moc"
