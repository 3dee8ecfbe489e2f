#include "BuiltInImagePreset.h"
#include "CameraMovementPreset.h"
#include "CinematicPreset.h"
#include "MediaProbe.h"
#include "PresetTestSupport.h"
#include "Resources.h"
#include "SwiftDataImagePresetsManager.h"
#include "TaskOwner.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace PresetTestSupport;

namespace {
template <class Preset> QList<QStringList> rowsOf(const QList<Preset*>& presets) {
    QList<QStringList> rows;
    for (const Preset* preset : presets)
        rows << QStringList{preset->title(), preset->insertText(), preset->previewVideoName()};
    return rows;
}

template <class Preset> void verifyThumbnailsArrive(const QList<Preset*>& presets) {
    for (const Preset* preset : presets) {
        QTRY_VERIFY_WITH_TIMEOUT(!preset->thumbnail().isNull(), 20000);
        // The clips are 16:9; the still fits 300 x 169.
        QCOMPARE(preset->thumbnail().width(), 300);
        QVERIFY(std::abs(preset->thumbnail().height() - 169) <= 1);
    }
}
} // namespace

class PresetTablesTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestEnvironment> env_;

private slots:
    void init() {
        env_ = std::make_unique<TestEnvironment>();
        Resources::setRoot(bundleRoot());
    }
    void cleanup() {
        drainMediaWork();
        env_.reset();
    }

    void cameraMovementTable() {
        const auto& presets = CameraMovementPreset::allPresets();
        const QList<QStringList> expected = {
            {"Camera Move Left", "[Truck left]", "left_movement"},
            {"Camera Move Right", "[Truck right]", "right_movement"},
            {"Push In", "[Push in]", "push_in"},
            {"Push Out", "[Push out]", "push_out"},
            {"Pan Left", "[Pan left]", "pan_left"},
            {"Pan Right", "[Pan right]", "pan_right"},
            {"Tilt Up", "[Tilt up]", "tilt_up"},
            {"Tilt Down", "[Tilt down]", "tilt_down"},
            {"Pedestal Up", "[Pedestal up]", "pedestal_up"},
            {"Pedestal Down", "[Pedestal down]", "pedestal_down"},
            {"Zoom In", "[Zoom in]", "zoom_in"},
            {"Tracking Shot", "[Tracking shot]", "tracking_shot"},
        };
        QCOMPARE(rowsOf(presets), expected);
        for (const auto* preset : presets) {
            QVERIFY(preset->thumbnail().isNull()); // made later, not while the table is built
            QVERIFY(!preset->isHovered());
        }
        QCOMPARE(CameraMovementPreset::allPresets(), presets);
        QCOMPARE(CameraMovementPreset::allPresets()[3]->id(), presets[3]->id());
        verifyThumbnailsArrive(presets);
        QVERIFY(env_->logLines().isEmpty());
    }

    void cinematicTable() {
        const auto& presets = CinematicPreset::allPresets();
        const QList<QStringList> expected = {
            {"Debut", "[Truck left, Push in, Pan right]", "debut_preview"},
            {"Freedom", "[Push out, Pedestal up, Tilt down]", "freedom_preview"},
            {"Left Circling", "[Truck left, Pan right, Tracking shot]", "left_circling_preview"},
            {"Right Circling", "[Truck right, Pan left, Tracking shot]", "right_circling_preview"},
            {"Upward Tilt", "[Push in, Pedestal up]", "upward_tilt_preview"},
            {"Left Walking", "[Truck left, Tracking shot]", "left_walking_preview"},
            {"Right Walking", "[Truck right, Tracking shot]", "right_walking_preview"},
            {"Downward Tilt", "[Pedestal down, Tilt up]", "downward_tilt_preview"},
            {"Stage Left", "[Pan left, Zoom in]", "stage_left_preview"},
            {"Stage Right", "[Pan right, Zoom in]", "stage_right_preview"},
            {"Scenic Shot", "[Truck left, Pedestal up]", "scenic_shot_preview"},
        };
        QCOMPARE(rowsOf(presets), expected);
        // Two or three movements of the single-movement vocabulary.
        const QString name = "(Truck left|Truck right|Push in|Push out|Pan left|Pan right|Tilt up|Tilt down|"
                             "Pedestal up|Pedestal down|Zoom in|Tracking shot)";
        const QRegularExpression format("^\\[" + name + "(, " + name + "){1,2}\\]$");
        for (const auto* preset : presets) {
            QVERIFY2(format.match(preset->insertText()).hasMatch(), qPrintable(preset->insertText()));
            QVERIFY(preset->thumbnail().isNull());
        }
        QCOMPARE(CinematicPreset::allPresets(), presets);
        verifyThumbnailsArrive(presets);
        QVERIFY(env_->logLines().isEmpty());
    }

    void builtInImageTable() {
        const auto& presets = BuiltInImagePreset::builtInPresets();
        QList<QStringList> rows;
        for (const auto* preset : presets) {
            rows << QStringList{preset->title(), preset->prompt(), preset->imageName()};
            QVERIFY2(!preset->thumbnail().isNull(), qPrintable(preset->imageName())); // read while building
        }
        const QList<QStringList> expected = {
            {"Dutch Angle", "Dutch Angle", "preset_dutch"},
            {"Canted Angle", "Canted Angle", "preset_canted"},
            {"Point of View", "POV (point of view)", "preset_pov"},
            {"View from the eyes", "POV (View from the eyes)", "preset_view_from_eyes"},
            {"Low Angle Shot", "Low Angle Shot", "preset_low_angle"},
            {"Worm's Eye View", "Worm's Eye View", "preset_worms_eye"},
            {"Bird's Eye View", "Bird's Eye View", "preset_birds_eye"},
            {"Straight-On Perspective", "Straight perspective", "preset_straight"},
            {"Rear Perspective", "Rear shot", "preset_rear"},
            {"Head-On Shot", "Head-on shot", "preset_head_on"},
            {"Through-Object Perspective", "Through object perspective", "preset_through_object"},
        };
        QCOMPARE(rows, expected);
        QCOMPARE(BuiltInImagePreset::builtInPresets(), presets);
        QVERIFY(env_->logLines().isEmpty());
    }

    void bundleHoldsEveryPresetMediumUnderItsName() {
        QStringList clips{"default_movement"};
        for (const auto* preset : CameraMovementPreset::allPresets())
            clips << preset->previewVideoName();
        for (const auto* preset : CinematicPreset::allPresets())
            clips << preset->previewVideoName();
        QCOMPARE(clips.size(), 24);
        for (const QString& clip : clips) {
            const auto path = Resources::path(clip, "mp4");
            QVERIFY2(path, qPrintable(clip));
            QCOMPARE(QFileInfo(*path).dir().absolutePath(), QDir(bundleRoot()).absolutePath()); // top level
            QVERIFY(QFileInfo(*path).size() < 300 * 1024);
            const auto info = MediaProbe::probe(*path);
            QVERIFY2(info.ok(), qPrintable(info.error));
            QVERIFY(info.duration && *info.duration >= 2 && *info.duration <= 6);
        }
        for (const auto& row : SwiftDataImagePresetsManager::defaultImagePresetTable()) {
            const QString path = bundleRoot() + "/DefaultImagePresets/" + row.imageName + ".jpg";
            QVERIFY2(!QImage(path).isNull(), qPrintable(path));
        }
    }

    void presetWithoutAClipKeepsNoThumbnailSilently() {
        CameraMovementPreset preset("Orbit", "[Orbit]", "no_such_clip");
        QCoro::waitFor(preset.loadThumbnail());
        QVERIFY(preset.thumbnail().isNull());
        QVERIFY(!preset.previewClipPath());
        QVERIFY(env_->logLines().isEmpty());
    }

    // The still is made on the pool; a preset gone before it comes back (its table rebuilt) is left alone.
    void aPresetGoneBeforeItsStillArrivesIsLeftAlone() {
        const int before = TaskOwner::running();
        auto* preset = new CameraMovementPreset("Push In", "[Push in]", "push_in");
        QCoreApplication::sendPostedEvents(preset, QEvent::MetaCall); // the queued start of its thumbnail
        QCOMPARE(TaskOwner::running(), before + 1);
        delete preset;
        MediaProbe::pool().waitForDone();
        QTRY_COMPARE(TaskOwner::running(), before);
        QVERIFY(env_->logLines().isEmpty());
    }

    void clipShorterThanTheStillTimeKeepsNoThumbnail() {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command-line tool is needed to make the short clip");
        QTemporaryDir bundle;
        QVERIFY(makeClip(bundle.filePath("short.mp4"), 160, 90, 0.3));
        QFile broken(bundle.filePath("broken.mp4"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("no video here");
        broken.close();
        Resources::setRoot(bundle.path());
        CinematicPreset shortClip("Short", "[Zoom in]", "short");
        CinematicPreset brokenClip("Broken", "[Zoom in]", "broken");
        QCoro::waitFor(shortClip.loadThumbnail());
        QCoro::waitFor(brokenClip.loadThumbnail());
        QVERIFY(shortClip.thumbnail().isNull());
        QVERIFY(brokenClip.thumbnail().isNull());
        QVERIFY(env_->logLines().isEmpty());
    }

    void builtInPictureIsReadAsJpegThenPng() {
        QTemporaryDir bundle;
        QDir root(bundle.path());
        Resources::setRoot(bundle.path());
        auto colourOf = [](const BuiltInImagePreset& preset) { return preset.thumbnail().pixelColor(5, 5); };

        writePicture(root.filePath("only_png.png"), Qt::red, "PNG");
        QCOMPARE(colourOf(BuiltInImagePreset("A", "a", "only_png")), QColor(Qt::red));

        writePicture(root.filePath("both.png"), Qt::red, "PNG");
        writePicture(root.filePath("both.jpg"), Qt::black, "JPEG");
        QCOMPARE(colourOf(BuiltInImagePreset("B", "b", "both")), QColor(Qt::black));

        QFile notAPicture(root.filePath("bad_jpg.jpg"));
        QVERIFY(notAPicture.open(QIODevice::WriteOnly));
        notAPicture.write("plain text");
        notAPicture.close();
        writePicture(root.filePath("bad_jpg.png"), Qt::blue, "PNG");
        QCOMPARE(colourOf(BuiltInImagePreset("C", "c", "bad_jpg")), QColor(Qt::blue));
        QVERIFY(env_->logLines().isEmpty());

        BuiltInImagePreset missing("Point of View", "POV (point of view)", "preset_pov");
        QVERIFY(missing.thumbnail().isNull());
        QCOMPARE(env_->logLines(), QStringList{"⚠️ Image 'preset_pov' not found in Bundle"});
    }
};

QTEST_GUILESS_MAIN(PresetTablesTest)
#include "tst_preset_tables.moc"
