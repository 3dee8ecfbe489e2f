#include "APIKeyTests.h"
#include "APIManager.h"
#include "FakeGeminiService.h"
#include "FakeMiniMaxService.h"
#include "MiniMaxAPIService.h"
#include "OrvaneAPIService.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QTest>

#include <memory>

namespace {

using GeminiReply = FakeGeminiService::Reply;
using MiniMaxReply = FakeMiniMaxService::Reply;

const QString kGoogleKey = "AIza" + QString(35, 'a');
const QString kVideoKey = "eyJhbGciOiJIUzI1NiJ9." + QString(80, 'b') + ".sig-_" + QString(13, 'c');

QString refusedText(const QUrl& elsewhere) {
    return "The server redirected to another host (" + elsewhere.toString(QUrl::StripTrailingSlash) +
           "); the request was not sent there.";
}

QByteArray location(const QUrl& base, const QString& path) {
    return base.resolved(QUrl(path)).toEncoded();
}

GeminiReply geminiRedirect(int status, const QUrl& elsewhere, const QString& path) {
    GeminiReply reply = GeminiReply::raw({}, status);
    reply.headers = {{"Location", location(elsewhere, path)}};
    return reply;
}

MiniMaxReply miniMaxRedirect(int status, const QUrl& elsewhere, const QString& path) {
    MiniMaxReply reply = MiniMaxReply::http(status);
    reply.headers = {{"Location", location(elsewhere, path)}};
    return reply;
}

} // namespace

// A server answering a keyed request with a redirect to another origin (here: another port) gets the request
// no further: the other server hears nothing, and the client says why it failed.
class KeyRedirectTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env_;
    std::unique_ptr<VirtualClock> clock_;

    // Runs a key test to its end.
    static APITestResult run(QCoro::Task<APITestResult> task) {
        std::optional<APITestResult> result;
        auto waiter = [&](QCoro::Task<APITestResult> t) -> QCoro::Task<> { result = co_await t; };
        auto running = waiter(std::move(task));
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 5000))
            return APITestResult::failure("the test never finished");
        return *result;
    }

private slots:
    void init() {
        env_ = std::make_unique<TestEnvironment>();
        clock_ = std::make_unique<VirtualClock>();
        clock_->install();
    }
    void cleanup() {
        clock_.reset();
        env_.reset();
    }

    void theImageServiceSendsItsKeyNowhereElse_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("302") << 302;
        QTest::newRow("307, which would carry the prompt too") << 307;
        QTest::newRow("308") << 308;
    }

    void theImageServiceSendsItsKeyNowhereElse() {
        QFETCH(int, status);
        FakeGeminiService gemini;
        gemini.install();
        FakeGeminiService elsewhere;
        APIManager::shared().setGoogleAPIKey(gemini.apiKey);
        const QString path = "/v1beta/models/gemini-3.1-flash-image-preview:generateContent";
        gemini.script = QList<GeminiReply>(4, geminiRedirect(status, elsewhere.baseUrl(), path));

        OrvaneAPIService service;
        auto task = service.generateImage("a secret prompt", {});
        QVERIFY(clock_->runUntil([&task] { return task.isReady(); }));
        QCOMPARE(service.errorMessage(), std::optional<QString>(refusedText(elsewhere.baseUrl())));
        QVERIFY(service.generatedImage().isNull());
        QCOMPARE(gemini.generateRequests().size(), 4); // a failure like any other: retried, never followed
        QVERIFY(elsewhere.requests.isEmpty());
    }

    void theVideoServiceSendsItsKeyNowhereElse_data() {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("message");
        QTest::newRow("generation, 307") << "generation" << QString();
        QTest::newRow("status query, 302") << "query"
                                           << "Status check error: ";
        QTest::newRow("file record, 302") << "record"
                                          << "Download URL error: ";
    }

    void theVideoServiceSendsItsKeyNowhereElse() {
        QFETCH(QString, step);
        QFETCH(QString, message);
        FakeMiniMaxService miniMax;
        miniMax.clip = "a clip that must never be fetched";
        miniMax.install();
        FakeMiniMaxService elsewhere;
        elsewhere.clip = miniMax.clip;
        if (step == "generation") {
            miniMax.generationReplies =
                QList<MiniMaxReply>(4, miniMaxRedirect(307, elsewhere.baseUrl(), "/v1/video_generation"));
        } else {
            FakeMiniMaxService::TaskScript script;
            script.fileId = "300000000001";
            const MiniMaxReply redirect =
                miniMaxRedirect(302, elsewhere.baseUrl(),
                                step == "query" ? "/v1/query/video_generation?task_id=1"
                                                : "/v1/files/retrieve?GroupId=" + miniMax.groupId + "&file_id=1");
            if (step == "query")
                script.queryReplies = {redirect};
            else
                script.fileRecord = redirect;
            miniMax.scripts = {script};
        }

        MiniMaxAPIService service(miniMax.acceptedKeys.first(), 1);
        QImage frame(64, 36, QImage::Format_RGB32);
        frame.fill(Qt::red);
        service.generateVideo(QStringLiteral("a cat"), frame, std::nullopt, VideoQuality::p768,
                              VideoDuration::seconds6);
        QVERIFY(clock_->runUntil([&service] { return !service.isLoading(); }, 3600, 20000));
        QCOMPARE(service.errorMessage(), std::optional<QString>(message + refusedText(elsewhere.baseUrl())));
        QVERIFY(!service.generatedVideoURL());
        QVERIFY(elsewhere.requests.isEmpty());
    }

    void theKeyTestsSendTheirKeysNowhereElse() {
        FakeMiniMaxService miniMax;
        miniMax.acceptedKeys = {kVideoKey};
        miniMax.install();
        FakeGeminiService gemini(kGoogleKey);
        gemini.install();
        FakeGeminiService elsewhere;
        gemini.modelsScript = {geminiRedirect(302, elsewhere.baseUrl(), "/v1beta/models")};
        miniMax.retrieveReplies = {miniMaxRedirect(302, elsewhere.baseUrl(), "/v1/files/retrieve")};

        const APITestResult image = run(APIKeyTests::testGoogleAPIKey(kGoogleKey));
        QVERIFY(!image.isSuccess);
        QCOMPARE(image.message, refusedText(elsewhere.baseUrl()));
        const APITestResult video = run(APIKeyTests::testMiniMaxAPIKey(kVideoKey));
        QVERIFY(!video.isSuccess);
        QCOMPARE(video.message, refusedText(elsewhere.baseUrl()));
        QCOMPARE(gemini.requests.size(), 1);
        QCOMPARE(miniMax.requests.size(), 1);
        QVERIFY(elsewhere.requests.isEmpty());
    }
};

QTEST_MAIN(KeyRedirectTest)
#include "KeyRedirectTest.moc"
