#include "PreviewMediaHost.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QTimer>
#include <QVideoSink>

#include <fcntl.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

PreviewFrameRelay::PreviewFrameRelay(std::shared_ptr<PreviewMediaState> state, std::function<void()> framePosted,
                                     QObject* parent)
    : QObject(parent), state_(std::move(state)), framePosted_(std::move(framePosted)), sink_(new QVideoSink(this)) {
    connect(
        sink_, &QVideoSink::videoFrameChanged, this,
        [this](const QVideoFrame& frame) {
            bool post = false;
            {
                QMutexLocker lock(&state_->mutex);
                state_->frame = frame;
                state_->frameItem = state_->shownItem.load();
                post = !std::exchange(state_->framePosted, true);
            }
            if (post)
                framePosted_();
        },
        Qt::DirectConnection);
}

PreviewMediaHost::PreviewMediaHost(std::shared_ptr<PreviewMediaState> state, Reports reports,
                                   std::chrono::milliseconds releaseAfter)
    : state_(std::move(state)), reports_(std::move(reports)), idle_(new QTimer(this)) {
    idle_->setSingleShot(true);
    idle_->setInterval(releaseAfter);
    connect(idle_, &QTimer::timeout, this, &PreviewMediaHost::release);
}

PreviewMediaHost::~PreviewMediaHost() {
    release();
    closeOpenedFile();
}

QUrl PreviewMediaHost::playableUrl(const QUrl& url) {
    if (!url.isLocalFile())
        return url;
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (path.isValidUtf8())
        return url;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return url; // the player says it cannot open it
    openedFile_ = fd;
    // The kernel opens this name as the file itself, whatever the file is called.
    return QUrl::fromLocalFile(QStringLiteral("/proc/self/fd/%1").arg(fd));
}

void PreviewMediaHost::closeOpenedFile() {
    if (openedFile_ >= 0)
        ::close(openedFile_);
    openedFile_ = -1;
}

void PreviewMediaHost::apply() {
    PreviewMediaState::Wanted wanted;
    {
        QMutexLocker lock(&state_->mutex);
        wanted = state_->wanted;
        state_->applyPosted = false;
    }
    if (wanted.item != item_) {
        // Nothing the old item still sends is reported or shown from here on.
        item_ = 0;
        state_->shownItem = 0;
        status_ = PreviewBackend::ItemStatus::unknown;
        if (player_)
            player_->setSource(QUrl()); // the old item has stopped for good when this returns
        closeOpenedFile();
        if (wanted.item != 0) {
            idle_->stop();
            ensurePlayer();
            item_ = wanted.item;
            state_->shownItem = item_;
            player_->setSource(playableUrl(wanted.url));
        } else if (player_) {
            idle_->start();
        }
    }
    if (!player_)
        return;
    applyVolume(wanted.volume);
    if (wanted.rewinds != rewinds_) {
        rewinds_ = wanted.rewinds;
        player_->setPosition(0);
    }
    if (item_ && wanted.playing)
        player_->play();
    else
        player_->pause();
}

void PreviewMediaHost::ensurePlayer() {
    if (player_)
        return;
    if (!sink_)
        sink_ = reports_.makeSink();
    player_ = new QMediaPlayer(this);
    player_->setLoops(QMediaPlayer::Infinite);
    player_->setVideoOutput(sink_);
    volume_ = -1;
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, &PreviewMediaHost::mediaStatusChanged);
    connect(player_, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (!item_ || error == QMediaPlayer::NoError)
            return;
        status_ = PreviewBackend::ItemStatus::failed;
        report();
    });
    // The duration may arrive after the item is loaded.
    connect(player_, &QMediaPlayer::durationChanged, this, [this] {
        if (item_)
            report();
    });
}

void PreviewMediaHost::mediaStatusChanged(QMediaPlayer::MediaStatus mediaStatus) {
    if (!item_)
        return;
    switch (mediaStatus) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferingMedia:
    case QMediaPlayer::BufferedMedia:
        status_ = PreviewBackend::ItemStatus::readyToPlay;
        break;
    case QMediaPlayer::InvalidMedia:
        status_ = PreviewBackend::ItemStatus::failed;
        break;
    case QMediaPlayer::LoadingMedia:
        status_ = PreviewBackend::ItemStatus::unknown;
        break;
    case QMediaPlayer::EndOfMedia:
        reports_.ended(item_);
        return;
    case QMediaPlayer::NoMedia:
    case QMediaPlayer::StalledMedia:
        return;
    }
    report();
}

void PreviewMediaHost::report() {
    std::optional<double> duration;
    if (player_ && player_->duration() > 0)
        duration = player_->duration() / 1000.0;
    reports_.status(item_, status_, duration);
}

void PreviewMediaHost::applyVolume(double volume) {
    if (volume == volume_)
        return;
    volume_ = volume;
    // Silent previews have no audio output at all; a device is only opened for a volume above zero.
    if (volume > 0 && !QMediaDevices::audioOutputs().isEmpty()) {
        if (!audio_)
            audio_ = new QAudioOutput(this);
        audio_->setVolume(float(volume));
        player_->setAudioOutput(audio_);
    } else {
        player_->setAudioOutput(nullptr);
    }
}

void PreviewMediaHost::release() {
    if (!player_)
        return;
    delete player_;
    player_ = nullptr;
    delete audio_;
    audio_ = nullptr;
    // The sink holds on to the last picture, and with it to the decoder's buffers.
    QMetaObject::invokeMethod(
        sink_,
        [sink = sink_] {
            sink->setVideoFrame(QVideoFrame());
#ifdef __GLIBC__
            // The decoder's pictures went back to the allocator's free lists (on the threads that decoded them),
            // which keep them from the system until trimmed.
            malloc_trim(0);
#endif
        },
        Qt::QueuedConnection);
}
