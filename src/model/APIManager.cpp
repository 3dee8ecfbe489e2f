#include "APIManager.h"

#include "Defaults.h"

#include <memory>
#include <mutex>

const QSet<QString>& defaultSupportedVideoFormats() {
    static const QSet<QString> formats{"mp4"};
    return formats;
}

namespace {
std::unique_ptr<APIManager>& slot() {
    static std::unique_ptr<APIManager> instance;
    return instance;
}
} // namespace

APIManager& APIManager::shared() {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    if (!slot())
        slot().reset(new APIManager);
    return *slot();
}

void APIManager::resetSharedForTesting() {
    slot().reset();
}

APIManager::APIManager() {
    struct Entry {
        QString APIManager::*field;
        const char* key;
    };
    const Entry entries[] = {
        {&APIManager::googleAPIKey_, "googleAPIKey"},     {&APIManager::miniMaxAPIKey_, "miniMaxAPIKey"},
        {&APIManager::miniMaxAPIKey2_, "miniMaxAPIKey2"}, {&APIManager::miniMaxAPIKey3_, "miniMaxAPIKey3"},
        {&APIManager::miniMaxAPIKey4_, "miniMaxAPIKey4"},
    };
    for (const Entry& entry : entries) {
        this->*entry.field = Defaults::standard().string(entry.key).value_or(QString());
        // A key stored as this very text is left alone: writing it back would rewrite the file at every start.
        const QVariant stored = Defaults::standard().object(entry.key);
        if (stored.metaType().id() != QMetaType::QString || stored.toString() != this->*entry.field)
            saveKey(this->*entry.field, entry.key);
    }
}

QString APIManager::miniMaxAPIKey(int slot) const {
    switch (slot) {
    case 1:
        return miniMaxAPIKey_;
    case 2:
        return miniMaxAPIKey2_;
    case 3:
        return miniMaxAPIKey3_;
    case 4:
        return miniMaxAPIKey4_;
    default:
        return {};
    }
}

bool APIManager::hasValidKey(const QString& key) {
    return !key.trimmed().isEmpty();
}

void APIManager::saveKey(const QString& value, const QString& key) {
    // An object write: an empty key is stored as an empty string, not removed.
    Defaults::standard().set(key, QVariant(value));
}

void APIManager::assign(QString& field, const QString& value, const char* key, void (APIManager::*signal)()) {
    field = value;
    saveKey(value, key);
    emit(this->*signal)();
}

void APIManager::setGoogleAPIKey(const QString& key) {
    assign(googleAPIKey_, key, "googleAPIKey", &APIManager::googleAPIKeyChanged);
}
void APIManager::setMiniMaxAPIKey(const QString& key) {
    assign(miniMaxAPIKey_, key, "miniMaxAPIKey", &APIManager::miniMaxAPIKeyChanged);
}
void APIManager::setMiniMaxAPIKey2(const QString& key) {
    assign(miniMaxAPIKey2_, key, "miniMaxAPIKey2", &APIManager::miniMaxAPIKey2Changed);
}
void APIManager::setMiniMaxAPIKey3(const QString& key) {
    assign(miniMaxAPIKey3_, key, "miniMaxAPIKey3", &APIManager::miniMaxAPIKey3Changed);
}
void APIManager::setMiniMaxAPIKey4(const QString& key) {
    assign(miniMaxAPIKey4_, key, "miniMaxAPIKey4", &APIManager::miniMaxAPIKey4Changed);
}
