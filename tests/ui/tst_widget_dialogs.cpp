#include "GuiTestSupport.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

class WidgetDialogsTests : public QObject {
    Q_OBJECT
    // The file dialog on screen, if any.
    static QFileDialog* openDialog() {
        for (QWidget* widget : QApplication::allWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
                return dialog;
        return nullptr;
    }

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

    // An open panel's filters take a file's extension in any case ("UPPER.JPG"), in the platform's own panel too
    // (which compares patterns letter for letter), and show by their names.
    void openPanelFiltersFindUpperCaseExtensions() {
        WidgetDialogs dialogs;
        QWidget window;
        window.resize(400, 300);
        QVERIFY(gui::showActive(&window));
        Dialogs::OpenRequest request;
        request.message = "Choose a picture";
        request.nameFilters = {"Images (*.png *.jpg)"};
        dialogs.openFilesAsync(request, &window, [](const QStringList&) {});
        QFileDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = window.findChild<QFileDialog*>()) ||
                    (dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())));
        const auto closeDialog = qScopeGuard([&dialog] { dialog->reject(); });
        QCOMPARE(dialog->nameFilters().size(), 1);
        QVERIFY(dialog->testOption(QFileDialog::HideNameFilterDetails));
        const QString filter = dialog->nameFilters().first();
        QVERIFY(filter.startsWith("Images ("));
        const QStringList patterns = filter.mid(8).chopped(1).split(' ');
        const auto matched = [&patterns](const QString& name) {
            return std::any_of(patterns.begin(), patterns.end(), [&name](const QString& pattern) {
                return QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(name).hasMatch();
            });
        };
        for (const char* name : {"a.png", "UPPER.JPG", "Mixed.Png", "b.jpg"})
            QVERIFY2(matched(name), qPrintable(name));
        for (const char* name : {"notes.txt", "a.pngx", "jpg"})
            QVERIFY2(!matched(name), qPrintable(name));
    }

    // Open, save and folder panels alike leave the window under them usable, and a second request for the same
    // purpose brings the open panel forward instead of stacking another (and is answered as cancelled).
    void panelsAreFreeStandingOnePerPurpose() {
        WidgetDialogs dialogs;
        QWidget window;
        window.resize(400, 300);
        int cancelled = 0;
        const std::function<void()> requests[] = {
            [&] {
                dialogs.openFilesAsync({"Choose a picture", {}, false}, &window,
                                       [&](const QStringList& files) { cancelled += files.isEmpty(); });
            },
            [&] {
                dialogs.saveFileAsync({"Save the picture", "a.png", {}, {}}, &window,
                                      [&](const std::optional<QString>& path) { cancelled += !path; });
            },
            [&] {
                dialogs.chooseFolderAsync({"Choose a folder", {}, true}, &window,
                                          [&](const std::optional<QString>& path) { cancelled += !path; });
            },
        };
        for (const auto& request : requests) {
            QVERIFY(gui::showActive(&window));
            request();
            QFileDialog* dialog = nullptr;
            QTRY_VERIFY((dialog = openDialog()));
            QCOMPARE(dialog->parentWidget(), &window);
            QCOMPARE(dialog->windowModality(), Qt::NonModal);
            QTRY_COMPARE(QApplication::activeWindow(), dialog);
            request();
            QTRY_COMPARE(cancelled, 1);
            QCOMPARE(window.findChildren<QFileDialog*>().size(), 1);
            dialog->reject();
            QTRY_VERIFY(!openDialog());
            QTRY_COMPARE(cancelled, 2);
            cancelled = 0;
        }
    }

    // A frame chosen from the keyboard (the path typed, Return) leaves the keyboard where it was: the window that
    // opened the panel is active again with the focus on the control that opened it.
    void aClosedPanelGivesTheKeyboardBackToItsOpener() {
        QTemporaryDir folder;
        QVERIFY(gui::writeImage(folder.filePath("frame.png")));
        WidgetDialogs dialogs;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(new QLineEdit(&window));
        auto* opener = new QPushButton("Add start image", &window);
        layout->addWidget(opener);
        QVERIFY(gui::showActive(&window));
        opener->setFocus(Qt::TabFocusReason);
        QStringList chosen;
        dialogs.openFilesAsync({"Choose start frame image", {}, false}, opener,
                               [&](const QStringList& files) { chosen = files; });
        QFileDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = openDialog()));
        QTRY_COMPARE(QApplication::activeWindow(), dialog);
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setText(folder.filePath("frame.png"));
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_COMPARE(chosen, QStringList{folder.filePath("frame.png")});
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        QCOMPARE(QApplication::focusWidget(), opener);
    }

    // A name typed without an extension is saved with the extension of the chosen type.
    void aSavedNameWithoutExtensionTakesTheChosenType_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("saved");
        QTest::newRow("no extension, PNG") << "sunset" << 0 << "sunset.png";
        QTest::newRow("no extension, JPEG") << "sunset" << 1 << "sunset.jpg";
        QTest::newRow("own extension kept") << "sunset.jpeg" << 0 << "sunset.jpeg";
    }

    void aSavedNameWithoutExtensionTakesTheChosenType() {
        QFETCH(QString, typed);
        QFETCH(int, type);
        QFETCH(QString, saved);
        QTemporaryDir folder;
        WidgetDialogs dialogs;
        QMainWindow window;
        window.resize(800, 600);
        QVERIFY(gui::showActive(&window));
        Dialogs::SaveRequest request;
        request.suggestedName = "Orvane_1.png";
        request.directory = folder.path();
        request.nameFilters = QStringList{"PNG image (*.png)", "JPEG image (*.jpg *.jpeg)"};
        std::optional<QString> answer;
        bool answered = false;
        dialogs.saveFileAsync(request, &window, [&](const std::optional<QString>& path) {
            answer = path;
            answered = true;
        });
        QFileDialog* panel = nullptr;
        QTRY_VERIFY((panel = window.findChild<QFileDialog*>()) && panel->isVisible());
        if (type > 0) {
            // Chosen as a person does, from the type list.
            auto* types = panel->findChild<QComboBox*>("fileTypeCombo");
            QVERIFY(types);
            types->setFocus();
            for (int i = 0; i < type; ++i)
                QTest::keyClick(types, Qt::Key_Down);
            QCOMPARE(types->currentIndex(), type);
        }
        auto* name = panel->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setText(typed);
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_VERIFY(answered);
        QVERIFY(answer);
        QCOMPARE(QFileInfo(*answer).fileName(), saved);
    }
};

QTEST_MAIN(WidgetDialogsTests)
#include "tst_widget_dialogs.moc"
