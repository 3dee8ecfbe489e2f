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
