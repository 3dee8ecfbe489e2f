#include "FileNames.h"
#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "WidgetDialogs.h"
#include "Workspace.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Answers the blocking panels from fixed values, to exercise the default non-blocking ones.
class FixedDialogs final : public Dialogs {
public:
    std::optional<QString> chooseFolder(const FolderRequest&) override { return QString("/tmp/folder"); }
    QStringList openFiles(const OpenRequest&) override { return {"/tmp/a.png", "/tmp/b.png"}; }
    std::optional<QString> saveFile(const SaveRequest&) override { return std::nullopt; }
    int alert(AlertStyle, const QString&, const QString&, const QStringList&, int, int) override { return 0; }
};

QFileDialog* openFileDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}
} // namespace

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class PanelTests : public QObject {
    Q_OBJECT
private slots:
    void defaultPanelsAnswerFromTheEventLoop() {
        FixedDialogs dialogs;
        QObject context;
        QStringList files;
        bool answered = false;
        dialogs.openFilesAsync({}, &context, [&](const QStringList& paths) {
            files = paths;
            answered = true;
        });
        QVERIFY(!answered);
        QTRY_VERIFY(answered);
        QCOMPARE(files, QStringList({"/tmp/a.png", "/tmp/b.png"}));

        std::optional<QString> saved = QString("unset");
        dialogs.saveFileAsync({}, &context, [&](const std::optional<QString>& path) { saved = path; });
        QTRY_VERIFY(!saved.has_value());

        // A context that dies before the answer never hears it.
        int late = 0;
        auto* gone = new QObject;
        dialogs.chooseFolderAsync({}, gone, [&](const std::optional<QString>&) { ++late; });
        delete gone;
        QTest::qWait(20);
        QCOMPARE(late, 0);
    }

    void scriptedPanelsRecordAndAnswer() {
        ScriptedDialogs dialogs;
        QCOMPARE(&Dialogs::current(), &dialogs);
        dialogs.openAnswer = {"/pictures/one.jpg"};
        QObject context;
        QStringList files;
        Dialogs::OpenRequest request;
        request.message = "Choose reference images";
        request.allowsMultipleSelection = true;
        Dialogs::current().openFilesAsync(request, &context, [&](const QStringList& paths) { files = paths; });
        QCOMPARE(dialogs.openRequests.size(), 1);
        QCOMPARE(dialogs.openRequests.constFirst().message, QString("Choose reference images"));
        QVERIFY(files.isEmpty());
        QTRY_COMPARE(files, QStringList({"/pictures/one.jpg"}));

        // Held panels wait for the test, and answer with what is scripted then.
        dialogs.holdAsync = true;
        std::optional<QString> saved;
        int saveAnswers = 0;
        Dialogs::current().saveFileAsync({"Save", "Orvane_1.png", {}, {}}, &context,
                                         [&](const std::optional<QString>& path) {
                                             saved = path;
                                             ++saveAnswers;
                                         });
        auto* closedView = new QObject;
        int folderAnswers = 0;
        Dialogs::current().chooseFolderAsync({}, closedView, [&](const std::optional<QString>&) { ++folderAnswers; });
        QCOMPARE(dialogs.pendingAsync(), 2);
        QCOMPARE(dialogs.saveRequests.constFirst().suggestedName, QString("Orvane_1.png"));
        QTest::qWait(10);
        QCOMPARE(saveAnswers, 0);
        dialogs.saveAnswer = "/out/Orvane_1.png";
        delete closedView;
        dialogs.answerPending();
        QCOMPARE(saveAnswers, 1);
        QCOMPARE(saved, std::optional<QString>("/out/Orvane_1.png"));
        QCOMPARE(folderAnswers, 0);
        QCOMPARE(dialogs.pendingAsync(), 0);
    }

    void widgetPanelsDoNotBlock() {
        QTemporaryDir dir;
        const QString existing = dir.filePath("photo.png");
        QVERIFY(gui::writeImage(existing));
        QWidget window;
        window.resize(200, 100);
        QVERIFY(gui::showActive(&window));
        WidgetDialogs dialogs;

        QStringList opened;
        int openAnswers = 0;
        Dialogs::OpenRequest request;
        request.message = "Add images";
        dialogs.openFilesAsync(request, &window, [&](const QStringList& paths) {
            opened = paths;
            ++openAnswers;
        });
        // The call has returned with the panel open.
        QFileDialog* panel = nullptr;
        QTRY_VERIFY((panel = openFileDialog()) != nullptr);
        QCOMPARE(panel->windowTitle(), QString("Add images"));
        QCOMPARE(openAnswers, 0);
        panel->setDirectory(dir.path());
        panel->selectFile(existing);
        static_cast<QDialog*>(panel)->accept(); // as the Open button does
        QTRY_COMPARE(openAnswers, 1);
        QCOMPARE(opened, QStringList({existing}));

        // Cancelled save: nullopt.
        std::optional<QString> saved = QString("unset");
        dialogs.saveFileAsync({"Save Image", "Orvane_2.png", {"PNG (*.png)"}, dir.path()}, &window,
                              [&](const std::optional<QString>& path) { saved = path; });
        QTRY_VERIFY((panel = openFileDialog()) != nullptr);
        panel->reject();
        QTRY_VERIFY(!saved.has_value());

        // A view closed while its panel is open is not called back.
        auto* view = new QObject;
        int viewAnswers = 0;
        dialogs.chooseFolderAsync({"Choose a folder", {}, true}, view,
                                  [&](const std::optional<QString>&) { ++viewAnswers; });
        QTRY_VERIFY((panel = openFileDialog()) != nullptr);
        delete view;
        panel->setDirectory(dir.path());
        static_cast<QDialog*>(panel)->accept(); // as the Open button does
        QTRY_VERIFY(openFileDialog() == nullptr);
        QTest::qWait(10);
        QCOMPARE(viewAnswers, 0);
    }

    void escapeInAnAlertChoosesCancelWhereverItStands() {
        QWidget window;
        window.resize(200, 100);
        QVERIFY(gui::showActive(&window));
        WidgetDialogs dialogs;
        const auto answerWith = [&](const QStringList& buttons, auto&& close, int escapeButton = -1) {
            QTimer::singleShot(0, &window, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                close(box);
            });
            return dialogs.alert(Dialogs::AlertStyle::critical, "Reset All Data", "Nothing stays.", buttons,
                                 escapeButton);
        };
        const auto escape = [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); };
        const auto closeWindow = [](QMessageBox* box) { box->close(); };
        // Escape or closing the alert never runs the destructive choice.
        QCOMPARE(answerWith({"Cancel", "Reset Everything"}, escape), 0);
        QCOMPARE(answerWith({"Cancel", "Reset Everything"}, closeWindow), 0);
        QCOMPARE(answerWith({"Delete", "Cancel"}, escape), 1);
        QCOMPARE(answerWith({"Download", "Remind Me Later"}, escape), 1);
        // Return takes the first button.
        const auto enter = [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); };
        QCOMPARE(answerWith({"Cancel", "Reset Everything"}, enter), 0);
        // A named escape button is what Escape, closing and Return choose when it comes first.
        QCOMPARE(answerWith({"Keep Working", "Quit Anyway"}, escape, 0), 0);
        QCOMPARE(answerWith({"Keep Working", "Quit Anyway"}, closeWindow, 0), 0);
        QCOMPARE(answerWith({"Keep Working", "Quit Anyway"}, enter, 0), 0);
        QCOMPARE(answerWith({"Quit Anyway", "Cancel", "Keep Working"}, escape, 2), 2);
    }

    void alertTextsAreShownAsTyped() {
        QWidget window;
        window.resize(200, 100);
        QVERIFY(gui::showActive(&window));
        WidgetDialogs dialogs;
        // A name from the user or from a file may look like markup; it is shown as it is.
        const QString name = "Delete '<b>x</b><img src=\"/tmp/a.png\">'?";
        QStringList formats;
        QTimer::singleShot(0, &window, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text().contains("<b>"))
                    formats << (label->textFormat() == Qt::PlainText ? "plain" : "other");
            }
            box->close();
        });
        dialogs.alert(Dialogs::AlertStyle::warning, name, name, {"Delete", "Cancel"});
        QCOMPARE(formats, QStringList({"plain", "plain"}));
    }

    void revealFallsBackToOpeningTheFolders() {
        QCOMPARE(DesktopWorkspace::foldersOf({"/a/b/one.png", "/a/b/two.png", "", "/a/c/three.png"}),
                 QStringList({"/a/b", "/a/c"}));
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        // No file manager answers under this name, whether or not a session bus exists.
        DesktopWorkspace workspace("org.orvane.test.NoFileManager");
        workspace.revealInFileManager({"/a/b/one.png", "/a/b/two.png"});
        QTRY_COMPARE_WITH_TIMEOUT(recorder.urls.size(), 1, 6000);
        QCOMPARE(recorder.urls.constFirst(), QUrl::fromLocalFile("/a/b"));
        workspace.revealInFileManager({});
        QTest::qWait(20);
        QCOMPARE(recorder.urls.size(), 1);
        QDesktopServices::unsetUrlHandler("file");
    }

    void trashMovesTheFileAway() {
        QTemporaryDir dir;
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
        QDir().mkpath(dir.filePath("data"));
        const QString file = dir.filePath("clip.mp4");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("not really a clip");
        out.close();
        DesktopWorkspace workspace;
        QVERIFY(workspace.moveToTrash(file, nullptr));
        QVERIFY(!QFile::exists(file));
        // A refusal comes with the system's reason.
        QString reason;
        QVERIFY(!workspace.moveToTrash(dir.filePath("missing.mp4"), &reason));
        QVERIFY2(!reason.isEmpty(), "no reason for a missing file");

        // A name that is not UTF-8 goes by its bytes; a second one of that name gets a name of its own there.
        const QByteArray raw = QFile::encodeName(dir.path()) + "/Orvane_\xe9t\xe9.mp4";
        const QByteArray trash = QFile::encodeName(dir.filePath("data/Trash"));
        for (const QByteArray& trashed : {QByteArray("Orvane_\xe9t\xe9.mp4"), QByteArray("Orvane_\xe9t\xe9.mp4.2")}) {
            const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0 && ::close(fd) == 0);
            QVERIFY(workspace.moveToTrash(FileNames::decode(raw), nullptr));
            QVERIFY(::access(raw.constData(), F_OK) != 0);
            QVERIFY(::access((trash + "/files/" + trashed).constData(), F_OK) == 0);
            QFile info;
            const int infoFd = ::open((trash + "/info/" + trashed + ".trashinfo").constData(), O_RDONLY | O_CLOEXEC);
            QVERIFY(infoFd >= 0 && info.open(infoFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
            QVERIFY(info.readAll().startsWith("[Trash Info]\nPath=" + FileNames::percentEncoded(raw) + "\n"));
        }
        // The raw name's own way reports the system's reason too.
        QVERIFY(!workspace.moveToTrash(FileNames::decode(raw), &reason));
        QCOMPARE(reason, QString::fromLocal8Bit(std::strerror(ENOENT)));

        RecordingWorkspace recording;
        QCOMPARE(&Workspace::current(), &recording);
        Workspace::current().revealInFileManager({"/x/y.png"});
        recording.trashAnswer = false;
        QVERIFY(!Workspace::current().moveToTrash("/x/y.png", nullptr));
        QCOMPARE(recording.revealed, QList<QStringList>({{"/x/y.png"}}));
        QCOMPARE(recording.trashed, QStringList({"/x/y.png"}));
    }
};

QTEST_MAIN(PanelTests)
#include "tst_panels.moc"
