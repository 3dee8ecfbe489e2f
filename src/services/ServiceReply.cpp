#include "ServiceReply.h"

#include <QNetworkRequest>

#include <memory>

namespace ServiceReply {

QString timedOutText() {
    return QStringLiteral("The request timed out.");
}

QString connectionClosedText() {
    return QStringLiteral("Connection closed");
}

bool cutShort(const QNetworkReply* reply, qsizetype bodyBytes) {
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    return announced.isValid() && !reply->hasRawHeader("Content-Encoding") && bodyBytes < announced.toLongLong();
}

bool timedOut(QNetworkReply::NetworkError error) {
    return error == QNetworkReply::TimeoutError || error == QNetworkReply::OperationCanceledError;
}

bool isTransportFailure(QNetworkReply::NetworkError error) {
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

std::optional<int> httpStatus(const QNetworkReply* reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

std::optional<QString> refusedRedirect(const QNetworkReply* reply) {
    if (reply->error() != QNetworkReply::InsecureRedirectError)
        return std::nullopt;
    const QUrl target = reply->url().resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
    const QString origin =
        target.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
            .toDisplayString();
    return QStringLiteral("The server redirected to another host (%1); the request was not sent there.").arg(origin);
}

Ending ending(const QNetworkReply* reply) {
    if (auto refused = refusedRedirect(reply))
        return {std::nullopt, std::move(refused)};
    const QNetworkReply::NetworkError error = reply->error();
    if (timedOut(error))
        return {std::nullopt, timedOutText()};
    const std::optional<int> status = httpStatus(reply);
    const bool success = status && *status >= 200 && *status <= 299;
    if (isTransportFailure(error) && (!status || success))
        return {std::nullopt, reply->errorString()};
    if (!status && error != QNetworkReply::NoError)
        return {std::nullopt, reply->errorString()};
    return {status, std::nullopt};
}

void Finished::await_suspend(std::coroutine_handle<> handle) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(reply_.data(), &QNetworkReply::finished, reply_.data(), [connection, handle] {
        QObject::disconnect(*connection);
        handle.resume();
    });
}

} // namespace ServiceReply
