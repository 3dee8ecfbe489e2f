#pragma once

#include <QString>
#include <QUrl>

class Defaults;

// Where the two generation services and the update feed live. The real addresses are compiled in;
// an optional [Services] section of the settings file overrides them (a regional host, a proxy,
// a local test service).
struct ServiceConfig {
    QUrl geminiBaseUrl;
    QUrl miniMaxBaseUrl;
    QString miniMaxGroupId;
    QUrl updateFeedUrl;

    static ServiceConfig builtIn();
    static ServiceConfig fromDefaults(const Defaults& defaults);

    // The process-wide value (read from the standard defaults on first use).
    static const ServiceConfig& current();
    static void setCurrent(const ServiceConfig& config);
};
