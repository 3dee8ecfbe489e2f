#include "CheckForUpdatesAction.h"
#include "ServiceConfig.h"
#include "SparkleUpdaterController.h"
#include "StandardUpdaterController.h"
#include "TestSupport.h"

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {
QByteArray feed(const QStringList& items) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                     "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
                     "<channel><title>Orvane</title>";
    for (const QString& item : items)
        xml += item.toUtf8();
    xml += "</channel></rss>";
    return xml;
}

QString item(const QString& version, const QString& shortVersion, const QString& url) {
    return QStringLiteral("<item><title>Version %2</title><sparkle:version>%1</sparkle:version>"
                          "<sparkle:shortVersionString>%2</sparkle:shortVersionString>"
                          "<enclosure url=\"%3\" length=\"10\" type=\"application/octet-stream\"/></item>")
        .arg(version, shortVersion, url);
}
} // namespace

class UpdaterTests : public QObject {
    Q_OBJECT
private:
    QHttpServer server_;
    quint16 port_ = 0;
    QByteArray body_;
    int status_ = 200;
    int requests_ = 0;

    ServiceConfig pointFeedAtServer() {
        ServiceConfig config = ServiceConfig::builtIn();
        config.updateFeedUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(port_));
        ServiceConfig::setCurrent(config);
        return config;
    }

private slots:
    void initTestCase() {
        server_.route("/appcast.xml", [this]() {
            ++requests_;
            return QHttpServerResponse("application/rss+xml", body_, QHttpServerResponder::StatusCode(status_));
        });
        port_ = server_.listen(QHostAddress::LocalHost, 0);
        QVERIFY(port_ != 0);
    }

    void init() {
        requests_ = 0;
        status_ = 200;
    }

    void feedParsingPicksTheNewestVersionedItem() {
        const auto newest = StandardUpdaterController::newestItem(
            feed({item("3", "1.2.0", "https://example.org/a"), item("12", "2.0.1", "https://example.org/b"),
                  "<item><title>No version</title></item>", item("9", "1.9", "https://example.org/c")}));
        QVERIFY(newest);
        QCOMPARE(newest->version, QVersionNumber(12));
        QCOMPARE(newest->displayVersion, QStringLiteral("2.0.1"));
        QCOMPARE(newest->downloadUrl, QUrl("https://example.org/b"));

        // Versions given only on the enclosure count too.
        const auto enclosure = StandardUpdaterController::newestItem(
            feed({"<item><enclosure url=\"https://example.org/e\" sparkle:version=\"4.1\" "
                  "sparkle:shortVersionString=\"4.1\"/></item>"}));
        QVERIFY(enclosure);
        QCOMPARE(enclosure->version, QVersionNumber(4, 1));

        QVERIFY(!StandardUpdaterController::newestItem(feed({})));
        QVERIFY(!StandardUpdaterController::newestItem("<html><body>captive portal</body></html>"));
        QVERIFY(!StandardUpdaterController::newestItem("not xml at all"));
        QVERIFY(!StandardUpdaterController::newestItem(feed({item("2", "2", "x")}).left(120)));
    }

    void theUpdaterIsCreatedStoppedAndTheCommandMirrorsIt() {
        TestEnvironment env;
        SparkleUpdaterController controller;
        CheckForUpdatesAction action(controller);
        QVERIFY(!controller.canCheckForUpdates());
        QVERIFY(!action.isEnabled());
        // A check before the start does nothing.
        controller.updaterController().checkForUpdates();
        QTest::qWait(20);
        QCOMPARE(requests_, 0);

        controller.updaterController().startUpdater();
        QTRY_VERIFY(controller.canCheckForUpdates());
        QVERIFY(action.isEnabled());
    }

    void aCheckReportsANewerVersionAndOffersTheDownload() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        pointFeedAtServer();
        body_ = feed({item("2.0.0", "2.0", "https://example.org/Orvane-2.0.tar.gz")});

        SparkleUpdaterController controller;
        CheckForUpdatesAction action(controller);
        StandardUpdaterController& updater = controller.updaterController();
        updater.setCurrentVersion("1.0.0");
        QList<QUrl> opened;
        updater.setUrlOpener([&](const QUrl& url) { opened << url; });
        updater.startUpdater();
        QTRY_VERIFY(action.isEnabled());

        QSignalSpy finished(&updater, &StandardUpdaterController::checkFinished);
        action.trigger();
        // While the check runs the command is disabled.
        QVERIFY(!updater.canCheckForUpdates());
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished[0][0].value<StandardUpdaterController::Outcome>(),
                 StandardUpdaterController::Outcome::updateAvailable);
        QCOMPARE(requests_, 1);
        QCOMPARE(dialogs.alerts.size(), 1);
        QVERIFY(dialogs.alerts[0].message.startsWith("A new version of "));
        QVERIFY(dialogs.alerts[0].informativeText.contains("2.0"));
        QCOMPARE(opened, QList<QUrl>{QUrl("https://example.org/Orvane-2.0.tar.gz")});
        QTRY_VERIFY(action.isEnabled());

        // Later, the same version is reported as current; declining opens nothing.
        updater.setCurrentVersion("2.0.0");
        action.trigger();
        QTRY_COMPARE(finished.count(), 2);
        QCOMPARE(finished[1][0].value<StandardUpdaterController::Outcome>(),
                 StandardUpdaterController::Outcome::upToDate);
        QCOMPARE(dialogs.alerts[1].message, QStringLiteral("You’re up-to-date!"));
        QCOMPARE(opened.size(), 1);
    }

    void aBrokenFeedEndsInAnErrorAndTheCommandComesBack() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        ServiceConfig config = pointFeedAtServer();
        StandardUpdaterController updater;
        updater.startUpdater();
        QSignalSpy finished(&updater, &StandardUpdaterController::checkFinished);

        status_ = 404;
        body_ = "missing";
        updater.checkForUpdates();
        QTRY_COMPARE(finished.count(), 1);
        status_ = 200;
        body_ = "<html>not a feed</html>";
        updater.checkForUpdates();
        QTRY_COMPARE(finished.count(), 2);
        for (const auto& args : finished)
            QCOMPARE(args[0].value<StandardUpdaterController::Outcome>(), StandardUpdaterController::Outcome::failed);
        QCOMPARE(dialogs.alerts.size(), 2);
        QCOMPARE(dialogs.alerts[0].message, QStringLiteral("Update Error!"));
        QVERIFY(updater.canCheckForUpdates());

        // Nobody listening at all.
        config.updateFeedUrl = QUrl("http://127.0.0.1:1/appcast.xml");
        ServiceConfig::setCurrent(config);
        updater.checkForUpdates();
        QTRY_COMPARE(finished.count(), 3);
        QVERIFY(updater.canCheckForUpdates());
    }

    void aCheckStillRunningWhenTheControllerGoesTouchesNothingOfIt() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        // A feed server that takes the request and answers only when told to.
        QTcpServer slow;
        QVERIFY(slow.listen(QHostAddress::LocalHost));
        QPointer<QTcpSocket> held;
        connect(&slow, &QTcpServer::newConnection, this, [&] { held = slow.nextPendingConnection(); });
        ServiceConfig config = ServiceConfig::builtIn();
        config.updateFeedUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(slow.serverPort()));
        ServiceConfig::setCurrent(config);

        auto updater = std::make_unique<StandardUpdaterController>();
        updater->setCurrentVersion("1.0.0");
        QList<QUrl> opened;
        updater->setUrlOpener([&](const QUrl& url) { opened << url; });
        QSignalSpy finished(updater.get(), &StandardUpdaterController::checkFinished);
        updater->startUpdater();
        updater->checkForUpdates();
        QTRY_VERIFY(held && held->bytesAvailable() > 0);
        updater.reset();

        // The answer comes once the controller is gone: no alert, no download, no word from the check.
        const QByteArray body = feed({item("2.0.0", "2.0", "https://example.org/Orvane-2.0.tar.gz")});
        if (held)
            held->write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
                        QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QTest::qWait(200);
        QVERIFY(dialogs.alerts.isEmpty());
        QVERIFY(opened.isEmpty());
        QCOMPARE(finished.count(), 0);
    }
};

QTEST_MAIN(UpdaterTests)
#include "tst_updater.moc"
