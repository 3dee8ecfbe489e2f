#include "APIManager.h"
#include "AppEnvironment.h"
#include "Defaults.h"
#include "FakeGeminiService.h"
#include "ImageServiceFactory.h"
#include "ImageStudioModel.h"
#include "NetworkAccess.h"
#include "OrvaneAPIService.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
const QStringList optionKeys{"imageGenerationProvider", "imageGenerationMode", "selectedImageModel",
                             "imageGenerationTemperature", "selectedAspectRatio"};
}

class ImageServiceFactoryTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env_;

private slots:
    void init() { env_ = std::make_unique<TestEnvironment>(); }
    void cleanup() { env_.reset(); }

    // --- options ---

    void imageModelsInPickerOrderWithStrictRawValues() {
        const auto models = allCases<ImageModel>();
        QCOMPARE(models.size(), size_t(2));
        QCOMPARE(displayName(models[0]), QString("Gemini 3.1 Image"));
        QCOMPARE(displayName(models[1]), QString("Gemini 3 Pro"));
        QCOMPARE(fromRawValue<ImageModel>(QString("gemini-3-pro-image-preview")), std::optional(ImageModel::pro));
        QCOMPARE(fromRawValue<ImageModel>(QString("gemini-3.5-flash")), std::optional<ImageModel>());
    }

    // --- settings ---

    void withoutStoredSettingsTheDefaultsApplyAndNothingIsWritten() {
        ImageServiceFactory factory;
        QCOMPARE(factory.currentProvider(), ImageProvider::orvane);
        QCOMPARE(factory.currentMode(), ImageGenerationMode::orvane);
        QCOMPARE(factory.selectedImageModel(), ImageModel::flash);
        QCOMPARE(factory.temperature(), 0.7);
        QCOMPARE(factory.selectedAspectRatio(), AspectRatio::ratio16_9);
        QCOMPARE(factory.currentService(), factory.orvaneService());
        QCOMPARE(factory.orvaneService()->parent(), &factory);
        for (const QString& key : optionKeys)
            QVERIFY2(!Defaults::standard().contains(key), qPrintable(key));
        QCOMPARE(env_->logLines(),
                 (QStringList{"✅ Updated Orvane model to: Gemini 3.1 Image (gemini-3.1-flash-image-preview)",
                              "✅ Context window for usage meter: 65536 tokens", "✅ Updated temperature to: 0.7",
                              "✅ Updated aspect ratio to: 16:9"}));
    }

    void storedModelIsReadAndTheRetiredIdMigrated_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<ImageModel>("selected");
        QTest::addColumn<QString>("afterwards");
        QTest::newRow("retired flash id")
            << "gemini-3.5-flash" << ImageModel::flash << "gemini-3.1-flash-image-preview";
        QTest::newRow("pro") << "gemini-3-pro-image-preview" << ImageModel::pro << "gemini-3-pro-image-preview";
        QTest::newRow("unknown text stays") << "imagen-2" << ImageModel::flash << "imagen-2";
    }

    void storedModelIsReadAndTheRetiredIdMigrated() {
        QFETCH(QString, stored);
        QFETCH(ImageModel, selected);
        QFETCH(QString, afterwards);
        Defaults::standard().set("selectedImageModel", stored);
        ImageServiceFactory factory;
        QCOMPARE(factory.selectedImageModel(), selected);
        QCOMPARE(factory.orvaneService()->currentModel(), selected);
        QCOMPARE(Defaults::standard().string("selectedImageModel"), std::optional<QString>(afterwards));
    }

    void onlyAPositiveStoredTemperatureIsUsed_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("used");
        QTest::newRow("zero") << QVariant(0.0) << 0.7;
        QTest::newRow("negative") << QVariant(-1.0) << 0.7;
        QTest::newRow("not a number") << QVariant("warm") << 0.7;
        QTest::newRow("infinite") << QVariant("inf") << 0.7;
        QTest::newRow("above one, no upper bound") << QVariant(1.5) << 1.5;
    }

    void onlyAPositiveStoredTemperatureIsUsed() {
        QFETCH(QVariant, stored);
        QFETCH(double, used);
        Defaults::standard().set("imageGenerationTemperature", stored);
        ImageServiceFactory factory;
        QCOMPARE(factory.temperature(), used);
        QCOMPARE(factory.orvaneService()->temperature(), used);
    }

    void aTemperatureThatIsNotFiniteIsIgnored() {
        ImageServiceFactory factory;
        factory.setTemperature(0.4);
        QSignalSpy changes(&factory, &ImageServiceFactory::stateChanged);
        factory.setTemperature(std::numeric_limits<double>::quiet_NaN());
        factory.setTemperature(std::numeric_limits<double>::infinity());
        QCOMPARE(changes.count(), 0);
        QCOMPARE(factory.temperature(), 0.4);
        QCOMPARE(factory.orvaneService()->temperature(), 0.4);
        QCOMPARE(Defaults::standard().object("imageGenerationTemperature").toDouble(), 0.4);
    }

    void unknownProviderModeAndRatioLeaveTheDefaults() {
        Defaults::standard().set("imageGenerationProvider", "dalle");
        Defaults::standard().set("imageGenerationMode", "midjourney");
        Defaults::standard().set("selectedAspectRatio", "4:3");
        ImageServiceFactory factory;
        QCOMPARE(factory.currentProvider(), ImageProvider::orvane);
        QCOMPARE(factory.currentMode(), ImageGenerationMode::orvane);
        QCOMPARE(factory.selectedAspectRatio(), AspectRatio::ratio16_9);
        QCOMPARE(Defaults::standard().string("imageGenerationMode"), std::optional<QString>("midjourney"));
    }

    void settersWriteAtOnceAndReachTheService() {
        {
            ImageServiceFactory factory;
            QSignalSpy changes(&factory, &ImageServiceFactory::stateChanged);
            factory.setTemperature(0.2);
            factory.setSelectedImageModel(ImageModel::pro);
            QCOMPARE(changes.count(), 2);
            QCOMPARE(factory.orvaneService()->temperature(), 0.2);
            QCOMPARE(factory.orvaneService()->currentModel(), ImageModel::pro);
            QVERIFY(env_->indexOfLine("✅ Updated temperature to: 0.2") >= 0);
        }
        ImageServiceFactory next;
        QCOMPARE(next.temperature(), 0.2);
        QCOMPARE(next.selectedImageModel(), ImageModel::pro);
    }

    // --- tokens through the factory ---

    void pickingTheOtherModelStartsTheMeterAfresh() {
        VirtualClock clock;
        clock.install();
        FakeGeminiService fake;
        fake.install();
        APIManager::shared().setGoogleAPIKey(fake.apiKey);

        ImageServiceFactory factory;
        auto task = factory.orvaneService()->generateImage("a boat", {});
        QVERIFY(clock.runUntil([&task] { return task.isReady(); }));
        QCOMPARE(factory.sessionTokensUsed(), 1290);

        factory.setSelectedImageModel(ImageModel::flash);
        QCOMPARE(factory.sessionTokensUsed(), 1290);
        factory.setSelectedImageModel(ImageModel::pro);
        QCOMPARE(factory.sessionTokensUsed(), 0);
        QCOMPARE(factory.sessionTokenLimit(), 65536);
    }

    // --- change forwarding ---

    void serviceChangesArriveOneTurnLater() {
        ImageServiceFactory factory;
        QSignalSpy changes(&factory, &ImageServiceFactory::stateChanged);
        QSignalSpy serviceChanges(factory.orvaneService(), &ImageGenerationService::stateChanged);
        factory.orvaneService()->resetSession();
        QVERIFY(serviceChanges.count() > 0);
        QCOMPARE(changes.count(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(changes.count(), serviceChanges.count());
    }

    void forwardingNeverOutlivesTheFactory() {
        auto* factory = new ImageServiceFactory;
        QObject observer;
        int received = 0;
        connect(factory, &ImageServiceFactory::stateChanged, &observer, [&received] { ++received; });
        QPointer<OrvaneAPIService> service = factory->orvaneService();
        service->resetSession();
        delete factory;
        QVERIFY(!service);
        QCoreApplication::processEvents();
        QCOMPARE(received, 0);
    }

    // The factory goes in the turn its generation got ready to send (no references, or references ready at once):
    // nothing is handed to the network, where an abort can come too late for its thread, and nothing is sent.
    void aFactoryGoneInTheTurnItsRequestIsReadySendsNothing() {
        FakeGeminiService fake;
        fake.install();
        APIManager::shared().setGoogleAPIKey(fake.apiKey);
        auto* factory = new ImageServiceFactory;
        const auto replies = NetworkAccess::shared()->findChildren<QNetworkReply*>().size();
        auto task = factory->orvaneService()->generateImage("a boat", {});
        QCOMPARE(NetworkAccess::shared()->findChildren<QNetworkReply*>().size(), replies);
        delete factory;
        QVERIFY(QTest::qWaitFor([&task] { return task.isReady(); }, 2000));
        QTest::qWait(50);
        QVERIFY(fake.generateRequests().isEmpty());
    }

    // --- reachability ---

    void imageStudioOwnsItsFactory() {
        ImageStudioModel model{AppEnvironment{}};
        QVERIFY(model.factory());
        QCOMPARE(model.factory()->parent(), &model);
    }
};

QTEST_MAIN(ImageServiceFactoryTest)
#include "tst_image_service_factory.moc"
