#pragma once

#include "EnumTraits.h"
#include "ImageProvider.h"

#include <QHashFunctions>
#include <QImage>
#include <QObject>
#include <QString>

#include <optional>

// Image generation options. The raw value of an ImageModel is the model id sent to the service.
enum class ImageModel { flash, pro };
enum class AspectRatio { ratio16_9 };
enum class ImageGenerationMode { orvane };

template <> struct EnumTraits<ImageModel> {
    static constexpr std::array<std::pair<ImageModel, const char*>, 2> cases{{
        {ImageModel::flash, "gemini-3.1-flash-image-preview"},
        {ImageModel::pro, "gemini-3-pro-image-preview"},
    }};
};

template <> struct EnumTraits<AspectRatio> {
    static constexpr std::array<std::pair<AspectRatio, const char*>, 1> cases{{{AspectRatio::ratio16_9, "16:9"}}};
};

template <> struct EnumTraits<ImageGenerationMode> {
    static constexpr std::array<std::pair<ImageGenerationMode, const char*>, 1> cases{
        {{ImageGenerationMode::orvane, "orvane"}}};
};

QString displayName(ImageModel model);
// The mode that belongs to a provider.
ImageGenerationMode generationMode(ImageProvider provider);

inline size_t qHash(ImageModel value, size_t seed = 0) {
    return qHash(rawValue(value), seed);
}
inline size_t qHash(AspectRatio value, size_t seed = 0) {
    return qHash(rawValue(value), seed);
}
inline size_t qHash(ImageGenerationMode value, size_t seed = 0) {
    return qHash(rawValue(value), seed);
}

// What every image service publishes. Each change is announced by `stateChanged()`.
class ImageGenerationService : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isLoading() const = 0;
    virtual QImage generatedImage() const = 0; // null when there is none
    virtual std::optional<QString> errorMessage() const = 0;
    virtual std::optional<QString> textResponse() const = 0;
    virtual bool isContentBlocked() const = 0;

signals:
    void stateChanged();
};
