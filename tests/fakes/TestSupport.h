#pragma once

#include "Dialogs.h"
#include "Sounds.h"
#include "Workspace.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>

// Gives a test its own user defaults, data folders and bundle, all below one temporary folder, and
// captures console lines instead of printing them.
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString root() const { return dir_.path(); }
    QString path(const QString& relative) const { return dir_.filePath(relative); }
    QString defaultsFile() const { return path("config/Orvane.ini"); }
    // Lines printed so far, and how to clear them.
    const QStringList& logLines() const { return lines_; }
    void clearLog() { lines_.clear(); }
    int indexOfLine(const QString& line) const { return int(lines_.indexOf(line)); }
    bool hasLineStartingWith(const QString& prefix) const;
    // Starts afresh: new defaults file contents, shared key store dropped.
    void resetDefaults();

private:
    QTemporaryDir dir_;
    QStringList lines_;
};

// Answers panels and alerts from a script and records what was asked.
class ScriptedDialogs final : public Dialogs {
public:
    struct Alert {
        AlertStyle style;
        QString message;
        QString informativeText;
        QStringList buttons;
        int escapeButton = -1;
        int destructiveButton = -1;
    };
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    std::optional<QString> folderAnswer;
    QStringList openAnswer;
    std::optional<QString> saveAnswer;
    int alertAnswer = 0;

    QList<FolderRequest> folderRequests;
    QList<OpenRequest> openRequests;
    QList<SaveRequest> saveRequests;
    QList<Alert> alerts;
    QList<Alert> notices; // non-blocking notices, with no buttons

    std::optional<QString> chooseFolder(const FolderRequest& request) override;
    QStringList openFiles(const OpenRequest& request) override;
    std::optional<QString> saveFile(const SaveRequest& request) override;
    int alert(AlertStyle style, const QString& message, const QString& informativeText, const QStringList& buttons,
              int escapeButton = -1, int destructiveButton = -1) override;
    void notify(AlertStyle style, const QString& message, const QString& informativeText) override;

    // Non-blocking panels are recorded in the same lists and answered with the same scripted answers, from
    // the event loop; with `holdAsync` they wait until answerPending().
    bool holdAsync = false;
    void openFilesAsync(const OpenRequest& request, QObject* context, FilesAnswer answer) override;
    void saveFileAsync(const SaveRequest& request, QObject* context, PathAnswer answer) override;
    void chooseFolderAsync(const FolderRequest& request, QObject* context, PathAnswer answer) override;
    int pendingAsync() const { return int(pending_.size()); }
    // Answers every held panel (whose context still lives) with the current scripted answers.
    void answerPending();

private:
    void deliver(QObject* context, std::function<void()> now, std::function<void()> held);
    struct Pending {
        QPointer<QObject> context;
        std::function<void()> answer;
    };
    QList<Pending> pending_;
};

// Records reveals and trash moves instead of reaching the desktop.
class RecordingWorkspace final : public Workspace {
public:
    RecordingWorkspace();
    ~RecordingWorkspace() override;
    QList<QStringList> revealed;
    QStringList trashed;
    // What moveToTrash answers (with `trashRefusal` as the reason when false); when true and `removeFiles` is
    // set, the file is also deleted.
    bool trashAnswer = true;
    QString trashRefusal = QStringLiteral("Permission denied");
    bool removeFiles = false;
    void revealInFileManager(const QStringList& paths) override;
    bool moveToTrash(const QString& path, QString* reason) override;
};

// Records the sounds that would have played.
class RecordingSoundPlayer final : public SoundPlayer {
public:
    RecordingSoundPlayer();
    ~RecordingSoundPlayer() override;
    QStringList played;
    bool play(const QString& name) override;
};
