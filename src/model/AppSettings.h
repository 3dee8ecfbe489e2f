#pragma once

#include "PersistentModel.h"

#include <QByteArray>
#include <QDateTime>

#include <memory>
#include <optional>

// The one stored settings record (identity "singleton"). Only the gallery's view mode is used after
// creation; the live settings are in the user defaults.
class AppSettings : public PersistentModel {
    Q_OBJECT
public:
    static std::shared_ptr<AppSettings> make();
    static const EntityDescription& description();
    const EntityDescription& entity() const override { return description(); }
    QString identity() const override { return id_; }

    QString id() const { return id_; }
    QString videoQuality() const { return videoQuality_; }
    int videoDuration() const { return videoDuration_; }
    bool defaultPromptOptimization() const { return defaultPromptOptimization_; }
    std::optional<QByteArray> videoDirectoryBookmark() const { return videoDirectoryBookmark_; }
    QString imageOutputSize() const { return imageOutputSize_; }
    QString imageFormat() const { return imageFormat_; }
    std::optional<QByteArray> imageDirectoryBookmark() const { return imageDirectoryBookmark_; }
    QString googleAPIKey() const { return googleAPIKey_; }
    QString miniMaxAPIKey() const { return miniMaxAPIKey_; }
    QString miniMaxAPIKey2() const { return miniMaxAPIKey2_; }
    QString miniMaxAPIKey3() const { return miniMaxAPIKey3_; }
    QString miniMaxAPIKey4() const { return miniMaxAPIKey4_; }
    QString videoGenerationMode() const { return videoGenerationMode_; }
    QString videoGalleryViewMode() const { return videoGalleryViewMode_; }
    std::optional<QDateTime> lastBackupDate() const { return lastBackupDate_; }
    std::optional<QDateTime> lastRestoreDate() const { return lastRestoreDate_; }

    void setVideoGalleryViewMode(const QString& v) { write(videoGalleryViewMode_, v); }

private:
    AppSettings() = default;

    QString id_ = "singleton";
    QString videoQuality_ = "768P";
    int videoDuration_ = 6;
    bool defaultPromptOptimization_ = true;
    std::optional<QByteArray> videoDirectoryBookmark_;
    QString imageOutputSize_ = "hd1080";
    QString imageFormat_ = "PNG";
    std::optional<QByteArray> imageDirectoryBookmark_;
    QString googleAPIKey_;
    QString miniMaxAPIKey_;
    QString miniMaxAPIKey2_;
    QString miniMaxAPIKey3_;
    QString miniMaxAPIKey4_;
    QString videoGenerationMode_ = "imageToVideo";
    QString videoGalleryViewMode_ = "Solo";
    std::optional<QDateTime> lastBackupDate_;
    std::optional<QDateTime> lastRestoreDate_;
};
