#include "ImageServiceFactory.h"

#include "DecimalText.h"
#include "Defaults.h"
#include "Log.h"
#include "OrvaneAPIService.h"

#include <cmath>

namespace {
const QString providerKey = QStringLiteral("imageGenerationProvider");
const QString modeKey = QStringLiteral("imageGenerationMode");
const QString modelKey = QStringLiteral("selectedImageModel");
const QString temperatureKey = QStringLiteral("imageGenerationTemperature");
const QString aspectRatioKey = QStringLiteral("selectedAspectRatio");
// The flash model's id in earlier versions.
const QString retiredFlashId = QStringLiteral("gemini-3.5-flash");
} // namespace

ImageServiceFactory::ImageServiceFactory(QObject* parent) : QObject(parent) {
    orvaneService_ = new OrvaneAPIService(this);
    currentService_ = orvaneService_;
    loadSettings();
    observeServiceChanges();
}

ImageServiceFactory::~ImageServiceFactory() = default;

void ImageServiceFactory::observeServiceChanges() {
    disconnect(serviceConnection_);
    // Queued, with the factory as the receiver: each notification becomes one posted event, dropped
    // unseen when the factory is gone first. The connection never keeps the factory alive.
    serviceConnection_ = connect(orvaneService_, &ImageGenerationService::stateChanged, this,
                                 &ImageServiceFactory::stateChanged, Qt::QueuedConnection);
}

void ImageServiceFactory::loadSettings() {
    const Defaults& defaults = Defaults::standard();

    if (const auto provider = fromRawValue<ImageProvider>(defaults.string(providerKey).value_or(QString())))
        currentProvider_ = *provider;

    const auto mode = fromRawValue<ImageGenerationMode>(defaults.string(modeKey).value_or(QString()));
    currentMode_ = mode ? *mode : generationMode(currentProvider_);

    if (const auto stored = defaults.string(modelKey)) {
        const auto model =
            *stored == retiredFlashId ? std::optional(ImageModel::flash) : fromRawValue<ImageModel>(*stored);
        if (model) {
            selectedImageModel_ = *model;
            if (*stored != rawValue(*model))
                Defaults::standard().set(modelKey, rawValue(*model));
        }
    }

    const double storedTemperature = defaults.number(temperatureKey).value_or(0.0);
    // A stored "inf" would go out as JSON null.
    if (storedTemperature > 0.0 && std::isfinite(storedTemperature))
        temperature_ = storedTemperature;

    if (const auto ratio = fromRawValue<AspectRatio>(defaults.string(aspectRatioKey).value_or(QString())))
        selectedAspectRatio_ = *ratio;

    updateCurrentService();
    orvaneService_->updateModel(selectedImageModel_);
    orvaneService_->setTemperature(temperature_);
    Log::line("✅ Updated temperature to: " + decimalText(temperature_));
    Log::line("✅ Updated aspect ratio to: " + rawValue(selectedAspectRatio_));
}

void ImageServiceFactory::setSelectedImageModel(ImageModel model) {
    selectedImageModel_ = model;
    Defaults::standard().set(modelKey, rawValue(model));
    orvaneService_->updateModel(model);
    emit stateChanged();
}

void ImageServiceFactory::setTemperature(double value) {
    // Not a number or infinite would be sent as null and stored as text; loading ignores it too.
    if (!std::isfinite(value))
        return;
    temperature_ = value;
    Defaults::standard().set(temperatureKey, value);
    orvaneService_->setTemperature(value);
    Log::line("✅ Updated temperature to: " + decimalText(value));
    emit stateChanged();
}

void ImageServiceFactory::updateCurrentService() {
    switch (currentProvider_) {
    case ImageProvider::orvane:
        currentService_ = orvaneService_;
        break;
    }
    emit stateChanged();
}

qint64 ImageServiceFactory::sessionTokensUsed() const {
    const auto* service = qobject_cast<const OrvaneAPIService*>(currentService_);
    return service ? service->totalTokensInSession() : 0;
}

qint64 ImageServiceFactory::sessionTokenLimit() const {
    const auto* service = qobject_cast<const OrvaneAPIService*>(currentService_);
    return service ? service->maxTokensLimit() : 0;
}
