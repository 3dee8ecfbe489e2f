#include "APIKeyTests.h"

#include "HttpHeaders.h"
#include "ServiceConfig.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrlQuery>

#include <qcoro/qcoronetworkreply.h>

#include <nlohmann/json.hpp>

#include <memory>

namespace APIKeyTests {
namespace {

// An error body is shown to the user; nothing longer than this is read.
constexpr qint64 kMaxBodyBytes = 64 * 1024;

bool hasControlBreak(const QString& key) {
    return key.contains(QLatin1Char('\r')) || key.contains(QLatin1Char('\n')) || key.contains(QChar(0));
}

bool matchesWhole(const QRegularExpression& pattern, const QString& text) {
    return pattern.isValid() && pattern.match(text).hasMatch();
}

QNetworkAccessManager* network() {
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return manager;
}

QUrl endpoint(const QUrl& base, const QString& path) {
    return QUrl(base.toString(QUrl::StripTrailingSlash) + path);
}

std::optional<QString> bodyText(const QByteArray& body) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder(body);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// The service reports a refused key inside a successful HTTP answer.
bool refusesKey(const QByteArray& body) {
    const auto json = nlohmann::json::parse(body.constBegin(), body.constEnd(), nullptr, false);
    if (!json.is_object())
        return false;
    const auto base = json.find("base_resp");
    if (base == json.end() || !base->is_object())
        return false;
    const auto code = base->find("status_code");
    if (code == base->end() || !code->is_number_integer())
        return false;
    const auto value = code->get<long long>();
    return value == 1004 || value == 2049;
}

struct DeleteLater {
    void operator()(QNetworkReply* reply) const { reply->deleteLater(); }
};

struct Answer {
    std::optional<int> status;
    QByteArray body;
    std::optional<QString> transportError;
};

QCoro::Task<Answer> send(QNetworkRequest request, int timeoutMs) {
    request.setTransferTimeout(std::max(1, timeoutMs));
    std::unique_ptr<QNetworkReply, DeleteLater> reply(network()->get(request));
    co_await qCoro(reply.get()).waitForFinished();

    Answer answer;
    const QNetworkReply::NetworkError error = reply->error();
    // Only the transfer time-out aborts a request.
    if (error == QNetworkReply::TimeoutError || error == QNetworkReply::OperationCanceledError) {
        answer.transportError = timedOutMessage;
        co_return answer;
    }
    // Connection-level errors end the exchange even after a status line came in.
    if (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) {
        answer.transportError = reply->errorString();
        co_return answer;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (error != QNetworkReply::NoError)
            answer.transportError = reply->errorString();
        co_return answer;
    }
    answer.status = status.toInt();
    answer.body = reply->read(kMaxBodyBytes);
    co_return answer;
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

QCoro::Task<APITestResult> testGoogleAPIKey(QString key, int timeoutMs) {
    if (hasControlBreak(key))
        co_return APITestResult::failure(googleFormatMessage);
    QNetworkRequest request(endpoint(ServiceConfig::current().geminiBaseUrl, "/v1beta/models"));
    request.setRawHeader("X-goog-api-key", headerValue(key));
    const Answer answer = co_await send(request, timeoutMs);
    if (answer.transportError)
        co_return APITestResult::failure(*answer.transportError);
    const auto message = classifyGoogleTestResponse(answer.status);
    co_return message ? APITestResult::failure(*message) : APITestResult::success();
}

QCoro::Task<APITestResult> testMiniMaxAPIKey(QString key, int timeoutMs) {
    if (hasControlBreak(key))
        co_return APITestResult::failure(miniMaxFormatMessage);
    const ServiceConfig& config = ServiceConfig::current();
    QUrl url = endpoint(config.miniMaxBaseUrl, "/v1/files/retrieve");
    QUrlQuery query;
    query.addQueryItem("GroupId", config.miniMaxGroupId);
    query.addQueryItem("file_id", "test_invalid_id");
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("Authorization", bearerHeaderValue(key));
    const Answer answer = co_await send(request, timeoutMs);
    if (answer.transportError)
        co_return APITestResult::failure(*answer.transportError);
    const auto message = classifyMiniMaxTestResponse(answer.status, answer.body);
    co_return message ? APITestResult::failure(*message) : APITestResult::success();
}

} // namespace APIKeyTests
