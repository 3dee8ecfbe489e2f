#include "Sounds.h"

#include "Defaults.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QDir>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>

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

namespace {
class MediaSoundPlayer final : public SoundPlayer {
public:
    bool play(const QString& name) override {
        const auto path = Sounds::pathForName(name);
        if (!path)
            return false;
        if (QMediaDevices::audioOutputs().isEmpty())
            return false;
        // Each sound owns its player and output; both go away when playback ends or fails.
        auto* player = new QMediaPlayer;
        auto* output = new QAudioOutput(player);
        player->setAudioOutput(output);
        QPointer<QMediaPlayer> guard(player);
        QObject::connect(player, &QMediaPlayer::mediaStatusChanged, player, [guard](QMediaPlayer::MediaStatus s) {
            if (guard && (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia))
                guard->deleteLater();
        });
        QObject::connect(player, &QMediaPlayer::errorOccurred, player, [guard] {
            if (guard)
                guard->deleteLater();
        });
        player->setSource(QUrl::fromLocalFile(*path));
        player->play();
        return true;
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
