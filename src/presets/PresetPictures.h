#pragma once

#include <QImage>
#include <QList>
#include <QString>

// Preset pictures from the bundle.
namespace PresetPictures {

struct Place {
    QString folder; // empty: the top level of the bundle
    QString extension;
};

// The first of the places, in order, that holds a decodable picture named `name`; a null image when none
// does. A file that is not a picture counts as missing.
QImage load(const QString& name, const QList<Place>& places);

} // namespace PresetPictures
