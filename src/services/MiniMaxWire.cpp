#include "MiniMaxWire.h"

#include "HttpHeaders.h"
#include "NetworkAccess.h"
#include "ServiceConfig.h"
#include "WireDecoding.h"

#include <nlohmann/json.hpp>

#include <limits>

using nlohmann::json;

namespace {

// Answers are a few hundred bytes; anything far larger is not an answer of this service.
constexpr qsizetype kMaxAnswerBytes = 1 << 20;

const QString kMissingText = WireDecoding::missingDataText();
const QString kFormatText = WireDecoding::corruptedDataText();

struct Missing {};
struct WrongType {};

void read(const json& value, QString& out) {
    if (!value.is_string())
        throw WrongType{};
    out = QString::fromStdString(value.get_ref<const std::string&>());
}

void read(const json& value, qint64& out) {
    const auto number = WireDecoding::wholeNumber(value);
    if (!number)
        throw WrongType{};
    out = *number;
}

void read(const json& value, BaseResponse& out);
void read(const json& value, FileInfo& out);

template <class T> void required(const json& object, const char* key, T& out) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        throw Missing{};
    read(*it, out);
}

template <class T> void optional(const json& object, const char* key, std::optional<T>& out) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        out.reset();
        return;
    }
    T value{};
    read(*it, value);
    out = std::move(value);
}

void requireObject(const json& value) {
    if (!value.is_object())
        throw WrongType{};
}

void read(const json& value, BaseResponse& out) {
    requireObject(value);
    required(value, "status_code", out.statusCode);
    required(value, "status_msg", out.statusMsg);
}

void read(const json& value, FileInfo& out) {
    requireObject(value);
    optional(value, "file_id", out.fileId);
    optional(value, "bytes", out.bytes);
    optional(value, "created_at", out.createdAt);
    optional(value, "filename", out.filename);
    optional(value, "purpose", out.purpose);
    optional(value, "download_url", out.downloadUrl);
    optional(value, "backup_download_url", out.backupDownloadUrl);
}

void read(const json& value, BaseOnlyResponse& out) {
    requireObject(value);
    required(value, "base_resp", out.baseResp);
}

void read(const json& value, MiniMaxResponse& out) {
    requireObject(value);
    required(value, "base_resp", out.baseResp);
    optional(value, "task_id", out.taskId);
    optional(value, "request_id", out.requestId);
}

void read(const json& value, TaskResultResponse& out) {
    requireObject(value);
    optional(value, "task_id", out.taskId);
    optional(value, "status", out.status);
    optional(value, "file_id", out.fileId);
    optional(value, "base_resp", out.baseResp);
}

void read(const json& value, FileRetrieveResponse& out) {
    requireObject(value);
    optional(value, "file", out.file);
    optional(value, "base_resp", out.baseResp);
}

template <class T> Decoded<T> decode(const QByteArray& body) {
    if (body.size() > kMaxAnswerBytes)
        return DecodingFailure{kFormatText};
    const json document = json::parse(body.constBegin(), body.constEnd(), nullptr, false);
    if (document.is_discarded())
        return DecodingFailure{kFormatText};
    try {
        T value{};
        read(document, value);
        return value;
    } catch (const Missing&) {
        return DecodingFailure{kMissingText};
    } catch (const WrongType&) {
        return DecodingFailure{kFormatText};
    } catch (const json::exception&) {
        return DecodingFailure{kFormatText};
    }
}

} // namespace

std::optional<QByteArray> MiniMaxRequest::encoded() const {
    json body = json::object();
    body["model"] = model.toStdString();
    if (prompt)
        body["prompt"] = prompt->toStdString();
    if (firstFrameImage)
        body["first_frame_image"] = firstFrameImage->toStdString();
    if (lastFrameImage)
        body["last_frame_image"] = lastFrameImage->toStdString();
    body["prompt_optimizer"] = promptOptimizer;
    body["resolution"] = resolution.toStdString();
    body["duration"] = duration;
    if (fastPretreatment)
        body["fast_pretreatment"] = *fastPretreatment;
    try {
        return QByteArray::fromStdString(body.dump());
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

namespace MiniMaxWire {

Decoded<BaseOnlyResponse> decodeBaseOnly(const QByteArray& body) {
    return decode<BaseOnlyResponse>(body);
}

Decoded<MiniMaxResponse> decodeGeneration(const QByteArray& body) {
    return decode<MiniMaxResponse>(body);
}

Decoded<TaskResultResponse> decodeTaskResult(const QByteArray& body) {
    return decode<TaskResultResponse>(body);
}

Decoded<FileRetrieveResponse> decodeFileRetrieve(const QByteArray& body) {
    return decode<FileRetrieveResponse>(body);
}

QString pngDataUrl(const QByteArray& png) {
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

QString endpoint(const QUrl& base, QLatin1StringView path) {
    return base.toString(QUrl::StripTrailingSlash) + path;
}

bool isWebAddress(const QUrl& url) {
    return url.isValid() && (url.scheme() == "https" || url.scheme() == "http") && !url.host().isEmpty();
}

namespace {

QString queryValue(const QString& value) {
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

std::optional<QNetworkRequest> keyedRequest(const QString& address, QStringView key, int timeoutMs) {
    const QUrl url(address, QUrl::StrictMode);
    if (!isWebAddress(url))
        return std::nullopt;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setRawHeader("Authorization", bearerHeaderValue(key));
    NetworkAccess::closeConnectionAfterAnswer(request);
    NetworkAccess::keepOnOrigin(request);
    return request;
}

} // namespace

std::optional<QNetworkRequest> generationRequest(const ServiceConfig& config, QStringView key) {
    auto request = keyedRequest(endpoint(config.miniMaxBaseUrl, generationPath), key, requestTimeoutMs);
    if (request) {
        request->setRawHeader("Content-Type", "application/json");
        request->setRawHeader("Accept", "application/json");
        request->setRawHeader("X-Group-Id", headerValue(config.miniMaxGroupId));
    }
    return request;
}

std::optional<QNetworkRequest> taskQueryRequest(const ServiceConfig& config, QStringView key, const QString& taskId) {
    auto request = keyedRequest(endpoint(config.miniMaxBaseUrl, resultPath) + "?task_id=" + queryValue(taskId), key,
                                requestTimeoutMs);
    if (request) {
        request->setRawHeader("Accept", "application/json");
        request->setRawHeader("X-Group-Id", headerValue(config.miniMaxGroupId));
    }
    return request;
}

std::optional<QNetworkRequest> fileRecordRequest(const ServiceConfig& config, QStringView key, const QString& fileId,
                                                 int timeoutMs) {
    auto request = keyedRequest(endpoint(config.miniMaxBaseUrl, fileRetrievePath) +
                                    "?GroupId=" + queryValue(config.miniMaxGroupId) + "&file_id=" + queryValue(fileId),
                                key, timeoutMs);
    if (request)
        request->setRawHeader("Content-Type", "application/json");
    return request;
}

} // namespace MiniMaxWire
