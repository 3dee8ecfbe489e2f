#include "APIKeyTests.h"
#include "APIManager.h"
#include "APISettingsViewModel.h"
#include "Defaults.h"
#include "FakeGeminiService.h"
#include "FakeMiniMaxService.h"
#include "ServiceConfig.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTest>

namespace {

using GeminiReply = FakeGeminiService::Reply;
using MiniMaxReply = FakeMiniMaxService::Reply;

const QString kGoogleKey = "AIza" + QString(35, 'a');
// Three dot-separated parts, 120 characters in all.
const QString kVideoKey = "eyJhbGciOiJIUzI1NiJ9." + QString(80, 'b') + ".sig-_" + QString(13, 'c');

} // namespace

// The key rows of the API tab: what a test shows while it runs and after; the tests themselves are
// checked beside the service clients.
class KeyTestTests : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;

private slots:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }

    void aKeyWithALineBreakIsNeverSent() {
        FakeGeminiService gemini(kGoogleKey);
        gemini.install();
        FakeMiniMaxService miniMax;
        ServiceConfig config = ServiceConfig::current();
        config.miniMaxBaseUrl = miniMax.baseUrl();
        ServiceConfig::setCurrent(config);

        APIManager::shared().setGoogleAPIKey(kGoogleKey + "\n");
        APIManager::shared().setMiniMaxAPIKey2("\r" + kVideoKey);
        APISettingsViewModel model;
        model.imageKey()->test();
        model.videoKey(2)->test();
        QCOMPARE(model.imageKey()->resultText(), APIKeyTests::googleFormatMessage);
        QCOMPARE(model.videoKey(2)->resultText(), APIKeyTests::miniMaxFormatMessage);
        QVERIFY(!model.imageKey()->isTesting());
        QTest::qWait(20);
        QVERIFY(gemini.requests.isEmpty());
        QVERIFY(miniMax.requests.isEmpty());
        // The stored keys are left as typed.
        QCOMPARE(APIManager::shared().googleAPIKey(), kGoogleKey + "\n");
    }

    void aRunningTestShowsProgressAndOnlyItsOwnKeyWaits() {
        FakeGeminiService gemini(kGoogleKey);
        gemini.install();
        gemini.modelsScript.append([] {
            GeminiReply slow = GeminiReply::failure(429);
            slow.delayMs = 250;
            return slow;
        }());
        FakeMiniMaxService miniMax;
        miniMax.acceptedKeys = {kVideoKey};
        ServiceConfig config = ServiceConfig::current();
        config.miniMaxBaseUrl = miniMax.baseUrl();
        config.miniMaxGroupId = miniMax.groupId;
        ServiceConfig::setCurrent(config);

        APIManager::shared().setGoogleAPIKey(kGoogleKey);
        APIManager::shared().setMiniMaxAPIKey3(kVideoKey);
        APISettingsViewModel model;
        APIKeySlot* image = model.imageKey();
        // An earlier result goes away when a test starts.
        APIManager::shared().setGoogleAPIKey("short");
        image->test();
        QCOMPARE(image->resultText(), APIKeyTests::googleFormatMessage);
        APIManager::shared().setGoogleAPIKey(kGoogleKey);

        QSignalSpy states(image, &APIKeySlot::testStateChanged);
        image->test();
        QVERIFY(image->isTesting());
        QVERIFY(!image->hasResult());
        image->test(); // the button is disabled meanwhile: a second press sends nothing
        model.videoKey(3)->test();
        QVERIFY(model.videoKey(3)->isTesting());
        QTRY_VERIFY(!model.videoKey(3)->isTesting());
        QVERIFY(model.videoKey(3)->resultIsSuccess());
        QCOMPARE(model.videoKey(3)->resultText(), QStringLiteral("API key is valid"));
        // The slower image test is still running.
        QVERIFY(image->isTesting());

        QTRY_VERIFY(!image->isTesting());
        QCOMPARE(image->resultText(), QStringLiteral("Rate limit exceeded"));
        QVERIFY(!image->resultIsSuccess());
        QCOMPARE(states.size(), 2);
        QCOMPARE(gemini.requests.size(), 1);
        QCOMPARE(miniMax.requests.size(), 1);
        QCOMPARE(miniMax.requests.first().header("Authorization"), "Bearer " + kVideoKey.toUtf8());
    }

    void editingAndClearingKeepTheLastResult() {
        APIManager::shared().setMiniMaxAPIKey4("a.b.c");
        APISettingsViewModel model;
        APIKeySlot* slot = model.videoKey(4);
        QVERIFY(slot->hasKey());
        slot->test();
        QCOMPARE(slot->resultText(), APIKeyTests::miniMaxFormatMessage);

        QSignalSpy keyChanges(slot, &APIKeySlot::keyChanged);
        slot->setKey("a.b.cd");
        QCOMPARE(Defaults::standard().string("miniMaxAPIKey4"), std::optional<QString>("a.b.cd"));
        QCOMPARE(keyChanges.size(), 1);
        QCOMPARE(slot->resultText(), APIKeyTests::miniMaxFormatMessage);

        slot->clear();
        QCOMPARE(Defaults::standard().string("miniMaxAPIKey4"), std::optional<QString>(""));
        QVERIFY(!slot->hasKey());
        QCOMPARE(slot->resultText(), APIKeyTests::miniMaxFormatMessage);
        // An empty key is not checked at all; spaces alone count as no key.
        slot->setKey("   ");
        QVERIFY(!slot->hasKey());
        slot->clear();
        slot->test();
        QCOMPARE(slot->resultText(), APIKeyTests::miniMaxFormatMessage);

        QVERIFY(!slot->showKey());
        slot->toggleShowKey();
        QVERIFY(slot->showKey());
        QCOMPARE(slot->sectionHeader(), QStringLiteral("Video Generation - API Key 4"));
        // A change made elsewhere reaches the slot.
        APIManager::shared().setMiniMaxAPIKey4("elsewhere");
        QCOMPARE(slot->key(), QStringLiteral("elsewhere"));
        QCOMPARE(keyChanges.size(), 5);
    }

    void aTestStillRunningWhenTheWindowGoesAway() {
        FakeMiniMaxService miniMax;
        miniMax.acceptedKeys = {kVideoKey};
        miniMax.install();
        miniMax.retrieveReplies.append(MiniMaxReply::http(401).after(0.2));
        APIManager::shared().setMiniMaxAPIKey(kVideoKey);
        auto model = std::make_unique<APISettingsViewModel>();
        model->videoKey(1)->test();
        QVERIFY(model->videoKey(1)->isTesting());
        QTRY_COMPARE(miniMax.requests.size(), 1);
        model.reset();
        // The answer arrives after the tab is gone: nothing is written anywhere.
        QTest::qWait(400);
        QCOMPARE(APIManager::shared().miniMaxAPIKey(), kVideoKey);

        // A new tab starts fresh.
        APISettingsViewModel again;
        QVERIFY(!again.videoKey(1)->hasResult());
        QVERIFY(!again.videoKey(1)->isTesting());
    }
};

QTEST_GUILESS_MAIN(KeyTestTests)
#include "tst_key_tests.moc"
