#pragma once

#include <QObject>

// The one shared muted looping preview player for camera-movement clips and gallery videos.
class MovementPlayer : public QObject {
    Q_OBJECT
public:
    static MovementPlayer& shared();

    bool isPlaying() const { return isPlaying_; }

private:
    MovementPlayer() = default;
    bool isPlaying_ = false;
};
