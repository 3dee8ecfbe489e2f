#include "ImagePreset.h"

#include "Clock.h"
#include "EntityColumns.h"
#include "StoredPicture.h"
#include "VideoMetadata.h"

std::shared_ptr<ImagePreset> ImagePreset::make(const QString& title, const QString& prompt, const QImage& image) {
    std::shared_ptr<ImagePreset> preset(new ImagePreset);
    preset->id_ = QUuid::createUuid();
    preset->title_ = title;
    preset->prompt_ = prompt;
    preset->createdAt_ = Clock::current().now();
    if (!image.isNull())
        preset->storeImageAsJPEG(image);
    return preset;
}

const EntityDescription& ImagePreset::description() {
    using R = ImagePreset;
    static const EntityDescription entity{
        "ImagePreset",
        {
            Columns::uuid("id", &R::id_),
            Columns::text("title", &R::title_),
            Columns::text("prompt", &R::prompt_),
            Columns::date("createdAt", &R::createdAt_),
            Columns::picture("imageData", &R::imageData_),
        },
        [] { return std::shared_ptr<PersistentModel>(new ImagePreset); },
        QStringLiteral("The preset could not be saved yet"),
    };
    return entity;
}

QString ImagePreset::identity() const {
    return id_.toString(QUuid::WithoutBraces);
}

QList<std::shared_ptr<VideoMetadata>> ImagePreset::videos() const {
    if (!modelContext())
        return {};
    const auto clips = modelContext()->fetch<VideoMetadata>(
        {[this](const VideoMetadata& v) { return v.imagePreset().get() == this; }});
    return clips.value_or(QList<std::shared_ptr<VideoMetadata>>{});
}

void ImagePreset::storeImageAsJPEG(const QImage& picture) {
    if (const auto jpeg = StoredPicture::encode(picture))
        write(imageData_, std::optional<QByteArray>(*jpeg));
}

QImage ImagePreset::image() const {
    return StoredPicture::decode(imageData());
}
