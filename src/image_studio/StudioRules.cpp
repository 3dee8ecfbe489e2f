#include "StudioRules.h"

#include "ImageOptions.h"

#include <cmath>

namespace StudioRules {

const QList<CreativityLevel>& creativityLevels() {
    static const QList<CreativityLevel> levels{
        {QStringLiteral("Precise"), 0.0},
        {QStringLiteral("Balanced"), 0.7},
        {QStringLiteral("Creative"), 1.2},
        {QStringLiteral("Wild"), 2.0},
    };
    return levels;
}

bool isLevelSelected(double temperature, const CreativityLevel& level) {
    return std::abs(temperature - level.temperature) < 0.1;
}

StripLayout stripLayout(int count) {
    if (count <= 0)
        return StripLayout::empty;
    if (count == 1)
        return StripLayout::single;
    if (count == 2)
        return StripLayout::pair;
    return StripLayout::grid;
}

int gridColumns(double scale) {
    return scale >= 0.9 && scale < 1.1 ? 2 : 3;
}

QString referenceHeader(int count) {
    return QStringLiteral("Reference Images (Optional) %1/9").arg(count);
}

bool showsAddMoreButton(int count) {
    return count >= 1 && count <= 8;
}

bool hasText(const ImageGenerationService& service) {
    const auto text = service.textResponse();
    return text && !text->isEmpty();
}

ResultState resultState(const ImageGenerationService& service) {
    if (!service.generatedImage().isNull() || hasText(service) || service.isContentBlocked())
        return ResultState::completed;
    if (service.isLoading())
        return ResultState::loading;
    if (service.errorMessage())
        return ResultState::failed;
    return ResultState::ready;
}

TextButtonTone textButtonTone(const ImageGenerationService& service) {
    if (service.isContentBlocked())
        return TextButtonTone::blocked;
    return hasText(service) ? TextButtonTone::text : TextButtonTone::none;
}

bool isTextButtonEnabled(const ImageGenerationService& service) {
    return service.isContentBlocked() || hasText(service);
}

bool showsBubble(const ImageGenerationService& service, bool showTextPopup) {
    return showTextPopup && hasText(service);
}

ResultActions resultActions(bool hasImage, VideoGenerationMode videoMode) {
    if (!hasImage)
        return {};
    const bool frames = videoMode == VideoGenerationMode::startEndVideo;
    ResultActions actions;
    actions.imageToImage = true;
    actions.imageToVideo = !frames;
    actions.startFrame = frames;
    actions.endFrame = frames;
    actions.finder = true;
    return actions;
}

QString loadingText(bool photoTaskActive) {
    return photoTaskActive ? QStringLiteral("Generating your image...") : QStringLiteral("Waiting in queue...");
}

bool isUsageAlarming(double percent) {
    return percent > 80.0;
}

} // namespace StudioRules
