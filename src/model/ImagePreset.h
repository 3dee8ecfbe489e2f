#pragma once

#include "PersistentModel.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QUuid>

#include <memory>
#include <optional>

class VideoMetadata;

// One of the user's image presets: a title, a prompt and an optional picture.
class ImagePreset : public PersistentModel {
    Q_OBJECT
public:
    // A null picture leaves `imageData` empty.
    static std::shared_ptr<ImagePreset> make(const QString& title, const QString& prompt, const QImage& image = {});
    static const EntityDescription& description();
    const EntityDescription& entity() const override { return description(); }
    QString identity() const override;

    QUuid id() const { return id_; }
    QString title() const { return title_; }
    QString prompt() const { return prompt_; }
    QDateTime createdAt() const { return createdAt_; }
    std::optional<QByteArray> imageData() const {
        loadLazyColumns();
        return imageData_;
    }
    // Whether there is a picture, without reading it.
    bool hasImageData() const { return lazyValuePresent(QStringLiteral("imageData"), imageData_.has_value()); }
    QList<std::shared_ptr<VideoMetadata>> videos() const;

    void setTitle(const QString& v) { write(title_, v); }
    void setPrompt(const QString& v) { write(prompt_, v); }
    void setCreatedAt(const QDateTime& v) { write(createdAt_, v); }
    void setImageData(const std::optional<QByteArray>& v) { write(imageData_, v); }

    void storeImageAsJPEG(const QImage& picture);
    QImage image() const;

private:
    ImagePreset() = default;

    QUuid id_;
    QString title_;
    QString prompt_;
    QDateTime createdAt_;
    std::optional<QByteArray> imageData_;
};
