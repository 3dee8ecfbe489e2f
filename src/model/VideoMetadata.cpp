#include "VideoMetadata.h"

#include "Clock.h"
#include "EntityColumns.h"
#include "ImagePreset.h"
#include "PromptPreset.h"
#include "StoredPicture.h"

std::shared_ptr<VideoMetadata> VideoMetadata::make(const QString& fileName, const QString& prompt,
                                                   const QString& quality, int duration, const QString& videoMode,
                                                   bool promptOptimization, const std::optional<QString>& model,
                                                   const std::optional<bool>& fastPretreatment) {
    std::shared_ptr<VideoMetadata> record(new VideoMetadata);
    record->id_ = QUuid::createUuid();
    record->fileName_ = fileName;
    record->prompt_ = prompt;
    record->quality_ = quality;
    record->duration_ = duration;
    record->videoMode_ = videoMode;
    record->promptOptimization_ = promptOptimization;
    record->model_ = model;
    record->fastPretreatment_ = fastPretreatment;
    record->createdAt_ = Clock::current().now();
    return record;
}

const EntityDescription& VideoMetadata::description() {
    using R = VideoMetadata;
    using T = EntityColumn::Type;
    static const EntityDescription entity{
        "VideoMetadata",
        {
            Columns::uuid("id", &R::id_),
            Columns::text("fileName", &R::fileName_),
            Columns::text("prompt", &R::prompt_),
            Columns::text("quality", &R::quality_),
            Columns::integer("duration", &R::duration_),
            Columns::date("createdAt", &R::createdAt_),
            Columns::text("videoMode", &R::videoMode_),
            Columns::boolean("promptOptimization", &R::promptOptimization_),
            Columns::optional("model", T::Text, &R::model_),
            Columns::optional("fastPretreatment", T::Integer, &R::fastPretreatment_),
            Columns::picture("firstFrameImageData", &R::firstFrameImageData_),
            Columns::picture("lastFrameImageData", &R::lastFrameImageData_),
            Columns::reference("promptPreset", &R::promptPreset_),
            Columns::reference("imagePreset", &R::imagePreset_),
        },
        [] { return std::shared_ptr<PersistentModel>(new VideoMetadata); },
        QStringLiteral("The clip's details could not be saved yet"),
    };
    return entity;
}

QString VideoMetadata::identity() const {
    return id_.toString(QUuid::WithoutBraces);
}

QImage VideoMetadata::firstFrameImage() const {
    return StoredPicture::decode(firstFrameImageData());
}

QImage VideoMetadata::lastFrameImage() const {
    return StoredPicture::decode(lastFrameImageData());
}
