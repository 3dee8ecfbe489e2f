#pragma once

#include "Dialogs.h"

class QWidget;

// Panels and alerts as Qt dialogs. The blocking panels run modally; the non-blocking ones are free-standing, one
// at a time per purpose, and answer when they close.
class WidgetDialogs final : public Dialogs {
public:
    std::optional<QString> chooseFolder(const FolderRequest& request) override;
    QStringList openFiles(const OpenRequest& request) override;
    std::optional<QString> saveFile(const SaveRequest& request) override;
    int alert(AlertStyle style, const QString& message, const QString& informativeText, const QStringList& buttons,
              int escapeButton = -1, int destructiveButton = -1) override;
    void notify(AlertStyle style, const QString& message, const QString& informativeText) override;

    void openFilesAsync(const OpenRequest& request, QObject* context, FilesAnswer answer) override;
    void saveFileAsync(const SaveRequest& request, QObject* context, PathAnswer answer) override;
    void chooseFolderAsync(const FolderRequest& request, QObject* context, PathAnswer answer) override;
};
