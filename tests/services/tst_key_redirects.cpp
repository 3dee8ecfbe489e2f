#include "FakeMiniMaxService.h"
#include "MiniMaxAPIService.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QTest>

using Reply = FakeMiniMaxService::Reply;

// The video service's key goes with its generation, status and file-record requests: a redirect of any of them to
// another origin (here another port) is not followed, and the job ends saying why.
class KeyRedirectTest : public QObject {
    Q_OBJECT

private slots:
    void noRequestOfTheVideoServiceFollowsItsKeyElsewhere_data() {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("generation, 307") << "generation" << QString();
        QTest::newRow("status query, 302") << "query"
                                           << "Status check error: ";
        QTest::newRow("file record, 302") << "record"
                                          << "Download URL error: ";
    }

    void noRequestOfTheVideoServiceFollowsItsKeyElsewhere() {
        QFETCH(QString, step);
        QFETCH(QString, prefix);
        TestEnvironment environment;
        VirtualClock clock;
        clock.install();
        FakeMiniMaxService miniMax;
        miniMax.clip = "a clip that is never fetched";
        miniMax.install();
        FakeMiniMaxService elsewhere;
        elsewhere.clip = miniMax.clip;
        Reply redirect = Reply::http(step == "generation" ? 307 : 302);
        redirect.headers = {{"Location", elsewhere.baseUrl().resolved(QUrl("/v1/" + step)).toEncoded()}};
        if (step == "generation") {
            miniMax.generationReplies = QList<Reply>(4, redirect);
        } else {
            FakeMiniMaxService::TaskScript script;
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
        QVERIFY(clock.runUntil([&service] { return !service.isLoading(); }, 3600, 20000));
        QVERIFY(elsewhere.requests.isEmpty());
        QCOMPARE(service.errorMessage(), std::optional<QString>(prefix + "The server redirected to another host (" +
                                                                elsewhere.baseUrl().toString(QUrl::StripTrailingSlash) +
                                                                "); the request was not sent there."));
        QVERIFY(!service.generatedVideoURL());
    }
};

QTEST_MAIN(KeyRedirectTest)
#include "tst_key_redirects.moc"
