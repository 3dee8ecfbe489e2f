#include "PresetPictures.h"

#include "Resources.h"

#include <QFileInfo>
#include <QImageReader>

namespace PresetPictures {
namespace {
std::optional<QString> locate(const QString& name, const Place& place) {
    if (place.folder.isEmpty())
        return Resources::path(name, place.extension);
    const auto folder = Resources::folder(place.folder);
    if (!folder || name.contains('/') || name.contains(".."))
        return std::nullopt;
    const QFileInfo file(*folder + '/' + name + '.' + place.extension);
    return file.isFile() ? std::optional<QString>(file.absoluteFilePath()) : std::nullopt;
}
} // namespace

QImage load(const QString& name, const QList<Place>& places) {
    for (const Place& place : places) {
        const auto path = locate(name, place);
        if (!path)
            continue;
        QImageReader reader(*path);
        reader.setAutoTransform(true);
        const QImage picture = reader.read();
        if (!picture.isNull())
            return picture;
    }
    return {};
}

} // namespace PresetPictures
