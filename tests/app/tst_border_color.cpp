#include "BorderColor.h"

#include <QTest>

class BorderColorTests : public QObject {
    Q_OBJECT
private slots:
    void table_data() {
        QTest::addColumn<int>("scheme");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("hovered");
        QTest::addColumn<QColor>("expected");
        auto rgba = [](int v, double alpha) {
            QColor c(v, v, v);
            c.setAlphaF(float(alpha));
            return c;
        };
        const int dark = int(ColorScheme::dark), light = int(ColorScheme::light);
        const int key = int(ControlActiveState::key), inactive = int(ControlActiveState::inactive),
                  active = int(ControlActiveState::active);
        // An inactive window ignores hover.
        QTest::newRow("dark inactive hovered") << dark << inactive << true << rgba(255, 0.05);
        QTest::newRow("dark inactive") << dark << inactive << false << rgba(255, 0.05);
        QTest::newRow("light inactive hovered") << light << inactive << true << rgba(0, 0.03);
        // Only the key state counts as active.
        QTest::newRow("dark active (not key)") << dark << active << true << rgba(255, 0.05);
        QTest::newRow("light active (not key)") << light << active << false << rgba(0, 0.03);
        QTest::newRow("dark key hovered") << dark << key << true << rgba(255, 0.1);
        QTest::newRow("light key hovered") << light << key << true << rgba(0, 0.06);
        // The separator colour is already translucent: the opacity multiplies its alpha.
        QColor darkSeparator = systemSeparatorColor(ColorScheme::dark);
        darkSeparator.setAlphaF(darkSeparator.alphaF() * 0.3f);
        QColor lightSeparator = systemSeparatorColor(ColorScheme::light);
        lightSeparator.setAlphaF(lightSeparator.alphaF() * 0.3f);
        QTest::newRow("dark key") << dark << key << false << darkSeparator;
        QTest::newRow("light key") << light << key << false << lightSeparator;
    }
    void table() {
        QFETCH(int, scheme);
        QFETCH(int, state);
        QFETCH(bool, hovered);
        QFETCH(QColor, expected);
        const QColor actual = borderColor(ColorScheme(scheme), ControlActiveState(state), hovered);
        QCOMPARE(actual.rgb(), expected.rgb());
        QVERIFY(qAbs(actual.alphaF() - expected.alphaF()) < 0.005);
        QVERIFY(actual.alphaF() < 0.11);
    }
};

QTEST_GUILESS_MAIN(BorderColorTests)
#include "tst_border_color.moc"
