#pragma once

#include <QString>
#include <QStringList>

// The ffmpeg command-line tool, for media fixtures made by the tests themselves.
namespace FfmpegTool {

bool isAvailable();
// Runs ffmpeg with `arguments` (inputs, filters, codec) writing `target`; false when it failed.
bool run(const QStringList& arguments, const QString& target);

} // namespace FfmpegTool
