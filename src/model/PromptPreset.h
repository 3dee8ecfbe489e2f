#pragma once

#include "PersistentModel.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QUuid>

#include <memory>
#include <optional>

class VideoMetadata;

// A prompt preset, built in or the user's own.
class PromptPreset : public PersistentModel {
    Q_OBJECT
public:
    static std::shared_ptr<PromptPreset> make(const QString& name, const QString& prompt, const QString& category,
                                              bool isBuiltIn);
    static const EntityDescription& description();
    const EntityDescription& entity() const override { return description(); }
    QString identity() const override;

    QUuid id() const { return id_; }
    QString name() const { return name_; }
    QString prompt() const { return prompt_; }
    QString category() const { return category_; }
    QDateTime createdAt() const { return createdAt_; }
    bool isBuiltIn() const { return isBuiltIn_; }
    bool isHovered() const { return isHovered_; }
    std::optional<QByteArray> previewThumbnailData() const {
        loadLazyColumns();
        return previewThumbnailData_;
    }
    std::optional<QByteArray> userImageData() const {
        loadLazyColumns();
        return userImageData_;
    }
    // Whether there is a picture, without reading it.
    bool hasPreviewThumbnailData() const {
        return lazyValuePresent(QStringLiteral("previewThumbnailData"), previewThumbnailData_.has_value());
    }
    bool hasUserImageData() const {
        return lazyValuePresent(QStringLiteral("userImageData"), userImageData_.has_value());
    }
    // The clips that link to this preset (the inverse of VideoMetadata::promptPreset).
    QList<std::shared_ptr<VideoMetadata>> videos() const;

    void setName(const QString& v) { write(name_, v); }
    void setPrompt(const QString& v) { write(prompt_, v); }
    void setCreatedAt(const QDateTime& v) { write(createdAt_, v); }
    // Transient: never stored, false on every loaded record.
    void setIsHovered(bool v);
    void setPreviewThumbnailData(const std::optional<QByteArray>& v) { write(previewThumbnailData_, v); }
    void setUserImageData(const std::optional<QByteArray>& v) { write(userImageData_, v); }

    void setPreviewThumbnail(const QImage& picture);
    void setUserImage(const QImage& picture);
    QImage userImage() const;

private:
    PromptPreset() = default;
    void storeImageAsJPEG(const QImage& picture, std::optional<QByteArray> PromptPreset::*field);

    QUuid id_;
    QString name_;
    QString prompt_;
    QString category_;
    QDateTime createdAt_;
    bool isBuiltIn_ = false;
    bool isHovered_ = false;
    std::optional<QByteArray> previewThumbnailData_;
    std::optional<QByteArray> userImageData_;
};
