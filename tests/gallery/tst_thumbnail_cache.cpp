#include "ClipMetadataLoader.h"
#include "GalleryTestSupport.h"
#include "ThumbnailCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTest>
#include <QUrl>

using namespace GalleryTestSupport;

namespace {
// A picture with detail in every row and a different colour in every channel.
QImage detailedPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar(x * 7 + y);
            row[3 * x + 1] = uchar((x * x + y * 3) % 251);
            row[3 * x + 2] = uchar(255 - y);
        }
    }
    return image;
}

// The rows of a PNG's pixel data as stored (each with its filter byte first), and how long the data was in the
// file.
std::pair<QByteArray, qsizetype> storedRows(const QByteArray& png) {
    QByteArray stream;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const auto* p = reinterpret_cast<const uchar*>(png.constData() + at);
        const qsizetype length = (qsizetype(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        if (png.mid(at + 4, 4) == "IDAT")
            stream += png.mid(at + 8, length);
        at += 12 + length;
    }
    const qsizetype inFile = stream.size();
    return {qUncompress(QByteArray("\x01\0\0\0", 4) + stream), inFile}; // room for 16 MB
}

QHash<QString, QString> textsOf(const QString& png) {
    QFile file(png);
    return file.open(QIODevice::ReadOnly) ? ThumbnailCache::pngTexts(file.readAll()) : QHash<QString, QString>();
}
} // namespace

class ThumbnailCacheTest : public QObject {
    Q_OBJECT

    std::unique_ptr<World> world;
    QString clip;

private slots:
    void initTestCase() {
        QVERIFY(!clipBytes().isEmpty());
        QVERIFY(!largeClipBytes().isEmpty());
    }
    void init() {
        world = std::make_unique<World>();
        clip = world->folder("Videos") + "/Orvane_a b.mp4";
        QVERIFY(writeFile(clip, clipBytes()));
    }
    void cleanup() { world.reset(); }

    void namesFollowTheSharedScheme() {
        // The example of the shared thumbnail scheme.
        QCOMPARE(QCryptographicHash::hash("file:///home/jens/photos/me.png", QCryptographicHash::Md5).toHex(),
                 QByteArray("c6ee772d9e49320e97ec29a7eb5b1697"));
        QCOMPARE(ThumbnailCache::uriOf(clip), QUrl::fromLocalFile(clip).toEncoded());
        QVERIFY(ThumbnailCache::uriOf(clip).endsWith("/Orvane_a%20b.mp4"));
        const QString expected =
            world->environment.path("xdg-cache") + "/thumbnails/large/" +
            QCryptographicHash::hash(ThumbnailCache::uriOf(clip), QCryptographicHash::Md5).toHex() + ".png";
        QCOMPARE(ThumbnailCache::thumbnailPath(clip, ThumbnailCache::Flavor::large), expected);
    }

    void eachSizeHasItsOwnFolderAndBound() {
        const QString big = world->folder("Videos") + "/Orvane_big.mp4";
        QVERIFY(writeFile(big, largeClipBytes()));
        const QString root = world->environment.path("xdg-cache") + "/thumbnails/";
        const QString hash =
            QCryptographicHash::hash(ThumbnailCache::uriOf(big), QCryptographicHash::Md5).toHex() + ".png";
        QCOMPARE(ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::normal), root + "normal/" + hash);
        QCOMPARE(ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::xlarge), root + "x-large/" + hash);

        QCOMPARE(ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::card),
                 world->environment.path("xdg-cache") + "/Orvane/thumbnails/400/" + hash);

        // The card's thumbnail is at most 400 on a side, kept in the application's own size; the one-column
        // card's sharper picture 512, in the shared x-large size.
        const auto sharp = ClipMetadataLoader::load(big, 512);
        QVERIFY(sharp.ok);
        QCOMPARE(sharp.thumbnail.size(), QSize(512, 288));
        const auto plain = ClipMetadataLoader::load(big);
        QCOMPARE(plain.thumbnail.size(), QSize(400, 225));
        ClipMetadataLoader::waitForCacheWrites();
        for (const auto& [flavor, size] : {std::pair{ThumbnailCache::Flavor::xlarge, QSize(512, 288)},
                                           std::pair{ThumbnailCache::Flavor::card, QSize(400, 225)}}) {
            const QString thumb = ThumbnailCache::thumbnailPath(big, flavor);
            QCOMPARE(QImageReader(thumb).size(), size);
            QCOMPARE(QFileInfo(thumb).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
            const auto texts = textsOf(thumb);
            QCOMPARE(texts.value("Thumb::URI").toUtf8(), ThumbnailCache::uriOf(big));
            QCOMPARE(texts.value("Thumb::MTime").toLongLong(), QFileInfo(big).lastModified().toSecsSinceEpoch());
            const auto warm = ClipMetadataLoader::load(big, ThumbnailCache::maxSide(flavor));
            QVERIFY(warm.fromCache);
            QCOMPARE(warm.thumbnail.size(), size);
        }
        QVERIFY(!QFileInfo::exists(ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::large)));
        QVERIFY(!QFileInfo::exists(ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::normal)));
        // A picture bigger than its folder allows is not taken from it.
        QVERIFY(QDir().mkpath(root + "normal"));
        QVERIFY(QFile::copy(ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::xlarge),
                            ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::normal)));
        QVERIFY(!ThumbnailCache::read(big, ThumbnailCache::Flavor::normal));
    }

    // The cache writes its thumbnails so that showing one costs no more than copying it: each row is stored as it
    // is shown (no filter, no compression); any PNG reader reads them, and a thumbnail another program wrote,
    // compressed and filtered, is still read.
    void aThumbnailIsStoredAsItIsShown() {
        const QImage picture = detailedPicture(400, 225);
        QVERIFY(ThumbnailCache::write(clip, ThumbnailCache::Flavor::card, {picture, 2.5, QSize(1280, 720)}));
        const QString thumb = ThumbnailCache::thumbnailPath(clip, ThumbnailCache::Flavor::card);
        QFile file(thumb);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto [rows, inFile] = storedRows(file.readAll());
        QCOMPARE(rows.size(), 225 * (1 + 400 * 3));
        QVERIFY(inFile >= rows.size()); // stored, not compressed
        for (int y = 0; y < 225; ++y)
            QCOMPARE(int(rows[y * (1 + 400 * 3)]), 0); // no filter
        QCOMPARE(QImage(thumb).convertToFormat(QImage::Format_RGB888), picture);
        const auto texts = textsOf(thumb);
        QCOMPARE(texts.value("Thumb::URI").toUtf8(), ThumbnailCache::uriOf(clip));
        QCOMPARE(texts.value("Thumb::Movie::Length"), "2.500");

        const auto read = ThumbnailCache::read(clip, ThumbnailCache::Flavor::card);
        QVERIFY(read);
        QCOMPARE(read->image.convertToFormat(QImage::Format_RGB888), picture);
        QCOMPARE(read->duration, 2.5);
        QCOMPARE(read->displaySize, QSize(1280, 720));

        // The same picture as another program writes it.
        QImage other = picture.convertToFormat(QImage::Format_RGB32);
        const auto facts = textsOf(thumb);
        for (auto at = facts.cbegin(); at != facts.cend(); ++at)
            other.setText(at.key(), at.value());
        QImageWriter writer(thumb, "png");
        writer.setCompression(9);
        QVERIFY(writer.write(other));
        const auto otherRead = ThumbnailCache::read(clip, ThumbnailCache::Flavor::card);
        QVERIFY(otherRead);
        QCOMPARE(otherRead->image.convertToFormat(QImage::Format_RGB888), picture);
        QCOMPARE(otherRead->duration, 2.5);
    }

    // Thumbnails an earlier version kept at 256 in the large size are not shown enlarged: the clip is read again
    // and its picture kept at the cards' size.
    void anOlderSmallerThumbnailIsMadeAgainAtTheCardsSize() {
        const QString big = world->folder("Videos") + "/Orvane_big.mp4";
        QVERIFY(writeFile(big, largeClipBytes()));
        const auto first = ClipMetadataLoader::load(big, 256);
        QCOMPARE(first.thumbnail.size(), QSize(256, 144));
        ClipMetadataLoader::waitForCacheWrites();
        QVERIFY(QFileInfo::exists(ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::large)));
        QVERIFY(!QFileInfo::exists(ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::card)));
        const auto card = ClipMetadataLoader::load(big);
        QVERIFY(card.ok);
        QVERIFY(!card.fromCache);
        QCOMPARE(card.thumbnail.size(), QSize(400, 225));
        ClipMetadataLoader::waitForCacheWrites();
        QCOMPARE(QImageReader(ThumbnailCache::thumbnailPath(big, ThumbnailCache::Flavor::card)).size(),
                 QSize(400, 225));
        QVERIFY(ClipMetadataLoader::load(big).fromCache);
    }

    void aColdReadFillsTheCacheAndAWarmReadUsesIt() {
        const auto cold = ClipMetadataLoader::load(clip);
        QVERIFY(cold.ok);
        QVERIFY(!cold.fromCache);
        ClipMetadataLoader::waitForCacheWrites();
        const QString thumb = ThumbnailCache::thumbnailPath(clip, ThumbnailCache::Flavor::card);
        QVERIFY(QFileInfo::exists(thumb));
        QCOMPARE(QFileInfo(thumb).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        const auto texts = textsOf(thumb);
        QCOMPARE(texts.value("Thumb::URI").toUtf8(), ThumbnailCache::uriOf(clip));
        QCOMPARE(texts.value("Thumb::MTime").toLongLong(), QFileInfo(clip).lastModified().toSecsSinceEpoch());
        QCOMPARE(texts.value("Thumb::Image::Width"), "160");

        const auto warm = ClipMetadataLoader::load(clip);
        QVERIFY(warm.ok);
        QVERIFY(warm.fromCache);
        QCOMPARE(warm.resolution, cold.resolution);
        QVERIFY(warm.duration && cold.duration && qAbs(*warm.duration - *cold.duration) < 0.001);
        QCOMPARE(warm.thumbnail.size(), cold.thumbnail.size());
    }

    void aChangedFileIsMadeAgain() {
        QVERIFY(ClipMetadataLoader::load(clip).ok);
        ClipMetadataLoader::waitForCacheWrites();
        QFile file(clip);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime later = QFileInfo(clip).lastModified().addSecs(120);
        QVERIFY(file.setFileTime(later, QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(!ThumbnailCache::read(clip, ThumbnailCache::Flavor::card));
        const auto again = ClipMetadataLoader::load(clip);
        QVERIFY(again.ok);
        QVERIFY(!again.fromCache);
        ClipMetadataLoader::waitForCacheWrites();
        QCOMPARE(textsOf(ThumbnailCache::thumbnailPath(clip, ThumbnailCache::Flavor::card))
                     .value("Thumb::MTime")
                     .toLongLong(),
                 later.toSecsSinceEpoch());
        QVERIFY(ClipMetadataLoader::load(clip).fromCache);
    }

    void aThumbnailOfAnotherFileIsNotUsed() {
        // Same cache name (as if the hash collided), other URI inside.
        QImage other(64, 36, QImage::Format_RGB32);
        other.fill(Qt::red);
        other.setText("Thumb::URI", "file:///somewhere/else.mp4");
        other.setText("Thumb::MTime", QString::number(QFileInfo(clip).lastModified().toSecsSinceEpoch()));
        const QString thumb = ThumbnailCache::thumbnailPath(clip, ThumbnailCache::Flavor::card);
        QDir().mkpath(QFileInfo(thumb).path());
        QVERIFY(other.save(thumb, "png"));
        QVERIFY(!ThumbnailCache::read(clip, ThumbnailCache::Flavor::card));
        const auto loaded = ClipMetadataLoader::load(clip);
        QVERIFY(!loaded.fromCache);
        QCOMPARE(loaded.thumbnail.size(), QSize(160, 90));
    }

    void aReadForAClipNoLongerWantedIsSkipped() {
        auto gone = std::make_shared<std::atomic<bool>>(true);
        const auto skipped = ClipMetadataLoader::loadAsync(clip, gone).result();
        QVERIFY(!skipped.ok);
        QVERIFY(skipped.thumbnail.isNull());
        ClipMetadataLoader::waitForCacheWrites();
        QVERIFY(!QFileInfo::exists(ThumbnailCache::thumbnailPath(clip, ThumbnailCache::Flavor::card)));
        *gone = false;
        QVERIFY(ClipMetadataLoader::loadAsync(clip, gone).result().ok);
    }

    void aBrokenClipGivesNoThumbnailAndNoCacheEntry() {
        const QString broken = world->folder("Videos") + "/Orvane_broken.mp4";
        QVERIFY(writeFile(broken, clipBytes().left(300)));
        const auto loaded = ClipMetadataLoader::load(broken);
        QVERIFY(!loaded.ok);
        QVERIFY(!loaded.error.isEmpty());
        ClipMetadataLoader::waitForCacheWrites();
        QVERIFY(!QFileInfo::exists(ThumbnailCache::thumbnailPath(broken, ThumbnailCache::Flavor::card)));
    }
};

QTEST_GUILESS_MAIN(ThumbnailCacheTest)
#include "tst_thumbnail_cache.moc"
