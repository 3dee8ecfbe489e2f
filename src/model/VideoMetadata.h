#pragma once

#include "PersistentModel.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QUuid>

#include <memory>
#include <optional>

class PromptPreset;
class ImagePreset;

// One finished clip filed into the video folder, with the settings it was made with.
class VideoMetadata : public PersistentModel {
    Q_OBJECT
public:
    static std::shared_ptr<VideoMetadata> make(const QString& fileName, const QString& prompt, const QString& quality,
                                               int duration, const QString& videoMode, bool promptOptimization,
                                               const std::optional<QString>& model = std::nullopt,
                                               const std::optional<bool>& fastPretreatment = std::nullopt);
    static const EntityDescription& description();
    const EntityDescription& entity() const override { return description(); }
    QString identity() const override;

    QUuid id() const { return id_; }
    QString fileName() const { return fileName_; }
    QString prompt() const { return prompt_; }
    QString quality() const { return quality_; }
    int duration() const { return duration_; }
    QDateTime createdAt() const { return createdAt_; }
    QString videoMode() const { return videoMode_; }
    bool promptOptimization() const { return promptOptimization_; }
    std::optional<QString> model() const { return model_; }
    std::optional<bool> fastPretreatment() const { return fastPretreatment_; }
    std::optional<QByteArray> firstFrameImageData() const {
        loadLazyColumns();
        return firstFrameImageData_;
    }
    std::optional<QByteArray> lastFrameImageData() const {
        loadLazyColumns();
        return lastFrameImageData_;
    }
    // Whether there is a frame picture, without reading it.
    bool hasFirstFrameImageData() const {
        return lazyValuePresent(QStringLiteral("firstFrameImageData"), firstFrameImageData_.has_value());
    }
    bool hasLastFrameImageData() const {
        return lazyValuePresent(QStringLiteral("lastFrameImageData"), lastFrameImageData_.has_value());
    }
    std::shared_ptr<PromptPreset> promptPreset() const { return promptPreset_; }
    std::shared_ptr<ImagePreset> imagePreset() const { return imagePreset_; }

    void setFileName(const QString& v) { write(fileName_, v); }
    void setPrompt(const QString& v) { write(prompt_, v); }
    void setQuality(const QString& v) { write(quality_, v); }
    void setDuration(int v) { write(duration_, v); }
    void setCreatedAt(const QDateTime& v) { write(createdAt_, v); }
    void setVideoMode(const QString& v) { write(videoMode_, v); }
    void setModel(const std::optional<QString>& v) { write(model_, v); }
    void setFastPretreatment(const std::optional<bool>& v) { write(fastPretreatment_, v); }
    void setFirstFrameImageData(const std::optional<QByteArray>& v) { write(firstFrameImageData_, v); }
    void setLastFrameImageData(const std::optional<QByteArray>& v) { write(lastFrameImageData_, v); }
    void setPromptPreset(const std::shared_ptr<PromptPreset>& v) { write(promptPreset_, v); }
    void setImagePreset(const std::shared_ptr<ImagePreset>& v) { write(imagePreset_, v); }

    QImage firstFrameImage() const;
    QImage lastFrameImage() const;

private:
    VideoMetadata() = default;

    QUuid id_;
    QString fileName_;
    QString prompt_;
    QString quality_;
    int duration_ = 0;
    QDateTime createdAt_;
    QString videoMode_;
    bool promptOptimization_ = false;
    std::optional<QString> model_;
    std::optional<bool> fastPretreatment_;
    std::optional<QByteArray> firstFrameImageData_;
    std::optional<QByteArray> lastFrameImageData_;
    std::shared_ptr<PromptPreset> promptPreset_;
    std::shared_ptr<ImagePreset> imagePreset_;
};
