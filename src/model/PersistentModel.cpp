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
