#include "DecimalText.h"
#include "ImageCoding.h"
#include "ImageProcessor.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>

#include <algorithm>
#include <memory>

namespace {
// Detail that JPEG cannot squeeze much: every quality gives a clearly different size.
QImage noise(int width, int height, quint32 seed = 7) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb(int(random.bounded(256)), (x * 3 + y) % 256, int(random.bounded(256)));
    }
    return image;
}

// A photograph-like picture: smooth shading under a fine grain, which lower qualities squeeze a great deal.
QImage shadedWithGrain(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(11);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(25)) - 12;
            const int shade = (x * 160 / width + y * 80 / height) % 256;
            row[x] = qRgb(std::clamp(shade + grain, 0, 255), std::clamp(200 - shade / 2 + grain, 0, 255),
                          std::clamp(90 + ((x / 40 + y / 40) % 2) * 60 + grain, 0, 255));
        }
    }
    return image;
}

qint64 jpegSize(const QImage& image, double quality) {
    return ImageCoding::jpegData(image, quality).value_or(QByteArray()).size();
}

QImage decodedResult(const std::variant<QByteArray, ImageProcessorError>& result) {
    const auto* base64 = std::get_if<QByteArray>(&result);
    return base64 ? ImageCoding::decode(QByteArray::fromBase64(*base64)) : QImage();
}
} // namespace

class ImageProcessorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env_;

private slots:
    void init() { env_ = std::make_unique<TestEnvironment>(); }
    void cleanup() { env_.reset(); }

    void firstQualityOfTheLadderThatFitsIsUsed() {
        const QImage image = noise(300, 200);
        // A limit between the sizes at 0.6 and 0.5: four encodings are too big, 0.5 fits.
        const qint64 at05 = jpegSize(image, 0.5);
        const qint64 at06 = jpegSize(image, 0.6);
        QVERIFY(at05 < at06);
        const float limitMB = float(at05 + (at06 - at05) / 2) / 1048576.0f;

        const auto result = ImageProcessor::processImageForAPI(image, std::nullopt, limitMB);
        QVERIFY(std::holds_alternative<QByteArray>(result));
        QCOMPARE(QByteArray::fromBase64(std::get<QByteArray>(result)), *ImageCoding::jpegData(image, 0.5));
        QCOMPARE(env_->logLines(),
                 (QStringList{"🖼️ Processing image for API: 300x200",
                              "📦 Using JPEG quality 0.5: " + QString::asprintf("%.2f", at05 / 1048576.0) + " MB"}));
    }

    void sizeEqualToTheLimitIsAccepted() {
        const QImage image = noise(120, 80);
        const qint64 at09 = jpegSize(image, 0.9);
        const auto exact = ImageProcessor::processImageForAPI(image, std::nullopt, float(at09) / 1048576.0f);
        QCOMPARE(QByteArray::fromBase64(std::get<QByteArray>(exact)).size(), at09);
        QVERIFY(env_->logLines().last().startsWith("📦 Using JPEG quality 0.9: "));

        const auto under = ImageProcessor::processImageForAPI(image, std::nullopt, float(at09 - 1) / 1048576.0f);
        QVERIFY(QByteArray::fromBase64(std::get<QByteArray>(under)).size() < at09);
        QVERIFY(env_->logLines().last().startsWith("📦 Using JPEG quality 0.8: "));
    }

    void tooLargeImageIsScaledToTheBoundAndTriedAgain() {
        const QImage image = noise(768, 432);
        const float limitMB = float(jpegSize(image, 0.3) - 1) / 1048576.0f;
        const auto result = ImageProcessor::processImageForAPI(image, QSizeF(192, 108), limitMB);
        QCOMPARE(decodedResult(result).size(), QSize(192, 108));
        QCOMPARE(env_->logLines().at(1), QString("🔄 Resizing to 192x108..."));
        QVERIFY(env_->logLines().at(2).startsWith("📦 Resized JPEG quality 0.9: "));
    }

    void imageSmallerThanTheBoundIsRedrawnToo() {
        const QImage image = noise(80, 60);
        // Nothing fits at all: the log shows the redraw to the bound and then the failure.
        const auto result = ImageProcessor::processImageForAPI(image, QSizeF(144, 216), 0.0001f);
        QVERIFY(std::holds_alternative<ImageProcessorError>(result));
        QCOMPARE(env_->logLines().at(1), QString("🔄 Resizing to 144x216..."));
        QCOMPARE(std::get<ImageProcessorError>(result).localizedDescription(),
                 QString("Unable to compress image below 0.0001 MB limit"));
    }

    void withoutBoundsTheLadderEndsInTheError() {
        const auto result = ImageProcessor::processImageForAPI(noise(64, 64), std::nullopt, 0.0001f);
        QCOMPARE(std::get<ImageProcessorError>(result),
                 ImageProcessorError::compressionFailed("Unable to compress image below 0.0001 MB limit"));
        QCOMPARE(env_->logLines().size(), 1);
    }

    void imageWithoutPixelsFailsWithoutScaling() {
        const auto result = ImageProcessor::processImageForAPI(QImage(), QSizeF(1920, 1080), 4.0f);
        QCOMPARE(std::get<ImageProcessorError>(result).localizedDescription(),
                 QString("Unable to compress image below 4.0 MB limit"));
        QCOMPARE(env_->logLines(), QStringList{"🖼️ Processing image for API: 0x0"});
    }

    void transparentPixelsBecomeWhite() {
        QImage image(40, 40, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        const QImage sent = decodedResult(ImageProcessor::processImageForAPI(image, QSizeF(1920, 1080), 4.0f));
        QCOMPARE(sent.size(), QSize(40, 40));
        QVERIFY(qGray(sent.pixel(20, 20)) > 250);
    }

    void workerThreadsCanCollectTheirLines() {
        QStringList collected;
        ImageProcessor::processImageForAPI(noise(16, 16), std::nullopt, 4.0f,
                                           [&collected](const QString& line) { collected.append(line); });
        QCOMPARE(collected.size(), 2);
        QVERIFY(env_->logLines().isEmpty());
    }

    // On a pool, rungs may run two at a time; what comes out is what trying them in turn gives, for every kind of end.
    void onAPoolTheLadderEndsAsItDoesInTurn_data() {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<double>("limitQuality"); // the limit: just under this quality's size; 0 for none fitting
        QTest::addColumn<bool>("bounded");
        const QImage big = noise(1200, 800);
        QTest::newRow("first rung") << big << 1.0 << true;
        QTest::newRow("third rung") << big << 0.8 << true;
        QTest::newRow("last rung") << big << 0.4 << true;
        QTest::newRow("resized") << big << 0.0 << true;
        QTest::newRow("none") << big << 0.0 << false;
    }
    void onAPoolTheLadderEndsAsItDoesInTurn() {
        QFETCH(QImage, image);
        QFETCH(double, limitQuality);
        QFETCH(bool, bounded);
        const qint64 limit = limitQuality >= 1  ? qint64(1) << 30
                             : limitQuality > 0 ? jpegSize(image, limitQuality) - 1
                                                : jpegSize(image, 0.3) - 1;
        const float limitMB = float(limit) / 1048576.0f;
        const std::optional<QSizeF> bound = bounded ? std::optional(QSizeF(300, 200)) : std::nullopt;
        QStringList inTurnLines;
        const auto inTurn = ImageProcessor::processImageForAPI(image, bound, limitMB,
                                                               [&](const QString& line) { inTurnLines << line; });

        QThreadPool pool;
        pool.setMaxThreadCount(4);
        for (int run = 0; run < 5; ++run) {
            QStringList lines;
            std::optional<ImageProcessor::Prepared> pooled;
            QSemaphore done;
            int calls = 0;
            ImageProcessor::processImageForAPI(
                &pool, image, bound, limitMB, [&](const QString& line) { lines << line; },
                [&](ImageProcessor::Prepared result) {
                    ++calls;
                    pooled = std::move(result);
                    done.release();
                });
            QVERIFY(done.tryAcquire(1, 30000));
            pool.waitForDone();
            QCOMPARE(calls, 1);
            QVERIFY(*pooled == inTurn);
            QCOMPARE(lines, inTurnLines);
        }
        QVERIFY(env_->logLines().isEmpty());
    }

    // A large picture goes straight to the quality that fits, where the ladder tried in turn compresses most of the
    // picture once for every quality above it; the quality chosen stays the best that fits.
    void aLargePictureIsCompressedWholeAboutOnce_data() {
        QTest::addColumn<double>("sizeQuality"); // the limit is the JPEG length at this quality ...
        QTest::addColumn<int>("plusBytes");      // ... plus this
        QTest::addColumn<double>("expected");
        QTest::addColumn<double>("mostPictures"); // compressing done, in whole pictures' worth
        QTest::newRow("fits at the best quality") << 0.9 << 0 << 0.9 << 1.2;
        QTest::newRow("the best quality a byte too long") << 0.9 << -1 << 0.8 << 2.2;
        QTest::newRow("third quality") << 0.7 << 0 << 0.7 << 1.5;
        QTest::newRow("fifth quality") << 0.5 << 100 << 0.5 << 1.8;
        QTest::newRow("last quality") << 0.3 << 0 << 0.3 << 2.0;
    }
    void aLargePictureIsCompressedWholeAboutOnce() {
        QFETCH(double, sizeQuality);
        QFETCH(int, plusBytes);
        QFETCH(double, expected);
        QFETCH(double, mostPictures);
        const QImage image = shadedWithGrain(2400, 1600);
        const float limitMB = float(jpegSize(image, sizeQuality) + plusBytes) / 1048576.0f;
        const qint64 before = ImageProcessor::pixelsCompressed();
        const auto result = ImageProcessor::processImageForAPI(image, QSizeF(1920, 1080), limitMB);
        const double pictures = double(ImageProcessor::pixelsCompressed() - before) / (image.width() * image.height());
        QCOMPARE(QByteArray::fromBase64(std::get<QByteArray>(result)), *ImageCoding::jpegData(image, expected));
        QVERIFY2(pictures <= mostPictures, qPrintable(QString::number(pictures)));
        QVERIFY(pictures >= 1); // the picture sent is compressed whole
    }

    void resizeForUIKeepsWhatFitsAndShrinksTheRest() {
        const QImage exact = noise(1920, 1080);
        const QImage same = ImageProcessor::resizeForUI(exact, QSizeF(1920, 1080));
        QCOMPARE(same.cacheKey(), exact.cacheKey());
        QVERIFY(env_->logLines().isEmpty());

        const QImage wide = ImageProcessor::resizeForUI(QImage(3840, 1080, QImage::Format_RGB32), QSizeF(1920, 1080));
        QCOMPARE(wide.size(), QSize(1920, 540));
        QCOMPARE(env_->logLines(), QStringList{"📱 Resizing for UI: 3840x1080 → 1920x1080"});
    }

    void pngDataOfNothingIsNothing() {
        QVERIFY(!ImageProcessor::pngData(QImage()));
        const auto png = ImageProcessor::pngData(noise(8, 8));
        QVERIFY(png && png->startsWith("\x89PNG"));
    }

    void invalidImageHasItsText() {
        QCOMPARE(ImageProcessorError::invalidImage().localizedDescription(), QString("Invalid image format"));
    }

    void decimalTextIsShortestWithAFraction() {
        QCOMPARE(decimalText(0.7), QString("0.7"));
        QCOMPARE(decimalText(2.0), QString("2.0"));
        QCOMPARE(decimalText(4.0f), QString("4.0"));
        QCOMPARE(decimalText(4.1f), QString("4.1"));
        QCOMPARE(decimalText(0.30000000000000004), QString("0.30000000000000004"));
    }
};

QTEST_MAIN(ImageProcessorTest)
#include "tst_image_processor.moc"
