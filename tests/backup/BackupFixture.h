#pragma once

#include "BackupManager.h"
#include "ModelContext.h"
#include "ModelSchema.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <memory>

// Each backup test gets a data folder of its own, a virtual clock and an open store; files the manager
// discards on its thread are gone before the folder is.
struct BackupFixture {
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<VirtualClock> clock;
    std::unique_ptr<ModelContext> store;

    QString backupFolder() const { return env->path("data/Backups"); }

    void setUp(const QDateTime& now = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC)) {
        env = std::make_unique<TestEnvironment>();
        clock = std::make_unique<VirtualClock>(now);
        clock->install();
        store = ModelSchema::openStore(env->path("data/Orvane.store"));
    }

    void tearDown() {
        BackupManager::waitForDiscardedFiles();
        store.reset();
        Clock::setCurrent(nullptr);
        clock.reset();
        env.reset();
    }
};
