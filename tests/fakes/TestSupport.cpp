#include "TestSupport.h"

#include "APIManager.h"
#include "AppPaths.h"
#include "Defaults.h"
#include "Log.h"
#include "Resources.h"
#include "ServiceConfig.h"

#include <QFile>
#include <QMetaObject>

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
                           const QStringList& buttons, int escapeButton, int destructiveButton) {
    alerts.append({style, message, informativeText, buttons, escapeButton, destructiveButton});
    return alertAnswer;
}

void ScriptedDialogs::notify(AlertStyle style, const QString& message, const QString& informativeText) {
    notices.append({style, message, informativeText, {}, -1, -1});
}

void ScriptedDialogs::deliver(QObject* context, std::function<void()> now, std::function<void()> held) {
    if (holdAsync)
        pending_.append({QPointer<QObject>(context), std::move(held)});
    else if (context)
        QMetaObject::invokeMethod(context, std::move(now), Qt::QueuedConnection);
}

void ScriptedDialogs::answerPending() {
    const QList<Pending> pending = std::exchange(pending_, {});
    for (const Pending& held : pending) {
        if (held.context)
            held.answer();
    }
}

// An immediate answer carries the scripted value of the moment; a held one reads it when released.
void ScriptedDialogs::openFilesAsync(const OpenRequest& request, QObject* context, FilesAnswer answer) {
    openRequests.append(request);
    deliver(
        context, [paths = openAnswer, answer] { answer(paths); }, [this, answer] { answer(openAnswer); });
}

void ScriptedDialogs::saveFileAsync(const SaveRequest& request, QObject* context, PathAnswer answer) {
    saveRequests.append(request);
    deliver(
        context, [path = saveAnswer, answer] { answer(path); }, [this, answer] { answer(saveAnswer); });
}

void ScriptedDialogs::chooseFolderAsync(const FolderRequest& request, QObject* context, PathAnswer answer) {
    folderRequests.append(request);
    deliver(
        context, [path = folderAnswer, answer] { answer(path); }, [this, answer] { answer(folderAnswer); });
}

RecordingWorkspace::RecordingWorkspace() {
    Workspace::setCurrent(this);
}

RecordingWorkspace::~RecordingWorkspace() {
    if (&Workspace::current() == this)
        Workspace::setCurrent(nullptr);
}

void RecordingWorkspace::revealInFileManager(const QStringList& paths) {
    revealed.append(paths);
}

bool RecordingWorkspace::moveToTrash(const QString& path, QString* reason) {
    trashed.append(path);
    if (trashAnswer && removeFiles)
        QFile::remove(path);
    if (!trashAnswer && reason)
        *reason = trashRefusal;
    return trashAnswer;
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
