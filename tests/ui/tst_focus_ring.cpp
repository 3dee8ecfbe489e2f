#include "Controls.h"
#include "FocusRing.h"
#include "GlassButtons.h"
#include "GuiTestSupport.h"
#include "Theme.h"
#include "UiScale.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTest>

namespace {

// How many pixels of the ring's colour lie side by side from the left edge on the middle row, and from the top
// edge in the middle column.
std::pair<int, int> ringRuns(const QImage& image, const QColor& ring) {
    const auto run = [&](int count, auto at) {
        int n = 0;
        while (n < count && at(n) == ring.rgb())
            ++n;
        return n;
    };
    const int left = run(image.width(), [&](int i) { return image.pixel(i, image.height() / 2); });
    const int top = run(image.height(), [&](int i) { return image.pixel(image.width() / 2, i); });
    return {left, top};
}

int countColour(const QImage& image, const QColor& colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour.rgb();
    return n;
}

// A card list that draws the kit's ring for its current item, as the preset cards do.
class CardDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex&) const override {
        FocusRing::paintItem(*painter, option, QRectF(option.rect).adjusted(4, 4, -4, -4), 12);
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {160, 60}; }
};

// What the screen shows of `widget` right now: its window's backing store, not a fresh rendering.
QImage onScreen(QWidget* widget) {
    const QPixmap window = widget->screen()->grabWindow(widget->window()->winId());
    return window.copy(QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size())).toImage();
}

} // namespace

class FocusRingTests : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Theme::instance().setColorScheme(std::nullopt); }

    // Tab shows the ring on a round and a text button, in both schemes and at both scales; a click that gives
    // the focus shows none.
    void ringForKeyboardFocusOnly_data() {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("round");
        for (bool dark : {false, true})
            for (double scale : {1.0, 1.6})
                for (bool round : {false, true})
                    QTest::addRow("%s %.1f %s", dark ? "dark" : "light", scale, round ? "round" : "tab")
                        << dark << scale << round;
    }
    void ringForKeyboardFocusOnly() {
        QFETCH(bool, dark);
        QFETCH(double, scale);
        QFETCH(bool, round);
        const ColorScheme scheme = dark ? ColorScheme::dark : ColorScheme::light;
        Theme::instance().setColorScheme(scheme);
        QWidget window;
        UiScale::setScaleOf(&window, scale);
        auto* layout = new QHBoxLayout(&window);
        auto* edit = new QLineEdit(&window);
        layout->addWidget(edit);
        GlassButton* button = round ? static_cast<GlassButton*>(new GlassIconButton("xmark", "Close", 32 * scale))
                                    : new GlassTabButton("photo", "Angles");
        // Like a segment: the pointer can give it the focus too.
        button->setFocusPolicy(Qt::StrongFocus);
        layout->addWidget(button);
        QVERIFY(gui::showActive(&window));
        edit->setFocus(Qt::MouseFocusReason);
        gui::hover(button);
        const QImage unfocused = button->grab().toImage();

        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(button->hasFocus());
        const QImage byTab = button->grab().toImage();
        QVERIFY(byTab != unfocused);
        const QColor ring = FocusRing::color(scheme);
        const int width = int(2 * scale);
        QVERIFY(countColour(byTab, ring) > 0);
        // The ring lies inside the control, every straight side whole: it starts at the very edge.
        if (!round)
            QCOMPARE(ringRuns(byTab, ring), std::make_pair(width, width));
        QCOMPARE(ringRuns(unfocused, ring), std::make_pair(0, 0));

        QTest::mouseClick(edit, Qt::LeftButton);
        QVERIFY(!button->hasFocus());
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(button->hasFocus());
        const QImage byClick = button->grab().toImage();
        QCOMPARE(countColour(byClick, ring), 0);
        QCOMPARE(byClick, unfocused);

        // The keyboard brings it back where the focus already is; the pointer takes it away again.
        QTest::keyClick(button, Qt::Key_A);
        QCOMPARE(button->grab().toImage(), byTab);
        QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
        QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
        QVERIFY(button->hasFocus());
        QCOMPARE(countColour(button->grab().toImage(), ring), 0);
    }

    // A card list draws the ring on its current card while the keyboard is in it.
    void cardListRingsCurrentCard() {
        Theme::instance().setColorScheme(ColorScheme::dark);
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* edit = new QLineEdit(&window);
        auto* list = new QListView(&window);
        Controls::setUpCardList(list);
        QStandardItemModel model;
        for (int i = 0; i < 3; ++i)
            model.appendRow(new QStandardItem(QString::number(i)));
        list->setModel(&model);
        list->setItemDelegate(new CardDelegate(list));
        layout->addWidget(edit);
        layout->addWidget(list);
        window.resize(400, 300);
        QVERIFY(gui::showActive(&window));
        edit->setFocus(Qt::MouseFocusReason);
        const QColor ring = FocusRing::color(ColorScheme::dark);
        QCOMPARE(countColour(list->viewport()->grab().toImage(), ring), 0);

        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(list->hasFocus());
        QTest::keyClick(list, Qt::Key_Down);
        const QImage byKeys = list->viewport()->grab().toImage();
        const QRect second = list->visualRect(model.index(1, 0));
        QVERIFY(countColour(byKeys.copy(second), ring) > 0);
        QCOMPARE(countColour(byKeys.copy(list->visualRect(model.index(0, 0))), ring), 0);

        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list->visualRect(model.index(2, 0)).center());
        QCOMPARE(countColour(list->viewport()->grab().toImage(), ring), 0);
    }

    // The window's activation repaints the glass at once; an enabled text button keeps its primary label in a
    // window that is not key, where a round button follows the window.
    void activationRepaintsAtOnce_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void activationRepaintsAtOnce() {
        QFETCH(bool, dark);
        const ColorScheme scheme = dark ? ColorScheme::dark : ColorScheme::light;
        Theme::instance().setColorScheme(scheme);
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        // Takes the focus, whose change would repaint a button anyway.
        layout->addWidget(new QLineEdit(&window));
        QAbstractButton* back = Controls::iconButton("backToImages", "chevron.left", "Back to Images", 32, &window);
        QAbstractButton* newChat = Controls::textButton("newChat", "message.badge.waveform", "New Chat", {}, &window);
        static_cast<GlassButton*>(newChat)->setFill(GlassButton::Fill::borderColor);
        layout->addWidget(back);
        layout->addWidget(newChat);
        QVERIFY(gui::showActive(&window));
        QVERIFY(gui::waitFor([&] { return !onScreen(back).isNull(); }));
        QTest::qWait(20);
        const QImage keyBack = onScreen(back);

        QVERIFY(gui::deactivate(&window));
        QVERIFY2(gui::waitFor([&] { return onScreen(back) != keyBack; }, 1000), "the inactive look is not painted");

        // The label is drawn in the primary colour: its strongest pixel is nearer primary than secondary.
        const QColor window_ = Theme::color(ColorRole::windowBackground, scheme);
        const auto over = [&](ColorRole role) {
            const QColor c = Theme::color(role, scheme);
            return c.alphaF() * qGray(c.rgb()) + (1 - c.alphaF()) * qGray(window_.rgb());
        };
        const double primary = over(ColorRole::primary), secondary = over(ColorRole::secondary);
        const QImage label = onScreen(newChat);
        int strongest = dark ? 0 : 255;
        for (int y = 0; y < label.height(); ++y)
            for (int x = 0; x < label.width(); ++x)
                strongest = dark ? std::max(strongest, qGray(label.pixel(x, y)))
                                 : std::min(strongest, qGray(label.pixel(x, y)));
        QVERIFY2(std::abs(strongest - primary) < std::abs(strongest - secondary),
                 qPrintable(
                     QStringLiteral("label %1, primary %2, secondary %3").arg(strongest).arg(primary).arg(secondary)));

        QVERIFY(gui::showActive(&window));
        QVERIFY2(gui::waitFor([&] { return onScreen(back) == keyBack; }, 1000), "the key look is not painted again");
    }
};

QTEST_MAIN(FocusRingTests)
#include "tst_focus_ring.moc"
