#include "Defaults.h"
#include "PresetTestSupport.h"
#include "Resources.h"
#include "StoreFaults.h"
#include "SwiftDataImagePresetsManager.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace PresetTestSupport;

namespace {
const QString kFlag = SwiftDataImagePresetsManager::kDefaultsFlag;

QStringList titlesOf(const QList<std::shared_ptr<ImagePreset>>& presets) {
    QStringList titles;
    for (const auto& preset : presets)
        titles << preset->title();
    return titles;
}

QString defaultPrompt(int row) {
    return SwiftDataImagePresetsManager::defaultImagePresetTable()[row].prompt;
}

} // namespace

class ImagePresetsManagerTest : public QObject {
    Q_OBJECT
private:
    StoreFixture fixture_;
    std::unique_ptr<TestEnvironment>& env_ = fixture_.env;
    std::unique_ptr<VirtualClock>& clock_ = fixture_.clock;
    std::unique_ptr<ModelContext>& store_ = fixture_.store;

    std::shared_ptr<ImagePreset> add(const QString& title, const QString& prompt) {
        auto preset = ImagePreset::make(title, prompt);
        store_->insert(preset);
        clock_->advance(1);
        return preset;
    }

    // The root view's start-up steps of this store.
    void startUp(SwiftDataImagePresetsManager& manager) {
        manager.createDefaultPresets();
        manager.loadPresets();
        manager.refreshDefaultPresets();
    }

private slots:
    void init() { fixture_.setUp(); }
    void cleanup() { fixture_.tearDown(); }

    void defaultTableHasTheExactTexts() {
        const auto table = SwiftDataImagePresetsManager::defaultImagePresetTable();
        QCOMPARE(table.size(), 2);
        QCOMPARE(table[0].title, QString("Moment of action"));
        QCOMPARE(table[0].imageName, QString("preset_action_street"));
        QCOMPARE(table[1].title, QString("True crime"));
        QCOMPARE(table[1].imageName, QString("preset_crime_rooftop"));
        const QString style =
            "Style: clay render 3D visualization, monochromatic white/grey background scene, untextured matte "
            "surfaces, ambient occlusion soft shadows, realistic shapes and forms without textures, soft diffused "
            "lighting. Red flat silhouette figure(s) in foreground as main subject.";
        QCOMPARE(table[0].prompt, style + "\n\nBackground: [describe the background]\nRed subject color as in "
                                          "reference: [describe the red object or character]\nAngle: Low Angle Shot");
        QCOMPARE(table[1].prompt, style + "\n\nBackground: [You describe what's in the background]\nRed subject "
                                          "Color as in the reference photo: [You describe a red object/character]\n"
                                          "Angle: Rear shot");
        QCOMPARE(table[0].prompt.toUtf8().size(), 403);
        QCOMPARE(table[1].prompt.toUtf8().size(), 421);
    }

    void emptyStoreGetsBothDefaultsWithPictures() {
        SwiftDataImagePresetsManager manager(store_.get());
        startUp(manager);
        QVERIFY(Defaults::standard().boolValue(kFlag));
        QCOMPARE(titlesOf(manager.presets()), (QStringList{"True crime", "Moment of action"}));
        QCOMPARE(manager.presets()[0]->prompt(), defaultPrompt(1));
        QCOMPARE(manager.presets()[1]->prompt(), defaultPrompt(0));
        for (const auto& preset : manager.presets())
            QVERIFY(!preset->image().isNull());
        QVERIFY(env_->indexOfLine("✅ Default image presets created successfully") >= 0);
        QCOMPARE(storedRows(*store_, "ImagePreset"), 2);
    }

    void aManagerOutlivingItsStoreDoesNothing() {
        SwiftDataImagePresetsManager manager(store_.get());
        startUp(manager);
        const QStringList before = titlesOf(manager.presets());
        store_.reset(); // the quit order: the store goes first
        QVERIFY(!manager.modelContext());
        Defaults::standard().set(kFlag, false);
        startUp(manager);
        QCOMPARE(titlesOf(manager.presets()), before);
        QVERIFY(!Defaults::standard().boolValue(kFlag));
        store_ = openStore(*env_);
    }

    void setFlagInsertsNothingOnce() {
        Defaults::standard().set(kFlag, true);
        SwiftDataImagePresetsManager manager(store_.get());
        manager.createDefaultPresets();
        QCOMPARE(storedRows(*store_, "ImagePreset"), 0);
        QVERIFY(env_->logLines().isEmpty());
    }

    void storeWithOnlyUserPresetsGetsTheDefaultsFromTheRefresh() {
        add("Mine", "my prompt");
        QVERIFY(store_->save());
        SwiftDataImagePresetsManager manager(store_.get());
        manager.createDefaultPresets();
        QVERIFY(Defaults::standard().boolValue(kFlag));
        QCOMPARE(storedRows(*store_, "ImagePreset"), 1);

        manager.loadPresets();
        manager.refreshDefaultPresets();
        QCOMPARE(titlesOf(manager.presets()), (QStringList{"True crime", "Moment of action", "Mine"}));
        QCOMPARE(manager.presets()[2]->prompt(), QString("my prompt"));
        QCOMPARE(storedRows(*store_, "ImagePreset"), 3);
    }

    void oldCrimeStyleRecordIsRenamed() {
        Defaults::standard().set(kFlag, true);
        add("Moment of action", defaultPrompt(0));
        auto old = add("Crime Style", "an old prompt");
        QVERIFY(store_->save());
        SwiftDataImagePresetsManager manager(store_.get());
        startUp(manager);
        QCOMPARE(old->title(), QString("True crime"));
        QCOMPARE(old->prompt(), defaultPrompt(1));
        QVERIFY(!old->image().isNull());
        QCOMPARE(storedRows(*store_, "ImagePreset"), 2);
    }

    void changedDefaultPromptIsRestored() {
        SwiftDataImagePresetsManager manager(store_.get());
        startUp(manager);
        auto moment = manager.presets()[1];
        moment->setPrompt("my own words");
        QVERIFY(store_->save());

        SwiftDataImagePresetsManager nextLaunch(store_.get());
        startUp(nextLaunch);
        QCOMPARE(moment->prompt(), defaultPrompt(0));
        QVERIFY(!moment->hasChanges());
    }

    void onlyTheNewerOfTwoSameTitledDefaultsIsRewritten() {
        Defaults::standard().set(kFlag, true);
        add("Moment of action", defaultPrompt(0));
        auto older = add("True crime", "older words");
        auto newer = add("True crime", "newer words");
        QVERIFY(store_->save());
        SwiftDataImagePresetsManager manager(store_.get());
        startUp(manager);
        QCOMPARE(newer->prompt(), defaultPrompt(1));
        QCOMPARE(older->prompt(), QString("older words"));
    }

    void deletedDefaultComesBack() {
        SwiftDataImagePresetsManager manager(store_.get());
        startUp(manager);
        store_->remove(manager.presets()[0]);
        QVERIFY(store_->save());
        SwiftDataImagePresetsManager nextLaunch(store_.get());
        startUp(nextLaunch);
        QCOMPARE(titlesOf(nextLaunch.presets()), (QStringList{"True crime", "Moment of action"}));
    }

    void missingPictureIsLoggedAndAMatchingRecordIsNotSavedAgain() {
        QTemporaryDir emptyBundle;
        Resources::setRoot(emptyBundle.path());
        Defaults::standard().set(kFlag, true);
        add("Moment of action", defaultPrompt(0));
        add("True crime", defaultPrompt(1));
        QVERIFY(store_->save());
        int saves = 0;
        connect(store_.get(), &ModelContext::didSave, this, [&] { ++saves; });
        SwiftDataImagePresetsManager manager(store_.get());
        startUp(manager);
        QVERIFY(env_->indexOfLine("⚠️ Default preset image 'preset_action_street' not found in Bundle") >= 0);
        QVERIFY(env_->indexOfLine("⚠️ Default preset image 'preset_crime_rooftop' not found in Bundle") >= 0);
        QCOMPARE(saves, 0);
        for (const auto& preset : manager.presets())
            QVERIFY(!preset->imageData());
    }

    void pictureLookupOrder() {
        QTemporaryDir bundle;
        QDir root(bundle.path());
        root.mkpath("DefaultImagePresets");
        root.mkpath("UserPressetFoto");
        Resources::setRoot(bundle.path());
        auto colourOf = [](const QImage& picture) { return picture.isNull() ? QColor() : picture.pixelColor(5, 5); };

        writePicture(root.filePath("preset_x.png"), Qt::blue, "PNG");
        QCOMPARE(colourOf(SwiftDataImagePresetsManager::loadPresetImageFromBundle("preset_x")), QColor(Qt::blue));
        writePicture(root.filePath("UserPressetFoto/preset_x.jpg"), Qt::white, "JPEG");
        QCOMPARE(colourOf(SwiftDataImagePresetsManager::loadPresetImageFromBundle("preset_x")), QColor(Qt::white));
        writePicture(root.filePath("DefaultImagePresets/preset_x.jpg"), Qt::black, "JPEG");
        QCOMPARE(colourOf(SwiftDataImagePresetsManager::loadPresetImageFromBundle("preset_x")), QColor(Qt::black));
        writePicture(root.filePath("DefaultImagePresets/preset_x.png"), Qt::red, "PNG");
        QCOMPARE(colourOf(SwiftDataImagePresetsManager::loadPresetImageFromBundle("preset_x")), QColor(Qt::red));
        // A file that is not a picture is passed over.
        QFile notAPicture(root.filePath("DefaultImagePresets/preset_x.png"));
        QVERIFY(notAPicture.open(QIODevice::WriteOnly | QIODevice::Truncate));
        notAPicture.write("plain text");
        notAPicture.close();
        QCOMPARE(colourOf(SwiftDataImagePresetsManager::loadPresetImageFromBundle("preset_x")), QColor(Qt::black));
        QVERIFY(env_->logLines().isEmpty());
    }

    void failedSaveOfTheDefaultsLeavesTheFlagUnset() {
        failWrites(*store_, "ImagePreset");
        SwiftDataImagePresetsManager manager(store_.get());
        manager.createDefaultPresets();
        QVERIFY(env_->hasLineStartingWith("❌ Failed to save default image presets: "));
        QVERIFY(!Defaults::standard().boolValue(kFlag));
        QCOMPARE(storedRows(*store_, "ImagePreset"), 0);
    }

    void failedSavesInTheRefreshAreSilentAndLoseNothing() {
        add("Mine", "my prompt");
        QVERIFY(store_->save());
        Defaults::standard().set(kFlag, true);
        failWrites(*store_, "ImagePreset");
        SwiftDataImagePresetsManager manager(store_.get());
        startUp(manager);
        QVERIFY(env_->logLines().filter("❌").isEmpty());
        QCOMPARE(storedRows(*store_, "ImagePreset"), 1);
        QVERIFY(titlesOf(manager.presets()).contains("Mine"));
    }

    void defaultsMadeWhileTheStoreIsLockedAreTheOnesKeptAfterQuitting() {
        StoreLock lock(env_->path("store.sqlite"));
        QVERIFY2(lock.isHeld(), qPrintable(lock.error()));
        QStringList made;
        {
            SwiftDataImagePresetsManager manager(store_.get());
            startUp(manager);
            QVERIFY(env_->hasLineStartingWith("❌ Failed to save default image presets: database is locked"));
            QVERIFY(!Defaults::standard().boolValue(kFlag));
            QCOMPARE(titlesOf(manager.presets()), QStringList({"True crime", "Moment of action"}));
            for (const auto& preset : manager.presets())
                made << preset->identity();
        }
        store_.reset(); // quit while the store is still locked
        lock.release();

        store_ = openStore(*env_);
        QCOMPARE(storedRows(*store_, "ImagePreset"), 2);
        SwiftDataImagePresetsManager manager(store_.get());
        startUp(manager);
        QVERIFY(Defaults::standard().boolValue(kFlag));
        QStringList kept;
        for (const auto& preset : manager.presets())
            kept << preset->identity();
        QCOMPARE(kept, made);
        QVERIFY(manager.presets().first()->imageData());
        QCOMPARE(storedRows(*store_, "ImagePreset"), 2);
    }

    void unreadableStoreIsLoggedAndPublishesNothing() {
        add("Mine", "my prompt");
        QVERIFY(store_->save());
        SwiftDataImagePresetsManager manager(store_.get());
        manager.loadPresets();
        QCOMPARE(manager.presets().size(), 1);
        QSqlQuery query(store_->database());
        QVERIFY(query.exec("ALTER TABLE \"ImagePreset\" RENAME TO \"Gone\""));
        manager.createDefaultPresets();
        QVERIFY(env_->hasLineStartingWith("❌ Error checking existing image presets: "));
        QVERIFY(env_->hasLineStartingWith("❌ Failed to save default image presets: "));
        manager.loadPresets();
        QVERIFY(env_->hasLineStartingWith("❌ Error loading image presets: "));
        QVERIFY(manager.presets().isEmpty());
    }
};

QTEST_GUILESS_MAIN(ImagePresetsManagerTest)
#include "tst_image_presets_manager.moc"
