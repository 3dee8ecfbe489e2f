#pragma once

#include "StandardUpdaterController.h"

#include <QObject>

// Owns the updater and republishes whether a check is possible now.
class SparkleUpdaterController : public QObject {
    Q_OBJECT
public:
    explicit SparkleUpdaterController(QObject* parent = nullptr);

    bool canCheckForUpdates() const { return canCheckForUpdates_; }
    StandardUpdaterController& updaterController() { return *updaterController_; }
    bool didStart() const { return didStart_; }
    void setDidStart(bool value) { didStart_ = value; }

signals:
    void canCheckForUpdatesChanged(bool canCheck);

private:
    bool canCheckForUpdates_ = false;
    StandardUpdaterController* updaterController_;
    QMetaObject::Connection canCheckObservation_;
    bool didStart_ = false;
};
