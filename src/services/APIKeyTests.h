#pragma once

#include <QByteArray>
#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

class QObject;

// The outcome of a key's format check or key test.
struct APITestResult {
    bool isSuccess = false;
    QString message; // the failure's text; empty on success

    static APITestResult success() { return {true, {}}; }
    static APITestResult failure(const QString& message) { return {false, message}; }
    bool operator==(const APITestResult&) const = default;
};

// Local format checks of the five keys and their tests against the two services: the image key lists the
// Gemini models, a video key asks the MiniMax service for the record of a file that does not exist. The
// requests are the clients' own, sent on their network manager and read by their rules.
namespace APIKeyTests {

inline const QString googleFormatMessage =
    QStringLiteral("Invalid API key format - should start with 'AIza' and be 39 characters long");
inline const QString miniMaxFormatMessage =
    QStringLiteral("Invalid JWT token format - should have 3 parts separated by dots");
constexpr int defaultTimeoutMs = 60'000;

// Both checks trim white space at the ends. A key holding CR, LF or NUL anywhere never passes: such a key
// could not be sent as typed.
bool isValidGoogleKeyFormat(const QString& key);
bool isValidMiniMaxKeyFormat(const QString& key);

// Answer rules: none when the key is valid, else the text shown. `status` is none for an answer that is
// not an HTTP response.
std::optional<QString> classifyGoogleTestResponse(std::optional<int> status);
std::optional<QString> classifyMiniMaxTestResponse(std::optional<int> status, const QByteArray& body);

// One request each, sent with the key exactly as given; a transport failure gives the platform's text, a time-out
// the clients' text for it. The request is given up at once when `owner` (the one who asked) goes.
QCoro::Task<APITestResult> testGoogleAPIKey(QString key, int timeoutMs = defaultTimeoutMs, QObject* owner = nullptr);
QCoro::Task<APITestResult> testMiniMaxAPIKey(QString key, int timeoutMs = defaultTimeoutMs, QObject* owner = nullptr);

} // namespace APIKeyTests
