#include "APIManager.h"
#include "BackupManager.h"
#include "GuiTestSupport.h"
#include "LayoutCheck.h"
#include "SettingsTestFixture.h"
#include "SettingsView.h"
#include "Theme.h"
#include "VideoSettings.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <functional>

// The settings window held to the texts and sizes it is specified with: every named control of the General and API
// tabs with its text exactly as written and the rule for its size and place, on the real widgets. A changed text,
// a wrong size or a missing control fails on the control's row.

namespace {

const QString kGoogleKey = "AIza" + QString(35, 'k');

// How a control is measured.
enum class Rule {
    title,      // the tab's title: title-2 (17), semibold, primary, centred in the window
    subtitle,   // the caption under it: caption size (below the 13 of the rows), secondary, centred
    section,    // a section's heading, above its rows
    rowLabel,   // a row's label: 13, regular, primary, left of its control and level with it
    headline,   // a key's name: headline (13 semibold)
    caption,    // caption size (below 13), secondary
    control,    // a control showing the text
    redButton,  // a button with a red foreground
    field,      // a key field: the text is its placeholder
    helpText,   // a button: the text is its help text (tooltip)
    linkSymbol, // the "link" symbol: two links along the rising diagonal, at the caption row's size
};

struct Row {
    const char* control;
    const char* text;
    Rule rule;
};

bool semibold(const QFont& font) {
    return font.weight() >= QFont::DemiBold;
}

using gui::pixelSizeOf;
using gui::shownText;

// Enclosed see-through regions of a symbol's picture, each with the side of the rising diagonal it lies on.
QList<bool> holesAboveDiagonal(const QImage& picture) {
    const int w = picture.width();
    const int h = picture.height();
    QList<int> label(w * h, 0);
    const auto clear = [&picture](int x, int y) { return picture.pixelColor(x, y).alpha() < 64; };
    QList<bool> holes;
    int next = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!clear(x, y) || label[y * w + x])
                continue;
            ++next;
            bool touchesEdge = false;
            long sumX = 0;
            long sumY = 0;
            int size = 0;
            QList<QPoint> stack{{x, y}};
            label[y * w + x] = next;
            while (!stack.isEmpty()) {
                const QPoint p = stack.takeLast();
                ++size;
                sumX += p.x();
                sumY += p.y();
                touchesEdge = touchesEdge || p.x() == 0 || p.y() == 0 || p.x() == w - 1 || p.y() == h - 1;
                for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    const QPoint q = p + step;
                    if (q.x() < 0 || q.y() < 0 || q.x() >= w || q.y() >= h || !clear(q.x(), q.y()) ||
                        label[q.y() * w + q.x()])
                        continue;
                    label[q.y() * w + q.x()] = next;
                    stack.append(q);
                }
            }
            if (!touchesEdge)
                holes << (double(sumX) / size + double(sumY) / size < (w + h) / 2.0 - 1);
        }
    }
    return holes;
}

void checkRow(QWidget* root, const Row& row) {
    const QString name = QString::fromLatin1(row.control);
    QWidget* widget = gui::require<QWidget>(root, name);
    if (!widget)
        return;
    const QString expected = QString::fromUtf8(row.text);
    QVERIFY2(widget->isVisible(), qPrintable(name + " is not shown"));
    const QFont font = widget->font();
    const QPalette::ColorRole textRole = QPalette::WindowText;
    const auto colour = [widget, textRole] { return widget->palette().color(textRole); };
    switch (row.rule) {
    case Rule::title: {
        QCOMPARE(shownText(widget), expected);
        QCOMPARE(pixelSizeOf(font), 17);
        QVERIFY(semibold(font));
        QCOMPARE(colour(), Theme::color(ColorRole::primary, widget));
        auto* label = static_cast<QLabel*>(widget);
        QVERIFY(label->alignment() & Qt::AlignHCenter);
        const QPoint centre = widget->mapTo(widget->window(), widget->rect().center());
        QVERIFY2(std::abs(centre.x() - widget->window()->width() / 2) <= 1, qPrintable(name + " is not centred"));
        break;
    }
    case Rule::subtitle:
    case Rule::caption: {
        QCOMPARE(shownText(widget), expected);
        QVERIFY2(pixelSizeOf(font) < 13, qPrintable(QStringLiteral("%1: %2").arg(name).arg(pixelSizeOf(font))));
        QVERIFY(!semibold(font));
        QCOMPARE(colour(), Theme::color(ColorRole::secondary, widget));
        if (row.rule == Rule::subtitle) {
            const QPoint centre = widget->mapTo(widget->window(), widget->rect().center());
            QVERIFY2(std::abs(centre.x() - widget->window()->width() / 2) <= 1, qPrintable(name + " is not centred"));
        }
        break;
    }
    case Rule::section: {
        QCOMPARE(shownText(widget), expected);
        QWidget* section = widget->parentWidget();
        // The heading stands above everything else of its section.
        for (QWidget* part : section->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (part != widget && part->isVisible())
                QVERIFY2(part->y() >= widget->geometry().bottom(), qPrintable(name + " is not above its rows"));
        }
        break;
    }
    case Rule::rowLabel: {
        QCOMPARE(shownText(widget), expected);
        QCOMPARE(pixelSizeOf(font), 13);
        QVERIFY(!semibold(font));
        QCOMPARE(colour(), Theme::color(ColorRole::primary, widget));
        QWidget* control = static_cast<QLabel*>(widget)->buddy();
        QVERIFY2(control, qPrintable(name + " labels nothing"));
        const QRect at = widget->geometry();
        const QRect controlAt(control->mapTo(widget->parentWidget(), QPoint(0, 0)), control->size());
        QVERIFY2(at.right() < controlAt.left(), qPrintable(name + " is not left of its control"));
        QVERIFY2(std::abs(at.center().y() - controlAt.center().y()) <= 2, qPrintable(name + " is not level"));
        break;
    }
    case Rule::headline:
        QCOMPARE(shownText(widget), expected);
        QCOMPARE(pixelSizeOf(font), 13);
        QVERIFY(semibold(font));
        break;
    case Rule::control:
        QCOMPARE(shownText(widget), expected);
        break;
    case Rule::redButton: {
        QCOMPARE(shownText(widget), expected);
        QCOMPARE(widget->palette().color(QPalette::ButtonText), Theme::color(ColorRole::red, widget));
        break;
    }
    case Rule::field:
        QCOMPARE(static_cast<QLineEdit*>(widget)->placeholderText(), expected);
        break;
    case Rule::helpText:
        QCOMPARE(widget->toolTip(), expected);
        break;
    case Rule::linkSymbol: {
        auto* icon = static_cast<QLabel*>(widget);
        const QPixmap pixmap = icon->pixmap();
        QCOMPARE(pixmap.deviceIndependentSize().toSize(), QSize(12, 12));
        // A chain of two open links from lower left to upper right: one hole each side of the rising diagonal.
        const QList<bool> holes = holesAboveDiagonal(pixmap.toImage());
        QVERIFY2(holes.size() >= 2 && holes.contains(true) && holes.contains(false),
                 qPrintable(QStringLiteral("%1: %2 open links").arg(name).arg(holes.size())));
        break;
    }
    }
}

// The General tab, with the sound switched on and one backup made, so that every row is there.
const QList<Row>& generalRows() {
    static const QList<Row> rows{
        {"settingsTabTitle", "General Settings", Rule::title},
        {"settingsTabSubtitle", "Notifications, backup, and data management", Rule::subtitle},
        {"notificationsSectionTitle", "Notifications", Rule::section},
        {"soundNotificationToggleLabel", "Sound notification", Rule::rowLabel},
        {"soundNotificationToggle", "Enable sound on video completion", Rule::control},
        {"notificationSoundRowLabel", "Notification sound", Rule::rowLabel},
        {"soundPicker", "Sound", Rule::control},
        {"previewSoundButton", "Preview", Rule::control},
        {"backupSectionTitle", "Backup", Rule::section},
        {"createBackupRowLabel", "Create backup now", Rule::rowLabel},
        {"createBackupButton", "Create Backup", Rule::control},
        {"lastBackupDateLabel", "Last backup", Rule::rowLabel},
        {"dangerZoneSectionTitle", "Danger Zone", Rule::section},
        {"resetRowLabel", "Reset all data", Rule::rowLabel},
        {"resetEverythingButton", "Reset Everything", Rule::redButton},
        // The caption says what the reset keeps: the API keys stay.
        {"dangerZoneCaption",
         "This will permanently delete all your presets, video metadata and backups. API keys are kept.",
         Rule::caption},
    };
    return rows;
}

// The API tab, with the image key and the first video key set, so that their test buttons are there.
const QList<Row>& apiRows() {
    static const QList<Row> rows{
        {"settingsTabTitle", "API Settings", Rule::title},
        {"settingsTabSubtitle", "Configure API keys for image and video generation", Rule::subtitle},
        {"googleSectionTitle", "Image Generation", Rule::section},
        {"googleKeyTitle", "Google Gemini", Rule::headline},
        {"googleKeyCaption", "Orvane - image generation powered by Gemini Image", Rule::caption},
        {"googleKeyField", "Enter Google API key", Rule::field},
        {"googleTestButton", "Test Google API key", Rule::helpText},
        {"miniMax1SectionTitle", "Video Generation - API Key 1", Rule::section},
        {"miniMax1KeyTitle", "MiniMax Hailuo 2", Rule::headline},
        {"miniMax1KeyCaption", "MiniMax Hailuo 2 - video generation with camera movement", Rule::caption},
        {"miniMax1KeyField", "Enter MiniMax API key", Rule::field},
        {"miniMax1TestButton", "Test MiniMax API key", Rule::helpText},
        {"miniMax2SectionTitle", "Video Generation - API Key 2", Rule::section},
        {"miniMax2KeyTitle", "MiniMax Hailuo 2", Rule::headline},
        {"miniMax2KeyCaption", "MiniMax Hailuo 2 - video generation with camera movement", Rule::caption},
        {"miniMax2KeyField", "Enter MiniMax API key", Rule::field},
        {"miniMax3SectionTitle", "Video Generation - API Key 3", Rule::section},
        {"miniMax3KeyTitle", "MiniMax Hailuo 2", Rule::headline},
        {"miniMax3KeyField", "Enter MiniMax API key", Rule::field},
        {"miniMax4SectionTitle", "Video Generation - API Key 4", Rule::section},
        {"miniMax4KeyTitle", "MiniMax Hailuo 2", Rule::headline},
        {"miniMax4KeyField", "Enter MiniMax API key", Rule::field},
        {"getAPIKeysSectionTitle", "Get API Keys", Rule::section},
        {"googleKeysLinkSymbol", "", Rule::linkSymbol},
        {"googleKeysLinkTitle", "Google AI Studio:", Rule::caption},
        {"miniMaxKeysLinkSymbol", "", Rule::linkSymbol},
        {"miniMaxKeysLinkTitle", "MiniMax Console:", Rule::caption},
    };
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(Row)

class SettingsTableTests : public QObject {
    Q_OBJECT

    SettingsTestFixture fixture;
    std::unique_ptr<VideoSettings> video;
    std::unique_ptr<BackupManager> backups;
    std::unique_ptr<SettingsView> view;

    // The window as the application opens it: 600 wide and 400 high.
    void openWindow(int tab) {
        view = std::make_unique<SettingsView>(*video, *backups);
        view->setFixedSize(600, 400);
        view->tabs()->setCurrentIndex(tab);
        QVERIFY(gui::showActive(view.get()));
    }

    // Scrolls `widget` into view in its tab's scroll area, so that what the test measures is laid out and shown.
    static void reveal(QWidget* widget) {
        for (QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
            if (auto* scroll = qobject_cast<QScrollArea*>(up)) {
                scroll->ensureWidgetVisible(widget);
                QCoreApplication::processEvents();
                return;
            }
        }
    }

    // Opens tab `index` and lets it lay itself out.
    void showTab(int index) {
        view->tabs()->setCurrentIndex(index);
        QTRY_VERIFY(view->tabs()->currentWidget()->isVisible());
        QCoreApplication::processEvents();
    }

private slots:
    void init() {
        fixture.setUp();
        video = std::make_unique<VideoSettings>();
        backups = std::make_unique<BackupManager>(fixture.store.get());
    }
    void cleanup() {
        view.reset();
        backups.reset();
        video.reset();
        fixture.tearDown();
        Theme::instance().setColorScheme(std::nullopt);
    }

    void theGeneralTab_data() {
        QTest::addColumn<Row>("row");
        for (const Row& row : generalRows())
            QTest::newRow(row.control) << row;
    }
    void theGeneralTab() {
        QFETCH(Row, row);
        video->setSoundNotificationEnabled(true);
        backups->createBackupNow();
        openWindow(0);
        GUI_REQUIRE(tab, QWidget, view.get(), "GeneralSettingsView");
        if (QWidget* widget = gui::find(tab, row.control))
            reveal(widget);
        GUI_CHECK(checkRow(tab, row));
    }

    void theAPITab_data() {
        QTest::addColumn<Row>("row");
        for (const Row& row : apiRows())
            QTest::newRow(row.control) << row;
    }
    void theAPITab() {
        QFETCH(Row, row);
        APIManager::shared().setGoogleAPIKey(kGoogleKey);
        APIManager::shared().setMiniMaxAPIKey(QString(40, 'h') + "." + QString(40, 'p') + "." + QString(30, 's'));
        openWindow(1);
        GUI_REQUIRE(tab, QWidget, view.get(), "APISettingsView");
        if (QWidget* widget = gui::find(tab, row.control))
            reveal(widget);
        GUI_CHECK(checkRow(tab, row));
    }

    // The tabs, and the sizes given in numbers: the heading's padding and spacing, the sound picker's width and its
    // gap to "Preview", the key rows' spacing, the links' spacing and the room below them.
    void theTabsAndTheirMeasures() {
        video->setSoundNotificationEnabled(true);
        openWindow(0);
        QTabBar* bar = view->tabs()->tabBar();
        QCOMPARE(bar->count(), 2);
        QCOMPARE(bar->tabText(0), QStringLiteral("General"));
        QCOMPARE(bar->tabText(1), QStringLiteral("API"));
        QVERIFY(!bar->tabIcon(0).isNull());
        QVERIFY(!bar->tabIcon(1).isNull());
        QCOMPARE(view->tabs()->width(), 600);

        for (const char* tabName : {"GeneralSettingsView", "APISettingsView"}) {
            showTab(QString(tabName) == "GeneralSettingsView" ? 0 : 1);
            GUI_REQUIRE(tab, QWidget, view.get(), tabName);
            GUI_REQUIRE(title, QLabel, tab, "settingsTabTitle");
            GUI_REQUIRE(subtitle, QLabel, tab, "settingsTabSubtitle");
            QWidget* header = title->parentWidget();
            QCOMPARE(header->layout()->contentsMargins(), QMargins(20, 16, 20, 4));
            QCOMPARE(title->y(), 16);
            QCOMPARE(subtitle->y() - (title->geometry().bottom() + 1), 4);
            QCOMPARE(header->width(), tab->width());
        }

        showTab(0);
        GUI_REQUIRE(picker, QComboBox, view.get(), "soundPicker");
        GUI_REQUIRE(preview, QAbstractButton, view.get(), "previewSoundButton");
        QVERIFY2(picker->width() >= 120, qPrintable(QString::number(picker->width())));
        QCOMPARE(preview->x() - (picker->geometry().right() + 1), 8);

        showTab(1);
        // A key's name, caption and key row 8 apart.
        GUI_REQUIRE(googleTitle, QLabel, view.get(), "googleKeyTitle");
        QLayout* key = googleTitle->parentWidget()->layout();
        QVERIFY(key && key->count() >= 3);
        for (int i = 1; i < 3; ++i)
            QCOMPARE(key->itemAt(i)->geometry().top() - (key->itemAt(i - 1)->geometry().bottom() + 1), 8);
        // The two link rows 12 apart, and at least 60 below them.
        GUI_REQUIRE(firstLink, QLabel, view.get(), "googleKeysLinkTitle");
        QLayout* linkRows = firstLink->parentWidget()->layout();
        QVERIFY(linkRows && linkRows->count() == 2);
        QCOMPARE(linkRows->itemAt(1)->geometry().top() - (linkRows->itemAt(0)->geometry().bottom() + 1), 12);
        GUI_REQUIRE(links, QWidget, view.get(), "getAPIKeysSection");
        QWidget* page = links->parentWidget();
        const int below = page->height() - (links->geometry().bottom() + 1);
        QVERIFY2(below >= 60, qPrintable(QStringLiteral("%1 below the links").arg(below)));
    }

    // Nothing on either tab is cut or lies over another control, light and dark.
    void nothingIsCut_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("dark");
        QTest::newRow("General, light") << 0 << false;
        QTest::newRow("General, dark") << 0 << true;
        QTest::newRow("API, light") << 1 << false;
        QTest::newRow("API, dark") << 1 << true;
    }
    void nothingIsCut() {
        QFETCH(int, tab);
        QFETCH(bool, dark);
        Theme::instance().setColorScheme(dark ? ColorScheme::dark : ColorScheme::light);
        video->setSoundNotificationEnabled(true);
        backups->createBackupNow();
        APIManager::shared().setGoogleAPIKey(kGoogleKey);
        openWindow(tab);
        const QStringList faults = gui::layoutFaults(view.get());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }
};

QTEST_MAIN(SettingsTableTests)
#include "tst_settings_table.moc"
