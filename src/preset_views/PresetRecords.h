#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>
#include <optional>

class ImagePreset;
class PromptPreset;

// The user's own presets come in two kinds of record: an image preset's title is a prompt preset's name, its
// picture a prompt preset's user image. The preset lists, forms and saving reach both through these.
namespace PresetRecords {

// The category of a user's own prompt preset.
inline constexpr const char* kUserCategory = "User";

QString title(const ImagePreset& preset);
QString title(const PromptPreset& preset);
void setTitle(ImagePreset& preset, const QString& text);
void setTitle(PromptPreset& preset, const QString& text);

std::optional<QByteArray> pictureData(const ImagePreset& preset);
std::optional<QByteArray> pictureData(const PromptPreset& preset);
void setPictureData(ImagePreset& preset, const std::optional<QByteArray>& data);
void setPictureData(PromptPreset& preset, const std::optional<QByteArray>& data);
// Asks the store whether a picture exists without loading it: layout asks this of every row.
bool hasPictureData(const ImagePreset& preset);
bool hasPictureData(const PromptPreset& preset);
QImage picture(const ImagePreset& preset);
QImage picture(const PromptPreset& preset);
// Stores the picture as JPEG.
void storePicture(ImagePreset& preset, const QImage& picture);
void storePicture(PromptPreset& preset, const QImage& picture);

// A new preset of the user's own; a null picture stores none.
template <class Record>
std::shared_ptr<Record> make(const QString& title, const QString& prompt, const QImage& picture);
template <>
std::shared_ptr<ImagePreset> make<ImagePreset>(const QString& title, const QString& prompt, const QImage& picture);
template <>
std::shared_ptr<PromptPreset> make<PromptPreset>(const QString& title, const QString& prompt, const QImage& picture);

} // namespace PresetRecords
