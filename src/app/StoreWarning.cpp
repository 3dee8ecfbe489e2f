#include "StoreWarning.h"

#include "Dialogs.h"
#include "ModelContext.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {

QString counted(int count, const QString& one, const QString& many) {
    return QLocale(QLocale::English).toString(count) + ' ' + (count == 1 ? one : many);
}

// "3,000 clip records, 13 prompt presets and the settings".
QString describe(const QList<ModelContext::RecoveredRecords>& recovered) {
    QStringList parts;
    for (const auto& table : recovered) {
        if (table.table == QLatin1String("VideoMetadata"))
            parts << counted(table.count, QStringLiteral("clip record"), QStringLiteral("clip records"));
        else if (table.table == QLatin1String("PromptPreset"))
            parts << counted(table.count, QStringLiteral("prompt preset"), QStringLiteral("prompt presets"));
        else if (table.table == QLatin1String("ImagePreset"))
            parts << counted(table.count, QStringLiteral("image preset"), QStringLiteral("image presets"));
        else if (table.table == QLatin1String("AppSettings"))
            parts << QStringLiteral("the settings");
        else
            parts << counted(table.count, QStringLiteral("other record"), QStringLiteral("other records"));
    }
    if (parts.size() < 2)
        return parts.join(QString());
    const QString last = parts.takeLast();
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QString where(const QString& path) {
    const QFileInfo file(path);
    return QStringLiteral("“%1” in %2").arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()));
}

void warnAboutKeptJournals(const ModelContext& context) {
    const auto journals = context.keptJournals();
    if (journals.isEmpty())
        return;
    QStringList details;
    for (const auto& journal : journals) {
        switch (journal.why) {
        case ModelContext::KeptJournal::Why::unreadable:
            details << QStringLiteral("Changes that could not be saved in an earlier session were waiting in a "
                                      "journal, but it could not be read, so they were not restored. It was kept as "
                                      "%1.")
                           .arg(where(journal.path));
            break;
        case ModelContext::KeptJournal::Why::partlyRead:
            details << QStringLiteral("Changes that could not be saved in an earlier session were restored, but %1 "
                                      "could not be read and %2 not restored. The journal was kept as %3.")
                           .arg(journal.leftOut == 1
                                    ? QStringLiteral("one of them")
                                    : QLocale(QLocale::English).toString(journal.leftOut) + QStringLiteral(" of them"),
                                journal.leftOut == 1 ? QStringLiteral("was") : QStringLiteral("were"),
                                where(journal.path));
            break;
        case ModelContext::KeptJournal::Why::refused:
            details << QStringLiteral("Changes that could not be saved in an earlier session were refused by the data "
                                      "store, so they were not restored. Their journal was kept as %1.")
                           .arg(where(journal.path));
            break;
        }
    }
    Dialogs::current().alert(Dialogs::AlertStyle::warning, QStringLiteral("Some earlier changes were not restored"),
                             details.join(' '), {QStringLiteral("OK")});
}

} // namespace

void warnAboutStoreRecovery(const ModelContext& context, const std::optional<QString>& keptBackup,
                            const std::optional<QString>& backupNotKept) {
    warnAboutKeptJournals(context);
    const auto aside = context.keptAsidePath() ? context.keptAsidePath() : context.keptAsideEarlier();
    if (!aside && !context.isInMemory() && context.isReadOnly()) {
        Dialogs::current().alert(
            Dialogs::AlertStyle::warning, QStringLiteral("Orvane's data store is read-only"),
            QStringLiteral("The store at %1 cannot be written. Your records are shown, but changes will not be kept "
                           "in it until it can be written: Orvane holds them aside meanwhile and saves them then.")
                .arg(QDir::toNativeSeparators(context.filePath())),
            {QStringLiteral("OK")});
        return;
    }
    if (!aside && !context.isInMemory())
        return;
    QStringList details;
    if (aside && !context.keptAsidePath())
        details << QStringLiteral("At an earlier start the unreadable store was kept as %1.").arg(where(*aside));
    else if (aside)
        details << QStringLiteral("The unreadable store was kept as %1.").arg(where(*aside));
    if (context.isInMemory()) {
        details << QStringLiteral("No new store could be created at %1. Orvane is working with a temporary store: "
                                  "the records of this session will not be kept after quitting.")
                       .arg(QDir::toNativeSeparators(context.filePath()));
    } else if (context.recoveryUnfinished()) {
        details << QStringLiteral("What could still be read from it may not all have been copied into the store in "
                                  "use; the kept store still holds it.");
    } else if (const auto recovered = context.recoveredRecords(); !recovered.isEmpty()) {
        details << QStringLiteral("A new store was created in its place, and what could still be read was copied "
                                  "into it: %1.")
                       .arg(describe(recovered));
    } else {
        details << QStringLiteral("A new, empty store was created in its place.");
    }
    if (keptBackup) {
        details << QStringLiteral("Your last backup, made from the store before it was damaged, was kept as %1.")
                       .arg(where(*keptBackup));
    } else if (backupNotKept) {
        details << QStringLiteral("Your last backup, made from the store before it was damaged, could not be kept "
                                  "(%1). Orvane makes no new backup over it until it can keep it.")
                       .arg(*backupNotKept);
    }
    Dialogs::current().alert(Dialogs::AlertStyle::warning, QStringLiteral("Orvane could not open its data store"),
                             details.join(' '), {QStringLiteral("OK")});
}
