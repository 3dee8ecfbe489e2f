#include "SparkleUpdaterController.h"

SparkleUpdaterController::SparkleUpdaterController(QObject* parent)
    : QObject(parent), updaterController_(new StandardUpdaterController(this)) {
    auto deliver = [this](bool value) {
        if (canCheckForUpdates_ == value)
            return;
        canCheckForUpdates_ = value;
        emit canCheckForUpdatesChanged(value);
    };
    // The initial value, then every change, delivered on the GUI thread.
    deliver(updaterController_->canCheckForUpdates());
    canCheckObservation_ = connect(updaterController_, &StandardUpdaterController::canCheckForUpdatesChanged, this,
                                   deliver, Qt::QueuedConnection);
}
