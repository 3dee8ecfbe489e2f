#include "AppSettings.h"

#include "EntityColumns.h"

std::shared_ptr<AppSettings> AppSettings::make() {
    return std::shared_ptr<AppSettings>(new AppSettings);
}

const EntityDescription& AppSettings::description() {
    using R = AppSettings;
    using T = EntityColumn::Type;
    static const EntityDescription entity{
        "AppSettings",
        {
            Columns::text("id", &R::id_),
            Columns::text("videoQuality", &R::videoQuality_),
            Columns::integer("videoDuration", &R::videoDuration_),
            Columns::boolean("defaultPromptOptimization", &R::defaultPromptOptimization_),
            Columns::optional("videoDirectoryBookmark", T::Blob, &R::videoDirectoryBookmark_),
            Columns::text("imageOutputSize", &R::imageOutputSize_),
            Columns::text("imageFormat", &R::imageFormat_),
            Columns::optional("imageDirectoryBookmark", T::Blob, &R::imageDirectoryBookmark_),
            Columns::text("googleAPIKey", &R::googleAPIKey_),
            Columns::text("miniMaxAPIKey", &R::miniMaxAPIKey_),
            Columns::text("miniMaxAPIKey2", &R::miniMaxAPIKey2_),
            Columns::text("miniMaxAPIKey3", &R::miniMaxAPIKey3_),
            Columns::text("miniMaxAPIKey4", &R::miniMaxAPIKey4_),
            Columns::text("videoGenerationMode", &R::videoGenerationMode_),
            Columns::text("videoGalleryViewMode", &R::videoGalleryViewMode_),
            Columns::optional("lastBackupDate", T::Integer, &R::lastBackupDate_),
            Columns::optional("lastRestoreDate", T::Integer, &R::lastRestoreDate_),
        },
        [] { return std::shared_ptr<PersistentModel>(new AppSettings); }};
    return entity;
}
