#include "APISettingsViewModel.h"

#include "APIManager.h"
#include "TaskOwner.h"

#include <QPointer>

#include <functional>

namespace {

// Runs one key test; the slot may go (its window closed) before the answer comes, and its request goes with it.
QCoro::Task<> runKeyTest(QPointer<APIKeySlot> slot, bool imageKey, QString key, int timeoutMs,
                         std::function<void(APIKeySlot*, const APITestResult&)> finish) {
    if (imageKey) {
        const APITestResult result = co_await APIKeyTests::testGoogleAPIKey(key, timeoutMs, slot);
        if (slot)
            finish(slot, result);
    } else {
        const APITestResult result = co_await APIKeyTests::testMiniMaxAPIKey(key, timeoutMs, slot);
        if (slot)
            finish(slot, result);
    }
}

} // namespace

APIKeySlot::APIKeySlot(int slot, QObject* parent) : QObject(parent), slot_(slot) {
    APIManager& keys = APIManager::shared();
    const auto notify = [this] { emit keyChanged(); };
    switch (slot_) {
    case 0:
        connect(&keys, &APIManager::googleAPIKeyChanged, this, notify);
        break;
    case 1:
        connect(&keys, &APIManager::miniMaxAPIKeyChanged, this, notify);
        break;
    case 2:
        connect(&keys, &APIManager::miniMaxAPIKey2Changed, this, notify);
        break;
    case 3:
        connect(&keys, &APIManager::miniMaxAPIKey3Changed, this, notify);
        break;
    default:
        connect(&keys, &APIManager::miniMaxAPIKey4Changed, this, notify);
        break;
    }
    connect(this, &APIKeySlot::keyChanged, this, &APIKeySlot::controlsChanged);
    connect(this, &APIKeySlot::testStateChanged, this, &APIKeySlot::controlsChanged);
}

QString APIKeySlot::title() const {
    return isImageKey() ? QStringLiteral("Google Gemini") : QStringLiteral("MiniMax Hailuo 2");
}

QString APIKeySlot::caption() const {
    return isImageKey() ? QStringLiteral("Orvane - image generation powered by Gemini Image")
                        : QStringLiteral("MiniMax Hailuo 2 - video generation with camera movement");
}

QString APIKeySlot::placeholder() const {
    return isImageKey() ? QStringLiteral("Enter Google API key") : QStringLiteral("Enter MiniMax API key");
}

QString APIKeySlot::sectionHeader() const {
    return isImageKey() ? QStringLiteral("Image Generation")
                        : QStringLiteral("Video Generation - API Key %1").arg(slot_);
}

QString APIKeySlot::testHelp() const {
    return isImageKey() ? QStringLiteral("Test Google API key") : QStringLiteral("Test MiniMax API key");
}

QString APIKeySlot::fieldName() const {
    return isImageKey() ? QStringLiteral("Google API key") : QStringLiteral("MiniMax API key %1").arg(slot_);
}

QString APIKeySlot::testButtonName() const {
    return isImageKey() ? testHelp() : QStringLiteral("%1 %2").arg(testHelp()).arg(slot_);
}

QString APIKeySlot::clearButtonName() const {
    return isImageKey() ? QStringLiteral("Clear key") : QStringLiteral("Clear key %1").arg(slot_);
}

QString APIKeySlot::key() const {
    APIManager& keys = APIManager::shared();
    return isImageKey() ? keys.googleAPIKey() : keys.miniMaxAPIKey(slot_);
}

void APIKeySlot::setKey(const QString& key) {
    APIManager& keys = APIManager::shared();
    switch (slot_) {
    case 0:
        keys.setGoogleAPIKey(key);
        break;
    case 1:
        keys.setMiniMaxAPIKey(key);
        break;
    case 2:
        keys.setMiniMaxAPIKey2(key);
        break;
    case 3:
        keys.setMiniMaxAPIKey3(key);
        break;
    default:
        keys.setMiniMaxAPIKey4(key);
        break;
    }
}

bool APIKeySlot::hasKey() const {
    return APIManager::hasValidKey(key());
}

void APIKeySlot::setShowKey(bool show) {
    if (show == showKey_)
        return;
    showKey_ = show;
    emit showKeyChanged();
}

QString APIKeySlot::statusText() const {
    return hasKey() ? QStringLiteral("Key set") : QStringLiteral("No key");
}

QString APIKeySlot::showKeyText() const {
    const QString action = showKey_ ? QStringLiteral("Hide key") : QStringLiteral("Show key");
    return isImageKey() ? action : QStringLiteral("%1 %2").arg(action).arg(slot_);
}

QString APIKeySlot::resultText() const {
    if (!testResult_)
        return {};
    return testResult_->isSuccess ? QStringLiteral("API key is valid") : testResult_->message;
}

void APIKeySlot::test() {
    if (isTesting_)
        return;
    const QString stored = key();
    if (stored.isEmpty())
        return;
    const bool valid =
        isImageKey() ? APIKeyTests::isValidGoogleKeyFormat(stored) : APIKeyTests::isValidMiniMaxKeyFormat(stored);
    if (!valid) {
        testResult_ =
            APITestResult::failure(isImageKey() ? APIKeyTests::googleFormatMessage : APIKeyTests::miniMaxFormatMessage);
        emit testStateChanged();
        return;
    }
    isTesting_ = true;
    testResult_.reset();
    emit testStateChanged();
    TaskOwner::own(this, runKeyTest(QPointer<APIKeySlot>(this), isImageKey(), stored, timeoutMs_,
                                    [](APIKeySlot* slot, const APITestResult& result) { slot->finishTest(result); }));
}

void APIKeySlot::finishTest(const APITestResult& result) {
    testResult_ = result;
    isTesting_ = false;
    emit testStateChanged();
}

void APIKeySlot::clear() {
    setKey(QString());
}

APISettingsViewModel::APISettingsViewModel(QObject* parent) : QObject(parent) {
    for (int slot = 0; slot <= 4; ++slot)
        slots_.append(new APIKeySlot(slot, this));
}

QString APISettingsViewModel::linkTitle(const QString& address) {
    QString title = address;
    title.remove(QStringLiteral("https://"));
    return title;
}
