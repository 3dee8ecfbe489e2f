#include "Dialogs.h"

#include "Log.h"

#include <QMetaObject>

namespace {
// Used until the application installs its widget dialogs (for example in a headless tool).
class CancellingDialogs final : public Dialogs {
public:
    std::optional<QString> chooseFolder(const FolderRequest&) override { return std::nullopt; }
    QStringList openFiles(const OpenRequest&) override { return {}; }
    std::optional<QString> saveFile(const SaveRequest&) override { return std::nullopt; }
    int alert(AlertStyle, const QString& message, const QString& informativeText, const QStringList&, int,
              int) override {
        Log::line(message + (informativeText.isEmpty() ? QString() : ": " + informativeText));
        return 0;
    }
};

Dialogs*& installedDialogs() {
    static Dialogs* dialogs = nullptr;
    return dialogs;
}
} // namespace

Dialogs& Dialogs::current() {
    static CancellingDialogs fallback;
    return installedDialogs() ? *installedDialogs() : fallback;
}

void Dialogs::setCurrent(Dialogs* dialogs) {
    installedDialogs() = dialogs;
}

void Dialogs::notify(AlertStyle, const QString& message, const QString& informativeText) {
    Log::line(message + (informativeText.isEmpty() ? QString() : ": " + informativeText));
}

namespace {
// Runs `call` from the event loop while `context` lives.
void later(QObject* context, std::function<void()> call) {
    if (!context)
        return;
    QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}
} // namespace

void Dialogs::openFilesAsync(const OpenRequest& request, QObject* context, FilesAnswer answer) {
    QPointer<QObject> guard(context);
    const QStringList paths = openFiles(request);
    if (guard)
        later(guard, [paths, answer = std::move(answer)] { answer(paths); });
}

void Dialogs::saveFileAsync(const SaveRequest& request, QObject* context, PathAnswer answer) {
    QPointer<QObject> guard(context);
    const std::optional<QString> path = saveFile(request);
    if (guard)
        later(guard, [path, answer = std::move(answer)] { answer(path); });
}

void Dialogs::chooseFolderAsync(const FolderRequest& request, QObject* context, PathAnswer answer) {
    QPointer<QObject> guard(context);
    const std::optional<QString> path = chooseFolder(request);
    if (guard)
        later(guard, [path, answer = std::move(answer)] { answer(path); });
}
