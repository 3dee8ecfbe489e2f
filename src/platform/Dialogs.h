#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Panels and alerts. The application installs the widget implementation; tests install a scripted one so
// nothing ever blocks on a modal window. Views use the non-blocking panels: the answer arrives later through
// a callback, which is dropped if its context object is gone by then.
class Dialogs {
public:
    enum class AlertStyle { informational, warning, critical };

    struct FolderRequest {
        QString message;
        QString prompt; // the confirm button's text; empty keeps the platform's
        bool canCreateDirectories = true;
    };
    struct OpenRequest {
        QString message;
        QStringList nameFilters; // for example "Images (*.png *.jpg)"
        bool allowsMultipleSelection = false;
    };
    struct SaveRequest {
        QString message;
        QString suggestedName;
        QStringList nameFilters;
        QString directory;
    };

    virtual ~Dialogs() = default;
    virtual std::optional<QString> chooseFolder(const FolderRequest& request) = 0;
    virtual QStringList openFiles(const OpenRequest& request) = 0;
    virtual std::optional<QString> saveFile(const SaveRequest& request) = 0;
    // Returns the index of the chosen button. Escape and closing the alert choose `escapeButton` when it is
    // given, else a button titled "Cancel". The button `destructiveButton`, when given, is the one that deletes
    // something, and looks it.
    virtual int alert(AlertStyle style, const QString& message, const QString& informativeText,
                      const QStringList& buttons, int escapeButton = -1, int destructiveButton = -1) = 0;
    // Tells the user something without waiting for an answer (a clip kept elsewhere, details not saved yet).
    // Returns at once; the notice stays on screen until the user closes it. The default logs the texts.
    virtual void notify(AlertStyle style, const QString& message, const QString& informativeText);

    // Non-blocking panels: each returns at once and later calls `answer` on the GUI thread, once, unless
    // `context` has been destroyed. A cancelled panel answers with an empty list or nullopt. The panel leaves the
    // window under it usable; a second request from the same context with the same message brings the open
    // panel forward and is answered as cancelled. The default
    // implementations ask the blocking panels and answer from the event loop.
    using FilesAnswer = std::function<void(const QStringList& paths)>;
    using PathAnswer = std::function<void(const std::optional<QString>& path)>;
    virtual void openFilesAsync(const OpenRequest& request, QObject* context, FilesAnswer answer);
    virtual void saveFileAsync(const SaveRequest& request, QObject* context, PathAnswer answer);
    virtual void chooseFolderAsync(const FolderRequest& request, QObject* context, PathAnswer answer);

    static Dialogs& current();
    // The caller keeps ownership; nullptr restores the inert fallback (every panel cancelled).
    static void setCurrent(Dialogs* dialogs);
};
