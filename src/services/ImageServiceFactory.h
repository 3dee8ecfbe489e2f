#pragma once

#include "ImageOptions.h"
#include "ImageProvider.h"

#include <QObject>

class OrvaneAPIService;

// Holds the image studio's generation choices (kept in the user defaults) and the one image service that
// serves the current provider. Every change of that service is passed on as the factory's own
// `stateChanged()`, one event-loop turn later.
class ImageServiceFactory : public QObject {
    Q_OBJECT
    Q_PROPERTY(double temperature READ temperature NOTIFY stateChanged)
public:
    explicit ImageServiceFactory(QObject* parent = nullptr);
    ~ImageServiceFactory() override;

    ImageProvider currentProvider() const { return currentProvider_; }
    ImageGenerationMode currentMode() const { return currentMode_; }
    ImageGenerationService* currentService() const { return currentService_; }
    ImageModel selectedImageModel() const { return selectedImageModel_; }
    double temperature() const { return temperature_; }
    AspectRatio selectedAspectRatio() const { return selectedAspectRatio_; }
    OrvaneAPIService* orvaneService() const { return orvaneService_; }

    void setSelectedImageModel(ImageModel model);
    void setTemperature(double value);

    // The chat's token count and the context window of the current service (0 for any other service).
    qint64 sessionTokensUsed() const;
    qint64 sessionTokenLimit() const;

signals:
    void stateChanged();

private:
    void observeServiceChanges();
    void loadSettings();
    void updateCurrentService();

    ImageProvider currentProvider_ = ImageProvider::orvane;
    ImageGenerationMode currentMode_ = ImageGenerationMode::orvane;
    ImageGenerationService* currentService_ = nullptr;
    ImageModel selectedImageModel_ = ImageModel::flash;
    double temperature_ = 0.7;
    AspectRatio selectedAspectRatio_ = AspectRatio::ratio16_9;
    OrvaneAPIService* orvaneService_ = nullptr; // a child: lives exactly as long as the factory
    QMetaObject::Connection serviceConnection_;
};
