#include "Sounds.h"

#include "Defaults.h"
#include "Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStandardPaths>

#include <algorithm>

namespace Sounds {
namespace {
const QStringList kExtensions = {"oga", "ogg", "wav"};

QString& overrideFolder() {
    static QString folder;
    return folder;
}

QString themeFolder() {
    const QStringList dataDirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString& dir : dataDirs) {
        const QString candidate = dir + "/sounds/freedesktop/stereo";
        if (QFileInfo(candidate).isDir())
            return candidate;
    }
    return "/usr/share/sounds/freedesktop/stereo";
}
} // namespace

QString folder() {
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    if (const auto configured = Defaults::standard().string("Sounds/folder"); configured && !configured->isEmpty())
        return *configured;
    return themeFolder();
}

void setFolder(const QString& f) {
    overrideFolder() = f;
}

bool isSoundFile(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix();
    return kExtensions.contains(suffix) && fileName.size() > suffix.size() + 1;
}

QStringList availableNames(bool* ok) {
    const QDir dir(folder());
    if (!dir.exists() || !dir.isReadable()) {
        if (ok)
            *ok = false;
        return {};
    }
    if (ok)
        *ok = true;
    QStringList names;
    for (const QString& entry : dir.entryList(QDir::Files | QDir::NoDotAndDotDot)) {
        if (isSoundFile(entry)) {
            const QString name = QFileInfo(entry).completeBaseName();
            if (!names.contains(name))
                names.append(name);
        }
    }
    // Plain code-point order, not localized.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.compare(b) < 0; });
    return names;
}

std::optional<QString> pathForName(const QString& name) {
    if (name.isEmpty() || name.contains('/'))
        return std::nullopt;
    for (const QString& ext : kExtensions) {
        const QFileInfo info(folder() + '/' + name + '.' + ext);
        if (info.isFile())
            return info.absoluteFilePath();
    }
    return std::nullopt;
}

} // namespace Sounds

#ifndef ORVANE_SOUND_MODULE
#define ORVANE_SOUND_MODULE ""
#endif
#ifndef ORVANE_SOUND_MODULE_INSTALLED
#define ORVANE_SOUND_MODULE_INSTALLED ""
#endif

namespace {
using PlayFile = bool (*)(const QString& path);

// The sound module's entry, opened on the first sound; null when it cannot be, which is said once.
PlayFile soundModule() {
    static const PlayFile play = [] {
        const QString appDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
        const QStringList candidates = {
            appDir + "/" + QStringLiteral(ORVANE_SOUND_MODULE_INSTALLED), // installed, relative to the binary
            QStringLiteral(ORVANE_SOUND_MODULE),                          // the build tree
        };
        QString failure;
        for (const QString& candidate : candidates) {
            if (candidate.isEmpty() || !QFileInfo(candidate).isFile())
                continue;
            QLibrary module(candidate);
            if (auto entry = reinterpret_cast<PlayFile>(module.resolve("orvane_play_sound_file")))
                return entry;
            failure = module.errorString();
        }
        Log::line(QStringLiteral("⚠️ [Sound] Sounds cannot be played: %1")
                      .arg(failure.isEmpty() ? QStringLiteral("the sound module is missing") : failure));
        return PlayFile(nullptr);
    }();
    return play;
}

class MediaSoundPlayer final : public SoundPlayer {
public:
    bool play(const QString& name) override {
        const auto path = Sounds::pathForName(name);
        if (!path)
            return false;
        const PlayFile playFile = soundModule();
        return playFile && playFile(*path);
    }
};

SoundPlayer*& installedPlayer() {
    static SoundPlayer* player = nullptr;
    return player;
}
} // namespace

SoundPlayer& SoundPlayer::current() {
    static MediaSoundPlayer system;
    return installedPlayer() ? *installedPlayer() : system;
}

void SoundPlayer::setCurrent(SoundPlayer* player) {
    installedPlayer() = player;
}
