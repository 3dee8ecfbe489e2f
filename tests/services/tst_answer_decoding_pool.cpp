#include "APIManager.h"
#include "FakeGeminiService.h"
#include "OrvaneAPIService.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

// Ends the process with a failure when a case has not ended in time: a pool that is stuck for good would hold up
// the process's exit as well (the global pool is waited for), so a plain failed check would hang.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, const char* what)
        : thread_([this, limit, what] {
              std::unique_lock lock(mutex_);
              if (!ended_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "FAIL!  : %s\n", what);
                  std::fflush(stderr);
                  std::_Exit(EXIT_FAILURE);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        ended_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};

// Big enough that Qt converts it in slices on the global pool when asked from the GUI thread.
bool convertOnThePool() {
    QImage image(1024, 1024, QImage::Format_ARGB32);
    image.fill(Qt::darkMagenta);
    return image.convertToFormat(QImage::Format_RGB888).pixel(1023, 1023) == QColor(Qt::darkMagenta).rgb();
}

} // namespace

// Answers decoded while Qt's global pool has as few threads as a two-core machine gives it.
class AnswerDecodingPoolTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QThreadPool::globalInstance()->setMaxThreadCount(2); }

    void aLargePictureArrivesAndTheWindowKeepsAnswering() {
        const Watchdog watchdog(std::chrono::seconds(30),
                                "the picture answer never ended: the thread pool or the GUI thread is stuck");
        TestEnvironment environment;
        FakeGeminiService fake;
        fake.install();
        APIManager::shared().setGoogleAPIKey(fake.apiKey);

        // Stored without compression: 6.5 MB of PNG, 8.6 MB of base64 text.
        QImage picture(1800, 1200, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                line[x] = qRgb(x & 255, y & 255, (x + y) & 255);
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.setQuality(100);
        QVERIFY(writer.write(picture));
        const std::string base64 = png.toBase64().toStdString();
        QVERIFY(base64.size() >= 5 * 1024 * 1024);
        fake.script = {FakeGeminiService::Reply::json(FakeGeminiService::response(
            FakeGeminiService::Json::array({FakeGeminiService::candidate(
                FakeGeminiService::Json::array({FakeGeminiService::inlinePart("image/png", base64)}))}),
            1290))};

        // The GUI thread keeps drawing large images, which Qt hands to the same pool.
        int conversions = 0;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, this, [&conversions] { conversions += convertOnThePool() ? 1 : 0; });
        ticks.start(10);

        OrvaneAPIService service;
        auto task = service.generateImage("a lighthouse", {});
        QVERIFY(QTest::qWaitFor([&task] { return task.isReady(); }, 25000));
        const int conversionsWhileWaiting = conversions;
        ticks.stop();

        QCOMPARE(service.errorMessage(), std::optional<QString>());
        QCOMPARE(service.generatedImage().convertToFormat(QImage::Format_RGB32), picture);
        QVERIFY(conversionsWhileWaiting >= 1);
        // Every pool thread comes free again.
        QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
    }
};

QTEST_MAIN(AnswerDecodingPoolTest)
#include "tst_answer_decoding_pool.moc"
