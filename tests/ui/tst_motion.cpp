#include "Motion.h"

#include <QAbstractEventDispatcher>
#include <QGraphicsEffect>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>

namespace {

// The largest position the spring reaches, and when, sampled every millisecond up to its settling time.
std::pair<double, double> peak(Motion::Spring spring) {
    double best = 0;
    double at = 0;
    for (double t = 0; t <= Motion::settlingTime(spring); t += 0.001) {
        const double x = Motion::springPosition(spring, t);
        if (x > best) {
            best = x;
            at = t;
        }
    }
    return {best, at};
}

// Nothing ticks for the widget: no animation of it runs and none of its objects holds a timer.
bool idle(QWidget* widget) {
    QList<QObject*> objects = widget->findChildren<QObject*>();
    objects << widget;
    for (QObject* object : objects) {
        if (auto* animation = qobject_cast<QAbstractAnimation*>(object);
            animation && animation->state() != QAbstractAnimation::Stopped)
            return false;
        if (!QAbstractEventDispatcher::instance()->registeredTimers(object).isEmpty())
            return false;
    }
    return true;
}

} // namespace

class MotionTests : public QObject {
    Q_OBJECT
private slots:
    // The tab switch spring (response 0.3 s, damping 0.7) overshoots by e^(-ζπ/√(1-ζ²)) ≈ 4.6 % half a damped
    // period after its release, then settles; a critically damped spring never passes its target.
    void springsOvershootAsTheirDampingSays() {
        const auto [top, when] = peak(Motion::tabSwitch);
        const double zeta = 0.7;
        const double overshoot = std::exp(-zeta * M_PI / std::sqrt(1 - zeta * zeta));
        QVERIFY2(std::abs(top - 1 - overshoot) < 0.001, qPrintable(QString::number(top)));
        const double dampedPeriod = 0.3 / std::sqrt(1 - zeta * zeta);
        QVERIFY2(std::abs(when - dampedPeriod / 2) < 0.002, qPrintable(QString::number(when)));
        QCOMPARE(Motion::springPosition(Motion::tabSwitch, 0), 0.0);

        const double settle = Motion::settlingTime(Motion::tabSwitch);
        QVERIFY(settle > 0.4 && settle < 0.6);
        for (double t = settle; t < settle + 1; t += 0.01)
            QVERIFY(std::abs(Motion::springPosition(Motion::tabSwitch, t) - 1) <= 0.001);

        for (const double damping : {1.0, 1.5}) {
            const Motion::Spring calm{0.3, damping};
            QVERIFY(peak(calm).first <= 1.0);
            QVERIFY(std::abs(Motion::springPosition(calm, Motion::settlingTime(calm)) - 1) <= 0.0011);
            QVERIFY(Motion::springPosition(calm, 0.05) < Motion::springPosition(calm, 0.1));
        }
        // A spring that cannot move is at its target at once.
        QCOMPARE(Motion::springPosition({0, 0.7}, 0.1), 1.0);
        QCOMPARE(Motion::settlingTime({-1, 0.7}), 0.0);
    }

    // The easing curve of an animation that lasts the spring's settling time follows the spring, overshoot
    // included, and lands exactly on its end.
    void theSpringEasingFollowsTheSpring() {
        const QEasingCurve curve = Motion::tabSwitchEasing();
        const int duration = Motion::durationMs(Motion::tabSwitch);
        QCOMPARE(curve.valueForProgress(0), 0.0);
        QCOMPARE(curve.valueForProgress(1), 1.0);
        for (int ms = 10; ms < duration; ms += 10)
            QVERIFY(std::abs(curve.valueForProgress(double(ms) / duration) -
                             Motion::springPosition(Motion::tabSwitch, ms / 1000.0)) < 1e-9);
        const double peakProgress = peak(Motion::tabSwitch).second * 1000 / duration;
        QVERIFY(curve.valueForProgress(peakProgress) > 1.04);

        QVariantAnimation animation;
        animation.setStartValue(0.0);
        animation.setEndValue(100.0);
        animation.setDuration(duration);
        animation.setEasingCurve(curve);
        animation.setCurrentTime(int(peakProgress * duration));
        QVERIFY(animation.currentValue().toDouble() > 104);
        animation.setCurrentTime(duration);
        QCOMPARE(animation.currentValue().toDouble(), 100.0);

        // Another spring is another curve.
        const QEasingCurve softer = Motion::springEasing<300, 825>();
        QVERIFY(softer.valueForProgress(0.5) != curve.valueForProgress(0.5));
        QVERIFY(Motion::easeOut().valueForProgress(0.5) > 0.5);
        QCOMPARE(Motion::easeOut().valueForProgress(1), 1.0);
    }

    // An entrance draws the widget faded (and shifted) through an effect while it runs, leaves the widget's
    // geometry alone, and leaves nothing behind once it ends.
    void anEntranceRunsOnlyWhileItMoves() {
        QWidget window;
        window.resize(200, 200);
        auto* layout = new QVBoxLayout(&window);
        auto* panel = new QLabel(QStringLiteral("panel"), &window);
        layout->addWidget(panel);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect laidOut = panel->geometry();

        QVariantAnimation* animation = Motion::enter(panel, 120, Motion::easeOut(), QPointF(-40, 0));
        QVERIFY(animation);
        QCOMPARE(Motion::runningEntrance(panel), animation);
        QVERIFY(panel->graphicsEffect());
        QVERIFY(panel->graphicsEffect()->boundingRectFor(QRectF(panel->rect())).left() < -39);
        QCOMPARE(panel->geometry(), laidOut);
        QVERIFY(!idle(panel));
        QVERIFY(!Motion::isAtRest(&window));
        QTRY_VERIFY(!Motion::runningEntrance(panel));
        QVERIFY(Motion::isAtRest(&window));
        QVERIFY(!panel->graphicsEffect());
        QCOMPARE(panel->geometry(), laidOut);
        QTest::qWait(20);
        QVERIFY(idle(panel));

        // A second entrance ends the first; hiding ends the running one at once.
        QPointer<QVariantAnimation> first = Motion::enter(panel, 5000, Motion::tabSwitchEasing());
        QVariantAnimation* second = Motion::enter(panel, 5000, Motion::tabSwitchEasing());
        QVERIFY(second && second != first);
        QVERIFY(!first || first->state() == QAbstractAnimation::Stopped);
        panel->hide();
        QVERIFY(!Motion::runningEntrance(panel));
        QVERIFY(!panel->graphicsEffect());
        QTest::qWait(20);
        QVERIFY(idle(panel));

        // A hidden widget, a window, or a widget with an effect of its own just appears.
        QVERIFY(!Motion::enter(panel, 150, Motion::easeOut()));
        QVERIFY(!Motion::enter(&window, 150, Motion::easeOut()));
        QVERIFY(!window.graphicsEffect());
        panel->show();
        auto* own = new QGraphicsOpacityEffect;
        panel->setGraphicsEffect(own);
        QVERIFY(!Motion::enter(panel, 150, Motion::easeOut()));
        QCOMPARE(panel->graphicsEffect(), own);
    }

    // An exit draws a picture of the widget as it was while it goes (what it shows meanwhile does not change the
    // picture), takes no clicks, and hands the widget to `done` once, after its last frame. Hiding ends it at once;
    // a new entrance keeps the widget and never runs `done`.
    void anExitDrawsTheLastLookThenHandsTheWidgetOver() {
        QWidget window;
        window.resize(200, 200);
        auto* layout = new QVBoxLayout(&window);
        auto* panel = new QLabel(QStringLiteral("panel"), &window);
        panel->setAutoFillBackground(true);
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, Qt::red);
        panel->setPalette(palette);
        layout->addWidget(panel);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        int done = 0;
        QVariantAnimation* exit = Motion::leave(
            panel, 200, Motion::easeOut(),
            [&done, panel] {
                ++done;
                panel->hide();
            },
            QPointF(-30, 0), 0.95);
        QVERIFY(exit);
        QCOMPARE(Motion::runningExit(panel), exit);
        QVERIFY(panel->testAttribute(Qt::WA_TransparentForMouseEvents));
        QVERIFY(!Motion::isAtRest(&window));
        // Its look is kept: the panel may already be changed underneath.
        palette.setColor(QPalette::Window, Qt::blue);
        panel->setPalette(palette);
        const QImage early = window.grab().toImage();
        const QColor seen = early.pixelColor(panel->geometry().center());
        QVERIFY2(seen.red() > seen.blue(), qPrintable(seen.name()));
        // A second exit is the running one.
        QCOMPARE(Motion::leave(panel, 200, Motion::easeOut(), [&done] { done += 100; }), exit);
        QTRY_COMPARE(done, 1);
        QVERIFY(panel->isHidden());
        QVERIFY(!panel->graphicsEffect());
        QVERIFY(!panel->testAttribute(Qt::WA_TransparentForMouseEvents));
        QTest::qWait(20);
        QCOMPARE(done, 1);
        QVERIFY(idle(panel));

        // Hidden midway, it ends at once.
        panel->show();
        done = 0;
        QVERIFY(Motion::leave(panel, 5000, Motion::easeOut(), [&done] { ++done; }));
        panel->hide();
        QVERIFY(!Motion::runningExit(panel));
        QTRY_COMPARE(done, 1);
        QVERIFY(!panel->graphicsEffect());

        // Brought back in midway, it stays, drawn as itself, and is not handed over.
        panel->show();
        done = 0;
        QVERIFY(Motion::leave(panel, 5000, Motion::easeOut(), [&done] { ++done; }));
        QVERIFY(Motion::enter(panel, 50, Motion::easeOut()));
        QVERIFY(!Motion::runningExit(panel));
        QVERIFY(!panel->testAttribute(Qt::WA_TransparentForMouseEvents));
        QTRY_VERIFY(Motion::isAtRest(&window));
        QVERIFY(!panel->graphicsEffect());
        QTest::qWait(20);
        QCOMPARE(done, 0);
        QVERIFY(panel->isVisible());

        // A hidden widget leaves at once.
        panel->hide();
        QVERIFY(!Motion::leave(panel, 150, Motion::easeOut(), [&done] { ++done; }));
        QCOMPARE(done, 1);
    }
};

QTEST_MAIN(MotionTests)
#include "tst_motion.moc"
