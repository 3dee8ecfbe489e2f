#include "Defaults.h"
#include "ImageCoding.h"
#include "MediaProbe.h"
#include "PresetTestSupport.h"
#include "Resources.h"
#include "SwiftDataPromptPresetsManager.h"
#include "TaskOwner.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTest>

#include <memory>

using namespace PresetTestSupport;

namespace {
const char* kCurrent = SwiftDataPromptPresetsManager::kCurrentVersionFlag;
const char* kEarlier = SwiftDataPromptPresetsManager::kEarlierVersionFlag;

QStringList namesOf(const QList<std::shared_ptr<PromptPreset>>& presets) {
    QStringList names;
    for (const auto& preset : presets)
        names << preset->name();
    return names;
}

QStringList promptsOf(const QList<std::shared_ptr<PromptPreset>>& presets) {
    QStringList prompts;
    for (const auto& preset : presets)
        prompts << preset->prompt();
    return prompts;
}

const QStringList kSortedBuiltInNames = {"Camera Move Left", "Camera Move Right", "Cars Driving Straight on the Road",
                                         "Pan Left",         "Pan Right",         "Pedestal Down",
                                         "Pedestal Up",      "Push In",           "Push Out",
                                         "Tilt Down",        "Tilt Up",           "Tracking Shot",
                                         "Zoom In"};
} // namespace

class PromptPresetsManagerTest : public QObject {
    Q_OBJECT
private:
    StoreFixture fixture_;
    std::unique_ptr<TestEnvironment>& env_ = fixture_.env;
    std::unique_ptr<VirtualClock>& clock_ = fixture_.clock;
    std::unique_ptr<ModelContext>& store_ = fixture_.store;

    std::shared_ptr<PromptPreset> add(const QString& name, const QString& prompt, bool builtIn) {
        auto preset = PromptPreset::make(name, prompt, builtIn ? "Camera" : "User", builtIn);
        store_->insert(preset);
        clock_->advance(1);
        return preset;
    }

    void save() { QVERIFY(store_->save()); }

    QList<std::shared_ptr<PromptPreset>> all() {
        return store_->fetch<PromptPreset>().value_or(QList<std::shared_ptr<PromptPreset>>{});
    }

    // Lets the seeding thumbnails finish.
    void settleThumbnails(SwiftDataPromptPresetsManager& manager) {
        QTRY_COMPARE_WITH_TIMEOUT(manager.pendingThumbnails(), 0, 20000);
    }

private slots:
    void init() { fixture_.setUp(); }
    void cleanup() { fixture_.tearDown(); }

    // --- the seeding matrix ---

    void freshStoreIsSeededWithTheThirteenBuiltIns() {
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.loadPresets();
        manager.initializeBuiltInPresetsIfNeeded();

        QVERIFY(manager.hasInitializedBuiltInPresets());
        QVERIFY(Defaults::standard().boolValue(kCurrent));
        QCOMPARE(namesOf(manager.builtInPresets()), kSortedBuiltInNames);
        QVERIFY(manager.userPresets().isEmpty());
        QCOMPARE(storedRows(*store_, "PromptPreset"), 13);
        QVERIFY(env_->indexOfLine("✅ Built-in presets created and saved successfully") >= 0);

        const auto table = SwiftDataPromptPresetsManager::builtInPromptPresetTable();
        for (const auto& preset : manager.builtInPresets()) {
            QVERIFY(preset->isBuiltIn());
            const auto row =
                std::find_if(table.begin(), table.end(), [&](const auto& r) { return r.name == preset->name(); });
            QVERIFY(row != table.end());
            QCOMPARE(preset->prompt(), row->prompt);
            QCOMPARE(preset->category(), row->category);
        }
        settleThumbnails(manager);
    }

    void builtInTableHasTheExactRows() {
        const auto table = SwiftDataPromptPresetsManager::builtInPromptPresetTable();
        QCOMPARE(table.size(), 13);
        const QStringList names = {"Camera Move Left",
                                   "Camera Move Right",
                                   "Push In",
                                   "Push Out",
                                   "Pan Left",
                                   "Pan Right",
                                   "Tilt Up",
                                   "Tilt Down",
                                   "Pedestal Up",
                                   "Pedestal Down",
                                   "Zoom In",
                                   "Tracking Shot",
                                   "Cars Driving Straight on the Road"};
        const QStringList prompts = {"[Truck left]",  "[Truck right]",   "[Push in]", "[Push out]",
                                     "[Pan left]",    "[Pan right]",     "[Tilt up]", "[Tilt down]",
                                     "[Pedestal up]", "[Pedestal down]", "[Zoom in]", "[Tracking shot]"};
        for (int i = 0; i < 13; ++i) {
            QCOMPARE(table[i].name, names[i]);
            QCOMPARE(table[i].category, i < 12 ? QString("Camera") : QString("User"));
            if (i < 12)
                QCOMPARE(table[i].prompt, prompts[i]);
        }
        const QString convoy = table[12].prompt;
        QVERIFY(convoy.startsWith("Heavy armored black tactical SUV with roof antenna and reinforced bumper leads "));
        QVERIFY(convoy.contains(" surface. [Push in] - camera moves forward tracking the convoy's rapid movement, "));
        QVERIFY(convoy.endsWith("vivid emotional atmosphere, cinematic HD photorealistic rendering."));
        QVERIFY(!convoy.contains('\n'));
        QCOMPARE(convoy.size(), 910);
    }

    void currentFlagOnlyLoads() {
        Defaults::standard().set(kCurrent, true);
        add("Mine", "my prompt", false);
        save();
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.initializeBuiltInPresetsIfNeeded();

        QVERIFY(manager.hasInitializedBuiltInPresets());
        QCOMPARE(storedRows(*store_, "PromptPreset"), 1);
        QCOMPARE(namesOf(manager.userPresets()), QStringList{"Mine"});
        QVERIFY(manager.builtInPresets().isEmpty());
        QCOMPARE(manager.pendingThumbnails(), 0);
    }

    void earlierFlagReplacesOldBuiltInsAndKeepsTheUsersOwn() {
        Defaults::standard().set(kEarlier, true);
        add("Панорама влево", "[Панорама влево]", true);
        add("Pan Left", "an old prompt", true);
        add("Mine", "my prompt", false);
        add("Mine", "my other prompt", false);
        save();
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.initializeBuiltInPresetsIfNeeded();

        QVERIFY(manager.hasInitializedBuiltInPresets());
        QVERIFY(Defaults::standard().boolValue(kCurrent));
        QCOMPARE(namesOf(manager.builtInPresets()), kSortedBuiltInNames);
        QVERIFY(!promptsOf(manager.builtInPresets()).contains("an old prompt"));
        QCOMPARE(promptsOf(manager.userPresets()), (QStringList{"my other prompt", "my prompt"}));
        QCOMPARE(storedRows(*store_, "PromptPreset"), 15);
        settleThumbnails(manager);
    }

    void earlierFlagWithAFailedSaveLeavesTheCurrentFlagUnset() {
        Defaults::standard().set(kEarlier, true);
        add("Pan Left", "an old prompt", true);
        add("Mine", "my prompt", false);
        save();
        failWrites(*store_, "PromptPreset");
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.initializeBuiltInPresetsIfNeeded();

        QVERIFY(env_->hasLineStartingWith("❌ Failed to save built-in presets: "));
        QVERIFY(!Defaults::standard().boolValue(kCurrent));
        QVERIFY(manager.hasInitializedBuiltInPresets());
        // Not tried again within the run.
        env_->clearLog();
        manager.initializeBuiltInPresetsIfNeeded();
        QVERIFY(env_->logLines().isEmpty());
        settleThumbnails(manager);

        // The user's preset is still stored.
        store_.reset();
        store_ = openStore(*env_);
        const auto stored = all();
        QCOMPARE(std::count_if(stored.begin(), stored.end(), [](const auto& p) { return p->name() == "Mine"; }), 1);
    }

    void builtInsWithoutFlagsLoseOnlyTheirDuplicates() {
        add("Pan Left", "oldest", true);
        add("Zoom In", "[Zoom in]", true);
        add("Pan Left", "middle", true);
        add("Pan Left", "newest", true);
        add("Mine", "one", false);
        add("Mine", "two", false);
        save();
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.loadPresets();
        manager.initializeBuiltInPresetsIfNeeded();

        QVERIFY(manager.hasInitializedBuiltInPresets());
        QVERIFY(!Defaults::standard().boolValue(kCurrent));
        QCOMPARE(env_->logLines().count("🗑️ Found duplicate preset: Pan Left"), 2);
        QVERIFY(env_->indexOfLine("✅ Removed 2 duplicate presets") >= 0);
        QCOMPARE(namesOf(manager.builtInPresets()), (QStringList{"Pan Left", "Zoom In"}));
        QCOMPARE(manager.builtInPresets().first()->prompt(), QString("oldest"));
        QCOMPARE(promptsOf(manager.userPresets()), (QStringList{"two", "one"}));
        QCOMPARE(storedRows(*store_, "PromptPreset"), 4);
        QCOMPARE(manager.pendingThumbnails(), 0);
    }

    void builtInsWithoutDuplicatesAreLeftAlone() {
        add("Pan Left", "[Pan left]", true);
        save();
        int saves = 0;
        connect(store_.get(), &ModelContext::didSave, this, [&] { ++saves; });
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.initializeBuiltInPresetsIfNeeded();
        QVERIFY(manager.hasInitializedBuiltInPresets());
        QCOMPARE(saves, 0);
        QVERIFY(env_->logLines().isEmpty());
        QVERIFY(!Defaults::standard().boolValue(kCurrent));
    }

    void freshStoreWithAFailedSaveCanBeSeededLater() {
        failWrites(*store_, "PromptPreset");
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.initializeBuiltInPresetsIfNeeded();

        QVERIFY(env_->hasLineStartingWith("❌ Failed to save built-in presets: "));
        QVERIFY(env_->logLines().filter("disk is full").size() >= 1);
        QVERIFY(!Defaults::standard().boolValue(kCurrent));
        QVERIFY(!manager.hasInitializedBuiltInPresets());
        QCOMPARE(storedRows(*store_, "PromptPreset"), 0);
        QVERIFY(env_->indexOfLine("✅ Built-in presets created and saved successfully") < 0);
        settleThumbnails(manager);
    }

    void unreadableStoreIsLoggedAtEveryStep() {
        SwiftDataPromptPresetsManager manager(store_.get());
        QSqlQuery query(store_->database());
        QVERIFY(query.exec("ALTER TABLE \"PromptPreset\" RENAME TO \"Gone\""));
        manager.initializeBuiltInPresetsIfNeeded();

        QVERIFY(env_->hasLineStartingWith("❌ Error checking existing presets: "));
        QVERIFY(env_->hasLineStartingWith("❌ Error removing old presets: "));
        QCOMPARE(env_->logLines().filter("❌ Error checking existing preset: ").size(), 13);
        QVERIFY(env_->hasLineStartingWith("❌ Failed to save built-in presets: "));
        QVERIFY(!Defaults::standard().boolValue(kCurrent));
        settleThumbnails(manager);
    }

    void failedLoadEmptiesBothLists() {
        add("Mine", "mine", false);
        add("Pan Left", "[Pan left]", true);
        save();
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.loadPresets();
        QCOMPARE(manager.userPresets().size(), 1);
        QSqlQuery query(store_->database());
        QVERIFY(query.exec("ALTER TABLE \"PromptPreset\" RENAME TO \"Gone\""));
        manager.loadPresets();
        QVERIFY(env_->hasLineStartingWith("❌ Error loading presets: "));
        QVERIFY(manager.userPresets().isEmpty());
        QVERIFY(manager.builtInPresets().isEmpty());
    }

    // --- sort orders ---

    void userPresetsAreNewestFirst() {
        add("B", "b", false);
        clock_->stepWallClock(-10);
        add("A", "a", false);
        clock_->advance(20);
        add("C", "c", false);
        save();
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.loadPresets();
        QCOMPARE(namesOf(manager.userPresets()), (QStringList{"C", "B", "A"}));
    }

    void seededBuiltInsAreStampedInTableOrder() {
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.createBuiltInPresets();
        auto seeded = manager.builtInPresets();
        std::sort(seeded.begin(), seeded.end(),
                  [](const auto& a, const auto& b) { return a->createdAt() < b->createdAt(); });
        QStringList tableNames;
        for (const auto& row : SwiftDataPromptPresetsManager::builtInPromptPresetTable())
            tableNames << row.name;
        QCOMPARE(namesOf(seeded), tableNames);
        settleThumbnails(manager);
    }

    void builtInPresetsSortAsAFileBrowserDoes() {
        for (const char* name : {"Shot 10", "shot 9", "Angle", "Shot 1", "angle B"})
            add(name, "x", true);
        save();
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.loadPresets();
        QCOMPARE(namesOf(manager.builtInPresets()), (QStringList{"Angle", "angle B", "Shot 1", "shot 9", "Shot 10"}));
    }

    // --- preview clips and thumbnails ---

    void previewClipLookupByEnglishOrRussianName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("clip");
        const QList<std::array<const char*, 3>> rows = {
            {"Camera Move Left", "Движение камеры влево", "left_movement"},
            {"Camera Move Right", "Движение камеры вправо", "right_movement"},
            {"Push In", "Приближение к объекту", "push_in"},
            {"Push Out", "Отдаление от объекта", "push_out"},
            {"Pan Left", "Панорама влево", "pan_left"},
            {"Pan Right", "Панорама вправо", "pan_right"},
            {"Tilt Up", "Наклон камеры вверх", "tilt_up"},
            {"Tilt Down", "Наклон камеры вниз", "tilt_down"},
            {"Pedestal Up", "Подъем камеры вверх", "pedestal_up"},
            {"Pedestal Down", "Опускание камеры вниз", "pedestal_down"},
            {"Zoom In", "Зум приближение", "zoom_in"},
            {"Tracking Shot", "Следящий кадр", "tracking_shot"},
            {"Cars Driving Straight on the Road", "Машины едут прямо по дороге", "push_in"},
        };
        for (const auto& row : rows) {
            QTest::newRow(row[0]) << QString(row[0]) << QString(row[2]);
            QTest::newRow(row[1]) << QString::fromUtf8(row[1]) << QString(row[2]);
        }
        QTest::newRow("other name") << "My Own Move"
                                    << "default_movement";
        QTest::newRow("case differs") << "pan left"
                                      << "default_movement";
        QTest::newRow("extra space") << "Pan Left "
                                     << "default_movement";
    }
    void previewClipLookupByEnglishOrRussianName() {
        QFETCH(QString, name);
        QFETCH(QString, clip);
        QCOMPARE(SwiftDataPromptPresetsManager::previewVideoName(name), clip);
    }

    void seededBuiltInsGetStoredThumbnailsFromTheirClips() {
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.initializeBuiltInPresetsIfNeeded();
        QCOMPARE(manager.pendingThumbnails(), 13);
        settleThumbnails(manager);
        store_.reset();
        store_ = openStore(*env_);
        const auto stored = all();
        QCOMPARE(stored.size(), 13);
        for (const auto& preset : stored) {
            QVERIFY2(preset->previewThumbnailData(), qPrintable(preset->name()));
            const QImage thumbnail = ImageCoding::decode(*preset->previewThumbnailData());
            QVERIFY(!thumbnail.isNull());
            QVERIFY(thumbnail.width() <= 300 && thumbnail.height() <= 169);
            QVERIFY(thumbnail.width() == 300 || thumbnail.height() == 169);
        }
    }

    void missingClipIsLoggedAndLeavesNoThumbnail() {
        QTemporaryDir emptyBundle;
        Resources::setRoot(emptyBundle.path());
        SwiftDataPromptPresetsManager manager(store_.get());
        auto preset = add("Pan Left", "[Pan left]", true);
        QCoro::waitFor(manager.generatePreviewThumbnail(preset, "Панорама влево"));
        QVERIFY(env_->indexOfLine("❌ Video file not found for preset: Панорама влево") >= 0);
        QVERIFY(!preset->previewThumbnailData());
    }

    void unreadableClipIsLoggedAndLeavesNoThumbnail() {
        QTemporaryDir bundle;
        QFile clip(bundle.filePath("pan_left.mp4"));
        QVERIFY(clip.open(QIODevice::WriteOnly));
        clip.write("not a video");
        clip.close();
        Resources::setRoot(bundle.path());
        SwiftDataPromptPresetsManager manager(store_.get());
        auto preset = add("Pan Left", "[Pan left]", true);
        QCoro::waitFor(manager.generatePreviewThumbnail(preset, "Pan Left"));
        QVERIFY(env_->hasLineStartingWith("❌ Error generating thumbnail: "));
        QVERIFY(!preset->previewThumbnailData());
    }

    void thumbnailOfARecordDeletedMeanwhileIsDropped() {
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.initializeBuiltInPresetsIfNeeded();
        // Before any thumbnail is ready: one record is deleted and saved, one deleted and not saved yet.
        const auto seeded = manager.builtInPresets();
        const auto savedDeletion = seeded[0];
        const auto pendingDeletion = seeded[1];
        store_->remove(savedDeletion);
        QVERIFY(store_->save());
        store_->remove(pendingDeletion);
        settleThumbnails(manager);

        QVERIFY(!savedDeletion->previewThumbnailData());
        QVERIFY(!pendingDeletion->previewThumbnailData());
        QVERIFY(!savedDeletion->hasChanges());
        QCOMPARE(storedRows(*store_, "PromptPreset"), 11);
        for (int i = 2; i < seeded.size(); ++i)
            QVERIFY(seeded[i]->previewThumbnailData());
    }

    void thumbnailsFinishingAfterTheManagerIsGoneAreDropped() {
        auto manager = std::make_unique<SwiftDataPromptPresetsManager>(store_.get());
        manager->initializeBuiltInPresetsIfNeeded();
        const auto seeded = manager->builtInPresets();
        // Only the thumbnail tasks start; they wait for their stills.
        QCoreApplication::sendPostedEvents(manager.get(), QEvent::MetaCall);
        MediaProbe::pool().waitForDone(); // the stills are ready; their results wait in the event queue
        QList<bool> hadThumbnail;
        for (const auto& preset : seeded)
            hadThumbnail << bool(preset->previewThumbnailData());
        QVERIFY(hadThumbnail.contains(false));
        // Each still being made is a task of the manager, and ends with it.
        QCOMPARE(TaskOwner::running(), manager->pendingThumbnails());
        manager.reset();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(TaskOwner::running(), 0);
        for (int i = 0; i < seeded.size(); ++i)
            QCOMPARE(bool(seeded[i]->previewThumbnailData()), hadThumbnail[i]);
    }

    void aManagerOutlivingItsStoreDoesNothing() {
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.initializeBuiltInPresetsIfNeeded();
        settleThumbnails(manager);
        const QStringList before = namesOf(manager.builtInPresets());
        store_.reset(); // the quit order: the store goes first
        QVERIFY(!manager.modelContext());
        manager.loadPresets();
        manager.removeDuplicatePresets();
        QVERIFY(!manager.createBuiltInPresets());
        QCOMPARE(namesOf(manager.builtInPresets()), before);
        store_ = openStore(*env_);
    }

    void thumbnailsFinishingAfterTheStoreIsGoneAreDropped() {
        SwiftDataPromptPresetsManager manager(store_.get());
        manager.initializeBuiltInPresetsIfNeeded();
        const auto seeded = manager.builtInPresets();
        QCoreApplication::sendPostedEvents(&manager, QEvent::MetaCall);
        MediaProbe::pool().waitForDone();
        store_.reset();
        settleThumbnails(manager);
        for (const auto& preset : seeded)
            QVERIFY(!preset->modelContext());
        store_ = openStore(*env_);
    }
};

QTEST_GUILESS_MAIN(PromptPresetsManagerTest)
#include "tst_prompt_presets_manager.moc"
