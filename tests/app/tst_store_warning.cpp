#include "ModelContext.h"
#include "OrvaneApp.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

class StoreWarningTests : public QObject {
    Q_OBJECT

    static void writeGarbage(const QString& path) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
    }

private slots:
    void aStoreThatOpensIsNotMentioned() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        OrvaneApp app(env.path("store.sqlite"));
        QVERIFY(dialogs.alerts.isEmpty());
        QVERIFY(!app.modelContext().keptAsidePath());
    }

    void anUnreadableStoreKeptAsideIsNamedWithItsFolder() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        QVERIFY(QDir().mkpath(env.path("data")));
        const QString path = env.path("data/store.sqlite");
        writeGarbage(path);
        OrvaneApp app(path);

        const QStringList aside = QDir(env.path("data")).entryList({"store.sqlite.unreadable-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(QFileInfo(env.path("data/" + aside.first())).size(), 8192);
        QCOMPARE(app.modelContext().keptAsidePath(), std::optional<QString>(env.path("data/" + aside.first())));
        QVERIFY(!app.modelContext().isInMemory());

        QCOMPARE(dialogs.alerts.size(), 1);
        const auto& alert = dialogs.alerts.first();
        QCOMPARE(alert.style, Dialogs::AlertStyle::warning);
        QCOMPARE(alert.message, "Orvane could not open its data store");
        QCOMPARE(alert.informativeText, "The unreadable store was kept as “" + aside.first() + "” in " +
                                            QDir::toNativeSeparators(env.path("data")) +
                                            ". A new, empty store was created in its place.");
        QCOMPARE(alert.buttons, QStringList({"OK"}));
    }

    void aStoreInMemorySaysNothingWillBeKept() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        const QString path = "/proc/orvane/cannot/exist.store";
        OrvaneApp app(path);
        QVERIFY(app.modelContext().isInMemory());
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts.first().style, Dialogs::AlertStyle::warning);
        QCOMPARE(dialogs.alerts.first().informativeText,
                 "No new store could be created at " + path +
                     ". Orvane is working with a temporary store: the records of this session will not be kept "
                     "after quitting.");
    }
};

QTEST_MAIN(StoreWarningTests)
#include "tst_store_warning.moc"
