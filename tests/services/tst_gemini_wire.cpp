#include "GeminiWire.h"

#include <QTest>

using namespace GeminiWire;

class GeminiWireTest : public QObject {
    Q_OBJECT

private:
    static DecodeResult decode(const std::string& text) { return decodeResponse(text.data(), text.size()); }

    // Base64-looking text long enough to be read apart from the rest of the answer.
    static std::string longText(char first, std::size_t size = 70000) {
        std::string text(size, 'A');
        for (std::size_t i = 0; i < size; ++i)
            text[i] = "QUJDabc+/0129xyz"[(i * 7 + std::size_t(first)) % 16];
        text.front() = first;
        return text;
    }

private slots:
    void requestIsWrittenInDeclarationOrderWithoutNulls() {
        GoogleRequest request;
        Content content;
        content.role = "user";
        RequestPart text;
        text.text = "hi";
        RequestPart image;
        image.inlineData = InlineData{"image/jpeg", "QUJD"};
        content.parts = {text, image};
        request.contents = {content};
        request.generationConfig.responseModalities = std::vector<std::string>{"IMAGE"};
        request.generationConfig.imageConfig = ImageConfig{"16:9"};
        const std::string expected =
            R"({"contents":[{"role":"user","parts":[{"text":"hi"},{"inlineData":{"mimeType":"image/jpeg",)"
            R"("data":"QUJD"}}]}],"generationConfig":{"temperature":0.7,"maxOutputTokens":8192,)"
            R"("responseModalities":["IMAGE"],"imageConfig":{"aspectRatio":"16:9"}}})";
        QCOMPARE(encodeRequest(request), expected);
        // Both sides of every record: what is written reads back the same.
        const GoogleRequest back = Json::parse(encodeRequest(request)).get<GoogleRequest>();
        QVERIFY(back == request);
    }

    void optionalKeysMayBeAbsentOrNull() {
        const auto empty = decode("{}");
        QVERIFY(empty.response);
        QVERIFY(!empty.response->candidates && !empty.response->usageMetadata);

        const auto partial = decode(R"({"usageMetadata":{"promptTokenCount":7},"candidates":null,"extra":[1,2]})");
        QVERIFY(partial.response);
        QCOMPARE(partial.response->usageMetadata->promptTokenCount, std::optional<std::int64_t>(7));
        QVERIFY(!partial.response->usageMetadata->totalTokenCount);
        QVERIFY(!partial.response->candidates);
    }

    void emptyContentDiffersFromNoContent() {
        const auto withEmpty = decode(R"({"candidates":[{"content":{}}]})");
        QVERIFY(withEmpty.response);
        const Candidate& first = withEmpty.response->candidates->front();
        QVERIFY(first.content && !first.content->parts);

        const auto without = decode(R"({"candidates":[{"finishReason":"STOP"}]})");
        QVERIFY(without.response);
        QVERIFY(!without.response->candidates->front().content);
    }

    void countsWrittenAsWholeDecimalsAreCounts_data() {
        QTest::addColumn<QString>("count");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("decimal point") << "1300.0" << qint64(1300);
        QTest::newRow("exponent") << "1.3e3" << qint64(1300);
        QTest::newRow("zero") << "0.0" << qint64(0);
        QTest::newRow("largest double below 2^63") << "9223372036854774784.0" << qint64(9223372036854774784LL);
    }

    void countsWrittenAsWholeDecimalsAreCounts() {
        QFETCH(QString, count);
        QFETCH(qint64, expected);
        const auto result = decode((R"({"usageMetadata":{"totalTokenCount":)" + count + "}}").toStdString());
        QVERIFY(result.response);
        QCOMPARE(result.response->usageMetadata->totalTokenCount, std::optional<std::int64_t>(expected));
    }

    void strictDecodingFailsTheWholeAnswer_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("missing");
        QTest::newRow("rating without category")
            << R"({"candidates":[{"safetyRatings":[{"probability":"LOW"}]}]})" << true;
        QTest::newRow("inline data without mimeType")
            << R"({"candidates":[{"content":{"parts":[{"inlineData":{"data":"QUJD"}}]}}]})" << true;
        QTest::newRow("candidates not a list") << R"({"candidates":{}})" << false;
        QTest::newRow("text is a number") << R"({"candidates":[{"content":{"parts":[{"text":5}]}}]})" << false;
        QTest::newRow("count is fractional") << R"({"usageMetadata":{"totalTokenCount":1.5}})" << false;
        QTest::newRow("count is true") << R"({"usageMetadata":{"totalTokenCount":true}})" << false;
        QTest::newRow("count beyond 64 bits")
            << R"({"usageMetadata":{"totalTokenCount":18446744073709551615}})" << false;
        QTest::newRow("decimal count of 2^63")
            << R"({"usageMetadata":{"totalTokenCount":9223372036854775808.0}})" << false;
        QTest::newRow("decimal count far beyond 64 bits") << R"({"usageMetadata":{"totalTokenCount":1e300}})" << false;
        QTest::newRow("answer is a list") << "[]" << false;
        QTest::newRow("part is a string") << R"({"candidates":[{"content":{"parts":["x"]}}]})" << false;
        QTest::newRow("truncated") << R"({"candidates":[)" << false;
    }

    void strictDecodingFailsTheWholeAnswer() {
        QFETCH(QString, body);
        QFETCH(bool, missing);
        const auto result = decode(body.toStdString());
        QVERIFY(!result.response);
        QCOMPARE(result.failure == DecodeFailure::keyNotFound, missing);
    }

    void longInlineTextsDecodeAsTheTreeReadsThem() {
        const std::string picture = longText('P') + "==";
        const std::string second = longText('S');
        const std::string key = longText('K');
        // Long texts as values and as a key, next to short ones with escapes and non-ASCII text.
        const std::string body = "{\"" + key + "\" : \"ignored\", \"candidates\":[{\"content\":{\"parts\":[" +
                                 "{\"text\":\"a \\\"quoted\\\" ZmFr\\u00e9 \u2013 ok\"}," +
                                 "{\"inlineData\":{\"mimeType\":\"image/png\",\"data\":\"" + picture + "\"}}," +
                                 "{\"inlineData\":{\"data\" :   \"" + second + "\" ,\"mimeType\":\"image/jpeg\"}}]}," +
                                 "\"finishReason\":\"" + longText('F') + "\",\"extra\":[\"" + longText('E') +
                                 "\",1]}]}";
        const auto result = decode(body);
        QVERIFY(result.response);
        QCOMPARE(*result.response, Json::parse(body).get<GoogleResponse>());
        const auto& parts = *result.response->candidates->front().content->parts;
        QCOMPARE(parts.size(), size_t(3));
        QCOMPARE(*parts[0].text, std::string("a \"quoted\" ZmFr\u00e9 \u2013 ok"));
        QCOMPARE(parts[1].inlineData->data, picture);
        QCOMPARE(parts[1].inlineData->mimeType, std::string("image/png"));
        QCOMPARE(parts[2].inlineData->data, second);
        QCOMPARE(*result.response->candidates->front().finishReason, longText('F'));
    }

    // A character outside the plain alphabet anywhere in a long text, at every place within the blocks it is
    // looked at in, keeps the text in the tree's own reading.
    void aLongTextWithAnotherCharacterReadsAsTheTreeReadsIt() {
        const std::string plain = longText('Q');
        for (const std::string inserted : {"\\/", "-", " ", "\\u0041"}) {
            for (const size_t at : {size_t(0), size_t(1), size_t(7), size_t(15), size_t(16), size_t(17), size_t(31),
                                    plain.size() / 2 + 3, plain.size() - 1, plain.size()}) {
                const std::string text = plain.substr(0, at) + inserted + plain.substr(at);
                const std::string body = "{\"candidates\":[{\"content\":{\"parts\":[{\"inlineData\":{\"mimeType\":"
                                         "\"image/png\",\"data\":\"" +
                                         text + "\"}}]}}]}";
                const auto result = decode(body);
                QVERIFY(result.response);
                QCOMPARE(*result.response, Json::parse(body).get<GoogleResponse>());
            }
        }
    }

    void longInlineTextsAreDecodedAsStrictly_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("missing");
        const QString data = QString::fromStdString(longText('D'));
        const QString inPart = "{\"candidates\":[{\"content\":{\"parts\":[";
        QTest::newRow("long data without mimeType")
            << inPart + "{\"inlineData\":{\"data\":\"" + data + "\"}}]}}]}" << true;
        QTest::newRow("long text where a part belongs") << inPart + "\"" + data + "\"]}}]}" << false;
        QTest::newRow("long text as the answer") << "\"" + data + "\"" << false;
        QTest::newRow("long text where a count belongs")
            << "{\"usageMetadata\":{\"totalTokenCount\":\"" + data + "\"}}" << false;
        QTest::newRow("long text then a missing brace")
            << inPart + "{\"inlineData\":{\"mimeType\":\"image/png\",\"data\":\"" + data + "\"}}]}}]" << false;
        QTest::newRow("long text unterminated")
            << inPart + "{\"inlineData\":{\"mimeType\":\"image/png\",\"data\":\"" + data << false;
        QTest::newRow("long text with a raw line break")
            << inPart + "{\"text\":\"" + data + "\n" + data + "\"}]}}]}" << false;
        QTest::newRow("long text missing its comma")
            << inPart + "{\"inlineData\":{\"mimeType\":\"image/png\" \"data\":\"" + data + "\"}}]}}]}" << false;
    }

    void longInlineTextsAreDecodedAsStrictly() {
        QFETCH(QString, body);
        QFETCH(bool, missing);
        const auto result = decode(body.toStdString());
        QVERIFY(!result.response);
        QCOMPARE(result.failure == DecodeFailure::keyNotFound, missing);
    }

    void requestNumbersMustBeNumbers() {
        const Json json = Json::parse(R"({"temperature":"0.7","maxOutputTokens":8192})");
        QVERIFY_THROWS_EXCEPTION(Json::exception, json.get<GenerationConfig>());
        const Json flag = Json::parse(R"({"temperature":true,"maxOutputTokens":8192})");
        QVERIFY_THROWS_EXCEPTION(Json::exception, flag.get<GenerationConfig>());
    }
};

QTEST_GUILESS_MAIN(GeminiWireTest)
#include "tst_gemini_wire.moc"
