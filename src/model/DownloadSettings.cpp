#include "DownloadSettings.h"

#include "Defaults.h"
#include "Dialogs.h"
#include "FolderBookmark.h"
#include "Log.h"

DownloadSettings::DownloadSettings(QObject* parent) : QObject(parent) {
    bookmarkData_ = Defaults::standard().data("downloadFolderBookmark");
    // Every stored preset maps onto the only one there is.
    (void)Defaults::standard().string("outputPreset").value_or("hd1080");
    outputPreset_ = OutputPreset::hd1080;
}

void DownloadSettings::setBookmarkData(const std::optional<QByteArray>& value) {
    bookmarkData_ = value;
    if (value)
        Defaults::standard().set("downloadFolderBookmark", *value);
    else
        Defaults::standard().remove("downloadFolderBookmark");
    emit bookmarkDataChanged();
}

void DownloadSettings::selectFolder() {
    Dialogs::FolderRequest request;
    request.canCreateDirectories = true;
    const auto chosen = Dialogs::current().chooseFolder(request);
    if (!chosen || chosen->isEmpty())
        return;
    QString error;
    const auto bookmark = FolderBookmark::create(*chosen, &error);
    if (!bookmark) {
        Log::line("Bookmark error: " + error);
        return;
    }
    setBookmarkData(*bookmark);
}

std::optional<QString> DownloadSettings::resolveFolderURL() const {
    return FolderBookmark::resolveForUse(bookmarkData_, "Resolve bookmark error: ");
}
