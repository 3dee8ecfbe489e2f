#pragma once

#include <QByteArray>
#include <QString>

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
} // namespace MiniMaxStatus

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

} // namespace MiniMaxWire
