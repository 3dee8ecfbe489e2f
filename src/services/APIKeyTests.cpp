#include "APIKeyTests.h"

#include "GeminiWire.h"
#include "MiniMaxError.h"
#include "MiniMaxWire.h"
#include "NetworkAccess.h"
#include "OrvaneAPIService.h"
#include "ServiceConfig.h"
#include "ServiceReply.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QStringDecoder>

#include <memory>

namespace APIKeyTests {
namespace {

// An error body is shown to the user; nothing longer than this is read.
constexpr qint64 kMaxBodyBytes = 64 * 1024;
const QString kTestFileId = QStringLiteral("test_invalid_id");

bool hasControlBreak(const QString& key) {
    return key.contains(QLatin1Char('\r')) || key.contains(QLatin1Char('\n')) || key.contains(QChar(0));
}

bool matchesWhole(const QRegularExpression& pattern, const QString& text) {
    return pattern.isValid() && pattern.match(text).hasMatch();
}

std::optional<QString> bodyText(const QByteArray& body) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder(body);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// The service reports a refused key inside a successful HTTP answer, as it does to the video client.
bool refusesKey(const QByteArray& body) {
    const auto decoded = MiniMaxWire::decodeFileRetrieve(body);
    const auto* answer = std::get_if<FileRetrieveResponse>(&decoded);
    return answer && answer->baseResp && MiniMaxStatus::refusesKey(answer->baseResp->statusCode);
}

struct Answer {
    std::optional<int> status; // none: not an HTTP answer
    QByteArray body;
    std::optional<QString> failure;
};

QCoro::Task<Answer> send(QNetworkRequest request, QPointer<QObject> owner) {
    const ServiceReply::Owned reply(NetworkAccess::shared()->get(request));
    if (owner)
        QObject::connect(owner, &QObject::destroyed, reply.get(), &QNetworkReply::abort);
    ServiceReply::Finished finished(reply.get());
    co_await finished;
    const ServiceReply::Ending ending = ServiceReply::ending(reply.get());
    Answer answer;
    answer.status = ending.status;
    answer.failure = ending.failure;
    if (ending.status)
        answer.body = reply->read(kMaxBodyBytes);
    co_return answer;
}

APITestResult resultOf(const std::optional<QString>& message) {
    return message ? APITestResult::failure(*message) : APITestResult::success();
}

} // namespace

bool isValidGoogleKeyFormat(const QString& key) {
    if (hasControlBreak(key))
        return false;
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern("AIza[A-Za-z0-9_-]{35}"));
    return matchesWhole(pattern, key.trimmed());
}

bool isValidMiniMaxKeyFormat(const QString& key) {
    if (hasControlBreak(key))
        return false;
    const QString trimmed = key.trimmed();
    const QStringList parts = trimmed.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return false;
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern("[A-Za-z0-9_-]+"));
    for (const QString& part : parts) {
        if (part.isEmpty() || !matchesWhole(pattern, part))
            return false;
    }
    return trimmed.size() >= 100;
}

std::optional<QString> classifyGoogleTestResponse(std::optional<int> status) {
    if (!status)
        return QStringLiteral("Invalid response");
    const int code = *status;
    if (code >= 200 && code <= 299)
        return std::nullopt;
    if (code == 401 || code == 403)
        return QStringLiteral("Invalid API key or access denied");
    if (code == 429)
        return QStringLiteral("Rate limit exceeded");
    return QStringLiteral("HTTP %1").arg(code);
}

std::optional<QString> classifyMiniMaxTestResponse(std::optional<int> status, const QByteArray& body) {
    if (!status)
        return QStringLiteral("Invalid response");
    const int code = *status;
    const std::optional<QString> text = bodyText(body);
    if (code >= 200 && code <= 299) {
        if (refusesKey(body))
            return QStringLiteral("Invalid API key");
        return std::nullopt;
    }
    if (code == 400) {
        if (text && (text->contains(QLatin1String("file not found")) || text->contains(QLatin1String("invalid"))))
            return std::nullopt;
        return QStringLiteral("Unexpected response: ") + text.value_or(QStringLiteral("unknown"));
    }
    if (code == 401)
        return QStringLiteral("Invalid API key");
    if (code == 403)
        return QStringLiteral("Access denied - check API key and permissions");
    if (code == 429)
        return QStringLiteral("Rate limit exceeded");
    if (code >= 500 && code <= 599)
        return QStringLiteral("Server error (%1)").arg(code);
    return QStringLiteral("HTTP %1: %2").arg(code).arg(text.value_or(QStringLiteral("unknown")));
}

QCoro::Task<APITestResult> testGoogleAPIKey(QString key, int timeoutMs, QObject* owner) {
    if (hasControlBreak(key))
        co_return APITestResult::failure(googleFormatMessage);
    const auto url = GeminiWire::endpoint(ServiceConfig::current().geminiBaseUrl, QStringLiteral("/v1beta/models"));
    if (!url)
        co_return APITestResult::failure(OrvaneError::of(OrvaneError::Kind::invalidURL).message());
    const Answer answer = co_await send(GeminiWire::keyedRequest(*url, key, std::max(1, timeoutMs)), owner);
    if (answer.failure)
        co_return APITestResult::failure(*answer.failure);
    co_return resultOf(classifyGoogleTestResponse(answer.status));
}

QCoro::Task<APITestResult> testMiniMaxAPIKey(QString key, int timeoutMs, QObject* owner) {
    if (hasControlBreak(key))
        co_return APITestResult::failure(miniMaxFormatMessage);
    const auto request =
        MiniMaxWire::fileRecordRequest(ServiceConfig::current(), key, kTestFileId, std::max(1, timeoutMs));
    if (!request)
        co_return APITestResult::failure(MiniMaxError::invalidURL().localizedDescription());
    const Answer answer = co_await send(*request, owner);
    if (answer.failure)
        co_return APITestResult::failure(*answer.failure);
    co_return resultOf(classifyMiniMaxTestResponse(answer.status, answer.body));
}

} // namespace APIKeyTests
