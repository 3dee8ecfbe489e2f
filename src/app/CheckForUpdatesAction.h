#pragma once

#include <QAction>

class SparkleUpdaterController;

// The "Check for Updates…" command: enabled only while the updater can check.
class CheckForUpdatesAction : public QAction {
    Q_OBJECT
public:
    CheckForUpdatesAction(SparkleUpdaterController& updater, QObject* parent = nullptr);
};
