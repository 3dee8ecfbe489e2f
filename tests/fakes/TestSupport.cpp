#include "TestSupport.h"

#include "APIManager.h"
#include "AppPaths.h"
#include "Defaults.h"
#include "Log.h"
#include "Resources.h"
#include "ServiceConfig.h"

#include <QFile>

TestEnvironment::TestEnvironment() {
    dir_.setAutoRemove(true);
    Defaults::setFilePath(defaultsFile());
    AppPaths::setRoot(root());
    Sounds::setFolder(path("sounds"));
    ServiceConfig::setCurrent(ServiceConfig::builtIn());
    APIManager::resetSharedForTesting();
    Log::setSink([this](const QString& line) { lines_.append(line); });
}

TestEnvironment::~TestEnvironment() {
    Log::setSink({});
    APIManager::resetSharedForTesting();
    Defaults::setFilePath({});
    AppPaths::setRoot({});
    Sounds::setFolder({});
    Resources::setRoot({});
}

bool TestEnvironment::hasLineStartingWith(const QString& prefix) const {
    for (const QString& line : lines_) {
        if (line.startsWith(prefix))
            return true;
    }
    return false;
}

void TestEnvironment::resetDefaults() {
    Defaults::setFilePath({});
    QFile::remove(defaultsFile());
    Defaults::setFilePath(defaultsFile());
    APIManager::resetSharedForTesting();
}

ScriptedDialogs::ScriptedDialogs() {
    Dialogs::setCurrent(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    if (&Dialogs::current() == this)
        Dialogs::setCurrent(nullptr);
}

std::optional<QString> ScriptedDialogs::chooseFolder(const FolderRequest& request) {
    folderRequests.append(request);
    return folderAnswer;
}

QStringList ScriptedDialogs::openFiles(const OpenRequest& request) {
    openRequests.append(request);
    return openAnswer;
}

std::optional<QString> ScriptedDialogs::saveFile(const SaveRequest& request) {
    saveRequests.append(request);
    return saveAnswer;
}

int ScriptedDialogs::alert(AlertStyle style, const QString& message, const QString& informativeText,
                           const QStringList& buttons) {
    alerts.append({style, message, informativeText, buttons});
    return alertAnswer;
}

RecordingSoundPlayer::RecordingSoundPlayer() {
    SoundPlayer::setCurrent(this);
}

RecordingSoundPlayer::~RecordingSoundPlayer() {
    if (&SoundPlayer::current() == this)
        SoundPlayer::setCurrent(nullptr);
}

bool RecordingSoundPlayer::play(const QString& name) {
    played.append(name);
    return Sounds::pathForName(name).has_value();
}
