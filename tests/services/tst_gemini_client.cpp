#include "APIManager.h"
#include "CraftedPng.h"
#include "FakeGeminiService.h"
#include "ImageCoding.h"
#include "OrvaneAPIService.h"
#include "ServiceConfig.h"
#include "TestSupport.h"
#include "VirtualClock.h"
#include "WireDecoding.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Json = FakeGeminiService::Json;
using Reply = FakeGeminiService::Reply;
Q_DECLARE_METATYPE(FakeGeminiService::Reply)

class OrvaneAPIServiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<FakeGeminiService> fake_;

    // Runs one generation to its end on the virtual clock.
    bool generate(OrvaneAPIService& service, const QString& prompt = "a lighthouse at dusk",
                  const QList<QImage>& images = {}, std::optional<QSizeF> target = std::nullopt,
                  OrvaneAPIService::ResizeMode mode = OrvaneAPIService::ResizeMode::fill) {
        auto task = service.generateImage(prompt, images, target, mode);
        return clock_->runUntil([&task] { return task.isReady(); }) && !service.isLoading();
    }

    // Seconds from the first generateContent request to each one.
    QList<double> requestOffsets() const {
        QList<double> offsets;
        const auto requests = fake_->generateRequests();
        for (const auto& request : requests)
            offsets.append(double(requests.first().receivedAt.msecsTo(request.receivedAt)) / 1000.0);
        return offsets;
    }

    static QByteArray base64Text(const QByteArray& bytes) { return bytes.toBase64(); }

    static Json answerWithParts(const Json& parts, const Json& ratings = Json(), std::optional<qint64> tokens = 100,
                                const std::string& finishReason = "STOP") {
        return FakeGeminiService::response(Json::array({FakeGeminiService::candidate(parts, finishReason, ratings)}),
                                           tokens);
    }

    void expectFailure(OrvaneAPIService& service, const QString& message, int attempts) {
        QCOMPARE(service.errorMessage(), std::optional<QString>(message));
        QVERIFY(!service.isLoading());
        QVERIFY(service.generatedImage().isNull());
        QCOMPARE(service.textResponse(), std::optional<QString>());
        QVERIFY(!service.isContentBlocked());
        if (attempts >= 0)
            QCOMPARE(fake_->generateRequests().size(), attempts);
    }

private slots:
    void init() {
        env_ = std::make_unique<TestEnvironment>();
        clock_ = std::make_unique<VirtualClock>();
        clock_->install();
        fake_ = std::make_unique<FakeGeminiService>();
        fake_->install();
        APIManager::shared().setGoogleAPIKey(fake_->apiKey);
    }

    void cleanup() {
        fake_.reset();
        clock_.reset();
        env_.reset();
    }

    // --- request shape ---

    void requestWithoutImagesHasOneTextPartAndTheFixedConfig() {
        OrvaneAPIService service;
        QVERIFY(generate(service, "A red fox."));

        const auto requests = fake_->generateRequests();
        QCOMPARE(requests.size(), 1);
        const auto& request = requests.first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QString("/v1beta/models/gemini-3.1-flash-image-preview:generateContent"));
        QCOMPARE(request.header("X-goog-api-key"), fake_->apiKey.toUtf8());
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));

        const Json& body = request.json;
        QCOMPARE(body["contents"].size(), size_t(1));
        QCOMPARE(body["contents"][0]["role"], "user");
        const Json& parts = body["contents"][0]["parts"];
        QCOMPARE(parts.size(), size_t(1));
        QCOMPARE(parts[0].size(), size_t(1));
        const std::string text = parts[0]["text"];
        QCOMPARE(QString::fromStdString(text), "A red fox." + OrvaneAPIService::landscapeInstruction);
        QVERIFY(QString::fromStdString(text).startsWith("A red fox.. Generate image"));
        QVERIFY(QString::fromStdString(text).endsWith("identical faces. "));
        QCOMPARE(OrvaneAPIService::landscapeInstruction.toUtf8().size(), 252);

        const Json& config = body["generationConfig"];
        QVERIFY(config["temperature"].is_number_float());
        QCOMPARE(config["temperature"].get<double>(), 0.7);
        QCOMPARE(config["maxOutputTokens"], 8192);
        QCOMPARE(config["responseModalities"], Json::array({"IMAGE"}));
        QCOMPARE(config["imageConfig"], (Json{{"aspectRatio", "16:9"}}));
        // Fields in declaration order, nothing null.
        const QByteArray head = "{\"contents\":[{\"role\":\"user\",\"parts\":[{\"text\":\"";
        const QByteArray tail = "\"generationConfig\":{\"temperature\":0.7,\"maxOutputTokens\":8192,"
                                "\"responseModalities\":[\"IMAGE\"],\"imageConfig\":{\"aspectRatio\":\"16:9\"}}}";
        QVERIFY(request.body.startsWith(head));
        QVERIFY(request.body.endsWith(tail));

        QCOMPARE(service.generatedImage().size(), QSize(64, 36));
        QCOMPARE(service.errorMessage(), std::optional<QString>());
    }

    void referenceImagesFollowTheTextInOrderAndUnencodableOnesAreLeftOut() {
        OrvaneAPIService service;
        const QImage first = FakeGeminiService::samplePicture(40, 30, Qt::red);
        const QImage second = FakeGeminiService::samplePicture(50, 20, Qt::blue);
        QVERIFY(generate(service, "mix", {first, QImage(), second}));

        const Json parts = fake_->generateRequests().first().json["contents"][0]["parts"];
        QCOMPARE(parts.size(), size_t(3));
        QVERIFY(parts[0].contains("text") && !parts[0].contains("inlineData"));
        const QList<QSize> sizes{first.size(), second.size()};
        for (int i = 0; i < 2; ++i) {
            const Json& part = parts[size_t(i + 1)];
            QVERIFY(!part.contains("text"));
            QCOMPARE(part["inlineData"]["mimeType"], "image/jpeg");
            const auto data = QByteArray::fromStdString(part["inlineData"]["data"].get<std::string>());
            QVERIFY(!data.contains('\n'));
            const QImage sent = ImageCoding::decode(QByteArray::fromBase64(data));
            QCOMPARE(sent.size(), sizes[i]);
        }
        // Lines of each image come together, in the order of the images.
        const int firstLine = env_->indexOfLine("🖼️ Processing image for API: 40x30");
        const int nullLine = env_->indexOfLine("🖼️ Processing image for API: 0x0");
        const int failedLine = env_->indexOfLine(
            "⚠️ Failed to compress image for Google API: Unable to compress image below 4.0 MB limit");
        const int lastLine = env_->indexOfLine("🖼️ Processing image for API: 50x20");
        QVERIFY(firstLine >= 0);
        QVERIFY(firstLine < nullLine && nullLine < failedLine && failedLine < lastLine);
    }

    void referenceImagesArePreparedOffTheEventLoop() {
        OrvaneAPIService service;
        QImage photo(2400, 1600, QImage::Format_RGB32);
        photo.fill(Qt::darkCyan);
        auto task = service.generateImage("x", {photo});
        // The call came back before any image was encoded here: its lines arrive only once the pool is done.
        QVERIFY(!task.isReady());
        QVERIFY(!env_->hasLineStartingWith("🖼️ Processing image for API"));
        QVERIFY(clock_->runUntil([&task] { return task.isReady(); }));
        QVERIFY(env_->indexOfLine("🖼️ Processing image for API: 2400x1600") >= 0);
        QCOMPARE(fake_->generateRequests().size(), 1);
    }

    void modelAndTemperatureAreReadAtEachRequest() {
        OrvaneAPIService service;
        service.updateModel(ImageModel::pro);
        service.setTemperature(1.25);
        QVERIFY(generate(service));
        const auto request = fake_->generateRequests().first();
        QCOMPARE(request.path, QString("/v1beta/models/gemini-3-pro-image-preview:generateContent"));
        QCOMPARE(request.json["generationConfig"]["temperature"].get<double>(), 1.25);
    }

    void keyWithLineBreaksNeverSplitsTheHeader() {
        APIManager::shared().setGoogleAPIKey(fake_->apiKey + "\r\nX-Injected: yes\n");
        fake_->apiKey += "X-Injected: yes";
        OrvaneAPIService service;
        QVERIFY(generate(service));
        const auto requests = fake_->generateRequests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().header("X-Injected"), QByteArray());
        QVERIFY(!service.generatedImage().isNull());
    }

    void missingKeySendsNothingAndKeepsEarlierOutputs() {
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QVERIFY(!service.generatedImage().isNull());

        APIManager::shared().setGoogleAPIKey("   ");
        auto task = service.generateImage("again", {});
        QVERIFY(task.isReady());
        QCOMPARE(service.errorMessage(), std::optional<QString>("Google API key not set. Please go to API settings."));
        QVERIFY(!service.generatedImage().isNull());
        QVERIFY(!service.isLoading());
        QCOMPARE(fake_->requests.size(), 1);
    }

    void unreachableAddressIsAFailureNotACrash() {
        ServiceConfig config = ServiceConfig::current();
        config.geminiBaseUrl = QUrl("not a url");
        ServiceConfig::setCurrent(config);
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QCOMPARE(service.errorMessage(), std::optional<QString>("Invalid API URL"));
        QCOMPARE(clock_->sleepLog(), (QList<double>{2, 4, 8}));
    }

    // --- spacing, retries and rate limits ---

    void requestsAreSpacedTwoSecondsApart() {
        OrvaneAPIService service;
        QVERIFY(generate(service));
        clock_->advance(0.5);
        QVERIFY(generate(service));
        QCOMPARE(requestOffsets(), (QList<double>{0, 2}));
        QCOMPARE(clock_->sleepLog(), (QList<double>{1.5}));
    }

    void aVectorAnswerNamingALocalFileIsNoPicture() {
        QImage secret(16, 9, QImage::Format_RGB32);
        secret.fill(Qt::magenta);
        const QString path = env_->path("private.png");
        QVERIFY(secret.save(path));
        const std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                                "width='16' height='9'><image width='16' height='9' xlink:href='" +
                                path.toStdString() + "'/></svg>";
        const QImage drawn = QImage::fromData(QByteArray::fromStdString(svg));
        QCOMPARE(drawn.pixelColor(8, 4), QColor(Qt::magenta)); // what Qt's own loader would have answered
        const std::string base64 = QByteArray::fromStdString(svg).toBase64().toStdString();
        const Json answer = answerWithParts(Json::array({FakeGeminiService::inlinePart("image/png", base64)}));
        fake_->script = {Reply::json(answer), Reply::json(answer), Reply::json(answer), Reply::json(answer)};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        expectFailure(service, "No image was generated", 4);
    }

    // Pictures big enough to be decoded while the answer is still being read.
    void largePicturesAreTakenOnlyFromPictureParts() {
        const auto noise = [](quint32 seed) {
            QImage picture(200, 200, QImage::Format_RGB32);
            QRandomGenerator generator(seed);
            for (int y = 0; y < picture.height(); ++y) {
                for (int x = 0; x < picture.width(); ++x)
                    picture.setPixel(x, y, generator.generate() | 0xff000000u);
            }
            return picture;
        };
        const QImage asText = noise(1);
        const QImage asPart = noise(2);
        const std::string textBase64 = ImageCoding::pngData(asText)->toBase64().toStdString();
        const std::string partBase64 = ImageCoding::pngData(asPart)->toBase64().toStdString();
        QVERIFY(textBase64.size() > 100000 && partBase64.size() > 100000);

        Json answer = answerWithParts(Json::array(
            {FakeGeminiService::textPart(textBase64), FakeGeminiService::inlinePart("image/png", partBase64)}));
        answer["candidates"][0]["extra"] = textBase64;
        fake_->script = {Reply::json(answer)};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QCOMPARE(service.errorMessage(), std::optional<QString>());
        QCOMPARE(service.generatedImage().convertToFormat(QImage::Format_RGB32), asPart);
        QCOMPARE(service.textResponse(), std::optional<QString>(QString::fromStdString(textBase64)));

        // The same picture text in a part that does not decode strictly fails the whole answer.
        Json broken = answerWithParts(Json::array({Json{{"inlineData", {{"data", partBase64}}}}}));
        fake_->script = {Reply::json(broken), Reply::json(broken), Reply::json(broken), Reply::json(broken)};
        OrvaneAPIService strict;
        QVERIFY(generate(strict));
        expectFailure(strict, WireDecoding::missingDataText(), -1);
    }

    void spacingHoldsWhateverTheWallClockDoes() {
        OrvaneAPIService service;
        QVERIFY(generate(service));
        clock_->stepWallClock(-3600); // set back an hour: the next request must not wait an hour
        QVERIFY(generate(service));
        clock_->stepWallClock(+3600); // set forward: the spacing still holds
        QVERIFY(generate(service));
        QCOMPARE(fake_->generateRequests().size(), 3);
        QCOMPARE(clock_->sleepLog(), (QList<double>{2, 2}));
    }

    void aTemperatureThatIsNotFiniteIsNotSent() {
        OrvaneAPIService service;
        service.setTemperature(0.3);
        service.setTemperature(std::numeric_limits<double>::quiet_NaN());
        service.setTemperature(-std::numeric_limits<double>::infinity());
        QCOMPARE(service.temperature(), 0.3);
        QVERIFY(generate(service));
        const Json sent = fake_->generateRequests().first().json["generationConfig"]["temperature"];
        QVERIFY(sent.is_number());
        QCOMPARE(sent.get<double>(), 0.3);
    }

    void anErrorStatusDecidesTheText_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("407") << 407;
        QTest::newRow("401") << 401;
        QTest::newRow("404") << 404;
        QTest::newRow("503") << 503;
    }

    void anErrorStatusDecidesTheText() {
        QFETCH(int, status);
        fake_->script = {Reply::failure(status), Reply::failure(status), Reply::failure(status),
                         Reply::failure(status)};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        expectFailure(service, QStringLiteral("HTTP Error: %1").arg(status), 4);
    }

    void failedAttemptsAreRetriedAfterTwoFourAndEightSeconds() {
        fake_->script = {Reply::failure(500), Reply::failure(500), Reply::failure(500),
                         Reply::json(FakeGeminiService::pictureResponse())};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QCOMPARE(requestOffsets(), (QList<double>{0, 2, 6, 14}));
        QCOMPARE(service.errorMessage(), std::optional<QString>());
        QVERIFY(!service.generatedImage().isNull());
    }

    void fourthFailureIsPublished() {
        fake_->script = {Reply::failure(500), Reply::failure(500), Reply::failure(500), Reply::failure(500)};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        expectFailure(service, "HTTP Error: 500", 4);
        QCOMPARE(requestOffsets(), (QList<double>{0, 2, 6, 14}));
    }

    void retryAfterIsHonouredUpToTenMinutes_data() {
        QTest::addColumn<QByteArray>("retryAfter");
        QTest::addColumn<double>("offset");
        QTest::newRow("5 s") << QByteArray("5") << 5.0;
        QTest::newRow("120 s: as given") << QByteArray("120") << 120.0;
        QTest::newRow("just past ten minutes: ten minutes") << QByteArray("600.5") << 600.0;
        QTest::newRow("23 days: ten minutes") << QByteArray("2000000") << 600.0;
        QTest::newRow("fraction, then the spacing") << QByteArray("0.5") << 2.0;
        QTest::newRow("exponent") << QByteArray("3e1") << 30.0;
        QTest::newRow("negative: ten minutes") << QByteArray("-3") << 600.0;
        QTest::newRow("not a number: ten minutes") << QByteArray("nan") << 600.0;
        QTest::newRow("infinite: ten minutes") << QByteArray("inf") << 600.0;
        QTest::newRow("beyond a timer: ten minutes") << QByteArray("1e12") << 600.0;
        QTest::newRow("a date: backoff") << QByteArray("Wed, 21 Oct 2026 07:28:00 GMT") << 2.0;
    }

    void retryAfterIsHonouredUpToTenMinutes() {
        QFETCH(QByteArray, retryAfter);
        QFETCH(double, offset);
        fake_->script = {Reply::failure(429, retryAfter), Reply::json(FakeGeminiService::pictureResponse())};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QCOMPARE(requestOffsets(), (QList<double>{0, offset}));
        QVERIFY(!service.generatedImage().isNull());
    }

    void aNewChatEndsAWaitingGenerationQuietly() {
        fake_->script = {Reply::failure(429, QByteArray("30")), Reply::failure(429, QByteArray("60")),
                         Reply::json(FakeGeminiService::pictureResponse())};
        OrvaneAPIService service;
        auto waiting = service.generateImage("boat", {});
        QVERIFY(clock_->runUntil(
            [this] { return fake_->generateRequests().size() == 1 && clock_->pendingSleepers() == 1; }));
        service.endWaitingGenerations();
        QVERIFY(!service.isLoading());
        QVERIFY(!service.errorMessage());

        // The next chat's generation waits too; the old one waking up meanwhile neither sends nor ends it.
        auto next = service.generateImage("kite", {});
        QVERIFY(clock_->runUntil([this, &waiting] {
            return waiting.isReady() && fake_->generateRequests().size() == 2 && clock_->pendingSleepers() == 1;
        }));
        QVERIFY(service.isLoading());
        QVERIFY(clock_->runUntil([&next] { return next.isReady(); }));
        QCOMPARE(fake_->generateRequests().size(), 3);
        QVERIFY(!service.isLoading());
        QVERIFY(!service.generatedImage().isNull());
    }

    void aNewChatLetsTheAnswerInFlightArriveButMakesNoFurtherAttempt() {
        Reply slowFailure = Reply::failure(500);
        slowFailure.delayMs = 100;
        Reply slowPicture = Reply::json(FakeGeminiService::pictureResponse());
        slowPicture.delayMs = 100;
        fake_->script = {slowFailure, slowPicture};
        OrvaneAPIService service;
        auto failing = service.generateImage("boat", {});
        QVERIFY(clock_->runUntil([this] { return fake_->generateRequests().size() == 1; }));
        service.endWaitingGenerations();
        QVERIFY(service.isLoading());
        QVERIFY(clock_->runUntil([&failing] { return failing.isReady(); }));
        QCOMPARE(fake_->generateRequests().size(), 1);
        QVERIFY(!service.isLoading());
        QVERIFY(!service.errorMessage());

        auto shown = service.generateImage("kite", {});
        QVERIFY(clock_->runUntil([this] { return fake_->generateRequests().size() == 2; }));
        service.endWaitingGenerations();
        QVERIFY(clock_->runUntil([&shown] { return shown.isReady(); }));
        QVERIFY(!service.generatedImage().isNull());
        QVERIFY(!service.isLoading());
    }

    void fourth429IsReportedAtOnce() {
        fake_->script = {Reply::failure(429), Reply::failure(429), Reply::failure(429), Reply::failure(429)};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        expectFailure(service, "Rate limit exceeded. Please try again later", 4);
        QCOMPARE(requestOffsets(), (QList<double>{0, 2, 6, 14}));
        QCOMPARE(clock_->sleepLog(), (QList<double>{2, 4, 8}));
    }

    void rateLimitsAndFailuresShareTheRetries() {
        fake_->script = {Reply::failure(429), Reply::failure(429), Reply::failure(500), Reply::failure(500)};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        expectFailure(service, "HTTP Error: 500", 4);
        QCOMPARE(requestOffsets(), (QList<double>{0, 2, 6, 14}));
    }

    // --- safety ---

    void safetyFinishReasonBlocksEvenWithAPicture() {
        const Json parts = Json::array({FakeGeminiService::pngPart(FakeGeminiService::samplePicture())});
        fake_->script = {Reply::json(answerWithParts(parts, Json(), 100, "IMAGE_SAFETY"))};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QVERIFY(service.isContentBlocked());
        QCOMPARE(service.textResponse(), std::optional<QString>("⚠️ Content blocked"));
        QVERIFY(service.generatedImage().isNull());
        QCOMPARE(service.errorMessage(), std::optional<QString>());
        QCOMPARE(fake_->generateRequests().size(), 1);
    }

    void candidateWithoutContentBlocksOnlyOnHighOrMedium() {
        Json candidate = {
            {"finishReason", "OTHER"},
            {"safetyRatings", Json::array({FakeGeminiService::rating("LOW"), FakeGeminiService::rating("MEDIUM")})}};
        fake_->script = {Reply::json(FakeGeminiService::response(Json::array({candidate})))};
        OrvaneAPIService blocked;
        QVERIFY(generate(blocked));
        QVERIFY(blocked.isContentBlocked());

        candidate["safetyRatings"] =
            Json::array({FakeGeminiService::rating("LOW"), FakeGeminiService::rating("NEGLIGIBLE")});
        fake_->requests.clear();
        fake_->script = QList<Reply>(4, Reply::json(FakeGeminiService::response(Json::array({candidate}))));
        OrvaneAPIService service;
        QVERIFY(generate(service));
        expectFailure(service, "Invalid server response", 4);
    }

    void answerWithoutPictureOrTextBlocksOnAnyRatingAboveLow() {
        const Json parts = Json::array({Json::object()});
        fake_->script = {Reply::json(answerWithParts(parts, Json::array({FakeGeminiService::rating("MEDIUM")})))};
        OrvaneAPIService blocked;
        QVERIFY(generate(blocked));
        QVERIFY(blocked.isContentBlocked());
        QCOMPARE(blocked.textResponse(), std::optional<QString>("⚠️ Content blocked"));

        fake_->requests.clear();
        const Json ratings = Json::array({FakeGeminiService::rating("NEGLIGIBLE"), FakeGeminiService::rating("LOW")});
        fake_->script = QList<Reply>(4, Reply::json(answerWithParts(parts, ratings)));
        OrvaneAPIService service;
        QVERIFY(generate(service));
        expectFailure(service, "No image was generated", 4);
    }

    void onlyTheFirstPartsTextIsTheTextAnswer() {
        const Json picture = FakeGeminiService::pngPart(FakeGeminiService::samplePicture());
        fake_->script = {
            Reply::json(answerWithParts(Json::array({FakeGeminiService::textPart("Here it is"), picture}))),
            Reply::json(answerWithParts(Json::array({picture, FakeGeminiService::textPart("late")})))};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QCOMPARE(service.textResponse(), std::optional<QString>("Here it is"));
        QVERIFY(!service.generatedImage().isNull());

        QVERIFY(generate(service));
        QCOMPARE(service.textResponse(), std::optional<QString>());
        QVERIFY(!service.generatedImage().isNull());
    }

    void textOnlyAnswerIsASuccess() {
        fake_->script = {Reply::json(answerWithParts(Json::array({FakeGeminiService::textPart("I can't draw that")})))};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QCOMPARE(service.textResponse(), std::optional<QString>("I can't draw that"));
        QVERIFY(service.generatedImage().isNull());
        QCOMPARE(service.errorMessage(), std::optional<QString>());
        QCOMPARE(fake_->generateRequests().size(), 1);
    }

    // --- tokens ---

    void tokensAreCountedForEveryDecodedAnswer() {
        const Json blockedAnswer = answerWithParts(Json::array(), Json(), 1300, "SAFETY");
        fake_->script = {Reply::json(blockedAnswer)};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QCOMPARE(service.totalTokensInSession(), 1300);
        QCOMPARE(service.currentTokensUsed(), 1300);

        service.resetSession();
        const Json empty = FakeGeminiService::response(Json::array(), 1000);
        fake_->script = QList<Reply>(4, Reply::json(empty));
        QVERIFY(generate(service));
        QCOMPARE(service.errorMessage(), std::optional<QString>("Invalid server response"));
        QCOMPARE(service.totalTokensInSession(), 4000);
        QCOMPARE(service.currentTokensUsed(), 1000);
    }

    void usageBeyondTheWindowIsNotClamped() {
        fake_->script = {Reply::json(FakeGeminiService::pictureResponse(FakeGeminiService::samplePicture(), 70000))};
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QVERIFY(qAbs(service.contextUsagePercent() - 106.8115234375) < 1e-9);
    }

    void modelChangeResetsTheChatOnlyWhenTheModelDiffers() {
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QCOMPARE(service.totalTokensInSession(), 1290);

        service.updateModel(ImageModel::flash);
        QCOMPARE(service.totalTokensInSession(), 1290);
        service.updateModel(ImageModel::pro);
        QCOMPARE(service.totalTokensInSession(), 0);
        QCOMPARE(service.currentTokensUsed(), 0);
        QCOMPARE(service.maxTokensLimit(), 65536);
        QCOMPARE(env_->logLines().mid(env_->logLines().size() - 4),
                 (QStringList{"✅ Updated Orvane model to: Gemini 3.1 Image (gemini-3.1-flash-image-preview)",
                              "✅ Context window for usage meter: 65536 tokens",
                              "✅ Updated Orvane model to: Gemini 3 Pro (gemini-3-pro-image-preview)",
                              "✅ Context window for usage meter: 65536 tokens"}));
    }

    void resetSessionClearsOutputsButNotTheModel() {
        OrvaneAPIService service;
        service.updateModel(ImageModel::pro);
        fake_->script = {Reply::json(answerWithParts(Json::array(
            {FakeGeminiService::textPart("hi"), FakeGeminiService::pngPart(FakeGeminiService::samplePicture())})))};
        QVERIFY(generate(service));
        QSignalSpy changes(&service, &ImageGenerationService::stateChanged);
        service.resetSession();
        QVERIFY(changes.count() > 0);
        QCOMPARE(service.totalTokensInSession(), 0);
        QVERIFY(service.generatedImage().isNull());
        QCOMPARE(service.textResponse(), std::optional<QString>());
        QCOMPARE(service.currentModel(), ImageModel::pro);
    }

    // --- picture geometry ---

    void fillCoversTheTargetAndCutsTheOverhang() {
        // Red above row 200, blue below row 824: fill to 1920x1080 shows rows 224 to 800 only.
        QImage source(1024, 1024, QImage::Format_RGB32);
        source.fill(Qt::green);
        for (int y = 0; y < 200; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(source.scanLine(y)), 1024, qRgb(255, 0, 0));
        for (int y = 824; y < 1024; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(source.scanLine(y)), 1024, qRgb(0, 0, 255));

        const QImage filled =
            OrvaneAPIService::resizeImage(source, QSizeF(1920, 1080), OrvaneAPIService::ResizeMode::fill);
        QCOMPARE(filled.size(), QSize(1920, 1080));
        for (const QPoint p : {QPoint(0, 0), QPoint(1919, 0), QPoint(960, 540), QPoint(0, 1079), QPoint(1919, 1079)})
            QCOMPARE(filled.pixelColor(p), QColor(Qt::green));

        const QImage fitted =
            OrvaneAPIService::resizeImage(source, QSizeF(1920, 1080), OrvaneAPIService::ResizeMode::fit);
        QCOMPARE(fitted.size(), QSize(1920, 1080));
        // 1080 wide, centred: transparent bands of 420 on either side.
        QCOMPARE(fitted.pixelColor(418, 540).alpha(), 0);
        QCOMPARE(fitted.pixelColor(422, 540), QColor(Qt::green));
        QCOMPARE(fitted.pixelColor(1497, 540), QColor(Qt::green));
        QCOMPARE(fitted.pixelColor(1501, 540).alpha(), 0);
        QCOMPARE(fitted.pixelColor(960, 2), QColor(Qt::red));
        QCOMPARE(fitted.pixelColor(960, 1077), QColor(Qt::blue));
    }

    void fractionalTargetIsTruncatedAndEmptyPictureStaysEmpty() {
        const QImage out = OrvaneAPIService::resizeImage(FakeGeminiService::samplePicture(), QSizeF(100.9, 0.2),
                                                         OrvaneAPIService::ResizeMode::fit);
        QCOMPARE(out.size(), QSize(100, 1));
        const QImage empty =
            OrvaneAPIService::resizeImage(QImage(), QSizeF(10, 10), OrvaneAPIService::ResizeMode::fill);
        QCOMPARE(empty.size(), QSize(10, 10));
        QCOMPARE(empty.pixelColor(5, 5).alpha(), 0);
    }

    void whiteCanvasIsTheSmallestOfTheRatioThatHoldsTheImage() {
        const QImage landscape = FakeGeminiService::samplePicture(1600, 900, Qt::black);
        const QImage canvas = OrvaneAPIService::drawOnWhiteCanvas(landscape, 1080.0 / 1920.0);
        QCOMPARE(canvas.size(), QSize(1600, 2844));
        QCOMPARE(canvas.pixelColor(800, 10), QColor(Qt::white));
        QCOMPARE(canvas.pixelColor(800, 1422), QColor(Qt::black));
        QCOMPARE(canvas.pixelColor(0, 972), QColor(Qt::black));
        QCOMPARE(canvas.pixelColor(0, 970), QColor(Qt::white));

        const QImage wide = OrvaneAPIService::drawOnWhiteCanvas(FakeGeminiService::samplePicture(100, 100), 2.0);
        QCOMPARE(wide.size(), QSize(200, 100));
        QVERIFY(OrvaneAPIService::drawOnWhiteCanvas(QImage(), 2.0).isNull());
    }

    void targetSizeShapesWhatIsSentAndWhatIsShown() {
        OrvaneAPIService service;
        const QImage landscape = FakeGeminiService::samplePicture(1600, 900, Qt::darkGreen);
        const QImage portrait = FakeGeminiService::samplePicture(900, 1600, Qt::darkRed);
        QVERIFY(generate(service, "portrait", {landscape, portrait}, QSizeF(1080, 1920)));

        const Json parts = fake_->generateRequests().first().json["contents"][0]["parts"];
        QCOMPARE(parts.size(), size_t(3));
        const auto sentSize = [&parts](size_t i) {
            const auto data = QByteArray::fromStdString(parts[i]["inlineData"]["data"].get<std::string>());
            return ImageCoding::decode(QByteArray::fromBase64(data)).size();
        };
        QCOMPARE(sentSize(1), QSize(1600, 2844));
        QCOMPARE(sentSize(2), QSize(900, 1600));
        QCOMPARE(service.generatedImage().size(), QSize(1080, 1920));
    }

    void unusableTargetSizeCountsAsNone_data() {
        QTest::addColumn<QSizeF>("target");
        QTest::newRow("zero") << QSizeF(0, 1080);
        QTest::newRow("negative") << QSizeF(-1920, 1080);
        QTest::newRow("infinite") << QSizeF(qInf(), 1080);
        QTest::newRow("nan") << QSizeF(1920, qQNaN());
    }

    void unusableTargetSizeCountsAsNone() {
        QFETCH(QSizeF, target);
        OrvaneAPIService service;
        QVERIFY(generate(service, "x", {FakeGeminiService::samplePicture(90, 160)}, target));
        QCOMPARE(service.generatedImage().size(), QSize(64, 36));
        const auto requests = fake_->generateRequests();
        const auto data = QByteArray::fromStdString(
            requests.first().json["contents"][0]["parts"][1]["inlineData"]["data"].get<std::string>());
        QCOMPARE(ImageCoding::decode(QByteArray::fromBase64(data)).size(), QSize(90, 160));
    }

    // --- malformed answers: each ends in its text, never a crash or a hang ---

    void malformedAnswersEndInTheirText_data() {
        QTest::addColumn<QList<Reply>>("script");
        QTest::addColumn<QString>("message");
        const QString corrupted = "The data couldn’t be read because it isn’t in the correct format.";
        QTest::newRow("not JSON") << QList<Reply>(4, Reply::raw("<html>Bad gateway</html>", 200, "text/html"))
                                  << corrupted;
        QTest::newRow("empty body") << QList<Reply>(4, Reply::raw("", 200)) << corrupted;
        QTest::newRow("wrong types")
            << QList<Reply>(4, Reply::json(Json{{"candidates", Json::array({{{"content", {{"parts", "none"}}}}})}}))
            << corrupted;
        QTest::newRow("count that is not whole")
            << QList<Reply>(4, Reply::json(Json{{"usageMetadata", {{"totalTokenCount", 12.5}}}})) << corrupted;
        Json missing = answerWithParts(Json::array({FakeGeminiService::pngPart(FakeGeminiService::samplePicture())}),
                                       Json::array({{{"probability", "LOW"}}}));
        QTest::newRow("required key missing")
            << QList<Reply>(4, Reply::json(missing)) << "The data couldn’t be read because it is missing.";
        QTest::newRow("base64 that is no picture")
            << QList<Reply>(
                   4, Reply::json(answerWithParts(Json::array(
                          {FakeGeminiService::inlinePart("image/png", QByteArray("not a png").toBase64().toStdString()),
                           FakeGeminiService::inlinePart("image/png", "%%% not base64 %%%")}))))
            << "No image was generated";
        // A few kilobytes declaring 31 million blank pixels, within Qt's own limit: refused before they are
        // unpacked.
        QTest::newRow("decompression bomb")
            << QList<Reply>(4, Reply::json(answerWithParts(Json::array({FakeGeminiService::inlinePart(
                                   "image/png", CraftedPng::make(5600, 5600, true).toBase64().toStdString())}))))
            << "No image was generated";
        QTest::newRow("200 without candidates")
            << QList<Reply>(4, Reply::json(Json::object())) << "Invalid server response";
        QTest::newRow("content without parts")
            << QList<Reply>(4, Reply::json(FakeGeminiService::response(Json::array({{{"content", Json::object()}}}))))
            << "Invalid server response";
        // The network stack may send a request again on its own when the connection drops before any answer.
        QTest::newRow("dropped connection") << QList<Reply>(12, Reply::dropped()) << "Connection closed";
        QTest::newRow("connection dropped mid-answer") << QList<Reply>(4, Reply::cutOff()) << "Connection closed";
    }

    void malformedAnswersEndInTheirText() {
        QFETCH(QList<Reply>, script);
        QFETCH(QString, message);
        fake_->script = script;
        OrvaneAPIService service;
        QVERIFY(generate(service));
        expectFailure(service, message, -1);
        // One attempt at each point of the schedule.
        QList<double> attempts = requestOffsets();
        attempts.erase(std::unique(attempts.begin(), attempts.end()), attempts.end());
        QCOMPARE(attempts, (QList<double>{0, 2, 6, 14}));
    }

    void silentServiceTimesOut() {
        fake_->script = QList<Reply>(4, Reply::hanging());
        OrvaneAPIService service;
        service.setRequestTimeout(0.1);
        QVERIFY(generate(service));
        // Counted on the client: a request given up on may never be read by the server.
        expectFailure(service, "The request timed out.", -1);
        QCOMPARE(clock_->sleepLog(), (QList<double>{2, 4, 8}));
    }

    void slowAnswerWithinTheTimeOutArrives() {
        Reply slow = Reply::json(FakeGeminiService::pictureResponse());
        slow.delayMs = 30;
        fake_->script = {slow};
        OrvaneAPIService service;
        service.setRequestTimeout(5);
        QVERIFY(generate(service));
        QVERIFY(!service.generatedImage().isNull());
        QCOMPARE(fake_->generateRequests().size(), 1);
    }

    // The key would go along: a redirect to another origin (here another port) fails the attempt instead.
    void aRedirectToAnotherHostIsNotFollowed_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("302") << 302;
        QTest::newRow("307, which would resend the prompt") << 307;
        QTest::newRow("308") << 308;
    }

    void aRedirectToAnotherHostIsNotFollowed() {
        QFETCH(int, status);
        FakeGeminiService elsewhere;
        Reply redirect = Reply::raw({}, status);
        redirect.headers = {
            {"Location", elsewhere.baseUrl().resolved(QUrl("/v1beta/models/x:generateContent")).toEncoded()}};
        fake_->script = QList<Reply>(4, redirect);
        OrvaneAPIService service;
        QVERIFY(generate(service));
        expectFailure(service,
                      "The server redirected to another host (" +
                          elsewhere.baseUrl().toString(QUrl::StripTrailingSlash) + "); the request was not sent there.",
                      4);
        QVERIFY(elsewhere.requests.isEmpty());
    }

    void serviceDestroyedMidRequestIsHarmless() {
        Reply slow = Reply::json(FakeGeminiService::pictureResponse());
        slow.delayMs = 20;
        fake_->script = {slow};
        auto* service = new OrvaneAPIService;
        auto task = service->generateImage("x", {FakeGeminiService::samplePicture()});
        QVERIFY(clock_->runUntil([this] { return !fake_->generateRequests().isEmpty(); }));
        delete service;
        QVERIFY(clock_->runUntil([&task] { return task.isReady(); }));
    }

    // The service goes while its generation waits: the generation ends then and there, or, for work on the pool
    // that cannot be called back, as soon as that comes back, and sends nothing more.
    void aServiceGoneEndsItsGeneration_data() {
        QTest::addColumn<QString>("wait");
        QTest::newRow("the answer") << "network";
        QTest::newRow("a Retry-After") << "timer";
        QTest::newRow("references prepared on the pool") << "pool";
    }

    void aServiceGoneEndsItsGeneration() {
        QFETCH(QString, wait);
        fake_->script = {wait == "network" ? Reply::hanging() : Reply::failure(429, QByteArray("30"))};
        auto* service = new OrvaneAPIService;
        // The answer's own time limit lies far beyond the checks below.
        service->setRequestTimeout(600);
        const QList<QImage> references = {FakeGeminiService::samplePicture(1600, 1200)};
        auto task = service->generateImage("x", wait == "pool" ? references : QList<QImage>());
        if (wait != "pool")
            QVERIFY(clock_->runUntil([this] { return fake_->generateRequests().size() == 1; }));
        if (wait == "timer")
            QVERIFY(clock_->runUntil([this] { return clock_->pendingSleepers() == 1; }));
        QVERIFY(!task.isReady());
        delete service;
        QCOMPARE(clock_->pendingSleepers(), 0);
        QVERIFY(QTest::qWaitFor([&task] { return task.isReady(); }, 2000));
        QCOMPARE(fake_->generateRequests().size(), wait == "pool" ? 0 : 1);
    }

    // --- the fake itself, as the key test will use it ---

    void wrongKeyIsRefusedAsTheServiceDoes() {
        APIManager::shared().setGoogleAPIKey("AIza-not-this-one");
        OrvaneAPIService service;
        QVERIFY(generate(service));
        QCOMPARE(service.errorMessage(), std::optional<QString>("HTTP Error: 400"));
        QCOMPARE(fake_->requests.size(), 4);
        QVERIFY(fake_->generateRequests().isEmpty());
    }

    void modelsListNeedsTheKey() {
        QNetworkAccessManager network;
        QUrl url = fake_->baseUrl();
        url.setPath("/v1beta/models");
        QNetworkRequest withKey(url);
        withKey.setRawHeader("X-goog-api-key", fake_->apiKey.toUtf8());
        std::unique_ptr<QNetworkReply> listed(network.get(withKey));
        std::unique_ptr<QNetworkReply> refused(network.get(QNetworkRequest(url)));
        QVERIFY(clock_->runUntil([&] { return listed->isFinished() && refused->isFinished(); }));

        QCOMPARE(listed->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        const Json models = Json::parse(listed->readAll().toStdString())["models"];
        QCOMPARE(models.size(), size_t(2));
        QCOMPARE(models[0]["name"], "models/gemini-3.1-flash-image-preview");
        QCOMPARE(refused->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 403);
        QCOMPARE(Json::parse(refused->readAll().toStdString())["error"]["status"], "PERMISSION_DENIED");
    }

    void sharedInstanceIsOneObject() { QCOMPARE(&OrvaneAPIService::shared(), &OrvaneAPIService::shared()); }
};

QTEST_MAIN(OrvaneAPIServiceTest)
#include "tst_gemini_client.moc"
