#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Modal panels and alerts. The application installs the widget implementation; tests install a
// scripted one so nothing ever blocks on a modal window.
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
    // Returns the index of the chosen button.
    virtual int alert(AlertStyle style, const QString& message, const QString& informativeText,
                      const QStringList& buttons) = 0;

    static Dialogs& current();
    // The caller keeps ownership; nullptr restores the inert fallback (every panel cancelled).
    static void setCurrent(Dialogs* dialogs);
};
