#include "GuiTestSupport.h"
#include "Theme.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

// Alerts as the user reads them: wide enough that the explanation takes a few lines, and a button that deletes
// something looking like it.

namespace {

const QString kResetMessage =
    QStringLiteral("This will permanently delete all your data and backups. This action cannot be undone.");
const QString kFailureMessage = QStringLiteral(
    "Orvane could not write the backup to “/home/someone/.local/share/Orvane/Backups” (settings_backup.json: No space "
    "left on device). Check that the disk has free space and that you can write to that folder, then click Create "
    "Backup again.");

QMessageBox* shownBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

// The lines the label's text takes at its width.
int linesOf(const QLabel* label) {
    const QFontMetrics metrics(label->font());
    return qRound(double(label->contentsRect().height()) / metrics.lineSpacing());
}

int pixelsNear(const QImage& image, const QColor& color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - color.red()) < 40 && std::abs(pixel.green() - color.green()) < 40 &&
                std::abs(pixel.blue() - color.blue()) < 40)
                ++count;
        }
    }
    return count;
}

} // namespace

class AlertLooksTests : public QObject {
    Q_OBJECT

    // Runs `look` on the alert once it shows, then presses its button `answer`.
    static void whenShown(std::function<void(QMessageBox*)> look, const QString& answer) {
        auto* poll = new QTimer;
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, look, answer] {
            QMessageBox* box = shownBox();
            if (!box || !box->isActiveWindow())
                return;
            poll->stop();
            poll->deleteLater();
            look(box);
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == answer)
                    button->click();
            }
        });
        poll->start();
    }

private slots:
    void init() {
        window = std::make_unique<QWidget>();
        window->resize(600, 400);
        QVERIFY(gui::showActive(window.get()));
    }
    void cleanup() { window.reset(); }

    // The explanation gets the room to read in a few lines however short the title is; a short one stays on one.
    void theExplanationReadsInAFewLines_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("lines");
        QTest::newRow("reset") << "Reset All Data" << kResetMessage << 2;
        QTest::newRow("backup created") << "Backup Created"
                                        << "Your settings and data have been backed up successfully." << 1;
        QTest::newRow("backup failed") << "Backup Failed" << kFailureMessage << 4;
    }
    void theExplanationReadsInAFewLines() {
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(int, lines);
        WidgetDialogs dialogs;
        int shownLines = 0;
        int width = 0;
        whenShown(
            [&](QMessageBox* box) {
                auto* informative = box->findChild<QLabel*>("qt_msgbox_informativelabel");
                QVERIFY(informative);
                QCOMPARE(informative->text(), message);
                shownLines = linesOf(informative);
                width = box->width();
            },
            "OK");
        QCOMPARE(dialogs.alert(Dialogs::AlertStyle::informational, title, message, {"OK"}), 0);
        QVERIFY2(shownLines >= 1 && shownLines <= lines,
                 qPrintable(QStringLiteral("%1 lines in a box %2 wide").arg(shownLines).arg(width)));
        // Never wider than half the screen.
        QVERIFY(width <= window->screen()->availableGeometry().width() / 2 + 100);
    }

    // A notice (not waiting for an answer) gets the same room.
    void aNoticeReadsInAFewLinesToo() {
        WidgetDialogs dialogs;
        dialogs.notify(Dialogs::AlertStyle::critical, "Backup Failed", kFailureMessage);
        QMessageBox* notice = nullptr;
        QTRY_VERIFY((notice = shownBox()));
        auto* informative = notice->findChild<QLabel*>("qt_msgbox_informativelabel");
        QVERIFY(informative);
        QVERIFY2(linesOf(informative) <= 4, qPrintable(QString::number(linesOf(informative))));
        notice->button(QMessageBox::Ok)->click();
    }

    // The button that deletes is drawn in the destructive red and takes the destructive role; Escape still cancels.
    void theDestructiveButtonLooksIt() {
        WidgetDialogs dialogs;
        const QColor red = Theme::color(ColorRole::red, window.get());
        QMessageBox::ButtonRole role = QMessageBox::InvalidRole;
        int redOnReset = 0;
        int redOnCancel = 0;
        whenShown(
            [&](QMessageBox* box) {
                for (QAbstractButton* button : box->buttons()) {
                    const int red_ = pixelsNear(button->grab().toImage(), red);
                    if (button->text() == "Reset Everything") {
                        role = box->buttonRole(button);
                        redOnReset = red_;
                    } else {
                        redOnCancel = red_;
                    }
                }
                QVERIFY(box->escapeButton());
                QCOMPARE(box->escapeButton()->text(), QStringLiteral("Cancel"));
            },
            "Cancel");
        const int answer = dialogs.alert(Dialogs::AlertStyle::critical, "Reset All Data", kResetMessage,
                                         {"Cancel", "Reset Everything"}, 0, 1);
        QCOMPARE(answer, 0);
        QCOMPARE(role, QMessageBox::DestructiveRole);
        QVERIFY2(redOnReset > 10, qPrintable(QString::number(redOnReset)));
        QCOMPARE(redOnCancel, 0);
    }

private:
    std::unique_ptr<QWidget> window;
};

QTEST_MAIN(AlertLooksTests)
#include "tst_alert_looks.moc"
