#include "PreviewPlayer.h"

#include "SilentPreviewBackend.h"

#include <cmath>

PreviewPlayer::PreviewPlayer(std::unique_ptr<PreviewBackend> backend, QObject* parent)
    : QObject(parent), backend_(backend ? std::move(backend) : std::make_unique<SilentPreviewBackend>()) {}

PreviewPlayer::~PreviewPlayer() {
    removeObservers();
    backend_->pause();
    backend_->clearCurrentItem();
}

void PreviewPlayer::setIsPlaying(bool playing) {
    if (isPlaying_ == playing)
        return;
    isPlaying_ = playing;
    emit isPlayingChanged();
}

void PreviewPlayer::prepareItem(const QUrl& url) {
    backend_->setVolume(0); // previews are always silent, whatever a view set meanwhile
    setIsPlaying(false);
    const PreviewBackend::ItemId item = backend_->replaceCurrentItem(url);

    disconnect(readinessObserver_);
    observedItem_ = item;
    readinessObserver_ = connect(
        backend_.get(), &PreviewBackend::itemStatusChanged, this,
        [this, item](PreviewBackend::ItemId changed) {
            if (changed == item)
                readinessStep(item);
        },
        Qt::QueuedConnection);
    // Like an observation that also reports the initial value: the step runs once on the next turn.
    QMetaObject::invokeMethod(
        this, [this, item] { readinessStep(item); }, Qt::QueuedConnection);

    installLoopObserver(item);
    backend_->play();
}

void PreviewPlayer::readinessStep(PreviewBackend::ItemId item) {
    // A notice about an item that was replaced or stopped meanwhile says nothing about the current one.
    if (item != observedItem_ || item != backend_->currentItem())
        return;
    if (backend_->status(item) != PreviewBackend::ItemStatus::readyToPlay) {
        setIsPlaying(false);
        return;
    }
    if (const auto duration = backend_->duration(item); duration && std::isfinite(*duration))
        setIsPlaying(true);
}

void PreviewPlayer::installLoopObserver(PreviewBackend::ItemId item) {
    disconnect(loopObserver_);
    loopObserver_ =
        connect(backend_.get(), &PreviewBackend::itemDidPlayToEnd, this, [this, item](PreviewBackend::ItemId ended) {
            if (ended != item || backend_->currentItem() != item)
                return;
            backend_->seekToStart();
            backend_->play();
        });
}

void PreviewPlayer::removeObservers() {
    disconnect(readinessObserver_);
    readinessObserver_ = {};
    observedItem_ = 0;
    disconnect(loopObserver_);
    loopObserver_ = {};
}

void PreviewPlayer::emptyPlayer() {
    backend_->pause();
    removeObservers();
    backend_->clearCurrentItem();
}
