#include "OrvaneAPIService.h"

OrvaneAPIService::OrvaneAPIService(QObject* parent) : ImageGenerationService(parent) {}

OrvaneAPIService& OrvaneAPIService::shared() {
    static OrvaneAPIService* instance = new OrvaneAPIService;
    return *instance;
}

void OrvaneAPIService::resetSession() {
    generatedImage_ = QImage();
    errorMessage_.reset();
    textResponse_.reset();
    isContentBlocked_ = false;
    emit stateChanged();
}
