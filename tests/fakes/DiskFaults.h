#pragma once

#include "CheckedWrite.h"

// While it lives, the disk under every checked write fails each sync with `syncError` (an errno value; 0 for
// none) and keeps `lostBytes` fewer bytes of each file than were written to it.
struct FailingDisk {
    FailingDisk(int syncError, qint64 lostBytes) { CheckedWrite::setDiskFaultsForTesting(syncError, lostBytes); }
    ~FailingDisk() { CheckedWrite::setDiskFaultsForTesting(0, 0); }
    FailingDisk(const FailingDisk&) = delete;
    FailingDisk& operator=(const FailingDisk&) = delete;
};
