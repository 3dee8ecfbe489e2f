#pragma once

#include "PreviewClipPreset.h"

#include <QList>

// One of the twelve built-in single camera movements a video prompt can take.
class CameraMovementPreset final : public PreviewClipPreset {
    Q_OBJECT
public:
    CameraMovementPreset(const QString& title, const QString& insertText, const QString& previewVideoName);

    // Made once, on first use, and kept for the life of the process.
    static const QList<CameraMovementPreset*>& allPresets();
};
