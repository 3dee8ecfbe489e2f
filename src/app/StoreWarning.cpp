#include "StoreWarning.h"

#include "Dialogs.h"
#include "ModelContext.h"

#include <QDir>
#include <QFileInfo>

void warnAboutStoreRecovery(const ModelContext& context) {
    const auto aside = context.keptAsidePath();
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
    if (aside) {
        const QFileInfo kept(*aside);
        details << QStringLiteral("The unreadable store was kept as “%1” in %2.")
                       .arg(kept.fileName(), QDir::toNativeSeparators(kept.absolutePath()));
    }
    if (context.isInMemory()) {
        details << QStringLiteral("No new store could be created at %1. Orvane is working with a temporary store: "
                                  "the records of this session will not be kept after quitting.")
                       .arg(QDir::toNativeSeparators(context.filePath()));
    } else {
        details << QStringLiteral("A new, empty store was created in its place.");
    }
    Dialogs::current().alert(Dialogs::AlertStyle::warning, QStringLiteral("Orvane could not open its data store"),
                             details.join(' '), {QStringLiteral("OK")});
}
