#include "DeferredIconStyle.h"

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QPalette>
#include <QStyleOption>
#include <QTest>
#include <QToolButton>

namespace {
// Whether Qt has loaded any image format plugin into this process.
bool imagePluginsLoaded() {
    QFile maps("/proc/self/maps");
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/imageformats/");
}

QImage pixels(const QIcon& icon, QIcon::Mode mode = QIcon::Normal) {
    return icon.pixmap(QSize(16, 16), 1.0, mode).toImage().convertToFormat(QImage::Format_ARGB32);
}
} // namespace

// The application's style reads the bars' extension arrows only when they are drawn, and draws everything else as
// the platform's style does.
class DeferredIconStyleTest : public QObject {
    Q_OBJECT
private slots:
    void aMenuBarReadsNoPictureUntilItsArrowIsDrawn() {
        QVERIFY(QFile::exists("/proc/self/maps"));
        const QPalette before = QApplication::palette();
        auto* style = new DeferredIconStyle;
        QApplication::setStyle(style);
        QCOMPARE(QApplication::palette(), before);

        QMainWindow window;
        window.menuBar()->addMenu("Orvane")->addAction("Quit Orvane");
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY2(!imagePluginsLoaded(), "the menu bar read a picture file before anything showed it");

        // The arrow, once drawn, is the base style's own, in both directions and when disabled.
        auto* extension = window.menuBar()->findChild<QToolButton*>();
        QVERIFY(extension);
        QVERIFY(!extension->icon().isNull());
        QStyle* base = style->baseStyle();
        QCOMPARE(pixels(extension->icon()), pixels(base->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton)));
        QVERIFY(imagePluginsLoaded());
        QStyleOption rightToLeft;
        rightToLeft.direction = Qt::RightToLeft;
        for (const auto arrow :
             {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
            const QIcon deferred = style->standardIcon(arrow, &rightToLeft);
            const QIcon own = base->standardIcon(arrow, &rightToLeft);
            QCOMPARE(pixels(deferred), pixels(own));
            QCOMPARE(pixels(deferred, QIcon::Disabled), pixels(own, QIcon::Disabled));
            QCOMPARE(deferred.availableSizes(), own.availableSizes());
            QCOMPARE(deferred.actualSize(QSize(64, 64)), own.actualSize(QSize(64, 64)));
        }
        // Every other icon is the base style's at once.
        QCOMPARE(pixels(style->standardIcon(QStyle::SP_DialogOkButton)),
                 pixels(base->standardIcon(QStyle::SP_DialogOkButton)));
    }
};

QTEST_MAIN(DeferredIconStyleTest)
#include "tst_deferred_icon_style.moc"
