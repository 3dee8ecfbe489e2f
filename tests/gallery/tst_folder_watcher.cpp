#include "FileSystemMonitor.h"
#include "GalleryTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

using namespace GalleryTestSupport;

class FolderWatcherTest : public QObject {
    Q_OBJECT

    std::unique_ptr<World> world;
    QString folder;
    QList<FileSystemEvent> events;
    bool allOnThisThread = true;

    std::unique_ptr<FileSystemMonitor> makeMonitor(const QString& directory) {
        auto monitor = std::make_unique<FileSystemMonitor>(directory, [this](const FileSystemEvent& event) {
            allOnThisThread = allOnThisThread && QThread::currentThread() == thread();
            events.append(event);
        });
        monitor->startMonitoring();
        return monitor;
    }
    QString path(const QString& name) const { return folder + '/' + name; }
    // No notice of anything else may still be on its way.
    void settle() { QTest::qWait(100); }

private slots:
    void init() {
        world = std::make_unique<World>();
        folder = world->folder("Videos");
        events.clear();
        allOnThisThread = true;
    }
    void cleanup() { world.reset(); }

    void addedAndRemovedFilesAreReportedOnceOnTheOwnThread() {
        QVERIFY(writeFile(path("present.mp4"), "x"));
        const auto monitor = makeMonitor(folder);
        QVERIFY(monitor->isMonitoring());
        QCOMPARE(monitor->lastContents(), QSet<QString>{path("present.mp4")});

        QVERIFY(writeFile(path("Orvane_new.mp4"), "data"));
        QTRY_COMPARE(events.size(), 1);
        settle();
        QCOMPARE(events, QList<FileSystemEvent>{FileSystemEvent::fileAdded(path("Orvane_new.mp4"))});

        // Writing into a file already there is no event.
        QFile file(path("Orvane_new.mp4"));
        QVERIFY(file.open(QIODevice::Append));
        file.write("more");
        file.close();
        settle();
        QCOMPARE(events.size(), 1);

        QVERIFY(QFile::remove(path("Orvane_new.mp4")));
        QTRY_COMPARE(events.size(), 2);
        settle();
        QCOMPARE(events.last(), FileSystemEvent::fileRemoved(path("Orvane_new.mp4")));
        QVERIFY(allOnThisThread);
    }

    void aRenameIsAnAdditionThenARemoval() {
        QVERIFY(writeFile(path("Orvane_a.mp4"), "a"));
        const auto monitor = makeMonitor(folder);
        QVERIFY(QFile::rename(path("Orvane_a.mp4"), path("Orvane_b.mp4")));
        QTRY_COMPARE(events.size(), 2);
        settle();
        QCOMPARE(events, (QList<FileSystemEvent>{FileSystemEvent::fileAdded(path("Orvane_b.mp4")),
                                                 FileSystemEvent::fileRemoved(path("Orvane_a.mp4"))}));
    }

    void hiddenEntriesAreNeverReported() {
        const auto monitor = makeMonitor(folder);
        QVERIFY(writeFile(path(".orvane-copy-1234.part"), "half"));
        QVERIFY(QFile::rename(path(".orvane-copy-1234.part"), path(".hidden.mp4")));
        QVERIFY(writeFile(path("visible.txt"), "v"));
        QTRY_COMPARE(events.size(), 1);
        settle();
        QCOMPARE(events.first(), FileSystemEvent::fileAdded(path("visible.txt")));
    }

    void aDeletedFolderIsReportedAsChanged() {
        const QString inner = world->folder("Videos/inner");
        folder = inner;
        const auto monitor = makeMonitor(inner);
        QVERIFY(QDir(inner).removeRecursively());
        QTRY_VERIFY(!events.isEmpty());
        QCOMPARE(events.last(), FileSystemEvent::directoryChanged());
        for (const FileSystemEvent& event : std::as_const(events))
            QCOMPARE(event.kind, FileSystemEvent::Kind::directoryChanged);
    }

    // The kernel follows the folder's inode, not its path: moved away, deleted, back again or made anew, the
    // folder is noticed through its parent, once each time, and watched again once it is back.
    void aFolderMovedAwayOrBackIsNoticed() {
        QVERIFY(writeFile(path("Orvane_a.mp4"), "a"));
        const auto monitor = makeMonitor(folder);
        const auto lastIsChanged = [this] {
            return !events.isEmpty() && events.last() == FileSystemEvent::directoryChanged();
        };
        // Changes beside the folder are not its own.
        QVERIFY(writeFile(folder + "_sibling.txt", "s"));
        settle();
        QVERIFY(events.isEmpty());

        const QString away = folder + "_away";
        QVERIFY(QDir().rename(folder, away));
        QTRY_VERIFY(lastIsChanged());
        settle();
        QCOMPARE(events, QList<FileSystemEvent>{FileSystemEvent::directoryChanged()});
        QVERIFY(monitor->lastContents().isEmpty());
        QVERIFY(writeFile(away + "/Orvane_b.mp4", "b")); // no longer the watched folder
        settle();
        QCOMPARE(events.size(), 1);

        QVERIFY(QDir().rename(away, folder));
        QTRY_COMPARE(events.size(), 2);
        settle();
        QCOMPARE(events.last(), FileSystemEvent::directoryChanged());
        QCOMPARE(monitor->lastContents(), (QSet<QString>{path("Orvane_a.mp4"), path("Orvane_b.mp4")}));
        QVERIFY(writeFile(path("Orvane_c.mp4"), "c"));
        QTRY_COMPARE(events.size(), 3);
        QCOMPARE(events.last(), FileSystemEvent::fileAdded(path("Orvane_c.mp4")));

        events.clear();
        QVERIFY(QDir(folder).removeRecursively());
        QTRY_VERIFY(lastIsChanged());
        settle();
        QVERIFY(lastIsChanged());
        QVERIFY(monitor->lastContents().isEmpty());
        events.clear();
        QVERIFY(QDir().mkpath(folder));
        QTRY_COMPARE(events, QList<FileSystemEvent>{FileSystemEvent::directoryChanged()});
        QVERIFY(writeFile(path("Orvane_d.mp4"), "d"));
        QTRY_COMPARE(events.size(), 2);
        settle();
        QCOMPARE(events.last(), FileSystemEvent::fileAdded(path("Orvane_d.mp4")));
        QVERIFY(monitor->isMonitoring());
    }

    void aMissingFolderNeverReports() {
        const QString missing = world->environment.path("missing");
        const auto monitor = makeMonitor(missing);
        QVERIFY(!monitor->isMonitoring());
        QVERIFY(monitor->lastContents().isEmpty());
        QDir().mkpath(missing);
        QVERIFY(writeFile(missing + "/Orvane_a.mp4", "a"));
        settle();
        QVERIFY(events.isEmpty());
    }

    // An owner that lists the folder itself hands over that listing; what changed before it came is still
    // reported, compared with that listing.
    void aFirstListingGivenLaterIsWhatChangesAreComparedWith() {
        QVERIFY(writeFile(path("Orvane_known.mp4"), "k"));
        QVERIFY(writeFile(path("Orvane_gone.mp4"), "g"));
        FileSystemMonitor monitor(
            folder, [this](const FileSystemEvent& event) { events.append(event); },
            FileSystemMonitor::FirstListingLater{});
        monitor.startMonitoring();
        QVERIFY(monitor.lastContents().isEmpty());
        QVERIFY(writeFile(path("Orvane_new.mp4"), "n"));
        settle();
        QVERIFY(events.isEmpty()); // nothing to compare with yet
        QVERIFY(QFile::remove(path("Orvane_gone.mp4")));
        monitor.setFirstListing({path("Orvane_known.mp4"), path("Orvane_gone.mp4")});
        QTRY_COMPARE(events.size(), 2);
        settle();
        QCOMPARE(events, (QList<FileSystemEvent>{FileSystemEvent::fileAdded(path("Orvane_new.mp4")),
                                                 FileSystemEvent::fileRemoved(path("Orvane_gone.mp4"))}));
        QCOMPARE(monitor.lastContents(), (QSet<QString>{path("Orvane_known.mp4"), path("Orvane_new.mp4")}));
        monitor.setFirstListing({}); // only the first one counts
        QCOMPARE(monitor.lastContents().size(), 2);
    }

    void aStoppedMonitorIsSilent() {
        const auto monitor = makeMonitor(folder);
        monitor->stopMonitoring();
        QVERIFY(writeFile(path("Orvane_a.mp4"), "a"));
        settle();
        QVERIFY(events.isEmpty());
    }
};

QTEST_GUILESS_MAIN(FolderWatcherTest)
#include "tst_folder_watcher.moc"
