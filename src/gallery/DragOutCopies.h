#pragma once

#include <QString>

// Copies of clips handed to other applications by a drag: made when the receiver asks for the file, in
// "Orvane_Temp" of the application's cache folder, a folder only the user may enter (0700). A receiver may read
// the dropped file much later (a mail or chat composer reads it when sending), so a copy stays until the next
// start, which removes what earlier runs left. The original clip is never offered for moving.
namespace DragOutCopies {

QString folder();
// "temp_" + whole seconds since 1970 + "_" + the clip's file name, from the current clock.
QString copyName(const QString& fileName);
// Makes the copy; when no copy can be made, the clip's own path.
QString makeCopy(const QString& clipPath);
// Removes the copies earlier runs left ("temp_*" files in that folder only, never one made by this run).
// Returns how many went.
int removeStaleCopies();

} // namespace DragOutCopies
