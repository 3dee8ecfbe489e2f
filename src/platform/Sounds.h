#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Named system sounds: the freedesktop sound theme's files, offered by name without extension.
namespace Sounds {

// The folder holding the sound files; by default the first "sounds/freedesktop/stereo" of the XDG data
// folders. Tests (and the optional "Sounds/folder" setting) point it elsewhere.
QString folder();
void setFolder(const QString& folder);
bool isSoundFile(const QString& fileName);
// Sorted names without extension; `ok` is false when the folder cannot be listed.
QStringList availableNames(bool* ok = nullptr);
std::optional<QString> pathForName(const QString& name);

} // namespace Sounds

// Plays a named sound without waiting for it. A seam: tests record what was played.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Returns false when the sound could not be found or started.
    virtual bool play(const QString& name) = 0;

    static SoundPlayer& current();
    static void setCurrent(SoundPlayer* player);
};
