#include "APISettings.h"

#include "Defaults.h"

APISettings::APISettings(QObject* parent) : QObject(parent) {
    googleAPIKey_ = Defaults::standard().string("googleAPIKey").value_or(QString());
    miniMaxAPIKey_ = Defaults::standard().string("miniMaxAPIKey").value_or(QString());
    imageGenerationProvider_ = ImageProvider::orvane;
}
