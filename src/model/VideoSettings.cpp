#include "VideoSettings.h"

#include "Defaults.h"
#include "Dialogs.h"
#include "FolderBookmark.h"
#include "Log.h"
#include "Sounds.h"

#include <QDir>

VideoSettings::VideoSettings(QObject* parent) : QObject(parent) {
    Defaults& defaults = Defaults::standard();
    if (!defaults.contains("videoQuality"))
        defaults.set("videoQuality", QStringLiteral("768P"));
    if (!defaults.contains("videoDuration"))
        defaults.set("videoDuration", 6);

    quality_ =
        fromRawValue<VideoQuality>(defaults.string("videoQuality").value_or("768P")).value_or(VideoQuality::p768);
    duration_ = defaults.integer("videoDuration") == 10 ? VideoDuration::seconds10 : VideoDuration::seconds6;
    videoDirectoryBookmark_ = defaults.data("videoDirectoryBookmark");

    if (!defaults.contains("defaultPromptOptimization"))
        defaults.set("defaultPromptOptimization", true);
    defaultPromptOptimization_ = defaults.boolValue("defaultPromptOptimization");
    if (!defaults.contains("soundNotificationEnabled"))
        defaults.set("soundNotificationEnabled", true);
    soundNotificationEnabled_ = defaults.boolValue("soundNotificationEnabled");

    selectedSoundName_ = defaults.string("selectedSoundName").value_or("Glass");
    selectedModel_ = fromRawValue<VideoModel>(defaults.string("videoModel").value_or("MiniMax-Hailuo-02"))
                         .value_or(VideoModel::hailuo02);
    fastPretreatment_ = defaults.contains("fastPretreatment") && defaults.boolValue("fastPretreatment");

    loadAvailableSounds();
}

void VideoSettings::setQuality(VideoQuality value) {
    quality_ = value;
    Defaults::standard().set("videoQuality", rawValue(value));
    emit qualityChanged();
}

void VideoSettings::setDuration(VideoDuration value) {
    duration_ = value;
    Defaults::standard().set("videoDuration", rawValue(value));
    emit durationChanged();
}

void VideoSettings::setVideoDirectoryBookmark(const std::optional<QByteArray>& value) {
    videoDirectoryBookmark_ = value;
    if (value)
        Defaults::standard().set("videoDirectoryBookmark", *value);
    else
        Defaults::standard().remove("videoDirectoryBookmark");
    emit videoDirectoryBookmarkChanged();
}

void VideoSettings::setDefaultPromptOptimization(bool value) {
    defaultPromptOptimization_ = value;
    Defaults::standard().set("defaultPromptOptimization", value);
    emit defaultPromptOptimizationChanged();
}

void VideoSettings::setSoundNotificationEnabled(bool value) {
    soundNotificationEnabled_ = value;
    Defaults::standard().set("soundNotificationEnabled", value);
    emit soundNotificationEnabledChanged();
}

void VideoSettings::setSelectedSoundName(const QString& value) {
    selectedSoundName_ = value;
    Defaults::standard().set("selectedSoundName", value);
    emit selectedSoundNameChanged();
}

void VideoSettings::setSelectedModel(VideoModel value) {
    selectedModel_ = value;
    Defaults::standard().set("videoModel", rawValue(value));
    emit selectedModelChanged();
}

void VideoSettings::setFastPretreatment(bool value) {
    fastPretreatment_ = value;
    Defaults::standard().set("fastPretreatment", value);
    emit fastPretreatmentChanged();
}

void VideoSettings::loadAvailableSounds() {
    availableSounds_ = Sounds::availableNames();
    emit availableSoundsChanged();
    if (!availableSounds_.isEmpty() && !availableSounds_.contains(selectedSoundName_))
        setSelectedSoundName(availableSounds_.first());
}

void VideoSettings::selectVideoDirectory() {
    Dialogs::FolderRequest request;
    request.message = "Choose folder for saving videos";
    request.prompt = "Grant Access";
    request.canCreateDirectories = true;
    const auto chosen = Dialogs::current().chooseFolder(request);
    if (!chosen || chosen->isEmpty())
        return;
    const QString folder = *chosen;
    FolderBookmark::startAccessing(folder);

    QString error;
    const auto bookmark = FolderBookmark::create(folder, &error);
    if (!bookmark) {
        Log::line("❌ [VideoSettings] Video bookmark error: " + error);
        Dialogs::current().alert(Dialogs::AlertStyle::warning, "Access Error",
                                 "Could not access the selected folder. Please try again and make sure to grant "
                                 "permission when asked.",
                                 {"OK"});
        FolderBookmark::stopAccessing(folder);
        return;
    }
    setVideoDirectoryBookmark(*bookmark);

    const QDir dir(folder);
    if (dir.exists() && dir.isReadable())
        Log::line("✅ [VideoSettings] Successfully configured video folder: " + folder);
    else
        Log::line("⚠️ [VideoSettings] Cannot read folder contents: The folder “" + folder +
                  "” couldn’t be opened because you don’t have permission to view it.");
    FolderBookmark::stopAccessing(folder);
}

std::optional<QString> VideoSettings::resolveVideoDirectoryURL() const {
    return FolderBookmark::resolveForUse(videoDirectoryBookmark_, "Resolve video bookmark error: ");
}
