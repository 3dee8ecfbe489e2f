#include "ImageTiles.h"
#include "PresetFormModel.h"
#include "PresetPicture.h"
#include "PresetPictureCache.h"
#include "Spinner.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QtEndian>

#include <limits>

namespace {

QImage picture(int width, int height, QColor color = Qt::red) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QString writePicture(const QTemporaryDir& dir, const QString& name, const QImage& image) {
    const QString path = dir.filePath(name);
    if (!image.save(path))
        return {};
    return path;
}

// A valid BMP header that announces a picture of `width` x `height` at 32 bits, with no pixel data behind it.
QByteArray bmpHeader(qint32 width, qint32 height) {
    QByteArray bytes(54, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    qToLittleEndian<quint32>(54, bytes.data() + 10);
    qToLittleEndian<quint32>(40, bytes.data() + 14);
    qToLittleEndian<qint32>(width, bytes.data() + 18);
    qToLittleEndian<qint32>(height, bytes.data() + 22);
    qToLittleEndian<quint16>(1, bytes.data() + 26);
    qToLittleEndian<quint16>(32, bytes.data() + 28);
    return bytes;
}

QByteArray pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class PresetFormModelTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestEnvironment> env_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    QTemporaryDir dir_;

private slots:
    void init() {
        env_ = std::make_unique<TestEnvironment>();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        Dialogs::setCurrent(dialogs_.get());
    }
    void cleanup() {
        Dialogs::setCurrent(nullptr);
        dialogs_.reset();
        env_.reset();
    }

    void reductionKeepsTheAspectAndCapsTheLongerSide_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("wide") << QSize(1000, 500) << QSize(800, 400);
        QTest::newRow("tall") << QSize(500, 1000) << QSize(400, 800);
        QTest::newRow("square") << QSize(900, 900) << QSize(800, 800);
        QTest::newRow("one over") << QSize(801, 800) << QSize(800, 799);
        QTest::newRow("very wide") << QSize(4000, 2000) << QSize(800, 400);
        QTest::newRow("tall uneven") << QSize(600, 1000) << QSize(480, 800);
        QTest::newRow("thin strip") << QSize(8000, 1) << QSize(800, 1);
    }
    void reductionKeepsTheAspectAndCapsTheLongerSide() {
        QFETCH(QSize, source);
        QFETCH(QSize, expected);
        QCOMPARE(resizeImageForPreset(picture(source.width(), source.height())).size(), expected);
    }

    void smallPicturesComeBackAsTheSameImage_data() {
        QTest::addColumn<QSize>("source");
        QTest::newRow("800x600") << QSize(800, 600);
        QTest::newRow("800x800") << QSize(800, 800);
        QTest::newRow("700x800") << QSize(700, 800);
    }
    void smallPicturesComeBackAsTheSameImage() {
        QFETCH(QSize, source);
        const QImage image = picture(source.width(), source.height());
        QCOMPARE(resizeImageForPreset(image).cacheKey(), image.cacheKey());
    }

    void degeneratePicturesNeverDivideByZero() {
        QVERIFY(resizeImageForPreset(QImage()).isNull());
        const QImage empty(0, 900, QImage::Format_RGB32);
        QVERIFY(resizeImageForPreset(empty).isNull());
    }

    void readingStaysUnderTheAllocationLimit() {
        // 30000 x 30000 at 32 bits is far over Qt's default limit: refused before any pixel is allocated.
        const QString huge = dir_.filePath("huge.bmp");
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bmpHeader(30000, 30000));
        file.close();
        QVERIFY(PresetPicture::readFile(huge).isNull());
        QVERIFY(PresetPicture::readData(bmpHeader(30000, 30000)).isNull());
        QVERIFY(PresetPicture::readData("not a picture at all").isNull());
        QCOMPARE(PresetPicture::readData(pngBytes(picture(40, 30))).size(), QSize(40, 30));
        // The process's limit is the one that counts: a picture over it is refused, not read.
        const int limit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(1);
        const QString big = writePicture(dir_, "big.png", picture(1000, 1000));
        const QImage refused = PresetPicture::readFile(big);
        QImageReader::setAllocationLimit(limit);
        QVERIFY(refused.isNull());
        QCOMPARE(PresetPicture::readFile(big).size(), QSize(1000, 1000));
        // Decoded for a card: just large enough to cover the card's box.
        QCOMPARE(PresetPicture::readData(pngBytes(picture(1000, 500)), QSize(200, 180)).size(), QSize(360, 180));
    }

    void cardsWithNoRoomOrNoPictureDrawNothingOutOfPlace() {
        QImage canvas(50, 50, QImage::Format_ARGB32);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        paintFilled(painter, QRectF(0, 0, 0, 40), picture(10, 10));
        paintFilled(painter, QRectF(0, 0, 40, 40), QImage(0, 10, QImage::Format_RGB32));
        const double nan = std::numeric_limits<double>::quiet_NaN();
        paintFilled(painter, QRectF(0, 0, nan, 40), picture(10, 10));
        paintSpinner(painter, QRectF(0, 0, 0, 0), {SpinnerLook::Style::arc, Qt::white, 3, 0.25});
        painter.end();
        QCOMPARE(canvas.pixelColor(5, 5).alpha(), 0);

        // A picture thinner than one pixel on its short side still gets a drawable size.
        QCOMPARE(resizeImageForPreset(picture(5000, 2)).size(), QSize(800, 1));
    }

    void saveIsEnabledOnlyWithNonBlankTitleAndPrompt_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<bool>("canSave");
        QTest::newRow("both") << "T"
                              << "P" << true;
        QTest::newRow("blank title") << "   "
                                     << "prompt" << false;
        QTest::newRow("newline prompt") << "title"
                                        << "\n\n"
                                        << false;
        QTest::newRow("tabs and newlines") << "\t\n"
                                           << "\n " << false;
        QTest::newRow("padded letters") << "  a  "
                                        << " b\n"
                                        << true;
        QTest::newRow("empty") << ""
                               << "" << false;
    }
    void saveIsEnabledOnlyWithNonBlankTitleAndPrompt() {
        QFETCH(QString, title);
        QFETCH(QString, prompt);
        QFETCH(bool, canSave);
        PresetFormModel form;
        QSignalSpy saves(&form, &PresetFormModel::saveRequested);
        form.setTitle(title);
        form.setPrompt(prompt);
        QCOMPARE(form.canSave(), canSave);
        form.requestSave();
        QCOMPARE(saves.size(), canSave ? 1 : 0);
        // The texts are kept as typed.
        QCOMPARE(form.title(), title);
    }

    void modeNamesTheHeadingAndTheButton() {
        PresetFormModel form;
        QCOMPARE(form.heading(), QString("Create New Preset"));
        QCOMPARE(form.saveButtonTitle(), QString("Create"));
        form.reset("a", "b", {}, true);
        QCOMPARE(form.heading(), QString("Edit Preset"));
        QCOMPARE(form.saveButtonTitle(), QString("Update"));
    }

    // A held prompt is what the form keeps and judges by, whatever its field sends; a reset lets it go.
    void aHeldPromptIgnoresTheField() {
        PresetFormModel form;
        form.reset(QString(), QString(), {}, false);
        form.holdPrompt("the studio's prompt");
        QVERIFY(form.isPromptHeld());
        QCOMPARE(form.prompt(), QString("the studio's prompt"));
        form.setTitle("Title");
        QVERIFY(form.canSave());
        form.setPrompt(QString());
        QCOMPARE(form.prompt(), QString("the studio's prompt"));
        QVERIFY(form.canSave());
        form.holdPrompt("  \n ");
        QVERIFY(!form.canSave());
        form.reset("Title", "own words", {}, false);
        QVERIFY(!form.isPromptHeld());
        form.setPrompt(QString());
        QVERIFY(!form.canSave());
    }

    void chosenFileIsReadAndReducedOffTheGuiThread() {
        PresetFormModel form;
        const QString path = writePicture(dir_, "wide.png", picture(1600, 400, Qt::blue));
        dialogs_->openAnswer = {path};
        dialogs_->holdAsync = true;
        form.chooseImage();
        QCOMPARE(dialogs_->openRequests.size(), 1);
        QCOMPARE(dialogs_->openRequests[0].message, QString("Choose a reference image for your preset"));
        QVERIFY(!dialogs_->openRequests[0].allowsMultipleSelection);
        // Loading starts only once the panel answers.
        QVERIFY(!form.isLoadingImage());
        dialogs_->answerPending();
        QVERIFY(form.isLoadingImage());
        QTRY_VERIFY(!form.isLoadingImage());
        QCOMPARE(form.image().size(), QSize(800, 200));
        QCOMPARE(form.image().pixelColor(10, 10), QColor(Qt::blue));
    }

    void cancelledPanelAndUnreadableFileLeaveThePicture() {
        PresetFormModel form;
        form.setImage(picture(10, 10, Qt::green));
        dialogs_->openAnswer = {};
        form.chooseImage();
        QTest::qWait(10);
        QVERIFY(!form.isLoadingImage());

        const QString text = dir_.filePath("notes.png");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("just words");
        file.close();
        form.loadImage(text);
        QVERIFY(form.isLoadingImage());
        QTRY_VERIFY(!form.isLoadingImage());
        QCOMPARE(form.image().pixelColor(0, 0), QColor(Qt::green));
    }

    void dropWithoutAnyPictureEndsLoadingAtOnce() {
        PresetFormModel form;
        QMimeData mime;
        mime.setText("hello");
        QVERIFY(!PresetPicture::mayHoldPicture(&mime));
        QVERIFY(form.handleDrop(&mime));
        QVERIFY(!form.isLoadingImage());
        QVERIFY(form.image().isNull());
    }

    void dropTakesTheFirstReadablePicture() {
        PresetFormModel form;
        const QString broken = dir_.filePath("broken.jpg");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("no jpeg here");
        file.close();
        const QString first = writePicture(dir_, "first.png", picture(30, 20, Qt::yellow));
        const QString second = writePicture(dir_, "second.png", picture(30, 20, Qt::cyan));
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(broken), QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
        QVERIFY(PresetPicture::mayHoldPicture(&mime));
        QVERIFY(form.handleDrop(&mime));
        QVERIFY(form.isLoadingImage());
        QTRY_VERIFY(!form.isLoadingImage());
        QCOMPARE(form.image().pixelColor(0, 0), QColor(Qt::yellow));

        QMimeData inline_;
        inline_.setImageData(picture(2000, 1000, Qt::magenta));
        form.handleDrop(&inline_);
        QTRY_VERIFY(!form.isLoadingImage());
        QCOMPARE(form.image().size(), QSize(800, 400));
    }

    void overlappingLoadsAreNeitherCancelledNorOrdered() {
        PresetFormModel form;
        const QString big = writePicture(dir_, "big.png", picture(3000, 3000, Qt::red));
        const QString small = writePicture(dir_, "small.png", picture(20, 10, Qt::blue));
        QList<QSize> applied;
        connect(&form, &PresetFormModel::imageChanged, this, [&] { applied << form.image().size(); });
        form.loadImage(big);
        form.loadImage(small);
        // The first load to end clears the flag although the other is still running.
        QTRY_COMPARE(applied.size(), 1);
        QTRY_VERIFY(!form.isLoadingImage());
        QTRY_COMPARE(applied.size(), 2);
        QCOMPARE(QSet<QSize>(applied.begin(), applied.end()), QSet<QSize>({QSize(800, 800), QSize(20, 10)}));
        // Whichever ended last decides the picture.
        QCOMPARE(form.image().size(), applied.last());
    }

    void formClosedDuringALoadIsNotTouched() {
        const QString path = writePicture(dir_, "late.png", picture(2000, 2000));
        auto form = std::make_unique<PresetFormModel>();
        form->loadImage(path);
        form.reset();
        // Let the worker finish and its result come back to the event loop with nobody left to receive it.
        QTest::qWait(100);
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }

    void cardPicturesAreDecodedOnceAtCardSize() {
        PresetPictureCache cache(QSize(300, 180));
        QSignalSpy ready(&cache, &PresetPictureCache::pictureReady);
        const QUuid id = QUuid::createUuid();
        const QByteArray data = pngBytes(picture(1200, 600));
        QImage shown;
        QCOMPARE(cache.request(id, data, &shown), PresetPictureCache::State::loading);
        QCOMPARE(cache.request(id, data, &shown), PresetPictureCache::State::loading);
        QCOMPARE(cache.decodesStarted(), 1);
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(cache.request(id, data, &shown), PresetPictureCache::State::ready);
        QCOMPARE(shown.size(), QSize(360, 180));

        const QUuid bad = QUuid::createUuid();
        cache.request(bad, "garbage", nullptr);
        QTRY_COMPARE(ready.size(), 2);
        QCOMPARE(cache.request(bad, "garbage", nullptr), PresetPictureCache::State::failed);
        // New data for the same record is decoded again.
        QCOMPARE(cache.request(id, pngBytes(picture(100, 100)), &shown), PresetPictureCache::State::loading);
        QCOMPARE(cache.decodesStarted(), 3);
    }

    void onlyTheNewestDataOfACardIsKept() {
        PresetPictureCache cache(QSize(300, 180));
        QSignalSpy ready(&cache, &PresetPictureCache::pictureReady);
        const QUuid id = QUuid::createUuid();
        // The older picture is the slow one, so its decode ends after the newer one's.
        const QByteArray older = pngBytes(picture(3000, 3000, Qt::red));
        const QByteArray newer = pngBytes(picture(60, 36, Qt::blue));
        QCOMPARE(cache.request(id, older, nullptr), PresetPictureCache::State::loading);
        QCOMPARE(cache.request(id, newer, nullptr), PresetPictureCache::State::loading);
        QTRY_COMPARE(ready.size(), 1);
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(ready.size(), 1);
        QImage shown;
        QCOMPARE(cache.request(id, newer, &shown), PresetPictureCache::State::ready);
        QCOMPARE(shown.pixelColor(0, 0), QColor(Qt::blue));
        QCOMPARE(cache.pending(), 0);
    }
};

QTEST_MAIN(PresetFormModelTest)
#include "tst_preset_form_model.moc"
