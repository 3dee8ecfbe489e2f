#include "SmallDisk.h"
#include "Workspace.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {
bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

// The desktop's trash on file systems other than the home folder's.
class TrashTest : public QObject {
    Q_OBJECT

private slots:
    // A file on another mount goes to that mount's own trash, recorded relative to the mount; when that trash
    // cannot be used, the file stays and the home trash (on another file system) does not stand in.
    void aFileOnAnotherMountGoesToThatMountsTrashOrStays() {
        SmallDisk disk(1024 * 1024);
        QVERIFY2(disk.isMounted(), qPrintable(disk.error()));
        QTemporaryDir home;
        const QByteArray previousDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        const auto restore = qScopeGuard([&] {
            if (previousDataHome.isEmpty())
                qunsetenv("XDG_DATA_HOME");
            else
                qputenv("XDG_DATA_HOME", previousDataHome);
        });
        DesktopWorkspace desktop;
        const QString trash = disk.filePath(QStringLiteral(".Trash-%1").arg(::getuid()));

        QVERIFY(writeFile(disk.filePath("clips/a b.mp4"), "a"));
        QString reason;
        QVERIFY2(desktop.moveToTrash(disk.filePath("clips/a b.mp4"), &reason), qPrintable(reason));
        QVERIFY(!QFile::exists(disk.filePath("clips/a b.mp4")));
        QCOMPARE(contentsOf(trash + "/files/a b.mp4"), "a");
        const QByteArray record = contentsOf(trash + "/info/a b.mp4.trashinfo");
        QVERIFY2(record.startsWith("[Trash Info]\nPath=clips/a%20b.mp4\nDeletionDate="), record.constData());

        QVERIFY(QDir(trash).removeRecursively());
        QVERIFY(writeFile(trash, "not a folder"));
        QVERIFY(writeFile(disk.filePath("clips/b.mp4"), "b"));
        QVERIFY(!desktop.moveToTrash(disk.filePath("clips/b.mp4"), &reason));
        QCOMPARE(reason, trash + ": Not a directory");
        QCOMPARE(contentsOf(disk.filePath("clips/b.mp4")), "b");
        QVERIFY(!QFileInfo::exists(home.filePath("Trash/files/b.mp4")));
    }
};

QTEST_GUILESS_MAIN(TrashTest)
#include "tst_trash.moc"
