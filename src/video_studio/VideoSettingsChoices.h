#pragma once

#include "AppViewModel.h"
#include "VideoOptions.h"

#include <QList>
#include <QObject>
#include <QString>

class VideoSettings;

// What the video settings popover offers in each mode (what the service takes there), and the rule that keeps
// the stored choices within it.
namespace VideoSettingsChoices {

QList<VideoModel> models();
// 512P only with the 02 model, and never from a start and an end frame.
QList<VideoQuality> qualities(VideoModel model, VideoGenerationMode mode);
// 10 s not with 1080P.
QList<VideoDuration> durations(VideoQuality quality);
// Start-to-end jobs run on the 02 model only.
VideoModel modelFor(VideoModel model, VideoGenerationMode mode);
// The offered quality nearest to `quality` (of two as near, the higher): 512P becomes 768P where it is not
// offered.
VideoQuality nearestQuality(VideoQuality quality, VideoModel model, VideoGenerationMode mode);
// Moves each stored choice the mode's jobs cannot be sent with to the nearest one they can (model, then quality,
// then duration), through the store's setters, which write the user defaults. Only start-to-end jobs are refused
// for their options (the 02 model, no 512P, 1080P for 6 s only); image-to-video jobs go with any, and there
// nothing moves.
void fitToMode(VideoSettings& settings, VideoGenerationMode mode);
QString durationText(VideoDuration duration);
bool showsModelRow(VideoGenerationMode mode);
bool showsFastPretreatment(VideoGenerationMode mode, VideoModel model);
int popoverHeight(VideoGenerationMode mode, VideoModel model);

} // namespace VideoSettingsChoices

// The change rules, alive as long as the popover: a 2.3 model lifts 512P to 768P (only where the model
// row is shown), and 1080P brings 10 s down to 6 s. In start-to-end mode the stored choices are also fitted to
// the mode when the popover opens and after every change.
class VideoSettingsRules : public QObject {
    Q_OBJECT
public:
    VideoSettingsRules(VideoSettings* settings, VideoGenerationMode mode, QObject* parent = nullptr);

private:
    VideoSettings* settings_;
};
