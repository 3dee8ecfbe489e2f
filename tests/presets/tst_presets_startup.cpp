#include "AppViewModel.h"
#include "BackupManager.h"
#include "Defaults.h"
#include "MainAppView.h"
#include "MediaProbe.h"
#include "PresetTestSupport.h"
#include "Resources.h"
#include "SwiftDataImagePresetsManager.h"
#include "SwiftDataPromptPresetsManager.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QTest>

using namespace PresetTestSupport;

// The root view seeds and loads both preset stores when it first appears; the prompt presets' thumbnails wait
// for the video studio.
class PresetsStartupTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<MainAppView> launch(ModelContext* store, AppViewModel* model) {
        AppEnvironment environment;
        environment.modelContext = store;
        environment.appViewModel = model;
        auto view = std::make_unique<MainAppView>(environment);
        auto plain = [](const AppEnvironment&, QWidget* parent) { return new QWidget(parent); };
        view->setStudioFactories(plain, plain);
        view->show();
        return view;
    }

private slots:
    void firstAndSecondLaunch() {
        TestEnvironment env;
        VirtualClock clock;
        clock.install();
        Resources::setRoot(bundleRoot());
        auto store = openStore(env);
        AppViewModel model;

        auto view = launch(store.get(), &model);
        const QString loaded = "✅ Swift Data managers initialized and loaded ONCE";
        QTRY_VERIFY(env.indexOfLine(loaded) >= 0);
        const int created = env.indexOfLine("✅ Swift Data managers created ONCE");
        const int images = env.indexOfLine("✅ Default image presets created successfully");
        const int prompts = env.indexOfLine("✅ Built-in presets created and saved successfully");
        QVERIFY(created >= 0 && created < images && images < prompts && prompts < env.indexOfLine(loaded));

        auto* promptStore = view->promptPresetsManager();
        auto* imageStore = view->imagePresetsManager();
        QCOMPARE(promptStore->builtInPresets().size(), 13);
        QVERIFY(promptStore->hasInitializedBuiltInPresets());
        QCOMPARE(imageStore->presets().size(), 2);
        QCOMPARE(imageStore->presets().first()->title(), QString("True crime"));
        QVERIFY(Defaults::standard().boolValue(SwiftDataPromptPresetsManager::kCurrentVersionFlag));
        QVERIFY(Defaults::standard().boolValue(SwiftDataImagePresetsManager::kDefaultsFlag));
        // The prompt presets' thumbnails are for the video studio: the image studio, shown first, does not wait
        // for them nor pays for the video decoder.
        QTest::qWait(50);
        MediaProbe::pool().waitForDone();
        QTest::qWait(50);
        QCOMPARE(promptStore->pendingThumbnails(), 13);
        for (const auto& preset : promptStore->builtInPresets())
            QVERIFY2(!preset->previewThumbnailData(), qPrintable(preset->name()));
        // Quit before the video studio was ever shown.
        view.reset();

        // The next launch only loads.
        env.clearLog();
        auto again = launch(store.get(), &model);
        QTRY_VERIFY(env.indexOfLine(loaded) >= 0);
        QCOMPARE(env.logLines(), (QStringList{"✅ Swift Data managers created ONCE", loaded}));
        QCOMPARE(again->promptPresetsManager()->builtInPresets().size(), 13);
        QCOMPARE(again->imagePresetsManager()->presets().size(), 2);
        QCOMPARE(storedRows(*store, "PromptPreset"), 13);
        QCOMPARE(storedRows(*store, "ImagePreset"), 2);
        // The thumbnails the first run never made are made once the video studio shows.
        model.setCurrentView(ViewMode::videoGeneration);
        QCOMPARE(again->promptPresetsManager()->pendingThumbnails(), 13);
        QTRY_COMPARE_WITH_TIMEOUT(again->promptPresetsManager()->pendingThumbnails(), 0, 20000);
        for (const auto& preset : again->promptPresetsManager()->builtInPresets())
            QVERIFY2(preset->previewThumbnailData(), qPrintable(preset->name()));
        again.reset();
        model.setCurrentView(ViewMode::imageGeneration);
        BackupManager::shared().setModelContext(nullptr);
    }
};

QTEST_MAIN(PresetsStartupTest)
#include "tst_presets_startup.moc"
