#include "PromptPreset.h"

#include "Clock.h"
#include "EntityColumns.h"
#include "StoredPicture.h"
#include "VideoMetadata.h"

std::shared_ptr<PromptPreset> PromptPreset::make(const QString& name, const QString& prompt, const QString& category,
                                                 bool isBuiltIn) {
    std::shared_ptr<PromptPreset> preset(new PromptPreset);
    preset->id_ = QUuid::createUuid();
    preset->name_ = name;
    preset->prompt_ = prompt;
    preset->category_ = category;
    preset->isBuiltIn_ = isBuiltIn;
    preset->createdAt_ = Clock::current().now();
    return preset;
}

const EntityDescription& PromptPreset::description() {
    using R = PromptPreset;
    static const EntityDescription entity{
        "PromptPreset",
        {
            Columns::uuid("id", &R::id_),
            Columns::text("name", &R::name_),
            Columns::text("prompt", &R::prompt_),
            Columns::text("category", &R::category_),
            Columns::date("createdAt", &R::createdAt_),
            Columns::boolean("isBuiltIn", &R::isBuiltIn_),
            Columns::picture("previewThumbnailData", &R::previewThumbnailData_),
            Columns::picture("userImageData", &R::userImageData_),
        },
        [] { return std::shared_ptr<PersistentModel>(new PromptPreset); },
        QStringLiteral("The preset could not be saved yet"),
    };
    return entity;
}

QString PromptPreset::identity() const {
    return id_.toString(QUuid::WithoutBraces);
}

QList<std::shared_ptr<VideoMetadata>> PromptPreset::videos() const {
    if (!modelContext())
        return {};
    const auto clips = modelContext()->fetch<VideoMetadata>(
        {[this](const VideoMetadata& v) { return v.promptPreset().get() == this; }});
    return clips.value_or(QList<std::shared_ptr<VideoMetadata>>{});
}

void PromptPreset::setIsHovered(bool v) {
    if (isHovered_ == v)
        return;
    isHovered_ = v;
    emit changed();
}

void PromptPreset::storeImageAsJPEG(const QImage& picture, std::optional<QByteArray> PromptPreset::*field) {
    if (const auto jpeg = StoredPicture::encode(picture))
        write(this->*field, std::optional<QByteArray>(*jpeg));
}

void PromptPreset::setPreviewThumbnail(const QImage& picture) {
    storeImageAsJPEG(picture, &PromptPreset::previewThumbnailData_);
}

void PromptPreset::setUserImage(const QImage& picture) {
    storeImageAsJPEG(picture, &PromptPreset::userImageData_);
}

QImage PromptPreset::userImage() const {
    return StoredPicture::decode(userImageData());
}
