// Opening the prompt presets sheet on "My Presets" with 1,000 user presets that carry pictures, to its first
// painted frame, against fetching those same records from the store, in the same run. Reports the time ratio,
// the peak memory above an empty sheet, and how many pictures were decoded by the first frame compared with
// the cards on screen.

#include "../BenchSupport.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "PresetPictureCache.h"
#include "PromptPreset.h"
#include "PromptPresetsBrowser.h"
#include "PromptPresetsView.h"
#include "StoredPicture.h"
#include "SwiftDataPromptPresetsManager.h"
#include "UserPresetListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using BenchSupport::median;
using BenchSupport::PeakMeter;

namespace {

constexpr int presetCount = 1000;
constexpr int rounds = 5;

// A picture as a user would keep with a preset: 800 x 600, gradients and noise, JPEG as the store keeps it.
QByteArray samplePicture(int index) {
    QRandomGenerator random(quint32(7 + index));
    QImage image(800, 600, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 600);
    sky.setColorAt(0, QColor::fromHsv(int(random.bounded(360)), 120, 230));
    sky.setColorAt(1, QColor::fromHsv(int(random.bounded(360)), 200, 90));
    painter.fillRect(image.rect(), sky);
    for (int i = 0; i < 120; ++i) {
        painter.setBrush(QColor::fromHsv(int(random.bounded(360)), 180, 200, 160));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(random.bounded(800), random.bounded(600)), random.bounded(60) + 5,
                            random.bounded(60) + 5);
    }
    painter.end();
    return StoredPicture::encode(image).value_or(QByteArray());
}

void fillStore(const QString& path) {
    auto store = ModelSchema::openStore(path);
    QList<QByteArray> pictures;
    for (int i = 0; i < 20; ++i)
        pictures << samplePicture(i);
    for (int i = 0; i < presetCount; ++i) {
        auto preset =
            PromptPreset::make(QString("Preset %1").arg(i), QString("A prompt for preset %1").arg(i), "User", false);
        preset->setUserImageData(pictures[i % pictures.size()]);
        store->insert(preset);
    }
    store->save();
}

double fetchOnce(const QString& path, int* count) {
    QElapsedTimer timer;
    timer.start();
    auto store = ModelSchema::openStore(path);
    SwiftDataPromptPresetsManager manager(store.get());
    manager.loadPresets();
    const double ms = timer.nsecsElapsed() / 1e6;
    *count = int(manager.userPresets().size());
    return ms;
}

// Paint events of the list's viewport, so the first painted frame can be timed.
class PaintWatch final : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

struct SheetRun {
    double ms = 0;
    int decoded = 0;
    int visibleCards = 0;
    int decodedOffScreen = 0;
    int rows = 0;
};

SheetRun openSheet(const QString& path) {
    SheetRun run;
    QElapsedTimer timer;
    timer.start();
    auto store = ModelSchema::openStore(path);
    SwiftDataPromptPresetsManager manager(store.get());
    manager.loadPresets();
    {
        PromptPresetsView view(manager, "", false);
        view.browser()->selectTab(PromptPresetsBrowser::PresetsTab::myPresets);
        view.resize(420, 800);
        PaintWatch watch;
        view.userList()->viewport()->installEventFilter(&watch);
        view.show();
        while (!watch.painted)
            QApplication::processEvents();
        run.ms = timer.nsecsElapsed() / 1e6;

        UserPresetListView* list = view.userList();
        run.rows = list->model()->rowCount();
        run.decoded = list->pictures()->decodesStarted();
        for (int row = 0; row < run.rows; ++row) {
            if (list->visualRect(list->model()->index(row, 0)).intersects(list->viewport()->rect()))
                ++run.visibleCards;
        }
        run.decodedOffScreen = std::max(0, run.decoded - run.visibleCards);
        view.hide();
        QThreadPool::globalInstance()->waitForDone();
        QApplication::processEvents();
    }
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString full = dir.filePath("full.sqlite");
    const QString empty = dir.filePath("empty.sqlite");
    fillStore(full);
    ModelSchema::openStore(empty);

    // Memory: an empty sheet on screen is the baseline; the full sheet's peak is measured above it.
    PeakMeter meter;
    double extraMB = 0;
    SheetRun first;
    {
        auto emptyStore = ModelSchema::openStore(empty);
        SwiftDataPromptPresetsManager emptyManager(emptyStore.get());
        emptyManager.loadPresets();
        PromptPresetsView emptyView(emptyManager, "", false);
        emptyView.browser()->selectTab(PromptPresetsBrowser::PresetsTab::myPresets);
        emptyView.resize(420, 800);
        emptyView.show();
        QApplication::processEvents();
        meter.start();
        first = openSheet(full);
        extraMB = meter.extraMB();
    }

    QList<double> fetches, sheets, ratios;
    int fetched = 0;
    for (int round = 0; round < rounds; ++round) {
        // The reference is fetched before and after each sheet; the faster of the two counts.
        const double before = fetchOnce(full, &fetched);
        const SheetRun s = openSheet(full);
        const double after = fetchOnce(full, &fetched);
        const double f = std::min(before, after);
        std::printf("  round %d: fetch %.1f / %.1f ms, sheet %.1f ms\n", round + 1, before, after, s.ms);
        fetches << f;
        sheets << s.ms;
        ratios << s.ms / f;
    }
    std::printf("prompt presets sheet, %d user presets with pictures (%d fetched), %d rounds\n", presetCount, fetched,
                rounds);
    std::printf("  fetch from the store (reference): median %.1f ms\n", median(fetches));
    std::printf("  sheet to its first painted frame: median %.1f ms\n", median(sheets));
    std::printf("  pictures decoded by the first frame: %d, cards on screen: %d (of %d rows)\n", first.decoded,
                first.visibleCards, first.rows);
    BenchSupport::Verdict verdict("preset_views");
    verdict.atMostTimesPaired("sheet to its first painted frame against the fetch", median(sheets), median(fetches),
                              median(ratios), 3.0);
    verdict.atMost("peak memory above the empty sheet", extraMB, 200, "MB");
    verdict.atMost("pictures decoded off screen by the first frame", first.decodedOffScreen, 0, "pictures");
    return verdict.exitCode();
}
