#include "ModelSchema.h"

#include "AppSettings.h"
#include "ImagePreset.h"
#include "PromptPreset.h"
#include "VideoMetadata.h"

namespace ModelSchema {

std::vector<const EntityDescription*> entities() {
    return {&VideoMetadata::description(), &PromptPreset::description(), &ImagePreset::description(),
            &AppSettings::description()};
}

std::unique_ptr<ModelContext> openStore(const QString& path) {
    return ModelContext::open(path, entities());
}

} // namespace ModelSchema
