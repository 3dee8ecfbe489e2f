#include "PersistentModel.h"

#include "ModelContext.h"

PersistentModel::~PersistentModel() = default;

void PersistentModel::didChange() {
    if (loading_)
        return;
    dirty_ = true;
    emit changed();
    if (context_)
        context_->recordChanged(this);
}

void PersistentModel::fetchLazyColumns() const {
    lazyPending_ = false;
    if (context_)
        context_->loadLazyColumns(const_cast<PersistentModel&>(*this));
}

bool PersistentModel::lazyValuePresent(const QString& column, bool present) const {
    if (!lazyPending_)
        return present;
    int ordinal = 0;
    for (const EntityColumn& candidate : entity().columns) {
        if (!candidate.lazy)
            continue;
        if (candidate.name == column)
            return (lazyPresent_ >> ordinal) & 1;
        ++ordinal;
    }
    return present;
}
