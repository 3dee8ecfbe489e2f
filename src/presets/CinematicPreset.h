#pragma once

#include "PreviewClipPreset.h"

#include <QList>

// One of the eleven cinematic presets: a named combination of camera movements for the video prompt.
class CinematicPreset final : public PreviewClipPreset {
    Q_OBJECT
public:
    CinematicPreset(const QString& title, const QString& insertText, const QString& previewVideoName);

    // Made once, on first use, and kept for the life of the process.
    static const QList<CinematicPreset*>& allPresets();
};
