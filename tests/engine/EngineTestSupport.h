#pragma once

#include "FakeMiniMaxService.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QColor>
#include <QImage>
#include <QTemporaryDir>

#include <memory>

// A real MP4 clip, made once per test process by the ffmpeg tool.
inline const QByteArray& fixtureClip() {
    static const QByteArray clip = [] {
        QTemporaryDir dir;
        return FakeMiniMaxService::makeClip(dir.path());
    }();
    return clip;
}

inline QImage solidFrame(const QColor& color, QSize size = QSize(64, 36)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Each test gets its own defaults, folders and log, a virtual clock and a fresh fake service.
struct EngineWorld {
    TestEnvironment environment;
    VirtualClock clock;
    RecordingSoundPlayer sounds;
    FakeMiniMaxService fake;

    EngineWorld() {
        clock.install();
        fake.clip = fixtureClip();
        fake.install();
    }
    // Wakes every loop left by the test, so that each sees its objects gone and ends.
    ~EngineWorld() {
        clock.runUntil([this] { return clock.pendingSleepers() == 0; }, 1e7, 5000);
    }
};
