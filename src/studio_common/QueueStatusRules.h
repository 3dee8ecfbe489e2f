#pragma once

#include <QString>

class QueueManager;

// What a studio's queue status capsule shows, read from the queue: the other studio's work.
namespace StudioRules {

enum class IndicatorTab { photo, video };
struct IndicatorState {
    bool visible = false;
    QString text;
    int activeSlots = 0; // video capsule: how many of the four dots are lit
    bool spinner = false;
};
IndicatorState indicatorState(const QueueManager& queue, IndicatorTab tab);

} // namespace StudioRules
