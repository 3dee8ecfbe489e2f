#pragma once

#include <QString>

// The freedesktop trash: a file goes to the trash of its own file system (the home trash under
// $XDG_DATA_HOME/Trash, else the mount's ".Trash/$uid" or ".Trash-$uid"), with a ".trashinfo" record that
// lets a file manager put it back. Never anywhere else: when none of those folders can be used, the file
// stays where it is and the reason names the folder and the system's error.
namespace Trash {

// True when the file is in the trash; otherwise `reason` (when given) says why not.
bool move(const QString& path, QString* reason);

} // namespace Trash
