#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "Scrim.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(GlassTint)

namespace {
QColor rgba(int v, double alpha) {
    QColor c(v, v, v);
    c.setAlphaF(float(alpha));
    return c;
}

bool sameColor(const QColor& a, const QColor& b) {
    return a.rgb() == b.rgb() && std::abs(a.alphaF() - b.alphaF()) < 0.005;
}
} // namespace

class GlassTests : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Theme::instance().setColorScheme(std::nullopt); }

    void glassRule_data() {
        QTest::addColumn<bool>("key");
        QTest::addColumn<bool>("highlighted");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<GlassTint>("tint");
        QTest::addColumn<QColor>("tintColor");
        QTest::addColumn<bool>("interactive");
        // A window that is not key ignores the highlight.
        QTest::newRow("not key, plain, dark") << false << false << true << GlassTint::clear << QColor() << false;
        QTest::newRow("not key, highlighted, dark") << false << true << true << GlassTint::clear << QColor() << false;
        QTest::newRow("not key, highlighted, light") << false << true << false << GlassTint::clear << QColor() << false;
        QTest::newRow("key, plain, dark") << true << false << true << GlassTint::none << QColor() << false;
        QTest::newRow("key, plain, light") << true << false << false << GlassTint::none << QColor() << false;
        QTest::newRow("key, highlighted, dark") << true << true << true << GlassTint::color << rgba(255, 0.12) << true;
        QTest::newRow("key, highlighted, light") << true << true << false << GlassTint::color << rgba(0, 0.08) << true;
    }
    void glassRule() {
        QFETCH(bool, key);
        QFETCH(bool, highlighted);
        QFETCH(bool, dark);
        QFETCH(GlassTint, tint);
        QFETCH(QColor, tintColor);
        QFETCH(bool, interactive);
        const GlassLook look = glassLook(key, highlighted, dark ? ColorScheme::dark : ColorScheme::light);
        QCOMPARE(look.tint, tint);
        QCOMPARE(look.interactive, interactive);
        if (tint == GlassTint::color)
            QVERIFY2(sameColor(look.tintColor, tintColor), qPrintable(look.tintColor.name(QColor::HexArgb)));
        // The state-enum overload agrees; only `key` counts as key.
        const auto scheme = dark ? ColorScheme::dark : ColorScheme::light;
        QVERIFY(glassLook(key ? ControlActiveState::key : ControlActiveState::active, highlighted, scheme) == look);
    }

    // The fills, glass and text colours of the tab button and the add tile, driven by real window activation
    // and pointer events.
    void tabAndTileStates_data() {
        QTest::addColumn<QString>("control"); // selectedTab, tab, tile
        QTest::addColumn<bool>("key");
        QTest::addColumn<bool>("hovered");
        QTest::addColumn<bool>("dark");
        for (const char* control : {"selectedTab", "tab", "tile"})
            for (bool dark : {false, true})
                for (auto [key, hovered] : {std::pair{true, false}, {true, true}, {false, false}, {false, true}})
                    QTest::addRow("%s %s %s%s", control, dark ? "dark" : "light", key ? "key" : "not key",
                                  hovered ? " hovered" : "")
                        << QString(control) << key << hovered << dark;
    }
    void tabAndTileStates() {
        QFETCH(QString, control);
        QFETCH(bool, key);
        QFETCH(bool, hovered);
        QFETCH(bool, dark);
        const ColorScheme scheme = dark ? ColorScheme::dark : ColorScheme::light;
        Theme::instance().setColorScheme(scheme);

        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        GlassButton* button = nullptr;
        if (control == "tile") {
            auto* tile = new AddPresetTile;
            tile->setPresetsCount(3);
            button = tile;
        } else {
            auto* tab = new GlassTabButton("photo", "Angles");
            tab->setObjectName("anglesTab");
            tab->setSelected(control == "selectedTab");
            button = tab;
        }
        layout->addWidget(button);
        QVERIFY(gui::showActive(&window));
        if (!key)
            QVERIFY(gui::deactivate(&window));
        // The pointer of an earlier row may still rest where this window opens.
        if (hovered)
            gui::hover(button);
        else
            gui::unhover(button);

        QCOMPARE(button->effectiveColorScheme(), scheme);
        QCOMPARE(button->effectiveControlActiveState() == ControlActiveState::key, key);
        QCOMPARE(button->isHovered(), hovered);

        const bool selected = control == "selectedTab";
        // Fill: a selected tab keeps the control background; the others take the border colour.
        const QColor expectedFill =
            selected ? Theme::color(ColorRole::controlBackground, scheme)
                     : borderColor(scheme, key ? ControlActiveState::key : ControlActiveState::inactive, hovered);
        QVERIFY2(sameColor(button->currentFill(), expectedFill),
                 qPrintable(button->currentFill().name(QColor::HexArgb)));
        if (!selected && !key)
            QVERIFY(sameColor(button->currentFill(), dark ? rgba(255, 0.05) : rgba(0, 0.03)));
        if (!selected && key && hovered)
            QVERIFY(sameColor(button->currentFill(), dark ? rgba(255, 0.1) : rgba(0, 0.06)));

        // Glass: the rule with hover (or selection, for tabs) as the highlight.
        const GlassLook look = button->currentGlassLook();
        QVERIFY(look == glassLook(key, hovered || selected, scheme));
        QCOMPARE(look.interactive, key && (hovered || selected));
        if (!key)
            QCOMPARE(look.tint, GlassTint::clear);

        // Text: primary when selected or key, otherwise secondary; the tile's count always secondary.
        const QColor primary = Theme::color(ColorRole::primary, scheme);
        const QColor secondary = Theme::color(ColorRole::secondary, scheme);
        QVERIFY(sameColor(button->currentForeground(), selected || key ? primary : secondary));
        if (control == "tile")
            QVERIFY(sameColor(button->currentTrailingColor(), secondary));

        // Leaving restores the plain state.
        if (hovered) {
            gui::unhover(button);
            QVERIFY(!button->isHovered());
            QCOMPARE(button->currentGlassLook().interactive, key && selected);
        }
    }

    void continuousCornersStayInside() {
        const QRectF rect(0, 0, 100, 40);
        const QPainterPath path = continuousRoundedRect(rect, 8);
        QVERIFY(path.contains(rect.center()));
        QVERIFY(!path.contains(QPointF(0.5, 0.5)));
        QVERIFY(path.contains(QPointF(50, 0.5)));
        QVERIFY(rect.adjusted(-0.01, -0.01, 0.01, 0.01).contains(path.boundingRect()));
        // A radius larger than the shape gives a capsule; degenerate input gives nothing.
        QVERIFY(continuousRoundedRect(rect, 500).contains(QPointF(20, 20)));
        QVERIFY(!continuousRoundedRect(rect, 500).contains(QPointF(2, 2)));
        QVERIFY(continuousRoundedRect(QRectF(0, 0, 0, 10), 4).isEmpty());
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QVERIFY(continuousRoundedRect(QRectF(0, 0, nan, 10), 4).isEmpty());
        QVERIFY(continuousRoundedRect(rect, nan).contains(QPointF(0.5, 0.5)));
    }

    void panelKeepsRoomForItsShadow() {
        GlassPanel panel;
        panel.resize(200, 100);
        QCOMPARE(panel.shadowMargin(), 0);
        QCOMPARE(panel.panelRect(), QRectF(0.5, 0.5, 199, 99));
        panel.setShadow(withOpacity(Qt::black, 0.33), 20);
        QCOMPARE(panel.shadowMargin(), 20);
        QCOMPARE(panel.panelRect(), QRectF(20.5, 20.5, 159, 59));
        panel.setShadow(withOpacity(Qt::black, 0.1), 2, QPointF(0, 1));
        QCOMPARE(panel.shadowMargin(), 3);
        // The shadow darkens the margin below the panel, not the far corner.
        panel.setFill(GlassPanel::Fill::windowBackground);
        const QImage image = panel.grab().toImage();
        QVERIFY(image.pixelColor(100, 98).alpha() > 0);
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    }

    void themeForcesSchemeAndPalette() {
        QSignalSpy changed(&Theme::instance(), &Theme::changed);
        const QColor startWindow = QApplication::palette().color(QPalette::Window);
        Theme::instance().setColorScheme(ColorScheme::dark);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(Theme::instance().colorScheme(), ColorScheme::dark);
        QWidget widget;
        QCOMPARE(colorSchemeOf(&widget), ColorScheme::dark);
        Theme::instance().setColorScheme(ColorScheme::light);
        QCOMPARE(colorSchemeOf(&widget), ColorScheme::light);
        QCOMPARE(Theme::instance().colorScheme(), ColorScheme::light);
        Theme::instance().setColorScheme(std::nullopt);
        QCOMPARE(QApplication::palette().color(QPalette::Window), startWindow);
        QCOMPARE(changed.count(), 3);
        // Text roles differ between the schemes and are readable on their window background.
        for (auto scheme : {ColorScheme::light, ColorScheme::dark}) {
            const QColor text = Theme::color(ColorRole::primary, scheme);
            const QColor window = Theme::color(ColorRole::windowBackground, scheme);
            QVERIFY(std::abs(text.lightness() - window.lightness()) > 120);
        }
    }

    // A scrim dims in the shade of the current appearance, takes every click, and only a left click runs its
    // tap action.
    void scrimDimsAndTakesTheClicks() {
        QWidget behind;
        behind.resize(200, 120);
        int pressesBehind = 0;
        struct Counter : QObject {
            int* count;
            explicit Counter(int* c) : count(c) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)
                    ++*count;
                return false;
            }
        } counter(&pressesBehind);
        behind.installEventFilter(&counter);
        auto* scrim = new Scrim(70, 110, &behind);
        scrim->setGeometry(behind.rect());
        behind.show();
        QVERIFY(QTest::qWaitForWindowExposed(&behind));

        const struct {
            ColorScheme scheme;
            int alpha;
        } shades[] = {{ColorScheme::light, 70}, {ColorScheme::dark, 110}};
        for (const auto& row : shades) {
            Theme::instance().setColorScheme(row.scheme);
            QCOMPARE(scrim->shade(), QColor(0, 0, 0, row.alpha));
            // Over white, black at that alpha leaves 255 - alpha.
            QImage drawn(scrim->size(), QImage::Format_ARGB32);
            drawn.fill(Qt::white);
            scrim->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
            QVERIFY(std::abs(qRed(drawn.pixel(10, 10)) - (255 - row.alpha)) <= 1);
        }

        int taps = 0;
        scrim->setOnTap([&taps] { ++taps; });
        QTest::mouseClick(scrim, Qt::RightButton, {}, QPoint(20, 20));
        QCOMPARE(taps, 0);
        QTest::mouseClick(scrim, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(taps, 1);
        QCOMPARE(pressesBehind, 0);

        // Without a tap action a click only stops there.
        scrim->setOnTap({});
        QTest::mouseClick(scrim, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(taps, 1);
        QCOMPARE(pressesBehind, 0);
    }

    void symbolsResolveAndRecolour() {
        for (const QString& name : knownSymbols()) {
            const QString source = symbolSource(name);
            QVERIFY2(!source.contains("questionmark"), qPrintable(name + " has no drawing: " + source));
            const QImage image = symbolImage(name, QSize(24, 24), QColor(255, 0, 0));
            int painted = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    if (pixel.alpha() > 0) {
                        ++painted;
                        QVERIFY2(pixel.red() > 200 && pixel.green() < 30 && pixel.blue() < 30, qPrintable(name));
                    }
                }
            QVERIFY2(painted > 10, qPrintable(name + " draws nothing"));
        }
        QVERIFY(symbolSource("no.such.symbol").contains("questionmark"));
        // The names drawn as the placeholder are reported (the screenshot tool fails on them), the others not.
        QCOMPARE(placeholderSymbols(), QStringList{"no.such.symbol"});
        QVERIFY(!symbolPixmap("no.such.symbol", 16, Qt::black).isNull());
        // The icon follows the mode: disabled is drawn fainter than normal.
        const QIcon icon = symbolIcon("xmark", QColor(0, 0, 255));
        const QImage normal = icon.pixmap(QSize(32, 32), QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(QSize(32, 32), QIcon::Disabled).toImage();
        int maxNormal = 0, maxDisabled = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                maxNormal = std::max(maxNormal, normal.pixelColor(x, y).alpha());
                maxDisabled = std::max(maxDisabled, disabled.pixelColor(x, y).alpha());
            }
        QVERIFY(maxNormal > 200);
        QVERIFY(maxDisabled < 160 && maxDisabled > 0);
    }

    // Drawings are read once and shared: reading them ahead on a worker while others are drawn, and drawing the
    // same ones from several threads at once, gives the pictures drawn one at a time, and reports no placeholder.
    void sharedDrawingsDrawAsAlone() {
        const QStringList names = knownSymbols();
        const QStringList placeholdersBefore = placeholderSymbols();
        QFuture<void> ahead = QtConcurrent::run(&prepareSymbolDrawings);
        QList<QImage> alone;
        for (const QString& name : names)
            alone << symbolImage(name, QSize(20, 20), QColor(0, 128, 255));
        ahead.waitForFinished();
        QCOMPARE(placeholderSymbols(), placeholdersBefore);
        const QList<QImage> together = QtConcurrent::blockingMapped(
            names, [](const QString& name) { return symbolImage(name, QSize(20, 20), QColor(0, 128, 255)); });
        QCOMPARE(together.size(), alone.size());
        for (qsizetype i = 0; i < names.size(); ++i)
            QVERIFY2(together[i] == alone[i], qPrintable(names[i]));
    }
};

QTEST_MAIN(GlassTests)
#include "tst_glass.moc"
