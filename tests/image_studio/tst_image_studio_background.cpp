// Where the studio's big picture work runs: off the GUI thread, off Qt's global pool (which the GUI thread's own
// paints wait on), on every core at a lower priority than the GUI thread, and without copies on the way back.
#include "APIManager.h"
#include "BackgroundPool.h"
#include "FakeGeminiService.h"
#include "OrvaneAPIService.h"
#include "PoolWork.h"
#include "ReferenceLoader.h"
#include "ResultPictureView.h"
#include "TestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Counts how often it is copied.
struct Counted {
    static inline int copies = 0;
    Counted() = default;
    Counted(const Counted&) { ++copies; }
    Counted(Counted&&) noexcept = default;
    Counted& operator=(const Counted&) {
        ++copies;
        return *this;
    }
    Counted& operator=(Counted&&) noexcept = default;
};

QCoro::Task<int> awaitAndTake(QFuture<Counted> future) {
    co_await PoolWork::finished(future);
    const Counted taken = future.takeResult();
    (void)taken;
    co_return Counted::copies;
}

// Photograph-like noise, so that its PNG takes a while to decode.
QImage noise(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = 7;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            line[x] = state >> 8;
        }
    }
    return image;
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Holds every thread of Qt's global pool for as long as it lives.
class GlobalPoolTaken {
public:
    GlobalPoolTaken() : count_(QThreadPool::globalInstance()->maxThreadCount()) {
        QSemaphore started;
        for (int i = 0; i < count_; ++i) {
            QThreadPool::globalInstance()->start([this, &started] {
                started.release();
                release_.acquire();
            });
        }
        started.acquire(count_);
    }
    ~GlobalPoolTaken() {
        release_.release(count_);
        QThreadPool::globalInstance()->waitForDone();
    }

private:
    const int count_;
    QSemaphore release_;
};

} // namespace

class ImageStudioBackgroundTest : public QObject {
    Q_OBJECT

private slots:
    void aFinishedResultIsTakenWithoutACopy() {
        Counted::copies = 0;
        QFuture<Counted> future = BackgroundPool::run([] { return Counted(); });
        auto task = awaitAndTake(future);
        QVERIFY(QTest::qWaitFor([&task] { return task.isReady(); }, 10000));
        QCOMPARE(QCoro::waitFor(task), 0);
    }

    void theBackgroundPoolTakesEveryCoreBelowTheGuiThread() {
        QCOMPARE(BackgroundPool::shared().maxThreadCount(), QThread::idealThreadCount());
        const int guiNice = getpriority(PRIO_PROCESS, 0);
        struct Seen {
            int nice;
            bool onGlobalPool;
        };
        const Seen seen = BackgroundPool::run([] {
                              return Seen{getpriority(PRIO_PROCESS, 0),
                                          QThreadPool::globalInstance()->contains(QThread::currentThread())};
                          }).result();
        QVERIFY2(seen.nice > guiNice, qPrintable(QStringLiteral("worker nice %1, GUI %2").arg(seen.nice).arg(guiNice)));
        QVERIFY(!seen.onGlobalPool);
    }

    // Each reference decodes on a core of its own, as many at once as the machine has cores.
    void referencesDecodeOnEveryCore() {
        const int cores = QThread::idealThreadCount();
        const QByteArray jpeg = encoded(noise(3000, 2000), "JPEG");
        ReferenceLoader loader;
        int delivered = 0;
        for (int i = 0; i < cores; ++i) {
            ReferenceLoader::Source source;
            source.bytes = jpeg;
            loader.load(source, [&delivered](const ReferenceLoader::Loaded& loaded) {
                delivered += loaded.image.isNull() ? 0 : 1;
            });
        }
        QCOMPARE(BackgroundPool::shared().activeThreadCount(), cores);
        QVERIFY(QTest::qWaitFor([&delivered, cores] { return delivered == cores; }, 30000));
    }

    // The answer's text and picture are decoded on the background pool, while the GUI thread keeps turning.
    void aPictureAnswerDecodesInTheBackground() {
        TestEnvironment environment;
        FakeGeminiService fake;
        fake.install();
        APIManager::shared().setGoogleAPIKey(fake.apiKey);
        const QImage picture = noise(1600, 1600);
        fake.script = {FakeGeminiService::Reply::json(FakeGeminiService::response(FakeGeminiService::Json::array(
            {FakeGeminiService::candidate(FakeGeminiService::Json::array({FakeGeminiService::pngPart(picture)}))})))};

        int busiest = 0;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, this,
                [&busiest] { busiest = std::max(busiest, BackgroundPool::shared().activeThreadCount()); });
        ticks.start(1);
        OrvaneAPIService service;
        auto task = service.generateImage("a lighthouse", {});
        QVERIFY(QTest::qWaitFor([&task] { return task.isReady(); }, 30000));
        ticks.stop();
        QCOMPARE(service.errorMessage(), std::optional<QString>());
        QCOMPARE(service.generatedImage().convertToFormat(QImage::Format_RGB32), picture);
        QVERIFY(busiest >= 1);
    }

    // The result is scaled to its place on the background pool before it is shown, with no help from Qt's global
    // pool (the window's paints wait on that pool), and every pixel shown is the average of those it stands for.
    void theResultIsScaledInTheBackgroundAlone() {
        ResultPictureView view;
        view.resize(120, 120);
        // Black and white pixels in turn: any sampling that skips pixels shows black or white, not grey.
        QImage picture(4096, 4096, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                line[x] = (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        }
        {
            const GlobalPoolTaken taken;
            view.setImage(picture);
            QVERIFY(BackgroundPool::shared().activeThreadCount() >= 1);
            QVERIFY(QTest::qWaitFor([&view] { return view.isShown(); }, 10000));
        }
        const QImage shown = view.grab().toImage();
        for (const QPoint at : {QPoint(60, 60), QPoint(20, 20), QPoint(100, 80)}) {
            const QColor pixel = shown.pixelColor(at);
            QVERIFY2(std::abs(pixel.red() - 128) <= 3 && std::abs(pixel.green() - 128) <= 3, qPrintable(pixel.name()));
        }
    }
};

QTEST_MAIN(ImageStudioBackgroundTest)
#include "tst_image_studio_background.moc"
