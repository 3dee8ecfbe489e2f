#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

// Copies of clips handed to other applications by a drag: made when the receiver asks for the file, in
// "Orvane_Temp" of the application's cache folder, each removed 30 s after it was made. The original clip
// is never offered for moving.
namespace DragOutCopies {

constexpr double kLifetimeSeconds = 30;

QString folder();
// "temp_" + whole seconds since 1970 + "_" + the clip's file name, from the current clock.
QString copyName(const QString& fileName);
// Makes the copy and schedules its removal; when no copy can be made, the clip's own path.
QString makeCopy(const QString& clipPath);
// Copies left behind by a quit within their lifetime: "temp_*" files older than 30 s, in that folder only.
int removeStaleCopies();

} // namespace DragOutCopies
