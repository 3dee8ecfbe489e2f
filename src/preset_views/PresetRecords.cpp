#include "PresetRecords.h"

#include "ImagePreset.h"
#include "PromptPreset.h"

namespace PresetRecords {

QString title(const ImagePreset& preset) {
    return preset.title();
}
QString title(const PromptPreset& preset) {
    return preset.name();
}
void setTitle(ImagePreset& preset, const QString& text) {
    preset.setTitle(text);
}
void setTitle(PromptPreset& preset, const QString& text) {
    preset.setName(text);
}

std::optional<QByteArray> pictureData(const ImagePreset& preset) {
    return preset.imageData();
}
std::optional<QByteArray> pictureData(const PromptPreset& preset) {
    return preset.userImageData();
}
void setPictureData(ImagePreset& preset, const std::optional<QByteArray>& data) {
    preset.setImageData(data);
}
void setPictureData(PromptPreset& preset, const std::optional<QByteArray>& data) {
    preset.setUserImageData(data);
}
bool hasPictureData(const ImagePreset& preset) {
    return preset.hasImageData();
}
bool hasPictureData(const PromptPreset& preset) {
    return preset.hasUserImageData();
}
QImage picture(const ImagePreset& preset) {
    return preset.image();
}
QImage picture(const PromptPreset& preset) {
    return preset.userImage();
}
void storePicture(ImagePreset& preset, const QImage& picture) {
    preset.storeImageAsJPEG(picture);
}
void storePicture(PromptPreset& preset, const QImage& picture) {
    preset.setUserImage(picture);
}

template <>
std::shared_ptr<ImagePreset> make<ImagePreset>(const QString& title, const QString& prompt, const QImage& picture) {
    return ImagePreset::make(title, prompt, picture);
}

template <>
std::shared_ptr<PromptPreset> make<PromptPreset>(const QString& title, const QString& prompt, const QImage& picture) {
    const auto created = PromptPreset::make(title, prompt, QString::fromUtf8(kUserCategory), false);
    if (!picture.isNull())
        created->setUserImage(picture);
    return created;
}

} // namespace PresetRecords
