#include "AppPaths.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <future>

class SingleInstanceTests : public QObject {
    Q_OBJECT

private slots:
    // The profile has one owner at a time, whether the other is in this process or in another, and it is free
    // again as soon as its owner goes, however that owner ended.
    void oneOwnerAtATime() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        {
            SingleInstance first(folder.path());
            QVERIFY(first.acquire());
            SingleInstance second(folder.path());
            QVERIFY(!second.acquire());

            // Another process asking for the same lock without waiting is refused as well.
            QProcess other;
            other.start("flock", {"--nonblock", "--exclusive", first.lockFilePath(), "true"});
            QVERIFY(other.waitForFinished(10000));
            QCOMPARE(other.exitStatus(), QProcess::NormalExit);
            QCOMPARE(other.exitCode(), 1);
        }
        // The file stays behind its owner and the next start takes it.
        SingleInstance next(folder.path());
        QVERIFY(QFile::exists(next.lockFilePath()));
        QVERIFY(next.acquire());

        // A holder killed outright leaves nothing that keeps a start out.
        QTemporaryDir other;
        QProcess holder;
        const QString lock = SingleInstance(other.path()).lockFilePath();
        holder.start("flock", {"--exclusive", "--no-fork", lock, "sh", "-c", "echo held; exec sleep 30"});
        QVERIFY(holder.waitForStarted(10000));
        QByteArray said;
        while (!said.contains("held") && holder.waitForReadyRead(10000))
            said += holder.readAllStandardOutput();
        QVERIFY2(said.contains("held"), said.constData());
        SingleInstance blocked(other.path());
        QVERIFY(!blocked.acquire());
        holder.kill();
        QVERIFY(holder.waitForFinished(10000));
        SingleInstance after(other.path());
        QVERIFY(after.acquire());
    }

    // Lock files made by the toolkit's own locking, as an older copy holds them, are understood both ways: a live
    // one keeps this copy out, and the note this copy writes names a live holder to the toolkit.
    void theToolkitsLockFilesAreUnderstoodBothWays() {
        QTemporaryDir folder;
        SingleInstance probe(folder.path());
        {
            QLockFile older(probe.lockFilePath());
            QVERIFY(older.tryLock(0));
            SingleInstance start(folder.path());
            QVERIFY(!start.acquire());
        }
        // Over a longer note a holder left behind.
        {
            QFile left(probe.lockFilePath());
            QVERIFY(left.open(QIODevice::WriteOnly));
            left.write("4000000000\nan-application-with-a-long-name\na-host-with-a-much-longer-name\n");
        }
        SingleInstance owner(folder.path());
        QVERIFY(owner.acquire());
        QLockFile older(owner.lockFilePath());
        QVERIFY(!older.tryLock(0));
        QCOMPARE(older.error(), QLockFile::LockFailedError);
        qint64 pid = 0;
        QString host, application;
        QVERIFY(older.getLockInfo(&pid, &host, &application));
        QCOMPARE(pid, QCoreApplication::applicationPid());
        QCOMPARE(host, QSysInfo::machineHostName());
        QCOMPARE(application, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QFile note(owner.lockFilePath());
        QVERIFY(note.open(QIODevice::ReadOnly));
        QCOMPARE(note.readAll().split('\n'),
                 QByteArray(QByteArray::number(pid) + '\n' + application.toUtf8() + '\n' + host.toUtf8() + '\n')
                     .split('\n'));
    }

    // A lock file that cannot be written (a folder in its place) or not even opened still leaves one owner: the
    // lock is taken read-only, or else the first start's socket answers the second.
    void aProfileThatCannotBeLockedStillHasOneOwner_data() {
        QTest::addColumn<bool>("folderInPlace");
        QTest::newRow("a folder in its place") << true;
        QTest::newRow("a link to a missing folder") << false;
    }
    void aProfileThatCannotBeLockedStillHasOneOwner() {
        QFETCH(bool, folderInPlace);
        QTemporaryDir folder;
        const QString lock = folder.filePath("Orvane.lock");
        QVERIFY(folderInPlace ? QDir().mkdir(lock) : QFile::link("/nonexistent/folder/Orvane.lock", lock));
        SingleInstance first(folder.path());
        QVERIFY(first.acquire());
        QVERIFY(!SingleInstance(folder.path()).acquire());
    }

    // Without a runtime folder the socket goes to the user's own cache folder, never to the toolkit's stand-in in the
    // temporary folder: its name is known to every user, and when another holds it the socket lands in the temporary
    // folder itself.
    void theSocketNeverGoesToASharedFolder() {
        QTemporaryDir root;
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        AppPaths::setRoot(root.path());
        const QString socketFolder = QFileInfo(SingleInstance(root.filePath("data")).serverName()).path();
        const QString cacheFolder = AppPaths::cacheFolder();
        AppPaths::setRoot({});
        qputenv("XDG_RUNTIME_DIR", runtime);
        QCOMPARE(socketFolder, cacheFolder);
    }

    // The owner answers only once it listens, after its window is up; a later start keeps asking until then.
    void aLaterStartWaitsUntilTheOwnerListens() {
        QTemporaryDir folder;
        SingleInstance owner(folder.path());
        QVERIFY(owner.acquire());
        QSignalSpy asked(&owner, &SingleInstance::activationRequested);
        auto answered = std::async(std::launch::async, [path = folder.path()] {
            SingleInstance later(path);
            return later.activateRunning(10000);
        });
        QTest::qWait(300);
        QCOMPARE(asked.count(), 0);
        owner.listen();
        QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 10000);
        while (answered.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            QCoreApplication::processEvents();
        QVERIFY(answered.get());
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTests)
#include "tst_single_instance.moc"
