// The program's own process on a profile of its own: one copy per profile, and a stop request that quits the way
// the Quit command does.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
const QString kUp = QStringLiteral("MovementPlayer.shared initialized");

// A home of its own: data, settings, caches and the runtime folder under one temporary folder.
class Profile {
public:
    Profile() {
        for (const char* folder : {"home", "data", "config", "cache", "run"})
            QDir().mkpath(dir_.filePath(folder));
        QFile::setPermissions(dir_.filePath("run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString path(const QString& relative) const { return dir_.filePath(relative); }
    QString dataFolder() const { return path("data/Orvane"); }

    // With no display named the program runs offscreen.
    std::unique_ptr<QProcess> start(const QString& display = {}) const {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", path("home"));
        env.insert("XDG_DATA_HOME", path("data"));
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_CACHE_HOME", path("cache"));
        env.insert("XDG_RUNTIME_DIR", path("run"));
        if (display.isEmpty()) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            env.insert("QT_QPA_PLATFORM", "xcb");
            env.insert("DISPLAY", display);
        }
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->start(QStringLiteral(ORVANE_BINARY), {});
        return process;
    }

private:
    QTemporaryDir dir_;
};

// Waits until the process printed `line` (true), or ended, or the time ran out.
bool waitForLine(QProcess& process, QString& output, const QString& line, int timeoutMs = 30000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!output.contains(line)) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(100);
        output += QString::fromUtf8(process.readAllStandardOutput());
    }
    return true;
}

bool endsWithin(QProcess& process, QString& output, int timeoutMs) {
    const bool ended = process.waitForFinished(timeoutMs);
    output += QString::fromUtf8(process.readAllStandardOutput());
    return ended;
}

// A private X server without a window manager; its display (":N"), or nothing when it did not start. Xvfb writes the
// display it picked to standard output, so parallel runs never race for a number.
QString startXvfb(QProcess& xvfb) {
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
    QByteArray number;
    // A busy machine may take seconds to start it: a read that finds nothing yet is no failure.
    QDeadlineTimer deadline(20000);
    if (xvfb.waitForStarted(10000)) {
        while (!number.contains('\n') && !deadline.hasExpired() && xvfb.state() == QProcess::Running) {
            xvfb.waitForReadyRead(100);
            number += xvfb.readAllStandardOutput();
        }
    }
    return number.contains('\n') ? ":" + QString::fromLatin1(number.trimmed()) : QString();
}

void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(5000);
}
} // namespace

class LifecycleTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(QFileInfo(QStringLiteral(ORVANE_BINARY)).isExecutable(), ORVANE_BINARY); }

    // A second start finds the first, brings its window forward and ends before it opens anything; a copy that
    // was killed leaves a lock the next start takes over.
    void oneCopyPerProfile() {
        Profile profile;
        const auto first = profile.start();
        QString firstOutput;
        const auto cleanUp = qScopeGuard([&first] { stop(*first); });
        QVERIFY2(waitForLine(*first, firstOutput, kUp), qPrintable(firstOutput));

        const auto second = profile.start();
        QString secondOutput;
        QVERIFY2(endsWithin(*second, secondOutput, 20000), qPrintable(secondOutput));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(secondOutput.trimmed(),
                 QString("🪟 [App] Orvane is already running on this profile: its window was brought forward"));
        QVERIFY2(waitForLine(*first, firstOutput, "Another start on this profile brought the window forward"),
                 qPrintable(firstOutput));
        QCOMPARE(first->state(), QProcess::Running);

        // Killed: its lock names a process that is gone.
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(5000));
        QVERIFY(QFileInfo::exists(profile.dataFolder() + "/Orvane.lock"));
        const auto third = profile.start();
        const auto stopThird = qScopeGuard([&third] { stop(*third); });
        QString thirdOutput;
        QVERIFY2(waitForLine(*third, thirdOutput, kUp), qPrintable(thirdOutput));
    }

    // SIGTERM (a logout, `systemctl --user stop`) quits as the Quit command does, without asking: the quit
    // backup is written, cut-off downloads go, and the program ends normally.
    void aStopRequestQuitsLikeTheQuitCommand() {
        Profile profile;
        const auto orvane = profile.start();
        const auto cleanUp = qScopeGuard([&orvane] { stop(*orvane); });
        QString output;
        QVERIFY2(waitForLine(*orvane, output, kUp), qPrintable(output));
        const QString backup = profile.dataFolder() + "/Backups/settings_backup.json";
        QFile::remove(backup);
        const QString part = profile.path("run/orvane/minimax_video_1.mp4.part");
        QVERIFY(QDir().mkpath(QFileInfo(part).path()));
        QFile cutOff(part);
        QVERIFY(cutOff.open(QIODevice::WriteOnly) && cutOff.write("half a clip") > 0);
        cutOff.close();

        ::kill(pid_t(orvane->processId()), SIGTERM);
        QVERIFY2(endsWithin(*orvane, output, 30000), qPrintable(output));
        QCOMPARE(orvane->exitStatus(), QProcess::NormalExit);
        QCOMPARE(orvane->exitCode(), 0);
        QVERIFY2(output.contains("Asked to quit by the system"), qPrintable(output));
        QVERIFY2(QFileInfo(backup).size() > 0, qPrintable(output));
        QVERIFY(!QFileInfo::exists(part));
    }

    // A stop request during the start's store salvage and alert is kept: once OK is pressed the program quits as the
    // Quit command does instead of running on.
    void aStopRequestDuringTheStoreAlertIsNotDropped() {
        QProcess xvfb;
        const auto stopX = qScopeGuard([&xvfb] { stop(xvfb); });
        const QString display = startXvfb(xvfb);
        QVERIFY2(!display.isEmpty(), "Xvfb did not start (is the xvfb package installed?)");
        Profile profile;
        QFile store(profile.dataFolder() + "/Orvane.store");
        QVERIFY(QDir().mkpath(profile.dataFolder()) && store.open(QIODevice::WriteOnly) && store.write("not a store") &&
                store.flush());
        const auto orvane = profile.start(display);
        const auto cleanUp = qScopeGuard([&orvane] { stop(*orvane); });
        QString output;
        QVERIFY2(waitForLine(*orvane, output, "The unreadable store was kept"), qPrintable(output));
        ::kill(pid_t(orvane->processId()), SIGTERM);
        while (!waitForLine(*orvane, output, kUp, 200) && orvane->state() == QProcess::Running)
            QProcess::execute("env", {"DISPLAY=" + display, "xdotool", "mousemove", "640", "450", "key", "Return"});
        QVERIFY2(endsWithin(*orvane, output, 20000) && output.contains("Asked to quit by the system"),
                 qPrintable(output));
    }

    // The display going away (the X server ends with the session) ends the program from inside the toolkit; what
    // a quit saves is saved on the way out.
    void theDisplayGoingAwaySavesLikeAQuit() {
        QProcess xvfb;
        const auto stopX = qScopeGuard([&xvfb] { stop(xvfb); });
        const QString display = startXvfb(xvfb);
        QVERIFY2(!display.isEmpty(), "Xvfb did not start (is the xvfb package installed?)");

        Profile profile;
        const auto orvane = profile.start(display);
        const auto cleanUp = qScopeGuard([&orvane] { stop(*orvane); });
        QString output;
        // Printed from the event loop, once the window has shown.
        QVERIFY2(waitForLine(*orvane, output, "Swift Data managers initialized and loaded ONCE"), qPrintable(output));
        const QString backup = profile.dataFolder() + "/Backups/settings_backup.json";
        QFile::remove(backup);

        xvfb.terminate();
        QVERIFY2(endsWithin(*orvane, output, 30000), qPrintable(output));
        QCOMPARE(orvane->exitStatus(), QProcess::NormalExit);
        QVERIFY2(output.contains("ending without a quit"), qPrintable(output));
        QVERIFY2(QFileInfo(backup).size() > 0, qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(LifecycleTests)
#include "tst_lifecycle.moc"
