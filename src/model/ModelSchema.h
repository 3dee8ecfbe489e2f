#pragma once

#include "ModelContext.h"

#include <memory>

// The application's store: exactly the four record types.
namespace ModelSchema {

std::vector<const EntityDescription*> entities();
std::unique_ptr<ModelContext> openStore(const QString& path);

} // namespace ModelSchema
