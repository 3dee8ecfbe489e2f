#include "WidgetDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {
QWidget* dialogParent() {
    return QApplication::activeWindow();
}
} // namespace

std::optional<QString> WidgetDialogs::chooseFolder(const FolderRequest& request) {
    QFileDialog dialog(dialogParent(), request.message);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
    if (!request.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, request.prompt);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

QStringList WidgetDialogs::openFiles(const OpenRequest& request) {
    QFileDialog dialog(dialogParent(), request.message);
    dialog.setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QString> WidgetDialogs::saveFile(const SaveRequest& request) {
    QFileDialog dialog(dialogParent(), request.message, request.directory);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    if (!request.suggestedName.isEmpty())
        dialog.selectFile(request.suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

int WidgetDialogs::alert(AlertStyle style, const QString& message, const QString& informativeText,
                         const QStringList& buttons) {
    QMessageBox box(dialogParent());
    box.setIcon(style == AlertStyle::critical  ? QMessageBox::Critical
                : style == AlertStyle::warning ? QMessageBox::Warning
                                               : QMessageBox::Information);
    box.setText(message);
    box.setInformativeText(informativeText);
    QList<QAbstractButton*> added;
    const QStringList titles = buttons.isEmpty() ? QStringList{"OK"} : buttons;
    for (const QString& title : titles)
        added << box.addButton(title, added.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(added.constFirst()));
    box.exec();
    const int index = int(added.indexOf(box.clickedButton()));
    return index < 0 ? 0 : index;
}
