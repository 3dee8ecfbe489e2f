// The gallery pane's texts and sizes, control by control, at scale 1.0 and 1.6 on the real widgets: the header,
// the grid-mode menu, the clip cards of each column count, the job cards and the empty state. A changed text, a
// size that does not follow the scale or a missing control fails here by name. Then the narrowest pane: nothing
// cut, nothing overlapping.

#include "APIManager.h"
#include "FakeMiniMaxService.h"
#include "FolderBookmark.h"
#include "GalleryClip.h"
#include "GalleryTestSupport.h"
#include "GuiTestSupport.h"
#include "LayoutCheck.h"
#include "QueueManager.h"
#include "Spinner.h"
#include "Theme.h"
#include "VideoGalleryGrid.h"
#include "VideoGalleryLogicView.h"
#include "VideoGalleryViewModel.h"
#include "VideoItemLogicView.h"
#include "VideoSettings.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <cmath>

using namespace GalleryTestSupport;

namespace {

// What the gallery's texts and sizes are, before the scale.
constexpr double kHeaderPadding = 24;
constexpr double kTitleSize = 15;     // header title, × scale, semibold
constexpr double kModeLabelSize = 12; // grid-mode menu label, × scale
constexpr double kGridPadding = 16;   // × scale
constexpr double kGridSpacing = 16;   // between columns and rows, fixed
constexpr double kSoloMediaHeight = 500;
constexpr double kMediaToTitle = 8; // × scale
constexpr double kTitleToRow = 6;   // × scale
constexpr double kInfoPadding = 4;  // × scale
constexpr double kSoloColumnMinimum = 400;
constexpr double kPaneMinimum = 400;

const QString kTitle = QStringLiteral("Qel Ruriro Result");

// The card's metrics by column count.
struct CardRule {
    int columns;
    QString modeName;
    double title, detail, buttonSpacing, contentSpacing, paddingAcross, paddingDown;
    QStringList badges; // for a record of 768P, "2.3 Fast", prompt optimisation on, fast pretreatment off
};
const QList<CardRule> kCardRules = {
    {1, QStringLiteral("Solo"), 14, 12, 12, 4, 14, 7, {"768P", "2.3 Fast", "AI"}},
    {2, QStringLiteral("Comfort"), 13, 11, 8, 3, 12, 6, {"768P", "2.3 Fast", "AI"}},
    {3, QStringLiteral("Compact"), 12, 10, 4, 2, 8, 6, {"768P", "2.3 f", "sparkles"}},
};

// The three buttons of a clip card: label (shown with one column only) and tooltip.
struct ButtonRule {
    const char* control;
    QString label;
    QString toolTip;
};
const QList<ButtonRule> kButtons = {
    {"recreateButton", QStringLiteral("Recreate"), QStringLiteral("Recreate video with same settings")},
    {"revealButton", QStringLiteral("Finder"), QStringLiteral("Show in Finder")},
    {"trashButton", QStringLiteral("Delete"), QStringLiteral("Delete video file")},
};

struct EmptyRule {
    bool keySet;
    QString title;
    QString subtitle;
    ColorRole titleColor;
};
const QList<EmptyRule> kEmptyStates = {
    {true, QStringLiteral("Ready for parallel motion generation"),
     QStringLiteral("Up to 4 videos can be generated simultaneously"), ColorRole::primary},
    {false, QStringLiteral("MiniMax API key not set"),
     QStringLiteral("Please go to API settings to configure your key"), ColorRole::red},
};

int px(double size) {
    return int(std::lround(size));
}

using gui::near;

#define CHECK_NEAR(what, actual, expected, ...)                                                                        \
    do {                                                                                                               \
        const QString problem = near(what, actual, expected __VA_OPT__(, ) __VA_ARGS__);                               \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                                              \
    } while (false)

// Columns of a row of the menu that differ from its background, in runs (a gap of a few pixels ends a run).
QList<QPair<int, int>> inkRuns(const QImage& image, const QRect& row) {
    // The row's background: its most common colour.
    QHash<QRgb, int> counts;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        for (int x = row.left(); x <= row.right(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb common = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(common))
            common = it.key();
    }
    const QColor background = QColor::fromRgb(common);
    QList<QPair<int, int>> runs;
    int lastInk = -100;
    for (int x = row.left() + 2; x <= row.right() - 2; ++x) {
        bool ink = false;
        for (int y = row.top() + 2; y <= row.bottom() - 2 && !ink; ++y) {
            const QColor c = image.pixelColor(x, y);
            ink = std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) +
                      std::abs(c.blue() - background.blue()) >
                  120;
        }
        if (!ink)
            continue;
        if (x - lastInk > 4)
            runs.append({x, x});
        else
            runs.last().second = x;
        lastInk = x;
    }
    return runs;
}

} // namespace

class GalleryTableTest : public QObject {
    Q_OBJECT

    std::unique_ptr<World> world;
    std::unique_ptr<VideoSettings> settings;
    std::unique_ptr<QueueManager> queue;
    std::unique_ptr<VideoGalleryViewModel> gallery;
    std::unique_ptr<VideoGalleryLogicView> view;
    QString folder;

    void openView(QSize pane, double scale, bool withFolder = true) {
        if (withFolder)
            settings->setVideoDirectoryBookmark(FolderBookmark::create(folder));
        AppEnvironment env;
        env.videoSettings = settings.get();
        env.queueManager = queue.get();
        env.galleryViewModel = gallery.get();
        env.modelContext = world->store.get();
        view = std::make_unique<VideoGalleryLogicView>(env);
        view->setScale(scale);
        view->resize(pane);
        QVERIFY(gui::showActive(view.get()));
        QCoreApplication::processEvents();
    }
    void addClips(int count) {
        for (int i = 0; i < count; ++i) {
            QVERIFY(writeFile(folder + QStringLiteral("/Orvane_plain%1.mp4").arg(i), clipBytes()));
            QTest::qWait(5); // distinct creation times
        }
        addRecord(*world->store, "Orvane_fox.mp4", "a fox", world->clock.now());
        QVERIFY(writeFile(folder + "/Orvane_fox.mp4", clipBytes())); // the newest: first
    }
    // One job turned away by the service (a failed card), one that runs on and on, one that waits.
    void startJobs(FakeMiniMaxService& service) {
        service.clip = clipBytes();
        // The first key is refused (and left alone after), the second one runs a job on and on.
        service.acceptedKeys = {"key-1", "key-2"};
        service.generationReplies = {FakeMiniMaxService::Reply::refusal(1004, "missing authorization")};
        service.scripts = {FakeMiniMaxService::TaskScript::processingForever()};
        service.install();
        APIManager::shared().setMiniMaxAPIKey("key-1");
        APIManager::shared().setMiniMaxAPIKey2("key-2");
        queue = std::make_unique<QueueManager>();
        const auto add = [this](const QString& prompt) {
            queue->addVideoTask(prompt, std::nullopt, std::nullopt, VideoQuality::p768, VideoDuration::seconds6);
        };
        add("a fox in the snow");
        QVERIFY(world->clock.runUntil([&] { return queue->completedTasks().size() == 1; }, 1e6, 20000));
        add("a hare in the grass");
        QVERIFY(world->clock.runUntil([&] { return queue->activeVideoTasks().size() == 1; }, 1e6, 20000));
        add("an owl at night");
        QCOMPARE(queue->videoQueue().size(), 1);
    }
    VideoItemLogicView* cardTitled(const QString& title) {
        for (VideoItemLogicView* card : view->grid()->cards()) {
            if (card->title() == title)
                return card;
        }
        return nullptr;
    }

private slots:
    void initTestCase() { QVERIFY(!clipBytes().isEmpty()); }
    void init() {
        world = std::make_unique<World>();
        folder = world->folder("Videos");
        settings = std::make_unique<VideoSettings>();
        queue = std::make_unique<QueueManager>();
        gallery = std::make_unique<VideoGalleryViewModel>();
        APIManager::shared().setMiniMaxAPIKey("key-1");
    }
    void cleanup() {
        view.reset();
        gallery.reset();
        queue.reset();
        settings.reset();
        world.reset();
        APIManager::shared().setMiniMaxAPIKey2("");
        Theme::instance().setColorScheme(std::nullopt);
    }

    void theHeader_data() {
        QTest::addColumn<double>("scale");
        QTest::newRow("1.0") << 1.0;
        QTest::newRow("1.6") << 1.6;
    }
    void theHeader() {
        QFETCH(double, scale);
        gallery->setColumns(2);
        openView(QSize(900, 700), scale, false);
        GUI_REQUIRE(header, QWidget, view.get(), "galleryHeader");
        GUI_REQUIRE(icon, QLabel, header, "galleryHeaderIcon");
        GUI_REQUIRE(title, QLabel, header, "galleryTitle");
        GUI_REQUIRE(menu, QToolButton, header, "gridModeMenu");
        QCOMPARE(title->text(), kTitle);
        QCOMPARE(title->font().pixelSize(), px(kTitleSize * scale));
        QCOMPARE(title->font().weight(), QFont::DemiBold);
        QCOMPARE(title->palette().color(title->foregroundRole()), Theme::instance().color(ColorRole::primary));
        QVERIFY(!icon->pixmap().isNull());
        QCOMPARE(menu->text(), "Comfort");
        QCOMPARE(menu->font().pixelSize(), px(kModeLabelSize * scale));
        QCOMPARE(menu->iconSize(), QSize(int(kModeLabelSize * scale), int(kModeLabelSize * scale)));
        // Padded by 24 on all sides, the menu at the trailing end.
        const QRect iconAt = gui::rectIn(icon, header);
        const QRect menuAt = gui::rectIn(menu, header);
        CHECK_NEAR("icon from the leading edge", iconAt.left(), kHeaderPadding, 0);
        CHECK_NEAR("menu from the trailing edge", header->width() - menuAt.right() - 1, kHeaderPadding, 0);
        const int top = std::min({iconAt.top(), menuAt.top(), gui::rectIn(title, header).top()});
        const int bottom = std::max({iconAt.bottom(), menuAt.bottom(), gui::rectIn(title, header).bottom()});
        CHECK_NEAR("header padding above", top, kHeaderPadding, 0);
        CHECK_NEAR("header padding below", header->height() - bottom - 1, kHeaderPadding, 0);
        QVERIFY(iconAt.right() < gui::rectIn(title, header).left());
        CHECK_NEAR("header at the top", gui::rectIn(header, view.get()).top(), 0, 0);
        QVERIFY2(gui::layoutFaults(view.get()).isEmpty(), qPrintable(gui::layoutFaults(view.get()).join('\n')));
    }

    // The label and the check follow the column count alone; each row is its text, the chosen one followed by a
    // checkmark, and no row has a check box.
    void theGridModeMenu_data() {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("checkedRow");
        QTest::newRow("Solo") << 1 << "Solo" << 0;
        QTest::newRow("Comfort") << 2 << "Comfort" << 1;
        QTest::newRow("Compact") << 3 << "Compact" << 2;
        QTest::newRow("four columns") << 4 << "Comfort" << -1;
    }
    void theGridModeMenu() {
        QFETCH(int, columns);
        QFETCH(QString, label);
        QFETCH(int, checkedRow);
        gallery->setColumns(columns);
        openView(QSize(900, 700), 1.0, false);
        GUI_REQUIRE(button, QToolButton, view.get(), "gridModeMenu");
        QCOMPARE(button->text(), label);
        QMenu* menu = button->menu();
        QVERIFY(menu);
        const QList<QAction*> rows = menu->actions();
        QStringList texts;
        for (const QAction* row : rows)
            texts << row->text();
        QCOMPARE(texts, (QStringList{"Solo", "Comfort", "Compact"}));
        for (int i = 0; i < rows.size(); ++i)
            QVERIFY2(rows[i]->isChecked() == (i == checkedRow), qPrintable(texts[i]));

        menu->popup(button->mapToGlobal(QPoint(0, button->height())));
        QTRY_VERIFY(menu->isVisible());
        menu->setActiveAction(nullptr);
        const QImage shown = menu->grab().toImage();
        menu->hide();
        const QFontMetrics metrics(menu->font());
        for (int i = 0; i < rows.size(); ++i) {
            const QRect row = QRectF(QRectF(menu->actionGeometry(rows[i])).topLeft() * shown.devicePixelRatio(),
                                     QSizeF(menu->actionGeometry(rows[i]).size()) * shown.devicePixelRatio())
                                  .toRect();
            const auto runs = inkRuns(shown, row);
            QVERIFY2(!runs.isEmpty(), qPrintable(texts[i] + ": nothing drawn"));
            // The first thing drawn is the text itself: as wide as the text, not a box before it.
            const double textWidth = metrics.horizontalAdvance(texts[i]) * shown.devicePixelRatio();
            const int first = runs[0].second - runs[0].first + 1;
            QVERIFY2(
                std::abs(first - textWidth) <= 4 * shown.devicePixelRatio(),
                qPrintable(
                    QStringLiteral("%1: first mark %2 wide, the text is %3").arg(texts[i]).arg(first).arg(textWidth)));
            if (i == checkedRow) {
                QVERIFY2(runs.size() == 2, qPrintable(texts[i] + ": no checkmark after the text"));
                QVERIFY2(runs[1].first - runs[0].second <= 12 * shown.devicePixelRatio(),
                         qPrintable(texts[i] + ": the checkmark is not right after the text"));
            } else {
                QVERIFY2(runs.size() == 1, qPrintable(texts[i] + ": more than its text"));
            }
        }
    }

    // Right under the header, a frame the full width and at least 500 high: at least 120 above the icon and 200
    // below the subtitle, however tall the pane.
    void theEmptyState_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("rule");
        QTest::addColumn<QSize>("pane");
        for (const double scale : {1.0, 1.6}) {
            for (int rule = 0; rule < kEmptyStates.size(); ++rule) {
                for (const QSize pane : {QSize(1000, 1300), QSize(600, 700)}) {
                    QTest::addRow("%s, scale %.1f, %dx%d", kEmptyStates[rule].keySet ? "key" : "no key", scale,
                                  pane.width(), pane.height())
                        << scale << rule << pane;
                }
            }
        }
    }
    void theEmptyState() {
        QFETCH(double, scale);
        QFETCH(int, rule);
        QFETCH(QSize, pane);
        const EmptyRule& expected = kEmptyStates[rule];
        APIManager::shared().setMiniMaxAPIKey(expected.keySet ? "key-1" : "  ");
        openView(pane, scale);
        QVERIFY(view->isShowingEmptyState());
        GUI_REQUIRE(header, QWidget, view.get(), "galleryHeader");
        GUI_REQUIRE(frame, QWidget, view.get(), "galleryEmptyState");
        GUI_REQUIRE(icon, QWidget, frame, "emptyStateIcon");
        GUI_REQUIRE(title, QLabel, frame, "emptyStateTitle");
        GUI_REQUIRE(subtitle, QLabel, frame, "emptyStateSubtitle");
        QCOMPARE(title->text(), expected.title);
        QCOMPARE(subtitle->text(), expected.subtitle);
        QCOMPARE(title->font().pixelSize(), px(15 * scale));
        QCOMPARE(title->font().weight(), QFont::DemiBold);
        QCOMPARE(subtitle->font().pixelSize(), px(13 * scale));
        QCOMPARE(title->palette().color(title->foregroundRole()), Theme::instance().color(expected.titleColor));
        QCOMPARE(subtitle->palette().color(subtitle->foregroundRole()), Theme::instance().color(ColorRole::secondary));
        QCOMPARE(icon->size(), QSize(int(100 * scale), int(100 * scale)));

        const QRect frameAt = gui::rectIn(frame, view.get());
        const QRect iconAt = gui::rectIn(icon, view.get());
        const QRect subtitleAt = gui::rectIn(subtitle, view.get());
        CHECK_NEAR("frame under the header", frameAt.top(), gui::rectIn(header, view.get()).bottom() + 1, 0);
        CHECK_NEAR("frame width", frameAt.width(), view->width(), 16);
        const int content = subtitleAt.bottom() + 1 - iconAt.top();
        const int least = 120 + content + 200;
        const int above = iconAt.top() - frameAt.top();
        const int below = frameAt.bottom() - subtitleAt.bottom();
        CHECK_NEAR("frame height", frameAt.height(), std::max(500, least), 1);
        QVERIFY2(above >= 120 && below >= 200, qPrintable(QStringLiteral("%1 above, %2 below").arg(above).arg(below)));
        QVERIFY2(above <= 120 + std::max(0, 500 - least),
                 qPrintable(QStringLiteral("the icon is %1 below the header").arg(above)));
        QVERIFY(title->geometry().top() - icon->geometry().bottom() - 1 >= 16);
        QVERIFY2(gui::layoutFaults(view.get()).isEmpty(), qPrintable(gui::layoutFaults(view.get()).join('\n')));
    }

    void clipCards_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<double>("scale");
        for (int rule = 0; rule < kCardRules.size(); ++rule) {
            for (const double scale : {1.0, 1.6})
                QTest::addRow("%s, scale %.1f", qPrintable(kCardRules[rule].modeName), scale) << rule << scale;
        }
    }
    void clipCards() {
        QFETCH(int, rule);
        QFETCH(double, scale);
        const CardRule& expected = kCardRules[rule];
        addClips(3);
        gallery->setColumns(expected.columns);
        // Wide enough for one column's picture to reach its height limit.
        openView(QSize(int(1300 * scale), 900), scale);
        VideoGalleryGrid* grid = view->grid();
        // The newest clip first, once the list and its records are shown.
        QTRY_VERIFY(!grid->cards().isEmpty() && grid->cards().first()->title() == "a fox");
        const QList<VideoItemLogicView*> cards = grid->cards();
        QVERIFY(cards.size() > expected.columns);
        VideoItemLogicView* fox = cards.first();
        QCOMPARE(fox->title(), "a fox");
        QCOMPARE(fox->badgeTexts(), expected.badges);
        VideoItemLogicView* plain = cards.at(1);
        QCOMPARE(plain->title(), "Orvane_plain2");
        QVERIFY(plain->badgeTexts().isEmpty());

        // The grid: padded by 16 × scale, columns and rows 16 apart.
        CHECK_NEAR("grid padding, leading", fox->x(), kGridPadding * scale);
        CHECK_NEAR("grid padding, top", fox->y(), kGridPadding * scale);
        const double columnWidth =
            (grid->viewport()->width() - 2 * kGridPadding * scale - (expected.columns - 1) * kGridSpacing) /
            expected.columns;
        CHECK_NEAR("column width", fox->width(),
                   std::max(columnWidth, expected.columns == 1 ? kSoloColumnMinimum : 10));
        if (expected.columns > 1) {
            CHECK_NEAR("column spacing", plain->x() - fox->geometry().right() - 1, kGridSpacing);
            QCOMPARE(plain->y(), fox->y());
        }
        const VideoItemLogicView* below = cards.at(expected.columns);
        CHECK_NEAR("row spacing", below->y() - fox->geometry().bottom() - 1, kGridSpacing);

        // The picture: 16:9, at most 500 × scale high with one column.
        const QRect media = fox->mediaRect();
        CHECK_NEAR("picture ratio", media.width() * 9.0 / 16.0, media.height(), 1.5);
        double height = fox->width() * 9.0 / 16.0;
        if (expected.columns == 1)
            height = std::min(height, kSoloMediaHeight * scale);
        CHECK_NEAR("picture height", media.height(), height);
        CHECK_NEAR("picture at the top", media.top(), 0, 0);

        // The buttons, their labels only with one column, their sizes from the detail size and paddings.
        const QFont detail = Theme::font(expected.detail * scale, QFont::Medium);
        const QFontMetricsF detailMetrics(detail);
        const double titleLine = std::ceil(QFontMetricsF(Theme::font(expected.title * scale)).height());
        QList<QWidget*> buttons;
        for (const ButtonRule& button : kButtons) {
            GUI_REQUIRE(widget, QWidget, fox, button.control);
            buttons << widget;
            QVERIFY(widget->isVisible());
            QCOMPARE(widget->toolTip(), button.toolTip);
            QCOMPARE(widget->accessibleName(), expected.columns == 1 ? button.label : button.toolTip);
            double width = expected.detail * scale + 2 * expected.paddingAcross * scale;
            if (expected.columns == 1)
                width += expected.contentSpacing * scale + detailMetrics.horizontalAdvance(button.label);
            CHECK_NEAR(button.control, widget->width(), width);
            CHECK_NEAR(button.control, widget->height(),
                       std::max(detailMetrics.height(), expected.detail * scale) + 2 * expected.paddingDown * scale,
                       1.5);
            CHECK_NEAR("buttons under the title", widget->y() - media.bottom() - 1,
                       (kMediaToTitle + kTitleToRow) * scale + titleLine, 2);
        }
        for (int i = 1; i < buttons.size(); ++i)
            CHECK_NEAR("button spacing", buttons[i]->x() - buttons[i - 1]->geometry().right() - 1,
                       expected.buttonSpacing * scale);
        CHECK_NEAR("trailing padding", fox->width() - buttons.last()->geometry().right() - 1, kInfoPadding * scale);
        CHECK_NEAR("card height", fox->height(),
                   media.height() + (kMediaToTitle + kTitleToRow) * scale + titleLine + buttons.first()->height(), 2);
        QVERIFY2(gui::layoutFaults(view.get()).isEmpty(), qPrintable(gui::layoutFaults(view.get()).join('\n')));
    }

    // Job cards: "Generating..." while the job runs, "In Queue..." while it waits, with a spinner of 1.2 × scale
    // the standard size; a failed job's error in white over its veil in either scheme.
    void jobCards_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("dark");
        QTest::newRow("1.0, light") << 1.0 << false;
        QTest::newRow("1.6, light") << 1.6 << false;
        QTest::newRow("1.6, dark") << 1.6 << true;
    }
    void jobCards() {
        QFETCH(double, scale);
        QFETCH(bool, dark);
        Theme::instance().setColorScheme(dark ? ColorScheme::dark : ColorScheme::light);
        FakeMiniMaxService service;
        startJobs(service);
        gallery->setColumns(2);
        openView(QSize(1000, 800), scale);
        QTRY_COMPARE(view->grid()->cards().size(), 3);
        VideoItemLogicView* failed = cardTitled("a fox in the snow");
        VideoItemLogicView* running = cardTitled("a hare in the grass");
        VideoItemLogicView* waiting = cardTitled("an owl at night");
        QVERIFY(failed && running && waiting);
        QCOMPARE(running->statusText(), "Generating...");
        QCOMPARE(waiting->statusText(), "In Queue...");
        for (VideoItemLogicView* job : {running, waiting}) {
            QVERIFY(job->isPlaceholder());
            GUI_REQUIRE(spinner, Spinner, job, "jobSpinner");
            QVERIFY(spinner->isVisible());
            const double span = 1.2 * scale * Spinner::standardDiameter;
            QVERIFY2(spinner->width() >= span - 1 && spinner->width() <= span + 3 * scale,
                     qPrintable(QStringLiteral("spinner %1 wide").arg(spinner->width())));
            QVERIFY(job->mediaRect().contains(spinner->geometry()));
            for (const ButtonRule& button : kButtons) {
                GUI_REQUIRE(widget, QWidget, job, button.control);
                QVERIFY(!widget->isVisible());
            }
        }

        QVERIFY(failed->isFailedJob());
        GUI_REQUIRE(error, QLabel, failed, "failedJobError");
        QVERIFY(error->isVisible());
        QCOMPARE(error->text(), "MiniMax requires API Key in Authorization: Bearer <API_KEY>.");
        QCOMPARE(error->palette().color(error->foregroundRole()), QColor(Qt::white));
        // What shows: white letters over the dark veil.
        const QImage shown = failed->grab(error->geometry()).toImage();
        int brightest = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x)
                brightest = std::max(brightest, qGray(shown.pixel(x, y)));
        }
        QVERIFY2(brightest > 200, qPrintable(QStringLiteral("the brightest letter is %1 of 255").arg(brightest)));
        GUI_REQUIRE(remove, QWidget, failed, "failedJobRemoveButton");
        QVERIFY(remove->isVisible());
        QCOMPARE(remove->accessibleName(), "Remove");
        QVERIFY2(gui::layoutFaults(view.get()).isEmpty(), qPrintable(gui::layoutFaults(view.get()).join('\n')));
    }

    // A clip without a picture shows its name under the symbol on at most two centred lines, broken between
    // words, the rest cut at the tail with an ellipsis.
    void aClipWithoutPictureShowsItsNameOnTwoLines() {
        const QString spaced = QStringLiteral(
            "Orvane_a quiet harbour at dawn with fishing boats leaving one by one under a pale sky while gulls circle "
            "over the water.mp4");
        const QString joined = QStringLiteral(
            "Orvane_20250101_123456_a_quiet_harbour_at_dawn_with_fishing_boats_leaving_one_by_one_under_a_pale_sky_"
            "while_gulls_circle_over_the_water.mp4");
        const QString shortName = QStringLiteral("Orvane_x.mp4");
        for (const QString& name : {spaced, joined, shortName})
            QVERIFY(writeFile(folder + '/' + name, "not a video"));
        gallery->setColumns(3);
        openView(QSize(1000, 800), 1.0);
        QTRY_COMPARE(view->grid()->cards().size(), 3);
        world->drain();
        for (VideoItemLogicView* card : view->grid()->cards()) {
            // A file that gives no picture is read again once its size settles: virtual seconds.
            QVERIFY(world->clock.runUntil([&] { return card->isReady(); }, 600, 10000));
            QVERIFY(card->clip()->thumbnail().isNull());
            const QString name = card->clip()->fileName();
            const QStringList lines = card->fallbackNameLines();
            const QFontMetricsF metrics(Theme::font(10));
            for (const QString& line : lines)
                QVERIFY2(metrics.horizontalAdvance(line) <= card->mediaRect().width() - 16 + 0.5, qPrintable(line));
            if (name == shortName) {
                QCOMPARE(lines, QStringList{shortName});
                continue;
            }
            QCOMPARE(lines.size(), 2);
            QVERIFY2(lines[1].endsWith(QChar(0x2026)), qPrintable(lines[1]));
            QVERIFY(name.startsWith(lines[0]));
            QVERIFY(name.mid(lines[0].size()).trimmed().startsWith(lines[1].chopped(1)));
            // Between words where the name has them.
            if (name == spaced)
                QCOMPARE(name.at(lines[0].size()), QChar(' '));
        }
    }

    // The gallery at the narrowest its pane gets, in each mode, empty and full, at both scales: no text cut, no
    // control cut by its parents or over another; a card wider than the pane can be scrolled to.
    void atTheNarrowestPaneNothingIsCut_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("content");
        for (const double scale : {1.0, 1.6}) {
            for (const char* content : {"empty", "no key", "clips", "jobs"}) {
                for (int columns = 1; columns <= 3; ++columns) {
                    const QByteArray kind(content);
                    if (kind != "clips" && kind != "jobs" && columns > 1)
                        continue;
                    QTest::addRow("%s, %d columns, scale %.1f", content, columns, scale)
                        << scale << columns << QString::fromLatin1(content);
                }
            }
        }
    }
    void atTheNarrowestPaneNothingIsCut() {
        QFETCH(double, scale);
        QFETCH(int, columns);
        QFETCH(QString, content);
        FakeMiniMaxService service;
        if (content == "clips")
            addClips(4);
        if (content == "jobs")
            startJobs(service);
        if (content == "no key")
            APIManager::shared().setMiniMaxAPIKey("");
        gallery->setColumns(columns);
        for (const int height : {600, 400}) {
            openView(QSize(int(kPaneMinimum), height), scale);
            if (content == "clips" || content == "jobs")
                QTRY_VERIFY(!view->grid()->cards().isEmpty());
            QCoreApplication::processEvents();
            const QStringList faults = gui::layoutFaults(view.get());
            QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("%1 high:\n").arg(height) + faults.join('\n')));
            if (!view->grid()->cards().isEmpty()) {
                // Scrolled to the end, the first card shows whole across.
                VideoGalleryGrid* grid = view->grid();
                grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
                QCoreApplication::processEvents();
                const QRect card = grid->cardForRow(0)->geometry();
                QVERIFY2(card.right() < grid->viewport()->width(),
                         qPrintable(QStringLiteral("the card reaches %1 of %2")
                                        .arg(card.right() + 1)
                                        .arg(grid->viewport()->width())));
            }
            view.reset();
        }
    }
};

QTEST_MAIN(GalleryTableTest)
#include "tst_gallery_table.moc"
