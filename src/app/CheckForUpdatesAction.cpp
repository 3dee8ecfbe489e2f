#include "CheckForUpdatesAction.h"

#include "SparkleUpdaterController.h"

CheckForUpdatesAction::CheckForUpdatesAction(SparkleUpdaterController& updater, QObject* parent)
    : QAction(QStringLiteral("Check for Updates…"), parent) {
    setObjectName("checkForUpdatesAction");
    setMenuRole(QAction::ApplicationSpecificRole);
    setEnabled(updater.canCheckForUpdates());
    connect(&updater, &SparkleUpdaterController::canCheckForUpdatesChanged, this, &QAction::setEnabled);
    connect(this, &QAction::triggered, &updater, [&updater] { updater.updaterController().checkForUpdates(); });
}
