#pragma once

#include "AppViewModel.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QVBoxLayout;
class SegmentedPicker;
class VideoSettings;

// The options of the next video jobs: model (image-to-video only), quality, duration, AI optimisation
// and fast pretreatment (image-to-video with a 2.3 model only). Edits the store directly.
class VideoSettingsPopover : public QWidget {
    Q_OBJECT
public:
    VideoSettingsPopover(VideoSettings& settings, VideoGenerationMode mode, QWidget* parent = nullptr);

private:
    void refresh();
    void applyFocusOrder();
    QWidget* toggleRow(const QString& symbol, const QString& text, const QString& name, QCheckBox** toggle);

    VideoSettings& settings_;
    VideoGenerationMode mode_;
    QWidget* modelRow_ = nullptr;
    SegmentedPicker* model_ = nullptr;
    SegmentedPicker* quality_ = nullptr;
    SegmentedPicker* duration_ = nullptr;
    QCheckBox* optimization_ = nullptr;
    QCheckBox* fast_ = nullptr;
    QWidget* fastRow_ = nullptr;
};
