#pragma once

#include "ImageOptions.h"
#include "StudioRules.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>
#include <QStringList>

// An image service whose published state a test sets directly.
class StubImageService final : public ImageGenerationService {
public:
    bool loading = false;
    QImage image;
    std::optional<QString> error;
    std::optional<QString> text;
    bool blocked = false;

    bool isLoading() const override { return loading; }
    QImage generatedImage() const override { return image; }
    std::optional<QString> errorMessage() const override { return error; }
    std::optional<QString> textResponse() const override { return text; }
    bool isContentBlocked() const override { return blocked; }
};

// A picture with some structure, so that its encodings differ from those of other sizes and colours.
inline QImage testPicture(int width, int height, QColor color = QColor(200, 120, 40)) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    for (int y = 0; y < height; y += 7)
        image.setPixelColor(width / 2, y, Qt::white);
    return image;
}

inline QString writePicture(const QDir& dir, const QString& name, const QImage& image, const char* format = nullptr) {
    const QString path = dir.filePath(name);
    image.save(path, format);
    return path;
}

// The buttons offered under a result, by name, so that a failed comparison says which.
inline QStringList offered(const StudioRules::ResultActions& actions) {
    QStringList names;
    const std::pair<bool, const char*> buttons[] = {{actions.imageToImage, "imageToImage"},
                                                    {actions.imageToVideo, "imageToVideo"},
                                                    {actions.startFrame, "startFrame"},
                                                    {actions.endFrame, "endFrame"},
                                                    {actions.finder, "showInFinder"}};
    for (const auto& [shown, name] : buttons) {
        if (shown)
            names << QString::fromLatin1(name);
    }
    return names;
}
