#pragma once

#include "ImageProvider.h"

#include <QObject>
#include <QString>

// A read-only snapshot of the image key, the first video key and the image provider, taken when created.
class APISettings : public QObject {
    Q_OBJECT
public:
    explicit APISettings(QObject* parent = nullptr);

    QString googleAPIKey() const { return googleAPIKey_; }
    QString miniMaxAPIKey() const { return miniMaxAPIKey_; }
    ImageProvider imageGenerationProvider() const { return imageGenerationProvider_; }

private:
    QString googleAPIKey_;
    QString miniMaxAPIKey_;
    ImageProvider imageGenerationProvider_ = ImageProvider::orvane;
};
