#include "APIKeyTests.h"
#include "FakeGeminiService.h"
#include "FakeMiniMaxService.h"
#include "ServiceConfig.h"
#include "ServiceReply.h"
#include "TestSupport.h"

#include <QTest>

#include <qcoro/qcorotask.h>

namespace {

using GeminiReply = FakeGeminiService::Reply;
using MiniMaxReply = FakeMiniMaxService::Reply;

const QString kGoogleKey = "AIza" + QString(35, 'a');
// Three dot-separated parts, 120 characters in all.
const QString kVideoKey = "eyJhbGciOiJIUzI1NiJ9." + QString(80, 'b') + ".sig-_" + QString(13, 'c');

// Runs a key test to its end on the real event loop.
APITestResult run(QCoro::Task<APITestResult> task) {
    std::optional<APITestResult> result;
    auto waiter = [&](QCoro::Task<APITestResult> t) -> QCoro::Task<> { result = co_await t; };
    auto running = waiter(std::move(task));
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 5000))
        return APITestResult::failure("the test never finished");
    return *result;
}

} // namespace

Q_DECLARE_METATYPE(GeminiReply)
Q_DECLARE_METATYPE(MiniMaxReply)
Q_DECLARE_METATYPE(std::optional<MiniMaxReply>)

class APIKeyTestsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;

private slots:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }

    void theImageKeyFormat_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("valid");
        QTest::newRow("39 allowed characters") << kGoogleKey << true;
        QTest::newRow("dashes and underscores") << "AIza" + QString(17, '-') + QString(18, '_') << true;
        QTest::newRow("spaces around") << "  " + kGoogleKey + "\t " << true;
        QTest::newRow("38 characters") << kGoogleKey.chopped(1) << false;
        QTest::newRow("40 characters") << kGoogleKey + "a" << false;
        QTest::newRow("prefix in other case") << "aiza" + kGoogleKey.mid(4) << false;
        QTest::newRow("a dot") << kGoogleKey.left(20) + "." + kGoogleKey.mid(21) << false;
        QTest::newRow("a plus") << kGoogleKey.left(20) + "+" + kGoogleKey.mid(21) << false;
        QTest::newRow("line feed at the end") << kGoogleKey + "\n" << false;
        QTest::newRow("carriage return in front") << "\r" + kGoogleKey << false;
        QTest::newRow("NUL at the end") << kGoogleKey + QChar(0) << false;
        QTest::newRow("empty") << QString() << false;
    }

    void theImageKeyFormat() {
        QFETCH(QString, key);
        QFETCH(bool, valid);
        QCOMPARE(APIKeyTests::isValidGoogleKeyFormat(key), valid);
    }

    void theVideoKeyFormat_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("valid");
        const QString part(32, 'x');
        QTest::newRow("a long token") << kVideoKey << true;
        QTest::newRow("exactly 100 characters") << QString(48, 'a') + "." + QString(49, 'b') + ".c" << true;
        QTest::newRow("99 characters") << QString(47, 'a') + "." + QString(49, 'b') + ".c" << false;
        QTest::newRow("three one-letter parts") << "a.b.c" << false;
        QTest::newRow("trailing space is trimmed") << kVideoKey + " " << true;
        QTest::newRow("two parts") << QString(60, 'a') + "." + QString(60, 'b') << false;
        QTest::newRow("four parts") << kVideoKey + ".d" << false;
        QTest::newRow("two dots in a row") << part + ".." + part + part << false;
        QTest::newRow("leading dot") << "." + part + "." + part + part << false;
        QTest::newRow("trailing dot") << part + "." + part + part + "." << false;
        QTest::newRow("an equals sign") << part + "=." + part + "." + part + part << false;
        QTest::newRow("a plus") << part + "+x." + part + "." + part + part << false;
        QTest::newRow("line feed inside a part") << part + "\n." + part + "." + part + part << false;
        QTest::newRow("line feed at the end") << kVideoKey + "\r\n" << false;
    }

    void theVideoKeyFormat() {
        QFETCH(QString, key);
        QFETCH(bool, valid);
        QCOMPARE(APIKeyTests::isValidMiniMaxKeyFormat(key), valid);
    }

    void theImageKeyTestAgainstTheService_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<GeminiReply>("reply");
        QTest::addColumn<QString>("expected"); // empty: valid
        const GeminiReply none;                // the fake's own answer
        QTest::newRow("the right key") << kGoogleKey << none << QString();
        QTest::newRow("a wrong key") << "AIza" + QString(35, 'z') << none << "HTTP 400";
        QTest::newRow("204") << kGoogleKey << GeminiReply::raw({}, 204) << QString();
        QTest::newRow("401") << kGoogleKey << GeminiReply::failure(401) << "Invalid API key or access denied";
        QTest::newRow("403") << kGoogleKey << GeminiReply::failure(403) << "Invalid API key or access denied";
        QTest::newRow("429") << kGoogleKey << GeminiReply::failure(429) << "Rate limit exceeded";
        QTest::newRow("500 without body text") << kGoogleKey << GeminiReply::failure(500) << "HTTP 500";
    }

    void theImageKeyTestAgainstTheService() {
        QFETCH(QString, key);
        QFETCH(GeminiReply, reply);
        QFETCH(QString, expected);
        FakeGeminiService service(kGoogleKey);
        service.install();
        if (reply.status != 200 || !reply.body.isEmpty())
            service.modelsScript.append(reply);

        const APITestResult result = run(APIKeyTests::testGoogleAPIKey(key));
        QCOMPARE(result, expected.isEmpty() ? APITestResult::success() : APITestResult::failure(expected));
        QCOMPARE(service.requests.size(), 1);
        const auto& request = service.requests.first();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.path, QStringLiteral("/v1beta/models"));
        QCOMPARE(request.header("X-goog-api-key"), key.toUtf8());
        QVERIFY(request.body.isEmpty());
    }

    void transportFailuresOfTheImageKeyTest_data() {
        QTest::addColumn<GeminiReply>("reply");
        QTest::addColumn<QString>("expected"); // empty: any platform description
        QTest::newRow("dropped connection") << GeminiReply::dropped() << QString();
        QTest::newRow("not HTTP") << GeminiReply::garbage("SSH-2.0-OpenSSH_9.2\r\n") << QString();
        QTest::newRow("no answer") << GeminiReply::hanging() << ServiceReply::timedOutText();
    }

    void transportFailuresOfTheImageKeyTest() {
        QFETCH(GeminiReply, reply);
        QFETCH(QString, expected);
        FakeGeminiService service(kGoogleKey);
        service.install();
        service.modelsScript = QList<GeminiReply>(6, reply); // Qt resends after a dropped or garbled answer
        const APITestResult result = run(APIKeyTests::testGoogleAPIKey(kGoogleKey, 300));
        QVERIFY(!result.isSuccess);
        if (expected.isEmpty())
            QVERIFY2(!result.message.isEmpty() && result.message != "Invalid response", qPrintable(result.message));
        else
            QCOMPARE(result.message, expected);
    }

    void theVideoKeyTestAgainstTheService_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<std::optional<MiniMaxReply>>("reply");
        QTest::addColumn<QString>("expected"); // empty: valid
        const std::optional<MiniMaxReply> own;
        QTest::newRow("the right key: file not found in a 200") << kVideoKey << own << QString();
        QTest::newRow("a wrong key: 2049 in a 200") << kVideoKey + "x" << own << "Invalid API key";
        QTest::newRow("1004 in a 200") << kVideoKey << std::optional(MiniMaxReply::refusal(1004, "login fail"))
                                       << "Invalid API key";
        QTest::newRow("another code in a 200") << kVideoKey << std::optional(MiniMaxReply::refusal(1026)) << QString();
        QTest::newRow("204") << kVideoKey << std::optional(MiniMaxReply::http(204)) << QString();
        QTest::newRow("400 file not found")
            << kVideoKey << std::optional(MiniMaxReply::json(R"({"error":"file not found"})", 400)) << QString();
        QTest::newRow("400 invalid") << kVideoKey << std::optional(MiniMaxReply::json("invalid file_id", 400))
                                     << QString();
        QTest::newRow("400 empty") << kVideoKey << std::optional(MiniMaxReply::http(400)) << "Unexpected response: ";
        QTest::newRow("400 capital Invalid") << kVideoKey << std::optional(MiniMaxReply::http(400, "Invalid request"))
                                             << "Unexpected response: Invalid request";
        QTest::newRow("400 not UTF-8") << kVideoKey << std::optional(MiniMaxReply::http(400, "\xff\xfe\xfd"))
                                       << "Unexpected response: unknown";
        QTest::newRow("401") << kVideoKey << std::optional(MiniMaxReply::http(401, "no")) << "Invalid API key";
        QTest::newRow("403") << kVideoKey << std::optional(MiniMaxReply::http(403))
                             << "Access denied - check API key and permissions";
        QTest::newRow("429") << kVideoKey << std::optional(MiniMaxReply::tooManyRequests()) << "Rate limit exceeded";
        QTest::newRow("404") << kVideoKey << std::optional(MiniMaxReply::http(404, "no such path"))
                             << "HTTP 404: no such path";
        QTest::newRow("404 not UTF-8") << kVideoKey << std::optional(MiniMaxReply::http(404, "\xc3\x28"))
                                       << "HTTP 404: unknown";
        QTest::newRow("502") << kVideoKey << std::optional(MiniMaxReply::http(502, "bad gateway"))
                             << "Server error (502)";
        QTest::newRow("599") << kVideoKey << std::optional(MiniMaxReply::http(599)) << "Server error (599)";
    }

    void theVideoKeyTestAgainstTheService() {
        QFETCH(QString, key);
        QFETCH(std::optional<MiniMaxReply>, reply);
        QFETCH(QString, expected);
        FakeMiniMaxService service;
        service.acceptedKeys = {kVideoKey};
        service.install();
        if (reply)
            service.retrieveReplies.append(*reply);

        const APITestResult result = run(APIKeyTests::testMiniMaxAPIKey(key));
        QCOMPARE(result, expected.isEmpty() ? APITestResult::success() : APITestResult::failure(expected));
        QCOMPARE(service.requests.size(), 1);
        const auto& request = service.requests.first();
        QCOMPARE(request.method, QStringLiteral("GET"));
        QCOMPARE(request.path, QStringLiteral("/v1/files/retrieve"));
        QCOMPARE(request.encodedQuery, "GroupId=" + service.groupId + "&file_id=test_invalid_id");
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(request.header("Authorization"), "Bearer " + key.toUtf8());
        QVERIFY(request.body.isEmpty());
    }

    void transportFailuresOfTheVideoKeyTest_data() {
        QTest::addColumn<MiniMaxReply>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("dropped connection") << MiniMaxReply::dropped() << QString();
        QTest::newRow("not HTTP") << MiniMaxReply::garbage("\x16\x03\x01 not http at all\r\n\r\n") << QString();
        QTest::newRow("no answer") << MiniMaxReply::hanging() << ServiceReply::timedOutText();
    }

    void transportFailuresOfTheVideoKeyTest() {
        QFETCH(MiniMaxReply, reply);
        QFETCH(QString, expected);
        FakeMiniMaxService service;
        service.acceptedKeys = {kVideoKey};
        service.install();
        service.retrieveReplies = QList<MiniMaxReply>(6, reply); // Qt resends after a dropped or garbled answer
        const APITestResult result = run(APIKeyTests::testMiniMaxAPIKey(kVideoKey, 300));
        QVERIFY(!result.isSuccess);
        if (expected.isEmpty())
            QVERIFY2(!result.message.isEmpty() && result.message != "Invalid response", qPrintable(result.message));
        else
            QCOMPARE(result.message, expected);
    }

    // Whoever asked (the settings' key slot) goes before the answer: the request is given up then, not at its
    // time limit.
    void aKeyTestWhoseOwnerGoesGivesUpItsRequest_data() {
        QTest::addColumn<bool>("imageKey");
        QTest::newRow("image key") << true;
        QTest::newRow("video key") << false;
    }

    void aKeyTestWhoseOwnerGoesGivesUpItsRequest() {
        QFETCH(bool, imageKey);
        FakeMiniMaxService miniMax;
        miniMax.acceptedKeys = {kVideoKey};
        miniMax.install();
        miniMax.retrieveReplies = {MiniMaxReply::hanging()};
        FakeGeminiService gemini(kGoogleKey);
        gemini.install();
        gemini.modelsScript = {GeminiReply::hanging()};
        auto* owner = new QObject;
        auto test = imageKey ? APIKeyTests::testGoogleAPIKey(kGoogleKey, 60'000, owner)
                             : APIKeyTests::testMiniMaxAPIKey(kVideoKey, 60'000, owner);
        QVERIFY(QTest::qWaitFor([&] { return imageKey ? !gemini.requests.isEmpty() : miniMax.heldConnections() == 1; },
                                2000));
        QVERIFY(!test.isReady());
        delete owner;
        QVERIFY(QTest::qWaitFor([&test] { return test.isReady(); }, 1000));
        QVERIFY(QTest::qWaitFor([&miniMax] { return miniMax.heldConnections() == 0; }, 1000));
    }

    void aKeyWithALineBreakIsNeverSent() {
        FakeGeminiService gemini(kGoogleKey);
        gemini.install();
        FakeMiniMaxService miniMax;
        miniMax.install();
        QCOMPARE(run(APIKeyTests::testGoogleAPIKey(kGoogleKey + QChar(0))),
                 APITestResult::failure(APIKeyTests::googleFormatMessage));
        QCOMPARE(run(APIKeyTests::testMiniMaxAPIKey(kVideoKey + "\n")),
                 APITestResult::failure(APIKeyTests::miniMaxFormatMessage));
        QTest::qWait(20);
        QVERIFY(gemini.requests.isEmpty());
        QVERIFY(miniMax.requests.isEmpty());
    }

    // Neither key follows a redirect to another origin (here another port); the test says why it failed.
    void theKeysAreSentToNoOtherHost() {
        FakeMiniMaxService miniMax;
        miniMax.acceptedKeys = {kVideoKey};
        miniMax.install();
        FakeGeminiService gemini(kGoogleKey);
        gemini.install();
        FakeGeminiService elsewhere;
        const QByteArray there = elsewhere.baseUrl().resolved(QUrl("/v1beta/models")).toEncoded();
        GeminiReply imageRedirect = GeminiReply::raw({}, 302);
        imageRedirect.headers = {{"Location", there}};
        gemini.modelsScript = {imageRedirect};
        MiniMaxReply videoRedirect = MiniMaxReply::http(302);
        videoRedirect.headers = {{"Location", there}};
        miniMax.retrieveReplies = {videoRedirect};

        const APITestResult refused = APITestResult::failure("The server redirected to another host (" +
                                                             elsewhere.baseUrl().toString(QUrl::StripTrailingSlash) +
                                                             "); the request was not sent there.");
        QCOMPARE(run(APIKeyTests::testGoogleAPIKey(kGoogleKey)), refused);
        QCOMPARE(run(APIKeyTests::testMiniMaxAPIKey(kVideoKey)), refused);
        QCOMPARE(gemini.requests.size(), 1);
        QCOMPARE(miniMax.requests.size(), 1);
        QVERIFY(elsewhere.requests.isEmpty());
    }
};

QTEST_GUILESS_MAIN(APIKeyTestsTest)
#include "tst_api_key_tests.moc"
