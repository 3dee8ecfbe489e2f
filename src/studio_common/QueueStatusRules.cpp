#include "QueueStatusRules.h"

#include "QueueManager.h"

#include <algorithm>

namespace StudioRules {

IndicatorState indicatorState(const QueueManager& queue, IndicatorTab tab) {
    IndicatorState state;
    if (tab == IndicatorTab::photo) {
        state.visible = queue.hasVideoWork();
        state.text = queue.videoStatusText();
        state.activeSlots =
            int(std::min<qsizetype>(queue.activeVideoTasks().size(), QueueManager::maxConcurrentVideoTasks));
        state.spinner = !queue.activeVideoTasks().isEmpty();
    } else {
        state.visible = queue.hasPhotoWork();
        state.text = queue.photoStatusText();
        state.spinner = queue.activePhotoTask().has_value();
    }
    return state;
}

} // namespace StudioRules
