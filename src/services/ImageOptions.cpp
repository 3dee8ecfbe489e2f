#include "ImageOptions.h"

QString displayName(ImageModel model) {
    switch (model) {
    case ImageModel::flash:
        return QStringLiteral("Gemini 3.1 Image");
    case ImageModel::pro:
        return QStringLiteral("Gemini 3 Pro");
    }
    return {};
}

ImageGenerationMode generationMode(ImageProvider) {
    return ImageGenerationMode::orvane;
}
