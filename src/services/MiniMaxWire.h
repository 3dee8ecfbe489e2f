#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>
#include <variant>

// What the video client exchanges with the MiniMax video service. Answers are decoded strictly:
// a required member that is missing or null, or any listed member of the wrong JSON type, fails the
// whole decode; members not listed are ignored and an optional null counts as absent.

// The body of a generation request. Optional members are left out when they have no value.
struct MiniMaxRequest {
    QString model;
    std::optional<QString> prompt;
    std::optional<QString> firstFrameImage; // data URL
    std::optional<QString> lastFrameImage;  // data URL
    bool promptOptimizer = true;
    QString resolution;
    int duration = 6;
    std::optional<bool> fastPretreatment;

    // The compact JSON text, or none when it cannot be encoded.
    std::optional<QByteArray> encoded() const;
};

// The service's status block: 0 accepted, anything else a refusal.
struct BaseResponse {
    qint64 statusCode = 0;
    QString statusMsg;
};

struct BaseOnlyResponse {
    BaseResponse baseResp;
};

struct MiniMaxResponse {
    BaseResponse baseResp;
    std::optional<QString> taskId;
    std::optional<QString> requestId;
};

struct TaskResultResponse {
    std::optional<QString> taskId;
    std::optional<QString> status;
    std::optional<QString> fileId;
    std::optional<BaseResponse> baseResp;
};

struct FileInfo {
    std::optional<qint64> fileId;
    std::optional<qint64> bytes;
    std::optional<qint64> createdAt;
    std::optional<QString> filename;
    std::optional<QString> purpose;
    std::optional<QString> downloadUrl;
    std::optional<QString> backupDownloadUrl;
};

struct FileRetrieveResponse {
    std::optional<FileInfo> file;
    std::optional<BaseResponse> baseResp;
};

// Service status codes with a meaning of their own.
namespace MiniMaxStatus {
constexpr qint64 accepted = 0;
constexpr qint64 missingAuthorization = 1004;
constexpr qint64 invalidKeyOrGroup = 2049;
// The service turned the key (or the group id) away: asking again with it is of no use.
constexpr bool refusesKey(qint64 code) {
    return code == missingAuthorization || code == invalidKeyOrGroup;
}
} // namespace MiniMaxStatus

struct ServiceConfig;

// A failed decode carries the text the user sees.
struct DecodingFailure {
    QString description;
};

template <class T> using Decoded = std::variant<T, DecodingFailure>;

namespace MiniMaxWire {

Decoded<BaseOnlyResponse> decodeBaseOnly(const QByteArray& body);
Decoded<MiniMaxResponse> decodeGeneration(const QByteArray& body);
Decoded<TaskResultResponse> decodeTaskResult(const QByteArray& body);
Decoded<FileRetrieveResponse> decodeFileRetrieve(const QByteArray& body);

// "data:image/png;base64," followed by the standard Base64 text of the PNG bytes.
QString pngDataUrl(const QByteArray& png);

// The endpoints, under the service's base address.
inline constexpr QLatin1StringView generationPath{"/v1/video_generation"};
inline constexpr QLatin1StringView resultPath{"/v1/query/video_generation"};
inline constexpr QLatin1StringView fileRetrievePath{"/v1/files/retrieve"};
QString endpoint(const QUrl& base, QLatin1StringView path);
// Only such an address is fetched: an answer can name a "file:" or other local address.
bool isWebAddress(const QUrl& url);

constexpr int requestTimeoutMs = 60'000;
// The requests to the service, each with the key as a bearer token (sent as given) and the time-out; none when
// the configured address is not a web address. None of them keeps its connection: with no connection to the
// service's host ever kept, a billed generation request always goes out on one of its own, and the network
// layer never sends it again because a reused connection turned out to be closed.
std::optional<QNetworkRequest> generationRequest(const ServiceConfig& config, QStringView key);
std::optional<QNetworkRequest> taskQueryRequest(const ServiceConfig& config, QStringView key, const QString& taskId);
// The record of a finished clip's file, with its download address.
std::optional<QNetworkRequest> fileRecordRequest(const ServiceConfig& config, QStringView key, const QString& fileId,
                                                 int timeoutMs = requestTimeoutMs);

} // namespace MiniMaxWire
