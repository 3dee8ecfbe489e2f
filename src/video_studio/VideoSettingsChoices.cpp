#include "VideoSettingsChoices.h"

#include "VideoSettings.h"

#include <algorithm>
#include <cstdlib>

namespace VideoSettingsChoices {

QList<VideoModel> models() {
    return {VideoModel::hailuo02, VideoModel::hailuo23, VideoModel::hailuo23Fast};
}

QList<VideoQuality> qualities(VideoModel model, VideoGenerationMode mode) {
    if (model == VideoModel::hailuo02 && mode == VideoGenerationMode::imageToVideo)
        return {VideoQuality::p512, VideoQuality::p768, VideoQuality::p1080};
    return {VideoQuality::p768, VideoQuality::p1080};
}

VideoModel modelFor(VideoModel model, VideoGenerationMode mode) {
    return mode == VideoGenerationMode::startEndVideo ? VideoModel::hailuo02 : model;
}

namespace {
// The offered case nearest to `value` in declaration order; of two as near, the later.
template <class E> E nearest(E value, const QList<E>& offered) {
    if (offered.isEmpty() || offered.contains(value))
        return value;
    const auto cases = allCases<E>();
    const auto index = [&cases](E e) { return int(std::find(cases.begin(), cases.end(), e) - cases.begin()); };
    E best = offered.first();
    for (E candidate : offered) {
        const int distance = std::abs(index(candidate) - index(value));
        const int bestDistance = std::abs(index(best) - index(value));
        if (distance < bestDistance || (distance == bestDistance && index(candidate) > index(best)))
            best = candidate;
    }
    return best;
}
} // namespace

VideoQuality nearestQuality(VideoQuality quality, VideoModel model, VideoGenerationMode mode) {
    return nearest(quality, qualities(modelFor(model, mode), mode));
}

void fitToMode(VideoSettings& settings, VideoGenerationMode mode) {
    if (mode != VideoGenerationMode::startEndVideo)
        return;
    // Each setter tells its listeners, which may fit again: every step reads the store afresh.
    if (const VideoModel model = modelFor(settings.selectedModel(), mode); model != settings.selectedModel())
        settings.setSelectedModel(model);
    if (const VideoQuality quality = nearestQuality(settings.quality(), settings.selectedModel(), mode);
        quality != settings.quality())
        settings.setQuality(quality);
    if (const VideoDuration duration = nearest(settings.duration(), durations(settings.quality()));
        duration != settings.duration())
        settings.setDuration(duration);
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
    if (mode == VideoGenerationMode::startEndVideo) {
        // A choice these jobs are refused for (stored earlier, or set elsewhere) is never shown as if it could go.
        VideoSettingsChoices::fitToMode(*settings_, mode);
        for (auto signal :
             {&VideoSettings::selectedModelChanged, &VideoSettings::qualityChanged, &VideoSettings::durationChanged})
            connect(settings, signal, this, [this, mode] { VideoSettingsChoices::fitToMode(*settings_, mode); });
    }
}
