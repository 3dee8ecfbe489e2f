#include "PreviewBackend.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>

#include <algorithm>

MediaPlayerPreviewBackend::MediaPlayerPreviewBackend(QObject* parent) : PreviewBackend(parent) {}

MediaPlayerPreviewBackend::~MediaPlayerPreviewBackend() {
    if (player_) {
        player_->stop();
        player_->setVideoOutput(static_cast<QObject*>(nullptr));
    }
}

void MediaPlayerPreviewBackend::ensurePlayer() {
    if (player_)
        return;
    // Made on first use: creating the player starts the media framework, which start-up does not need.
    player_ = new QMediaPlayer(this);
    player_->setLoops(QMediaPlayer::Infinite);
    if (output_)
        player_->setVideoOutput(output_.data());
    applyVolume();
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus mediaStatus) {
        if (!current_)
            return;
        switch (mediaStatus) {
        case QMediaPlayer::LoadedMedia:
        case QMediaPlayer::BufferingMedia:
        case QMediaPlayer::BufferedMedia:
            status_ = ItemStatus::readyToPlay;
            break;
        case QMediaPlayer::InvalidMedia:
            status_ = ItemStatus::failed;
            break;
        case QMediaPlayer::LoadingMedia:
            status_ = ItemStatus::unknown;
            break;
        case QMediaPlayer::EndOfMedia:
            emit itemDidPlayToEnd(current_);
            return;
        case QMediaPlayer::NoMedia:
        case QMediaPlayer::StalledMedia:
            return;
        }
        emit itemStatusChanged(current_);
    });
    connect(player_, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (!current_ || error == QMediaPlayer::NoError)
            return;
        status_ = ItemStatus::failed;
        emit itemStatusChanged(current_);
    });
    // The duration may arrive after the item is loaded.
    connect(player_, &QMediaPlayer::durationChanged, this, [this] {
        if (current_)
            emit itemStatusChanged(current_);
    });
}

PreviewBackend::ItemId MediaPlayerPreviewBackend::replaceCurrentItem(const QUrl& url) {
    ensurePlayer();
    current_ = ++lastId_;
    status_ = ItemStatus::unknown;
    player_->setSource(url);
    return current_;
}

void MediaPlayerPreviewBackend::clearCurrentItem() {
    current_ = 0;
    status_ = ItemStatus::unknown;
    if (player_)
        player_->setSource(QUrl());
}

PreviewBackend::ItemStatus MediaPlayerPreviewBackend::status(ItemId item) const {
    return item != 0 && item == current_ ? status_ : ItemStatus::unknown;
}

std::optional<double> MediaPlayerPreviewBackend::duration(ItemId item) const {
    if (!player_ || item == 0 || item != current_ || player_->duration() <= 0)
        return std::nullopt;
    return player_->duration() / 1000.0;
}

void MediaPlayerPreviewBackend::play() {
    if (player_ && current_)
        player_->play();
}

void MediaPlayerPreviewBackend::pause() {
    if (player_)
        player_->pause();
}

void MediaPlayerPreviewBackend::seekToStart() {
    if (player_)
        player_->setPosition(0);
}

void MediaPlayerPreviewBackend::setVolume(double volume) {
    volume_ = std::clamp(volume, 0.0, 1.0);
    applyVolume();
}

void MediaPlayerPreviewBackend::applyVolume() {
    if (!player_)
        return;
    // Silent previews have no audio output at all; a device is only opened for a volume above zero.
    if (volume_ > 0 && !QMediaDevices::audioOutputs().isEmpty()) {
        if (!audio_)
            audio_ = new QAudioOutput(this);
        audio_->setVolume(float(volume_));
        player_->setAudioOutput(audio_);
    } else {
        player_->setAudioOutput(nullptr);
    }
}

void MediaPlayerPreviewBackend::setVideoOutput(QObject* output) {
    output_ = output;
    if (player_)
        player_->setVideoOutput(output);
}
