#include "Graphemes.h"
#include "GuiTestSupport.h"
#include "PhotoFiles.h"
#include "QueueManager.h"
#include "QueueStatusIndicator.h"
#include "QueueStatusRules.h"
#include "ReferenceLoader.h"
#include "ResultLabel.h"
#include "TestSupport.h"

#include <QAccessible>
#include <QBuffer>
#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace StudioRules;

namespace {
// A picture with some structure, so that its encodings differ from those of other sizes and colours.
QImage testPicture(int width, int height, QColor color = QColor(200, 120, 40)) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    for (int y = 0; y < height; y += 7)
        image.setPixelColor(width / 2, y, Qt::white);
    return image;
}

QString writePicture(const QDir& dir, const QString& name, const QImage& image, const char* format = nullptr) {
    const QString path = dir.filePath(name);
    image.save(path, format);
    return path;
}

QString spokenName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}
} // namespace

// What both studios share: grapheme counting, the reference picture loader, the photo files' names and the
// queue status capsule with its rules.
class StudioCommonTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> files_;

private slots:
    void init() {
        files_ = std::make_unique<QTemporaryDir>();
        QVERIFY(files_->isValid());
    }

    void cleanup() { files_.reset(); }

    // --- prompt text ---

    void graphemesCountClustersNotCodeUnits() {
        const QString family = QString::fromUtf8("👨‍👩‍👧");
        const QString accented = QStringLiteral("e\u0301");
        QCOMPARE(Graphemes::count(family + accented + "a"), 3);
        QCOMPARE(Graphemes::truncated(family + accented + "a", 2), family + accented);
        QCOMPARE(Graphemes::truncated("abc", 5), QString("abc"));
    }

    // --- reference pictures ---

    void decodedPicturesComeBackInTheOrderAskedFor() {
        const QDir dir(files_->path());
        // The first is slow to decode, the others quick: they finish first but must wait their turn.
        const QString slow = writePicture(dir, "slow.jpg", testPicture(2400, 1800, Qt::darkCyan), "JPEG");
        QList<ReferenceLoader::Source> sources;
        sources.append({slow, {}, {}});
        for (int i = 0; i < 5; ++i)
            sources.append({writePicture(dir, QStringLiteral("q%1.png").arg(i), testPicture(10 + i, 10)), {}, {}});
        sources.append({dir.filePath("missing.png"), {}, {}});
        sources.append({{}, {}, testPicture(3000, 1500)});

        ReferenceLoader loader;
        QList<int> order;
        QList<ReferenceLoader::Loaded> results;
        QSignalSpy idle(&loader, &ReferenceLoader::idle);
        for (int i = 0; i < sources.size(); ++i) {
            loader.load(sources[i], [&order, &results, i](const ReferenceLoader::Loaded& loaded) {
                order << i;
                results << loaded;
            });
        }
        QVERIFY(order.isEmpty()); // never handed back inside load()
        QTRY_COMPARE(idle.count(), 1);
        QCOMPARE(order, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7}));
        QCOMPARE(results[0].image.size(), QSize(1440, 1080));
        QCOMPARE(results[0].logLines, QStringList{"📱 Resizing for UI: 2400x1800 → 1920x1080"});
        QCOMPARE(results[0].thumbnail.size(), QSize(400, 300));
        QCOMPARE(results[3].image.size(), QSize(12, 10));
        QVERIFY(results[3].logLines.isEmpty());
        QVERIFY(results[6].image.isNull());
        QVERIFY(!results[6].error.isEmpty());
        QCOMPARE(results[7].image.size(), QSize(1920, 960));
    }

    void onlyRasterPicturesAreRead_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("readable");
        for (const char* format : {"PNG", "JPEG", "BMP", "TIFF", "WEBP"})
            QTest::newRow(format) << QByteArray(format) << true;
        QTest::newRow("SVG") << QByteArray("SVG") << false;
        QTest::newRow("ICO") << QByteArray("ICO") << false;
    }

    void onlyRasterPicturesAreRead() {
        QFETCH(QByteArray, format);
        QFETCH(bool, readable);
        QByteArray bytes;
        if (format == "SVG") {
            bytes = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"30\"/>";
        } else {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(testPicture(40, 30).save(&buffer, format.constData()));
        }
        // By their bytes, whatever the name says.
        QFile file(files_->filePath("picture.png"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        for (const ReferenceLoader::Source& source :
             {ReferenceLoader::Source{file.fileName(), {}, {}}, ReferenceLoader::Source{{}, bytes, {}}}) {
            const ReferenceLoader::Loaded loaded = ReferenceLoader::decode(source);
            QCOMPARE(loaded.image.isNull(), !readable);
            if (readable)
                QCOMPARE(loaded.image.size(), QSize(40, 30));
            QCOMPARE(loaded.error, readable ? QString() : QString("Unsupported image format"));
        }
    }

    // --- photo files ---

    void identifiersAreStableWithinARunAndCoverEveryByte() {
        const QByteArray bytes(1000, 'a');
        QByteArray changed = bytes;
        changed[999] = 'b';
        QCOMPARE(PhotoFiles::identifier(bytes), PhotoFiles::identifier(bytes));
        QVERIFY(PhotoFiles::identifier(bytes) != PhotoFiles::identifier(changed));
        QVERIFY(QRegularExpression("^\\d+$").match(PhotoFiles::identifier(changed)).hasMatch());
        const PhotoFiles::Encoded none = PhotoFiles::encode(QImage());
        QVERIFY(!none.png);
        QVERIFY(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(none.identifier)
                    .hasMatch());
    }

    // --- queue status ---

    void queueIndicatorShowsTheOtherStudiosWork() {
        TestEnvironment env;
        QueueManager queue;
        QCOMPARE(indicatorState(queue, IndicatorTab::photo).visible, false);
        QCOMPARE(indicatorState(queue, IndicatorTab::video).visible, false);
        QCOMPARE(indicatorState(queue, IndicatorTab::photo).activeSlots, 0);
        QCOMPARE(indicatorState(queue, IndicatorTab::video).text, QString("Ready"));
        QVERIFY(!indicatorState(queue, IndicatorTab::photo).spinner);

        // A clip in the queue shows on the photo side only, with the queue's own text and its running slots.
        QImage frame(64, 36, QImage::Format_RGB32);
        frame.fill(Qt::red);
        queue.addVideoTask(QString("a fox"), frame, std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
        const IndicatorState photo = indicatorState(queue, IndicatorTab::photo);
        QVERIFY(photo.visible);
        QCOMPARE(photo.text, queue.videoStatusText());
        QCOMPARE(photo.activeSlots, int(queue.activeVideoTasks().size()));
        QCOMPARE(photo.spinner, !queue.activeVideoTasks().isEmpty());
        QVERIFY(!indicatorState(queue, IndicatorTab::video).visible);
    }

    void theQueueCapsuleSaysItsTextOnceAsALabel() {
        QWidget host;
        auto* status = new QueueStatusIndicator(nullptr, StudioRules::IndicatorTab::photo, &host);
        host.resize(400, 80);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        GUI_REQUIRE(text, ResultLabel, status, "queueStatusText");
        for (const QString& state : {QString("1/4 generating"), QString("2 active, 3 queued")}) {
            status->showState({true, state, 1, true});
            QVERIFY(text->isVisible());
            QCOMPARE(spokenName(text), state);
            // The frame around it is no second copy of the text.
            QVERIFY2(spokenName(status) != state, qPrintable(spokenName(status)));
        }
        status->showState({});
        QTRY_VERIFY(!text->isVisible());
    }

    // The capsule's pulses and spinner tick only while it can be seen: not in a hidden header, not in a minimised
    // window. Seen again, they move at once.
    void theQueueCapsuleTicksOnlyOnScreen() {
        QWidget host;
        auto* header = new QWidget(&host);
        header->resize(400, 80);
        auto* status = new QueueStatusIndicator(nullptr, StudioRules::IndicatorTab::video, header);
        host.resize(400, 80);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        status->showState({true, "1 photo", 0, true});
        QVERIFY(status->isAnimating());
        const QList<QPair<const char*, std::function<void(bool)>>> aways{
            {"the header is hidden", [&](bool away) { header->setVisible(!away); }},
            {"the window is minimised", [&](bool away) { away ? host.showMinimized() : host.showNormal(); }},
        };
        for (const auto& [what, away] : aways) {
            away(true);
            QTRY_VERIFY2(!status->isAnimating(), what);
            away(false);
            QTRY_VERIFY2(status->isAnimating(), what);
        }
    }
};

QTEST_MAIN(StudioCommonTest)
#include "tst_studio_common.moc"
