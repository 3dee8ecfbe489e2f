#include "StoreWarning.h"

#include "Dialogs.h"
#include "ModelContext.h"

#include <QDir>
#include <QFileInfo>

void warnAboutStoreRecovery(const ModelContext& context) {
    const auto aside = context.keptAsidePath();
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
