#include "MiniMaxAPIService.h"

#include "APIManager.h"

MiniMaxAPIService::MiniMaxAPIService(const QString& apiKey, int keyNumber, QObject* parent)
    : QObject(parent), apiKey_(apiKey), keyNumber_(keyNumber) {}

MiniMaxAPIService& MiniMaxAPIService::shared() {
    static MiniMaxAPIService* instance = new MiniMaxAPIService(APIManager::shared().miniMaxAPIKey(), 1);
    return *instance;
}
