#include "APIManager.h"
#include "AppPaths.h"
#include "DragOutCopies.h"
#include "EngineTestSupport.h"
#include "FileSystemMonitor.h"
#include "GalleryTestSupport.h"
#include "QueueManager.h"
#include "VideoGalleryItemModel.h"
#include "VideoGalleryViewModel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

using namespace GalleryTestSupport;
using Kind = CardBadge::Kind;

Q_DECLARE_METATYPE(std::optional<VideoOverlayMetadata>)

class GalleryItemsTest : public QObject {
    Q_OBJECT

    QStringList titles(const VideoGalleryItemModel& model) {
        QStringList result;
        for (int row = 0; row < model.rowCount(); ++row)
            result << model.data(model.index(row, 0)).toString();
        return result;
    }

    static int modeOf(const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
    }

private slots:
    void initTestCase() { QVERIFY(!clipBytes().isEmpty()); }

    void runningJobsThenWaitingJobsThenClips() {
        EngineWorld world;
        const QByteArray cache = world.environment.path("xdg-cache").toUtf8();
        qputenv("XDG_CACHE_HOME", cache);
        world.fake.acceptedKeys = {"key-1", "key-2"};
        world.fake.scripts = {FakeMiniMaxService::TaskScript::processingForever(),
                              FakeMiniMaxService::TaskScript::processingForever()};
        APIManager::shared().setMiniMaxAPIKey("key-1");
        APIManager::shared().setMiniMaxAPIKey2("key-2");
        QueueManager queue;
        VideoGalleryViewModel gallery;
        const QString folder = world.environment.path("Videos");
        QDir().mkpath(folder);
        QVERIFY(writeFile(folder + "/Orvane_clip.mp4", clipBytes()));
        gallery.startMonitoring(folder);
        QVERIFY(waitUntilListed(gallery));

        VideoGalleryItemModel model(&gallery, &queue);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(titles(model), QStringList{"Orvane_clip"});
        for (int i = 1; i <= 5; ++i)
            queue.addVideoTask(QStringLiteral("job %1").arg(i), solidFrame(Qt::red), std::nullopt, VideoQuality::p1080,
                               VideoDuration::seconds6);
        QCOMPARE(queue.activeVideoTasks().size(), 2);
        QCOMPARE(titles(model), (QStringList{"job 1", "job 2", "job 3", "job 4", "job 5", "Orvane_clip"}));
        QCOMPARE(model.placeholderCount(), 5);
        QCOMPARE(model.data(model.index(1, 0), VideoGalleryItemModel::StatusTextRole).toString(), "Generating...");
        QCOMPARE(model.data(model.index(2, 0), VideoGalleryItemModel::StatusTextRole).toString(), "In Queue...");
        QCOMPARE(model.data(model.index(0, 0), Qt::DecorationRole).value<QImage>().pixelColor(0, 0), QColor(Qt::red));
        QVERIFY(model.data(model.index(5, 0), VideoGalleryItemModel::StatusTextRole).isNull());

        const QModelIndex job = model.index(0, 0);
        QVERIFY(job.data(VideoGalleryItemModel::IsPlaceholderRole).toBool());
        QCOMPARE(job.data(VideoGalleryItemModel::IdRole).toUuid(), queue.activeVideoTasks().first().id);
        QCOMPARE(model.rowOfId(queue.videoQueue().last().id), 4);
        QVERIFY(job.data(VideoGalleryItemModel::OverlayRole).isValid());
        const auto overlay = job.data(VideoGalleryItemModel::OverlayRole).value<VideoOverlayMetadata>();
        QCOMPARE(overlay.quality, "1080P");
        QCOMPARE(overlay.model, "2.0");
        QCOMPARE(overlay.promptOptimization, true);

        // The clip row keeps its identity while the jobs around it change.
        const QUuid clipId = model.index(5, 0).data(VideoGalleryItemModel::IdRole).toUuid();
        QCOMPARE(model.rowOfId(clipId), 5);
        model.ensureMetadata(5);
        QTRY_VERIFY(!model.data(model.index(5, 0), Qt::DecorationRole).isNull());
        gallery.stopMonitoring();
        QCOMPARE(model.rowCount(), 5);
        qunsetenv("XDG_CACHE_HOME");
    }

    void rowsFollowTheFolder() {
        World world;
        const QString folder = world.folder("Videos");
        VideoGalleryViewModel gallery;
        VideoGalleryItemModel model(&gallery, nullptr);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(writeFile(folder + "/Orvane_a.mp4", clipBytes()));
        gallery.startMonitoring(folder);
        QVERIFY(waitUntilListed(gallery));
        QCOMPARE(titles(model), QStringList{"Orvane_a"});
        QVERIFY(writeFile(folder + "/Orvane_b.mp4", clipBytes()));
        QTRY_COMPARE(titles(model), (QStringList{"Orvane_b", "Orvane_a"}));
        QVERIFY(!model.data(model.index(0, 0), Qt::DecorationRole).isNull()); // read before it was shown
        QVERIFY(QFile::rename(folder + "/Orvane_a.mp4", folder + "/Orvane_c.mp4"));
        QTRY_COMPARE(titles(model), (QStringList{"Orvane_c", "Orvane_b"}));
        QVERIFY(QFile::remove(folder + "/Orvane_b.mp4"));
        QTRY_COMPARE(titles(model), QStringList{"Orvane_c"});
        world.drain();
    }

    void badges_data() {
        QTest::addColumn<std::optional<VideoOverlayMetadata>>("overlay");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<CardBadge>>("badges");
        const VideoOverlayMetadata fastAi{"p", "768P", true, "2.3 Fast", false};
        QTest::newRow("none") << std::optional<VideoOverlayMetadata>() << 1 << QList<CardBadge>{};
        QTest::newRow("solo") << std::optional(fastAi) << 1
                              << QList<CardBadge>{{Kind::quality, "768P", {}},
                                                  {Kind::model, "2.3 Fast", {}},
                                                  {Kind::promptOptimization, "AI", "sparkles"}};
        QTest::newRow("compact shortens")
            << std::optional(fastAi) << 3
            << QList<CardBadge>{
                   {Kind::quality, "768P", {}}, {Kind::model, "2.3 f", {}}, {Kind::promptOptimization, {}, "sparkles"}};
        const VideoOverlayMetadata fast{"p", std::nullopt, std::nullopt, "2.0", true};
        QTest::newRow("comfort fast") << std::optional(fast) << 2
                                      << QList<CardBadge>{{Kind::model, "2.0", {}},
                                                          {Kind::fastPretreatment, "Fast", "bolt.fill"}};
        QTest::newRow("four columns are not compact") << std::optional(fastAi) << 4
                                                      << QList<CardBadge>{{Kind::quality, "768P", {}},
                                                                          {Kind::model, "2.3 Fast", {}},
                                                                          {Kind::promptOptimization, "AI", "sparkles"}};
    }
    void badges() {
        QFETCH(std::optional<VideoOverlayMetadata>, overlay);
        QFETCH(int, columns);
        QFETCH(QList<CardBadge>, badges);
        QCOMPARE(cardBadges(overlay, columns), badges);
    }

    void metricsFollowTheColumns_data() {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<int>>("values"); // spacing, content spacing, title, detail, padding h, v
        QTest::addColumn<bool>("labels");
        QTest::newRow("1") << 1 << QList<int>{12, 4, 14, 12, 14, 7} << true;
        QTest::newRow("2") << 2 << QList<int>{8, 3, 13, 11, 12, 6} << false;
        QTest::newRow("3") << 3 << QList<int>{4, 2, 12, 10, 8, 6} << false;
        QTest::newRow("5") << 5 << QList<int>{4, 2, 12, 10, 8, 6} << false;
    }
    void metricsFollowTheColumns() {
        QFETCH(int, columns);
        QFETCH(QList<int>, values);
        QFETCH(bool, labels);
        const CardMetrics m = CardMetrics::forColumns(columns);
        QCOMPARE((QList<int>{m.buttonSpacing, m.buttonContentSpacing, m.titleFontSize, m.detailFontSize,
                             m.buttonPaddingHorizontal, m.buttonPaddingVertical}),
                 values);
        QCOMPARE(m.showsButtonLabels, labels);
        QCOMPARE(m.isCompact, columns == 3);
    }

    void aJobCardShowsItsOwnSettings() {
        GenerationTask task;
        task.prompt = "";
        task.status = GenerationTaskStatus::pending;
        const auto item = VideoGalleryItem::placeholder(task);
        QCOMPARE(item.title(), QString());
        QCOMPARE(item.statusText(), "In Queue...");
        QCOMPARE(cardBadges(item.overlayMetadata(), 1), QList<CardBadge>{});
        task.status = GenerationTaskStatus::active;
        task.model = VideoModel::hailuo23;
        task.quality = VideoQuality::p512;
        QCOMPARE(VideoGalleryItem::placeholder(task).statusText(), "Generating...");
        QCOMPARE(cardBadges(VideoGalleryItem::placeholder(task).overlayMetadata(), 3),
                 (QList<CardBadge>{{Kind::quality, "512P", {}}, {Kind::model, "2.3", {}}}));
    }

    // A receiver may read the dropped file long after the drop: the copy stays, readable by the user alone,
    // until a later start removes what earlier runs left.
    void dragCopiesStayPrivateUntilTheNextStart() {
        World world;
        const QString folder = DragOutCopies::folder();
        const QString clip = world.folder("Videos") + "/Orvane_drag.mp4";
        QVERIFY(writeFile(clip, clipBytes()));
        const qint64 now = world.clock.now().toSecsSinceEpoch();
        const QString copy = DragOutCopies::makeCopy(clip);
        QCOMPARE(QFileInfo(copy).path(), AppPaths::cacheFolder() + "/Orvane_Temp");
        QCOMPARE(QFileInfo(copy).fileName(), QStringLiteral("temp_%1_Orvane_drag.mp4").arg(now));
        QCOMPARE(modeOf(folder), 0700);
        QCOMPARE(modeOf(copy), 0600);
        // A second request in the same second cannot make its own copy: the receiver gets the clip itself.
        QCOMPARE(DragOutCopies::makeCopy(clip), clip);
        world.clock.advance(24 * 60 * 60);
        QVERIFY(QFile::exists(copy));

        // What earlier runs left goes at a start, however young; this run's copy, other files and anything
        // outside the folder stay.
        const QString old = folder + QStringLiteral("/temp_%1_Orvane_a.mp4").arg(now - 600);
        const QString young = folder + QStringLiteral("/temp_%1_Orvane_b.mp4").arg(now + 24 * 60 * 60 - 1);
        const QString other = folder + "/keep.mp4";
        const QString outside = AppPaths::cacheFolder() + QStringLiteral("/temp_%1_x.mp4").arg(now - 600);
        for (const QString& path : {old, young, other, outside})
            QVERIFY(writeFile(path, "x"));
        QCOMPARE(DragOutCopies::removeStaleCopies(), 2);
        QVERIFY(!QFile::exists(old));
        QVERIFY(!QFile::exists(young));
        QVERIFY(QFile::exists(copy));
        QVERIFY(QFile::exists(other));
        QVERIFY(QFile::exists(outside));
        QVERIFY(QFile::exists(clip));
    }
};

QTEST_GUILESS_MAIN(GalleryItemsTest)
#include "tst_gallery_items.moc"
