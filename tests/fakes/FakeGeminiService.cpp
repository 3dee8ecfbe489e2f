#include "FakeGeminiService.h"

#include "FakeHttp.h"

#include "Clock.h"
#include "ImageCoding.h"
#include "ServiceConfig.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {
const QString generatePrefix = QStringLiteral("/v1beta/models/");
const QString generateSuffix = QStringLiteral(":generateContent");

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray headerIn(const FakeGeminiService::Headers& headers, const QByteArray& name) {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool hasHeader(const FakeGeminiService::Headers& headers, const QByteArray& name) {
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
} // namespace

QByteArray FakeGeminiService::Request::header(const QByteArray& name) const {
    return headerIn(headers, name);
}

FakeGeminiService::Reply FakeGeminiService::Reply::json(const Json& body, int status) {
    return raw(QByteArray::fromStdString(body.dump()), status);
}

FakeGeminiService::Reply FakeGeminiService::Reply::raw(QByteArray body, int status, QByteArray contentType) {
    Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.headers.append({"Content-Type", contentType});
    return reply;
}

FakeGeminiService::Reply FakeGeminiService::Reply::failure(int status, std::optional<QByteArray> retryAfter) {
    const char* statusText = status == 429 ? "RESOURCE_EXHAUSTED" : status >= 500 ? "INTERNAL" : "INVALID_ARGUMENT";
    const std::string message =
        status == 429 ? "Resource has been exhausted (e.g. check quota)." : "An internal error has occurred.";
    Reply reply = json(errorBody(status, message, statusText), status);
    if (retryAfter)
        reply.headers.append({"Retry-After", *retryAfter});
    return reply;
}

FakeGeminiService::Reply FakeGeminiService::Reply::dropped() {
    Reply reply;
    reply.drop = true;
    return reply;
}

FakeGeminiService::Reply FakeGeminiService::Reply::cutOff() {
    Reply reply = json(pictureResponse());
    reply.drop = true;
    return reply;
}

FakeGeminiService::Reply FakeGeminiService::Reply::garbage(QByteArray bytes) {
    Reply reply;
    reply.notHttp = true;
    reply.body = std::move(bytes);
    return reply;
}

FakeGeminiService::Reply FakeGeminiService::Reply::hanging() {
    Reply reply;
    reply.hang = true;
    return reply;
}

FakeGeminiService::FakeGeminiService(QString key, QObject* parent)
    : QAbstractHttpServer(parent), apiKey(std::move(key)) {
    port_ = listen(QHostAddress::LocalHost, 0);
}

FakeGeminiService::~FakeGeminiService() = default;

QUrl FakeGeminiService::baseUrl() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port_));
}

void FakeGeminiService::install() const {
    ServiceConfig config = ServiceConfig::current();
    config.geminiBaseUrl = baseUrl();
    ServiceConfig::setCurrent(config);
}

QList<FakeGeminiService::Request> FakeGeminiService::generateRequests() const {
    QList<Request> result;
    for (const Request& request : requests) {
        if (request.method == "POST" && request.path.endsWith(generateSuffix) &&
            QString::fromUtf8(request.header("X-goog-api-key")) == apiKey)
            result.append(request);
    }
    return result;
}

bool FakeGeminiService::handleRequest(const QHttpServerRequest& incoming, QTcpSocket* socket) {
    Request request;
    request.method = httpMethodName(incoming.method()).toLatin1();
    request.path = incoming.url().path();
    request.headers = incoming.headers();
    request.body = incoming.body();
    request.json = Json::parse(request.body.begin(), request.body.end(), nullptr, false);
    if (request.json.is_discarded())
        request.json = Json();
    request.receivedAt = Clock::current().now();
    requests.append(request);

    const bool isModels = request.path == QLatin1String("/v1beta/models");
    const bool isGenerate = request.path.startsWith(generatePrefix) && request.path.endsWith(generateSuffix);
    if (!isModels && !isGenerate) {
        answer(socket, Reply::json(errorBody(404, "Not found.", "NOT_FOUND"), 404));
        return true;
    }
    if ((isModels && request.method != "GET") || (isGenerate && request.method != "POST")) {
        answer(socket, Reply::json(errorBody(405, "Method not allowed.", "METHOD_NOT_ALLOWED"), 405));
        return true;
    }

    if (isModels && !modelsScript.isEmpty()) {
        const Reply reply = modelsScript.takeFirst();
        if (reply.hang)
            return true;
        if (reply.delayMs > 0) {
            QTimer::singleShot(reply.delayMs, this, [this, guard = QPointer<QTcpSocket>(socket), reply] {
                if (guard)
                    answer(guard, reply);
            });
            return true;
        }
        answer(socket, reply);
        return true;
    }

    // The real service tells a missing key from a wrong one.
    if (!hasHeader(request.headers, "X-goog-api-key")) {
        answer(socket, Reply::json(errorBody(403,
                                             "Method doesn't allow unregistered callers (callers without established "
                                             "identity). Please use API Key or other form of API consumer identity "
                                             "to call this API.",
                                             "PERMISSION_DENIED"),
                                   403));
        return true;
    }
    if (QString::fromUtf8(request.header("X-goog-api-key")) != apiKey) {
        Json body = errorBody(400, "API key not valid. Please pass a valid API key.", "INVALID_ARGUMENT");
        body["error"]["details"] = Json::array({{{"@type", "type.googleapis.com/google.rpc.ErrorInfo"},
                                                 {"reason", "API_KEY_INVALID"},
                                                 {"domain", "googleapis.com"}}});
        answer(socket, Reply::json(body, 400));
        return true;
    }

    if (isModels) {
        Json list = Json::array();
        for (const QString& model : models) {
            list.push_back({{"name", "models/" + model.toStdString()},
                            {"displayName", model.toStdString()},
                            {"supportedGenerationMethods", Json::array({"generateContent", "countTokens"})}});
        }
        answer(socket, Reply::json(Json{{"models", list}}));
        return true;
    }

    const QString model =
        request.path.mid(generatePrefix.size(), request.path.size() - generatePrefix.size() - generateSuffix.size());
    if (!models.contains(model)) {
        answer(socket, Reply::json(errorBody(404,
                                             "models/" + model.toStdString() +
                                                 " is not found for API version v1beta, or is not supported for "
                                                 "generateContent.",
                                             "NOT_FOUND"),
                                   404));
        return true;
    }
    if (!request.json.is_object() || !request.json.contains("contents")) {
        answer(socket, Reply::json(errorBody(400, "Invalid JSON payload received.", "INVALID_ARGUMENT"), 400));
        return true;
    }

    const Reply reply = script.isEmpty() ? Reply::json(pictureResponse()) : script.takeFirst();
    if (reply.hang)
        return true;
    if (reply.delayMs > 0) {
        QTimer::singleShot(reply.delayMs, this, [this, guard = QPointer<QTcpSocket>(socket), reply] {
            if (guard)
                answer(guard, reply);
        });
        return true;
    }
    answer(socket, reply);
    return true;
}

void FakeGeminiService::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    answer(socket, Reply::json(errorBody(404, "Not found.", "NOT_FOUND"), 404));
}

void FakeGeminiService::answer(QTcpSocket* socket, const Reply& reply) {
    if (reply.notHttp) {
        socket->write(reply.body);
        socket->flush();
        socket->disconnectFromHost();
        return;
    }
    if (reply.drop && reply.body.isEmpty()) {
        socket->disconnectFromHost();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n";
    socket->write(head);
    if (reply.drop) {
        socket->write(reply.body.left(reply.body.size() / 2));
        socket->disconnectFromHost();
        return;
    }
    socket->write(reply.body);
}

QImage FakeGeminiService::samplePicture(int width, int height, QColor color) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(color);
    return picture;
}

FakeGeminiService::Json FakeGeminiService::pngPart(const QImage& picture) {
    return inlinePart("image/png", ImageCoding::pngData(picture).value_or(QByteArray()).toBase64().toStdString());
}

FakeGeminiService::Json FakeGeminiService::inlinePart(const std::string& mimeType, const std::string& base64) {
    return Json{{"inlineData", {{"mimeType", mimeType}, {"data", base64}}}};
}

FakeGeminiService::Json FakeGeminiService::textPart(const std::string& text) {
    return Json{{"text", text}};
}

FakeGeminiService::Json FakeGeminiService::candidate(const Json& parts, const std::string& finishReason,
                                                     const Json& safetyRatings) {
    Json result{{"content", {{"parts", parts}, {"role", "model"}}}, {"finishReason", finishReason}, {"index", 0}};
    if (!safetyRatings.is_null())
        result["safetyRatings"] = safetyRatings;
    return result;
}

FakeGeminiService::Json FakeGeminiService::rating(const std::string& probability, const std::string& category) {
    return Json{{"category", category}, {"probability", probability}};
}

FakeGeminiService::Json FakeGeminiService::response(const Json& candidates, std::optional<qint64> totalTokens) {
    Json result{{"candidates", candidates}, {"modelVersion", "gemini-3.1-flash-image-preview"}};
    if (totalTokens) {
        result["usageMetadata"] = {{"promptTokenCount", 10},
                                   {"candidatesTokenCount", std::max<qint64>(0, *totalTokens - 10)},
                                   {"totalTokenCount", *totalTokens}};
    }
    return result;
}

FakeGeminiService::Json FakeGeminiService::pictureResponse(const QImage& picture, std::optional<qint64> totalTokens) {
    return response(Json::array({candidate(Json::array({pngPart(picture)}))}), totalTokens);
}

FakeGeminiService::Json FakeGeminiService::errorBody(int code, const std::string& message, const std::string& status) {
    return Json{{"error", {{"code", code}, {"message", message}, {"status", status}}}};
}
