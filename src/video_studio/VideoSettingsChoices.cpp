#include "VideoSettingsChoices.h"

#include "VideoSettings.h"

namespace VideoSettingsChoices {

QList<VideoModel> models() {
    return {VideoModel::hailuo02, VideoModel::hailuo23, VideoModel::hailuo23Fast};
}

QList<VideoQuality> qualities(VideoModel model) {
    if (model == VideoModel::hailuo02)
        return {VideoQuality::p512, VideoQuality::p768, VideoQuality::p1080};
    return {VideoQuality::p768, VideoQuality::p1080};
}

QList<VideoDuration> durations(VideoQuality quality) {
    if (quality == VideoQuality::p1080)
        return {VideoDuration::seconds6};
    return {VideoDuration::seconds6, VideoDuration::seconds10};
}

QString durationText(VideoDuration duration) {
    return QStringLiteral("%1 s").arg(rawValue(duration));
}

bool showsModelRow(VideoGenerationMode mode) {
    return mode == VideoGenerationMode::imageToVideo;
}

bool showsFastPretreatment(VideoGenerationMode mode, VideoModel model) {
    return mode == VideoGenerationMode::imageToVideo && model != VideoModel::hailuo02;
}

int popoverHeight(VideoGenerationMode mode, VideoModel model) {
    if (mode == VideoGenerationMode::startEndVideo)
        return 170;
    return model == VideoModel::hailuo02 ? 210 : 240;
}

} // namespace VideoSettingsChoices

VideoSettingsRules::VideoSettingsRules(VideoSettings* settings, VideoGenerationMode mode, QObject* parent)
    : QObject(parent), settings_(settings) {
    if (mode == VideoGenerationMode::imageToVideo) {
        connect(settings, &VideoSettings::selectedModelChanged, this, [this] {
            if (settings_->selectedModel() != VideoModel::hailuo02 && settings_->quality() == VideoQuality::p512)
                settings_->setQuality(VideoQuality::p768);
        });
    }
    connect(settings, &VideoSettings::qualityChanged, this, [this] {
        if (settings_->quality() == VideoQuality::p1080 && settings_->duration() == VideoDuration::seconds10)
            settings_->setDuration(VideoDuration::seconds6);
    });
}
