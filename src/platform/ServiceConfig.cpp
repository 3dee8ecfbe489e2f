#include "ServiceConfig.h"

#include "Defaults.h"

#include <optional>

namespace {
std::optional<ServiceConfig>& slot() {
    static std::optional<ServiceConfig> config;
    return config;
}

QUrl overriddenUrl(const Defaults& defaults, const QString& key, const QUrl& fallback) {
    const auto text = defaults.string(key);
    if (!text || text->trimmed().isEmpty())
        return fallback;
    const QUrl url(text->trimmed(), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") || url.host().isEmpty())
        return fallback;
    return url;
}
} // namespace

ServiceConfig ServiceConfig::builtIn() {
    ServiceConfig config;
    config.geminiBaseUrl = QUrl("https://generativelanguage.googleapis.com");
    config.miniMaxBaseUrl = QUrl("https://api.minimax.io");
    config.miniMaxGroupId = "5820147736091248813";
    config.updateFeedUrl = QUrl("https://updates.orvane.app/appcast.xml");
    return config;
}

ServiceConfig ServiceConfig::fromDefaults(const Defaults& defaults) {
    ServiceConfig config = builtIn();
    config.geminiBaseUrl = overriddenUrl(defaults, "Services/geminiBaseURL", config.geminiBaseUrl);
    config.miniMaxBaseUrl = overriddenUrl(defaults, "Services/miniMaxBaseURL", config.miniMaxBaseUrl);
    config.updateFeedUrl = overriddenUrl(defaults, "Services/updateFeedURL", config.updateFeedUrl);
    if (const auto group = defaults.string("Services/miniMaxGroupId"); group && !group->trimmed().isEmpty())
        config.miniMaxGroupId = group->trimmed();
    return config;
}

const ServiceConfig& ServiceConfig::current() {
    if (!slot())
        slot() = fromDefaults(Defaults::standard());
    return *slot();
}

void ServiceConfig::setCurrent(const ServiceConfig& config) {
    slot() = config;
}
