#include "GuiTestSupport.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QTest>

class WidgetDialogsTests : public QObject {
    Q_OBJECT
private slots:
    // A sheet that raises a notice and then closes (and is deleted) takes the notice with it unless the notice
    // belongs to the main window.
    void aNoticeOutlivesTheSheetThatRaisedIt() {
        WidgetDialogs dialogs;
        QMainWindow window;
        window.resize(800, 600);
        QVERIFY(gui::showActive(&window));
        QPointer<QDialog> sheet = new QDialog(&window);
        sheet->setWindowModality(Qt::WindowModal);
        sheet->open();
        QVERIFY(gui::showActive(sheet));
        QCOMPARE(QApplication::activeWindow(), sheet.data());

        dialogs.notify(Dialogs::AlertStyle::warning, "The preset could not be saved yet", "Nothing is lost.");
        QPointer<QMessageBox> notice = window.findChild<QMessageBox*>("noticeBox");
        QVERIFY(notice);
        const auto closeNotice = qScopeGuard([&notice] { delete notice; });
        QTRY_VERIFY(notice->isVisible());

        sheet->accept();
        sheet->deleteLater();
        QTRY_VERIFY(!sheet);
        QTest::qWait(50);
        QVERIFY(notice);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QString("The preset could not be saved yet"));
        QCOMPARE(notice->window()->parentWidget(), &window);

        // It stays until it is answered.
        notice->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!notice);
    }
};

QTEST_MAIN(WidgetDialogsTests)
#include "tst_widget_dialogs.moc"
