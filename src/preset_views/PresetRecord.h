#pragma once

#include "ImagePreset.h"
#include "PromptPreset.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>

// The user's own presets come in two kinds of record that name their fields differently: an image preset's
// title is a prompt preset's name, its picture a prompt preset's user image. The preset lists, forms and
// saving reach both through this table (`std::invoke(PresetRecord<R>::title, preset)`).
template <class Record> struct PresetRecord;

template <> struct PresetRecord<ImagePreset> {
    static constexpr auto title = &ImagePreset::title;
    static constexpr auto setTitle = &ImagePreset::setTitle;
    static constexpr auto pictureData = &ImagePreset::imageData;
    static constexpr auto setPictureData = &ImagePreset::setImageData;
    // Whether a picture is stored, without loading it: layout asks this of every row.
    static constexpr auto hasPictureData = &ImagePreset::hasImageData;
    static constexpr auto picture = &ImagePreset::image;
    // Stores a picture as JPEG.
    static constexpr auto storePicture = &ImagePreset::storeImageAsJPEG;

    // A new preset of the user's own; a null picture stores none.
    static std::shared_ptr<ImagePreset> make(const QString& name, const QString& prompt, const QImage& image) {
        return ImagePreset::make(name, prompt, image);
    }
};

template <> struct PresetRecord<PromptPreset> {
    static constexpr auto title = &PromptPreset::name;
    static constexpr auto setTitle = &PromptPreset::setName;
    static constexpr auto pictureData = &PromptPreset::userImageData;
    static constexpr auto setPictureData = &PromptPreset::setUserImageData;
    static constexpr auto hasPictureData = &PromptPreset::hasUserImageData;
    static constexpr auto picture = &PromptPreset::userImage;
    static constexpr auto storePicture = &PromptPreset::setUserImage;
    // The category of a user's own prompt preset.
    static constexpr const char* kUserCategory = "User";

    static std::shared_ptr<PromptPreset> make(const QString& name, const QString& prompt, const QImage& image) {
        const auto created = PromptPreset::make(name, prompt, QString::fromUtf8(kUserCategory), false);
        if (!image.isNull())
            created->setUserImage(image);
        return created;
    }
};
