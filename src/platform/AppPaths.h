#pragma once

#include <QString>

// Where the application keeps its own files (the XDG data and cache folders).
namespace AppPaths {

QString dataFolder();  // ~/.local/share/Orvane
QString cacheFolder(); // ~/.cache/Orvane
QString tempFolder();  // the user's temporary folder
QString storeFile();   // the object store's database
// Finished clips the video folder could not take yet, until it can (not created here).
QString unfiledFolder();
// Tests redirect every folder below one root; an empty root restores the normal locations.
void setRoot(const QString& root);

// The application's own folders and files hold API keys and the user's records: only the user may read
// them. Creates the folder (and missing parents) and makes the folder itself 0700.
bool ensurePrivateFolder(const QString& path);
// Creates the file empty with 0600 when missing, or tightens an existing one to 0600; never changes content.
bool ensurePrivateFile(const QString& path);

} // namespace AppPaths
