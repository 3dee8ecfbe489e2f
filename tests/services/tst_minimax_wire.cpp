#include "MiniMaxWire.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

const QString kMissing = QStringLiteral("The data couldn’t be read because it is missing.");
const QString kFormat = QStringLiteral("The data couldn’t be read because it isn’t in the correct format.");

template <class T> QString failureText(const Decoded<T>& decoded) {
    const auto* failure = std::get_if<DecodingFailure>(&decoded);
    return failure ? failure->description : QString();
}

} // namespace

class MiniMaxWireTest : public QObject {
    Q_OBJECT
private slots:
    void requestLeavesOutAbsentMembers() {
        MiniMaxRequest request;
        request.model = "MiniMax-Hailuo-02";
        request.firstFrameImage = "data:image/png;base64,AAAA";
        request.promptOptimizer = false;
        request.resolution = "1080P";
        request.duration = 10;
        const QJsonObject body = QJsonDocument::fromJson(*request.encoded()).object();
        QCOMPARE(body.keys(),
                 QStringList({"duration", "first_frame_image", "model", "prompt_optimizer", "resolution"}));
        QVERIFY(body["duration"].isDouble());
        QCOMPARE(body["duration"].toInt(), 10);
        QCOMPARE(body["resolution"].toString(), "1080P");
        QCOMPARE(body["prompt_optimizer"], QJsonValue(false));
    }

    void requestKeepsAFalseFastPretreatmentAndAnEmptyPrompt() {
        MiniMaxRequest request;
        request.model = "MiniMax-Hailuo-2.3";
        request.prompt = "";
        request.resolution = "768P";
        request.fastPretreatment = false;
        const QJsonObject body = QJsonDocument::fromJson(*request.encoded()).object();
        QCOMPARE(body["fast_pretreatment"], QJsonValue(false));
        QVERIFY(body.contains("prompt"));
        QCOMPARE(body["prompt"].toString(), "");
    }

    void pngDataUrlIsStandardBase64WithoutBreaks() {
        const QByteArray bytes(200, '\xfb');
        const QString url = MiniMaxWire::pngDataUrl(bytes);
        QVERIFY(url.startsWith("data:image/png;base64,"));
        const QString text = url.mid(22);
        QVERIFY(!text.contains('\n'));
        QVERIFY(text.endsWith('='));
        QCOMPARE(QByteArray::fromBase64(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors), bytes);
    }

    void strictDecodingFails_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind"); // 0 generation, 1 task query, 2 file record
        QTest::addColumn<QString>("text");
        QTest::newRow("status block without status_msg")
            << QByteArray(R"({"base_resp":{"status_code":0}})") << 0 << kMissing;
        QTest::newRow("status block null") << QByteArray(R"({"base_resp":null})") << 0 << kMissing;
        QTest::newRow("status code as text")
            << QByteArray(R"({"base_resp":{"status_code":"0","status_msg":""}})") << 0 << kFormat;
        QTest::newRow("status code with a fraction")
            << QByteArray(R"({"base_resp":{"status_code":0.5,"status_msg":""}})") << 0 << kFormat;
        QTest::newRow("array") << QByteArray("[]") << 0 << kFormat;
        QTest::newRow("empty") << QByteArray() << 1 << kFormat;
        QTest::newRow("query file id as number")
            << QByteArray(R"({"status":"Success","file_id":12345})") << 1 << kFormat;
        QTest::newRow("query status as number") << QByteArray(R"({"status":3})") << 1 << kFormat;
        QTest::newRow("query status block incomplete")
            << QByteArray(R"({"status":"Success","base_resp":{"status_msg":"ok"}})") << 1 << kMissing;
        QTest::newRow("record file as text") << QByteArray(R"({"file":"x"})") << 2 << kFormat;
        QTest::newRow("record address as number") << QByteArray(R"({"file":{"download_url":7}})") << 2 << kFormat;
        QTest::newRow("huge integer") << QByteArray(R"({"file":{"bytes":18446744073709551615}})") << 2 << kFormat;
    }

    void strictDecodingFails() {
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QString actual;
        if (kind == 0)
            actual = failureText(MiniMaxWire::decodeGeneration(body));
        else if (kind == 1)
            actual = failureText(MiniMaxWire::decodeTaskResult(body));
        else
            actual = failureText(MiniMaxWire::decodeFileRetrieve(body));
        QCOMPARE(actual, text);
    }

    void wholeDecimalsAreWholeNumbers() {
        const auto query = MiniMaxWire::decodeTaskResult(
            R"({"status":"Success","file_id":"9","base_resp":{"status_code":0.0,"status_msg":"success"}})");
        const auto* answer = std::get_if<TaskResultResponse>(&query);
        QVERIFY(answer && answer->baseResp);
        QCOMPARE(answer->baseResp->statusCode, qint64(0));
        const auto refused = MiniMaxWire::decodeBaseOnly(R"({"base_resp":{"status_code":1004e0,"status_msg":"no"}})");
        QCOMPARE(std::get<BaseOnlyResponse>(refused).baseResp.statusCode, qint64(1004));
    }

    void optionalNullsCountAsAbsent() {
        const auto query = MiniMaxWire::decodeTaskResult(R"({"status":null,"file_id":null,"base_resp":null})");
        const auto& answer = std::get<TaskResultResponse>(query);
        QVERIFY(!answer.status && !answer.fileId && !answer.baseResp);

        const auto record = MiniMaxWire::decodeFileRetrieve("{\"file\":{\"file_id\":205,\"bytes\":10,\"download_url\":"
                                                            "\"https://x/y.mp4\",\"backup_download_url\":null}}");
        const auto& file = *std::get<FileRetrieveResponse>(record).file;
        QCOMPARE(*file.fileId, 205);
        QCOMPARE(*file.downloadUrl, "https://x/y.mp4");
        QVERIFY(!file.backupDownloadUrl);
    }
};

QTEST_GUILESS_MAIN(MiniMaxWireTest)
#include "tst_minimax_wire.moc"
