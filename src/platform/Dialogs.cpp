#include "Dialogs.h"

#include "Log.h"

namespace {
// Used until the application installs its widget dialogs (for example in a headless tool).
class CancellingDialogs final : public Dialogs {
public:
    std::optional<QString> chooseFolder(const FolderRequest&) override { return std::nullopt; }
    QStringList openFiles(const OpenRequest&) override { return {}; }
    std::optional<QString> saveFile(const SaveRequest&) override { return std::nullopt; }
    int alert(AlertStyle, const QString& message, const QString& informativeText, const QStringList&) override {
        Log::line(message + (informativeText.isEmpty() ? QString() : ": " + informativeText));
        return 0;
    }
};

Dialogs*& override() {
    static Dialogs* dialogs = nullptr;
    return dialogs;
}
} // namespace

Dialogs& Dialogs::current() {
    static CancellingDialogs fallback;
    return override() ? *override() : fallback;
}

void Dialogs::setCurrent(Dialogs* dialogs) {
    override() = dialogs;
}
