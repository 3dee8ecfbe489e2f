#include "GuiTestSupport.h"
#include "HoverDelay.h"
#include "VirtualClock.h"

#include <QSignalSpy>
#include <QTest>

class HoverDelayTests : public QObject {
    Q_OBJECT
private slots:
    void init() { clock_.install(); }
    void cleanup() { Clock::setCurrent(nullptr); }

    void enterFiresAfter200ms() {
        QObject owner;
        HoverDelay delay(&owner);
        QSignalSpy entered(&delay, &HoverDelay::enterElapsed);
        QSignalSpy left(&delay, &HoverDelay::leaveElapsed);
        delay.setHovered(true);
        QVERIFY(delay.isPending());
        clock_.advance(0.199);
        QCOMPARE(entered.count(), 0);
        clock_.advance(0.001);
        QCOMPARE(entered.count(), 1);
        QCOMPARE(left.count(), 0);
        QVERIFY(!delay.isPending());
        clock_.advance(5);
        QCOMPARE(entered.count(), 1);
    }

    void leaveFiresAfter150ms() {
        QObject owner;
        HoverDelay delay(&owner);
        QSignalSpy left(&delay, &HoverDelay::leaveElapsed);
        delay.setHovered(false);
        clock_.advance(0.149);
        QCOMPARE(left.count(), 0);
        clock_.advance(0.001);
        QCOMPARE(left.count(), 1);
    }

    void eachChangeCancelsThePendingReaction() {
        QObject owner;
        HoverDelay delay(&owner);
        QSignalSpy entered(&delay, &HoverDelay::enterElapsed);
        QSignalSpy left(&delay, &HoverDelay::leaveElapsed);
        // A pass over the card shorter than 200 ms never starts the preview; only the leave reacts.
        delay.setHovered(true);
        clock_.advance(0.1);
        delay.setHovered(false);
        clock_.advance(0.149);
        QCOMPARE(left.count(), 0);
        clock_.advance(0.2);
        QCOMPARE(entered.count(), 0);
        QCOMPARE(left.count(), 1);
        // Re-entering restarts the 200 ms from the last change.
        delay.setHovered(true);
        clock_.advance(0.15);
        delay.setHovered(true);
        clock_.advance(0.15);
        QCOMPARE(entered.count(), 0);
        clock_.advance(0.05);
        QCOMPARE(entered.count(), 1);
        // Leaving and coming back within 150 ms keeps the preview: the stop never happens.
        delay.setHovered(false);
        clock_.advance(0.1);
        delay.setHovered(true);
        clock_.advance(1);
        QCOMPARE(left.count(), 1);
        QCOMPARE(entered.count(), 2);
    }

    void cancelledReactionDoesNothing() {
        QObject owner;
        HoverDelay delay(&owner);
        QSignalSpy entered(&delay, &HoverDelay::enterElapsed);
        delay.setHovered(true);
        delay.cancel();
        QVERIFY(!delay.isPending());
        clock_.advance(1);
        QCOMPARE(entered.count(), 0);
    }

    void ownerDestroyedWhilePending() {
        int reactions = 0;
        {
            QWidget card;
            auto* delay = new HoverDelay(&card);
            connect(delay, &HoverDelay::enterElapsed, [&reactions] { ++reactions; });
            delay->setHovered(true);
            QCOMPARE(clock_.pendingSleepers(), 1);
        }
        // Nothing is left waiting for the reaction once its owner is gone.
        QCOMPARE(clock_.pendingSleepers(), 0);
        clock_.advance(1);
        QCOMPARE(reactions, 0);
        QCOMPARE(clock_.pendingSleepers(), 0);
    }

    void aRestartLeavesOnlyTheNewReactionWaiting() {
        QObject owner;
        HoverDelay delay(&owner);
        QSignalSpy entered(&delay, &HoverDelay::enterElapsed);
        for (int i = 0; i < 5; ++i) {
            delay.setHovered(i % 2 == 0);
            QCOMPARE(clock_.pendingSleepers(), 1);
        }
        delay.cancel();
        QCOMPARE(clock_.pendingSleepers(), 0);
        clock_.advance(1);
        QCOMPARE(entered.count(), 0);
    }

    void tracksThePointerOfItsWidget() {
        QWidget card;
        card.resize(100, 100);
        QVERIFY(gui::showActive(&card));
        HoverDelay* delay = HoverDelay::track(&card);
        QCOMPARE(delay->parent(), &card);
        QSignalSpy entered(delay, &HoverDelay::enterElapsed);
        QSignalSpy left(delay, &HoverDelay::leaveElapsed);
        gui::hover(&card);
        QVERIFY(delay->isHovered());
        clock_.advance(0.2);
        QCOMPARE(entered.count(), 1);
        gui::unhover(&card);
        QVERIFY(!delay->isHovered());
        clock_.advance(0.15);
        QCOMPARE(left.count(), 1);
    }

    void aWidgetMovingUnderAStillPointerWaitsForItToRest() {
        QWidget list;
        list.resize(300, 600);
        QVERIFY(gui::showActive(&list));
        auto* card = new QWidget(&list);
        card->setGeometry(0, 0, 300, 300);
        card->show();
        HoverDelay* delay = HoverDelay::track(card);
        QSignalSpy entered(delay, &HoverDelay::enterElapsed);
        QSignalSpy left(delay, &HoverDelay::leaveElapsed);
        gui::hover(card, QPoint(150, 150));
        clock_.advance(0.15);
        // The list scrolls a notch every 100 ms: the pointer stays on the card, which never rests under it.
        for (int notch = 1; notch <= 3; ++notch) {
            card->move(0, -24 * notch);
            clock_.advance(0.1);
        }
        QCOMPARE(entered.count(), 0);
        clock_.advance(0.1);
        QCOMPARE(entered.count(), 1);
        // Scrolled on until the card is past the pointer: it has left, though no leave event came.
        card->move(0, -160);
        QVERIFY(!delay->isHovered());
        clock_.advance(0.149);
        QCOMPARE(left.count(), 0);
        clock_.advance(0.001);
        QCOMPARE(left.count(), 1);
        // Moving while nobody hovers it changes nothing.
        card->move(0, 0);
        clock_.advance(1);
        QCOMPARE(entered.count(), 1);
        QCOMPARE(left.count(), 1);
    }

private:
    VirtualClock clock_;
};

QTEST_MAIN(HoverDelayTests)
#include "tst_hover_delay.moc"
