#pragma once

#include "PreviewBackend.h"

#include <QObject>

#include <memory>

// What the two shared preview players have in common: one muted, looping item at a time on a backend,
// a readiness observation that publishes `isPlaying` once the item can play, and a loop observation
// that restarts the item at its end.
class PreviewPlayer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
public:
    ~PreviewPlayer() override;

    // True once the loaded item is ready and has a finite duration.
    bool isPlaying() const { return isPlaying_; }
    // The one media player; preview views attach their video output to it.
    PreviewBackend& player() const { return *backend_; }
    bool hasObservers() const { return observedItem_ != 0 || bool(loopObserver_); }

signals:
    void isPlayingChanged();

protected:
    // No backend: the FFmpeg preview one.
    explicit PreviewPlayer(std::unique_ptr<PreviewBackend> backend, QObject* parent);

    // Makes a new item for the file current and plays it, silent and looping.
    void prepareItem(const QUrl& url);
    void installLoopObserver(PreviewBackend::ItemId item);
    void removeObservers();
    // Pauses and drops the observers and the item: nothing shows any more. `isPlaying` is left to the caller.
    void emptyPlayer();
    void setIsPlaying(bool playing);

private:
    void readinessStep(PreviewBackend::ItemId item);

    std::unique_ptr<PreviewBackend> backend_;
    QMetaObject::Connection loopObserver_;
    QMetaObject::Connection readinessObserver_;
    PreviewBackend::ItemId observedItem_ = 0;
    bool isPlaying_ = false;
};
