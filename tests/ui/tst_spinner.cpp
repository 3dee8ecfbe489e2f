#include "Spinner.h"
#include "Theme.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QHash>
#include <QPainter>
#include <QSet>
#include <QTest>
#include <QVBoxLayout>

#include <cmath>

namespace {
QImage canvas(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage painted(const SpinnerLook& look, const QRectF& box, qint64 elapsedMs, int side = 60) {
    QImage image = canvas(side);
    QPainter painter(&image);
    paintSpinner(painter, box, look, elapsedMs);
    return image;
}

int alphaAt(const QImage& image, QPointF point) {
    return qAlpha(image.pixel(point.toPoint()));
}

// The point at `radius` from `centre`, `degrees` clockwise from twelve o'clock.
QPointF at(QPointF centre, double radius, double degrees) {
    const double radians = degrees * M_PI / 180;
    return centre + QPointF(std::sin(radians), -std::cos(radians)) * radius;
}

// What the widget draws itself, without a window background.
QImage rendered(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Whether two pictures of one size differ by at most `tolerance` in any channel of any pixel.
bool alike(const QImage& a, const QImage& b, int tolerance) {
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance || std::abs(qAlpha(p) - qAlpha(q)) > tolerance)
                return false;
        }
    return true;
}

bool nothingOutside(const QImage& image, const QRectF& box) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!box.adjusted(-1, -1, 1, 1).contains(QPointF(x + 0.5, y + 0.5)) && qAlpha(image.pixel(x, y)) != 0)
                return false;
    return true;
}
// When the widgets it watches were painted, in milliseconds from its start.
class PaintTimes final : public QObject {
public:
    PaintTimes() { clock_.start(); }
    void watch(QWidget* widget) { widget->installEventFilter(this); }
    QList<double> of(const QObject* widget) const { return times_.value(widget); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            times_[watched].append(clock_.nsecsElapsed() / 1e6);
        return false;
    }

private:
    QElapsedTimer clock_;
    QHash<const QObject*, QList<double>> times_;
};
} // namespace

class SpinnerTests : public QObject {
    Q_OBJECT
private slots:
    // The arc: three quarters of a ring from twelve o'clock clockwise, inside its box, turning with time.
    void theArcIsThreeQuartersOfARingInsideItsBox() {
        const QRectF box(10, 10, 40, 40);
        const QPointF centre = box.center();
        const SpinnerLook arc{SpinnerLook::Style::arc, Qt::red, 4};
        const QImage still = painted(arc, box, 0);
        // The stroke runs along the box's edge, half its width in.
        for (double degrees : {0.0, 90.0, 180.0, 260.0})
            QVERIFY2(alphaAt(still, at(centre, 18, degrees)) > 200, qPrintable(QString::number(degrees)));
        QCOMPARE(alphaAt(still, at(centre, 18, 315)), 0); // the open quarter
        QCOMPARE(alphaAt(still, centre), 0);
        QVERIFY(nothingOutside(still, box));
        QCOMPARE(still.pixelColor(at(centre, 18, 90).toPoint()).rgb(), QColor(Qt::red).rgb());

        // A quarter of the period later the gap has turned a quarter clockwise.
        const QImage later = painted(arc, box, arc.periodMs / 4);
        QCOMPARE(alphaAt(later, at(centre, 18, 45)), 0);
        QVERIFY(alphaAt(later, at(centre, 18, 315)) > 200);

        // With a track the open quarter is faint, not empty.
        const QImage tracked = painted({SpinnerLook::Style::arc, Qt::red, 4, 0.25}, box, 0);
        const int faint = alphaAt(tracked, at(centre, 18, 315));
        QVERIFY2(faint > 40 && faint < 90, qPrintable(QString::number(faint)));
        // Eased, a turn starts slowly: an eighth of the way in it has turned less than an eighth.
        SpinnerLook eased{SpinnerLook::Style::arc, Qt::red, 4, 0, 2000, true};
        QVERIFY(alphaAt(painted(eased, box, 250), at(centre, 18, 30)) > 200);
        eased.eased = false;
        QCOMPARE(alphaAt(painted(eased, box, 250), at(centre, 18, 30)), 0);
    }

    // The spokes: eight, the leading one solid, stepping on by one an eighth of a period.
    void theSpokesStepRoundWithTheLeadSolid() {
        const QRectF box(10, 10, 40, 40);
        const QPointF centre = box.center();
        const SpinnerLook spokes{SpinnerLook::Style::spokes, Qt::black, 4, 0, 800};
        const QImage first = painted(spokes, box, 0);
        QVERIFY(nothingOutside(first, box));
        QCOMPARE(alphaAt(first, centre), 0); // the spokes start half-way out
        const int lead = alphaAt(first, at(centre, 13, 0));
        const int behind = alphaAt(first, at(centre, 13, 315));
        const int last = alphaAt(first, at(centre, 13, 45));
        QVERIFY2(lead > 240 && lead > behind && behind > last && last > 40,
                 qPrintable(QString("%1 %2 %3").arg(lead).arg(behind).arg(last)));
        QCOMPARE(painted(spokes, box, 99), first); // still the same step
        const QImage next = painted(spokes, box, 100);
        QVERIFY(alphaAt(next, at(centre, 13, 45)) > 240);
        const int previous = alphaAt(next, at(centre, 13, 0));
        QVERIFY(previous < alphaAt(next, at(centre, 13, 45)) && previous > alphaAt(next, at(centre, 13, 315)));
        QCOMPARE(painted(spokes, box, 800), first); // once round
    }

    void aBoxTooSmallForTheStrokeDrawsNothing() {
        for (const QRectF& box : {QRectF(0, 0, 0, 0), QRectF(5, 5, 3, 3), QRectF(0, 0, std::nan(""), 10)}) {
            const QImage image = painted({SpinnerLook::Style::arc, Qt::red, 4}, box, 0);
            QCOMPARE(image, canvas(60));
        }
    }

    // A spinner runs a timer only while it can be seen.
    void theWidgetTurnsOnlyWhileVisible() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* spinner = new Spinner({SpinnerLook::Style::arc, Qt::red, 2}, 24.4, &window);
        layout->addWidget(spinner);
        QCOMPARE(spinner->size(), QSize(25, 25));
        QVERIFY(!spinner->isSpinning());
        QCOMPARE(spinner->elapsed(), 0);

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(spinner->isSpinning());
        QTRY_VERIFY_WITH_TIMEOUT(spinner->elapsed() >= 2 * spinner->frameInterval(), 500);

        // Hidden with its window, or on its own: no timer, the drawing stands.
        window.hide();
        QVERIFY(!spinner->isSpinning());
        const qint64 stopped = spinner->elapsed();
        QTest::qWait(3 * spinner->frameInterval());
        QCOMPARE(spinner->elapsed(), stopped);
        window.show();
        QVERIFY(spinner->isSpinning());
        spinner->hide();
        QVERIFY(!spinner->isSpinning());
        spinner->show();
        QVERIFY(spinner->isSpinning());

        // The spokes change only once a step.
        Spinner spokes({SpinnerLook::Style::spokes}, 20);
        QCOMPARE(spokes.frameInterval(), spokes.look().periodMs / 8);
    }

    // The widget draws the look at its diameter, in the colour it was given.
    void theWidgetPaintsItsLookAtItsSize() {
        Spinner spinner({SpinnerLook::Style::arc, Qt::blue, 3}, 30);
        QCOMPARE(spinner.sizeHint(), QSize(30, 30));
        QImage image = rendered(spinner);
        const QPointF centre(15, 15);
        QVERIFY(qAlpha(image.pixel(at(centre, 13.5, 90).toPoint())) > 200);
        QCOMPARE(image.pixelColor(at(centre, 13.5, 90).toPoint()).rgb(), QColor(Qt::blue).rgb());
        QCOMPARE(qAlpha(image.pixel(at(centre, 13.5, 315).toPoint())), 0);

        spinner.setDiameter(60);
        spinner.setColor(Qt::green);
        QCOMPARE(spinner.size(), QSize(60, 60));
        image = rendered(spinner);
        QCOMPARE(image.pixelColor(at(QPointF(30, 30), 28.5, 90).toPoint()).rgb(), QColor(Qt::green).rgb());

        // Without a colour of its own it takes the theme's secondary one.
        Spinner plain({SpinnerLook::Style::spokes}, 20);
        Theme::instance().setColorScheme(ColorScheme::dark);
        const QColor drawn = rendered(plain).pixelColor(10, 3);
        Theme::instance().setColorScheme(std::nullopt);
        const QColor secondary = Theme::color(ColorRole::secondary, ColorScheme::dark);
        QVERIFY2(std::abs(drawn.red() - secondary.red()) <= 2 && std::abs(drawn.alpha() - secondary.alpha()) <= 3,
                 qPrintable(drawn.name(QColor::HexArgb)));
    }

    // A backdrop lies under the look and makes the spinner opaque while it covers the whole square; one that does
    // not cover it, or none, leaves the spinner see-through.
    void aBackdropLiesUnderTheLook() {
        Spinner spinner({SpinnerLook::Style::spokes, Qt::white, 2}, 20);
        QVERIFY(!spinner.isOpaque());
        QPixmap backdrop(20, 20);
        backdrop.fill(Qt::darkGreen);
        spinner.setBackdrop(backdrop);
        QVERIFY(spinner.isOpaque());
        QImage image = rendered(spinner);
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::darkGreen));
        QCOMPARE(image.pixelColor(10, 3), QColor(Qt::white)); // the leading spoke, over it

        spinner.setDiameter(30);
        QVERIFY(!spinner.isOpaque());
        QCOMPARE(qAlpha(rendered(spinner).pixel(0, 0)), 0);
        spinner.setDiameter(20);
        QVERIFY(spinner.isOpaque());
        spinner.setBackdrop({});
        QVERIFY(!spinner.isOpaque());
        QCOMPARE(qAlpha(rendered(spinner).pixel(0, 0)), 0);
    }

    // On every step an opaque spinner shows its backdrop with the look over it, as if both were painted in turn
    // (to within rounding at the spokes' soft edges), and follows a new backdrop, colour, width or size at once:
    // nothing of an earlier picture stays on screen.
    void anOpaqueSpinnerShowsItsBackdropUnderEveryStep() {
        QWidget window;
        window.resize(60, 60);
        const SpinnerLook look{SpinnerLook::Style::spokes, Qt::white, 2};
        auto* spinner = new Spinner(look, 20, &window);
        QImage green(20, 20, QImage::Format_RGB32);
        green.fill(Qt::darkGreen);
        spinner->setBackdrop(QPixmap::fromImage(green));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // What the spinner must show: the backdrop, then the look at the time it has reached.
        const auto expected = [&](const QImage& under) {
            QImage image = under.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&image);
            paintSpinner(painter, QRectF(0, 0, spinner->width(), spinner->height()), spinner->look(),
                         spinner->elapsed());
            return image;
        };
        QSet<qint64> steps;
        QElapsedTimer waited;
        waited.start();
        // Every one of the eight steps, twice round.
        while (steps.size() < 16 && waited.elapsed() < 5000) {
            QTest::qWait(spinner->frameInterval() / 2);
            if (!steps.contains(spinner->elapsed())) {
                steps.insert(spinner->elapsed());
                QVERIFY(alike(rendered(*spinner), expected(green), 1));
            }
        }
        QCOMPARE(steps.size(), 16);

        QImage stripes(20, 20, QImage::Format_RGB32);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                stripes.setPixel(x, y, (x / 4) % 2 ? qRgb(200, 40, 40) : qRgb(30, 30, 90));
        spinner->setBackdrop(QPixmap::fromImage(stripes));
        QVERIFY(alike(rendered(*spinner), expected(stripes), 1));
        spinner->setColor(Qt::yellow);
        QVERIFY(alike(rendered(*spinner), expected(stripes), 1));
        spinner->setLineWidth(3);
        QVERIFY(alike(rendered(*spinner), expected(stripes), 1));
        // Larger than its backdrop: see-through again, the look alone.
        spinner->setDiameter(24);
        QImage clear(24, 24, QImage::Format_ARGB32_Premultiplied);
        clear.fill(Qt::transparent);
        QVERIFY(alike(rendered(*spinner), expected(clear), 1));
    }

    // Spinners on screen step in the same turn of the event loop, however far apart they were shown, so their
    // squares are painted in one pass; each step draws the look at the time it has reached.
    void spinnersOnScreenStepTogether() {
        QWidget window;
        window.resize(120, 60);
        const SpinnerLook look{SpinnerLook::Style::spokes, Qt::black, 2};
        auto* first = new Spinner(look, 20, &window);
        auto* second = new Spinner(look, 20, &window);
        second->move(60, 0);
        second->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(first->frameInterval() / 2);
        second->show();
        PaintTimes paints;
        paints.watch(first);
        paints.watch(second);
        QTRY_VERIFY_WITH_TIMEOUT(paints.of(first).size() >= 3 && paints.of(second).size() >= 3, 1500);
        const QList<double> others = paints.of(second);
        for (double at : paints.of(first)) {
            const bool together = std::any_of(others.begin(), others.end(), [&](double other) {
                return std::abs(other - at) < first->frameInterval() / 4.0;
            });
            QVERIFY2(together, qPrintable(QStringLiteral("painted alone at %1 ms").arg(at)));
        }

        QVERIFY(second->elapsed() > 0);
        QCOMPARE(rendered(*second), painted(look, QRectF(0, 0, 20, 20), second->elapsed(), 20));
        second->setColor(Qt::red);
        QCOMPARE(rendered(*second), painted(second->look(), QRectF(0, 0, 20, 20), second->elapsed(), 20));
    }

    // Assistive tools read it as a busy indicator, with the name its view gives it.
    void itIsReadAsAProgressIndicator() {
        Spinner spinner({SpinnerLook::Style::spokes}, 16);
        spinner.setAccessibleName("Testing");
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&spinner);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::ProgressBar);
        QCOMPARE(accessible->text(QAccessible::Name), QString("Testing"));
        QVERIFY(spinner.testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(spinner.focusPolicy(), Qt::NoFocus);
    }
};

QTEST_MAIN(SpinnerTests)
#include "tst_spinner.moc"
