#include "WidgetDialogs.h"

#include "Theme.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

#include <algorithm>

namespace {
QWidget* dialogParent() {
    return QApplication::activeWindow();
}

// A notice outlives the sheet or form that raised it: it goes to the outermost window above the active one
// (the main window for its sheets), or stands alone.
QWidget* noticeParent() {
    QWidget* window = QApplication::activeWindow();
    while (window && window->parentWidget())
        window = window->parentWidget()->window();
    return window;
}

void configureFolder(QFileDialog& dialog, const Dialogs::FolderRequest& request) {
    dialog.setWindowTitle(request.message);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
    if (!request.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, request.prompt);
}

// A file's extension is matched whatever its case ("UPPER.JPG", "Photo.Png"): the desktop's own panel compares
// patterns letter for letter, so every letter of a pattern becomes the set of its two cases. The filters then
// show by their names only.
QStringList caseBlind(const QStringList& filters) {
    static const QRegularExpression patterns(QStringLiteral("^(.*)\\(([^()]*)\\)\\s*$"));
    QStringList blind;
    for (const QString& filter : filters) {
        const QRegularExpressionMatch match = patterns.match(filter);
        if (!match.hasMatch()) {
            blind << filter;
            continue;
        }
        QString rewritten;
        for (const QChar c : match.captured(2)) {
            if (c.isLetter() && c.toLower() != c.toUpper())
                rewritten += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
            else
                rewritten += c;
        }
        blind << match.captured(1) + QLatin1Char('(') + rewritten + QLatin1Char(')');
    }
    return blind;
}

void setNameFilters(QFileDialog& dialog, const QStringList& filters) {
    if (filters.isEmpty())
        return;
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(caseBlind(filters));
}

void configureOpen(QFileDialog& dialog, const Dialogs::OpenRequest& request) {
    dialog.setWindowTitle(request.message);
    dialog.setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    setNameFilters(dialog, request.nameFilters);
}

// The first extension a name filter lists ("PNG image (*.png)" gives "png"); empty for "All files (*)".
QString firstExtension(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    return pattern.match(filter).captured(1);
}

// The extension of the request's filter the dialog reports as chosen: the dialog may report it as shown (by its
// name only) or as set (case-blind).
QString chosenExtension(const QStringList& filters, const QString& chosen) {
    const QStringList blind = caseBlind(filters);
    for (qsizetype i = 0; i < filters.size(); ++i) {
        if (chosen == filters[i] || chosen == blind[i] || blind[i].startsWith(chosen.trimmed() + QLatin1String(" (")))
            return firstExtension(filters[i]);
    }
    return {};
}

void configureSave(QFileDialog& dialog, const Dialogs::SaveRequest& request) {
    dialog.setWindowTitle(request.message);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!request.directory.isEmpty())
        dialog.setDirectory(request.directory);
    if (!request.nameFilters.isEmpty()) {
        setNameFilters(dialog, request.nameFilters);
        // A name typed without an extension takes the one of the chosen type.
        const QStringList filters = request.nameFilters;
        dialog.setDefaultSuffix(chosenExtension(filters, dialog.selectedNameFilter()));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& filter) {
            dialog.setDefaultSuffix(chosenExtension(filters, filter));
        });
    }
    if (!request.suggestedName.isEmpty())
        dialog.selectFile(request.suggestedName);
}

// The panels on screen, each with what it is for: the kind of panel, its message and who asked.
struct OpenPanel {
    QString purpose;
    QPointer<QObject> context;
    QPointer<QFileDialog> dialog;
};

QList<OpenPanel>& openPanels() {
    static QList<OpenPanel> panels;
    return panels;
}

// One panel at a time per purpose: a panel already open for it comes forward, and the new request is answered as
// cancelled, from the event loop.
bool broughtForward(const QString& purpose, QObject* context, std::function<void()> cancel) {
    QList<OpenPanel>& panels = openPanels();
    panels.removeIf([](const OpenPanel& panel) { return !panel.dialog || !panel.context; });
    for (const OpenPanel& panel : panels) {
        if (panel.purpose != purpose || panel.context != context)
            continue;
        panel.dialog->raise();
        panel.dialog->activateWindow();
        QMetaObject::invokeMethod(context, std::move(cancel), Qt::QueuedConnection);
        return true;
    }
    return false;
}

// Opens the dialog free-standing: the window under it stays usable. `finish` runs when it closes, unless
// `context` is gone by then. Closing gives the activation back to the window that opened it (a window system
// leaves it nowhere, and the keyboard dead) and the focus to the control that had it.
void openLater(QFileDialog* dialog, const QString& purpose, QObject* context,
               std::function<void(QFileDialog*, bool accepted)> finish) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::NonModal);
    openPanels().append({purpose, context, dialog});
    const QPointer<QWidget> opener = QApplication::focusWidget();
    const QPointer<QWidget> window = dialog->parentWidget();
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, opener, window] {
        if (!window || !window->isVisible())
            return;
        const QWidget* active = QApplication::activeWindow();
        if (!active || active == dialog)
            window->activateWindow();
        if (opener && opener->window() == window && opener->isVisible() && opener->isEnabled())
            opener->setFocus(Qt::OtherFocusReason);
    });
    QObject::connect(dialog, &QFileDialog::finished, context ? context : dialog,
                     [dialog, finish = std::move(finish)](int result) { finish(dialog, result == QDialog::Accepted); });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

QString purposeOf(const char* kind, const QString& message) {
    return QLatin1String(kind) + QLatin1Char('\n') + message;
}
} // namespace

std::optional<QString> WidgetDialogs::chooseFolder(const FolderRequest& request) {
    QFileDialog dialog(dialogParent());
    configureFolder(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

QStringList WidgetDialogs::openFiles(const OpenRequest& request) {
    QFileDialog dialog(dialogParent());
    configureOpen(dialog, request);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QString> WidgetDialogs::saveFile(const SaveRequest& request) {
    QFileDialog dialog(dialogParent());
    configureSave(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

namespace {
void setTexts(QMessageBox& box, Dialogs::AlertStyle style, const QString& message, const QString& informativeText) {
    box.setIcon(style == Dialogs::AlertStyle::critical  ? QMessageBox::Critical
                : style == Dialogs::AlertStyle::warning ? QMessageBox::Warning
                                                        : QMessageBox::Information);
    box.setText(message);
    box.setInformativeText(informativeText);
    // Names of presets and files go into these texts: never read them as markup. The box passes the format on
    // to its main text only.
    box.setTextFormat(Qt::PlainText);
    auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    if (informative)
        informative->setTextFormat(Qt::PlainText);
    // The box takes the width of its title and wraps the explanation into a narrow column under it: give the
    // explanation the width of its one line, up to about seventy characters and half the screen.
    QLabel* body = informative && !informativeText.isEmpty()
                       ? informative
                       : box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!body)
        return;
    const QFontMetrics metrics(body->font());
    int room = metrics.averageCharWidth() * 70;
    if (const QScreen* screen = box.screen())
        room = std::min(room, screen->availableGeometry().width() / 2);
    body->setMinimumWidth(std::min(room, metrics.horizontalAdvance(body->text())));
}
} // namespace

void WidgetDialogs::notify(AlertStyle style, const QString& message, const QString& informativeText) {
    auto* box = new QMessageBox(noticeParent());
    box->setObjectName(QStringLiteral("noticeBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    setTexts(*box, style, message, informativeText);
    box->setStandardButtons(QMessageBox::Ok);
    box->show();
}

int WidgetDialogs::alert(AlertStyle style, const QString& message, const QString& informativeText,
                         const QStringList& buttons, int escapeButton, int destructiveButton) {
    QMessageBox box(dialogParent());
    setTexts(box, style, message, informativeText);
    QList<QAbstractButton*> added;
    const QStringList titles = buttons.isEmpty() ? QStringList{"OK"} : buttons;
    for (const QString& title : titles) {
        // The named escape button, else "Cancel", is what Escape and closing the alert choose, wherever it
        // stands; without either the box picks its only other reject button, if any.
        const bool cancels = escapeButton >= 0 ? added.size() == escapeButton : title == QLatin1String("Cancel");
        const bool destroys = added.size() == destructiveButton;
        QPushButton* button = box.addButton(title, destroys                      ? QMessageBox::DestructiveRole
                                                   : added.isEmpty() && !cancels ? QMessageBox::AcceptRole
                                                                                 : QMessageBox::RejectRole);
        if (cancels)
            box.setEscapeButton(button);
        if (destroys) {
            QPalette palette = button->palette();
            palette.setColor(QPalette::ButtonText, Theme::color(ColorRole::red, &box));
            button->setPalette(palette);
        }
        added << button;
    }
    box.setDefaultButton(qobject_cast<QPushButton*>(added.constFirst()));
    box.exec();
    const int index = int(added.indexOf(box.clickedButton()));
    return index < 0 ? 0 : index;
}

void WidgetDialogs::openFilesAsync(const OpenRequest& request, QObject* context, FilesAnswer answer) {
    const QString purpose = purposeOf("open", request.message);
    if (broughtForward(purpose, context, [answer] { answer({}); }))
        return;
    auto* dialog = new QFileDialog(dialogParent());
    configureOpen(*dialog, request);
    openLater(dialog, purpose, context, [answer = std::move(answer)](QFileDialog* d, bool accepted) {
        answer(accepted ? d->selectedFiles() : QStringList());
    });
}

void WidgetDialogs::saveFileAsync(const SaveRequest& request, QObject* context, PathAnswer answer) {
    const QString purpose = purposeOf("save", request.message);
    if (broughtForward(purpose, context, [answer] { answer(std::nullopt); }))
        return;
    auto* dialog = new QFileDialog(dialogParent());
    configureSave(*dialog, request);
    openLater(dialog, purpose, context, [answer = std::move(answer)](QFileDialog* d, bool accepted) {
        const QStringList files = d->selectedFiles();
        answer(accepted && !files.isEmpty() ? std::optional<QString>(files.constFirst()) : std::nullopt);
    });
}

void WidgetDialogs::chooseFolderAsync(const FolderRequest& request, QObject* context, PathAnswer answer) {
    const QString purpose = purposeOf("folder", request.message);
    if (broughtForward(purpose, context, [answer] { answer(std::nullopt); }))
        return;
    auto* dialog = new QFileDialog(dialogParent());
    configureFolder(*dialog, request);
    openLater(dialog, purpose, context, [answer = std::move(answer)](QFileDialog* d, bool accepted) {
        const QStringList files = d->selectedFiles();
        answer(accepted && !files.isEmpty() ? std::optional<QString>(files.constFirst()) : std::nullopt);
    });
}
