#pragma once

#include "AppViewModel.h"
#include "QueueStatusRules.h"

#include <QList>
#include <QString>

class ImageGenerationService;

// Small display rules of the studio's panels, kept apart from the widgets that show them. The queue status
// capsule's rules, which both studios show, come with QueueStatusRules.h.
namespace StudioRules {

// --- model settings popover ---
struct CreativityLevel {
    QString label;
    double temperature;
};
const QList<CreativityLevel>& creativityLevels();
bool isLevelSelected(double temperature, const CreativityLevel& level);

// --- reference strip ---
enum class StripLayout { empty, single, pair, grid };
StripLayout stripLayout(int count);
int gridColumns(double scale);
QString referenceHeader(int count);
bool showsAddMoreButton(int count);

// --- result panel ---
enum class ResultState { completed, loading, failed, ready };
bool hasText(const ImageGenerationService& service);
ResultState resultState(const ImageGenerationService& service);
enum class TextButtonTone { blocked, text, none };
TextButtonTone textButtonTone(const ImageGenerationService& service);
bool isTextButtonEnabled(const ImageGenerationService& service);
// The bubble shows only with a non-empty reply and the flag set.
bool showsBubble(const ImageGenerationService& service, bool showTextPopup);
// The buttons under a result: none without a picture; the two frame buttons in place of "Image to video" while
// the video studio makes clips from a start and an end frame.
struct ResultActions {
    bool imageToImage = false;
    bool imageToVideo = false;
    bool startFrame = false;
    bool endFrame = false;
    bool finder = false;
    bool operator==(const ResultActions&) const = default;
};
ResultActions resultActions(bool hasImage, VideoGenerationMode videoMode);
// The waiting page's words: only a photo job that the queue runs is "generating".
QString loadingText(bool photoTaskActive);

// --- header ---
bool isUsageAlarming(double percent);

} // namespace StudioRules
