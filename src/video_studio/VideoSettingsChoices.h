#pragma once

#include "AppViewModel.h"
#include "VideoOptions.h"

#include <QList>
#include <QObject>
#include <QString>

class VideoSettings;

// What the video settings popover offers and the two rules that keep its choices consistent.
namespace VideoSettingsChoices {

QList<VideoModel> models();
// 512P only with the 02 model.
QList<VideoQuality> qualities(VideoModel model);
// 10 s not with 1080P.
QList<VideoDuration> durations(VideoQuality quality);
QString durationText(VideoDuration duration);
bool showsModelRow(VideoGenerationMode mode);
bool showsFastPretreatment(VideoGenerationMode mode, VideoModel model);
int popoverHeight(VideoGenerationMode mode, VideoModel model);

} // namespace VideoSettingsChoices

// The change rules, alive as long as the popover: a 2.3 model lifts 512P to 768P (only where the model
// row is shown), and 1080P brings 10 s down to 6 s.
class VideoSettingsRules : public QObject {
    Q_OBJECT
public:
    VideoSettingsRules(VideoSettings* settings, VideoGenerationMode mode, QObject* parent = nullptr);

private:
    VideoSettings* settings_;
};
