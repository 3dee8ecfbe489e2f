#pragma once

#include "Dialogs.h"

class QWidget;

// Panels and alerts as modal Qt dialogs.
class WidgetDialogs final : public Dialogs {
public:
    std::optional<QString> chooseFolder(const FolderRequest& request) override;
    QStringList openFiles(const OpenRequest& request) override;
    std::optional<QString> saveFile(const SaveRequest& request) override;
    int alert(AlertStyle style, const QString& message, const QString& informativeText,
              const QStringList& buttons) override;
};
