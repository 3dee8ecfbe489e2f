#pragma once

#include "ModelContext.h"
#include "ModelSchema.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

// What every settings test starts from: a private home with two sounds, scripted dialogs and sounds, and an open
// store. Made in a test's init() and dropped in its cleanup().
struct SettingsTestFixture {
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<RecordingSoundPlayer> sounds;
    std::unique_ptr<ModelContext> store;

    static void makeSound(const TestEnvironment& environment, const QString& name) {
        QDir().mkpath(environment.path("sounds"));
        QFile file(environment.path("sounds/" + name + ".oga"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("OggS");
    }

    void setUp() {
        env = std::make_unique<TestEnvironment>();
        makeSound(*env, "Glass");
        makeSound(*env, "bell");
        dialogs = std::make_unique<ScriptedDialogs>();
        sounds = std::make_unique<RecordingSoundPlayer>();
        store = ModelSchema::openStore(env->path("data/Orvane.store"));
    }

    void tearDown() {
        store.reset();
        sounds.reset();
        dialogs.reset();
        env.reset();
    }
};
