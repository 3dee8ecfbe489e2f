// The program's one use of the toolkit's media framework, built as a module of its own and opened on the first
// sound: linked into the program, the framework and the audio libraries it brings in would be loaded by every
// start, though most sessions play no sound until a clip is filed.

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPointer>
#include <QUrl>

extern "C" Q_DECL_EXPORT bool orvane_play_sound_file(const QString& path) {
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
    player->setSource(QUrl::fromLocalFile(path));
    player->play();
    return true;
}
