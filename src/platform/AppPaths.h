#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Where the application keeps its own files (the XDG data and cache folders).
namespace AppPaths {

QString dataFolder();  // ~/.local/share/Orvane
QString cacheFolder(); // ~/.cache/Orvane
// Clips being downloaded and not yet filed: $XDG_RUNTIME_DIR/orvane when the runtime folder is usable,
// else ~/.cache/Orvane/downloads; private (0700) either way.
QString downloadsFolder();
// Where a download goes when the runtime folder runs out of room: ~/.cache/Orvane/downloads. The same as
// downloadsFolder() when that is already the cache.
QString fallbackDownloadsFolder();
// Every folder downloads may lie in (the runtime one and the cache one), for looking through them.
QStringList downloadFolders();
// A finished clip that neither the video folder nor Unfiled could take waits in the downloads folder under the
// name it is filed with ("Orvane_….mp4") until one can; such a file is never cleaned away.
bool isWaitingClip(const QString& fileName);
// Whether bytes are the start of an MP4 clip: an "ftyp" box (bytes 4..7).
bool startsLikeClip(const QByteArray& head);
// A whole download an earlier run never filed (it was ended between the download and the filing): a
// "minimax_video_….mp4" that is a clip. Such a file is never cleaned away either; the next start files it.
bool isUnfiledDownload(const QString& path);
QString storeFile(); // the object store's database
// Where the local socket of the running copy lives: the runtime folder when the session gives a private one, else
// the cache folder. Empty when neither is a folder of the user's own that only the user may enter: a socket in a
// shared folder could be taken by another user.
QString socketFolder();
// Finished clips the video folder could not take yet, until it can (not created here).
QString unfiledFolder();
// Removes what earlier runs left in the downloads folders (a cut-off transfer, a download given up) once it is
// older than `maxAgeSeconds` on the current clock; a clip waiting to be filed, or never filed, stays. Returns how many
// files went.
int removeStaleDownloads(double maxAgeSeconds = 24 * 60 * 60);
// Tests redirect every folder below one root; an empty root restores the normal locations.
void setRoot(const QString& root);

// The application's own folders and files hold API keys and the user's records: only the user may read
// them. Creates the folder (and missing parents) and makes the folder itself 0700.
bool ensurePrivateFolder(const QString& path);
// Creates the file empty with 0600 when missing, or tightens an existing one to 0600; never changes content.
bool ensurePrivateFile(const QString& path);

} // namespace AppPaths
