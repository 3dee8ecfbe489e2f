#pragma once

#include "VideoOptions.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <optional>

// The video options, the completion sound and the video folder, one user-defaults key each.
// Several instances may exist; they meet only through the user defaults.
class VideoSettings : public QObject {
    Q_OBJECT
public:
    explicit VideoSettings(QObject* parent = nullptr);

    VideoQuality quality() const { return quality_; }
    VideoDuration duration() const { return duration_; }
    std::optional<QByteArray> videoDirectoryBookmark() const { return videoDirectoryBookmark_; }
    bool defaultPromptOptimization() const { return defaultPromptOptimization_; }
    bool soundNotificationEnabled() const { return soundNotificationEnabled_; }
    QString selectedSoundName() const { return selectedSoundName_; }
    QStringList availableSounds() const { return availableSounds_; }
    VideoModel selectedModel() const { return selectedModel_; }
    bool fastPretreatment() const { return fastPretreatment_; }
    // True while a bookmark is stored, whether or not it still resolves.
    bool hasVideoDirectory() const { return videoDirectoryBookmark_.has_value(); }

    // Each write stores the new value under its key at once.
    void setQuality(VideoQuality value);
    void setDuration(VideoDuration value);
    void setVideoDirectoryBookmark(const std::optional<QByteArray>& value);
    void setDefaultPromptOptimization(bool value);
    void setSoundNotificationEnabled(bool value);
    void setSelectedSoundName(const QString& value);
    void setSelectedModel(VideoModel value);
    void setFastPretreatment(bool value);

    void loadAvailableSounds();
    void selectVideoDirectory();
    // The video folder with access started, or none. The caller stops access when done.
    std::optional<QString> resolveVideoDirectoryURL() const;

signals:
    void qualityChanged();
    void durationChanged();
    void videoDirectoryBookmarkChanged();
    void defaultPromptOptimizationChanged();
    void soundNotificationEnabledChanged();
    void selectedSoundNameChanged();
    void availableSoundsChanged();
    void selectedModelChanged();
    void fastPretreatmentChanged();

private:
    VideoQuality quality_ = VideoQuality::p768;
    VideoDuration duration_ = VideoDuration::seconds6;
    std::optional<QByteArray> videoDirectoryBookmark_;
    bool defaultPromptOptimization_ = true;
    bool soundNotificationEnabled_ = true;
    QString selectedSoundName_ = "Glass";
    QStringList availableSounds_;
    VideoModel selectedModel_ = VideoModel::hailuo02;
    bool fastPretreatment_ = false;
};
