#include "QueueStatusRules.h"

#include "QueueManager.h"

#include <algorithm>

static_assert(StudioRules::videoSlots == QueueManager::maxConcurrentVideoTasks);

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

QueueStatusModel::QueueStatusModel(QueueManager* queue, StudioRules::IndicatorTab tab, QObject* parent)
    : QObject(parent), queue_(queue), tab_(tab) {
    if (queue_)
        connect(queue_, &QueueManager::tasksChanged, this, &QueueStatusModel::stateChanged);
}

StudioRules::IndicatorState QueueStatusModel::state() const {
    return queue_ ? StudioRules::indicatorState(*queue_, tab_) : StudioRules::IndicatorState{};
}
