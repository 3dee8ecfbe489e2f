#pragma once

#include "ModelContext.h"

#include <QDateTime>

#include <algorithm>
#include <functional>

// Preset records by creation time. Times are kept to the millisecond, so records made together would
// tie: the stores stamp the records they make with `nextCreationTime()`, and remaining ties follow the
// stored order (newest first: the later row first).
namespace PresetOrder {

// Now, but always at least a millisecond after the previous stamp of this process, so that of two records
// made one after the other the second is the newer one.
QDateTime nextCreationTime();

template <class T>
std::optional<QList<std::shared_ptr<T>>> newestFirst(ModelContext& context, std::function<bool(const T&)> predicate,
                                                     QString* error) {
    auto records = context.fetch<T>({std::move(predicate), {}}, error);
    if (records) {
        std::reverse(records->begin(), records->end());
        std::stable_sort(records->begin(), records->end(),
                         [](const auto& a, const auto& b) { return a->createdAt() > b->createdAt(); });
    }
    return records;
}

template <class T>
std::optional<QList<std::shared_ptr<T>>> oldestFirst(ModelContext& context, std::function<bool(const T&)> predicate,
                                                     QString* error) {
    return context.fetch<T>(
        {std::move(predicate), [](const T& a, const T& b) { return a.createdAt() < b.createdAt(); }}, error);
}

} // namespace PresetOrder
