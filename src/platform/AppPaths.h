#pragma once

#include <QString>

// Where the application keeps its own files (the XDG data and cache folders).
namespace AppPaths {

QString dataFolder();  // ~/.local/share/Orvane
QString cacheFolder(); // ~/.cache/Orvane
QString tempFolder();  // the user's temporary folder
QString storeFile();   // the object store's database
// Tests redirect every folder below one root; an empty root restores the normal locations.
void setRoot(const QString& root);

} // namespace AppPaths
